#include "coefficients.hpp"

#include <cmath>
#include <vector>

#include "sk_basis.hpp"
#include "special.hpp"

namespace skarven {

namespace {

constexpr double sqrt_pi = 1.7724538509055159;
constexpr double sqrt_two_pi = 2.5066282746310002;
constexpr double sqrt_two_over_pi = 0.7978845608028654;
constexpr int series_term_limit = 500;

// Coefficient tables of the regular and irregular free solutions at the current energy. An
// empty vector is an unallocated table (an allocated one has at least four entries). Main
// thread only, like every caller of s and c.
std::vector<double> t_s;
std::vector<double> t_c;

// Highest index kept: the largest basis size; a run with nend below 3 still gets 0..5.
int table_top_index() {
    return sk_globals.nend >= 3 ? sk_globals.nend : 5;
}

// x^n for n >= 0 by repeated squaring, the way an integer power of a double is formed.
double integer_power(double x, int n) {
    double result = 1.0;
    while (n > 0) {
        if (n & 1) result *= x;
        x *= x;
        n >>= 1;
    }
    return result;
}

// The free element J(a, b) = H0 - E S of the non-relativistic row, used in every scheme.
double free_j(int a, int b) {
    const double k = sk_globals.projectile.k;
    return 0.5 * psipsi(a, b) - 0.5 * k * k * fifi(a, b);
}

// Energy-dependent quantities shared by both tables.
struct FreeKinematics {
    double q;  // k / lambda
    double x;  // argument of the Gegenbauer polynomials
    double y;  // sqrt(1 - x^2), formed without the cancellation of that expression
    double u;  // (1 - x) / 2, argument of the Gauss series
};

FreeKinematics free_kinematics() {
    const double k = sk_globals.projectile.k;
    const double lambda = sk_globals.lambda;
    const double q = k / lambda;
    const double q2 = q * q;
    return {q, (q2 - 0.25) / (q2 + 0.25), k / (k * k / lambda + lambda / 4.0),
            lambda * lambda / (4.0 * k * k + lambda * lambda)};
}

// Continues a table from its two closed-form entries by row n - 1 >= 1 of the free relation,
// J(n-1, n-2) t(n-2) + J(n-1, n-1) t(n-1) + J(n-1, n) t(n) = 0, which both solutions satisfy.
void continue_by_free_relation(std::vector<double>& table) {
    for (int n = 2; n < static_cast<int>(table.size()); ++n) {
        table[n] = -(free_j(n - 1, n - 2) * table[n - 2] + free_j(n - 1, n - 1) * table[n - 1]) /
                   free_j(n - 1, n);
    }
}

void fill_t_s(std::vector<double>& table) {
    const int l = sk_globals.projectile.l;
    const FreeKinematics w = free_kinematics();
    if (text_is(sk_globals.basis, "laguerre")) {
        const double p = integer_power(2.0, l);
        const double f1 = gamma(l + 1.0);
        const double yl1 = integer_power(w.y, l + 1);
        table[0] = f1 * p / fact(2 * l + 1) * yl1 * gegen(0, l + 1, w.x);
        table[1] = f1 * p / fact(2 * l + 2) * yl1 * gegen(1, l + 1, w.x);
    } else if (text_is(sk_globals.basis, "gauss")) {
        const double q2 = w.q * w.q;
        const double alpha = l + 0.5;
        const double common = std::exp(-q2 / 2.0) * integer_power(w.q, l + 1);
        table[0] = (sqrt_two_pi / gamma(l + 1.5)) * common * laguerre(0, alpha, q2);
        table[1] = -(sqrt_two_pi / gamma(l + 2.5)) * common * laguerre(1, alpha, q2);
    }
    continue_by_free_relation(table);
}

void fill_t_c(std::vector<double>& table) {
    const int l = sk_globals.projectile.l;
    const FreeKinematics w = free_kinematics();
    if (text_is(sk_globals.basis, "laguerre")) {
        const double p = integer_power(2.0, l);
        const double g = gamma(l + 0.5);
        const double scale = -(g / sqrt_pi) * (p / integer_power(w.y, l));
        const double h0 = hyperg21(1.0, -2.0 * l - 1.0, 0.5 - l, w.u);
        const double h1 = hyperg21(2.0, -2.0 * l - 2.0, 0.5 - l, w.u);
        table[0] = scale / fact(2 * l + 1) * h0;
        table[1] = scale / fact(2 * l + 2) * h1;
    } else if (text_is(sk_globals.basis, "gauss")) {
        const double q2 = w.q * w.q;
        const double g = gamma(l + 0.5);
        const double common = std::exp(-q2 / 2.0) / integer_power(w.q, l);
        const double k0 = hyperg11(-l - 0.5, 0.5 - l, q2);
        const double k1 = hyperg11(-l - 1.5, 0.5 - l, q2);
        table[0] = sqrt_two_over_pi * g / gamma(l + 1.5) * common * k0;
        table[1] = -sqrt_two_over_pi * g / gamma(l + 2.5) * common * k1;
    }
    continue_by_free_relation(table);
}

// Shared life cycle of both tables: allocate on first use, keep for the whole basis-size pass
// (the energy is fixed there), refill on every call of the energy pass, release on request.
double read_table(std::vector<double>& table, void (*fill)(std::vector<double>&), int n,
                  CacheAction action) {
    const bool allocated = !table.empty();
    if (!allocated) table.assign(table_top_index() + 1, 0.0);
    if (!allocated || sk_globals.pass == 2) fill(table);
    SKARVEN_CHECK(n >= 0 && n < static_cast<int>(table.size()));
    const double value = table[n];
    if (action == CacheAction::release) std::vector<double>().swap(table);
    return value;
}

}  // namespace

// Regular free-solution coefficient s_n: closed forms for n = 0, 1 (Gegenbauer polynomials in
// the Laguerre basis, Laguerre polynomials in the oscillator basis), then the free relation.
double s(int n, CacheAction action) {
    return read_table(t_s, fill_t_s, n, action);
}

// Irregular free-solution coefficient c_n: closed forms for n = 0, 1 (Gauss series in the
// Laguerre basis, Kummer series in the oscillator basis), then the free relation.
double c(int n, CacheAction action) {
    return read_table(t_c, fill_t_c, n, action);
}

// Gegenbauer polynomial C_n^(m)(x) from its Fourier form
// sum_k Gamma(m+k) Gamma(m+n-k) / (k! (n-k)! Gamma(m)^2) cos((n-2k) theta), cos theta = x,
// with the Gamma ratios taken from the log-factorial table.
double gegen(int n, int m, double x) {
    if (std::fabs(x) > 1.0) show_error("gegen", "improper argument");
    if (n < 0) return 0.0;
    const double theta = std::acos(x);
    const double gamma_m = gamma(static_cast<double>(m));
    const double gamma_m_squared = gamma_m * gamma_m;
    double sum = 0.0;
    for (int k = 0; k <= n; ++k) {
        sum += std::exp(lfact(m - 1 + k) - lfact(k)) * std::cos((n - 2 * k) * theta) *
               std::exp(lfact(m + n - 1 - k) - lfact(n - k)) / gamma_m_squared;
    }
    return sum;
}

// Gauss series 2F1(a, b; c; z), summed until a term no longer changes the sum. With b a
// negative integer the series is a polynomial and ends on an exactly zero term.
double hyperg21(double a, double b, double c, double z) {
    double sum = 1.0;
    double term = 1.0;
    for (int i = 0; i <= series_term_limit; ++i) {
        term = (a + i) * (term * (b + i) / (c + i)) * z / (i + 1);
        if (sum + term == sum) return sum;
        sum += term;
    }
    show_error("hyperg21", "convergence failure");
}

// Kummer series 1F1(a; c; z), summed until a term no longer changes the sum.
double hyperg11(double a, double c, double z) {
    double sum = 1.0;
    double term = 1.0;
    for (int i = 1; i <= series_term_limit; ++i) {
        term = term * z * (a + i - 1) / (i * (c + i - 1));
        if (sum + term == sum) return sum;
        sum += term;
    }
    show_error("hyperg11", "convergence failure");
}

}  // namespace skarven
