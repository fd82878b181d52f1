#pragma once

#include <QString>

namespace krt {

// Rewrites a statement written in SQL Server's dialect into one SQLite accepts: ISNULL(a, b),
// GETDATE(), a number run straight into a keyword, UPDATE ... FROM naming only its own target,
// and casts to DECIMAL or NUMERIC, which become REAL. Works on tokens; string literals and
// identifiers are left untouched.
QString toSqliteDialect(const QString &sql);

// Rewrites a statement written in SQL Server's dialect into one PostgreSQL accepts with the same
// meaning: ISNULL(a, b), GETDATE(), a number run straight into a keyword, UPDATE ... FROM naming
// only its own target, table names before assignment targets, and POWER of a whole-number base,
// which stays a whole number as on SQL Server.
QString toPostgresDialect(const QString &sql);

} // namespace krt
