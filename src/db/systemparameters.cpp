#include "db/systemparameters.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace krt {

namespace {

std::optional<double> numberOf(const QVariant &naiyo)
{
    bool ok = false;
    const double value = naiyo.toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

bool SysParmSource::isValid() const
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    static const QRegularExpression qualified(
        QStringLiteral("^([A-Za-z_][A-Za-z0-9_]*\\.){0,2}[A-Za-z_][A-Za-z0-9_]*$"));
    return qualified.match(table).hasMatch() && name.match(numberColumn).hasMatch() &&
           name.match(contentColumn).hasMatch();
}

QString SysParmSource::lookupSql(short number) const
{
    return QStringLiteral("SELECT %1 FROM %2 WHERE %3 = %4")
        .arg(contentColumn, table, numberColumn, QString::number(number));
}

SysParmSource sysParmSource(const std::function<QString(const QString &key)> &commonSetting)
{
    const SysParmSource defaults;
    const auto read = [&commonSetting](const QString &key, const QString &fallback) {
        const QString name = commonSetting(key).trimmed();
        return name.isEmpty() ? fallback : name;
    };
    return {read(QStringLiteral("SysParmTable"), defaults.table),
            read(QStringLiteral("SysParmNoColumn"), defaults.numberColumn),
            read(QStringLiteral("SysParmValueColumn"), defaults.contentColumn)};
}

QLB318C2::QLB318C2(Connection *connection, SysParmSource source)
    : m_connection(connection)
    , m_source(std::move(source))
{}

short QLB318C2::GetSysParm(short n)
{
    if (!m_connection || !m_source.isValid())
        return ReadFailed;
    const std::optional<Recordset> rs = m_connection->openRecordset(m_source.lookupSql(n));
    if (!rs)
        return ReadFailed;
    if (rs->eof())
        return NotFound;
    m_naiyo = rs->field(0);
    return Found;
}

std::optional<int> stockModeOf(const QVariant &naiyo)
{
    const std::optional<double> value = numberOf(naiyo);
    if (!value)
        return std::nullopt;
    // Rounded as the family's programs convert a number to a whole number: halves to even (the
    // default rounding mode of nearbyint).
    const double whole = std::nearbyint(*value);
    if (whole < std::numeric_limits<int>::min() || whole > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(whole);
}

std::optional<QString> taxPercentOf(const QVariant &naiyo)
{
    const std::optional<double> value = numberOf(naiyo);
    if (!value)
        return std::nullopt;
    const double scaled = *value > 1.0 ? *value : *value * 100.0;
    const double percent = std::floor(std::round(scaled * 1e6) / 1e6);
    if (percent < 0.0 || percent > 99.0)
        return std::nullopt;
    return QString::number(percent, 'f', 0);
}

} // namespace krt
