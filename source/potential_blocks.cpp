// Potential blocks of the fast route: every basis function at every point of one quadrature rule
// (one recurrence pass per point for all indices), then V = F^T diag(sign) F as one blocked matrix
// product, F(k, i) = sqrt(w_k |v(r_k)|) f_i(r_k).
//
// The rule is matched to the integrand. On [0, infinity) the Laguerre basis with a Coulomb or
// Yukawa potential, and the oscillator basis with a Coulomb potential (in t = x^2), give
// u^beta e^-u times a polynomial of degree below 2K: a generalized Gauss-Laguerre rule of K points
// is exact. Everything else (the well, cut-off potentials, the oscillator basis with a Yukawa
// potential to infinity) uses composite Gauss-Legendre panels in x sized by the local wave number
// of the highest basis function, with a Gauss-Jacobi panel at r = 0 for a fractional power there.
// Weights, powers and exponentials are carried as logarithms and the polynomials as mantissa and
// binary exponent, so no factor overflows or underflows on the way to a representable product.

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "potential.hpp"
#include "settings.hpp"
#include "sk_basis.hpp"

namespace skarven {

namespace {

// The rules and the basis values are formed in extended precision: the nodes reach u ~ 10^4, where
// a double carries the exponent e^-u/2 of a basis function only to about 1e-12, and the upward
// recurrence to index 10^3 loses three digits. Only the final values F(k, i) are rounded.
using extended = long double;

constexpr extended ln2 = 0.693147180559945309417232121458176568L;
constexpr extended minus_infinity = -HUGE_VALL;

// ---- Gauss rules from the three-term recurrence ---------------------------------------------

// Orthonormal polynomials of a weight: b[k+1] p_(k+1) = (t - a[k]) p_k - b[k] p_(k-1), with
// p_0 = 1/sqrt(mu0), mu0 the integral of the weight.
struct Recurrence {
    std::vector<extended> a;  // a[0 .. K-1]
    std::vector<extended> b;  // b[1 .. K]; b[0] = 0
    extended log_mu0 = 0.0;
};

// Weight t^beta e^-t on (0, infinity): a_k = 2k + beta + 1, b_k = sqrt(k (k + beta)).
Recurrence laguerre_recurrence(int count, double beta) {
    Recurrence rec;
    rec.a.resize(count);
    rec.b.assign(count + 1, 0.0);
    for (int k = 0; k < count; ++k)
        rec.a[k] = 2.0L * k + beta + 1.0L;
    for (int k = 1; k <= count; ++k)
        rec.b[k] = std::sqrt(k * (k + static_cast<extended>(beta)));
    // lgammal_r leaves the global signgam alone, so rules may be built on several threads.
    int sign = 0;
    rec.log_mu0 = lgammal_r(static_cast<extended>(beta) + 1.0L, &sign);
    return rec;
}

// Weight s^gamma on (0, 1): the Jacobi polynomials P^(0, gamma) moved from [-1, 1] to [0, 1]
// (a_k halved and shifted, b_k halved); gamma = 0 is Gauss-Legendre.
Recurrence jacobi_recurrence(int count, double gamma) {
    Recurrence rec;
    rec.a.resize(count);
    rec.b.assign(count + 1, 0.0);
    const extended g = gamma;
    for (int k = 0; k < count; ++k) {
        const extended s = 2.0L * k + g;
        const extended centre = k == 0 ? g / (g + 2.0L) : g * g / (s * (s + 2.0L));
        rec.a[k] = 0.5L * (centre + 1.0L);
    }
    for (int k = 1; k <= count; ++k) {
        const extended s = 2.0L * k + g;
        rec.b[k] = k * (k + g) / (s * std::sqrt((s - 1.0L) * (s + 1.0L)));
    }
    rec.log_mu0 = -std::log(g + 1.0L);
    return rec;
}

// Eigenvalues of the symmetric tridiagonal matrix with diagonal d and off-diagonal e (e[i]
// couples i and i + 1; e[n-1] = 0) by the implicit QL iteration with Wilkinson's shift, as in
// EISPACK's imtql1. d is replaced by the eigenvalues, unordered; e is destroyed. The entries here
// stay far from the double range, so plain sqrt(f^2 + g^2) serves for pythag.
void tridiagonal_eigenvalues(std::vector<double>& d, std::vector<double>& e) {
    const int n = static_cast<int>(d.size());
    for (int l = 0; l < n; ++l) {
        for (int iteration = 0; iteration < 60; ++iteration) {
            int m = l;
            for (; m < n - 1; ++m) {
                const double dd = std::fabs(d[m]) + std::fabs(d[m + 1]);
                if (std::fabs(e[m]) + dd == dd) break;
            }
            if (m == l) break;
            double g = (d[l + 1] - d[l]) / (2.0 * e[l]);
            double r = std::sqrt(g * g + 1.0);
            g = d[m] - d[l] + e[l] / (g + std::copysign(r, g));
            double s = 1.0;
            double c = 1.0;
            double p = 0.0;
            bool deflated = false;
            for (int i = m - 1; i >= l; --i) {
                const double f = s * e[i];
                const double b = c * e[i];
                r = std::sqrt(f * f + g * g);
                e[i + 1] = r;
                if (r == 0.0) {
                    d[i + 1] -= p;
                    e[m] = 0.0;
                    deflated = true;
                    break;
                }
                s = f / r;
                c = g / r;
                g = d[i + 1] - p;
                r = (d[i] - g) * s + 2.0 * c * b;
                p = s * r;
                d[i + 1] = g + p;
                g = c * r - b;
            }
            if (deflated) continue;
            d[l] -= p;
            e[l] = g;
            e[m] = 0.0;
        }
    }
}

struct RecurrenceValue {
    extended newton_step;  // p_K(t) / p_K'(t)
    extended log_sum;      // ln sum_(j<K) p_j(t)^2 mu0
};

// One pass of the recurrence and of its derivative up to p_K, renormalised by powers of two
// so that nodes far out on the Laguerre axis do not overflow.
RecurrenceValue evaluate_recurrence(const Recurrence& rec, int count, extended t) {
    extended p_prev = 0.0;
    extended p = 1.0;
    extended d_prev = 0.0;
    extended d = 0.0;
    extended sum = 1.0;
    int exponent = 0;  // stored values are the true ones times 2^-exponent
    for (int k = 0; k < count; ++k) {
        const extended shift = t - rec.a[k];
        const extended p_next = (shift * p - rec.b[k] * p_prev) / rec.b[k + 1];
        const extended d_next = (shift * d + p - rec.b[k] * d_prev) / rec.b[k + 1];
        p_prev = p;
        p = p_next;
        d_prev = d;
        d = d_next;
        if (k + 1 < count) sum += p * p;
        const extended big = std::max(std::fabs(p), std::fabs(d));
        if (big > 0x1p200L) {
            int e = 0;
            std::frexp(big, &e);
            p = std::ldexp(p, -e);
            p_prev = std::ldexp(p_prev, -e);
            d = std::ldexp(d, -e);
            d_prev = std::ldexp(d_prev, -e);
            sum = std::ldexp(sum, -2 * e);
            exponent += e;
        }
    }
    return {p / d, std::log(sum) + 2.0L * exponent * ln2};
}

struct GaussRule {
    std::vector<extended> node;
    std::vector<extended> log_weight;
};

// Gauss rule of `count` points: nodes as eigenvalues of the Jacobi matrix (Golub-Welsch),
// polished by Newton's method on p_K, weights as Christoffel numbers 1 / sum p_j(t)^2 in the log
// domain (they fall far below the double range at the outer Laguerre nodes).
GaussRule gauss_rule(const Recurrence& rec, int count) {
    std::vector<double> d(rec.a.begin(), rec.a.begin() + count);
    std::vector<double> e(count, 0.0);
    for (int k = 0; k + 1 < count; ++k)
        e[k] = static_cast<double>(rec.b[k + 1]);
    tridiagonal_eigenvalues(d, e);
    std::sort(d.begin(), d.end());
    GaussRule rule;
    rule.node.resize(count);
    rule.log_weight.resize(count);
#pragma omp parallel for schedule(static) if (count > 64)
    for (int k = 0; k < count; ++k) {
        extended t = d[k];
        for (int iteration = 0; iteration < 10; ++iteration) {
            const extended step = evaluate_recurrence(rec, count, t).newton_step;
            if (!std::isfinite(step)) break;
            t -= step;
            if (std::fabs(step) <= 4.0L * LDBL_EPSILON * std::fabs(t)) break;
        }
        rule.node[k] = t;
        rule.log_weight[k] = rec.log_mu0 - evaluate_recurrence(rec, count, t).log_sum;
    }
    return rule;
}

// ---- Quadrature points in r ------------------------------------------------------------------

// Points x_k = lambda r_k and ln of their weights for an integral over r.
struct Points {
    std::vector<extended> x;
    std::vector<extended> log_weight;
};

// Gauss-Laguerre in u = scale x with weight u^beta e^-u: the weight is divided out again.
Points laguerre_points(int count, double beta, double scale, double lambda) {
    const GaussRule rule = gauss_rule(laguerre_recurrence(count, beta), count);
    Points points;
    const extended c = static_cast<extended>(scale);
    for (int k = 0; k < count; ++k) {
        const extended u = rule.node[k];
        points.x.push_back(u / c);
        points.log_weight.push_back(rule.log_weight[k] - beta * std::log(u) + u -
                                    std::log(c * lambda));
    }
    return points;
}

// Gauss-Laguerre in t = x^2 with weight t^beta e^-t (dr = dt / (2 lambda sqrt(t))).
Points oscillator_points(int count, double beta, double lambda) {
    const GaussRule rule = gauss_rule(laguerre_recurrence(count, beta), count);
    Points points;
    for (int k = 0; k < count; ++k) {
        const extended t = rule.node[k];
        points.x.push_back(std::sqrt(t));
        points.log_weight.push_back(rule.log_weight[k] - (beta + 0.5L) * std::log(t) + t -
                                    std::log(2.0L * lambda));
    }
    return points;
}

// Points per panel and the phase of the product of two basis functions one panel may hold.
constexpr int panel_points = 32;
constexpr double panel_phase = 40.0;

// Local rate of change (wave number of phi_i phi_j plus the decay rates) in x, from the
// turning-point form of the highest function: the Laguerre functions solve
// u'' + (nu/(4x) - 1/4 + ...) u = 0, the oscillator functions u'' + (nu - x^2 - ...) u = 0.
struct RateModel {
    bool gauss = false;
    double nu = 0.0;
    double decay = 0.0;  // e^-(m r) of the Yukawa potential, per unit x
    double rate(double x) const {
        x = std::fabs(x);
        if (gauss) return 2.0 * std::sqrt(std::max(nu - x * x, 0.0)) + 2.0 * x + decay;
        return 2.0 * std::sqrt(std::max(nu / (4.0 * x) - 0.25, 0.0)) + 1.0 + decay;
    }
    // End of the first panel at x = 0, where the Laguerre phase 2 sqrt(nu x) is finite.
    double first_width() const {
        if (gauss) return panel_phase / rate(0.0);
        return std::min(panel_phase * panel_phase / (4.0 * nu), panel_phase / (1.0 + decay));
    }
    double turning_point() const { return gauss ? std::sqrt(nu) : nu; }
};

// Panels over |x| in [from, to] (from >= 0), mirrored to negative x when `negative`. A panel at
// x = 0 carries the weight s^gamma of the integrand's fractional power there; the panels after it
// are at most twice as wide as their distance from 0, which keeps that singularity away.
void add_panels(double from, double to, bool negative, double gamma, const RateModel& model,
                double lambda, Points& points) {
    if (!(to > from)) return;
    static const GaussRule legendre =
        gauss_rule(jacobi_recurrence(panel_points, 0.0), panel_points);
    auto add = [&](const GaussRule& rule, double start, double width, double power) {
        for (int k = 0; k < panel_points; ++k) {
            const extended s = rule.node[k];
            const extended x = start + width * s;
            points.x.push_back(negative ? -x : x);
            points.log_weight.push_back(rule.log_weight[k] +
                                        std::log(static_cast<extended>(width) / lambda) -
                                        power * std::log(s));
        }
    };
    double x = from;
    const bool from_origin = from == 0.0;
    if (from_origin) {
        const double width = std::min(model.first_width(), to);
        const double power = gamma - std::floor(gamma);
        if (power == 0.0) {
            add(legendre, 0.0, width, 0.0);
        } else {
            add(gauss_rule(jacobi_recurrence(panel_points, power), panel_points), 0.0, width,
                power);
        }
        x = width;
    }
    while (x < to) {
        double width = panel_phase / model.rate(x);
        if (model.gauss) width = panel_phase / std::max(model.rate(x), model.rate(x + width));
        if (from_origin) width = std::min(width, 2.0 * x);
        width = std::min(width, to - x);
        add(legendre, x, width, 0.0);
        x += width;
    }
}

// ---- Basis functions in the log domain -------------------------------------------------------

struct BasisShape {
    bool gauss = false;
    int l = 0;
    int kappa = 0;
    double lambda = 1.0;
    double alpha = 0.0;  // order of the Laguerre polynomials
};

BasisShape current_shape() {
    BasisShape s;
    s.gauss = text_is(sk_globals.basis, "gauss");
    s.l = sk_globals.projectile.l;
    s.kappa = sk_globals.projectile.kappa;
    s.lambda = sk_globals.lambda;
    s.alpha = s.gauss ? s.l + 0.5 : 2.0 * s.l + 1.0;
    return s;
}

// Polynomial arguments beyond this give 0 for every function (e^-y/2 beats any power).
constexpr double largest_argument = 1.0e100;
// The recurrences are renormalised by a power of two above this.
constexpr double rescale_above = 0x1p100;

extended log_abs(extended x) {
    return std::log(std::fabs(x));
}

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

// ---- The potential ---------------------------------------------------------------------------

struct PotentialSample {
    extended log_abs = minus_infinity;
    double sign = 0.0;
};

// ln |v(r)| and the sign of v; Coulomb and Yukawa in logarithms so that e^(-m r) far out on a
// Laguerre rule does not underflow before the weight's e^u makes up for it.
PotentialSample potential_at(extended r) {
    const PotentialParams& p = sk_globals.potential;
    if (text_is(p.pot_type, "coulomb")) {
        if (p.z == 0.0) return {};
        return {log_abs(p.z) - p.alpha * std::log(r), p.z > 0.0 ? -1.0 : 1.0};
    }
    if (text_is(p.pot_type, "yukawa")) {
        if (p.g == 0.0) return {};
        return {2.0 * log_abs(p.g) - p.m * r - std::log(r), -1.0};
    }
    const double value = v(static_cast<double>(r));
    if (value == 0.0 || !std::isfinite(value)) return {};
    return {log_abs(value), value > 0.0 ? 1.0 : -1.0};
}

// Power of r in v near r = 0.
double potential_power() {
    const PotentialParams& p = sk_globals.potential;
    if (text_is(p.pot_type, "coulomb")) return -p.alpha;
    if (text_is(p.pot_type, "yukawa")) return -1.0;
    return 0.0;
}

// ---- Rule for one block ----------------------------------------------------------------------

enum class Component { phi, psi };

// x^gamma is the behaviour of f_i f_j v at x = 0. psi starts as x^l unless kappa = -(l + 1), when
// its constant term vanishes.
double integrand_power(const BasisShape& s, Component component) {
    if (component == Component::phi) return 2.0 * s.l + 2.0 + potential_power();
    double gamma = 2.0 * s.l + potential_power();
    if (gamma <= -1.0 && s.kappa + s.l + 1 == 0) gamma += 2.0;
    return gamma;
}

// A divergent integral (gamma <= -1) still gets a finite sum: the rule's power is the fractional
// part of gamma.
double rule_power(double beta) {
    return beta > -1.0 ? beta : beta - std::floor(beta);
}

enum class Range { none, finite, semi_infinite };

struct Interval {
    Range range = Range::none;
    double lower = 0.0;
    double upper = 0.0;
};

// A well lives on [a, b]; the other potentials are cut off at r0 > 0 or extend to infinity.
Interval interval_of_potential() {
    const PotentialParams& p = sk_globals.potential;
    if (text_is(p.pot_type, "well")) return {Range::finite, p.a, p.b};
    if (text_is(p.pot_type, "coulomb") || text_is(p.pot_type, "yukawa") ||
        text_is(p.pot_type, "user")) {
        if (p.r0 > 0.0) return {Range::finite, 0.0, p.r0};
        return {Range::semi_infinite, 0.0, HUGE_VAL};
    }
    return {};
}

// max_i ln |f_i(x)| + ln |v(r)| / 2 over all indices, for the end of the integrand's tail.
extended log_envelope(const BasisShape& s, Component component, int n, double x) {
    const PotentialSample v_sample = potential_at(x / s.lambda);
    if (v_sample.sign == 0.0) return minus_infinity;
    extended best = minus_infinity;
    auto sink = [&best](int, extended mantissa, extended log_factor) {
        if (mantissa != 0.0) best = std::max(best, log_abs(mantissa) + log_factor);
    };
    if (component == Component::phi) {
        phi_values(s, n, x, 0.5 * v_sample.log_abs, sink);
    } else {
        psi_values(s, n, x, 0.5 * v_sample.log_abs, sink);
    }
    return best;
}

// Where the integrand has fallen below e^-80 of its largest sampled value (the functions beyond
// their turning point decay monotonically, the highest index last). Returns `upper` when the
// integrand is still significant there, and `lower` when it vanishes throughout.
double end_of_integrand(const BasisShape& s, Component component, const RateModel& model, int n,
                        double lower, double upper) {
    const double reach = 1.2 * model.turning_point() + 20.0;
    if (upper <= reach) return upper;
    const double start = std::max(lower, 0.0);
    extended largest = log_envelope(s, component, n, start);
    if (start < reach) {
        constexpr int samples = 64;
        for (int g = 1; g <= samples; ++g) {
            const double fraction = static_cast<double>(g) / samples;
            largest = std::max(
                largest,
                log_envelope(s, component, n, start + (reach - start) * fraction * fraction));
        }
    }
    if (largest == minus_infinity) return lower;
    double x = std::max(start, reach);
    while (x < upper) {
        if (log_envelope(s, component, n, x) < largest - 40.0) return x;
        x += std::max(1.0, (s.gauss ? 0.02 : 0.05) * x);
    }
    return upper;
}

// The rule for one block: exact Gauss-Laguerre where the integrand allows it, else panels.
Points block_points(const BasisShape& s, Component component, int n, const Interval& interval) {
    const PotentialParams& p = sk_globals.potential;
    const bool coulomb = text_is(p.pot_type, "coulomb");
    const bool yukawa = text_is(p.pot_type, "yukawa");
    const double gamma = integrand_power(s, component);
    // psi_i psi_j is a polynomial of degree 2n + 2, phi_i phi_j of degree 2n - 2.
    const int count = component == Component::phi ? n + 1 : n + 2;
    if (interval.range == Range::semi_infinite && !s.gauss && (coulomb || yukawa)) {
        const double scale = yukawa ? 1.0 + p.m / s.lambda : 1.0;
        return laguerre_points(count, rule_power(gamma), scale, s.lambda);
    }
    if (interval.range == Range::semi_infinite && s.gauss && coulomb) {
        return oscillator_points(count, rule_power(0.5 * (gamma - 1.0)), s.lambda);
    }

    RateModel model;
    model.gauss = s.gauss;
    model.nu = s.gauss ? 4.0 * n + 2.0 * s.l + 7.0 : 4.0 * n + 2.0 * s.alpha + 6.0;
    model.decay = yukawa ? std::max(p.m, 0.0) / s.lambda : 0.0;
    const double lower = s.lambda * interval.lower;
    const double upper = end_of_integrand(s, component, model, n, lower, s.lambda * interval.upper);
    Points points;
    if (lower < 0.0)
        add_panels(std::max(0.0, -upper), -lower, true, gamma, model, s.lambda, points);
    add_panels(std::max(lower, 0.0), upper, false, gamma, model, s.lambda, points);
    return points;
}

// ---- The matrix product ----------------------------------------------------------------------

// Indices are packed in panels of four: element (k, i) at ((i / 4) K + k) 4 + i % 4.
std::size_t packed_index(int i, int k, int count) {
    return (static_cast<std::size_t>(i / 4) * count + k) * 4 + i % 4;
}

// e^lg, held below e^345 so that products of two values and their sums stay finite.
extended bounded_exp(extended lg) {
    return std::exp(std::min(lg, 345.0L));
}

// F(k, i) = sqrt(w_k |v(r_k)|) f_i(r_k) for i < n at every point, handed to store(i, k, value);
// sign[k] is the sign of v(r_k). Points where v vanishes store nothing.
template <class Store>
void scaled_basis_values(const BasisShape& s, Component component, int n, const Points& points,
                         std::vector<double>& sign, Store store) {
    const int count = static_cast<int>(points.x.size());
    sign.assign(count, 0.0);
#pragma omp parallel for schedule(static)
    for (int k = 0; k < count; ++k) {
        const extended x = points.x[k];
        const PotentialSample v_sample = potential_at(x / s.lambda);
        sign[k] = v_sample.sign;
        if (v_sample.sign == 0.0) continue;
        const extended log_offset = 0.5L * (points.log_weight[k] + v_sample.log_abs);
        extended cached_log = std::nanl("");
        extended factor = 0.0;
        auto sink = [&](int i, extended mantissa, extended log_factor) {
            if (log_factor != cached_log) {
                cached_log = log_factor;
                factor = bounded_exp(log_factor);
            }
            store(i, k, static_cast<double>(mantissa * factor));
        };
        if (component == Component::phi) {
            phi_values(s, n, x, log_offset, sink);
        } else {
            psi_values(s, n, x, log_offset, sink);
        }
    }
}

// F packed in panels of four basis functions (see packed_index).
void basis_table(const BasisShape& s, Component component, int n, const Points& points,
                 std::vector<double>& table, std::vector<double>& sign) {
    const int count = static_cast<int>(points.x.size());
    const int panels = (n + 3) / 4;
    table.assign(static_cast<std::size_t>(panels) * count * 4, 0.0);
    scaled_basis_values(s, component, n, points, sign, [&](int i, int k, double value) {
        table[packed_index(i, k, count)] = value;
    });
}

typedef double double2 __attribute__((vector_size(16)));

double2 load2(const double* p) {
    double2 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

double2 swapped(double2 v) {
    return __builtin_shufflevector(v, v, 1, 0);
}

// C(row + t, column + s) += sum_k a(k, t) b(k, s) over `length` rows of two packed panels, for
// the entries inside the n x n matrix C. Eight two-lane accumulators hold the 4 x 4 products as
// lane pairs (a0 b0, a1 b1), (a0 b1, a1 b0), ..., which needs two lane swaps per row instead of
// four broadcasts.
void tile_product(const double* a, const double* b, int length, double* c, int n, int row,
                  int column) {
    double2 c00 = {0.0, 0.0}, c01 = c00, c02 = c00, c03 = c00;
    double2 c10 = c00, c11 = c00, c12 = c00, c13 = c00;
    for (int k = 0; k < length; ++k) {
        const double2 a0 = load2(a + 4 * k);
        const double2 a1 = load2(a + 4 * k + 2);
        const double2 b0 = load2(b + 4 * k);
        const double2 b1 = load2(b + 4 * k + 2);
        const double2 b0s = swapped(b0);
        const double2 b1s = swapped(b1);
        c00 += a0 * b0;
        c01 += a0 * b0s;
        c02 += a0 * b1;
        c03 += a0 * b1s;
        c10 += a1 * b0;
        c11 += a1 * b0s;
        c12 += a1 * b1;
        c13 += a1 * b1s;
    }
    const double sums[16] = {c00[0], c01[1], c10[0], c11[1], c01[0], c00[1], c11[0], c10[1],
                             c02[0], c03[1], c12[0], c13[1], c03[0], c02[1], c13[0], c12[1]};
    for (int s = 0; s < 4 && column + s < n; ++s) {
        for (int t = 0; t < 4 && row + t < n; ++t) {
            c[row + t + static_cast<std::size_t>(column + s) * n] += sums[4 * s + t];
        }
    }
}

// The 4 x 4 tiles on and below the diagonal of C = A^T B (n x n, column-major, zeroed by the
// caller) for packed A and B. The rows are taken in chunks that keep one panel of A in the
// first-level cache while a block of B panels stays in the second; each tile is owned by one
// thread and summed in the same order for any thread count.
void symmetric_product(int n, int count, const double* a, const double* b, double* c) {
    constexpr int row_chunk = 256;
    constexpr int panel_block = 48;
    const int panels = (n + 3) / 4;
    for (int k0 = 0; k0 < count; k0 += row_chunk) {
        const int length = std::min(row_chunk, count - k0);
#pragma omp parallel
        for (int jb = 0; jb < panels; jb += panel_block) {
            const int j_end = std::min(jb + panel_block, panels);
#pragma omp for schedule(static, 1) nowait
            for (int pi = jb; pi < panels; ++pi) {
                const double* a_panel = a + (static_cast<std::size_t>(pi) * count + k0) * 4;
                for (int pj = jb; pj < std::min(j_end, pi + 1); ++pj) {
                    const double* b_panel = b + (static_cast<std::size_t>(pj) * count + k0) * 4;
                    tile_product(a_panel, b_panel, length, c, n, 4 * pi, 4 * pj);
                }
            }
        }
    }
}

// One n x n block (column-major, both triangles).
void compute_block(const BasisShape& s, Component component, int n, const Interval& interval,
                   std::vector<double>& block) {
    block.assign(static_cast<std::size_t>(n) * n, 0.0);
    const Points points = block_points(s, component, n, interval);
    const int count = static_cast<int>(points.x.size());
    if (count == 0) return;
    std::vector<double> table;
    std::vector<double> sign;
    basis_table(s, component, n, points, table, sign);

    // The potentials here keep one sign; a mixed one multiplies a second copy of F.
    double common_sign = 0.0;
    bool mixed = false;
    for (double value : sign) {
        if (value == 0.0) continue;
        if (common_sign == 0.0) common_sign = value;
        if (value != common_sign) mixed = true;
    }
    if (common_sign == 0.0) return;
    std::vector<double> signed_table;
    if (mixed) {
        signed_table = table;
        const int panels = (n + 3) / 4;
        for (int pi = 0; pi < panels; ++pi) {
            for (int k = 0; k < count; ++k) {
                for (int t = 0; t < 4; ++t) {
                    signed_table[(static_cast<std::size_t>(pi) * count + k) * 4 + t] *= sign[k];
                }
            }
        }
        common_sign = 1.0;
    }
    symmetric_product(n, count, table.data(), mixed ? signed_table.data() : table.data(),
                      block.data());
    for (int j = 0; j < n; ++j) {
        for (int i = j; i < n; ++i) {
            const double value = common_sign * block[i + static_cast<std::size_t>(j) * n];
            block[i + static_cast<std::size_t>(j) * n] = value;
            block[j + static_cast<std::size_t>(i) * n] = value;
        }
    }
}

// The current settings have a potential, a basis and an interval worth integrating over.
bool has_integral(const Interval& interval) {
    const bool valid_basis =
        text_is(sk_globals.basis, "laguerre") || text_is(sk_globals.basis, "gauss");
    return interval.range != Range::none && valid_basis && interval.upper > interval.lower;
}

// Everything a block's rule depends on besides the component and the size.
struct RuleSettings {
    std::string basis;
    int l = 0;
    int kappa = 0;
    double lambda = 0.0;
    std::string pot_type;
    double r0 = 0.0, v0 = 0.0, a = 0.0, b = 0.0, z = 0.0, alpha = 0.0, g = 0.0, m = 0.0;
    bool operator==(const RuleSettings&) const = default;
};

RuleSettings current_rule_settings() {
    const PotentialParams& p = sk_globals.potential;
    return {sk_globals.basis,
            sk_globals.projectile.l,
            sk_globals.projectile.kappa,
            sk_globals.lambda,
            p.pot_type,
            p.r0,
            p.v0,
            p.a,
            p.b,
            p.z,
            p.alpha,
            p.g,
            p.m};
}

// Points a thread keeps before it drops its rules (32 bytes each).
constexpr std::size_t cached_points_limit = std::size_t{1} << 18;

// The rule of one block, from the rules this thread has built for the current settings. Building
// a Gauss-Laguerre rule costs several times the evaluation of an element, and a matrix asks for
// each size many times. A rule depends only on the settings, the component and the size, so a
// kept rule gives the bits a new one would; each thread keeps its own, so nothing is shared.
const Points& element_rule(const BasisShape& shape, Component component, int n,
                           const Interval& interval) {
    struct Cache {
        bool valid = false;
        RuleSettings settings;
        std::vector<Points> rules[2];
        std::vector<bool> built[2];
        std::size_t points = 0;
    };
    thread_local Cache cache;
    const RuleSettings settings = current_rule_settings();
    if (!cache.valid || !(cache.settings == settings) || cache.points > cached_points_limit) {
        cache = Cache{};
        cache.valid = true;
        cache.settings = settings;
    }
    const int c = component == Component::phi ? 0 : 1;
    const std::size_t size = static_cast<std::size_t>(n);
    if (cache.rules[c].size() <= size) {
        cache.rules[c].resize(size + 1);
        cache.built[c].resize(size + 1, false);
    }
    if (!cache.built[c][size]) {
        cache.rules[c][size] = block_points(shape, component, n, interval);
        cache.built[c][size] = true;
        cache.points += cache.rules[c][size].x.size();
    }
    return cache.rules[c][size];
}

// One rule for every element of a run, with the basis tabulated once on its points:
// values[c][i * count + k] = sqrt(w_k |v(r_k)|) f_i(r_k) for component c, as basis_table forms
// them. Rebuilt when the settings or the size change.
struct RunRule {
    RuleSettings settings;
    int size = -1;
    bool built[2] = {false, false};
    int count[2] = {0, 0};
    std::vector<double> values[2];
    std::vector<double> sign[2];
    bool mixed[2] = {false, false};
    double common_sign[2] = {0.0, 0.0};
};

RunRule run_rule;

void build_run_rule(const BasisShape& s, Component component, int size, const Interval& interval) {
    const int c = component == Component::phi ? 0 : 1;
    const Points points = block_points(s, component, size, interval);
    const int count = static_cast<int>(points.x.size());
    std::vector<double>& values = run_rule.values[c];
    std::vector<double>& sign = run_rule.sign[c];
    values.assign(static_cast<std::size_t>(size) * count, 0.0);
    scaled_basis_values(s, component, size, points, sign, [&](int i, int k, double value) {
        values[static_cast<std::size_t>(i) * count + k] = value;
    });
    double common = 0.0;
    bool mixed = false;
    for (double value : sign) {
        if (value == 0.0) continue;
        if (common == 0.0) common = value;
        if (value != common) mixed = true;
    }
    run_rule.count[c] = count;
    run_rule.mixed[c] = mixed;
    run_rule.common_sign[c] = mixed ? 1.0 : common;
    run_rule.built[c] = true;
}

}  // namespace

// One element by the rule of the block of size max(i, j) + 1: the recurrence runs up to the
// higher index at each point, only f_i and f_j are kept, and the weighted products are summed in
// extended precision straight from their logarithms. Reads the settings and writes nothing
// shared, so any number of threads may call it at once.
double potential_element(bool psi_component, int i, int j) {
    SKARVEN_CHECK(i >= 0 && j >= 0);
    const Interval interval = interval_of_potential();
    if (!has_integral(interval)) return 0.0;
    const BasisShape shape = current_shape();
    const Component component = psi_component ? Component::psi : Component::phi;
    const int n = std::max(i, j) + 1;
    const Points& points = element_rule(shape, component, n, interval);
    extended sum = 0.0;
    for (std::size_t k = 0; k < points.x.size(); ++k) {
        const extended x = points.x[k];
        const PotentialSample v_sample = potential_at(x / shape.lambda);
        if (v_sample.sign == 0.0) continue;
        extended mantissa_i = 0.0;
        extended mantissa_j = 0.0;
        extended log_i = 0.0;
        extended log_j = 0.0;
        auto sink = [&](int index, extended mantissa, extended log_factor) {
            if (index == i) {
                mantissa_i = mantissa;
                log_i = log_factor;
            }
            if (index == j) {
                mantissa_j = mantissa;
                log_j = log_factor;
            }
        };
        if (component == Component::phi) {
            phi_values(shape, n, x, 0.0L, sink);
        } else {
            psi_values(shape, n, x, 0.0L, sink);
        }
        const extended product = mantissa_i * mantissa_j;
        if (product == 0.0) continue;
        sum += v_sample.sign * product *
               std::exp(log_i + log_j + points.log_weight[k] + v_sample.log_abs);
    }
    return static_cast<double>(sum);
}

// Both blocks of basis size n for the current settings, each from one quadrature rule.
void potential_blocks(int n, std::vector<double>& phi, std::vector<double>& psi) {
    SKARVEN_CHECK(n >= 0);
    const bool relativistic = relativistic_scheme();
    const std::size_t size = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    phi.assign(size, 0.0);
    psi.clear();
    if (relativistic) psi.assign(size, 0.0);
    const Interval interval = interval_of_potential();
    if (n == 0 || !has_integral(interval)) return;
    const BasisShape shape = current_shape();
    compute_block(shape, Component::phi, n, interval, phi);
    if (relativistic) compute_block(shape, Component::psi, n, interval, psi);
}

// Each element is one dot product over the rule's points, summed in their order by one thread.
void potential_rule_elements(int size, int count, const unsigned char* psi, const int* rows,
                             const int* cols, double* values) {
    SKARVEN_CHECK(size > 0 && count >= 0);
    const Interval interval = interval_of_potential();
    if (!has_integral(interval)) {
        std::fill_n(values, count, 0.0);
        return;
    }
    const BasisShape shape = current_shape();
    const RuleSettings settings = current_rule_settings();
    if (!(run_rule.settings == settings) || run_rule.size != size) {
        run_rule = RunRule{};
        run_rule.settings = settings;
        run_rule.size = size;
    }
    for (int k = 0; k < count; ++k) {
        SKARVEN_CHECK(rows[k] >= 0 && cols[k] >= 0 && rows[k] < size && cols[k] < size);
        const int c = psi[k] ? 1 : 0;
        if (!run_rule.built[c])
            build_run_rule(shape, psi[k] ? Component::psi : Component::phi, size, interval);
    }
#pragma omp parallel for schedule(dynamic, 16) if (count > element_parallel_threshold)
    for (int k = 0; k < count; ++k) {
        const int c = psi[k] ? 1 : 0;
        const int points = run_rule.count[c];
        const double* a = run_rule.values[c].data() + static_cast<std::size_t>(rows[k]) * points;
        const double* b = run_rule.values[c].data() + static_cast<std::size_t>(cols[k]) * points;
        const double* sign = run_rule.sign[c].data();
        double sum = 0.0;
        if (run_rule.mixed[c]) {
            for (int p = 0; p < points; ++p)
                sum += sign[p] * a[p] * b[p];
        } else {
            for (int p = 0; p < points; ++p)
                sum += a[p] * b[p];
        }
        values[k] = run_rule.common_sign[c] * sum;
    }
}

}  // namespace skarven
