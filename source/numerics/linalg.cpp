// Vector kernels, the Householder step and reduction, the tql2 iteration on one eigenvector row
// and band Cholesky.

#include "linalg.hpp"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

namespace skarven {

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

// First column of part `part` of the columns 0..n-1 of a lower triangle cut into `parts`, balanced
// by the number of entries (column j holds n - j of them).
int triangle_split(int n, int part, int parts) {
    if (part >= parts) return n;
    const double f = static_cast<double>(part) / parts;
    return std::clamp(static_cast<int>(n * (1.0 - std::sqrt(1.0 - f))), 0, n);
}

// Householder vector for row i of the leading block (entries a(i, 0..i-1)) in u[0..i-1]; sets
// e[i]. False when no reflection is needed (i = 1 or a zero row).
bool row_reflector(int n, const double* a, int i, double* u, double& h, double* e) {
    const int l = i - 1;
    for (int k = 0; k <= l; ++k)
        u[k] = a[i + static_cast<std::size_t>(k) * n];
    const double scale = absolute_sum(i, u);
    if (l == 0 || scale == 0.0) {
        e[i] = u[l];
        return false;
    }
    double sigma = 0.0;
    e[i] = scale * householder_vector(i, scale, u, sigma, h);
    return true;
}

// Parts of the triangle's columns whose partial products tridiagonalise_last_fixed sums. The
// count follows the number of columns alone, so the sums do not depend on the team size; about
// 16 columns a part keeps the zeroing and final sum of the parts to a few percent of the pass,
// and at least 8 parts, dealt out as threads come free, keep a small team evenly busy.
int product_parts(int cols) {
    if (cols <= reduction_parallel_threshold) return 1;
    return std::clamp(cols / 16, 8, 64);
}

}  // namespace

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

namespace {

// T x = e_want by Gaussian elimination with complete pivoting: x in work[n^2 + k] for the unknown
// work[n^2 + n + k]; false when T is exactly singular.
bool small_solve(const double* t, int ld, int n, int want, std::vector<double>& work) {
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
        if (largest == 0.0) return false;
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
    return true;
}

}  // namespace

double small_inverse_element(const double* t, int ld, int n, int want, std::vector<double>& work) {
    if (!small_solve(t, ld, n, want, work)) return infinity;
    const double* rhs = work.data() + static_cast<std::size_t>(n) * n;
    const double* unknown = rhs + n;
    for (int k = 0; k < n; ++k)
        if (unknown[k] == want) return rhs[k];
    return infinity;
}

bool small_inverse_column(const double* t, int ld, int n, int want, std::vector<double>& work,
                          double* column) {
    if (!small_solve(t, ld, n, want, work)) return false;
    const double* rhs = work.data() + static_cast<std::size_t>(n) * n;
    const double* unknown = rhs + n;
    for (int k = 0; k < n; ++k)
        column[static_cast<int>(unknown[k])] = rhs[k];
    return true;
}

double absolute_sum(int n, const double* x) {
    double sum = 0.0;
    for (int k = 0; k < n; ++k)
        sum = sum + std::fabs(x[k]);
    return sum;
}

double householder_vector(int len, double scale, double* x, double& sigma, double& h) {
    for (int k = 0; k < len; ++k)
        x[k] = x[k] / scale;
    h = 0.0;
    for (int k = 0; k < len; ++k)
        h = h + x[k] * x[k];
    sigma = h;
    const int l = len - 1;
    const double f = x[l];
    const double g = -std::copysign(std::sqrt(h), f);
    h = h - f * g;
    x[l] = f - g;
    return g;
}

