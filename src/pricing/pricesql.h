#pragma once

#include "pricing/conversionparams.h"

#include <QString>

#include <optional>

namespace krt::pricing {

// Price expressions: the SQL text that the database evaluates, for one price column of the row it
// updates, to convert the stored price to the new tax treatment and round it. The column is read
// as DECIMAL(19, 4) wherever the expression uses it, so that the arithmetic is exact decimal
// whatever the column's type, unless its type already gives that arithmetic. Every function is a
// pure text function of its arguments.

// How an expression reads its column. Exact: as DECIMAL(19, 4). AsStored: as the column holds
// it, for a column whose declared type makes the cast change nothing (see PriceReadings).
enum class PriceReading { Exact, AsStored };

// Rounding of the expression X at the power of ten n.
QString prfn_RoundHalfUpSql(const QString &x, short n);
QString prfn_RoundDownSql(const QString &x, short n);
// Adds 0.9999 before cutting, so that a quotient above a whole number by less than 0.0001 stays.
QString prfn_RoundUpSql(const QString &x, short n);

// X rounded with the rounding method and digit position of the price kind; values below one
// rounding unit, negative values included, are kept as converted.
QString prfn_HasuSql(const QString &x, PriceKind kind, const ConversionParams &params);

// The converted and rounded price of a column, with the rates of the calculation method
// calcMethod (0 to 2) as the panel holds them: a typed rate is written as typed ("08" stays "08").
QString prfn_TaxSql(const QString &column, PriceKind kind, const ConversionParams &params, int calcMethod,
                    PriceReading reading = PriceReading::Exact);

// The converted and rounded price of a column, with the parameters recorded for a category: the
// rates as whole numbers, the rounding-method code and the exponent as the texts read back. An
// exponent text that is not a whole number fails (no text), because it would go into the statement
// unquoted.
std::optional<QString> prfn_TaxSqlStored(const QString &column, int oldRate, int newRate,
                                         const QString &codeText, const QString &exponentText,
                                         PriceReading reading = PriceReading::Exact);

} // namespace krt::pricing
