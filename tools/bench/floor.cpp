#include "bench/floor.h"

#include "db/sqltext.h"
#include "pricing/pricesql.h"
#include "pricing/pricestatements.h"

#include <array>

namespace krt::bench {

namespace {

const QString ListedCategories =
    QStringLiteral("(DAI_BUNRUI_CD NOT IN (SELECT ITEM_CD FROM MITEMCD WHERE TAX_FREE_FLG <> '0'))");

QString assignments(const ConversionParams &params, int calcMethod, int columns)
{
    QString sql;
    for (int i = 0; i < columns; ++i) {
        const pricing::PriceColumn &column = pricing::MGoodsColumns[static_cast<std::size_t>(i)];
        const QString name = QLatin1String(column.name);
        if (i > 0)
            sql += QStringLiteral(", ");
        sql += name + QStringLiteral(" = ") + pricing::prfn_TaxSql(name, column.kind, params, calcMethod);
    }
    return sql;
}

} // namespace

QString tableName(PriceTable table)
{
    switch (table) {
    case PriceTable::MGoods:
        return QStringLiteral("MGOODS");
    case PriceTable::IIoData:
        return QStringLiteral("IIODATA");
    case PriceTable::IZaiko:
        break;
    }
    return QStringLiteral("IZAIKO");
}

QString floorStatement(PriceTable table, const ConversionParams &params, const FloorValues &values)
{
    const QString stamp = QLatin1Char('\'') + sqlText(values.koushinDt) + QLatin1Char('\'');
    switch (table) {
    case PriceTable::MGoods:
        return QStringLiteral("UPDATE MGOODS SET ") + assignments(params, values.calcMethod, 9) +
               QStringLiteral(", UPDATE_DT = ") + stamp + QStringLiteral(" WHERE ") + ListedCategories;
    case PriceTable::IIoData:
        return QStringLiteral("UPDATE IIODATA SET ") + assignments(params, values.calcMethod, 3) +
               QStringLiteral(" WHERE (IO_YM >= ") + values.sysYm + QStringLiteral(") AND ") +
               ListedCategories;
    case PriceTable::IZaiko:
        break;
    }
    const QString rowsWithStock = values.inventNewVersion
                                      ? QStringLiteral("(ZAIKO_QTY > 0)")
                                      : QStringLiteral("((ZAIKO_QTY > 0) OR (JYUTAKU_QTY > 0))");
    return QStringLiteral("UPDATE IZAIKO SET ") + assignments(params, values.calcMethod, 3) +
           QStringLiteral(", KOUSHIN_DT = ") + stamp + QStringLiteral(" WHERE ") + rowsWithStock +
           QStringLiteral(" AND ") + ListedCategories;
}

} // namespace krt::bench
