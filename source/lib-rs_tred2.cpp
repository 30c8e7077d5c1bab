// The fast route of the eigensolver: Householder reduction with accumulated transformations
// (tred2) and implicit QL iteration on the eigenvectors (tql2).
#include <cmath>

#include "lib-rs.hpp"

namespace skarven {

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

// One column of the accumulation: g = Σ z(k,i)·z(k,j), then z(k,j) -= g·d(k), k < len.
inline void accumulate_column(int len, const double* zi, const double* d, double* zj) {
    double g = 0.0;
    for (int k = 0; k < len; ++k)
        g = g + zi[k] * zj[k];
#pragma omp simd
    for (int k = 0; k < len; ++k)
        zj[k] = zj[k] - g * d[k];
}

// Four columns at once: four independent dot-product chains, each in the one-column order.
inline void accumulate_four_columns(int n, int len, const double* zi, const double* d, double* zj) {
    double* z0 = zj;
    double* z1 = zj + n;
    double* z2 = zj + 2 * n;
    double* z3 = zj + 3 * n;
    double g0 = 0.0, g1 = 0.0, g2 = 0.0, g3 = 0.0;
    for (int k = 0; k < len; ++k) {
        const double u = zi[k];
        g0 = g0 + u * z0[k];
        g1 = g1 + u * z1[k];
        g2 = g2 + u * z2[k];
        g3 = g3 + u * z3[k];
    }
#pragma omp simd
    for (int k = 0; k < len; ++k) {
        const double dk = d[k];
        z0[k] = z0[k] - g0 * dk;
        z1[k] = z1[k] - g1 * dk;
        z2[k] = z2[k] - g2 * dk;
        z3[k] = z3[k] - g3 * dk;
    }
}

constexpr int accumulation_block = 4;

}  // namespace

