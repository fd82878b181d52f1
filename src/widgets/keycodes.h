#pragma once

namespace krt {

// The family's key codes, as the category grid's KeyDown event passes them and the form's key
// handlers take them.
namespace keycode {
constexpr int Return = 13;
constexpr int Space = 32;
constexpr int Delete = 46;
} // namespace keycode

} // namespace krt
