// The fast route of the eigensolver: Householder reduction with accumulated transformations
// (tred2) and implicit QL iteration on the eigenvectors (tql2).
#include <algorithm>
#include <cmath>
#include <vector>

#include <omp.h>

#include "lib-rs.hpp"
#include "linalg.hpp"

namespace skarven::eispack {

namespace {

// Element (row, col) of an n x n column-major matrix, 0-based.
inline double& at(double* m, int n, int row, int col) {
    return m[col * n + row];
}

// Form A·u for the leading len x len block held in the lower triangle of z: e(k) += A(k,j)·d(j)
// for k > j and e(j) = Σ_k A(k,j)·d(k), with d(j) copied into column i. Columns are taken in
// pairs so that two independent dot-product chains run side by side; every sum is still
// accumulated in the published order, so the rounding is that of the one-column loop.
void form_a_times_u(int n, int len, double* z, const double* d, double* e, double* zi) {
    const int l = len - 1;
    int j = 0;
    for (; j + 1 < len; j += 2) {
        const double* zj = z + j * n;
        const double* zj1 = zj + n;
        const double f1 = d[j];
        zi[j] = f1;
        double g1 = e[j] + zj[j] * f1;
        g1 = g1 + zj[j + 1] * d[j + 1];
        e[j + 1] = e[j + 1] + zj[j + 1] * f1;
        const double f2 = d[j + 1];
        zi[j + 1] = f2;
        double g2 = e[j + 1] + zj1[j + 1] * f2;
        for (int k = j + 2; k <= l; ++k) {
            const double dk = d[k];
            g1 = g1 + zj[k] * dk;
            g2 = g2 + zj1[k] * dk;
            e[k] = (e[k] + zj[k] * f1) + zj1[k] * f2;
        }
        e[j] = g1;
        e[j + 1] = g2;
    }
    if (j < len) {
        // The last column of an odd-sized block has only its diagonal term.
        const double f = d[j];
        zi[j] = f;
        e[j] = e[j] + z[j * n + j] * f;
    }
}

// One column of the accumulation: g = Σ u(k)·z(k,j), then z(k,j) -= g·du(k), k < len.
inline void accumulate_column(int len, const double* u, const double* du, double* zj) {
    double g = 0.0;
    for (int k = 0; k < len; ++k)
        g = g + u[k] * zj[k];
#pragma omp simd
    for (int k = 0; k < len; ++k)
        zj[k] = zj[k] - g * du[k];
}

// Four columns at once: four independent dot-product chains, each in the one-column order.
inline void accumulate_four_columns(int n, int len, const double* u, const double* du, double* zj) {
    double* z0 = zj;
    double* z1 = zj + n;
    double* z2 = zj + 2 * n;
    double* z3 = zj + 3 * n;
    double g0 = 0.0, g1 = 0.0, g2 = 0.0, g3 = 0.0;
    for (int k = 0; k < len; ++k) {
        const double uk = u[k];
        g0 = g0 + uk * z0[k];
        g1 = g1 + uk * z1[k];
        g2 = g2 + uk * z2[k];
        g3 = g3 + uk * z3[k];
    }
#pragma omp simd
    for (int k = 0; k < len; ++k) {
        const double dk = du[k];
        z0[k] = z0[k] - g0 * dk;
        z1[k] = z1[k] - g1 * dk;
        z2[k] = z2[k] - g2 * dk;
        z3[k] = z3[k] - g3 * dk;
    }
}

// Columns of the accumulation per task: 8, 16 and 32 took the same time at n = 1000 (0.33 s of
// tred2, one thread), against 0.35 s for the published column-after-column order.
constexpr int accumulation_block = 16;

// Accumulation of the Householder transformations left by the reduction: vector i (i = 1..n-1)
// in rows 0..i-1 of column i of z, its h in d(i), the reduced diagonal on the diagonal of z.
// The published routine applies the transformations one after another to the whole leading
// block; but each column j only ever meets transformations j+1..n-1, in that order, so once the
// vectors are copied aside the columns are independent. Blocks of columns are then dealt out to
// the threads as they come free (a thread slowed by another process just takes fewer), and every
// column gets the published arithmetic in the published order, whatever the thread count.
void accumulate(int n, const double* d, double* z) {
    const int last = n - 1;
    // Vector i at offset i(i-1): u(0..i-1), then u(k)/h.
    std::vector<double> vectors(static_cast<std::size_t>(n) * last);
    for (int i = 1; i < n; ++i) {
        const double h = d[i];
        if (h == 0.0) continue;
        const double* zi = z + static_cast<std::size_t>(i) * n;
        double* u = vectors.data() + static_cast<std::size_t>(i) * (i - 1);
        for (int k = 0; k < i; ++k) {
            u[k] = zi[k];
            u[i + k] = zi[k] / h;
        }
    }
    const int blocks = (n + accumulation_block - 1) / accumulation_block;
#pragma omp parallel for schedule(dynamic, 1) if (n > tred2_parallel_threshold)
    for (int b = 0; b < blocks; ++b) {
        const int j0 = b * accumulation_block;
        const int j1 = std::min(n, j0 + accumulation_block);
        for (int j = j0; j < j1; ++j) {
            // Column j enters as the unit vector e_j; its reduced diagonal moves to the last row.
            double* zj = z + static_cast<std::size_t>(j) * n;
            for (int k = 0; k < j; ++k)
                zj[k] = 0.0;
            if (j < last) {
                zj[last] = zj[j];
                zj[j] = 1.0;
            }
        }
        for (int i = j0 + 1; i < n; ++i) {
            if (d[i] == 0.0) continue;
            const double* u = vectors.data() + static_cast<std::size_t>(i) * (i - 1);
            const double* du = u + i;
            // Columns j0..min(i, j1)-1 have met transformations j+1..i-1 so far.
            const int end = std::min(i, j1);
            int j = j0;
            for (; j + 4 <= end; j += 4)
                accumulate_four_columns(n, i, u, du, z + static_cast<std::size_t>(j) * n);
            for (; j < end; ++j)
                accumulate_column(i, u, du, z + static_cast<std::size_t>(j) * n);
        }
    }
}

// The plane rotations of tql2, kept until they are applied to the eigenvector matrix all at once.
// A rotation acts on the same two columns in every row, so rows are independent: blocks of rows
// are dealt out to the threads as they come free, each taking every rotation in the published
// order. The arithmetic of every element is that of one rotation after another over whole
// columns, whatever the thread count, and the rows of a block stay in cache across a sweep.
class RotationLog {
    struct Sweep {
        int top;
        int bottom;
    };

