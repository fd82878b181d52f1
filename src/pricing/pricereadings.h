#pragma once

#include "db/connection.h"
#include "pricing/pricesql.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace krt::pricing {

// Whether a price column of the declared type is read as stored: where the type already gives the
// arithmetic of the exact reading, so that the cast would change nothing. On SQL Server and
// PostgreSQL an exact decimal type (decimal, numeric) of the precision and scale given that
// DECIMAL(19, 4) holds unchanged; on the embedded engine, whose exact reading is a floating-point
// number, a column of floating-point affinity by the engine's rules (a type naming INT is an
// integer type, even FLOATING POINT). Every other type is read exactly: an integer column would
// divide as integers, money and floating-point columns round, a decimal of more decimals would be
// rounded by the cast first.
bool readsAsStored(Engine engine, const QString &declaredType, const QVariant &precision = {},
                   const QVariant &scale = {});

// The declared types of the price columns of the tables (plain upper-case names), as rows of table,
// column, type, numeric precision and scale (Null on the embedded engine): on the embedded engine from its
// table information, on the server engines from INFORMATION_SCHEMA. Empty for another engine, whose columns
// are all read exactly.
QString priceTypesSql(Engine engine, const QStringList &tables);

// How the price expressions of a database read each price column.
class PriceReadings
{
public:
    PriceReadings() = default; // every column read exactly
    explicit PriceReadings(QSet<QString> asStored);

    PriceReading of(const QString &table, const QString &column) const;

private:
    QSet<QString> m_asStored; // "TABLE.COLUMN"
};

// The readings of the price columns of the tables (plain upper-case names) by the database's
// declared column types; a column whose table the database holds more than once (in other
// schemas) with different types is read exactly. Nothing, with the connection's errors, when the
// types cannot be read.
std::optional<PriceReadings> readPriceReadings(Connection &connection, const QStringList &tables);

} // namespace krt::pricing
