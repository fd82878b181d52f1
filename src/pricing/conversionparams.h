#pragma once

#include <QString>

#include <array>

namespace krt {

// Which prices a rounding choice applies to: the goods prices or the add-on prices.
enum PriceKind { Goods = 0, AddOn = 1 };

// Rounding-method codes.
enum HasuCode { HasuNone = 0, HasuRoundUp = 1, HasuRoundDown = 2, HasuRoundHalfUp = 3 };

// The conversion parameters the operator enters on the condition panel.
//
// A rate value is held as text: empty, the digits the operator typed (kept as typed, "08" stays
// "08"), or the decimal digits of a number the program set (the fixed zeros, the current tax
// rate of the database).
struct ConversionParams
{
    int CalcMethod = 0;
    std::array<QString, 3> TAX_ST;
    std::array<QString, 3> TAX_END;
    // Indexed by PriceKind: entry 0 is GOODS_HASU_FLG / GOODS_HASU_ICHI, entry 1 is
    // GADD_HASU_FLG / GADD_HASU_ICHI.
    std::array<int, 2> HASU_FLG{HasuNone, HasuNone};
    std::array<int, 2> HASU_ICHI{0, 0};

    // The power of ten at which prices of a kind are rounded: 0 without rounding, otherwise the
    // digit position plus 1. It is also the value recorded for the category.
    int exponent(PriceKind kind) const { return HASU_FLG[kind] == HasuNone ? 0 : HASU_ICHI[kind] + 1; }
};

} // namespace krt
