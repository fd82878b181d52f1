#pragma once

#include <QHash>
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

// Adapts statements for one engine and keeps the adapted form of each statement shape: its text
// with the string literals taken out. A run sends the same few shapes with other category codes
// for every category; each shape is adapted token by token once, and every statement of that
// shape gets the adapted text with its own literals put back. Gives exactly what the adapter
// gives for the whole statement.
class DialectCache
{
public:
    using Adapter = QString (*)(const QString &);
    // Without an adapter, statements pass unchanged.
    explicit DialectCache(Adapter adapter = nullptr);

    QString adapt(const QString &sql);

private:
    Adapter m_adapter;
    QHash<QString, QString> m_shapes;
};

} // namespace krt