  public:
    // With one thread the rotations go straight onto whole columns (the same arithmetic).
    RotationLog(int n, double* z)
        : n_(n), z_(z), direct_(n <= tql2_parallel_threshold || omp_get_max_threads() == 1) {}
    // A sweep over columns top-1 down to bottom follows; makes room first.
    void begin_sweep(int top, int bottom) {
        if (direct_) return;
        if (cosines_.size() + (top - bottom) > capacity) apply();
        sweeps_.push_back({top, bottom});
    }
    // The rotation of columns i and i + 1 (the next one in the sweep).
    void rotate(int i, double c, double s) {
        if (!direct_) {
            cosines_.push_back(c);
            sines_.push_back(s);
            return;
        }
        double* zi = z_ + static_cast<std::size_t>(i) * n_;
        double* zi1 = zi + n_;
#pragma omp simd
        for (int k = 0; k < n_; ++k) {
            const double t = zi1[k];
            zi1[k] = s * zi[k] + c * t;
            zi[k] = c * zi[k] - s * t;
        }
    }
    // Applies and forgets the rotations logged so far.
    void apply() {
        const int n = n_;
        double* z = z_;
        const int blocks = (n + rotation_rows - 1) / rotation_rows;
#pragma omp parallel for schedule(dynamic, 1) if (!sweeps_.empty())
        for (int b = 0; b < blocks; ++b) {
            const int r0 = b * rotation_rows;
            const int rows = std::min(n, r0 + rotation_rows) - r0;
            std::size_t k = 0;
            for (const Sweep& sweep : sweeps_) {
                for (int i = sweep.top - 1; i >= sweep.bottom; --i, ++k) {
                    const double c = cosines_[k];
                    const double s = sines_[k];
                    double* zi = z + static_cast<std::size_t>(i) * n + r0;
                    double* zi1 = zi + n;
#pragma omp simd
                    for (int r = 0; r < rows; ++r) {
                        const double t = zi1[r];
                        zi1[r] = s * zi[r] + c * t;
                        zi[r] = c * zi[r] - s * t;
                    }
                }
            }
        }
        sweeps_.clear();
        cosines_.clear();
        sines_.clear();
    }

