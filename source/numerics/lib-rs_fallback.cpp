// The slow route of the eigensolver: reduction without accumulation (tred1), eigenvalues by the
// rational (tqlrat) or implicit (imtqlv) QL method and eigenvectors by inverse iteration (tinvit).
#include <cmath>

#include "lib-rs.hpp"
#include "linalg.hpp"

namespace skarven::eispack {

namespace {

// Unit roundoff 2^-52 in place of EISPACK's run-time estimate epslon(1).
constexpr double unit_roundoff = 2.220446049250313e-16;

}  // namespace

// Householder reduction of the symmetric matrix a (leading dimension nm, lower triangle read) to
// tridiagonal form without accumulating the transformation; the Householder vectors are left in
// the strict lower triangle of a for the back-transformation. EISPACK tred1 (Martin, Reinsch and
// Wilkinson).
void tred1(int nm, int n, double* a, double* d, double* e, double* e2) {
    auto A = [a, nm](int row, int col) -> double& { return a[col * nm + row]; };
    const int last = n - 1;

    for (int i = 0; i < n; ++i) {
        d[i] = A(last, i);
        A(last, i) = A(i, i);
    }

    for (int i = last; i >= 0; --i) {
        const int len = i;
        const int l = i - 1;
        double h = 0.0;
        if (len < 1) {
            e[i] = 0.0;
            e2[i] = 0.0;
            continue;
        }
        const double scale = absolute_sum(len, d);

        if (scale == 0.0) {
            for (int j = 0; j < len; ++j) {
                d[j] = A(l, j);
                A(l, j) = A(i, j);
                A(i, j) = 0.0;
            }
            e[i] = 0.0;
            e2[i] = 0.0;
            continue;
        }

        double sigma = 0.0;
        e[i] = scale * householder_vector(len, scale, d, sigma, h);
        e2[i] = scale * scale * sigma;
        double f = 0.0;
        double g = 0.0;

        if (len != 1) {
            for (int j = 0; j < len; ++j)
                e[j] = 0.0;
            for (int j = 0; j < len; ++j) {
                const double* aj = &A(0, j);
                f = d[j];
                g = e[j] + aj[j] * f;
                for (int k = j + 1; k <= l; ++k) {
                    g = g + aj[k] * d[k];
                    e[k] = e[k] + aj[k] * f;
                }
                e[j] = g;
            }
            f = 0.0;
            for (int j = 0; j < len; ++j) {
                e[j] = e[j] / h;
                f = f + e[j] * d[j];
            }
            h = f / (h + h);
            for (int j = 0; j < len; ++j)
                e[j] = e[j] - h * d[j];
            for (int j = 0; j < len; ++j) {
                double* aj = &A(0, j);
                f = d[j];
                g = e[j];
                for (int k = j; k <= l; ++k)
                    aj[k] = aj[k] - f * e[k] - g * d[k];
            }
        }

        for (int j = 0; j < len; ++j) {
            f = d[j];
            d[j] = A(l, j);
            A(l, j) = A(i, j);
            A(i, j) = f * scale;
        }
    }
}

// All eigenvalues, ascending, of the symmetric tridiagonal matrix with diagonal d and squared
// sub-diagonal e2(2..n) by the rational QL method without square roots in the sweep; EISPACK
// tqlrat (Reinsch, CACM Algorithm 464, with Moler's 1987 underflow guards). The splitting
// tolerance is 2^-52 times the running norm.
void tqlrat(int n, double* d, double* e2, int& ierr) {
    ierr = 0;
    if (n == 1) return;

    for (int i = 1; i < n; ++i)
        e2[i - 1] = e2[i];
    double f = 0.0;
    double t = 0.0;
    double b = 0.0;
    double c = 0.0;
    e2[n - 1] = 0.0;

    for (int l = 0; l < n; ++l) {
        int iterations = 0;
        double h = std::fabs(d[l]) + std::sqrt(e2[l]);
        if (!(t > h)) {
            t = h;
            b = unit_roundoff * std::fabs(t);
            c = b * b;
            if (c == 0.0) {
                // The splitting tolerance underflowed: look for a larger norm further down.
                for (int i = l; i < n; ++i) {
                    h = std::fabs(d[i]) + std::sqrt(e2[i]);
                    if (h > t) t = h;
                }
                b = unit_roundoff * std::fabs(t);
                c = b * b;
            }
        }

        int m = l;
        while (m < n - 1 && !(e2[m] <= c))
            ++m;

        if (m != l) {
            while (true) {
                if (iterations == 30) {
                    ierr = l + 1;
                    return;
                }
                ++iterations;

                const int l1 = l + 1;
                double s = std::sqrt(e2[l]);
                double g = d[l];
                double p = (d[l1] - g) / (2.0 * s);
                double r = pythag(p, 1.0);
                d[l] = s / (p + std::copysign(r, p));
                h = g - d[l];
                for (int i = l1; i < n; ++i)
                    d[i] = d[i] - h;
                f = f + h;

                g = d[m];
                if (g == 0.0) g = b;
                h = g;
                s = 0.0;
                for (int i = m - 1; i >= l; --i) {
                    p = g * h;
                    r = p + e2[i];
                    e2[i + 1] = s * r;
                    s = e2[i] / r;
                    d[i + 1] = h + s * (h + d[i]);
                    g = d[i] - e2[i] / g;
                    if (g == 0.0) g = unit_roundoff * std::fabs(d[i]);
                    h = g * (p / r);
                }
                e2[l] = s * g;
                d[l] = h;
                // Convergence test arranged so that it cannot underflow.
                if (h == 0.0) break;
                if (std::fabs(e2[l]) <= std::fabs(c / h)) break;
                e2[l] = h * e2[l];
                if (e2[l] == 0.0) break;
            }
        }

        const double p = d[l] + f;
        int i = l;
        while (i > 0 && !(p >= d[i - 1])) {
            d[i] = d[i - 1];
            --i;
        }
        d[i] = p;
    }
}

// All eigenvalues, ascending in w, of the symmetric tridiagonal matrix (d, e(2..n)) by the
// implicit QL method, with the tag of the unreduced block each one belongs to in ind (1, 2, ...);
// d and e are kept, e2 gets zeros where the matrix splits. EISPACK imtqlv (after Martin and
// Wilkinson's imtql1 with Dubrulle's modification).
void imtqlv(int n, const double* d, const double* e, double* e2, double* w, int* ind, int& ierr,
            double* rv1) {
    ierr = 0;
    int k = -1;
    int tag = 0;

    for (int i = 0; i < n; ++i) {
        w[i] = d[i];
        if (i != 0) rv1[i - 1] = e[i];
    }
    e2[0] = 0.0;
    rv1[n - 1] = 0.0;

    for (int l = 0; l < n; ++l) {
        int iterations = 0;
        double p = 0.0;
        while (true) {
            // Look for a small sub-diagonal element; an underflowed e2 also ends a block.
            int m = l;
            bool underflowed = false;
            for (; m < n - 1; ++m) {
                const double tst1 = std::fabs(w[m]) + std::fabs(w[m + 1]);
                const double tst2 = tst1 + std::fabs(rv1[m]);
                if (tst2 == tst1) break;
                if (e2[m + 1] == 0.0) {
                    underflowed = true;
                    break;
                }
            }
            if (underflowed || m > k) {
                if (!underflowed && m != n - 1) e2[m + 1] = 0.0;
                k = m;
                ++tag;
            }

            p = w[l];
            if (m == l) break;
            if (iterations == 30) {
                ierr = l + 1;
                return;
            }
            ++iterations;

            // A rotation that underflows splits the block; either way the search starts again.
            imtql1_sweep(l, m, w, rv1, pythag);
        }

        int i = l;
        while (i > 0 && !(p >= w[i - 1])) {
            w[i] = w[i - 1];
            ind[i] = ind[i - 1];
            --i;
        }
        w[i] = p;
        ind[i] = tag;
    }
}

// Eigenvectors of the symmetric tridiagonal matrix (d, e, e2 as left by imtqlv) for the m
// eigenvalues w, by inverse iteration with at most five steps per vector, close eigenvalues
// perturbed apart and their vectors orthogonalised within a group; EISPACK tinvit (Peters and
// Wilkinson's tristurm). Tolerances use 2^-52 times the block norm.
void tinvit(int nm, int n, const double* d, const double* e, const double* e2, int m,
            const double* w, const int* ind, double* z, int& ierr, double* rv1, double* rv2,
            double* rv3, double* rv4, double* rv6) {
    ierr = 0;
    if (m == 0) return;

    int tag = 0;
    const double order = 1.0 - e2[0];
    int q = -1;
    double u = 0.0;
    double v = 0.0;
    double xu = 0.0;
    double x0 = 0.0;
    double eps2 = 0.0;
    double eps3 = 0.0;
    double eps4 = 0.0;
    double uk = 0.0;

    do {
        // Next unreduced block p..q.
        const int p = q + 1;
        for (q = p; q < n - 1; ++q) {
            if (e2[q + 1] == 0.0) break;
        }
        ++tag;
        const int ip = p + 1;
        int s = -1;  // no vector of this block yet
        int group = 0;

        for (int r = 0; r < m; ++r) {
            if (ind[r] != tag) continue;
            int its = 1;
            double x1 = w[r];
            bool isolated = false;
            if (s < 0) {
                xu = 1.0;
                if (p == q) {
                    rv6[p] = 1.0;
                    isolated = true;
                } else {
                    double norm = std::fabs(d[p]);
                    for (int i = ip; i <= q; ++i)
                        norm = std::fmax(norm, std::fabs(d[i]) + std::fabs(e[i]));
                    // eps2 groups close roots, eps3 replaces zero pivots and separates equal
                    // roots, eps4 is small enough to avoid overflow.
                    eps2 = 1.0e-3 * norm;
                    eps3 = unit_roundoff * std::fabs(norm);
                    uk = q - p + 1;
                    eps4 = uk * eps3;
                    uk = eps4 / std::sqrt(uk);
                    s = p;
                    group = 0;
                }
            } else if (std::fabs(x1 - x0) >= eps2) {
                group = 0;
            } else {
                ++group;
                if (order * (x1 - x0) <= 0.0) x1 = x0 + order * eps3;
            }

            if (!isolated) {
                // Elimination with interchanges and the starting vector.
                v = 0.0;
                for (int i = p; i <= q; ++i) {
                    rv6[i] = uk;
                    if (i != p) {
                        if (!(std::fabs(e[i]) < std::fabs(u))) {
                            xu = u / e[i];
                            rv4[i] = xu;
                            rv1[i - 1] = e[i];
                            rv2[i - 1] = d[i] - x1;
                            rv3[i - 1] = 0.0;
                            if (i != q) rv3[i - 1] = e[i + 1];
                            u = v - xu * rv2[i - 1];
                            v = -xu * rv3[i - 1];
                            continue;
                        }
                        xu = e[i] / u;
                        rv4[i] = xu;
                        rv1[i - 1] = u;
                        rv2[i - 1] = v;
                        rv3[i - 1] = 0.0;
                    }
                    u = d[i] - x1 - xu * v;
                    if (i != q) v = e[i + 1];
                }
                if (u == 0.0) u = eps3;
                rv1[q] = u;
                rv2[q] = 0.0;
                rv3[q] = 0.0;

                bool converged = false;
                while (true) {
                    // Back substitution.
                    for (int i = q; i >= p; --i) {
                        rv6[i] = (rv6[i] - u * rv2[i] - v * rv3[i]) / rv1[i];
                        v = u;
                        u = rv6[i];
                    }
                    // Orthogonalise against the earlier members of the group.
                    int j = r;
                    for (int jj = 0; jj < group; ++jj) {
                        do {
                            --j;
                        } while (ind[j] != tag);
                        const double* zj = z + j * nm;
                        xu = 0.0;
                        for (int i = p; i <= q; ++i)
                            xu = xu + rv6[i] * zj[i];
                        for (int i = p; i <= q; ++i)
                            rv6[i] = rv6[i] - xu * zj[i];
                    }

                    double norm = 0.0;
                    for (int i = p; i <= q; ++i)
                        norm = norm + std::fabs(rv6[i]);
                    if (norm >= 1.0) {
                        converged = true;
                        break;
                    }
                    if (its == 5) break;

                    // Forward substitution on a rescaled vector.
                    if (norm != 0.0) {
                        xu = eps4 / norm;
                        for (int i = p; i <= q; ++i)
                            rv6[i] = rv6[i] * xu;
                    } else {
                        rv6[s] = eps4;
                        ++s;
                        if (s > q) s = p;
                    }
                    for (int i = ip; i <= q; ++i) {
                        u = rv6[i];
                        // rv1(i-1) equal to e(i) marks a row interchange in the elimination.
                        if (rv1[i - 1] == e[i]) {
                            u = rv6[i - 1];
                            rv6[i - 1] = rv6[i];
                        }
                        rv6[i] = u - rv4[i] * rv6[i - 1];
                    }
                    ++its;
                }

                if (converged) {
                    u = 0.0;
                    for (int i = p; i <= q; ++i)
                        u = pythag(u, rv6[i]);
                    xu = 1.0 / u;
                } else {
                    ierr = -(r + 1);
                    xu = 0.0;
                }
            }

            double* zr = z + r * nm;
            for (int i = 0; i < n; ++i)
                zr[i] = 0.0;
            for (int i = p; i <= q; ++i)
                zr[i] = rv6[i] * xu;
            x0 = x1;
        }
    } while (q < n - 1);
}

}  // namespace skarven::eispack
