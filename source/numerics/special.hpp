#pragma once
// Special functions of the numerical library: factorials and gamma functions, double-exponential
// quadrature (special_quadrature.hpp) and Bessel functions.

#include <complex>
#include <optional>
#include <vector>

#include "special_quadrature.hpp"

namespace skarven {

// ---- Factorials and gamma functions --------------------------------------------------------

// ln n! for 0 <= n <= 5003 from a table holding the nearest double of every entry.
double lfact(int n);
// m!/n! = (n+1)(n+2)...m for m >= n.
double fact_over_fact(int m, int n);
namespace specfun {
// Gamma function (Cody's DGAMMA with this program's thresholds); improper arguments are fatal.
double gamma(double x);
// ln Gamma(x) (Cody's DLGAMA); 1.79e308 outside 0 < x <= 2.55e305.
double lgamma(double x);
}  // namespace specfun
// ln Gamma(z) for complex z away from the poles (Lanczos's series, reflection for Re z < 1/2),
// about 1e-14 relative; the imaginary part is continuous along lines of constant Re z only up to
// multiples of 2 pi.
std::complex<double> log_gamma(std::complex<double> z);

// ---- Bessel and spherical Bessel functions ---------------------------------------------------

// Spherical Bessel j_l(x), Neumann n_l(x) and their x-derivatives. x <= 0, or an order or
// argument the cylindrical routines refuse, gives no value.
std::optional<double> sphbess(double l, double x);
std::optional<double> sphneum(double l, double x);
std::optional<double> sphbess_prim(double l, double x);
std::optional<double> sphneum_prim(double l, double x);
// Cylindrical J_nu(x) and Y_nu(x) for real nu, |nu| < 1e5 (the work vector is sized from the
// order). Domain failures give no value; a negative non-integral order whose ascending series
// does not settle in 500 terms is fatal ("hyperg01").
std::optional<double> bessel(double nu, double x);
std::optional<double> neumann(double nu, double x);
namespace specfun {
// Cody's RJBESL / RYBESL: b[k] = J_{alpha+k}(x), by[k] = Y_{alpha+k}(x), k = 0..nb-1.
void rjbesl(double x, double alpha, int nb, double* b, int& ncalc);
void rybesl(double x, double alpha, int nb, double* by, int& ncalc);
}  // namespace specfun

// ---- Coulomb wave functions ------------------------------------------------------------------

// F_l(eta, rho), G_l(eta, rho) and their rho-derivatives for l = 0..lmax (index l).
struct CoulombFunctions {
    std::vector<double> f, fp, g, gp;
};
// Steed's method (Barnett's continued fractions CF1 and CF2 with the l recurrences), handing over
// below the l = 0 turning point of a repulsive field (rho < 2 eta) to an inward Taylor series for
// G_0 and the Wronskian for F_0. Relative accuracy about 1e-13 (1e-12 below rho = 1 in an
// attractive field, where CF2 sums thousands of terms). Cost: about rho + lmax steps of CF1 and
// about 60/rho of CF2. rho <= 0, lmax < 0, a continued fraction that does not settle (rho beyond
// about 1e6) or a value beyond the range of a double give no value.
std::optional<CoulombFunctions> coulomb_functions(double eta, double rho, int lmax);
// The Coulomb phase sigma_l = arg Gamma(l + 1 + i eta), on the branch continuous in eta through
// sigma_l(0) = 0 (Im ln Gamma), to about 1e-15 absolute for |eta| up to 1e3.
double coulomb_phase(int l, double eta);

}  // namespace skarven
