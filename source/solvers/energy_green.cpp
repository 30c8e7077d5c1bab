// Fast route kernels: the Green's-function element at the basis edge for many energies by one
// generalised eigen-decomposition of the fixed basis, directly or by shift and invert.

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include "green_kernels.hpp"
#include "linalg.hpp"
#include "skarven/errors.hpp"

namespace skarven {

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

}  // namespace

// H x = lambda S x on the S-diagonally scaled problem (S_ii = 1, which keeps the blocks of an
// unnormalised basis on one footing): band Cholesky S = L L^T (right-looking, the band taken from
// S's nonzeros), C = L^-1 H L^-T by two passes of forward solves, tridiagonalisation of C with the
// last index fixed, QL carrying the last row only. Since L^-1 e_last = e_last / L(last, last),
// the weights are z_k^2 / (S_last,last L(last, last)^2).
void EnergyGreen::decompose(int m, const double* h, const double* s, bool first_too) {
    SKARVEN_CHECK(m >= 1);
    shifted_ = false;
    first_too_ = first_too;
    const auto n = static_cast<std::size_t>(m);
    std::vector<double> sigma(n);
    for (int j = 0; j < m; ++j) {
        const double sjj = s[j + j * n];
        SKARVEN_CHECK(sjj > 0.0);
        sigma[j] = 1.0 / std::sqrt(sjj);
    }
    const int band = lower_band(m, s);
    const std::size_t stride = static_cast<std::size_t>(band) + 1;
    const std::vector<double> factor = band_cholesky(m, s, sigma.data(), band);
    if (factor.empty()) {
        fail();
        return;
    }

    // C = L^-1 (L^-1 H)^T, H scaled and made whole from its lower triangle.
    work_.resize(n * n);
    double* c = work_.data();
    const bool parallel = m > reduction_parallel_threshold;
#pragma omp parallel for schedule(static) if (parallel)
    for (int j = 0; j < m; ++j) {
        for (int i = j; i < m; ++i)
            c[i + j * n] = sigma[i] * h[i + j * n] * sigma[j];
        for (int i = 0; i < j; ++i)
            c[i + j * n] = sigma[j] * h[j + i * n] * sigma[i];
        band_forward_solve(m, band, factor.data(), c + j * n);
    }
    for (int j = 0; j < m; ++j)
        for (int i = j + 1; i < m; ++i)
            std::swap(c[i + j * n], c[j + i * n]);
#pragma omp parallel for schedule(static) if (parallel)
    for (int j = 0; j < m; ++j)
        band_forward_solve(m, band, factor.data(), c + j * n);

    // Index 0 enters through L^-1 e_0, which is not confined to the last index.
    std::vector<double> w;
    if (first_too) {
        w.assign(n, 0.0);
        w[0] = 1.0;
        band_forward_solve(m, band, factor.data(), w.data());
    }
    std::vector<double> d(n), e(n), scratch;
    tridiagonalise_last_fixed(m, c, d.data(), e.data(), scratch, first_too ? w.data() : nullptr);
    std::vector<double> z(n, 0.0);
    z[n - 1] = 1.0;
    converged_ = ql_last_row(m, d.data(), e.data(), z.data(), first_too ? w.data() : nullptr);

    const double last_pivot = factor[(n - 1) * stride];
    const double to_original = sigma[n - 1] / last_pivot;
    eigenvalues_ = std::move(d);
    weights_.resize(n);
    for (std::size_t k = 0; k < n; ++k)
        weights_[k] = z[k] * z[k] * to_original * to_original;
    if (!first_too) return;
    first_weights_.resize(n);
    mixed_weights_.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double x_first = w[k] * sigma[0];
        first_weights_[k] = x_first * x_first;
        mixed_weights_[k] = x_first * z[k] * to_original;
    }
}

// No decomposition: element() gives NaN until the next one succeeds.
void EnergyGreen::fail() {
    converged_ = false;
    reference_element_ = std::numeric_limits<double>::quiet_NaN();
    reference_distance_ = 0.0;
    inverse_shifts_.clear();
    shift_weights_.clear();
    eigenvalues_.clear();
    weights_.clear();
    shifted_ = true;
}

