#pragma once
// Exact phase shifts in closed form: the square well and the spherical shell.

#include <optional>

#include "skarven/problem.hpp"

namespace skarven {

// delta in (-pi/2, pi/2] of the well or shell (PotentialKind::well) at kinetic energy e
// (hartree), Schroedinger or Dirac, by matching spherical Bessel and Neumann functions at a and
// b. Cost: a few Bessel values. Accurate to a few ulps of tan(delta) where the functions are;
// no value (std::nullopt) for other potentials, for e below v0, or when the functions cannot be
// computed at those arguments.
std::optional<double> exact_phase_shift(const Problem& problem, double e);

// 2x2 matrices (column order 11, 21, 12, 22) of the free Dirac solutions of `wave` at radius r
// (regular in column 1, minus the irregular in column 2) and their adjugate; false when a
// Bessel value cannot be computed there.
bool free_dirac_solutions(const Wave& wave, double* x, double r, double p, double ratio);
bool free_dirac_adjugate(const Wave& wave, double* y, double r, double p, double ratio);

}  // namespace skarven