// Householder reduction of the symmetric matrix in the lower triangle of a (order n, leading
// dimension n) to tridiagonal form, last row first, without accumulating the transformations
// (EISPACK tred1, Golub & Van Loan 8.3.1). Every reflector acts on the indices below its row
// only, so the last index is left in place: Q e_(n-1) = e_(n-1). d gets the diagonal, e[i] the
// entry (i, i-1), e[0] = 0. About (4/3) n^3 flops. The rank-2 update of one step and the
// matrix-vector product of the next share one pass over the triangle (the next row is updated
// first, since its reflector is needed for the product); the pass runs in parallel over column
// parts of equal size, each part summing its own share of the product, and the shares are added
// in part order: the number of parts depends on the order alone, so the result is the same at any
// thread count. a is overwritten.
void tridiagonalise_last_fixed(int n, double* a, double* d, double* e, std::vector<double>& work,
                               double* carried) {
    const int threads = std::max(1, omp_get_max_threads());
    const int max_parts = product_parts(n);
    work.assign(static_cast<std::size_t>(n) * (max_parts + 4), 0.0);
    double* u = work.data();       // reflector of the current step
    double* q = u + n;             // its A u / h, then q = p - K u
    double* u_next = q + n;        // reflector of the next step
    double* p_next = u_next + n;   // its A u
    double* partial = p_next + n;  // max_parts x n
    std::vector<int> starts(static_cast<std::size_t>(max_parts) + 1);
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
        if (active && carried != nullptr) {
            double uc = 0.0;
            for (int k = 0; k <= l; ++k)
                uc += u[k] * carried[k];
            const double f = uc / h;
            for (int k = 0; k <= l; ++k)
                carried[k] -= f * u[k];
        }
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
        const int parts = product_parts(cols);
        for (int part = 0; part <= parts; ++part)
            starts[part] = triangle_split(cols, part, parts);
        const int team = parts > 1 ? threads : 1;
#pragma omp parallel num_threads(team) if (team > 1)
        {
#pragma omp for schedule(dynamic, 1)
            for (int part = 0; part < parts; ++part) {
                double* mine = partial + static_cast<std::size_t>(part) * n;
                std::fill(mine + starts[part], mine + cols, 0.0);
                for (int j = starts[part]; j < starts[part + 1]; ++j) {
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
            }
            if (next) {
                // A part holds nothing above its first column.
#pragma omp for schedule(static)
                for (int r = 0; r < cols; ++r) {
                    double s = 0.0;
                    for (int part = 0; part < parts && starts[part] <= r; ++part)
                        s += partial[static_cast<std::size_t>(part) * n + r];
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

bool ql_last_row(int n, double* d, double* e, double* z, double* z2) {
    const auto carry = [z, z2](int i, double c, double s) {
        const double zi1 = z[i + 1];
        z[i + 1] = s * z[i] + c * zi1;
        z[i] = c * z[i] - s * zi1;
        if (z2 == nullptr) return;
        const double wi1 = z2[i + 1];
        z2[i + 1] = s * z2[i] + c * wi1;
        z2[i] = c * z2[i] - s * wi1;
    };
    return tql2_iteration(
               n, d, e, hypotenuse, [](int, int) {}, carry) == 0;
}

bool tridiagonal_eigenvalues(std::vector<double>& d, std::vector<double>& e) {
    const auto plain = [](double a, double b) { return std::sqrt(a * a + b * b); };
    const int n = static_cast<int>(d.size());
    for (int l = 0; l < n; ++l) {
        for (int iteration = 0;; ++iteration) {
            int m = l;
            for (; m < n - 1; ++m) {
                const double dd = std::fabs(d[m]) + std::fabs(d[m + 1]);
                if (std::fabs(e[m]) + dd == dd) break;
            }
            if (m == l) break;
            if (iteration == 60) return false;
            imtql1_sweep(l, m, d.data(), e.data(), plain);
        }
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
// L(j..j+band, j) at j * (band + 1)). A pivot that is not positive (a scale so small that the
// scaled S underflows, or S not positive definite in floating point) gives an empty factor.
std::vector<double> band_cholesky(int m, const double* s, const double* scale, int band) {
    const auto n = static_cast<std::size_t>(m);
    const std::size_t stride = static_cast<std::size_t>(band) + 1;
    std::vector<double> factor(stride * n, 0.0);
    for (int j = 0; j < m; ++j)
        for (int i = j; i <= std::min(m - 1, j + band); ++i)
            factor[(i - j) + j * stride] = scale[i] * s[i + j * n] * scale[j];
    for (int j = 0; j < m; ++j) {
        double* column = factor.data() + j * stride;
        if (!(column[0] > 0.0)) return {};
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

}  // namespace skarven
