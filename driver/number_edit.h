// The two number edits of the result files: E17.6E3 for every table and
// G15.6 for the time column. Both round to 6 significant decimal digits, to
// nearest with ties to even, from the exact binary value.
#pragma once

namespace zorvik {

inline constexpr int kEFieldWidth = 17;
inline constexpr int kGFieldWidth = 15;

// Writes exactly 17 characters, no terminator: "    0.123456E+003".
void edit_e17_6e3(double v, char* field) noexcept;

// Writes exactly 15 characters, no terminator: "    12.5000    " or
// "   0.200000E-01".
void edit_g15_6(double v, char* field) noexcept;

}  // namespace zorvik