// Householder reduction of the symmetric matrix a (lower triangle read) to tridiagonal form,
// accumulating the orthogonal transformation in z; EISPACK tred2 (Martin, Reinsch and Wilkinson,
// Handbook for Automatic Computation II/2) in its form that keeps the current row in d. Unlike
// the published routine the Householder step is also taken for row 2. About 8n³/3 flops, the
// vector loops longer than tred2_parallel_threshold run on the OpenMP team.
void tred2(int n, const double* a, double* d, double* e, double* z) {
    constexpr int threshold = tred2_parallel_threshold;
    const int last = n - 1;

#pragma omp parallel for schedule(static) if (n > threshold)
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

        double scale = 0.0;
#pragma omp parallel if (len > threshold)
        {
            double partial = 0.0;
#pragma omp for schedule(static) nowait
            for (int k = 0; k < len; ++k)
                partial += std::fabs(d[k]);
#pragma omp critical(tred2_scale)
            scale += partial;
        }

        if (scale == 0.0) {
            e[i] = d[l];
#pragma omp parallel for schedule(static) if (len > threshold)
            for (int j = 0; j < len; ++j) {
                d[j] = at(z, n, l, j);
                at(z, n, i, j) = 0.0;
                zi[j] = 0.0;
            }
        } else {
#pragma omp parallel for schedule(static) if (len > threshold)
            for (int k = 0; k < len; ++k)
                d[k] = d[k] / scale;
            for (int k = 0; k < len; ++k)
                h = h + d[k] * d[k];

            double f = d[l];
            double g = -std::copysign(std::sqrt(h), f);
            e[i] = scale * g;
            h = h - f * g;
            d[l] = f - g;

#pragma omp parallel for schedule(static) if (len > threshold)
            for (int j = 0; j < len; ++j)
                e[j] = 0.0;
            form_a_times_u(n, len, z, d, e, zi);

#pragma omp parallel for schedule(static) if (len > threshold)
            for (int j = 0; j < len; ++j)
                e[j] = e[j] / h;
            f = 0.0;
            for (int j = 0; j < len; ++j)
                f = f + e[j] * d[j];

            const double hh = f / (h + h);
#pragma omp parallel for schedule(static) if (len > threshold)
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

    // Accumulation of the transformations, from the smallest block outwards.
    for (int i = 1; i < n; ++i) {
        const int len = i;
        const int l = i - 1;
        double* zi = z + i * n;
        at(z, n, last, l) = at(z, n, l, l);
        at(z, n, l, l) = 1.0;
        const double h = d[i];
        if (h != 0.0) {
#pragma omp parallel for schedule(static) if (len > threshold)
            for (int k = 0; k < len; ++k)
                d[k] = zi[k] / h;

            const int blocks = (len + accumulation_block - 1) / accumulation_block;
#pragma omp parallel for schedule(static) if (len > threshold)
            for (int b = 0; b < blocks; ++b) {
                const int j0 = b * accumulation_block;
                if (j0 + accumulation_block <= len) {
                    accumulate_four_columns(n, len, zi, d, z + j0 * n);
                } else {
                    for (int j = j0; j < len; ++j)
                        accumulate_column(len, zi, d, z + j * n);
                }
            }
        }
#pragma omp parallel for schedule(static) if (len > threshold)
        for (int k = 0; k < len; ++k)
            zi[k] = 0.0;
    }

#pragma omp parallel for schedule(static) if (n > threshold)
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

    for (int i = 1; i < n; ++i)
        e[i - 1] = e[i];
    double f = 0.0;
    double tst1 = 0.0;
    e[n - 1] = 0.0;

    for (int l = 0; l < n; ++l) {
        int iterations = 0;
        const double hl = std::fabs(d[l]) + std::fabs(e[l]);
        if (tst1 < hl) tst1 = hl;

        // e(n) is zero, so the search ends at the last index at the latest.
        int m = l;
        while (m < n - 1 && tst1 + std::fabs(e[m]) != tst1)
            ++m;

        if (m != l) {
            double tst2 = 0.0;
            do {
                if (iterations == 30) {
                    ierr = l + 1;
                    return;
                }
                ++iterations;

                const int l1 = l + 1;
                const int l2 = l1 + 1;
                double g = d[l];
                double p = (d[l1] - g) / (2.0 * e[l]);
                double r = pythag(p, 1.0);
                d[l] = e[l] / (p + std::copysign(r, p));
                d[l1] = e[l] * (p + std::copysign(r, p));
                const double dl1 = d[l1];
                double h = g - d[l];
                // In 1-based terms the loop runs over l+2..n and is shared when n-(l+2) > 50.
#pragma omp parallel for schedule(static) if (n - (l + 3) > tql2_parallel_threshold)
                for (int i = l2; i < n; ++i)
                    d[i] = d[i] - h;
                f = f + h;

                p = d[m];
                double c = 1.0;
                double c2 = c;
                double c3 = c;
                const double el1 = e[l1];
                double s = 0.0;
                double s2 = 0.0;
                for (int i = m - 1; i >= l; --i) {
                    c3 = c2;
                    c2 = c;
                    s2 = s;
                    g = c * e[i];
                    h = c * p;
                    r = pythag(p, e[i]);
                    e[i + 1] = s * r;
                    s = e[i] / r;
                    c = p / r;
                    p = c * d[i] - s * g;
                    d[i + 1] = h + s * (c * g + s * d[i]);

                    double* zi = z + i * n;
                    double* zi1 = zi + n;
#pragma omp simd
                    for (int k = 0; k < n; ++k) {
                        const double t = zi1[k];
                        zi1[k] = s * zi[k] + c * t;
                        zi[k] = c * zi[k] - s * t;
                    }
                }
                p = -s * s2 * c3 * el1 * e[l] / dl1;
                e[l] = s * p;
                d[l] = c * p;
                tst2 = tst1 + std::fabs(e[l]);
            } while (tst2 > tst1);
        }
        d[l] = d[l] + f;
    }
}

}  // namespace skarven
