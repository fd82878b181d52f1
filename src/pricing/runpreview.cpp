#include "pricing/runpreview.h"

#include "pricing/pricesql.h"
#include "pricing/pricestatements.h"

namespace krt::pricing {

QString goodsCountSql(const QString &itemCd, int detailNo)
{
    return QStringLiteral("SELECT COUNT(*) AS CNT FROM MGOODS WHERE ") + categoryCondition(itemCd, detailNo);
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
    RunPreview preview;
    for (; !list->eof(); list->moveNext()) {
        const QString itemCd = list->field(0).toString();
        const int detailNo = list->field(1).toInt();
        ++preview.categories;
        const std::optional<Recordset> goods = connection.openRecordset(goodsCountSql(itemCd, detailNo));
        if (!goods)
            return std::nullopt;
        preview.goods += goods->field(0).toLongLong();
        const int wanted = sampleCount - static_cast<int>(preview.samples.size());
        if (wanted <= 0 || goods->field(0).toLongLong() == 0)
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
