#pragma once
// Exact phase shift of the square well / spherical shell.

namespace skarven {

// Phase shift for the current settings; 0 with sk_globals.delta_analytic_error set when none.
double delta_analytic();
// 2x2 matrices (column order 11, 21, 12, 22) of the free Dirac solutions at radius r; false when
// a Bessel value cannot be computed there.
bool formx(double* x, double r, double p, double ratio);
bool formy(double* y, double r, double p, double ratio);

}  // namespace skarven
