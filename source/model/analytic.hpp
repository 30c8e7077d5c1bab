#pragma once
// Exact phase shifts in closed form: the square well and the spherical shell (also under a
// Coulomb tail), the s wave of the Hulthen potential.

#include "skarven/skarven.hpp"

namespace skarven {

// exact_phase_shift, declared with the library's entry points, is defined here.

// 2x2 matrices (column order 11, 21, 12, 22) of the free Dirac solutions of `wave` at radius r
// (regular in column 1, minus the irregular in column 2) and their adjugate; false when a
// Bessel value cannot be computed there.
bool free_dirac_solutions(const Wave& wave, double* x, double r, double p, double ratio);
bool free_dirac_adjugate(const Wave& wave, double* y, double r, double p, double ratio);

}  // namespace skarven
