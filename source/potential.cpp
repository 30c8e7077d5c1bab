// Truncated potential matrix: index layouts of both schemes, interval and integrator by potential
// type, and the cache of a matrix reloaded from a saved file.
#include "potential.hpp"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "sk_basis.hpp"
#include "special_quadrature.hpp"

namespace skarven {

namespace {

// The reloaded matrix, dim x dim column-major; only its lower triangle is filled.
std::vector<double> vn_matrix;
int vn_matrix_dim = 0;
bool vn_matrix_allocated = false;

void release_vn_matrix() {
    std::vector<double>().swap(vn_matrix);
    vn_matrix_dim = 0;
    vn_matrix_allocated = false;
}

// The tables depend only on their three constants, so one of each kind serves the whole run.
const double* finite_table() {
    static const std::vector<double> table = [] {
        std::vector<double> t(quadrature_lenaw);
        intde_init(quadrature_lenaw, quadrature_tiny, quadrature_eps, t.data());
        return t;
    }();
    return table.data();
}

const double* semi_infinite_table() {
    static const std::vector<double> table = [] {
        std::vector<double> t(quadrature_lenaw);
        intdei_init(quadrature_lenaw, quadrature_tiny, quadrature_eps, t.data());
        return t;
    }();
    return table.data();
}

bool relativistic() {
    return text_is(sk_globals.scheme, "relativistic");
}

// The saved matrix stands in for the integrals only at the first basis size of the basis-size
// pass and during the energy pass.
bool cache_applies() {
    return sk_globals.pass == 2 || (sk_globals.pass == 1 && sk_globals.ntrunc == sk_globals.nstart);
}

void try_load() {
    if (sk_globals.vn_is_loaded || !sk_globals.vn_file_match || !cache_applies()) return;
    int dim = relativistic() ? 2 * sk_globals.ntrunc : sk_globals.ntrunc;
    if (dim < 0) dim = 0;
    vn_matrix.assign(static_cast<std::size_t>(dim) * static_cast<std::size_t>(dim), 0.0);
    vn_matrix_dim = dim;
    vn_matrix_allocated = true;
    read_vn_from_file(dim, vn_matrix.data());
    if (!sk_globals.vn_is_loaded) release_vn_matrix();
}

bool cached_element(int n, int m, double& value) {
    if (!sk_globals.vn_is_loaded || !vn_matrix_allocated || !cache_applies()) return false;
    int row = std::max(n, m);
    int column = std::min(n, m);
    if (column < 0 || row >= vn_matrix_dim) return false;
    value = vn_matrix[static_cast<std::size_t>(row) +
                      static_cast<std::size_t>(column) * static_cast<std::size_t>(vn_matrix_dim)];
    return true;
}

enum class Component { none, phi, psi };

struct Element {
    Component component;
    int ii;
    int jj;
};

// Which functions positions n and m stand for: non-relativistic phi_n; relativistic positions
// 0..N-1 are phi_(N-1) .. phi_0 and N..2N-1 are psi_0 .. psi_(N-1).
Element element_at(int n, int m) {
    int size = sk_globals.ntrunc;
    if (relativistic()) {
        if (n < size && m < size) return {Component::phi, size - 1 - n, size - 1 - m};
        if (n >= size && m >= size) return {Component::psi, n - size, m - size};
        return {Component::none, n, m};
    }
    if (text_is(sk_globals.scheme, "non-relativistic") && n < size && m < size) {
        return {Component::phi, n, m};
    }
    return {Component::none, n, m};
}

enum class Range { none, finite, semi_infinite };

struct Interval {
    Range range;
    double lower;
    double upper;
};

// A well lives on [a, b]; the other potentials are cut off at r0 > 0 or extend to infinity.
Interval interval_of_potential() {
    const PotentialParams& p = sk_globals.potential;
    if (text_is(p.pot_type, "well")) return {Range::finite, p.a, p.b};
    if (text_is(p.pot_type, "coulomb") || text_is(p.pot_type, "yukawa") ||
        text_is(p.pot_type, "user")) {
        if (p.r0 > 0.0) return {Range::finite, 0.0, p.r0};
        return {Range::semi_infinite, 0.0, 0.0};
    }
    return {Range::none, 0.0, 0.0};
}

// The accuracy estimate is not used (an integral that misses eps is taken as it is), except when
// the semi-infinite table runs out: its fixed steps cannot follow the oscillations of high-index
// functions spread over a long range, so that element comes from a Gaussian rule fitted to the
// basis instead.
template <class F>
double integrate(F&& integrand, const Element& element, const Interval& interval,
                 const double* finite, const double* semi_infinite) {
    double value = 0.0;
    double err = 0.0;
    if (interval.range == Range::finite) {
        intde(integrand, interval.lower, interval.upper, finite, value, err);
    } else if (interval.range == Range::semi_infinite) {
        intdei(integrand, 0.0, semi_infinite, value, err);
        if (err < 0.0) {
            value = potential_element(element.component == Component::psi, element.ii, element.jj);
        }
    }
    return value;
}

const double* table_for(const Interval& interval, Range range) {
    if (interval.range != range) return nullptr;
    return range == Range::finite ? finite_table() : semi_infinite_table();
}

// The element with its indices passed by value, so that many can be integrated at once. The
// integrands repeat fi_v_fi and psi_v_psi operation for operation (a vanishing function gives 0
// even where the potential is singular), so both paths give the same bits.
double integrate_element(const Element& element, const Interval& interval, const double* finite,
                         const double* semi_infinite) {
    int i = element.ii;
    int j = element.jj;
    if (element.component == Component::phi) {
        auto integrand = [i, j](double r) {
            double fi_i = 0.0;
            double fi_j = 0.0;
            fi2(i, j, r, fi_i, fi_j);
            if (fi_i == 0.0 || fi_j == 0.0) return 0.0;
            return fi_i * v(r) * fi_j;
        };
        return integrate(integrand, element, interval, finite, semi_infinite);
    }
    auto integrand = [i, j](double r) {
        double psi_i = 0.0;
        double psi_j = 0.0;
        psi2(i, j, r, psi_i, psi_j);
        if (psi_i == 0.0 || psi_j == 0.0) return 0.0;
        return psi_i * v(r) * psi_j;
    };
    return integrate(integrand, element, interval, finite, semi_infinite);
}

}  // namespace

// One element: from the reloaded matrix when it applies, else zero by the index layout, else
// a double-exponential quadrature of phi v phi or psi v psi over the potential's interval.
double vn(int n, int m, CacheAction action) {
    try_load();
    double value = 0.0;
    if (!cached_element(n, m, value)) {
        Element element = element_at(n, m);
        sk_globals.ii = element.ii;
        sk_globals.jj = element.jj;
        Interval interval = interval_of_potential();
        if (element.component != Component::none && interval.range != Range::none) {
            const double* finite = table_for(interval, Range::finite);
            const double* semi_infinite = table_for(interval, Range::semi_infinite);
            if (element.component == Component::phi) {
                value = integrate(fi_v_fi, element, interval, finite, semi_infinite);
            } else {
                value = integrate(psi_v_psi, element, interval, finite, semi_infinite);
            }
        }
    }
    if (action == CacheAction::release) release_vn_matrix();
    return value;
}

// Same rule as vn element by element; the integrals are independent, so they are spread over
// the threads, each computed by one thread alone (nested psi2 sections then run serially).
void vn_elements(int count, const int* rows, const int* cols, double* values) {
    try_load();
    Interval interval = interval_of_potential();
    const double* finite = table_for(interval, Range::finite);
    const double* semi_infinite = table_for(interval, Range::semi_infinite);

    std::vector<int> pending;
    std::vector<Element> elements;
    for (int k = 0; k < count; ++k) {
        if (cached_element(rows[k], cols[k], values[k])) continue;
        Element element = element_at(rows[k], cols[k]);
        sk_globals.ii = element.ii;
        sk_globals.jj = element.jj;
        values[k] = 0.0;
        if (element.component == Component::none || interval.range == Range::none) continue;
        pending.push_back(k);
        elements.push_back(element);
    }

    int todo = static_cast<int>(pending.size());
#pragma omp parallel for schedule(dynamic, 1) if (todo > 1)
    for (int p = 0; p < todo; ++p) {
        values[pending[p]] = integrate_element(elements[p], interval, finite, semi_infinite);
    }
}

void vn_lower_triangle(int dim, double* matrix) {
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
    vn_elements(static_cast<int>(count), rows.data(), cols.data(), values.data());
    k = 0;
    for (int r = 0; r < dim; ++r) {
        for (int c = 0; c <= r; ++c) {
            matrix[static_cast<std::size_t>(r) +
                   static_cast<std::size_t>(c) * static_cast<std::size_t>(dim)] = values[k++];
        }
    }
}

}  // namespace skarven
