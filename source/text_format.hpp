#pragma once
// Fixed-format fields of the result files: Iw and Fw.d as the files document them.

#include <string>

namespace skarven {

// Integer right-aligned in `width` columns; asterisks when it does not fit.
std::string format_int(long long value, int width);

// Fixed-point, `width` columns with `decimals` decimals, correctly rounded and right-aligned.
// A leading zero is written when there is room ("0.5000" in F6.4, ".5000" in F5.4); a value that
// does not fit, or is not finite, fills the field with asterisks.
std::string format_fixed(double value, int width, int decimals);

// format_fixed for a data column: a finite value too wide for `decimals` is written with as many
// decimals as the field allows (down to none) before the field fills with asterisks.
std::string format_fixed_fitting(double value, int width, int decimals);

// Scientific notation (Ew.d with a two- or three-digit exponent, "1.2500E-03" in E10.4),
// right-aligned; asterisks when it does not fit or is not finite.
std::string format_scientific(double value, int width, int decimals);

}  // namespace skarven