  private:
    // Rows per task: 32 to 256 took the same time at n = 1000 (0.62 s of tql2 on one thread,
    // against 0.59 s for whole columns, which is why one thread takes whole columns). At most
    // 2^21 rotations (32 MiB) are kept; a decomposition makes about n^2 (1.02e6 at n = 1000).
    static constexpr int rotation_rows = 64;
    static constexpr std::size_t capacity = std::size_t{1} << 21;
    int n_;
    double* z_;
    bool direct_;
    std::vector<Sweep> sweeps_;
    std::vector<double> cosines_, sines_;
};

}  // namespace

// Householder reduction of the symmetric matrix a (lower triangle read) to tridiagonal form,
// accumulating the orthogonal transformation in z; EISPACK tred2 (Martin, Reinsch and Wilkinson,
// Handbook for Automatic Computation II/2) in its form that keeps the current row in d. Unlike
// the published routine the Householder step is also taken for row 2. About 8n³/3 flops: the
// reduction runs on the calling thread, the accumulation (half the work) on the OpenMP team.
void tred2(int n, const double* a, double* d, double* e, double* z) {
    const int last = n - 1;

    for (int i = 0; i < n; ++i) {
        const double* ai = a + i * n;
        double* zi = z + i * n;
        for (int j = i; j < n; ++j)
            zi[j] = ai[j];
        d[i] = ai[last];
    }

    for (int i = last; i >= 1; --i) {
        // The leading part of row i has len = i elements; l is the index of its last one.
        const int len = i;
        const int l = i - 1;
        double* zi = z + i * n;
        double h = 0.0;

        const double scale = absolute_sum(len, d);

        if (scale == 0.0) {
            e[i] = d[l];
            for (int j = 0; j < len; ++j) {
                d[j] = at(z, n, l, j);
                at(z, n, i, j) = 0.0;
                zi[j] = 0.0;
            }
        } else {
            double sigma = 0.0;
            e[i] = scale * householder_vector(len, scale, d, sigma, h);

            for (int j = 0; j < len; ++j)
                e[j] = 0.0;
            form_a_times_u(n, len, z, d, e, zi);

            for (int j = 0; j < len; ++j)
                e[j] = e[j] / h;
            double f = 0.0;
            for (int j = 0; j < len; ++j)
                f = f + e[j] * d[j];

            const double hh = f / (h + h);
            for (int j = 0; j < len; ++j)
                e[j] = e[j] - hh * d[j];

            // Reduced matrix: lower triangle of the leading block, column by column.
            for (int j = 0; j < len; ++j) {
                double* zj = z + j * n;
                const double fj = d[j];
                const double gj = e[j];
#pragma omp simd
                for (int k = j; k <= l; ++k)
                    zj[k] = zj[k] - fj * e[k] - gj * d[k];
                d[j] = zj[l];
                zj[i] = 0.0;
            }
        }
        d[i] = h;
    }

    accumulate(n, d, z);
    for (int i = 0; i < n; ++i) {
        d[i] = at(z, n, last, i);
        at(z, n, last, i) = 0.0;
    }
    at(z, n, last, last) = 1.0;
    e[0] = 0.0;
}

// Eigenvalues of the symmetric tridiagonal matrix (d, e(2..n)) by the implicit QL method with
// Wilkinson-type shifts and the tst1 convergence test; z is carried along the rotations, so
// tred2's transformation becomes the eigenvector matrix. EISPACK tql2 (Bowdler, Martin, Reinsch
// and Wilkinson) without its final sort: eigenpairs come back in the order the sweep fixes them.
void tql2(int n, double* d, double* e, double* z, int& ierr) {
    ierr = 0;
    if (n == 1) return;
    RotationLog log(n, z);
    ierr = tql2_iteration(
        n, d, e, pythag, [&log](int m, int l) { log.begin_sweep(m, l); },
        [&log](int i, double c, double s) { log.rotate(i, c, s); });
    log.apply();
}

}  // namespace skarven::eispack
