// The fast route of the Green's-function element: same matrices as the reference route, but the
// basis-size pass extends one factorisation and the energy pass uses one eigen-decomposition.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "basis.hpp"
#include "green_kernels.hpp"
#include "potential.hpp"
#include "routes.hpp"
#include "routes_internal.hpp"

namespace skarven {

namespace {

// A first diagonal element below this fraction of its terms is taken as a cancellation to rounding.
constexpr double first_floor_relative = 1e-8;

class FastRoute final : public Route {
  public:
    FastRoute(const Problem& problem, int largest_size, PotentialBlocksSource blocks)
        : Route(problem, largest_size),
          blocks_source_(std::move(blocks)),
          outer_lower_rows_(keeps_outer_lower_rows(problem)) {
        if (!blocks_source_) {
            blocks_source_ = [](PotentialMatrix& matrix, int n, std::vector<double>& phi,
                                std::vector<double>& psi) { matrix.blocks(n, phi, psi); };
        }
    }

    double size_element(int n) override;
    std::vector<double> potential_in_saved_order(int n) const override;
    void begin_energies(int n, const EnergyWindow& window) override;
    double energy_element(double e) override;
    std::optional<int> bound_states() override;

  private:
    void ensure_energy_decomposition();
    double vphi(int i, int j) const {
        return vphi_[i + static_cast<std::size_t>(j) * blocks_order_];
    }
    double vpsi(int i, int j) const {
        return vpsi_[i + static_cast<std::size_t>(j) * blocks_order_];
    }
    void compute_blocks(int n) {
        blocks_source_(potential_, n, vphi_, vpsi_);
        blocks_order_ = n;
    }
    void build_potential(int first_n);
    double first_element_parts() const;
    double extend_to(int n);
    void decompose_around_window(int m, const double* h, const double* s);
    void decompose_energy_pencil(int n);

    PotentialBlocksSource blocks_source_;
    bool outer_lower_rows_;  // keeps_outer_lower_rows
    BorderedGreen bordered_;
    EnergyGreen energy_;
    bool energy_ready_ = false;
    int energy_size_ = 0;
    EnergyWindow window_;
    int blocks_order_ = 0;      // natural basis size of the potential blocks
    std::vector<double> vphi_;  // blocks_order^2, phi_i v phi_j
    std::vector<double> vpsi_;  // blocks_order^2, psi_i v psi_j (Dirac)
    std::vector<double> border_;
};

// The potential of the whole run, with the block of the first basis size taken from a saved file
// when one matches (the same load rule as element by element).
void FastRoute::build_potential(int first_n) {
    compute_blocks(last_);
    if (saved_ == nullptr) return;
    const int n = first_n;
    const std::size_t order = dirac() ? 2 * n : n;
    SKARVEN_CHECK(saved_->size() == order * order);
    auto vn = [&](int r, int c) { return (*saved_)[r + c * order]; };
    if (!dirac()) {
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j <= i; ++j) {
                const double value = vn(i, j);
                vphi_[i + static_cast<std::size_t>(j) * blocks_order_] = value;
                vphi_[j + static_cast<std::size_t>(i) * blocks_order_] = value;
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
                vphi_[i + static_cast<std::size_t>(j) * blocks_order_] = value;
                vphi_[j + static_cast<std::size_t>(i) * blocks_order_] = value;
            } else {
                const int i = r - n, j = c - n;
                vpsi_[i + static_cast<std::size_t>(j) * blocks_order_] = value;
                vpsi_[j + static_cast<std::size_t>(i) * blocks_order_] = value;
            }
        }
    }
}