double EnergyGreen::element(double e) const {
    if (shifted_) {
        const double epsilon = e - reference_energy_;
        if (epsilon == 0.0) return reference_element_;
        double sum = reference_element_;
        for (std::size_t k = 0; k < inverse_shifts_.size(); ++k) {
            const double denominator = 1.0 - epsilon * inverse_shifts_[k];
            if (denominator == 0.0) return infinity;
            sum += shift_weights_[k] * epsilon / denominator;
        }
        return sum;
    }
    double sum = 0.0;
    for (std::size_t k = 0; k < eigenvalues_.size(); ++k) {
        if (eigenvalues_[k] == e) return infinity;
        sum += weights_[k] / (eigenvalues_[k] - e);
    }
    return sum;
}

int EnergyGreen::eigenvalues_between(double low, double high) const {
    return static_cast<int>(
        std::count_if(eigenvalues_.begin(), eigenvalues_.end(),
                      [&](double value) { return value > low && value < high; }));
}

// Shift and invert around e0 (Ericsson & Ruhe's spectral transformation): with S = L L^T,
// A0 = H - e0 S and M = L^T A0^-1 L = Y diag(mu) Y^T, the Woodbury identity gives
//   (A0 - eps S)^-1 = A0^-1 + A0^-1 L (I/eps - M)^-1 L^T A0^-1,
// so g(E) = g0 + sum_k beta_k^2 eps / (1 - eps mu_k) with beta = Y^T L^T A0^-1 e_p. The huge
// eigenvalues (the -2c^2 states) become tiny mu, whose errors no longer matter. On the scaled
// A0: P^T A0 P = U D U^T (Bunch-Kaufman), V = U^-1 P^T [L, e_p], and the bordered matrix
// [[M, b], [b^T, g0]] = V^T D^-1 V. Reducing it to tridiagonal form with the border row fixed
// turns b into a multiple of the last unit vector, so the QL pass carries one row, as in
// decompose(). Cost: n^3/3 (factor) + about 2n^3/3 (solve and product, less when the pivots stay
// local) + 4n^3/3 (tridiagonalisation).
void EnergyGreen::decompose_shifted(int m, const double* h, const double* s, double e0,
                                    bool first_too) {
    SKARVEN_CHECK(m >= 1);
    shifted_ = true;
    first_too_ = first_too;
    converged_ = true;
    reference_energy_ = e0;
    pivot_pairs_ = 0;
    const auto n = static_cast<std::size_t>(m);
    const int order = first_too ? m + 2 : m + 1;  // the bordered matrix (e_0 last when asked)
    const auto ld = static_cast<std::size_t>(order);
    const bool parallel = m > reduction_parallel_threshold;

    // Scaled A0 in the lower triangle of work_.
    work_.resize(ld * ld);
    double* a = work_.data();
#pragma omp parallel for schedule(static) if (parallel)
    for (int j = 0; j < m; ++j)
        for (int i = j; i < m; ++i)
            a[i + j * ld] = h[i + j * n] - e0 * s[i + j * n];
    std::vector<double> scale(n);
    symmetric_scaling(m, a, ld, scale.data());
#pragma omp parallel for schedule(static) if (parallel)
    for (int j = 0; j < m; ++j)
        for (int i = j; i < m; ++i)
            a[i + j * ld] *= scale[i] * scale[j];
    const int band = lower_band(m, s);
    const std::size_t stride = static_cast<std::size_t>(band) + 1;
    // A potential element that dwarfs its diagonal by some hundred decades drives the scales of
    // A0 so low that the scaled S underflows: no decomposition around e0, as for a singular A0.
    const std::vector<double> factor = band_cholesky(m, s, scale.data(), band);

    std::vector<int> index;
    std::vector<signed char> block;
    std::vector<double> scratch;
    if (factor.empty() || !bunch_kaufman(m, a, ld, index, block, scratch)) {
        fail();
        return;
    }
    // D^-1 as a diagonal and a coupling to the partner position of a 2x2 pivot; U made clean.
    std::vector<double> inverse_diag(n), inverse_off(n, 0.0);
    std::vector<int> partner(n);
    for (int k = 0; k < m; ++k)
        partner[k] = k;
    for (int k = 0; k < m; ++k) {
        if (block[k] == 1) {
            inverse_diag[k] = 1.0 / a[k + k * ld];
        } else if (block[k] == 2) {
            const double d0 = a[k + k * ld], off = a[(k + 1) + k * ld],
                         d1 = a[(k + 1) + (k + 1) * ld];
            // det = d0 d1 - off^2 < 0 for a Bunch-Kaufman pair; written as off^2 ((d0/off)(d1/off)
            // - 1)
            const double det = off * off * ((d0 / off) * (d1 / off) - 1.0);
            inverse_diag[k] = d1 / det;
            inverse_diag[k + 1] = d0 / det;
            inverse_off[k] = inverse_off[k + 1] = -off / det;
            partner[k] = k + 1;
            partner[k + 1] = k;
            a[(k + 1) + k * ld] = 0.0;
            ++pivot_pairs_;
        }
    }

    // V = U^-1 P^T [L, e_p] in work2_ (m rows, leading dimension m + 1); column j of P^T L is
    // zero above first[j], the smallest pivot position of the rows j..j+band.
    std::vector<int> position(n);
    for (int r = 0; r < m; ++r)
        position[index[r]] = r;
    work2_.assign(ld * ld, 0.0);
    double* v = work2_.data();
    std::vector<int> first(ld), first_z(ld);
    for (int j = 0; j < m; ++j) {
        first[j] = m;
        for (int i = j; i <= std::min(m - 1, j + band); ++i) {
            v[position[i] + j * ld] = factor[(i - j) + j * stride];
            first[j] = std::min(first[j], position[i]);
        }
    }
    v[position[m - 1] + m * ld] = 1.0;
    first[m] = position[m - 1];
    if (first_too) {
        v[position[0] + (m + 1) * ld] = 1.0;
        first[m + 1] = position[0];
    }
    unit_lower_solve(m, a, ld, order, v, ld, first.data());
    for (int j = 0; j < order; ++j)
        first_z[j] = first[j] < m && block[first[j]] == 0 ? first[j] - 1 : first[j];

    // Z^T = (D^-1 V)^T into work_ (U is no longer needed), by tiles.
    constexpr int tile = 32;
    const int row_tiles = (m + tile - 1) / tile;
#pragma omp parallel for schedule(static) if (parallel)
    for (int kt = 0; kt < row_tiles; ++kt) {
        const int k1 = std::min(m, (kt + 1) * tile);
        for (int j0 = 0; j0 < order; j0 += tile) {
            const int j1 = std::min(order, j0 + tile);
            for (int k = kt * tile; k < k1; ++k) {
                const double dk = inverse_diag[k], ok = inverse_off[k];
                const double* own = v + k;
                const double* other = v + partner[k];
                double* target = a + k * ld;
                for (int j = j0; j < j1; ++j)
                    target[j] = dk * own[j * ld] + ok * other[j * ld];
            }
        }
    }

    // Bordered matrix V^T D^-1 V = Z^T V, lower triangle, over V's own columns: column i needs
    // V(:, i) only, which is copied (negated) aside first. Rows j start where Z(:, j) does.
    const int threads = parallel ? std::max(1, omp_get_max_threads()) : 1;
    std::vector<double> copies(static_cast<std::size_t>(threads) * column_group * n);
    const int groups = (order + column_group - 1) / column_group;
#pragma omp parallel num_threads(threads) if (parallel)
    {
        double* copy =
            copies.data() + static_cast<std::size_t>(omp_get_thread_num()) * column_group * n;
#pragma omp for schedule(static, 1)
        for (int g = 0; g < groups; ++g) {
            const int i0 = g * column_group;
            const int i1 = std::min(order, i0 + column_group);
            int start = m;
            for (int i = i0; i < i1; ++i)
                start = std::min(start, first[i]);
            for (int i = i0; i < i1; ++i) {
                double* column = v + i * ld;
                double* kept = copy + (i - i0) * n;
                for (int k = start; k < m; ++k)
                    kept[k] = -column[k];
                std::fill(column + i0, column + order, 0.0);
            }
            for (int j0 = i0; j0 < order; j0 += tile_rows) {
                const int j1 = std::min(order, j0 + tile_rows);
                int depth_start = start;
                int z_start = m;
                for (int j = j0; j < j1; ++j)
                    z_start = std::min(z_start, first_z[j]);
                depth_start = std::max(depth_start, z_start);
                if (depth_start >= m) continue;
                subtract_product(j1 - j0, i1 - i0, m - depth_start, a + j0 + depth_start * ld, ld,
                                 copy + depth_start, n, 1, v + j0 + i0 * ld, ld);
            }
        }
    }

    // With e_0 too: its row of the bordered matrix aside, and the rest packed to order m + 1.
    std::vector<double> b_first;
    double first_corner = 0.0, mixed_corner = 0.0;
    if (first_too) {
        b_first.resize(n);
        for (int i = 0; i < m; ++i)
            b_first[i] = v[(m + 1) + i * ld];
        mixed_corner = v[(m + 1) + m * ld];
        first_corner = v[(m + 1) + (m + 1) * ld];
        const std::size_t packed = n + 1;
        for (int j = 0; j <= m; ++j)
            for (int i = j; i <= m; ++i)
                v[i + j * packed] = v[i + j * ld];
    }
    std::vector<double> d(ld), e(ld);
    tridiagonalise_last_fixed(m + 1, v, d.data(), e.data(), scratch,
                              first_too ? b_first.data() : nullptr);
    const double border = e[m];
    const double corner = d[m];
    std::vector<double> z(n, 0.0);
    z[n - 1] = 1.0;
    converged_ = ql_last_row(m, d.data(), e.data(), z.data(), first_too ? b_first.data() : nullptr);

    const double to_original = scale[n - 1] * scale[n - 1];
    reference_element_ = corner * to_original;
    inverse_shifts_.assign(d.begin(), d.begin() + m);
    shift_weights_.resize(n);
    eigenvalues_.resize(n);
    weights_.resize(n);
    double largest = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double mu = inverse_shifts_[k];
        shift_weights_[k] = border * z[k] * border * z[k] * to_original;
        largest = std::max(largest, std::fabs(mu));
        eigenvalues_[k] = e0 + 1.0 / mu;
        weights_[k] = shift_weights_[k] / (mu * mu);
    }
    reference_distance_ = largest > 0.0 ? 1.0 / largest : infinity;
    if (!first_too) return;
    const double to_first = scale[0] * scale[0];
    const double to_mixed = scale[0] * scale[n - 1];
    first_element_ = first_corner * to_first;
    mixed_element_ = mixed_corner * to_mixed;
    first_weights_.resize(n);
    mixed_weights_.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        first_weights_[k] = b_first[k] * b_first[k] * to_first;
        mixed_weights_[k] = b_first[k] * border * z[k] * to_mixed;
    }
}

// The same sums as element() with the weights of index 0 and of the pair (0, m-1).
void EnergyGreen::block(double e, double& last, double& mixed, double& first) const {
    SKARVEN_CHECK(first_too_);
    last = element(e);
    if (std::isnan(last) || last == infinity) {
        mixed = first = last;
        return;
    }
    if (shifted_) {
        const double epsilon = e - reference_energy_;
        mixed = mixed_element_;
        first = first_element_;
        if (epsilon == 0.0) return;
        for (std::size_t k = 0; k < inverse_shifts_.size(); ++k) {
            const double factor = epsilon / (1.0 - epsilon * inverse_shifts_[k]);
            mixed += mixed_weights_[k] * factor;
            first += first_weights_[k] * factor;
        }
        return;
    }
    mixed = first = 0.0;
    for (std::size_t k = 0; k < eigenvalues_.size(); ++k) {
        mixed += mixed_weights_[k] / (eigenvalues_[k] - e);
        first += first_weights_[k] / (eigenvalues_[k] - e);
    }
}

}  // namespace skarven
