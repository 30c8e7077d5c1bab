// Cylindrical Bessel functions J and Y of any real order on W. J. Cody's RJBESL and RYBESL
// (special_rjbesl.cpp, special_rybesl.cpp), and the spherical Bessel and Neumann functions.
#include <cmath>
#include <cstddef>
#include <numbers>
#include <optional>
#include <vector>

#include "skarven/errors.hpp"
#include "special.hpp"

namespace skarven {

namespace {

using std::numbers::pi;

// The work vector holds every order below the wanted one, so it is sized from the order; orders
// this large are refused as a domain failure (the program asks for l + 1/2 with small l).
constexpr double max_order = 1.0e5;

// A result that cannot be computed; the caller decides what its absence means.
constexpr std::optional<double> domain_failure = std::nullopt;

// J_nu(x) for negative non-integral nu by the ascending series
// (x/2)^nu / Gamma(nu+1) * sum_i (-x^2/4)^i / (i! (nu+1)_i), stopped when a term no longer
// changes the sum.
double bessel_negative_series(double nu, double x) {
    constexpr int max_terms = 500;
    const double factor = -x * x / 4.0;
    double sum = 1.0;
    double term = 1.0;
    bool converged = false;
    for (int i = 1; i <= max_terms; ++i) {
        term = term * factor / (static_cast<double>(i) * (nu + static_cast<double>(i)));
        if (sum + term == sum) {
            converged = true;
            break;
        }
        sum = sum + term;
    }
    if (!converged) throw_error("hyperg01", "convergence failure");
    return sum * std::pow(x / 2.0, nu) / specfun::gamma(nu + 1.0);
}

// Z_nu(x) for nu >= 0 or a negative integer (Z_{-m} = (-1)^m Z_m) by one of Cody's routines,
// which fill the orders alpha, alpha + 1, ... up to |nu|. RYBESL stops its recurrence short of
// overflow and leaves the orders beyond as 0, so for Y (`every_order`) a short count is no value;
// RJBESL's short count marks orders that underflow, and their 0 stands.
using CodyRoutine = void (*)(double x, double alpha, int nb, double* values, int& ncalc);

std::optional<double> by_recurrence(CodyRoutine routine, double nu, double x, bool every_order) {
    const int n = static_cast<int>(nu);
    const double alpha = nu - static_cast<double>(n);
    const int nb = nu >= 0.0 ? n + 1 : 1 - n;
    std::vector<double> values(static_cast<std::size_t>(nb));
    int ncalc = 0;
    routine(x, nu >= 0.0 ? alpha : 0.0, nb, values.data(), ncalc);
    if (ncalc < 0 || (every_order && ncalc < nb)) return domain_failure;
    const double value = values[static_cast<std::size_t>(nb - 1)];
    return (nu < 0.0 && n % 2 != 0) ? -value : value;
}

// sqrt(pi/(2x)) Z_{l+1/2}(x) for a cylindrical function Z; no value at x <= 0 or where the
// product overflows.
std::optional<double> spherical(std::optional<double> (*cylindrical)(double, double), double l,
                                double x) {
    if (x <= 0.0) return domain_failure;
    const std::optional<double> z = cylindrical(l + 0.5, x);
    if (!z) return domain_failure;
    const double value = std::sqrt(pi / 2.0 / x) * *z;
    if (!std::isfinite(value)) return domain_failure;
    return value;
}

}  // namespace

// J_nu(x) for real nu: rjbesl for nu >= 0 and for negative integers, the ascending series for
// other negative orders.
std::optional<double> bessel(double nu, double x) {
    if (!(std::fabs(nu) < max_order)) return domain_failure;
    const double alpha = nu - static_cast<double>(static_cast<int>(nu));
    if (nu < 0.0 && alpha != 0.0) return bessel_negative_series(nu, x);
    return by_recurrence(specfun::rjbesl, nu, x, false);
}

// Y_nu(x) for real nu: rybesl for nu >= 0 and for negative integers, and
// (J_nu cos(nu pi) - J_{-nu}) / sin(nu pi) for other negative orders.
std::optional<double> neumann(double nu, double x) {
    if (!(std::fabs(nu) < max_order)) return domain_failure;
    const double alpha = nu - static_cast<double>(static_cast<int>(nu));
    if (nu < 0.0 && alpha != 0.0) {
        const std::optional<double> j_nu = bessel(nu, x);
        const std::optional<double> j_minus_nu = bessel(-nu, x);
        if (!j_nu || !j_minus_nu) return domain_failure;
        return (*j_nu * std::cos(nu * pi) - *j_minus_nu) / std::sin(nu * pi);
    }
    return by_recurrence(specfun::rybesl, nu, x, true);
}

// j_l(x) = sqrt(pi/(2x)) J_{l+1/2}(x). No value at x <= 0 (j_0(0) = 1 is not returned either).
std::optional<double> sphbess(double l, double x) {
    return spherical(bessel, l, x);
}

// n_l(x) = sqrt(pi/(2x)) Y_{l+1/2}(x), n_0(x) = -cos(x)/x.
std::optional<double> sphneum(double l, double x) {
    return spherical(neumann, l, x);
}

namespace {

// dj_l/dx = (l j_{l-1} - (l+1) j_{l+1}) / (2l+1), and the same for n_l.
// At l = 0 the order -1 term has weight 0; it is skipped because its ascending series (order -1/2)
// does not converge for x beyond a few hundred and would end the run for a value that is unused.
std::optional<double> derivative_by_neighbours(std::optional<double> (*f)(double, double), double l,
                                               double x) {
    const std::optional<double> lower = l == 0.0 ? std::optional<double>(0.0) : f(l - 1.0, x);
    const std::optional<double> upper = f(l + 1.0, x);
    if (!lower || !upper) return domain_failure;
    return (l * *lower - (l + 1.0) * *upper) / (2.0 * l + 1.0);
}

}  // namespace

std::optional<double> sphbess_prim(double l, double x) {
    return derivative_by_neighbours(sphbess, l, x);
}

std::optional<double> sphneum_prim(double l, double x) {
    return derivative_by_neighbours(sphneum, l, x);
}

}  // namespace skarven
