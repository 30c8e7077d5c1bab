#pragma once
// Real symmetric eigensolver after EISPACK: rs (tred2 + tql2) with the rsm fallback
// (tred1, imtqlv, tinvit, trbak1). Matrices are column-major with leading dimension n (nm for rsm);
// only the lower triangle of the input is read. Array arguments are 0-based C++ arrays holding
// the 1-based EISPACK vectors.

namespace skarven {

// Loops shorter than these run on the calling thread.
inline constexpr int tred2_parallel_threshold = 50;
inline constexpr int tql2_parallel_threshold = 50;

// All eigenvalues w and eigenvectors z (column k belongs to w[k], no particular order).
// a may be overwritten on the fallback route. False when neither route converged.
[[nodiscard]] bool eigensys(int n, double* a, double* w, double* z);
void rs(int n, const double* a, double* w, double* z, int& ierr);
void tred2(int n, const double* a, double* d, double* e, double* z);
void tql2(int n, double* d, double* e, double* z, int& ierr);
void rsm(int nm, int n, double* a, double* w, int m, double* z, double* fwork, int* iwork,
         int& ierr);
void tred1(int nm, int n, double* a, double* d, double* e, double* e2);
void tqlrat(int n, double* d, double* e2, int& ierr);
void imtqlv(int n, const double* d, const double* e, double* e2, double* w, int* ind, int& ierr,
            double* rv1);
void tinvit(int nm, int n, const double* d, const double* e, const double* e2, int m,
            const double* w, const int* ind, double* z, int& ierr, double* rv1, double* rv2,
            double* rv3, double* rv4, double* rv6);
// Overflow-safe sqrt(a^2 + b^2) by the EISPACK iteration.
double pythag(double a, double b);

}  // namespace skarven
