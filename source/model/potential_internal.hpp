#pragma once
// Pieces of the potential unit shared between its own source files only: the settings as the
// rule route sees them, the log-domain basis, the rule for one block and the block product.

#include <algorithm>
#include <cmath>
#include <vector>

#include "skarven/problem.hpp"

namespace skarven::detail {

// The rules and the basis values are formed in extended precision: the nodes reach u ~ 10^4, where
// a double carries the exponent e^-u/2 of a basis function only to about 1e-12, and the upward
// recurrence to index 10^3 loses three digits. Only the final values F(k, i) are rounded.
using extended = long double;

inline constexpr extended ln2 = 0.693147180559945309417232121458176568L;
inline constexpr extended minus_infinity = -HUGE_VALL;

inline extended log_abs(extended x) {
    return std::log(std::fabs(x));
}

// ---- The settings and the potential ----------------------------------------------------------

enum class Range { none, finite, semi_infinite };

struct Interval {
    Range range = Range::none;
    double lower = 0.0;
    double upper = 0.0;
};

// A well lives on [a, b]; the other potentials are cut off at r0 > 0 or extend to infinity
// (upper = HUGE_VAL).
Interval interval_of_potential(const Potential& potential);

struct BasisShape {
    const Potential* potential = nullptr;  // the potential the rules integrate against
    bool gauss = false;
    double l = 0.0;  // the order of the basis functions (basis_order)
    double kappa = 0.0;
    double lambda = 1.0;
    double alpha = 0.0;  // order of the Laguerre polynomials
};

// The basis of the problem, with its potential.
BasisShape shape_of(const Problem& problem);

struct PotentialSample {
    extended log_abs = minus_infinity;
    double sign = 0.0;
    bool finite = true;  // false: v is not a number or infinite there (log_abs, sign as for 0)
};

// The kinds given at run time (named forms, formulas, tables): a value that is not finite at a
// quadrature point ends the computation instead of counting as 0, and their rule is graded
// toward r = 0 and refined where the potential asks for it.
bool runtime_kind(PotentialKind kind);
// "the potential is not finite at r = ...": thrown for a runtime kind.
[[noreturn]] void not_finite_at(double r);

// ln |v(r)| and the sign of v; Coulomb and Yukawa in logarithms so that e^(-m r) far out on a
// Laguerre rule does not underflow before the weight's e^u makes up for it.
// Kept beside potential_value, which it calls for the other types: v's e^(-m r) underflows far out.
PotentialSample potential_at(const Potential& potential, extended r);

// potential_at at every radius r[k], or at r = x[k] / lambda, in one call of a user potential's
// batch_formula; empty for every other potential, whose samples come from potential_at point by
// point.
std::vector<PotentialSample> batched_samples(const Potential& potential,
                                             const std::vector<double>& r);
std::vector<PotentialSample> batched_samples(const Potential& potential,
                                             const std::vector<extended>& x, double lambda);

enum class Component { phi, psi };

// ---- Basis functions in the log domain -------------------------------------------------------
// Apart from basis_values (sk_basis): its doubles feed the other route; these survive far nodes.

// Polynomial arguments beyond this give 0 for every function (e^-y/2 beats any power).
inline constexpr double largest_argument = 1.0e100;
// The recurrences are renormalised by a power of two above this.
inline constexpr double rescale_above = 0x1p100;

// phi_i(x) for i < n as sink(i, mantissa, log_factor): phi_i e^log_offset = mantissa *
// e^log_factor, with x^(l+1) e^(-y/2) in the logarithm and L_i^(alpha)(y) from its upward
// recurrence, renormalised by exact powers of two.
template <class Sink>
void phi_values(const BasisShape& s, int n, extended x, extended log_offset, Sink&& sink) {
    const extended y = s.gauss ? x * x : x;
    if (!(std::fabs(y) <= largest_argument) || n <= 0) return;
    const extended alpha = s.alpha;
    extended log_factor = log_offset + (s.l + 1) * log_abs(x) - 0.5L * y;
    extended before = 0.0;
    extended last = 1.0;
    sink(0, last, log_factor);
    for (int k = 1; k < n; ++k) {
        const extended current = ((2 * k - 1 + alpha - y) * last - (k - 1 + alpha) * before) / k;
        before = last;
        last = current;
        if (std::fabs(last) > rescale_above) {
            int e = 0;
            std::frexp(std::max(std::fabs(last), std::fabs(before)), &e);
            last = std::ldexp(last, -e);
            before = std::ldexp(before, -e);
            log_factor += e * ln2;
        }
        sink(k, last, log_factor);
    }
}

// psi_i = d(phi_i)/dr + (kappa/r) phi_i = lambda x^l e^(-y/2) [(kappa + l + 1 - h) A_i - g C_(i-1)]
// with A_i = L_i^(alpha)(y), C_(i-1) = L_(i-1)^(alpha+1)(y), h = x/2 and g = x (Laguerre) or
// h = y and g = 2y (oscillator). Both recurrences share one binary exponent.
template <class Sink>
void psi_values(const BasisShape& s, int n, extended x, extended log_offset, Sink&& sink) {
    const extended y = s.gauss ? x * x : x;
    if (!(std::fabs(y) <= largest_argument) || n <= 0) return;
    extended log_factor =
        log_offset + std::log(static_cast<extended>(s.lambda)) + s.l * log_abs(x) - 0.5L * y;
    const extended h = s.gauss ? y : 0.5L * x;
    const extended g = s.gauss ? 2.0L * y : x;
    const extended front = s.kappa + s.l + 1 - h;
    const extended alpha = s.alpha;
    const extended beta = alpha + 1.0L;
    extended a_before = 0.0;
    extended a_last = 1.0;
    extended c_before = 0.0;  // C_(k-2)
    extended c_last = 0.0;    // C_(k-1)
    sink(0, front, log_factor);
    for (int k = 1; k < n; ++k) {
        const extended a = ((2 * k - 1 + alpha - y) * a_last - (k - 1 + alpha) * a_before) / k;
        a_before = a_last;
        a_last = a;
        const int j = k - 1;  // index of the new C
        // The first C is 1; no renormalisation has happened before it.
        const extended c =
            j == 0 ? 1.0L : ((2 * j - 1 + beta - y) * c_last - (j - 1 + beta) * c_before) / j;
        c_before = c_last;
        c_last = c;
        const extended big = std::max(std::fabs(a_last), std::fabs(c_last));
        if (big > rescale_above) {
            int e = 0;
            std::frexp(big, &e);
            a_last = std::ldexp(a_last, -e);
            a_before = std::ldexp(a_before, -e);
            c_last = std::ldexp(c_last, -e);
            c_before = std::ldexp(c_before, -e);
            log_factor += e * ln2;
        }
        sink(k, front * a_last - g * c_last, log_factor);
    }
}

// ---- The rule for one block ------------------------------------------------------------------

// Points x_k = lambda r_k and ln of their weights for an integral over r.
struct Points {
    std::vector<extended> x;
    std::vector<extended> log_weight;
};

// The rule for one block of basis size n over `interval`: exact Gauss-Laguerre where the
// integrand allows it, else composite panels (potential_rules.cpp).
Points block_points(const BasisShape& s, Component component, int n, const Interval& interval);

// ---- Tables a PotentialMatrix keeps ------------------------------------------------------------

// The basis functions (index-major: [n * nodes + node]), the potential, and the weight times the
// potential (0 where the weight is 0 or the potential not finite: the integrand vanishes there) at
// the nodes of one level of the double-exponential rule.
struct LevelValues {
    std::vector<double> phi;
    std::vector<double> psi;
    std::vector<double> v;
    std::vector<double> weighted_v;
};

// The basis on the double-exponential nodes of one interval, level by level as elements ask.
struct NodeTable {
    bool valid = false;
    double lower = 0.0;  // the interval tabulated
    double upper = 0.0;
    int capacity = 0;                 // indices tabulated at each node
    std::vector<LevelValues> levels;  // levels[0] is level 1
};

// One rule for every element of a run, with the basis tabulated once on its points:
// values[c][i * count + k] = sqrt(w_k |v(r_k)|) f_i(r_k) for component c (potential_blocks.cpp).
// Rebuilt when the size changes.
struct RunRule {
    int size = -1;
    bool built[2] = {false, false};
    int count[2] = {0, 0};
    std::vector<double> values[2];
    std::vector<double> sign[2];
    bool mixed[2] = {false, false};
    double common_sign[2] = {0.0, 0.0};
};

}  // namespace skarven::detail
