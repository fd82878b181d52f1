#pragma once

#include <QString>

namespace krt {

// Rewrites a statement written in SQL Server's dialect into one SQLite accepts: ISNULL(a, b),
// GETDATE(), a number run straight into a keyword, and UPDATE ... FROM naming only its own
// target. Works on tokens; string literals and identifiers are left untouched.
QString toSqliteDialect(const QString &sql);

} // namespace krt
