// Fast route kernels: the Green's-function element at the basis edge by bordered factorisation
// (growing basis, one energy) and by one generalised eigen-decomposition (fixed basis, many
// energies).

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include "settings.hpp"
#include "sk_g.hpp"

namespace skarven {

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

// A pivot (or the largest entry of a 2x2 pivot) below this fraction of the largest scaled entry
// is deferred: extending from it would let later Schur complements lose about eps/threshold.
constexpr double deferral_threshold = 0.5;
// Bunch-Parlett constant (1 + sqrt(17)) / 8: bounds element growth within the open block.
constexpr double bunch_parlett_alpha = 0.6403882032022076;
// Deferred pivots beyond this many are committed anyway (only degenerate matrices get there).
constexpr int max_deferred = 8;
// Reduction loops over fewer columns than this stay on the calling thread.
constexpr int reduction_parallel_threshold = 100;

// sum x_i y_i over n terms with four partial sums (the order is fixed, so results do not depend
// on the caller's thread).
double dot(const double* x, const double* y, int n) {
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    int i = 0;
    for (; i + 3 < n; i += 4) {
        s0 += x[i] * y[i];
        s1 += x[i + 1] * y[i + 1];
        s2 += x[i + 2] * y[i + 2];
        s3 += x[i + 3] * y[i + 3];
    }
    for (; i < n; ++i)
        s0 += x[i] * y[i];
    return (s0 + s1) + (s2 + s3);
}

// Two dot products sharing x, so that a row of L is read once for both new columns.
void dot2(const double* x, const double* y, const double* z, int n, double& sy, double& sz) {
    double y0 = 0.0, y1 = 0.0, z0 = 0.0, z1 = 0.0;
    int i = 0;
    for (; i + 1 < n; i += 2) {
        y0 += x[i] * y[i];
        y1 += x[i + 1] * y[i + 1];
        z0 += x[i] * z[i];
        z1 += x[i + 1] * z[i + 1];
    }
    if (i < n) {
        y0 += x[i] * y[i];
        z0 += x[i] * z[i];
    }
    sy = y0 + y1;
    sz = z0 + z1;
}

// sqrt(a^2 + b^2) without overflow or destructive underflow.
double hypotenuse(double a, double b) {
    a = std::fabs(a);
    b = std::fabs(b);
    if (a < b) std::swap(a, b);
    if (a == 0.0) return 0.0;
    const double r = b / a;
    return a * std::sqrt(1.0 + r * r);
}

// Element `want` of the solution of T x = e_want for a small dense T (n x n, leading dimension
// ld), by Gaussian elimination with complete pivoting; +infinity when T is exactly singular.
double small_inverse_element(const double* t, int ld, int n, int want, std::vector<double>& work) {
    work.resize(static_cast<std::size_t>(n) * (n + 2));
    double* a = work.data();  // n x n, leading dimension n
    double* rhs = a + static_cast<std::size_t>(n) * n;
    double* unknown = rhs + n;  // which unknown column j holds after the column swaps
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i)
            a[i + j * n] = t[i + j * ld];
        rhs[j] = j == want ? 1.0 : 0.0;
        unknown[j] = j;
    }
    for (int k = 0; k < n; ++k) {
        int pr = k, pc = k;
        double largest = 0.0;
        for (int j = k; j < n; ++j)
            for (int i = k; i < n; ++i)
                if (std::fabs(a[i + j * n]) > largest) {
                    largest = std::fabs(a[i + j * n]);
                    pr = i;
                    pc = j;
                }
        if (largest == 0.0) return infinity;
        for (int j = 0; j < n; ++j)
            std::swap(a[k + j * n], a[pr + j * n]);
        std::swap(rhs[k], rhs[pr]);
        for (int i = 0; i < n; ++i)
            std::swap(a[i + k * n], a[i + pc * n]);
        std::swap(unknown[k], unknown[pc]);
        for (int i = k + 1; i < n; ++i) {
            const double f = a[i + k * n] / a[k + k * n];
            if (f == 0.0) continue;
            for (int j = k + 1; j < n; ++j)
                a[i + j * n] -= f * a[k + j * n];
            rhs[i] -= f * rhs[k];
        }
    }
    for (int k = n - 1; k >= 0; --k) {
        double s = rhs[k];
        for (int j = k + 1; j < n; ++j)
            s -= a[k + j * n] * rhs[j];
        rhs[k] = s / a[k + k * n];
    }
    for (int k = 0; k < n; ++k)
        if (unknown[k] == want) return rhs[k];
    return infinity;
}

}  // namespace

