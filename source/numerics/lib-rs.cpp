// Drivers of the real symmetric eigensolver and the overflow-safe hypotenuse.
#include "lib-rs.hpp"

#include <cmath>
#include <vector>

#include "skarven/errors.hpp"

namespace skarven {

namespace eispack {

// sqrt(a² + b²) without overflow or destructive underflow by the cubically convergent iteration
// of Moler and Morrison, as EISPACK's pythag. Non-finite arguments, on which the iteration
// would never stop, give |a| + |b| (infinity or NaN).
double pythag(double a, double b) {
    if (!std::isfinite(a) || !std::isfinite(b)) return std::fabs(a) + std::fabs(b);
    double p = std::fmax(std::fabs(a), std::fabs(b));
    if (p == 0.0) return p;
    double r = std::fmin(std::fabs(a), std::fabs(b)) / p;
    r = r * r;
    while (true) {
        const double t = 4.0 + r;
        if (t == 4.0) break;
        const double s = r / t;
        const double u = 1.0 + 2.0 * s;
        p = u * p;
        const double su = s / u;
        r = su * su * r;
    }
    return p;
}

// All eigenpairs of a symmetric matrix by tred2 and tql2 (EISPACK rs with eigenvectors, no
// leading-dimension or eigenvalue-only options). a is only read; the pairs are unordered.
void rs(int n, const double* a, double* w, double* z, int& ierr) {
    SKARVEN_CHECK(n >= 1);
    std::vector<double> e(static_cast<std::size_t>(n));
    tred2(n, a, w, e.data(), z);
    tql2(n, w, e.data(), z, ierr);
}

// All eigenvalues (ascending) and the eigenvectors of the first m of them, EISPACK rsm: tred1,
// then tqlrat when m < 1, else imtqlv, tinvit and the trbak1 back-transformation. fwork holds
// 8n doubles, iwork n integers. ierr = 10n when n or m exceeds nm.
void rsm(int nm, int n, double* a, double* w, int m, double* z, double* fwork, int* iwork,
         int& ierr) {
    ierr = 10 * n;
    if (n > nm || m > nm) return;

    double* d = fwork;
    double* e = fwork + n;
    double* e2 = fwork + 2 * n;
    double* rv1 = fwork + 3 * n;
    if (m < 1) {
        tred1(nm, n, a, w, d, e);
        tqlrat(n, w, e, ierr);
        return;
    }
    tred1(nm, n, a, d, e, e2);
    imtqlv(n, d, e, e2, w, iwork, ierr, rv1);
    tinvit(nm, n, d, e, e2, m, w, iwork, z, ierr, rv1, fwork + 4 * n, fwork + 5 * n, fwork + 6 * n,
           fwork + 7 * n);

    // Back-transformation by the Householder vectors left in the rows of a (trbak1). Row i is
    // copied into the spent rv1 block so that the inner loops run down contiguous storage.
    double* row = rv1;
    for (int i = 1; i < n; ++i) {
        if (e[i] == 0.0) continue;
        const int len = i;
        for (int k = 0; k < len; ++k)
            row[k] = a[k * nm + i];
        // The divisor is minus the h of tred1; two divisions avoid underflow.
        const double last = row[len - 1];
        for (int j = 0; j < m; ++j) {
            double* zj = z + j * nm;
            double s = 0.0;
            for (int k = 0; k < len; ++k)
                s = s + row[k] * zj[k];
            s = (s / last) / e[i];
#pragma omp simd
            for (int k = 0; k < len; ++k)
                zj[k] = zj[k] + s * row[k];
        }
    }
}

}  // namespace eispack

// All eigenvalues w and eigenvectors z of the symmetric matrix a (lower triangle read) by the
// fast route rs; should its QL iteration fail, by the slower rsm route, which overwrites the
// strict lower triangle of a. False when both fail; w and z then hold what they left.
bool eigensys(int n, double* a, double* w, double* z) {
    SKARVEN_CHECK(n >= 1);
    std::vector<int> iwork(static_cast<std::size_t>(n));
    std::vector<double> fwork(8 * static_cast<std::size_t>(n));

    int ierr = 0;
    eispack::rs(n, a, w, z, ierr);
    if (ierr == 0) return true;

    eispack::rsm(n, n, a, w, n, z, fwork.data(), iwork.data(), ierr);
    return ierr == 0;
}

}  // namespace skarven
