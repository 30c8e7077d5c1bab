#pragma once
// Expansion coefficients s_n (regular) and c_n (irregular) of the free solutions.

#include "settings.hpp"

namespace skarven {

// t_s(n) / t_c(n) at the current energy; CacheAction::release frees the table after the read.
double s(int n, CacheAction action = CacheAction::keep);
double c(int n, CacheAction action = CacheAction::keep);
// Gegenbauer polynomial C_n^(m)(x).
double gegen(int n, int m, double x);
// Gauss 2F1(a, b; c; z) and Kummer 1F1(a; c; z) series as the coefficients use them.
double hyperg21(double a, double b, double c, double z);
double hyperg11(double a, double c, double z);

}  // namespace skarven