// ---- BorderedGreen -----------------------------------------------------------------------------

void BorderedGreen::reset() {
    order_ = 0;
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
double BorderedGreen::extend(const double* border, int count, int edge) {
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
        const double diagonal = std::fabs(entry(index, a));
        double scale = diagonal > 0.0 ? 1.0 / std::sqrt(diagonal) : infinity;
        if (coupling > 0.0) scale = std::min(scale, 1.0 / coupling);
        if (scale == infinity) scale = 1.0;
        scale_.push_back(scale);
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

// ---- EnergyGreen -------------------------------------------------------------------------------

namespace {

// First column of each thread's share of the columns 0..n-1 of a lower triangle, balanced by
// the number of entries (column j holds n - j of them).
int triangle_split(int n, int part, int parts) {
    if (part >= parts) return n;
    const double f = static_cast<double>(part) / parts;
    return std::clamp(static_cast<int>(n * (1.0 - std::sqrt(1.0 - f))), 0, n);
}

// Householder vector for row i of the leading block (entries a(i, 0..i-1)), EISPACK tred1 style
// with the row scaled by its 1-norm: u in u[0..i-1], the reflector is I - u u^T / h. Sets e[i];
// returns false when no reflection is needed (i = 1 or a zero row).
bool row_reflector(int n, const double* a, int i, double* u, double& h, double* e) {
    const int l = i - 1;
    double scale = 0.0;
    for (int k = 0; k <= l; ++k)
        scale += std::fabs(a[i + static_cast<std::size_t>(k) * n]);
    if (l == 0 || scale == 0.0) {
        e[i] = a[i + static_cast<std::size_t>(l) * n];
        return false;
    }
    h = 0.0;
    for (int k = 0; k <= l; ++k) {
        u[k] = a[i + static_cast<std::size_t>(k) * n] / scale;
        h += u[k] * u[k];
    }
    const double f = u[l];
    const double g = -std::copysign(std::sqrt(h), f);
    e[i] = scale * g;
    h -= f * g;
    u[l] = f - g;
    return true;
}

// Householder reduction of the symmetric matrix in the lower triangle of a (order n, leading
// dimension n) to tridiagonal form, last row first, without accumulating the transformations
// (EISPACK tred1, Golub & Van Loan 8.3.1). Every reflector acts on the indices below its row
// only, so the last index is left in place: Q e_(n-1) = e_(n-1). d gets the diagonal, e[i] the
// entry (i, i-1), e[0] = 0. About (4/3) n^3 flops. The rank-2 update of one step and the
// matrix-vector product of the next share one pass over the triangle (the next row is updated
// first, since its reflector is needed for the product); the pass runs in parallel over column
// blocks of equal size, each thread summing its own part of the product. a is overwritten.
void tridiagonalise_last_fixed(int n, double* a, double* d, double* e, std::vector<double>& work) {
    const int threads = std::max(1, omp_get_max_threads());
    work.assign(static_cast<std::size_t>(n) * (threads + 4), 0.0);
    double* u = work.data();       // reflector of the current step
    double* q = u + n;             // its A u / h, then q = p - K u
    double* u_next = q + n;        // reflector of the next step
    double* p_next = u_next + n;   // its A u
    double* partial = p_next + n;  // threads x n
    auto column = [&](int j) { return a + static_cast<std::size_t>(j) * n; };

    e[0] = 0.0;
    if (n == 1) {
        d[0] = a[0];
        return;
    }
    double h = 0.0, h_next = 0.0;
    d[n - 1] = a[(n - 1) + static_cast<std::size_t>(n - 1) * n];
    bool active = row_reflector(n, a, n - 1, u, h, e);
    if (active) {
        // First product on its own: q = A u over the block 0..n-2.
        std::fill(q, q + n, 0.0);
        for (int j = 0; j <= n - 2; ++j) {
            const double* col = column(j);
            double s = col[j] * u[j];
            for (int r = j + 1; r <= n - 2; ++r) {
                s += col[r] * u[r];
                q[r] += col[r] * u[j];
            }
            q[j] += s;
        }
    }
    for (int i = n - 1; i >= 1; --i) {
        const int l = i - 1;  // the current reflector acts on 0..l
        if (active) {
            double up = 0.0;
            for (int k = 0; k <= l; ++k) {
                q[k] /= h;
                up += u[k] * q[k];
            }
            const double half = up / (h + h);
            for (int k = 0; k <= l; ++k)
                q[k] -= half * u[k];
            for (int k = 0; k <= l; ++k)
                column(k)[l] -= u[l] * q[k] + q[l] * u[k];
        }
        d[l] = column(l)[l];
        if (l == 0) break;
        const bool next = row_reflector(n, a, l, u_next, h_next, e);
        if (!active && !next) {
            active = false;
            continue;
        }
        // Rows and columns 0..l-1: the update of this step, then the next step's product.
        const int cols = l;
        const int team = cols > reduction_parallel_threshold ? threads : 1;
#pragma omp parallel num_threads(team) if (team > 1)
        {
            const int t = omp_get_thread_num();
            const int parts = omp_get_num_threads();
            double* mine = partial + static_cast<std::size_t>(t) * n;
            std::fill(mine, mine + cols, 0.0);
            const int begin = triangle_split(cols, t, parts);
            const int end = triangle_split(cols, t + 1, parts);
            for (int j = begin; j < end; ++j) {
                double* col = column(j);
                if (active) {
                    const double uj = u[j], qj = q[j];
#pragma omp simd
                    for (int r = j; r < cols; ++r)
                        col[r] -= u[r] * qj + q[r] * uj;
                }
                if (next) {
                    const double vj = u_next[j];
                    double s = 0.0;
#pragma omp simd reduction(+ : s)
                    for (int r = j + 1; r < cols; ++r) {
                        s += col[r] * u_next[r];
                        mine[r] += col[r] * vj;
                    }
                    mine[j] += s + col[j] * vj;
                }
            }
            if (next) {
#pragma omp barrier
#pragma omp for schedule(static)
                for (int r = 0; r < cols; ++r) {
                    double s = 0.0;
                    for (int k = 0; k < parts; ++k)
                        s += partial[static_cast<std::size_t>(k) * n + r];
                    p_next[r] = s;
                }
            }
        }
        std::swap(u, u_next);
        std::swap(q, p_next);
        h = h_next;
        active = next;
    }
}

// Eigenvalues of the symmetric tridiagonal matrix (d, e[i] = entry (i, i-1)) by the implicit QL
// method with Wilkinson-type shifts (EISPACK tql2), carrying through the rotations only the last
// row of the eigenvector matrix: z starts as that row of the identity and ends as the last
// components of the eigenvectors. O(n^2). Returns false if an eigenvalue needs over 30 iterations.
bool ql_last_row(int n, double* d, double* e, double* z) {
    for (int i = 1; i < n; ++i)
        e[i - 1] = e[i];
    e[n - 1] = 0.0;
    double f = 0.0, tst1 = 0.0;
    for (int l = 0; l < n; ++l) {
        int iterations = 0;
        tst1 = std::max(tst1, std::fabs(d[l]) + std::fabs(e[l]));
        int m = l;
        for (; m < n - 1; ++m)
            if (tst1 + std::fabs(e[m]) == tst1) break;
        if (m > l) {
            do {
                if (++iterations > 30) return false;
                const int l1 = l + 1;
                double g = d[l];
                double p = (d[l1] - g) / (2.0 * e[l]);
                double r = hypotenuse(p, 1.0);
                d[l] = e[l] / (p + std::copysign(r, p));
                d[l1] = e[l] * (p + std::copysign(r, p));
                const double dl1 = d[l1];
                double h = g - d[l];
                for (int i = l + 2; i < n; ++i)
                    d[i] -= h;
                f += h;

                p = d[m];
                double c = 1.0, c2 = 1.0, c3 = 1.0, s = 0.0, s2 = 0.0;
                const double el1 = e[l1];
                for (int i = m - 1; i >= l; --i) {
                    c3 = c2;
                    c2 = c;
                    s2 = s;
                    g = c * e[i];
                    h = c * p;
                    r = hypotenuse(p, e[i]);
                    e[i + 1] = s * r;
                    s = e[i] / r;
                    c = p / r;
                    p = c * d[i] - s * g;
                    d[i + 1] = h + s * (c * g + s * d[i]);
                    const double zi1 = z[i + 1];
                    z[i + 1] = s * z[i] + c * zi1;
                    z[i] = c * z[i] - s * zi1;
                }
                p = -s * s2 * c3 * el1 * e[l] / dl1;
                e[l] = s * p;
                d[l] = c * p;
            } while (tst1 + std::fabs(e[l]) > tst1);
        }
        d[l] += f;
        e[l] = 0.0;
    }
    return true;
}

// Solves L x = b in place for the band Cholesky factor (column j holds L(j..j+band, j) at
// factor[j * (band + 1)]), column by column so that the inner loop runs down one column.
void band_forward_solve(int n, int band, const double* factor, double* x) {
    for (int j = 0; j < n; ++j) {
        const double* column = factor + static_cast<std::size_t>(j) * (band + 1);
        const double xj = x[j] / column[0];
        x[j] = xj;
        if (xj == 0.0) continue;
        const int last = std::min(n - 1, j + band);
        for (int i = j + 1; i <= last; ++i)
            x[i] -= column[i - j] * xj;
    }
}

// Half bandwidth of the lower triangle of S (the largest i - j with S_ij nonzero).
int lower_band(int m, const double* s) {
    const auto n = static_cast<std::size_t>(m);
    int band = 0;
    for (int j = 0; j < m; ++j)
        for (int i = m - 1; i > j + band; --i)
            if (s[i + j * n] != 0.0) {
                band = i - j;
                break;
            }
    return band;
}

// Band Cholesky factor L of diag(scale) S diag(scale) (right-looking; column j holds
// L(j..j+band, j) at j * (band + 1)).
std::vector<double> band_cholesky(int m, const double* s, const double* scale, int band) {
    const auto n = static_cast<std::size_t>(m);
    const std::size_t stride = static_cast<std::size_t>(band) + 1;
    std::vector<double> factor(stride * n, 0.0);
    for (int j = 0; j < m; ++j)
        for (int i = j; i <= std::min(m - 1, j + band); ++i)
            factor[(i - j) + j * stride] = scale[i] * s[i + j * n] * scale[j];
    for (int j = 0; j < m; ++j) {
        double* column = factor.data() + j * stride;
        SKARVEN_CHECK(column[0] > 0.0);
        const double pivot = std::sqrt(column[0]);
        column[0] = pivot;
        const int last = std::min(m - 1, j + band);
        for (int i = j + 1; i <= last; ++i)
            column[i - j] /= pivot;
        for (int k = j + 1; k <= last; ++k) {
            double* target = factor.data() + k * stride;
            const double lkj = column[k - j];
            if (lkj == 0.0) continue;
            for (int i = k; i <= last; ++i)
                target[i - k] -= column[i - j] * lkj;
        }
    }
    return factor;
}

}  // namespace

// H x = lambda S x on the S-diagonally scaled problem (S_ii = 1, which keeps the blocks of an
// unnormalised basis on one footing): band Cholesky S = L L^T (right-looking, the band taken from
// S's nonzeros), C = L^-1 H L^-T by two passes of forward solves, tridiagonalisation of C with the
// last index fixed, QL carrying the last row only. Since L^-1 e_last = e_last / L(last, last),
// the weights are z_k^2 / (S_last,last L(last, last)^2).
void EnergyGreen::decompose(int m, const double* h, const double* s) {
    SKARVEN_CHECK(m >= 1);
    shifted_ = false;
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

    std::vector<double> d(n), e(n), scratch;
    tridiagonalise_last_fixed(m, c, d.data(), e.data(), scratch);
    std::vector<double> z(n, 0.0);
    z[n - 1] = 1.0;
    converged_ = ql_last_row(m, d.data(), e.data(), z.data());

    const double last_pivot = factor[(n - 1) * stride];
    const double to_original = sigma[n - 1] / last_pivot;
    eigenvalues_ = std::move(d);
    weights_.resize(n);
    for (std::size_t k = 0; k < n; ++k)
        weights_[k] = z[k] * z[k] * to_original * to_original;
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

// ---- EnergyGreen, shift and invert --------------------------------------------------------------

namespace {

// Rows and depth of the block of the left factor that subtract_product keeps in cache.
constexpr int tile_rows = 128;
constexpr int tile_depth = 256;
// Panel width of the blocked symmetric factorisation, row block of the triangular solve, and the
// number of right-hand columns one task owns in the solve and in the product.
constexpr int factor_panel = 32;
constexpr int solve_rows = 64;
constexpr int column_group = 16;

// C -= A B^T for C rows x cols (leading dimension ldc), A rows x depth (lda) and B cols x depth
// addressed as B(j, p) = b[j * bj + p * bp], so that B may be stored either way round. A block of
// A stays in cache while four columns of C are updated from it, two depth terms at a time; the
// order of the sums depends on the shapes alone, never on the calling thread.
void subtract_product(int rows, int cols, int depth, const double* a, std::size_t lda,
                      const double* b, std::size_t bj, std::size_t bp, double* c, std::size_t ldc) {
    auto bv = [&](int j, int p) { return b[j * bj + p * bp]; };
    for (int i0 = 0; i0 < rows; i0 += tile_rows) {
        const int ni = std::min(tile_rows, rows - i0);
        for (int p0 = 0; p0 < depth; p0 += tile_depth) {
            const int p1 = std::min(depth, p0 + tile_depth);
            int j = 0;
            for (; j + 3 < cols; j += 4) {
                double* c0 = c + i0 + j * ldc;
                double* c1 = c0 + ldc;
                double* c2 = c1 + ldc;
                double* c3 = c2 + ldc;
                int p = p0;
                for (; p + 1 < p1; p += 2) {
                    const double* a0 = a + i0 + p * lda;
                    const double* a1 = a0 + lda;
                    const double b00 = bv(j, p), b01 = bv(j, p + 1);
                    const double b10 = bv(j + 1, p), b11 = bv(j + 1, p + 1);
                    const double b20 = bv(j + 2, p), b21 = bv(j + 2, p + 1);
                    const double b30 = bv(j + 3, p), b31 = bv(j + 3, p + 1);
#pragma omp simd
                    for (int i = 0; i < ni; ++i) {
                        const double x0 = a0[i], x1 = a1[i];
                        c0[i] -= x0 * b00 + x1 * b01;
                        c1[i] -= x0 * b10 + x1 * b11;
                        c2[i] -= x0 * b20 + x1 * b21;
                        c3[i] -= x0 * b30 + x1 * b31;
                    }
                }
                if (p < p1) {
                    const double* a0 = a + i0 + p * lda;
                    const double b0 = bv(j, p), b1 = bv(j + 1, p), b2 = bv(j + 2, p),
                                 b3 = bv(j + 3, p);
#pragma omp simd
                    for (int i = 0; i < ni; ++i) {
                        const double x0 = a0[i];
                        c0[i] -= x0 * b0;
                        c1[i] -= x0 * b1;
                        c2[i] -= x0 * b2;
                        c3[i] -= x0 * b3;
                    }
                }
            }
            for (; j < cols; ++j) {
                double* c0 = c + i0 + j * ldc;
                int p = p0;
                for (; p + 1 < p1; p += 2) {
                    const double* a0 = a + i0 + p * lda;
                    const double* a1 = a0 + lda;
                    const double b0 = bv(j, p), b1 = bv(j, p + 1);
#pragma omp simd
                    for (int i = 0; i < ni; ++i)
                        c0[i] -= a0[i] * b0 + a1[i] * b1;
                }
                if (p < p1) {
                    const double* a0 = a + i0 + p * lda;
                    const double b0 = bv(j, p);
#pragma omp simd
                    for (int i = 0; i < ni; ++i)
                        c0[i] -= a0[i] * b0;
                }
            }
        }
    }
}

// Symmetric diagonal scaling for H - e0 S (lower triangle, order m): scale_i = |a_ii|^-1/2 (from
// the couplings where a_ii = 0), then lowered where a coupling would still exceed 1, so that
// every scaled entry is at most 1 in size. The unnormalised basis spreads the diagonal over
// thirty decades and the Dirac blocks differ by 2c^2; this puts all of them on one footing.
void symmetric_scaling(int m, const double* a, std::size_t ld, double* scale) {
    std::vector<double> largest(static_cast<std::size_t>(m), 0.0);
    bool zero_diagonal = false;
    for (int i = 0; i < m; ++i) {
        const double diagonal = std::fabs(a[i + i * ld]);
        scale[i] = diagonal > 0.0 ? 1.0 / std::sqrt(diagonal) : 0.0;
        zero_diagonal = zero_diagonal || diagonal == 0.0;
    }
    if (zero_diagonal) {
        for (int j = 0; j < m; ++j)
            for (int i = j + 1; i < m; ++i) {
                const double v = std::fabs(a[i + j * ld]);
                if (scale[i] == 0.0) largest[i] = std::max(largest[i], v * scale[j]);
                if (scale[j] == 0.0) largest[j] = std::max(largest[j], v * scale[i]);
            }
        for (int i = 0; i < m; ++i)
            if (scale[i] == 0.0) scale[i] = largest[i] > 0.0 ? 1.0 / largest[i] : 1.0;
        std::fill(largest.begin(), largest.end(), 0.0);
    }
    for (int j = 0; j < m; ++j) {
        const double* column = a + j * ld;
        const double sj = scale[j];
        double column_largest = 0.0;
#pragma omp simd reduction(max : column_largest)
        for (int i = j + 1; i < m; ++i) {
            const double v = std::fabs(column[i]) * scale[i] * sj;
            largest[i] = std::max(largest[i], v);
            column_largest = std::max(column_largest, v);
        }
        largest[j] = std::max(largest[j], column_largest);
    }
    for (int i = 0; i < m; ++i)
        if (largest[i] > 1.0) scale[i] /= largest[i];
}

// Symmetric indefinite factorisation P^T A P = L D L^T with 1x1 and 2x2 pivots chosen by the
// Bunch-Kaufman rule (Golub & Van Loan 4.4; the blocked left-looking panel of LAPACK dlasyf, lower
// case). Interchanges are applied to the whole of L, so L is unit lower triangular in the pivot
// order. On return the lower triangle of a holds L below the diagonal and D on it, with D's
// off-diagonal of a 2x2 pivot at (k+1, k); index[r] is the row of A at pivot position r, block[r]
// is 1 for a 1x1 pivot, 2 and 0 for the two positions of a 2x2 one. About n^3/3 flops, mostly in
// the update of the trailing matrix, parallel over column blocks. False when a column of the
// reduced matrix is exactly zero (A singular).
bool bunch_kaufman(int n, double* a, std::size_t ld, std::vector<int>& index,
                   std::vector<signed char>& block, std::vector<double>& panel) {
    index.resize(n);
    for (int r = 0; r < n; ++r)
        index[r] = r;
    block.assign(n, 1);
    const auto ldw = static_cast<std::size_t>(n);
    panel.resize(ldw * (factor_panel + 1));
    auto A = [&](int i, int j) -> double& { return a[i + j * ld]; };
    // W(i, p): column p of the panel, updated but not yet divided by its pivot (that is, L D).
    auto W = [&](int i, int p) -> double& { return panel[i + p * ldw]; };
    // Column `p` of W from row k on, less the panel's earlier columns: W(k:, p) -= L(k:, k0:k0+p)
    // W(row, 0:p)^T.
    auto update_from_panel = [&](int k, int k0, int p, int row) {
        subtract_product(n - k, 1, k - k0, &A(k, k0), ld, &W(row, 0), 0, ldw, &W(k, p), ldw);
    };

    int k = 0;
    while (k < n) {
        const int k0 = k;
        const bool last_panel = n - k0 <= factor_panel;
        while (k < n && (last_panel || k - k0 < factor_panel - 1)) {
            const int p = k - k0;
            for (int i = k; i < n; ++i)
                W(i, p) = A(i, k);
            update_from_panel(k, k0, p, k);
            const double absakk = std::fabs(W(k, p));
            int imax = k;
            double colmax = 0.0;
            for (int i = k + 1; i < n; ++i)
                if (std::fabs(W(i, p)) > colmax) {
                    colmax = std::fabs(W(i, p));
                    imax = i;
                }
            if (std::max(absakk, colmax) == 0.0) return false;
            int kstep = 1, kp = k;
            if (absakk < bunch_parlett_alpha * colmax) {
                // Column imax of the reduced matrix, from its lower triangle.
                for (int i = k; i < imax; ++i)
                    W(i, p + 1) = A(imax, i);
                for (int i = imax; i < n; ++i)
                    W(i, p + 1) = A(i, imax);
                update_from_panel(k, k0, p + 1, imax);
                double rowmax = 0.0;
                for (int i = k; i < n; ++i)
                    if (i != imax) rowmax = std::max(rowmax, std::fabs(W(i, p + 1)));
                if (absakk >= bunch_parlett_alpha * colmax * (colmax / rowmax)) {
                    kp = k;
                } else if (std::fabs(W(imax, p + 1)) >= bunch_parlett_alpha * rowmax) {
                    kp = imax;
                    for (int i = k; i < n; ++i)
                        W(i, p) = W(i, p + 1);
                } else {
                    kp = imax;
                    kstep = 2;
                }
            }
            const int kk = k + kstep - 1;
            if (kp != kk) {
                // Only the part of the reduced matrix not yet read into the panel moves.
                A(kp, kp) = A(kk, kk);
                for (int i = kk + 1; i < kp; ++i)
                    A(kp, i) = A(i, kk);
                for (int i = kp + 1; i < n; ++i)
                    std::swap(A(i, kk), A(i, kp));
                for (int j = 0; j < kk; ++j)
                    std::swap(A(kk, j), A(kp, j));
                for (int q = 0; q <= kk - k0; ++q)
                    std::swap(W(kk, q), W(kp, q));
                std::swap(index[kk], index[kp]);
            }
            if (kstep == 1) {
                A(k, k) = W(k, p);
                const double inverse = 1.0 / W(k, p);
                for (int i = k + 1; i < n; ++i)
                    A(i, k) = W(i, p) * inverse;
            } else {
                // Columns of L = W D^-1 for the 2x2 pivot [[W(k,p), .], [W(k+1,p), W(k+1,p+1)]],
                // scaled by its off-diagonal entry as in dlasyf.
                const double d21 = W(k + 1, p);
                const double d11 = W(k + 1, p + 1) / d21;
                const double d22 = W(k, p) / d21;
                const double t = 1.0 / (d11 * d22 - 1.0);
                const double f = t / d21;
                for (int i = k + 2; i < n; ++i) {
                    A(i, k) = f * (d11 * W(i, p) - W(i, p + 1));
                    A(i, k + 1) = f * (d22 * W(i, p + 1) - W(i, p));
                }
                A(k, k) = W(k, p);
                A(k + 1, k) = W(k + 1, p);
                A(k + 1, k + 1) = W(k + 1, p + 1);
                block[k] = 2;
                block[k + 1] = 0;
            }
            k += kstep;
        }

        // Trailing update A(k:, k:) -= L(k:, panel) W(k:, panel)^T, lower triangle, by column
        // blocks dealt out in turn so that the shrinking columns share evenly.
        const int width = k - k0;
        const int columns = n - k;
        const int blocks = (columns + 63) / 64;
#pragma omp parallel for schedule(static, 1) if (columns > reduction_parallel_threshold)
        for (int b = 0; b < blocks; ++b) {
            const int j0 = k + 64 * b;
            const int j1 = std::min(n, j0 + 64);
            for (int j = j0; j < j1; ++j)
                subtract_product(j1 - j, 1, width, &A(j, k0), ld, &W(j, 0), 0, ldw, &A(j, j), ld);
            if (j1 < n)
                subtract_product(n - j1, j1 - j0, width, &A(j1, k0), ld, &W(j0, 0), 1, ldw,
                                 &A(j1, j0), ld);
        }
    }
    return true;
}

// X := L^-1 X for the unit lower triangular L (order n, below the diagonal of l) and `cols`
// right-hand columns, column j being zero above row first[j]. Blocked by rows of L (a small
// triangle, then the block's product with the rows below), parallel over groups of columns.
void unit_lower_solve(int n, const double* l, std::size_t ldl, int cols, double* x, std::size_t ldx,
                      const int* first) {
    const int groups = (cols + column_group - 1) / column_group;
#pragma omp parallel for schedule(static, 1) if (n > reduction_parallel_threshold)
    for (int g = 0; g < groups; ++g) {
        const int c0 = g * column_group;
        const int c1 = std::min(cols, c0 + column_group);
        int start = n;
        for (int c = c0; c < c1; ++c)
            start = std::min(start, first[c]);
        for (int r0 = start; r0 < n; r0 += solve_rows) {
            const int r1 = std::min(n, r0 + solve_rows);
            for (int k = r0; k < r1; ++k) {
                const double* lk = l + k * ldl;
                for (int c = c0; c < c1; ++c) {
                    double* xc = x + c * ldx;
                    const double xk = xc[k];
                    if (xk == 0.0) continue;
                    for (int i = k + 1; i < r1; ++i)
                        xc[i] -= lk[i] * xk;
                }
            }
            if (r1 < n)
                subtract_product(n - r1, c1 - c0, r1 - r0, l + r1 + r0 * ldl, ldl,
                                 x + r0 + c0 * ldx, ldx, 1, x + r1 + c0 * ldx, ldx);
        }
    }
}

}  // namespace

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
void EnergyGreen::decompose_shifted(int m, const double* h, const double* s, double e0) {
    SKARVEN_CHECK(m >= 1);
    shifted_ = true;
    converged_ = true;
    reference_energy_ = e0;
    pivot_pairs_ = 0;
    const auto n = static_cast<std::size_t>(m);
    const int order = m + 1;  // the bordered matrix
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
    const std::vector<double> factor = band_cholesky(m, s, scale.data(), band);

    std::vector<int> index;
    std::vector<signed char> block;
    std::vector<double> scratch;
    if (!bunch_kaufman(m, a, ld, index, block, scratch)) {
        converged_ = false;
        reference_element_ = std::numeric_limits<double>::quiet_NaN();
        reference_distance_ = 0.0;
        inverse_shifts_.clear();
        shift_weights_.clear();
        eigenvalues_.clear();
        weights_.clear();
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

    std::vector<double> d(ld), e(ld);
    tridiagonalise_last_fixed(order, v, d.data(), e.data(), scratch);
    const double border = e[m];
    const double corner = d[m];
    std::vector<double> z(n, 0.0);
    z[n - 1] = 1.0;
    converged_ = ql_last_row(m, d.data(), e.data(), z.data());

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
}

}  // namespace skarven
