#include "bench/floor.h"

#include "db/sqltext.h"
#include "pricing/pricesql.h"
#include "pricing/pricestatements.h"

#include <array>

namespace krt::bench {

namespace {

// The program's price expression of a column of a table; plain, with every exact reading of the
// column replaced by the column itself.
QString priceExpression(const QString &table, const pricing::PriceColumn &column,
                        const ConversionParams &params, const FloorValues &values, Reading reading)
{
    const QString name = QLatin1String(column.name);
    QString expression =
        pricing::prfn_TaxSql(name, column.kind, params, values.calcMethod, values.readings.of(table, name));
    if (reading == Reading::Plain)
        expression.replace(QStringLiteral("CAST(") + name + QStringLiteral(" AS DECIMAL(19, 4))"), name);
    return expression;
}

QString assignments(const QString &table, const ConversionParams &params, const FloorValues &values,
                    int columns, Reading reading)
{
    QString sql;
    for (int i = 0; i < columns; ++i) {
        const pricing::PriceColumn &column = pricing::MGoodsColumns[static_cast<std::size_t>(i)];
        if (i > 0)
            sql += QStringLiteral(", ");
        sql += QLatin1String(column.name) + QStringLiteral(" = ") +
               priceExpression(table, column, params, values, reading);
    }
    return sql;
}

// The floor's statement of a table over the rows the condition takes.
QString statementOf(PriceTable table, const ConversionParams &params, const FloorValues &values,
                    Reading reading, const QString &condition)
{
    const QString stamp = QLatin1Char('\'') + sqlText(values.koushinDt) + QLatin1Char('\'');
    switch (table) {
    case PriceTable::MGoods:
        return QStringLiteral("UPDATE MGOODS SET ") +
               assignments(QStringLiteral("MGOODS"), params, values, 9, reading) +
               QStringLiteral(", UPDATE_DT = ") + stamp + QStringLiteral(" WHERE ") + condition;
    case PriceTable::IIoData:
        return QStringLiteral("UPDATE IIODATA SET ") +
               assignments(QStringLiteral("IIODATA"), params, values, 3, reading) +
               QStringLiteral(" WHERE (IO_YM >= ") + values.sysYm + QStringLiteral(") AND ") + condition;
    case PriceTable::IZaiko:
        break;
    }
    const QString rowsWithStock = values.inventNewVersion
                                      ? QStringLiteral("(ZAIKO_QTY > 0)")
                                      : QStringLiteral("((ZAIKO_QTY > 0) OR (JYUTAKU_QTY > 0))");
    return QStringLiteral("UPDATE IZAIKO SET ") +
           assignments(QStringLiteral("IZAIKO"), params, values, 3, reading) +
           QStringLiteral(", KOUSHIN_DT = ") + stamp + QStringLiteral(" WHERE ") + rowsWithStock +
           QStringLiteral(" AND ") + condition;
}

} // namespace

const QString ListedCategories =
    QStringLiteral("(DAI_BUNRUI_CD NOT IN (SELECT ITEM_CD FROM MITEMCD WHERE TAX_FREE_FLG <> '0'))");

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

QString floorStatement(PriceTable table, const ConversionParams &params, const FloorValues &values,
                       Reading reading)
{
    return statementOf(table, params, values, reading, ListedCategories);
}

QString categoryFloorStatement(PriceTable table, const ConversionParams &params, const FloorValues &values,
                               const QString &itemCd, int detailNo)
{
    return statementOf(table, params, values, Reading::Exact, pricing::categoryCondition(itemCd, detailNo));
}

} // namespace krt::bench
