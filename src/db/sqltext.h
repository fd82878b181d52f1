#pragma once

#include <QString>

namespace krt {

// A text value as it stands between single quotes in a statement: every embedded quote is
// doubled, so that a value can neither break the statement nor change its meaning. Values
// without quotes come out unchanged.
inline QString sqlText(const QString &value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\''), QStringLiteral("''"));
    return escaped;
}

} // namespace krt
