#pragma once

namespace krt {

// The screen's mouse pointer: 11 shows the hourglass, 0 the default pointer. Setting a value
// replaces the previous one; the calls do not nest.
inline constexpr int PointerDefault = 0;
inline constexpr int PointerHourglass = 11;

void setScreenPointer(int code);
int screenPointer();

} // namespace krt
