// Fast route kernels: the Green's-function element at the basis edge by bordered factorisation
// (growing basis, one energy).

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

// A pivot (or the largest entry of a 2x2 pivot) below this fraction of the largest scaled entry
// is deferred: extending from it would let later Schur complements lose about eps/threshold.
constexpr double deferral_threshold = 0.5;
// Deferred pivots beyond this many are committed anyway (only degenerate matrices get there).
constexpr int max_deferred = 8;

}  // namespace

void BorderedGreen::reset() {
    order_ = 0;
    first_floor_ = 0.0;
    matrix_norm_ = 0.0;
    scale_.clear();
    pivot_index_.clear();
    unit_lower_.clear();
    block_.clear();
    inverse_diag_.clear();
    inverse_off_.clear();
    open_index_.clear();
    open_schur_.clear();
    open_ld_ = 0;
}

void BorderedGreen::reserve(int max_order) {
    const auto m = static_cast<std::size_t>(std::max(max_order, 0));
    scale_.reserve(m);
    pivot_index_.reserve(m);
    unit_lower_.reserve(m * (m + 1) / 2);
    block_.reserve(m);
    inverse_diag_.reserve(m);
    inverse_off_.reserve(m);
}

void BorderedGreen::grow_open_block(int size) {
    if (size <= open_ld_) return;
    const int ld = std::max(size, 2 * open_ld_);
    std::vector<double> grown(static_cast<std::size_t>(ld) * ld, 0.0);
    const int used = static_cast<int>(open_index_.size());
    for (int j = 0; j < used; ++j)
        for (int i = 0; i < used; ++i)
            grown[i + static_cast<std::size_t>(j) * ld] = open_entry(i, j);
    open_schur_ = std::move(grown);
    open_ld_ = ld;
}

// z = D^-1 y over the committed pivot positions.
void BorderedGreen::apply_block_inverse(const double* y, double* z) const {
    const int k = static_cast<int>(pivot_index_.size());
    for (int r = 0; r < k; ++r) {
        if (block_[r] == 1) {
            z[r] = inverse_diag_[r] * y[r];
        } else {
            const double y0 = y[r], y1 = y[r + 1];
            z[r] = inverse_diag_[r] * y0 + inverse_off_[r] * y1;
            z[r + 1] = inverse_off_[r] * y0 + inverse_diag_[r + 1] * y1;
            ++r;
        }
    }
}

// Removes open entry `local` (its vector is kept as a spare).
void BorderedGreen::drop_open(int local) {
    const int last = static_cast<int>(open_index_.size()) - 1;
    if (local != last) {
        std::swap(open_index_[local], open_index_[last]);
        std::swap(open_y_[local], open_y_[last]);
        for (int i = 0; i <= last; ++i)
            std::swap(open_entry(i, local), open_entry(i, last));
        for (int j = 0; j <= last; ++j)
            std::swap(open_entry(local, j), open_entry(last, j));
    }
    open_index_.pop_back();
}

// Moves open entries `first` (and `second` unless negative, as a 2x2 pivot) into the factor:
// their rows of L are D^-1 y, the remaining open vectors gain the coupling to the new pivots and
// the open block becomes the Schur complement with respect to them.
void BorderedGreen::commit(int first, int second) {
    const int k = static_cast<int>(pivot_index_.size());
    const int open = static_cast<int>(open_index_.size());
    const bool pair = second >= 0;
    double inv00, inv01 = 0.0, inv11 = 0.0;
    if (pair) {
        const double a = open_entry(first, first), b = open_entry(second, first),
                     c = open_entry(second, second);
        const double det = a * c - b * b;
        inv00 = c / det;
        inv01 = -b / det;
        inv11 = a / det;
    } else {
        inv00 = 1.0 / open_entry(first, first);
    }

    const std::size_t row = unit_lower_.size();
    unit_lower_.resize(row + k + (pair ? k + 1 : 0));
    apply_block_inverse(open_y_[first].data(), unit_lower_.data() + row);
    if (pair) {
        apply_block_inverse(open_y_[second].data(), unit_lower_.data() + row + k);
        unit_lower_.back() = 0.0;  // L is the identity inside a 2x2 pivot
    }
    pivot_index_.push_back(open_index_[first]);
    block_.push_back(pair ? 2 : 1);
    inverse_diag_.push_back(inv00);
    inverse_off_.push_back(inv01);
    if (pair) {
        pivot_index_.push_back(open_index_[second]);
        block_.push_back(0);
        inverse_diag_.push_back(inv11);
        inverse_off_.push_back(0.0);
    }

    for (int u = 0; u < open; ++u) {
        if (u == first || u == second) continue;
        open_y_[u].push_back(open_entry(first, u));
        if (pair) open_y_[u].push_back(open_entry(second, u));
    }
    for (int v = 0; v < open; ++v) {
        if (v == first || v == second) continue;
        const double fv = open_entry(first, v);
        const double sv = pair ? open_entry(second, v) : 0.0;
        for (int u = 0; u < open; ++u) {
            if (u == first || u == second) continue;
            const double fu = open_entry(first, u);
            double update = fu * inv00 * fv;
            if (pair) {
                const double su = open_entry(second, u);
                update = fu * (inv00 * fv + inv01 * sv) + su * (inv01 * fv + inv11 * sv);
            }
            open_entry(u, v) -= update;
        }
    }
    if (pair) drop_open(std::max(first, second));
    drop_open(pair ? std::min(first, second) : first);
}

