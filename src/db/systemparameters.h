#pragma once

#include "db/connection.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

namespace krt {

// Where a database keeps the family's system parameters: a table with a parameter-number column
// and a content column. The form takes the names from the settings, so that a database whose
// parameters live in a table of its own is read where the family keeps them.
struct SysParmSource
{
    QString table = QStringLiteral("MSYSPARM");
    QString numberColumn = QStringLiteral("PARM_NO");
    QString contentColumn = QStringLiteral("NAIYO");

    // Every name is a plain identifier (optionally qualified by a schema, as dbo.MSYSPARM), so
    // that it can stand in a statement unquoted.
    bool isValid() const;
    QString lookupSql(short number) const;
};

// The source the settings name: [Common] SysParmTable, SysParmNoColumn and SysParmValueColumn,
// read through commonSetting, name the table and its two columns; an absent or empty key keeps
// the family's usual name. The window and the command line read the same keys.
SysParmSource sysParmSource(const std::function<QString(const QString &key)> &commonSetting);

// The family's system-parameter reader (QLB318.QLB318C2): looks a parameter up in the open
// database through the program's connection.
class QLB318C2
{
public:
    // Answers of GetSysParm: Found, or a non-zero answer the caller does not report.
    static constexpr short Found = 0;
    static constexpr short NotFound = 1;
    static constexpr short ReadFailed = -1; // no such table or column, or no database

    QLB318C2(Connection *connection, SysParmSource source);

    short GetSysParm(short n);

    // The content of the parameter found last; null before any was found.
    QVariant NAIYO() const { return m_naiyo; }

private:
    Connection *m_connection;
    SysParmSource m_source;
    QVariant m_naiyo;
};

// Parameter 1200 as the family's programs read it: a whole number from any numeric text
// ("1", " 1 ", "1.0", "0.0"; halves go to the even neighbour), blanks around it ignored. Nothing
// for a text that is no number.
std::optional<int> stockModeOf(const QVariant &naiyo);

// Parameter 3080, the consumption-tax rate in force, as whole percent for the rate box: a
// fraction ("0.08", "0.1", "0.10") is multiplied by 100, a value over 1 ("8", "10") is already a
// percentage (no consumption tax reaches 100 %). The percentage is rounded to six decimals before
// it is floored (0.29 * 100 is 28.999999999999996 in double precision and still gives 29). Nothing
// for a text that is no number or a rate outside 0 to 99 percent, which the two-digit box cannot
// hold.
std::optional<QString> taxPercentOf(const QVariant &naiyo);

} // namespace krt
