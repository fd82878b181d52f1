#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

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

// A statement whose string literals go as bound values: its adapted shape with the parameter
// marker ? in place of each literal, and the literals' texts (between their quotes, doubled quotes
// undone) in their order.
struct BoundStatement
{
    QString shape;
    QStringList values;
};

// Adapts statements for one engine and keeps the adapted form of each statement shape: its text
// with the string literals taken out. A run sends the same few shapes with other category codes
// for every category; each shape is adapted token by token once, and every statement of that
// shape gets the adapted text with its own literals put back. Gives exactly what the adapter
// gives for the whole statement.
class DialectCache
{
public:
    using Adapter = QString (*)(const QString &);
    // How the engine's driver takes a literal as a bound value. Plain: a bound text stands for
    // '...' (an N'...' goes as text). National: a bound text goes as a Unicode text, as N'...'
    // does, which the adapter writes for every literal.
    enum class Binding { None, Plain, National };
    // Without an adapter, statements pass unchanged and none is bound.
    explicit DialectCache(Adapter adapter = nullptr, Binding binding = Binding::None);

    QString adapt(const QString &sql);
    // The statement with its literals as bound values, so that its shape is compiled once; nothing
    // when it goes as text: no literal, a statement other than SELECT, INSERT, UPDATE or DELETE, a
    // literal not closed, or a ? or : that the drivers could take for a parameter marker.
    std::optional<BoundStatement> bind(const QString &sql);

private:
    struct Shape
    {
        QString adapted;
        QString bound; // the adapted shape with markers; empty when it goes as text
    };
    const Shape &cached(const QString &shape);

    Adapter m_adapter;
    Binding m_binding;
    QHash<QString, Shape> m_shapes;
};

} // namespace krt
