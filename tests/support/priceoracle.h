#pragma once

// The exact price oracle of the tests: the conversion of a whole-number price computed in whole
// numbers, independently of the price expressions the program sends.

#include "pricing/conversionparams.h"

#include <QtGlobal>

namespace krt::testing {

// Division rounding toward minus infinity, as FLOOR of a true quotient does.
inline qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The tax conversion alone: the tax the price contains at the old rate is taken off, the new tax
// added, each rounded down.
inline qint64 convertedPrice(qint64 price, qint64 oldRate, qint64 newRate)
{
    const qint64 net = price - floorDiv(price * oldRate, oldRate + 100);
    return net + floorDiv(net * newRate, 100);
}

// The converted price after the rounding method acts at 10 to the power of the exponent (0 for
// no rounding), leaving values below one rounding unit as they are.
inline qint64 exactPrice(qint64 price, qint64 oldRate, qint64 newRate, int code, int exponent)
{
    const qint64 t = convertedPrice(price, oldRate, newRate);
    qint64 unit = 1;
    for (int i = 0; i < exponent; ++i)
        unit *= 10;
    if (t - unit < 0)
        return t;
    switch (code) {
    case HasuRoundUp: // floor(t / unit + 0.9999)
        return floorDiv(t * 10000 + 9999 * unit, unit * 10000) * unit;
    case HasuRoundHalfUp: // floor(t / unit + 0.5)
        return floorDiv(2 * t + unit, 2 * unit) * unit;
    default: // none (unit 1) and round down
        return floorDiv(t, unit) * unit;
    }
}

} // namespace krt::testing
