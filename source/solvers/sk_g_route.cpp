// The fast route of the Green's-function element: same matrices as the reference route, but the
// basis-size pass extends one factorisation and the energy pass uses one eigen-decomposition.
#include <algorithm>
#include <cmath>
#include <vector>

#include "potential.hpp"
#include "settings.hpp"
#include "basis.hpp"
#include "sk_g.hpp"

namespace skarven {

namespace {

struct FastRoute {
    BorderedGreen bordered;
    EnergyGreen energy;
    bool energy_ready = false;
    int blocks_order = 0;      // natural basis size of the potential blocks
    std::vector<double> vphi;  // blocks_order^2, phi_i v phi_j
    std::vector<double> vpsi;  // blocks_order^2, psi_i v psi_j (relativistic)
    std::vector<double> border;
};

FastRoute route;
PotentialBlocksSource blocks_source = potential_blocks;

double vphi(int i, int j) {
    return route.vphi[i + static_cast<std::size_t>(j) * route.blocks_order];
}
double vpsi(int i, int j) {
    return route.vpsi[i + static_cast<std::size_t>(j) * route.blocks_order];
}

// The potential of the whole run, with the block of the first basis size taken from a saved file
// when one matches (the same load rule as element by element).
void build_potential(int first_n) {
    blocks_source(sk_globals.nend, route.vphi, route.vpsi);
    route.blocks_order = sk_globals.nend;
    if (!sk_globals.vn_is_loaded && sk_globals.vn_file_match) vn(0, 0);  // the load attempt
    if (!sk_globals.vn_is_loaded) return;
    const int n = first_n;
    if (!relativistic_scheme()) {
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j <= i; ++j) {
                const double value = vn(i, j);
                route.vphi[i + static_cast<std::size_t>(j) * route.blocks_order] = value;
                route.vphi[j + static_cast<std::size_t>(i) * route.blocks_order] = value;
            }
        }
        return;
    }
    // Positions r < n hold phi_(n-1-r); positions n + i hold psi_i.
    for (int r = 0; r < 2 * n; ++r) {
        for (int c = 0; c <= r; ++c) {
            if ((r < n) != (c < n)) continue;
            const double value = vn(r, c);
            if (r < n) {
                const int i = n - 1 - r, j = n - 1 - c;
                route.vphi[i + static_cast<std::size_t>(j) * route.blocks_order] = value;
                route.vphi[j + static_cast<std::size_t>(i) * route.blocks_order] = value;
            } else {
                const int i = r - n, j = c - n;
                route.vpsi[i + static_cast<std::size_t>(j) * route.blocks_order] = value;
                route.vpsi[j + static_cast<std::size_t>(i) * route.blocks_order] = value;
            }
        }
    }
}

// The potential matrix of basis size n in the ordering of the saved file.
std::vector<double> reference_order_potential(int n) {
    const int order = relativistic_scheme() ? 2 * n : n;
    std::vector<double> matrix(static_cast<std::size_t>(order) * order, 0.0);
    for (int c = 0; c < order; ++c) {
        for (int r = c; r < order; ++r) {
            double value = 0.0;
            if (!relativistic_scheme()) {
                value = vphi(r, c);
            } else if (r < n && c < n) {
                value = vphi(n - 1 - r, n - 1 - c);
            } else if (r >= n && c >= n) {
                value = vpsi(r - n, c - n);
            }
            matrix[r + static_cast<std::size_t>(c) * order] = value;
        }
    }
    return matrix;
}

// Adds basis function n-1 (and its second component) to the factorisation and returns the
// Green's-function element of phi_(n-1). Fast ordering: phi_0, psi_0, phi_1, psi_1, ...
double extend_to(int n) {
    const Projectile& p = sk_globals.projectile;
    const int last = n - 1;
    if (!relativistic_scheme()) {
        route.border.assign(n, 0.0);
        for (int j = 0; j < n; ++j) {
            route.border[j] = free_element_nonrel(last, j, p.k) + vphi(last, j);
        }
        return route.bordered.extend(route.border.data(), 1, 0);
    }
    const double light = sk_globals.v_light;
    const double lower = -(2.0 * light * light + p.e);
    const int order = 2 * n;
    route.border.assign(2 * static_cast<std::size_t>(order), 0.0);
    double* phi_column = route.border.data();
    double* psi_column = phi_column + order;
    for (int j = 0; j < n; ++j) {
        phi_column[2 * j] = -p.e * fifi(last, j) + vphi(last, j);
        phi_column[2 * j + 1] = light * psipsi(last, j);
        psi_column[2 * j] = light * psipsi(j, last);
        psi_column[2 * j + 1] = lower * psipsi(last, j) + vpsi(last, j);
    }
    return route.bordered.extend(route.border.data(), 2, 0);
}

