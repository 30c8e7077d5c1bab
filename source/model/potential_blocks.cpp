// Potential blocks of the fast route: every basis function at every point of one quadrature rule
// (one recurrence pass per point for all indices), then V = F^T diag(sign) F as one blocked matrix
// product, F(k, i) = sqrt(w_k |v(r_k)|) f_i(r_k). The rule is matched to the integrand
// (potential_rules.cpp). Weights, powers and exponentials are carried as logarithms and the
// polynomials as mantissa and binary exponent, so no factor overflows or underflows on the way to
// a representable product. Kept rules and tabulated bases spare repeated calls the rebuilding.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "linalg.hpp"
#include "parallel_errors.hpp"
#include "potential.hpp"
#include "potential_internal.hpp"

namespace skarven {

using namespace detail;

namespace {

// ---- The basis on the points of a rule -------------------------------------------------------

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
    const std::vector<PotentialSample> batched = batched_samples(*s.potential, points.x, s.lambda);
    FirstError error;
#pragma omp parallel for schedule(static)
    for (int k = 0; k < count; ++k)
        error.run(k, [&] {
            const extended x = points.x[k];
            const PotentialSample v_sample =
                batched.empty() ? potential_at(*s.potential, x / s.lambda) : batched[k];
            if (!v_sample.finite && runtime_kind(s.potential->kind))
                not_finite_at(static_cast<double>(x / s.lambda));
            sign[k] = v_sample.sign;
            if (v_sample.sign == 0.0) return;
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
        });
    error.rethrow();
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

// The common sign of v over a rule's points (0 where v vanishes at all of them), and whether v
// changes sign there.
struct SignSummary {
    double common = 0.0;
    bool mixed = false;
};

SignSummary summarise_signs(const std::vector<double>& sign) {
    SignSummary summary;
    for (double value : sign) {
        if (value == 0.0) continue;
        if (summary.common == 0.0) summary.common = value;
        if (value != summary.common) summary.mixed = true;
    }
    return summary;
}

// Points that matter to no element: F(k, i)^2 below 1e-32 of sum_k F(k, i)^2 for every i. As
// |V(i, j)| <= sqrt(D_i D_j) with D_i that sum, each dropped point moves an element by less than
// 1e-32 of that bound. The panels of the runtime kinds run to where the whole basis has died
// away; most far points carry only functions far below their own peak. `count` shrinks.
void prune_points(int n, int& count, std::vector<double>& table, std::vector<double>& sign) {
    constexpr double negligible = 1e-32;
    const int panels = (n + 3) / 4;
    std::vector<double> diagonal(static_cast<std::size_t>(panels) * 4, 0.0);
    for (int pi = 0; pi < panels; ++pi)
        for (int k = 0; k < count; ++k)
            for (int t = 0; t < 4; ++t) {
                const double f = table[(static_cast<std::size_t>(pi) * count + k) * 4 + t];
                diagonal[pi * 4 + t] += f * f;
            }
    std::vector<int> kept;
    for (int k = 0; k < count; ++k) {
        bool needed = false;
        for (int pi = 0; pi < panels && !needed; ++pi)
            for (int t = 0; t < 4; ++t) {
                const double f = table[(static_cast<std::size_t>(pi) * count + k) * 4 + t];
                if (f * f > negligible * diagonal[pi * 4 + t]) needed = true;
            }
        if (needed) kept.push_back(k);
    }
    const int new_count = static_cast<int>(kept.size());
    if (new_count == count) return;
    std::vector<double> pruned(static_cast<std::size_t>(panels) * new_count * 4);
    std::vector<double> pruned_sign(new_count);
    for (int q = 0; q < new_count; ++q) {
        pruned_sign[q] = sign[kept[q]];
        for (int pi = 0; pi < panels; ++pi)
            for (int t = 0; t < 4; ++t)
                pruned[(static_cast<std::size_t>(pi) * new_count + q) * 4 + t] =
                    table[(static_cast<std::size_t>(pi) * count + kept[q]) * 4 + t];
    }
    table.swap(pruned);
    sign.swap(pruned_sign);
    count = new_count;
}

// One n x n block (column-major, both triangles).
void compute_block(const BasisShape& s, Component component, int n, const Interval& interval,
                   std::vector<double>& block) {
    block.assign(static_cast<std::size_t>(n) * n, 0.0);
    const Points points = block_points(s, component, n, interval);
    int count = static_cast<int>(points.x.size());
    if (count == 0) return;
    std::vector<double> table;
    std::vector<double> sign;
    basis_table(s, component, n, points, table, sign);
    if (runtime_kind(s.potential->kind)) prune_points(n, count, table, sign);

    // The potentials here keep one sign; a mixed one multiplies a second copy of F.
    const SignSummary signs = summarise_signs(sign);
    double common_sign = signs.common;
    const bool mixed = signs.mixed;
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

// ---- Rules kept between calls ---------------------------------------------------------------

// A potential and an interval worth integrating over.
bool has_integral(const Interval& interval) {
    return interval.range != Range::none && interval.upper > interval.lower;
}

void build_run_rule(RunRule& run_rule, const BasisShape& s, Component component, int size,
                    const Interval& interval) {
    const int c = component == Component::phi ? 0 : 1;
    const Points points = block_points(s, component, size, interval);
    const int count = static_cast<int>(points.x.size());
    std::vector<double>& values = run_rule.values[c];
    std::vector<double>& sign = run_rule.sign[c];
    values.assign(static_cast<std::size_t>(size) * count, 0.0);
    scaled_basis_values(s, component, size, points, sign, [&](int i, int k, double value) {
        values[static_cast<std::size_t>(i) * count + k] = value;
    });
    const SignSummary signs = summarise_signs(sign);
    run_rule.count[c] = count;
    run_rule.mixed[c] = signs.mixed;
    run_rule.common_sign[c] = signs.mixed ? 1.0 : signs.common;
    run_rule.built[c] = true;
}

}  // namespace

// Both blocks of basis size n, each from one quadrature rule.
void PotentialMatrix::blocks(int n, std::vector<double>& phi, std::vector<double>& psi) const {
    SKARVEN_CHECK(n >= 0);
    const bool relativistic = problem_.scheme.dirac;
    const std::size_t size = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    phi.assign(size, 0.0);
    psi.clear();
    if (relativistic) psi.assign(size, 0.0);
    const Interval interval = interval_of_potential(problem_.potential);
    if (n == 0 || !has_integral(interval)) return;
    const BasisShape shape = shape_of(problem_);
    compute_block(shape, Component::phi, n, interval, phi);
    if (relativistic) compute_block(shape, Component::psi, n, interval, psi);
}

// Each element is one dot product over the rule's points, summed in their order by one thread.
void PotentialMatrix::rule_elements(int size, int count, const unsigned char* psi, const int* rows,
                                    const int* cols, double* values) {
    SKARVEN_CHECK(size > 0 && count >= 0);
    const Interval interval = interval_of_potential(problem_.potential);
    if (!has_integral(interval)) {
        std::fill_n(values, count, 0.0);
        return;
    }
    const BasisShape shape = shape_of(problem_);
    RunRule& run_rule = *rule_;
    if (run_rule.size != size) {
        run_rule = RunRule{};
        run_rule.size = size;
    }
    for (int k = 0; k < count; ++k) {
        SKARVEN_CHECK(rows[k] >= 0 && cols[k] >= 0 && rows[k] < size && cols[k] < size);
        const int c = psi[k] ? 1 : 0;
        if (!run_rule.built[c])
            build_run_rule(run_rule, shape, psi[k] ? Component::psi : Component::phi, size,
                           interval);
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