// The scaled matrix is D A D with D_i = |A_ii|^-1/2, lowered where needed so that no coupling to
// an earlier index exceeds 1: every scaled entry is then at most 1 in size, even where a diagonal
// element happens to be nearly zero. The grown matrix's inverse at the edge is the inverse of the
// Schur complement of the committed indices, taken over the open ones.
double BorderedGreen::extend(const double* border, int count, int edge, double* new_block) {
    SKARVEN_CHECK(count == 1 || count == 2);
    SKARVEN_CHECK(edge >= 0 && edge < count);
    const int old = order_;
    const int n = old + count;
    const int k = static_cast<int>(pivot_index_.size());
    const int open_before = static_cast<int>(open_index_.size());
    const int open = open_before + count;

    // Scaled entry (i, new index a) for i < old + count, read from the lower triangle.
    auto entry = [&](int i, int a) {
        if (i >= old && i - old > a) return border[static_cast<std::size_t>(a) * n + i];
        if (i >= old) return border[static_cast<std::size_t>(i - old) * n + old + a];
        return border[static_cast<std::size_t>(a) * n + i];
    };
    for (int a = 0; a < count; ++a) {
        const int index = old + a;
        double coupling = 0.0;
        for (int j = 0; j < index; ++j)
            coupling = std::max(coupling, std::fabs(entry(j, a)) * scale_[j]);
        const double diagonal = index == 0 ? std::max(std::fabs(entry(index, a)), first_floor_)
                                           : std::fabs(entry(index, a));
        double scale = diagonal > 0.0 ? 1.0 / std::sqrt(diagonal) : infinity;
        if (coupling > 0.0) scale = std::min(scale, 1.0 / coupling);
        if (scale == infinity) scale = 1.0;
        scale_.push_back(scale);
        // The floor is the first index's measure of size too: a pivot that is only rounding
        // then stays open, to pair with the next index.
        if (index == 0) matrix_norm_ = std::max(matrix_norm_, first_floor_ * scale * scale);
    }
    auto scaled = [&](int i, int a) { return scale_[i] * entry(i, a) * scale_[old + a]; };
    for (int a = 0; a < count; ++a)
        for (int i = 0; i <= old + a; ++i)
            matrix_norm_ = std::max(matrix_norm_, std::fabs(scaled(i, a)));

    // y = L^-1 P^T b for the new columns, then z = D^-1 y.
    if (static_cast<int>(open_y_.size()) < open) open_y_.resize(open);
    grow_open_block(open);
    double* y[2] = {nullptr, nullptr};
    for (int a = 0; a < count; ++a) {
        std::vector<double>& v = open_y_[open_before + a];
        v.resize(k);
        for (int r = 0; r < k; ++r)
            v[r] = scaled(pivot_index_[r], a);
        y[a] = v.data();
        open_index_.push_back(old + a);
    }
    const double* lower = unit_lower_.data();
    if (count == 1) {
        for (int r = 1; r < k; ++r)
            y[0][r] -= dot(lower + static_cast<std::size_t>(r) * (r - 1) / 2, y[0], r);
    } else {
        for (int r = 1; r < k; ++r) {
            double s0, s1;
            dot2(lower + static_cast<std::size_t>(r) * (r - 1) / 2, y[0], y[1], r, s0, s1);
            y[0][r] -= s0;
            y[1][r] -= s1;
        }
    }
    for (int a = 0; a < count; ++a) {
        z_new_[a].resize(k);
        apply_block_inverse(y[a], z_new_[a].data());
    }

    // Schur complement of the committed block over the open indices.
    for (int a = 0; a < count; ++a) {
        const int col = open_before + a;
        for (int i = 0; i < open_before; ++i) {
            const double t =
                scaled(open_index_[i], a) - dot(open_y_[i].data(), z_new_[a].data(), k);
            open_entry(i, col) = t;
            open_entry(col, i) = t;
        }
        for (int b = 0; b <= a; ++b) {
            const double t = scaled(old + b, a) - dot(y[b], z_new_[a].data(), k);
            open_entry(open_before + b, col) = t;
            open_entry(col, open_before + b) = t;
        }
    }

    double element =
        small_inverse_element(open_schur_.data(), open_ld_, open, open_before + edge, solve_work_);
    if (element != infinity) element *= scale_[old + edge] * scale_[old + edge];
    if (new_block != nullptr) {
        // The whole block of the inverse at the new indices, column by column.
        solve_column_.resize(open);
        for (int b = 0; b < count; ++b) {
            const bool regular =
                small_inverse_column(open_schur_.data(), open_ld_, open, open_before + b,
                                     solve_work_, solve_column_.data());
            for (int a = 0; a < count; ++a)
                new_block[a + b * count] =
                    regular ? solve_column_[open_before + a] * scale_[old + a] * scale_[old + b]
                            : infinity;
        }
    }

    // Commit every pivot that is safe to extend from, largest first (Bunch-Parlett).
    const double acceptable = deferral_threshold * matrix_norm_;
    while (!open_index_.empty()) {
        const int size = static_cast<int>(open_index_.size());
        int diag_at = 0, off_row = -1, off_col = -1;
        double diag_max = -1.0, off_max = 0.0;
        for (int j = 0; j < size; ++j) {
            if (std::fabs(open_entry(j, j)) > diag_max) {
                diag_max = std::fabs(open_entry(j, j));
                diag_at = j;
            }
            for (int i = j + 1; i < size; ++i)
                if (std::fabs(open_entry(i, j)) > off_max) {
                    off_max = std::fabs(open_entry(i, j));
                    off_row = i;
                    off_col = j;
                }
        }
        const bool pair = diag_max < bunch_parlett_alpha * off_max;
        const double pivot_size = pair ? off_max : diag_max;
        if (pivot_size == 0.0) break;
        if (pivot_size < acceptable && size <= max_deferred) break;
        if (pair)
            commit(off_col, off_row);
        else
            commit(diag_at, -1);
    }
    order_ = n;
    return element;
}

}  // namespace skarven
