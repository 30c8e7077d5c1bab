// The reference route: the whole matrix J + V of each point, scaled and diagonalised.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "basis.hpp"
#include "lib-rs.hpp"
#include "potential.hpp"
#include "routes.hpp"
#include "routes_internal.hpp"

namespace skarven {

namespace {

// Sum over the eigenpairs of Z(p, mu) Z(q, mu) / w(mu) in ascending mu, on the calling thread:
// M terms against the M^3 of the decomposition, and a fixed order keeps g the same at any
// thread count.
double green_sum(int order, const double* w, const double* z, int p, int q) {
    double sum = 0.0;
    for (int mu = 0; mu < order; ++mu) {
        sum += z[p + static_cast<std::size_t>(mu) * order] *
               z[q + static_cast<std::size_t>(mu) * order] / w[mu];
    }
    return sum;
}

class ReferenceRoute final : public Route {
  public:
    ReferenceRoute(const Problem& problem, int largest_size, WarningSink warn)
        : Route(problem, largest_size),
          warn_(std::move(warn)),
          outer_lower_rows_(keeps_outer_lower_rows(problem)) {}

    double size_element(int n) override;
    std::vector<double> potential_in_saved_order(int n) const override;
    void begin_energies(int n, const EnergyWindow& window) override;
    double energy_element(double e) override;

  private:
    int order_of(int n) const { return dirac() ? 2 * n : n; }
    // Free matrix J(r, c) between positions r and c of the scheme's ordering for basis size n.
    double free_matrix(int r, int c, int n) const {
        const Problem& p = problem();
        if (!p.scheme.dirac) return free_element_schroedinger(p.basis, p.wave.l, r, c, k_, p.zc);
        return free_element_dirac(p.basis, order_, p.scheme.light, r, c, n, e_);
    }
    // The edge element of (A)^-1, A = J + V of order `order`, which it overwrites.
    double edge_element(std::vector<double>& amat, int order, int i);

