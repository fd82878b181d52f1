#include "pricing/pricestatements.h"

#include "category/categorytable.h"
#include "category/inventoryflag.h"
#include "db/sqltext.h"
#include "pricing/pricesql.h"

#include <algorithm>
#include <array>
#include <functional>

namespace krt::pricing {

namespace {

constexpr std::array<const char *, 3> StockColumns{{"HYOJYUN_PRC", "KOURI_PRC", "OROSI_PRC"}};

QString dayText(const QDate &day)
{
    return day.toString(QStringLiteral("yyyy/MM/dd"));
}

using ExpressionOf = std::function<std::optional<QString>(const PriceColumn &column)>;

// The MGOODS statement with the expressions of one path, up to its WHERE; "FROM MGOODS " stands
// before the WHERE in the pending variant.
std::optional<QString> mgoodsText(const QString &koushinDt, const ExpressionOf &expression,
                                  const QString &fromClause)
{
    QString sql = QStringLiteral("UPDATE MGOODS SET ");
    for (const PriceColumn &column : MGoodsColumns) {
        const std::optional<QString> e = expression(column);
        if (!e)
            return std::nullopt;
        sql += QLatin1String(column.name) + QStringLiteral(" = ") + *e + QStringLiteral(", ");
    }
    return sql + QStringLiteral("UPDATE_DT = '") + sqlText(koushinDt) + QStringLiteral("' ") + fromClause;
}

// The goods-price assignments of a stock table, each column prefixed with the table name.
QString stockAssignments(const QString &table, const ConversionParams &params, int calcMethod,
                         const QString &separatorAfterLast, const PriceReadings &readings)
{
    QString sql;
    for (std::size_t i = 0; i < StockColumns.size(); ++i) {
        const QString name = QLatin1String(StockColumns[i]);
        sql += table + QLatin1Char('.') + name + QStringLiteral(" = ") +
               prfn_TaxSql(name, Goods, params, calcMethod, readings.of(table, name)) +
               (i + 1 < StockColumns.size() ? QStringLiteral(", ") : separatorAfterLast);
    }
    return sql;
}

std::optional<int> wholeRate(const std::array<QString, 3> &rates, int calcMethod)
{
    if (calcMethod < 0 || calcMethod >= static_cast<int>(rates.size()))
        return 0;
    bool isNumber = false;
    const int rate = rates[calcMethod].toInt(&isNumber);
    return isNumber ? std::optional<int>(rate) : std::nullopt;
}

} // namespace

QString categoryCondition(const QString &itemCd, int detailNo)
{
    return QStringLiteral("(DAI_BUNRUI_CD = '") + sqlText(itemCd) + QStringLiteral("') ") +
           subCategoryClause(QStringLiteral("CHU_BUNRUI_CD"), detailNo);
}

QString subCategoryClause(const QString &column, int detailNo)
{
    if (detailNo != 0)
        return QStringLiteral("AND (") + column + QStringLiteral(" = ") + QString::number(detailNo) +
               QLatin1Char(')');
    return QStringLiteral("AND ((") + column + QStringLiteral(" Is Null) OR (") + column +
           QStringLiteral(" = 0))");
}

QString workListQuery()
{
    return QStringLiteral("SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, INV_FLG "
                          "FROM MITEMCNT WHERE (MITEMCNT.CHK = 1) "
                          "AND (UPDATE_DATE Is Null) "
                          "ORDER BY INV_FLG DESC");
}

CategoryStatements::CategoryStatements(const ConversionParams &params, int calcMethod,
                                       const QString &koushinDt, const PriceReadings &readings)
{
    for (std::size_t i = 0; i < MGoodsColumns.size(); ++i) {
        const QString name = QLatin1String(MGoodsColumns[i].name);
        m_goodsPrices[i] = prfn_TaxSql(name, MGoodsColumns[i].kind, params, calcMethod,
                                       readings.of(QStringLiteral("MGOODS"), name));
    }
    m_mgoods = *mgoodsText(
        koushinDt, [this](const PriceColumn &column) { return std::optional<QString>(goodsPrice(column)); },
        QString());
    m_iioData =
        QStringLiteral("UPDATE IIODATA SET ") +
        stockAssignments(QStringLiteral("IIODATA"), params, calcMethod, QStringLiteral(" "), readings);
    m_izaiko =
        QStringLiteral("UPDATE IZAIKO SET ") +
        stockAssignments(QStringLiteral("IZAIKO"), params, calcMethod, QStringLiteral(", "), readings) +
        QStringLiteral("IZAIKO.KOUSHIN_DT = '") + sqlText(koushinDt) + QStringLiteral("' ");
}

QString CategoryStatements::goodsPrice(const PriceColumn &column) const
{
    for (std::size_t i = 0; i < MGoodsColumns.size(); ++i)
        if (qstrcmp(MGoodsColumns[i].name, column.name) == 0)
            return m_goodsPrices[i];
    return {};
}

QString CategoryStatements::mgoods(const QString &itemCd, int detailNo) const
{
    return m_mgoods + QStringLiteral("WHERE ") + categoryCondition(itemCd, detailNo);
}

std::optional<QString> CategoryStatements::iioData(const QString &itemCd, int detailNo,
                                                   const QString &sysYm) const
{
    if (!category::isYearMonth(sysYm))
        return std::nullopt;
    return m_iioData + QStringLiteral("WHERE (IO_YM >= ") + sysYm + QStringLiteral(") AND ") +
           categoryCondition(itemCd, detailNo);
}

QString CategoryStatements::izaiko(const QString &itemCd, int detailNo, bool inventNewVersion) const
{
    const QString rowsWithStock = inventNewVersion
                                      ? QStringLiteral("WHERE (ZAIKO_QTY > 0) ")
                                      : QStringLiteral("WHERE ((ZAIKO_QTY > 0) OR (JYUTAKU_QTY > 0)) ");
    return m_izaiko + rowsWithStock + QStringLiteral("AND ") + categoryCondition(itemCd, detailNo);
}

QString pendingListQuery()
{
    return QStringLiteral("SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, TAX_ST, TAX_END, "
                          "GOODS_HASU_FLG, GOODS_HASU_ICHI, GADD_HASU_FLG, GADD_HASU_ICHI "
                          "FROM MITEMCNT WHERE (UPDATE_DATE Is Not Null) "
                          "AND (COMP_FLG = '0') AND ") +
           category::inventoryCondition() + QLatin1Char(' ');
}

std::optional<QString> pendingGoodsPrice(const PriceColumn &column, const StoredParams &stored,
                                         const PriceReadings &readings)
{
    const bool goods = column.kind == Goods;
    const QString name = QLatin1String(column.name);
    return prfn_TaxSqlStored(
        name, stored.oldRate, stored.newRate, goods ? stored.goodsCode : stored.addOnCode,
        goods ? stored.goodsExponent : stored.addOnExponent, readings.of(QStringLiteral("MGOODS"), name));
}

std::optional<QString> pendingMGoodsStatement(const QString &itemCd, int detailNo, const StoredParams &stored,
                                              const QString &koushinDt, const PriceReadings &readings)
{
    const std::optional<QString> head = mgoodsText(
        koushinDt, [&](const PriceColumn &column) { return pendingGoodsPrice(column, stored, readings); },
        QStringLiteral("FROM MGOODS "));
    if (!head)
        return std::nullopt;
    return *head + QStringLiteral("WHERE ") + categoryCondition(itemCd, detailNo);
}

std::optional<QString> recordStatement(const QString &itemCd, int detailNo, const QString &invFlg,
                                       const ConversionParams &params, int calcMethod, const QDate &today)
{
    const std::optional<int> oldRate = wholeRate(params.TAX_ST, calcMethod);
    const std::optional<int> newRate = wholeRate(params.TAX_END, calcMethod);
    if (!oldRate || !newRate)
        return std::nullopt;
    const QString day = dayText(today);
    QString sql = QStringLiteral("UPDATE MITEMCNT SET UPDATE_DATE = '") + day + QStringLiteral("', ");
    if (category::inventoryKind(invFlg) == category::InventoryKind::Other)
        sql += QStringLiteral("COMP_FLG = '1', COMP_DATE = '") + day + QStringLiteral("', ");
    sql += QStringLiteral("TAX_ST = ") + QString::number(*oldRate) + QStringLiteral(", TAX_END = ") +
           QString::number(*newRate) + QStringLiteral(", GOODS_HASU_FLG = '") +
           QString::number(params.HASU_FLG[Goods]) + QStringLiteral("', GOODS_HASU_ICHI = '") +
           QString::number(params.exponent(Goods)) + QStringLiteral("', GADD_HASU_FLG = '") +
           QString::number(params.HASU_FLG[AddOn]) + QStringLiteral("', GADD_HASU_ICHI = '") +
           QString::number(params.exponent(AddOn)) + QStringLiteral("' WHERE (ITEM_CD = '") +
           sqlText(itemCd) + QStringLiteral("') ") +
           subCategoryClause(QStringLiteral("DETAIL_NO"), detailNo) +
           QStringLiteral(" AND (UPDATE_DATE Is Null)");
    return sql;
}

QString completionStatement(const QDate &today)
{
    return QStringLiteral("UPDATE MITEMCNT SET COMP_FLG = '1', COMP_DATE = '") + dayText(today) +
           QStringLiteral("' WHERE ") + category::inventoryCondition() +
           QStringLiteral(" AND (COMP_FLG = '0') AND (UPDATE_DATE Is Not Null) ");
}

QString pendingClaimStatement(const QString &itemCd, int detailNo, const QDate &today)
{
    return QStringLiteral("UPDATE MITEMCNT SET COMP_FLG = '1', COMP_DATE = '") + dayText(today) +
           QStringLiteral("' WHERE (ITEM_CD = '") + sqlText(itemCd) + QStringLiteral("') ") +
           subCategoryClause(QStringLiteral("DETAIL_NO"), detailNo) + QStringLiteral(" AND ") +
           category::inventoryCondition() +
           QStringLiteral(" AND (COMP_FLG = '0') AND (UPDATE_DATE Is Not Null)");
}

QString goodsByCategorySql()
{
    return QStringLiteral("SELECT DAI_BUNRUI_CD, CHU_BUNRUI_CD, COUNT(*) AS CNT FROM MGOODS "
                          "GROUP BY DAI_BUNRUI_CD, CHU_BUNRUI_CD");
}

QString recordedRowsQuery(const QString &itemCd, int detailNo, bool completed)
{
    return QStringLiteral("SELECT COUNT(*) AS CNT FROM MITEMCNT WHERE (ITEM_CD = '") + sqlText(itemCd) +
           QStringLiteral("') ") + subCategoryClause(QStringLiteral("DETAIL_NO"), detailNo) +
           QStringLiteral(" AND (UPDATE_DATE Is Not Null)") +
           (completed ? QStringLiteral(" AND (COMP_FLG = '1')") : QString());
}

} // namespace krt::pricing
