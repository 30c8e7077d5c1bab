#pragma once
// Pieces of the special-functions unit shared between its own source files only.

#include <array>

namespace skarven::detail {

// ln n! (0..5003), each the nearest double of the exact value (special_tables.cpp, generated
// data).
extern const std::array<double, 5004> t_lf;

// What dgamma returns where the gamma function is undefined or out of range.
inline constexpr double gamma_failure = 1.0e308;

// Cody's DGAMMA with this program's thresholds; returns gamma_failure without a report.
double dgamma(double x);

}  // namespace skarven::detail
