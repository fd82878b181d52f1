#include "pricing/pricesql.h"

namespace krt::pricing {

namespace {

QString powerOfTen(const QString &n)
{
    return QStringLiteral("POWER(10, ") + n + QLatin1Char(')');
}

// The rate of the calculation method as the panel holds it; no text for a method outside the
// three, which leaves a statement the database rejects.
QString rateText(const std::array<QString, 3> &rates, int calcMethod)
{
    return calcMethod >= 0 && calcMethod < static_cast<int>(rates.size()) ? rates[calcMethod] : QString();
}

// The stored price as an exact decimal, whatever the column's own type. With an integer column
// SQL Server divides integers without their fraction (toward zero, where the conversion floors),
// and POWER(10, n) is an integer there too, so a rounding divides as integers as well; money keeps
// only four decimals of a quotient and float brings binary fractions. Read as DECIMAL(19, 4), the
// range and the decimals of money, every product, quotient and rounding of the conversion is
// exact decimal arithmetic. A column of an exact decimal type is read as it is stored.
QString exactPrice(const QString &column, PriceReading reading)
{
    if (reading == PriceReading::AsStored)
        return column;
    return QStringLiteral("CAST(") + column + QStringLiteral(" AS DECIMAL(19, 4))");
}

// The price converted from the old rate to the new: the tax contained at the old rate (rounded
// down) is taken off, the tax at the new rate (rounded down) is added.
QString convertedPrice(const QString &priceColumn, const QString &oldRate, const QString &oldRatePlus100,
                       const QString &newRate, PriceReading reading)
{
    const QString column = exactPrice(priceColumn, reading);
    const QString net = QStringLiteral("(") + column + QStringLiteral(" - FLOOR(") + column +
                        QStringLiteral(" * ") + oldRate + QStringLiteral(" / ") + oldRatePlus100 +
                        QStringLiteral("))");
    const QString newTax = QStringLiteral("FLOOR(") + net + QStringLiteral(" * ") + newRate +
                           QStringLiteral(" / 100") + QLatin1Char(')');
    return QLatin1Char('(') + net + QStringLiteral(" + ") + newTax + QLatin1Char(')');
}

QString guarded(const QString &x, const QString &exponent, const QString &rounded)
{
    return QStringLiteral("CASE WHEN ") + x + QStringLiteral(" - ") + powerOfTen(exponent) +
           QStringLiteral(" < 0 THEN ") + x + QStringLiteral(" ELSE ") + rounded + QStringLiteral(" END");
}

} // namespace

QString prfn_RoundHalfUpSql(const QString &x, short n)
{
    const QString power = powerOfTen(QString::number(n));
    return QStringLiteral("FLOOR(") + x + QStringLiteral(" / ") + power + QStringLiteral(" + 0.5) * ") +
           power;
}

QString prfn_RoundDownSql(const QString &x, short n)
{
    const QString power = powerOfTen(QString::number(n));
    return QStringLiteral("FLOOR(") + x + QStringLiteral(" / ") + power + QStringLiteral(") * ") + power;
}

QString prfn_RoundUpSql(const QString &x, short n)
{
    const QString power = powerOfTen(QString::number(n));
    return QStringLiteral("FLOOR(") + x + QStringLiteral(" / ") + power + QStringLiteral(" + 0.9999) * ") +
           power;
}

QString prfn_HasuSql(const QString &x, PriceKind kind, const ConversionParams &params)
{
    const short p = static_cast<short>(params.exponent(kind));
    QString rounded;
    switch (params.HASU_FLG[kind]) {
    case HasuNone:
        rounded = prfn_RoundDownSql(x, 0);
        break;
    case HasuRoundUp:
        rounded = prfn_RoundUpSql(x, p);
        break;
    case HasuRoundDown:
        rounded = prfn_RoundDownSql(x, p);
        break;
    case HasuRoundHalfUp:
        rounded = prfn_RoundHalfUpSql(x, p);
        break;
    default:
        break;
    }
    return guarded(x, QString::number(p), rounded);
}

QString prfn_TaxSql(const QString &column, PriceKind kind, const ConversionParams &params, int calcMethod,
                    PriceReading reading)
{
    const QString oldRate = rateText(params.TAX_ST, calcMethod);
    const QString newRate = rateText(params.TAX_END, calcMethod);
    const QString oldRatePlus100 = QString::number(oldRate.toLongLong() + 100);
    return prfn_HasuSql(convertedPrice(column, oldRate, oldRatePlus100, newRate, reading), kind, params);
}

std::optional<QString> prfn_TaxSqlStored(const QString &column, int oldRate, int newRate,
                                         const QString &codeText, const QString &exponentText,
                                         PriceReading reading)
{
    bool isNumber = false;
    const short e = exponentText.trimmed().toShort(&isNumber);
    if (!isNumber)
        return std::nullopt;
    const QString converted =
        convertedPrice(column, QString::number(oldRate), QString::number(static_cast<qint64>(oldRate) + 100),
                       QString::number(newRate), reading);
    QString rounded;
    if (codeText == QLatin1String("1"))
        rounded = prfn_RoundUpSql(converted, e);
    else if (codeText == QLatin1String("0") || codeText == QLatin1String("2"))
        rounded = prfn_RoundDownSql(converted, e);
    else if (codeText == QLatin1String("3"))
        rounded = prfn_RoundHalfUpSql(converted, e);
    return guarded(converted, exponentText, rounded);
}

} // namespace krt::pricing
