#include "sk_g.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "lib-rs.hpp"
#include "potential.hpp"
#include "settings.hpp"
#include "basis.hpp"

namespace skarven {

namespace {

// Matrices kept between calls: the potential block and the whole matrix of the last basis size
// (leading dimension saved_order). Empty means released.
std::vector<double> v_saved;
std::vector<double> a_saved;
int saved_order = 0;

// Free matrix J(r, c) between positions r and c of the current ordering for basis size n.
double free_matrix(int r, int c, int n) {
    const Projectile& p = sk_globals.projectile;
    if (!relativistic_scheme()) return free_element_nonrel(r, c, p.k);
    return free_element_rel(r, c, n, p.e);
}

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

}  // namespace

// An infinite or undefined potential element would be scaled and diagonalised into a finite but
// meaningless phase shift; the run ends instead.
void require_finite_potential(const std::vector<double>& values) {
    for (double value : values) {
        if (!std::isfinite(value)) {
            throw_error("g", "the potential matrix is not finite at N = " +
                                std::to_string(sk_globals.ntrunc));
        }
    }
}

double g(int i, int j) {
    if (fast_solver()) return g_fast(i, j);
    const bool rel = relativistic_scheme();
    const int n = sk_globals.ntrunc;
    const int order = rel ? 2 * n : n;
    const int max_order = rel ? 2 * sk_globals.nend : sk_globals.nend;
    const bool first = sk_globals.pass == 1 && n == sk_globals.nstart;
    const bool last_n = sk_globals.pass == 1 && n == sk_globals.nend;
    const bool last_e = sk_globals.pass == 2 && sk_globals.projectile.e == sk_globals.eend;
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
    if (sk_globals.pass == 1 && !first) {
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
        vn_elements(static_cast<int>(rows.size()), rows.data(), cols.data(), values.data());
        require_finite_potential(values);
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
        if (sk_globals.pass == 1) {
            saved_order = max_order;
            v_saved.assign(static_cast<std::size_t>(max_order) * max_order, 0.0);
            a_saved.assign(static_cast<std::size_t>(max_order) * max_order, 0.0);
            vn_lower_triangle(order, vmat.data());
            require_finite_potential(vmat);
        } else {
            SKARVEN_CHECK(!v_saved.empty() && saved_order >= order);
            for (int c = 0; c < order; ++c) {
                for (int r = c; r < order; ++r)
                    V(r, c) = VS(r, c);
            }
        }
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
    if (sk_globals.pass == 1 && !last_n) {
        for (int c = 0; c < order; ++c) {
            for (int r = 0; r < order; ++r) {
                AS(r, c) = A(r, c);
                VS(r, c) = V(r, c);
            }
        }
        const int n_save = read_n_to_save_v();
        if (n != sk_globals.nstart && n == n_save) write_vn_to_file(order, vmat.data());
    }
    if (last_n) {
        a_saved.clear();
        a_saved.shrink_to_fit();
        for (int c = 0; c < order; ++c) {
            for (int r = c; r < order; ++r)
                VS(r, c) = V(r, c);
        }
        if (!sk_globals.vn_is_loaded || sk_globals.nstart != sk_globals.nend) {
            write_vn_to_file(order, vmat.data());
        }
        if (!sk_globals.energies) g_release();
    }
    if (last_e) g_release();
    vmat = {};

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
    if (!eigensys(order, amat.data(), w.data(), z.data()))
        show_warning("eigensys", "an unknown error occured");
    amat = {};

    const int p = rel ? 0 : i;
    const int q = rel ? 0 : j;
    for (int mu = 0; mu < order; ++mu) {
        // A singular truncated matrix: the caller takes the limit of the phase-shift formula.
        if (w[mu] == 0.0) return std::numeric_limits<double>::infinity();
    }
    return scale[p] * scale[q] * green_sum(order, w.data(), z.data(), p, q);
}

void g_release() {
    g_fast_release();
    v_saved = {};
    a_saved = {};
    saved_order = 0;
}

}  // namespace skarven
