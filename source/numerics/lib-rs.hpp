#pragma once
// Real symmetric eigensolver after EISPACK: rs (tred2 + tql2) with the rsm fallback
// (tred1, imtqlv, tinvit, trbak1). Matrices are column-major with leading dimension n (nm for rsm);
// only the lower triangle of the input is read. Array arguments are 0-based C++ arrays holding
// the 1-based EISPACK vectors.

namespace skarven {

// Orders up to these run on the calling thread. Each decomposition opens at most one parallel
// region in the accumulation of tred2 and one per batch of tql2 rotations (one batch up to
// n = 1400); a region costs little on a quiet machine, but on a busy one each fork and join
// waits for a descheduled worker. Measured with every order parallel (2 cores shared with other
// work and one `yes`; 2 threads over 1 thread, median of 5, two runs): n = 100: 30 to 40;
// n = 200: 1.9, 1.2; n = 300: 1.2, 1.2; n = 400: 1.1, 1.15; n = 1000 (best of 3): 0.87. The
// whole-program Yukawa scan to N = 400 with 50 energies beside one `yes` on a quiet machine (bench/
// run_threads.sh): 2 threads over 1 thread 1.26 to 1.43 with 300 here, 0.77 with 1000; so orders
// up to 500, where the measured gain ends, stay serial.
inline constexpr int tred2_parallel_threshold = 500;
inline constexpr int tql2_parallel_threshold = 500;

// All eigenvalues w and eigenvectors z (column k belongs to w[k], no particular order).
// a may be overwritten on the fallback route. False when neither route converged.
[[nodiscard]] bool eigensys(int n, double* a, double* w, double* z);

// The published routines under their own names.
namespace eispack {

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

}  // namespace eispack

}  // namespace skarven