    WarningSink warn_;
    bool outer_lower_rows_;  // keeps_outer_lower_rows
    int energy_size_ = 0;
    // Matrices kept between calls: the potential block and the whole matrix of the last basis
    // size (leading dimension saved_order). Empty means not built.
    std::vector<double> v_saved;
    std::vector<double> a_saved;
    int saved_order = 0;
};

double ReferenceRoute::size_element(int n) {
    const bool rel = dirac();
    const int order = order_of(n);
    const int max_order = order_of(last_);
    const bool first = n == first_;
    const bool last_n = n == last_;
    const std::size_t m = order;

    std::vector<double> vmat(m * m, 0.0);
    std::vector<double> amat(m * m, 0.0);
    auto V = [&](int r, int c) -> double& { return vmat[r + c * m]; };
    auto A = [&](int r, int c) -> double& { return amat[r + c * m]; };
    auto VS = [&](int r, int c) -> double& {
        return v_saved[r + static_cast<std::size_t>(c) * saved_order];
    };
    auto AS = [&](int r, int c) -> double& {
        return a_saved[r + static_cast<std::size_t>(c) * saved_order];
    };

    // The copies and sums below are O(M^2) against the O(M^3) decomposition: they stay on the
    // calling thread, so that a busy machine costs no fork and join per loop.
    if (!first) {
        // Growth step: the previous matrices are the leading block (non-relativistic) or the
        // central block shifted by one (relativistic); only the border is new.
        SKARVEN_CHECK(!a_saved.empty() && !v_saved.empty());
        const int shift = rel ? 1 : 0;
        const int old = rel ? order - 2 : order - 1;
        for (int c = 0; c < old; ++c) {
            for (int r = 0; r < old; ++r) {
                A(r + shift, c + shift) = AS(r, c);
                V(r + shift, c + shift) = VS(r, c);
            }
        }
        // The new potential elements, integrated concurrently (each exactly as vn would).
        std::vector<int> rows, cols;
        border_positions(order, rel, rows, cols);
        std::vector<double> values(rows.size());
        potential_.elements(n, static_cast<int>(rows.size()), rows.data(), cols.data(),
                            values.data());
        require_finite_potential(values, n);
        for (std::size_t k = 0; k < rows.size(); ++k)
            V(rows[k], cols[k]) = values[k];
        if (!rel) {
            for (int c = 0; c < order; ++c)
                A(order - 1, c) = free_matrix(order - 1, c, n) + V(order - 1, c);
            for (int c = 0; c < order; ++c)
                A(c, order - 1) = A(order - 1, c);
        } else {
            for (int c = 0; c < order; ++c) {
                const double t = free_matrix(order - 1, c, n) + V(order - 1, c);
                A(order - 1, c) = t;
                A(c, order - 1) = t;
                V(c, order - 1) = V(order - 1, c);
                const double t0 = free_matrix(0, c, n) + V(0, c);
                A(0, c) = t0;
                A(c, 0) = t0;
                V(c, 0) = V(0, c);
            }
        }
    } else {
        saved_order = max_order;
        v_saved.assign(static_cast<std::size_t>(max_order) * max_order, 0.0);
        a_saved.assign(static_cast<std::size_t>(max_order) * max_order, 0.0);
        if (saved_ != nullptr) {
            SKARVEN_CHECK(saved_->size() == m * m);
            for (int c = 0; c < order; ++c) {
                for (int r = c; r < order; ++r)
                    V(r, c) = (*saved_)[r + c * m];
            }
        } else {
            potential_.lower_triangle(n, order, vmat.data());
        }
        require_finite_potential(vmat, n);
        for (int r = 0; r < order; ++r) {
            for (int c = 0; c <= r; ++c)
                A(r, c) = free_matrix(r, c, n) + V(r, c);
        }
        for (int c = 1; c < order; ++c) {
            for (int r = 0; r < c; ++r)
                A(r, c) = A(c, r);
        }
    }

    // Saving comes before the eigen-decomposition, which may overwrite A.
    if (!last_n) {
        for (int c = 0; c < order; ++c) {
            for (int r = 0; r < order; ++r) {
                AS(r, c) = A(r, c);
                VS(r, c) = V(r, c);
            }
        }
    } else {
        a_saved = {};
        for (int c = 0; c < order; ++c) {
            for (int r = c; r < order; ++r)
                VS(r, c) = V(r, c);
        }
        energy_size_ = n;
    }
    vmat = {};
    const int edge = rel ? 0 : n - 1;  // phi_(n-1): first in the Dirac ordering
    return edge_element(amat, order, edge);
}

double ReferenceRoute::edge_element(std::vector<double>& amat, int order, int edge) {
    const std::size_t m = order;
    auto A = [&](int r, int c) -> double& { return amat[r + c * m]; };

    // The unnormalised basis spreads the diagonal over many orders of magnitude (and 2c^2 between
    // the Dirac blocks): diagonalise D A D with D = |diag A|^-1/2 and undo the scaling in g.
    std::vector<double> scale(m);
    for (int r = 0; r < order; ++r) {
        const double d = std::fabs(A(r, r));
        scale[r] = d > 0.0 ? 1.0 / std::sqrt(d) : 1.0;
    }
    for (int c = 0; c < order; ++c) {
        for (int r = c; r < order; ++r)
            A(r, c) *= scale[r] * scale[c];
    }

    std::vector<double> w(m);
    std::vector<double> z(m * m);
    // A failed decomposition is reported and the run goes on with what it left.
    if (!eigensys(order, amat.data(), w.data(), z.data()) && warn_)
        warn_("eigensys", "an unknown error occured");
    amat = {};

    const int p = edge;
    const int q = edge;
    for (int mu = 0; mu < order; ++mu) {
        // A singular truncated matrix: the caller takes the limit of the phase-shift formula.
        if (w[mu] == 0.0) return std::numeric_limits<double>::infinity();
    }
    const double g = scale[p] * scale[q] * green_sum(order, w.data(), z.data(), p, q);
    if (!outer_lower_rows_) return g;
    const int psi = order - 1;  // psi_(n-1): last in the Dirac ordering
    const double mixed = scale[p] * scale[psi] * green_sum(order, w.data(), z.data(), p, psi);
    const double g_psi = scale[psi] * scale[psi] * green_sum(order, w.data(), z.data(), psi, psi);
    return consistent_edge(problem(), order_.l, e_, order / 2, g, mixed, g_psi);
}

std::vector<double> ReferenceRoute::potential_in_saved_order(int n) const {
    const int order = order_of(n);
    SKARVEN_CHECK(!v_saved.empty() && saved_order >= order);
    const std::size_t m = order;
    std::vector<double> matrix(m * m, 0.0);
    for (int c = 0; c < order; ++c) {
        for (int r = c; r < order; ++r)
            matrix[r + c * m] = v_saved[r + static_cast<std::size_t>(c) * saved_order];
    }
    return matrix;
}

// After a basis-size pass that ended at n its potential is reused; otherwise it is integrated.
void ReferenceRoute::begin_energies(int n, const EnergyWindow&) {
    a_saved = {};
    if (energy_size_ == n && !v_saved.empty()) return;
    const int order = order_of(n);
    saved_order = order;
    v_saved.assign(static_cast<std::size_t>(order) * order, 0.0);
    potential_.lower_triangle(n, order, v_saved.data());
    require_finite_potential(v_saved, n);
    energy_size_ = n;
}

double ReferenceRoute::energy_element(double e) {
    SKARVEN_CHECK(energy_size_ > 0 && !v_saved.empty());
    set_energy(e);
    const int n = energy_size_;
    const int order = order_of(n);
    const std::size_t m = order;
    std::vector<double> amat(m * m, 0.0);
    auto A = [&](int r, int c) -> double& { return amat[r + c * m]; };
    for (int r = 0; r < order; ++r) {
        for (int c = 0; c <= r; ++c)
            A(r, c) = free_matrix(r, c, n) + v_saved[r + static_cast<std::size_t>(c) * saved_order];
    }
    for (int c = 1; c < order; ++c) {
        for (int r = 0; r < c; ++r)
            A(r, c) = A(c, r);
    }
    return edge_element(amat, order, dirac() ? 0 : n - 1);
}

}  // namespace

std::unique_ptr<Route> make_reference_route(const Problem& problem, int largest_size,
                                            WarningSink warn) {
    return std::make_unique<ReferenceRoute>(problem, largest_size, std::move(warn));
}

}  // namespace skarven
