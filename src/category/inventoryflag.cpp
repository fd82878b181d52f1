#include "category/inventoryflag.h"

namespace krt::category {

namespace {

QString trimmedRight(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

} // namespace

InventoryKind inventoryKind(const QVariant &flag)
{
    if (flag.isNull())
        return InventoryKind::Unknown;
    const QString text = trimmedRight(flag.toString());
    if (text == QLatin1String("0"))
        return InventoryKind::Other;
    if (text == QLatin1String("1"))
        return InventoryKind::Inventory;
    return InventoryKind::Unknown;
}

QString flagText(const QVariant &flag)
{
    return flag.isNull() ? QStringLiteral("(Null)") : QLatin1Char('\'') + flag.toString() + QLatin1Char('\'');
}

QString inventoryCondition()
{
    return QStringLiteral("(RTRIM(INV_FLG) = '1')");
}

QString otherCondition()
{
    return QStringLiteral("(RTRIM(INV_FLG) = '0')");
}

QString knownFlagCondition()
{
    return QStringLiteral("(RTRIM(INV_FLG) IN ('0', '1'))");
}

QString unknownFlagCondition()
{
    return QStringLiteral("((INV_FLG Is Null) OR (RTRIM(INV_FLG) NOT IN ('0', '1')))");
}

} // namespace krt::category
