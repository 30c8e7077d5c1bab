#pragma once
// Expansion coefficients s_n (regular) and c_n (irregular) of the free solutions.

#include "settings.hpp"

namespace skarven {

// Largest (k/lambda)^2 of the oscillator basis: beyond it the irregular coefficients span more
// than the range of a double (c_0 / c_n grows like e^(q^2/2)) and s and c throw Error.
constexpr double max_gauss_q2 = 2500.0;

// t_s(n) / t_c(n) at the current energy; CacheAction::release frees the table after the read.
// Both tables carry one common factor, a power of two below 1 where the natural size of c_n
// would overflow (oscillator basis, q^2 above about 1400); only their ratios enter tan(delta).
double s(int n, CacheAction action = CacheAction::keep);
double c(int n, CacheAction action = CacheAction::keep);
// Frees both tables without filling them.
void release_free_solution_tables();

}  // namespace skarven