// The pencil is decomposed around a reference energy inside the energy window, where it gives
// the eigenvalues that matter full relative accuracy; a reference energy too close to an
// eigenvalue costs digits, so a few are tried and the one farthest from the spectrum is kept.
void decompose_around_window(int m, const double* h, const double* s) {
    const double width = std::max(sk_globals.eend - sk_globals.estart, sk_globals.estep);
    const double middle = 0.5 * (sk_globals.estart + sk_globals.eend);
    const double wanted = 1e-4 * std::max(width, 1.0);
    double best = -1.0, best_e0 = middle;
    for (double offset : {0.0, 0.137, -0.213, 0.291}) {
        const double e0 = middle + offset * width;
        route.energy.decompose_shifted(m, h, s, e0);
        if (!route.energy.converged()) continue;
        if (route.energy.reference_distance() >= wanted) return;
        if (route.energy.reference_distance() > best) {
            best = route.energy.reference_distance();
            best_e0 = e0;
        }
    }
    if (best > 0.0) {
        route.energy.decompose_shifted(m, h, s, best_e0);
    } else {
        route.energy.decompose(m, h, s);
    }
}

// H and S of A(E) = H - E S at basis size n, ordered so that phi_(n-1) is the last index.
void decompose_energy_pencil(int n) {
    if (!relativistic_scheme()) {
        std::vector<double> h(static_cast<std::size_t>(n) * n), s(h.size());
        for (int c = 0; c < n; ++c) {
            for (int r = c; r < n; ++r) {
                h[r + static_cast<std::size_t>(c) * n] = 0.5 * psipsi(r, c) + vphi(r, c);
                s[r + static_cast<std::size_t>(c) * n] = fifi(r, c);
            }
        }
        decompose_around_window(n, h.data(), s.data());
        return;
    }
    // psi_(n-1) ... psi_0, phi_0 ... phi_(n-1): the overlap stays tridiagonal.
    const double light = sk_globals.v_light;
    const int m = 2 * n;
    auto function_of = [n](int position, bool& is_psi) {
        is_psi = position < n;
        return is_psi ? n - 1 - position : position - n;
    };
    std::vector<double> h(static_cast<std::size_t>(m) * m), s(h.size());
    for (int c = 0; c < m; ++c) {
        bool c_psi = false;
        const int b = function_of(c, c_psi);
        for (int r = c; r < m; ++r) {
            bool r_psi = false;
            const int a = function_of(r, r_psi);
            double hv = 0.0, sv = 0.0;
            if (r_psi && c_psi) {
                hv = -2.0 * light * light * psipsi(a, b) + vpsi(a, b);
                sv = psipsi(a, b);
            } else if (!r_psi && !c_psi) {
                hv = vphi(a, b);
                sv = fifi(a, b);
            } else {
                hv = r_psi ? light * psipsi(b, a) : light * psipsi(a, b);
            }
            h[r + static_cast<std::size_t>(c) * m] = hv;
            s[r + static_cast<std::size_t>(c) * m] = sv;
        }
    }
    decompose_around_window(m, h.data(), s.data());
}

}  // namespace

double g_fast(int, int) {
    const int n = sk_globals.ntrunc;
    if (sk_globals.pass == 2) {
        if (!route.energy_ready) {
            // Without a basis-size pass before (the further partial waves of a run) the
            // blocks are integrated here; the saved file holds the first wave's matrix only.
            if (route.blocks_order != n) {
                blocks_source(n, route.vphi, route.vpsi);
                route.blocks_order = n;
            }
            decompose_energy_pencil(n);
            route.energy_ready = true;
        }
        return route.energy.element(sk_globals.projectile.e);
    }
    double result = 0.0;
    if (n == sk_globals.nstart) {
        route.bordered.reset();
        route.bordered.reserve(relativistic_scheme() ? 2 * sk_globals.nend : sk_globals.nend);
        route.energy_ready = false;
        build_potential(n);
        require_finite_potential(route.vphi);
        require_finite_potential(route.vpsi);
        for (int size = 1; size <= n; ++size)
            result = extend_to(size);
    } else {
        result = extend_to(n);
    }
    const int order = relativistic_scheme() ? 2 * n : n;
    if (n == sk_globals.nend) {
        if (!sk_globals.vn_is_loaded || sk_globals.nstart != sk_globals.nend) {
            write_vn_to_file(order, reference_order_potential(n).data());
        }
    } else if (n != sk_globals.nstart && n == read_n_to_save_v()) {
        write_vn_to_file(order, reference_order_potential(n).data());
    }
    return result;
}

void g_fast_release() {
    route = FastRoute{};
}

void set_potential_blocks_source(PotentialBlocksSource source) {
    blocks_source = source != nullptr ? source : potential_blocks;
}

}  // namespace skarven