// The potential matrix of basis size n in the ordering of the saved file.
std::vector<double> FastRoute::potential_in_saved_order(int n) const {
    const int order = dirac() ? 2 * n : n;
    std::vector<double> matrix(static_cast<std::size_t>(order) * order, 0.0);
    for (int c = 0; c < order; ++c) {
        for (int r = c; r < order; ++r) {
            double value = 0.0;
            if (!dirac()) {
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
double FastRoute::extend_to(int n) {
    const Problem& p = problem();
    const Basis& basis = p.basis;
    const double l = order_.l;
    const int last = n - 1;
    if (!dirac()) {
        border_.assign(n, 0.0);
        for (int j = 0; j < n; ++j) {
            border_[j] = free_element_schroedinger(basis, l, last, j, k_, p.zc) + vphi(last, j);
        }
        return bordered_.extend(border_.data(), 1, 0);
    }
    const double light = p.scheme.light;
    const double lower = -(2.0 * light * light + e_);
    const int order = 2 * n;
    border_.assign(2 * static_cast<std::size_t>(order), 0.0);
    double* phi_column = border_.data();
    double* psi_column = phi_column + order;
    for (int j = 0; j < n; ++j) {
        phi_column[2 * j] = -e_ * overlap(basis, l, last, j) + vphi(last, j);
        phi_column[2 * j + 1] =
            light * kinetic(basis, l, last, j) + order_coupling(basis, order_, light, last, j);
        psi_column[2 * j] =
            light * kinetic(basis, l, j, last) + order_coupling(basis, order_, light, j, last);
        psi_column[2 * j + 1] = lower * kinetic(basis, l, last, j) + vpsi(last, j);
    }
    if (!outer_lower_rows_) return bordered_.extend(border_.data(), 2, 0);
    double block[4];  // phi_(n-1), psi_(n-1)
    const double g = bordered_.extend(border_.data(), 2, 0, block);
    if (g == std::numeric_limits<double>::infinity()) return g;
    return consistent_edge(p, l, e_, n, block[0], block[1], block[3]);
}

// The pencil is decomposed around a reference energy inside the energy window, where it gives
// the eigenvalues that matter full relative accuracy; a reference energy too close to an
// eigenvalue costs digits, so a few are tried and the one farthest from the spectrum is kept.
void FastRoute::decompose_around_window(int m, const double* h, const double* s) {
    const bool first_too = dirac() && outer_lower_rows_;  // psi_(n-1) is index 0
    const double width = std::max(window_.last - window_.first, window_.step);
    const double middle = 0.5 * (window_.first + window_.last);
    const double wanted = 1e-4 * std::max(width, 1.0);
    double best = -1.0, best_e0 = middle;
    for (double offset : {0.0, 0.137, -0.213, 0.291}) {
        const double e0 = middle + offset * width;
        energy_.decompose_shifted(m, h, s, e0, first_too);
        if (!energy_.converged()) continue;
        if (energy_.reference_distance() >= wanted) return;
        if (energy_.reference_distance() > best) {
            best = energy_.reference_distance();
            best_e0 = e0;
        }
    }
    if (best > 0.0) {
        energy_.decompose_shifted(m, h, s, best_e0, first_too);
    } else {
        energy_.decompose(m, h, s, first_too);
    }
}

// H and S of A(E) = H - E S at basis size n, ordered so that phi_(n-1) is the last index.
void FastRoute::decompose_energy_pencil(int n) {
    const Basis& basis = problem().basis;
    const double l = order_.l;
    const double zc = problem().zc;
    if (!dirac()) {
        std::vector<double> h(static_cast<std::size_t>(n) * n), s(h.size());
        for (int c = 0; c < n; ++c) {
            for (int r = c; r < n; ++r) {
                h[r + static_cast<std::size_t>(c) * n] = 0.5 * kinetic(basis, l, r, c) + vphi(r, c);
                if (zc != 0.0 && r == c)
                    h[r + static_cast<std::size_t>(c) * n] += zc * inverse_r(basis, l, r, c);
                s[r + static_cast<std::size_t>(c) * n] = overlap(basis, l, r, c);
            }
        }
        decompose_around_window(n, h.data(), s.data());
        return;
    }
    // psi_(n-1) ... psi_0, phi_0 ... phi_(n-1): the overlap stays tridiagonal.
    const double light = problem().scheme.light;
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
                hv = -2.0 * light * light * kinetic(basis, l, a, b) + vpsi(a, b);
                sv = kinetic(basis, l, a, b);
            } else if (!r_psi && !c_psi) {
                hv = vphi(a, b);
                sv = overlap(basis, l, a, b);
            } else {
                hv = r_psi ? light * kinetic(basis, l, b, a) +
                                 order_coupling(basis, order_, light, b, a)
                           : light * kinetic(basis, l, a, b) +
                                 order_coupling(basis, order_, light, a, b);
            }
            h[r + static_cast<std::size_t>(c) * m] = hv;
            s[r + static_cast<std::size_t>(c) * m] = sv;
        }
    }
    decompose_around_window(m, h.data(), s.data());
}

// The sizes of the terms that make up the first element of the factorised matrix (phi_0's
// diagonal): the scale of what a cancellation among them leaves as rounding.
double FastRoute::first_element_parts() const {
    const Problem& p = problem();
    const double potential = std::fabs(vphi(0, 0));
    if (dirac()) return std::fabs(e_) * overlap(p.basis, order_.l, 0, 0) + potential;
    double parts = 0.5 * kinetic(p.basis, p.wave.l, 0, 0) +
                   0.5 * k_ * k_ * overlap(p.basis, p.wave.l, 0, 0) + potential;
    if (p.zc != 0.0) parts += std::fabs(p.zc) * inverse_r(p.basis, p.wave.l, 0, 0);
    return parts;
}

double FastRoute::size_element(int n) {
    if (n != first_) return extend_to(n);
    bordered_.reset();
    bordered_.reserve(dirac() ? 2 * last_ : last_);
    energy_ready_ = false;
    build_potential(n);
    require_finite_potential(vphi_, n);
    require_finite_potential(vpsi_, n);
    bordered_.set_first_floor(first_floor_relative * first_element_parts());
    double result = 0.0;
    for (int size = 1; size <= n; ++size)
        result = extend_to(size);
    return result;
}

// Without a basis-size pass before (the further partial waves of a run) the blocks are
// integrated here; a decomposition already made for the same size and window is kept.
void FastRoute::begin_energies(int n, const EnergyWindow& window) {
    const bool same_window =
        window.first == window_.first && window.last == window_.last && window.step == window_.step;
    if (energy_ready_ && energy_size_ == n && same_window) return;
    energy_ready_ = false;
    energy_size_ = n;
    window_ = window;
}

void FastRoute::ensure_energy_decomposition() {
    SKARVEN_CHECK(energy_size_ > 0);
    if (energy_ready_) return;
    const int n = energy_size_;
    if (blocks_order_ != n) compute_blocks(n);
    decompose_energy_pencil(n);
    energy_ready_ = true;
}

double FastRoute::energy_element(double e) {
    ensure_energy_decomposition();
    if (!outer_lower_rows_) return energy_.element(e);
    double g_phi = 0.0, g_mixed = 0.0, g_psi = 0.0;
    energy_.block(e, g_phi, g_mixed, g_psi);
    if (!std::isfinite(g_phi)) return g_phi;
    return consistent_edge(problem(), order_.l, e, energy_size_, g_phi, g_mixed, g_psi);
}

// The pencil's negative eigenvalues. In the Dirac scheme the sea lies below -2c^2, but a
// repulsive potential lifts positron states out of it into the gap, so the count stops at the
// gap's middle, -c^2: either kind of state crosses it only in a potential of some c^2 hartree.
std::optional<int> FastRoute::bound_states() {
    ensure_energy_decomposition();
    if (!energy_.converged() || energy_.eigenvalues().empty()) return std::nullopt;
    const double light = problem().scheme.light;
    const double floor = dirac() ? -light * light : -std::numeric_limits<double>::infinity();
    return energy_.eigenvalues_between(floor, 0.0);
}

}  // namespace

std::unique_ptr<Route> make_fast_route(const Problem& problem, int largest_size,
                                       PotentialBlocksSource blocks) {
    return std::make_unique<FastRoute>(problem, largest_size, std::move(blocks));
}

}  // namespace skarven
