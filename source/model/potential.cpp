// Truncated potential matrix: index layouts of both schemes, interval and integrator by potential
// type, and the cache of a matrix reloaded from a saved file.
#include "potential.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "basis.hpp"
#include "parallel_errors.hpp"
#include "potential_internal.hpp"
#include "special_quadrature.hpp"

namespace skarven {

namespace {

using detail::Interval;
using detail::interval_of_potential;
using detail::LevelValues;
using detail::NodeTable;
using detail::Range;

// The table depends only on its three constants, so one serves the whole run.
const double* finite_table() {
    static const std::vector<double> table = [] {
        std::vector<double> t(quadrature_lenaw);
        ooura::intde_init(quadrature_lenaw, quadrature_tiny, quadrature_eps, t.data());
        return t;
    }();
    return table.data();
}

enum class Component { none, phi, psi };

struct Element {
    Component component;
    int ii;
    int jj;
};

// Which functions positions n and m stand for: non-relativistic phi_n; relativistic positions
// 0..N-1 are phi_(N-1) .. phi_0 and N..2N-1 are psi_0 .. psi_(N-1).
Element element_at(bool dirac, int size, int n, int m) {
    if (dirac) {
        if (n < size && m < size) return {Component::phi, size - 1 - n, size - 1 - m};
        if (n >= size && m >= size) return {Component::psi, n - size, m - size};
        return {Component::none, n, m};
    }
    if (n < size && m < size) return {Component::phi, n, m};
    return {Component::none, n, m};
}

// Radius beyond which every basis function of index below `size` (both components) is below
// e^-800, so that the integrand underflows for any potential a double can hold. Beyond the zeros
// of L_n^(alpha) and L_n^(alpha+1), |L_n(y)| <= y^n / n!, which bounds |phi_n| by
// x^(l+1) e^(-y/2) y^n / n! and |psi_n| by max(1, lambda) x^(l+1) e^(-y/2) (|kappa| + l + 2 + 3y)
// y^n / n!; the bound falls monotonically from y = 4n + 2 alpha + 10 on.
double vanishing_radius(const detail::BasisShape& s, int size) {
    const double n = size;
    const double y0 = 4.0 * n + 2.0 * std::fabs(s.alpha) + 10.0;
    double x = s.gauss ? std::sqrt(y0) : y0;
    const double log_front = std::max(0.0, std::log(s.lambda)) - std::lgamma(n + 1.0);
    for (;;) {
        const double y = s.gauss ? x * x : x;
        const double bound = (std::fabs(s.l) + 1.0) * std::log(x) + log_front - 0.5 * y +
                             n * std::log(y) +
                             std::log(std::fabs(s.kappa) + std::fabs(s.l) + 2.0 + 3.0 * y);
        if (bound < -800.0 || !std::isfinite(bound)) break;
        x *= 1.01;
    }
    return x / s.lambda;
}

// A finite interval reaching beyond the basis is cut where the basis has vanished.
Interval integration_interval(const Problem& problem, int run_size) {
    Interval interval = interval_of_potential(problem.potential);
    if (interval.range != Range::finite) return interval;
    const double end = vanishing_radius(detail::shape_of(problem), run_size);
    if (!(end < std::max(interval.lower, interval.upper))) return interval;
    interval.lower = std::min(interval.lower, end);
    interval.upper = std::min(interval.upper, end);
    return interval;
}

// The double-exponential sums stop at a relative accuracy near 1e-8 and cut each tail where its
// weighted values fall below about 4e-7 of the sum. The complete trapezoidal sums of the rule
// (every point of the table's levels, no tail cut) are converged once two successive levels agree
// to de_converged times the integral of |f|, which bounds every element of the matrix (|f_i v f_j|
// integrates to at most sqrt(|V_ii V_jj|) for a potential of one sign). A result within
// de_kept of that value stays as it is (below 1e-12 of the largest element); otherwise the
// converged value is taken.
constexpr double de_converged = 1.0e-13;
constexpr double de_kept = 5.0e-13;

// The finite table's levels: level 1 holds the midpoint (table index 5) and the points up to
// index 5 + nk, level L > 1 the points of indices 5 + nk 2^(L-2) + 3 ... 5 + nk 2^(L-1). A point
// of table index j has two nodes, left (side 0) and right (side 1).
struct LevelLayout {
    int levels = 0;
    std::vector<int> level;  // by table index
    std::vector<int> local;  // node of side 0 within its level
    std::vector<int> first;  // first table index of each level (1-based levels)
    std::vector<int> nodes;  // nodes of each level
};

const LevelLayout& level_layout() {
    static const LevelLayout layout = [] {
        const double* table = finite_table();
        const int lenawm = static_cast<int>(table[0] + 0.5);
        const int nk = static_cast<int>(table[1] + 0.5);
        LevelLayout out;
        out.level.assign(lenawm + 1, 0);
        out.local.assign(lenawm + 1, 0);
        out.first.assign(1, 0);
        out.nodes.assign(1, 0);
        out.level[5] = 1;
        out.local[5] = 0;
        for (int level = 1;; ++level) {
            const int start = level == 1 ? 8 : 5 + nk * (1 << (level - 2)) + 3;
            const int end = 5 + nk * (1 << (level - 1));
            if (end > lenawm) break;
            const int offset = level == 1 ? 1 : 0;
            for (int j = start; j <= end; j += 3) {
                out.level[j] = level;
                out.local[j] = offset + 2 * ((j - start) / 3);
            }
            out.first.push_back(start);
            out.nodes.push_back(offset + 2 * ((end - start) / 3 + 1));
            out.levels = level;
        }
        return out;
    }();
    return layout;
}

void tabulate_level(const Problem& problem, NodeTable& node_table, const Interval& interval) {
    const LevelLayout& layout = level_layout();
    const int level = static_cast<int>(node_table.levels.size()) + 1;
    if (level > layout.levels) return;
    const double* table = finite_table();
    const int nodes = layout.nodes[level];
    const std::size_t cap = static_cast<std::size_t>(node_table.capacity);
    const bool psi = problem.scheme.dirac;
    const Order order = basis_order(problem);
    LevelValues values;
    values.phi.assign(cap * nodes, 0.0);
    if (psi) values.psi.assign(cap * nodes, 0.0);
    values.v.assign(nodes, 0.0);
    values.weighted_v.assign(nodes, 0.0);
    const double a = interval.lower;
    const double b = interval.upper;
    const double ba = b - a;
    // The level's radii and potential first, in one batch for a user potential that takes one.
    std::vector<double> radii(nodes);
    std::vector<double> weights(nodes);
    for (int node = 0; node < nodes; ++node) {
        const bool midpoint = level == 1 && node == 0;
        const int offset = level == 1 ? 1 : 0;
        const int j = midpoint ? 5 : layout.first[level] + 3 * ((node - offset) / 2);
        const int side = midpoint ? 0 : (node - offset) % 2;
        radii[node] = ooura::intde_node(a, b, ba, table, j, side);
        weights[node] = midpoint ? table[7] : table[j + 2];
    }
    const Potential& p = problem.potential;
    if (p.kind == PotentialKind::user && p.batch_formula) {
        p.batch_formula(radii.size(), radii.data(), values.v.data());
    } else {
        for (int node = 0; node < nodes; ++node)
            values.v[node] = potential_value(p, radii[node]);
    }
    FirstError error;
#pragma omp parallel if (nodes > 8)
    {
        std::vector<double> phi;  // sized in the loop, where an allocation failure is caught
        std::vector<double> psi_values;
#pragma omp for schedule(dynamic, 4)
        for (int node = 0; node < nodes; ++node)
            error.run(node, [&] {
                phi.resize(cap);
                psi_values.resize(psi ? cap : 0);
                const double r = radii[node];
                const double weight = weights[node];
                const double potential = values.v[node];
                values.weighted_v[node] =
                    weight == 0.0 || !std::isfinite(potential) ? 0.0 : weight * potential;
                basis_values(problem.basis, order, node_table.capacity, r, phi.data(),
                             psi ? psi_values.data() : nullptr);
                for (std::size_t n = 0; n < cap; ++n) {
                    values.phi[n * nodes + node] = phi[n];
                    if (psi) values.psi[n * nodes + node] = psi_values[n];
                }
            });
    }
    error.rethrow();
    node_table.levels.push_back(std::move(values));
}

void prepare_node_table(const Problem& problem, NodeTable& node_table, const Interval& interval,
                        int needed, int run_size) {
    if (node_table.valid && node_table.lower == interval.lower &&
        node_table.upper == interval.upper && node_table.capacity >= needed)
        return;
    node_table = NodeTable{};
    node_table.lower = interval.lower;
    node_table.upper = interval.upper;
    node_table.capacity = std::max(needed, run_size);
    for (int level = 1; level <= 4; ++level)
        tabulate_level(problem, node_table, interval);
    // Only now: a level that fails with an error leaves no table for the next call to trust.
    node_table.valid = true;
}

enum class Outcome { done, needs_level, fallback };

// phi_i v phi_j or psi_i v psi_j at one node; a vanishing function gives 0 even where the
// potential is singular (r = 0 under flush-to-zero), as the product does in the limit.
double integrand_at(const LevelValues& values, bool psi, int nodes, int i, int j, int node) {
    const std::vector<double>& f = psi ? values.psi : values.phi;
    const double f_i = f[static_cast<std::size_t>(i) * nodes + node];
    const double f_j = f[static_cast<std::size_t>(j) * nodes + node];
    if (f_i == 0.0 || f_j == 0.0) return 0.0;
    return f_i * values.v[node] * f_j;
}

// One element from the tabulated values: intde's sums, kept when the complete sums confirm them.
Outcome tabulated_element(const NodeTable& node_table, const Element& element,
                          const Interval& interval, double& value) {
    const LevelLayout& layout = level_layout();
    const int available = static_cast<int>(node_table.levels.size());
    const bool psi = element.component == Component::psi;
    const int i = element.ii;
    const int j = element.jj;
    bool missing = false;
    auto integrand = [&](int index, int side) {
        const int level = layout.level[index];
        if (level > available) {
            missing = true;
            return std::nan("");
        }
        return integrand_at(node_table.levels[level - 1], psi, layout.nodes[level], i, j,
                            layout.local[index] + side);
    };
    const double ba = interval.upper - interval.lower;
    double standard = 0.0;
    double err = 0.0;
    const int used = ooura::intde_points(integrand, ba, finite_table(), standard, err);
    if (missing) return Outcome::needs_level;

    double sum = 0.0;
    double abs_sum = 0.0;
    double previous = 0.0;
    double h = 1.0;
    for (int level = 1; level <= layout.levels; ++level) {
        if (level > available) return Outcome::needs_level;
        const LevelValues& values = node_table.levels[level - 1];
        const int nodes = layout.nodes[level];
        const std::vector<double>& f = psi ? values.psi : values.phi;
        const double* f_i = f.data() + static_cast<std::size_t>(i) * nodes;
        const double* f_j = f.data() + static_cast<std::size_t>(j) * nodes;
        const double* wv = values.weighted_v.data();
        // Four partial sums in a fixed order, so that the loop runs on vectors.
        double part[4] = {0.0, 0.0, 0.0, 0.0};
        double part_abs[4] = {0.0, 0.0, 0.0, 0.0};
        int node = 0;
        for (; node + 4 <= nodes; node += 4) {
            for (int q = 0; q < 4; ++q) {
                const double term = f_i[node + q] * wv[node + q] * f_j[node + q];
                part[q] += term;
                part_abs[q] += std::fabs(term);
            }
        }
        for (; node < nodes; ++node) {
            const double term = f_i[node] * wv[node] * f_j[node];
            part[0] += term;
            part_abs[0] += std::fabs(term);
        }
        sum += (part[0] + part[1]) + (part[2] + part[3]);
        abs_sum += (part_abs[0] + part_abs[1]) + (part_abs[2] + part_abs[3]);
        if (level > 1) h *= 0.5;
        const double complete = sum * h * ba;
        const double integral_of_abs = abs_sum * h * std::fabs(ba);
        if (level > used && std::fabs(complete - previous) <= de_converged * integral_of_abs) {
            const bool keep =
                err >= 0.0 && std::fabs(standard - complete) <= de_kept * integral_of_abs;
            value = keep ? standard : complete;
            return Outcome::done;
        }
        previous = complete;
    }
    return Outcome::fallback;
}

// Elements by the converged rule of the fast route, sized for the run and tabulated once.
void rule_elements(PotentialMatrix& matrix, int run_size, const std::vector<Element>& elements,
                   const std::vector<int>& which, double* values) {
    const int count = static_cast<int>(which.size());
    if (count == 0) return;
    std::vector<unsigned char> psi(count);
    std::vector<int> rows(count);
    std::vector<int> cols(count);
    for (int k = 0; k < count; ++k) {
        const Element& e = elements[which[k]];
        psi[k] = e.component == Component::psi ? 1 : 0;
        rows[k] = e.ii;
        cols[k] = e.jj;
    }
    std::vector<double> results(count);
    matrix.rule_elements(run_size, count, psi.data(), rows.data(), cols.data(), results.data());
    for (int k = 0; k < count; ++k)
        values[which[k]] = results[k];
}

// Finite range: double-exponential sums on the tabulated nodes, a level more where an element
// asks for it; an element whose levels never settle comes from the converged panel rule.
void finite_elements(PotentialMatrix& matrix, NodeTable& node_table, int run_size,
                     const std::vector<Element>& elements, const Interval& interval,
                     double* values) {
    int needed = 0;
    for (const Element& e : elements)
        needed = std::max({needed, e.ii + 1, e.jj + 1});
    prepare_node_table(matrix.problem(), node_table, interval, needed, run_size);
    std::vector<int> todo(elements.size());
    for (std::size_t p = 0; p < todo.size(); ++p)
        todo[p] = static_cast<int>(p);
    std::vector<Outcome> outcome(elements.size(), Outcome::done);
    std::vector<int> unsettled;
    while (!todo.empty()) {
        const int count = static_cast<int>(todo.size());
        FirstError error;
#pragma omp parallel for schedule(dynamic, 8) if (count > element_parallel_threshold)
        for (int q = 0; q < count; ++q)
            error.run(q, [&] {
                const int p = todo[q];
                outcome[p] = tabulated_element(node_table, elements[p], interval, values[p]);
            });
        error.rethrow();
        std::vector<int> again;
        for (int p : todo) {
            if (outcome[p] == Outcome::needs_level) again.push_back(p);
            if (outcome[p] == Outcome::fallback) unsettled.push_back(p);
        }
        todo.swap(again);
        if (!todo.empty()) tabulate_level(matrix.problem(), node_table, interval);
    }
    rule_elements(matrix, run_size, elements, unsettled, values);
}

// Infinite range: the rule exact for these integrands (or converged panels), sized for the run.
void semi_infinite_elements(PotentialMatrix& matrix, int run_size,
                            const std::vector<Element>& elements, double* values) {
    std::vector<int> all(elements.size());
    for (std::size_t p = 0; p < all.size(); ++p)
        all[p] = static_cast<int>(p);
    rule_elements(matrix, run_size, elements, all, values);
}

}  // namespace

PotentialMatrix::PotentialMatrix(const Problem& problem, int largest_size)
    : problem_{problem.basis, problem.scheme, problem.wave, prepared(problem.potential),
               problem.zc},
      largest_size_(largest_size),
      nodes_(std::make_unique<NodeTable>()),
      rule_(std::make_unique<detail::RunRule>()) {}

PotentialMatrix::~PotentialMatrix() = default;
PotentialMatrix::PotentialMatrix(PotentialMatrix&&) noexcept = default;
PotentialMatrix& PotentialMatrix::operator=(PotentialMatrix&&) noexcept = default;

double PotentialMatrix::element(int size, int n, int m) {
    double value = 0.0;
    elements(size, 1, &n, &m, &value);
    return value;
}

void border_positions(int order, bool relativistic, std::vector<int>& rows,
                      std::vector<int>& cols) {
    rows.clear();
    cols.clear();
    for (int c = 0; c < order; ++c) {
        rows.push_back(order - 1);
        cols.push_back(c);
        if (relativistic) {
            rows.push_back(0);
            cols.push_back(c);
        }
    }
}

// Finite ranges: the double-exponential rule over the interval (cut where the basis has
// vanished), with the basis tabulated once at its points. Infinite ranges: a Gaussian rule
// exact for the integrand, or composite panels, tabulated once for the run.
void PotentialMatrix::elements(int size, int count, const int* rows, const int* cols,
                               double* values) {
    // Every basis size of the run shares the tables and the interval of the largest one.
    const int run_size = std::max({largest_size_, size, 1});
    const Interval interval = integration_interval(problem_, run_size);

    std::vector<int> pending;
    std::vector<Element> elements;
    for (int k = 0; k < count; ++k) {
        Element element = element_at(problem_.scheme.dirac, size, rows[k], cols[k]);
        values[k] = 0.0;
        if (element.component == Component::none || interval.range == Range::none) continue;
        if (interval.range == Range::finite && interval.lower == interval.upper) continue;
        pending.push_back(k);
        elements.push_back(element);
    }
    if (pending.empty()) return;
    std::vector<double> results(pending.size(), 0.0);
    // Formulas and tables may jump at their breaks: the panel rule, which ends panels there.
    const PotentialKind kind = problem_.potential.kind;
    if (interval.range == Range::finite && kind != PotentialKind::formula &&
        kind != PotentialKind::table) {
        finite_elements(*this, *nodes_, run_size, elements, interval, results.data());
    } else {
        semi_infinite_elements(*this, run_size, elements, results.data());
    }
    for (std::size_t p = 0; p < pending.size(); ++p)
        values[pending[p]] = results[p];
}

void PotentialMatrix::lower_triangle(int size, int dim, double* matrix) {
    SKARVEN_CHECK(dim >= 0);
    std::size_t count = static_cast<std::size_t>(dim) * (static_cast<std::size_t>(dim) + 1) / 2;
    std::vector<int> rows(count);
    std::vector<int> cols(count);
    std::size_t k = 0;
    for (int r = 0; r < dim; ++r) {
        for (int c = 0; c <= r; ++c) {
            rows[k] = r;
            cols[k] = c;
            ++k;
        }
    }
    std::vector<double> values(count);
    elements(size, static_cast<int>(count), rows.data(), cols.data(), values.data());
    k = 0;
    for (int r = 0; r < dim; ++r) {
        for (int c = 0; c <= r; ++c) {
            matrix[static_cast<std::size_t>(r) +
                   static_cast<std::size_t>(c) * static_cast<std::size_t>(dim)] = values[k++];
        }
    }
}

double coulomb_strength_at_origin(const Potential& p) {
    switch (p.kind) {
        case PotentialKind::coulomb:
            return p.alpha == 1.0 ? p.z : 0.0;
        case PotentialKind::yukawa:
            return p.g * p.g;
        case PotentialKind::hulthen:
            return -p.v0 * p.range;
        case PotentialKind::user:
        case PotentialKind::formula:
        case PotentialKind::table: {
            const double near = 1e-8 * potential_value(p, 1e-8);
            const double far = 1e-7 * potential_value(p, 1e-7);
            const bool settled = std::isfinite(near) && std::isfinite(far) && near != 0.0 &&
                                 std::fabs(far - near) <= 1e-3 * std::fabs(near);
            // r v(r) = -Z + O(r) extrapolated to r = 0: the basis order follows Z to rounding.
            return settled ? -(near - (far - near) / 9.0) : 0.0;
        }
        default:
            return 0.0;
    }
}

double origin_gamma_squared(const Problem& problem, double kappa) {
    const double t = coulomb_strength_at_origin(problem.potential) / problem.scheme.light;
    return kappa * kappa - t * t;
}

Order basis_order(const Problem& problem) {
    const Wave& wave = problem.wave;
    if (!problem.scheme.dirac || problem.basis.kind != BasisKind::laguerre || wave.kappa >= 0)
        return order_of(wave);
    const double gamma = std::sqrt(origin_gamma_squared(problem, wave.kappa));
    if (!(gamma > 0.5) || gamma == -wave.kappa) return order_of(wave);
    // gamma - 1 is exact for gamma > 1/2, so kappa + l + 1 vanishes exactly, as psi_n does at 0.
    return {gamma - 1.0, -gamma, wave.kappa + gamma};
}

}  // namespace skarven
