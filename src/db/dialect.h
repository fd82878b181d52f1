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

// Prefixes every string literal of a statement for SQL Server with N, so that it goes as a
// Unicode text: a plain '...' is converted to the database's code page first, and a code or
// name with characters outside it would no longer match or would be written changed. Literals
// already written N'...' stay as they are; quoted names and comments are left untouched.
QString toSqlServerDialect(const QString &sql);

} // namespace krt
