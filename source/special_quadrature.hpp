#pragma once
// Double-exponential quadrature (Ooura's table-driven intde / intdei).

namespace skarven {

// The program's table constants.
inline constexpr int quadrature_lenaw = 8000;
inline constexpr double quadrature_tiny = 1.0e-307;
inline constexpr double quadrature_eps = 1.0e-8;

// Fill a table of `lenaw` doubles for the finite (tanh-sinh) and semi-infinite (exp-sinh) rules.
void intde_init(int lenaw, double tiny, double eps, double* table);
void intdei_init(int lenaw, double tiny, double eps, double* table);

// Integral of f over [a, b] (oriented). f is any callable double(double).
template <class F>
void intde(F&& f, double a, double b, const double* table, double& i, double& err);
// Integral of f over [a, infinity).
template <class F>
void intdei(F&& f, double a, const double* table, double& i, double& err);

}  // namespace skarven
