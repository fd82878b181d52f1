#include "pricing/pricereadings.h"

#include <QHash>

namespace krt::pricing {

namespace {

QString columnKey(const QString &table, const QString &column)
{
    return table.toUpper() + QLatin1Char('.') + column.toUpper();
}

} // namespace

bool readsAsStored(Engine engine, const QString &declaredType, const QVariant &precision,
                   const QVariant &scale)
{
    const QString type = declaredType.trimmed().toUpper();
    switch (engine) {
    case Engine::Sqlite:
        if (type.contains(QLatin1String("INT")) || type.contains(QLatin1String("CHAR")) ||
            type.contains(QLatin1String("CLOB")) || type.contains(QLatin1String("TEXT")) ||
            type.contains(QLatin1String("BLOB")))
            return false;
        return type.contains(QLatin1String("REAL")) || type.contains(QLatin1String("FLOA")) ||
               type.contains(QLatin1String("DOUB"));
    case Engine::SqlServer:
    case Engine::PostgreSql: {
        // Only a decimal that DECIMAL(19, 4) holds unchanged: at most four decimals and fifteen
        // whole digits (a PostgreSQL numeric without precision gives none).
        bool precisionOk = false;
        bool scaleOk = false;
        const int digits = precision.toInt(&precisionOk);
        const int decimals = scale.toInt(&scaleOk);
        return (type == QLatin1String("DECIMAL") || type == QLatin1String("NUMERIC")) &&
               !precision.isNull() && !scale.isNull() && precisionOk && scaleOk && decimals >= 0 &&
               decimals <= 4 && digits - decimals <= 15;
    }
    case Engine::OtherOdbc:
    case Engine::None:
        break;
    }
    return false;
}

QString priceTypesSql(Engine engine, const QStringList &tables)
{
    QStringList selects;
    if (engine == Engine::Sqlite) {
        for (const QString &table : tables)
            selects << QStringLiteral("SELECT '%1', name, type, NULL, NULL FROM pragma_table_info('%1')")
                           .arg(table);
        return selects.join(QStringLiteral(" UNION ALL "));
    }
    if (engine != Engine::SqlServer && engine != Engine::PostgreSql)
        return {};
    for (const QString &table : tables)
        selects << QLatin1Char('\'') + table + QLatin1Char('\'');
    return QStringLiteral("SELECT TABLE_NAME, COLUMN_NAME, DATA_TYPE, NUMERIC_PRECISION, NUMERIC_SCALE FROM "
                          "INFORMATION_SCHEMA.COLUMNS WHERE "
                          "UPPER(TABLE_NAME) IN (") +
           selects.join(QStringLiteral(", ")) + QLatin1Char(')');
}

PriceReadings::PriceReadings(QSet<QString> asStored)
    : m_asStored(std::move(asStored))
{}

PriceReading PriceReadings::of(const QString &table, const QString &column) const
{
    return m_asStored.contains(columnKey(table, column)) ? PriceReading::AsStored : PriceReading::Exact;
}

std::optional<PriceReadings> readPriceReadings(Connection &connection, const QStringList &tables)
{
    const QString sql = priceTypesSql(connection.engine(), tables);
    if (sql.isEmpty())
        return PriceReadings();
    const std::optional<Recordset> columns = connection.openRecordset(sql);
    if (!columns)
        return std::nullopt;
    // Per column: read as stored while every declaration of it says so.
    QHash<QString, bool> asStored;
    for (Recordset rows = *columns; !rows.eof(); rows.moveNext()) {
        const QString key = columnKey(rows.field(0).toString(), rows.field(1).toString());
        const bool stored =
            readsAsStored(connection.engine(), rows.field(2).toString(), rows.field(3), rows.field(4));
        asStored.insert(key, asStored.value(key, true) && stored);
    }
    QSet<QString> stored;
    for (auto it = asStored.cbegin(); it != asStored.cend(); ++it)
        if (it.value())
            stored.insert(it.key());
    return PriceReadings(std::move(stored));
}

} // namespace krt::pricing
