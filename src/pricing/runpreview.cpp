#include "pricing/runpreview.h"

#include "pricing/pricesql.h"
#include "pricing/pricestatements.h"

namespace krt::pricing {

QString goodsCountKey(const QString &itemCd, int detailNo)
{
    QString code = itemCd;
    while (code.endsWith(QLatin1Char(' ')))
        code.chop(1);
    return QStringLiteral("%1-%2").arg(code).arg(detailNo);
}

std::optional<GoodsCounts> goodsByCategory(Connection &connection)
{
    std::optional<Recordset> rows = connection.openRecordset(goodsByCategorySql());
    if (!rows)
        return std::nullopt;
    GoodsCounts counts;
    // A sub-category of Null and one of 0 are the same category of the work list.
    for (; !rows->eof(); rows->moveNext())
        counts[goodsCountKey(rows->field(0).toString(), rows->field(1).toInt())] +=
            rows->field(2).toLongLong();
    return counts;
}

QString previewSql(const QString &itemCd, int detailNo, const ConversionParams &params, int calcMethod)
{
    const QString standard = QStringLiteral("HYOJYUN_PRC");
    const QString retail = QStringLiteral("KOURI_PRC");
    return QStringLiteral("SELECT HYOJYUN_PRC, ") + prfn_TaxSql(standard, Goods, params, calcMethod) +
           QStringLiteral(" AS HYOJYUN_NEW, KOURI_PRC, ") + prfn_TaxSql(retail, Goods, params, calcMethod) +
           QStringLiteral(" AS KOURI_NEW FROM MGOODS WHERE ") + categoryCondition(itemCd, detailNo);
}

std::optional<RunPreview> previewRun(Connection &connection, const ConversionParams &params, int calcMethod,
                                     int sampleCount)
{
    std::optional<Recordset> list = connection.openRecordset(workListQuery());
    if (!list)
        return std::nullopt;
    const std::optional<GoodsCounts> counts = goodsByCategory(connection);
    if (!counts)
        return std::nullopt;
    RunPreview preview;
    for (; !list->eof(); list->moveNext()) {
        const QString itemCd = list->field(0).toString();
        const int detailNo = list->field(1).toInt();
        ++preview.categories;
        const auto held = counts->find(goodsCountKey(itemCd, detailNo));
        const qint64 goods = held == counts->end() ? 0 : held->second;
        preview.goods += goods;
        const int wanted = sampleCount - static_cast<int>(preview.samples.size());
        if (wanted <= 0 || goods == 0)
            continue;
        std::optional<Recordset> rows =
            connection.openRecordset(previewSql(itemCd, detailNo, params, calcMethod), wanted);
        if (!rows)
            return std::nullopt;
        for (; !rows->eof(); rows->moveNext())
            preview.samples.append(
                {itemCd, detailNo, rows->field(0), rows->field(1), rows->field(2), rows->field(3)});
    }
    return preview;
}

} // namespace krt::pricing
