// Symmetric indefinite factorisation (Bunch-Kaufman), the unit lower triangular solve and the
// blocked matrix product they share.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "linalg.hpp"

namespace skarven {

namespace {

// Depth of the block of the left factor that subtract_product keeps in cache (tile_rows rows).
constexpr int tile_depth = 256;
// Panel width of the blocked symmetric factorisation and row block of the triangular solve.
constexpr int factor_panel = 32;
constexpr int solve_rows = 64;

}  // namespace

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
// thirty decades and the Dirac blocks differ by 2c^2; this brings all of them to one footing.
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

}  // namespace skarven
