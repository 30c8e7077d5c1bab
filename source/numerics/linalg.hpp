#pragma once
// Dense kernels shared by the eigensolver, the Gauss rules and the fast route: the QL sweeps, the
// Householder step and reduction, band Cholesky, Bunch-Kaufman, triangular solves and the matrix
// product. Matrices are column-major; nothing here reads the run settings. Every sum runs in an
// order fixed by the shapes alone, so results do not depend on the thread count.

#include <cmath>
#include <cstddef>
#include <vector>

namespace skarven {

// Loops over fewer columns than this stay on the calling thread.
constexpr int reduction_parallel_threshold = 100;
// Bunch-Parlett constant (1 + sqrt(17)) / 8: bounds element growth under symmetric pivoting.
constexpr double bunch_parlett_alpha = 0.6403882032022076;
// Rows of the block of the left factor that subtract_product keeps in cache.
constexpr int tile_rows = 128;
// Right-hand columns one task owns in the triangular solve and in the bordered product.
constexpr int column_group = 16;

// ---- Vector kernels ----------------------------------------------------------------------------

// sqrt(a^2 + b^2) without overflow or destructive underflow, by scaling with the larger one.
double hypotenuse(double a, double b);
// sum x_i y_i with four partial sums.
double dot(const double* x, const double* y, int n);
// Two dot products sharing x, so that x is read once for both.
void dot2(const double* x, const double* y, const double* z, int n, double& sy, double& sz);
// sum |x_i|, in index order.
double absolute_sum(int n, const double* x);

// ---- Householder reduction ---------------------------------------------------------------------

// The Householder step of EISPACK tred1/tred2 for x[0..len-1] with 1-norm `scale` > 0: x becomes
// u, the reflector I - u u^T / h maps x / scale to g e_(len-1), and sigma gets |x / scale|^2.
// Returns g (the reduced entry is scale g).
double householder_vector(int len, double scale, double* x, double& sigma, double& h);
// Tridiagonal form of the symmetric matrix in the lower triangle of a (order n, leading
// dimension n), last row first, without accumulating the transformation; the last index stays
// in place (Q e_(n-1) = e_(n-1)). d gets the diagonal, e[i] the entry (i, i-1), e[0] = 0; a is
// overwritten. One parallel region per step above reduction_parallel_threshold columns.
// `carried`, when given, becomes Q^T carried (entries 0..n-2 change): a second vector's
// coordinates in the tridiagonal basis.
void tridiagonalise_last_fixed(int n, double* a, double* d, double* e, std::vector<double>& work,
                               double* carried = nullptr);

// ---- Implicit QL -------------------------------------------------------------------------------

// Eigenvalues of the symmetric tridiagonal matrix (d, e[i] = entry (i, i-1), e[0] unused) by the
// QL method with Wilkinson-type shifts and the tst1 splitting test of EISPACK tql2 (Bowdler,
// Martin, Reinsch and Wilkinson). begin(m, l) announces each sweep and rotate(i, c, s) each plane
// rotation of indices i and i + 1, so that a caller carries eigenvector rows along; `hypot` is the
// caller's sqrt(a^2 + b^2). d gets the eigenvalues in the order the sweeps fix them; e is
// destroyed. Returns 0, or l + 1 when eigenvalue l needs more than 30 sweeps.
template <class Hypot, class Begin, class Rotate>
int tql2_iteration(int n, double* d, double* e, Hypot hypot, Begin begin, Rotate rotate) {
    for (int i = 1; i < n; ++i)
        e[i - 1] = e[i];
    e[n - 1] = 0.0;
    double f = 0.0;
    double tst1 = 0.0;
    for (int l = 0; l < n; ++l) {
        int iterations = 0;
        const double hl = std::fabs(d[l]) + std::fabs(e[l]);
        if (tst1 < hl) tst1 = hl;
        // e[n-1] is zero, so the search ends at the last index at the latest.
        int m = l;
        while (m < n - 1 && tst1 + std::fabs(e[m]) != tst1)
            ++m;
        if (m == l) {
            d[l] = d[l] + f;
            continue;
        }
        do {
            if (iterations == 30) return l + 1;
            ++iterations;
            const int l1 = l + 1;
            double g = d[l];
            double p = (d[l1] - g) / (2.0 * e[l]);
            double r = hypot(p, 1.0);
            d[l] = e[l] / (p + std::copysign(r, p));
            d[l1] = e[l] * (p + std::copysign(r, p));
            const double dl1 = d[l1];
            double h = g - d[l];
            for (int i = l1 + 1; i < n; ++i)
                d[i] = d[i] - h;
            f = f + h;

            begin(m, l);
            p = d[m];
            double c = 1.0, c2 = 1.0, c3 = 1.0, s = 0.0, s2 = 0.0;
            const double el1 = e[l1];
            for (int i = m - 1; i >= l; --i) {
                c3 = c2;
                c2 = c;
                s2 = s;
                g = c * e[i];
                h = c * p;
                r = hypot(p, e[i]);
                e[i + 1] = s * r;
                s = e[i] / r;
                c = p / r;
                p = c * d[i] - s * g;
                d[i + 1] = h + s * (c * g + s * d[i]);
                rotate(i, c, s);
            }
            p = -s * s2 * c3 * el1 * e[l] / dl1;
            e[l] = s * p;
            d[l] = c * p;
        } while (tst1 + std::fabs(e[l]) > tst1);
        d[l] = d[l] + f;
    }
    return 0;
}

// The tql2 iteration carrying only the last row of the eigenvector matrix: z starts as that row
// of the identity and ends as the last components of the eigenvectors. O(n^2). False when an
// eigenvalue needs more than 30 sweeps. `z2`, when given, is carried alike: a vector c becomes
// Z^T c, its components along the eigenvectors.
bool ql_last_row(int n, double* d, double* e, double* z, double* z2 = nullptr);

// One implicit QL sweep with Wilkinson's shift over the unreduced block l..m of the symmetric
// tridiagonal matrix (d, e[i] coupling i and i + 1), as in EISPACK imtql1 (Martin and Wilkinson,
// with Dubrulle's modification). False when a rotation underflowed to zero: the block has split
// and the caller looks for a negligible off-diagonal entry again.
template <class Hypot>
bool imtql1_sweep(int l, int m, double* d, double* e, Hypot hypot) {
    double g = (d[l + 1] - d[l]) / (2.0 * e[l]);
    double r = hypot(g, 1.0);
    g = d[m] - d[l] + e[l] / (g + std::copysign(r, g));
    double s = 1.0, c = 1.0, p = 0.0;
    for (int i = m - 1; i >= l; --i) {
        const double f = s * e[i];
        const double b = c * e[i];
        r = hypot(f, g);
        e[i + 1] = r;
        if (r == 0.0) {
            d[i + 1] = d[i + 1] - p;
            e[m] = 0.0;
            return false;
        }
        s = f / r;
        c = g / r;
        g = d[i + 1] - p;
        r = (d[i] - g) * s + 2.0 * c * b;
        p = s * r;
        d[i + 1] = g + p;
        g = c * r - b;
    }
    d[l] = d[l] - p;
    e[l] = g;
    e[m] = 0.0;
    return true;
}

// Eigenvalues of the symmetric tridiagonal matrix with diagonal d and off-diagonal e (e[i] couples
// i and i + 1; e[n-1] = 0) by imtql1 sweeps with plain sqrt(f^2 + g^2), so the entries must stay
// far from the edges of the double range. d is replaced by the eigenvalues, unordered; e is
// destroyed. False when an eigenvalue needs more than 60 sweeps. O(n^2).
[[nodiscard]] bool tridiagonal_eigenvalues(std::vector<double>& d, std::vector<double>& e);

// ---- Band Cholesky -----------------------------------------------------------------------------

// Half bandwidth of the lower triangle of S (order m): the largest i - j with S_ij nonzero.
int lower_band(int m, const double* s);
// Band Cholesky factor L of diag(scale) S diag(scale), right-looking; column j holds
// L(j..j+band, j) at j * (band + 1). Empty when a pivot is not positive: S is not positive
// definite in floating point, or the scales take the scaled S below the range of a double.
std::vector<double> band_cholesky(int m, const double* s, const double* scale, int band);
// Solves L x = b in place with that factor, column by column.
void band_forward_solve(int n, int band, const double* factor, double* x);

// ---- Symmetric indefinite factorisation and products -------------------------------------------

// C -= A B^T for C rows x cols (leading dimension ldc), A rows x depth (lda) and B cols x depth
// addressed as B(j, p) = b[j * bj + p * bp], so that B may be stored either way round.
void subtract_product(int rows, int cols, int depth, const double* a, std::size_t lda,
                      const double* b, std::size_t bj, std::size_t bp, double* c, std::size_t ldc);
// Diagonal scaling of the symmetric matrix in the lower triangle of a (order m) that brings every
// scaled entry to at most 1 in size, the diagonal ones to 1 where they are nonzero.
void symmetric_scaling(int m, const double* a, std::size_t ld, double* scale);
// P^T A P = L D L^T with 1x1 and 2x2 pivots by the Bunch-Kaufman rule, blocked; see the
// definition for the storage. False when A is exactly singular.
bool bunch_kaufman(int n, double* a, std::size_t ld, std::vector<int>& index,
                   std::vector<signed char>& block, std::vector<double>& panel);
// X := L^-1 X for the unit lower triangular L below the diagonal of l and `cols` right-hand
// columns, column j being zero above row first[j].
void unit_lower_solve(int n, const double* l, std::size_t ldl, int cols, double* x, std::size_t ldx,
                      const int* first);
// C += A^T B on the 4 x 4 tiles on and below the diagonal of C (n x n, column-major) for A and B
// packed in panels of four columns: element (k, i) at ((i / 4) count + k) 4 + i % 4. Each tile is
// owned by one thread and summed in the same order for any thread count. About n^2 count / 2
// multiply-adds.
void symmetric_product(int n, int count, const double* a, const double* b, double* c);
// Element `want` of the solution of T x = e_want for a small dense T (n x n, leading dimension
// ld), by Gaussian elimination with complete pivoting; +infinity when T is exactly singular.
double small_inverse_element(const double* t, int ld, int n, int want, std::vector<double>& work);
// The whole column `want` of T^-1 into column[0..n-1] by the same elimination; false when T is
// exactly singular.
bool small_inverse_column(const double* t, int ld, int n, int want, std::vector<double>& work,
                          double* column);

}  // namespace skarven
