// Gauss rules from the three-term recurrence: Laguerre and Jacobi recurrences and the
// Golub-Welsch rule polished by Newton's method.
#include "special_gauss.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "skarven/errors.hpp"
#include "linalg.hpp"

namespace skarven {

namespace {

using extended = long double;

constexpr extended ln2 = 0.693147180559945309417232121458176568L;

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

}  // namespace

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

// The move from [-1, 1] to [0, 1] halves and shifts a_k and halves b_k.
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

GaussRule gauss_rule(const Recurrence& rec, int count) {
    std::vector<double> d(rec.a.begin(), rec.a.begin() + count);
    std::vector<double> e(count, 0.0);
    for (int k = 0; k + 1 < count; ++k)
        e[k] = static_cast<double>(rec.b[k + 1]);
    // The Jacobi matrices of these weights settle in a few sweeps per eigenvalue.
    const bool settled = tridiagonal_eigenvalues(d, e);
    SKARVEN_CHECK(settled);
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

}  // namespace skarven
