// Guards against wrong eigenpairs: LAPACK eigenvalues, residuals, orthonormality, edge cases,
// and eigenpairs that change with the thread count above the parallel thresholds.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "lib-rs.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();
// Residual, orthonormality and eigenvalue errors relative to the matrix norm.
constexpr double tolerance = 1.0e-12;
// Inverse iteration orthogonalises only within groups of eigenvalues closer than 1e-3 of the
// norm; vectors of nearby eigenvalues outside a group are orthogonal to about n·ε·|T|/gap.
constexpr double inverse_iteration_orthonormality = 1.0e-10;

struct EigenCase {
    int n = 0;
    std::vector<double> a;          // column-major, both triangles filled
    std::vector<double> reference;  // ascending
};

// Matrices with entries k/1024 and their eigenvalues, as written by gen_eigen.py.
const std::vector<EigenCase>& reference_cases() {
    static const std::vector<EigenCase> cases = [] {
        const auto rows = read_table("eigen_reference.txt");
        std::vector<EigenCase> result;
        std::size_t r = 0;
        while (r < rows.size()) {
            EigenCase c;
            c.n = static_cast<int>(rows[r++].at(0));
            c.a.assign(static_cast<std::size_t>(c.n) * c.n, 0.0);
            for (int i = 0; i < c.n; ++i, ++r) {
                for (int j = 0; j <= i; ++j) {
                    const double v = rows.at(r).at(j) / 1024.0;
                    c.a[j * c.n + i] = v;
                    c.a[i * c.n + j] = v;
                }
            }
            c.reference = rows.at(r++);
            result.push_back(std::move(c));
        }
        return result;
    }();
    return cases;
}

double frobenius_norm(const std::vector<double>& a) {
    double s = 0.0;
    for (double x : a)
        s += x * x;
    return std::sqrt(s);
}

// max_k ‖A z_k − w_k z_k‖₂ over the first m columns of z (leading dimension ld).
double max_residual(int n, const std::vector<double>& a, const double* w, const double* z, int m,
                    int ld) {
    double worst = 0.0;
    for (int k = 0; k < m; ++k) {
        const double* zk = z + k * ld;
        double s = 0.0;
        for (int i = 0; i < n; ++i) {
            double r = -w[k] * zk[i];
            for (int j = 0; j < n; ++j)
                r += a[j * n + i] * zk[j];
            s += r * r;
        }
        worst = std::max(worst, std::sqrt(s));
    }
    return worst;
}

// max |Zᵀ Z − I| over the first m columns.
double max_orthonormality_error(int n, const double* z, int m, int ld) {
    double worst = 0.0;
    for (int p = 0; p < m; ++p) {
        for (int q = 0; q <= p; ++q) {
            double s = 0.0;
            for (int i = 0; i < n; ++i)
                s += z[p * ld + i] * z[q * ld + i];
            worst = std::max(worst, std::fabs(s - (p == q ? 1.0 : 0.0)));
        }
    }
    return worst;
}

double max_eigenvalue_error(std::vector<double> w, const std::vector<double>& reference) {
    std::sort(w.begin(), w.end());
    double worst = 0.0;
    for (std::size_t k = 0; k < w.size(); ++k)
        worst = std::max(worst, std::fabs(w[k] - reference[k]));
    return worst;
}

// The matrix with every entry above the diagonal replaced by NaN.
std::vector<double> lower_triangle_only(int n, std::vector<double> a) {
    for (int j = 1; j < n; ++j)
        for (int i = 0; i < j; ++i)
            a[j * n + i] = nan_value;
    return a;
}

struct Eigenpairs {
    std::vector<double> w;
    std::vector<double> z;
};

Eigenpairs run_eigensys(int n, std::vector<double> a) {
    Eigenpairs result{std::vector<double>(n), std::vector<double>(static_cast<std::size_t>(n) * n)};
    EXPECT_TRUE(eigensys(n, a.data(), result.w.data(), result.z.data()));
    return result;
}

// rsm on a copy of a with leading dimension nm >= n (padding rows hold NaN).
Eigenpairs run_rsm(int n, const std::vector<double>& a, int m, int nm, int& ierr) {
    std::vector<double> padded(static_cast<std::size_t>(nm) * n, nan_value);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            padded[j * nm + i] = a[j * n + i];
    Eigenpairs result{std::vector<double>(n),
                      std::vector<double>(static_cast<std::size_t>(nm) * std::max(m, 1), 0.0)};
    std::vector<double> fwork(8 * static_cast<std::size_t>(n));
    std::vector<int> iwork(n);
    rsm(nm, n, padded.data(), result.w.data(), m, result.z.data(), fwork.data(), iwork.data(),
        ierr);
    return result;
}

// Reference matrices, orders 1, 2, 3, 10, 51, 52, 200 (the parallel loops start above 50) and
// the order-12 complete graph with the eigenvalue -1 eleven times.

// Every route on every reference matrix: eigensys, rsm with all vectors, rsm with eigenvalues
// only (tqlrat) and rsm with the first three vectors at a larger leading dimension (padding rows
// hold NaN, as does the upper triangle of a second run, which must give the same bits).
TEST(EigenReference, EigenvaluesResidualsAndOrthonormality) {
    for (const auto& c : reference_cases()) {
        SCOPED_TRACE("n = " + std::to_string(c.n));
        const double norm = frobenius_norm(c.a);
        const auto pairs = run_eigensys(c.n, c.a);
        const auto lower = run_eigensys(c.n, lower_triangle_only(c.n, c.a));
        EXPECT_EQ(pairs.w, lower.w);
        EXPECT_EQ(pairs.z, lower.z);
        EXPECT_LE(max_eigenvalue_error(pairs.w, c.reference) / norm, tolerance);
        EXPECT_LE(max_residual(c.n, c.a, pairs.w.data(), pairs.z.data(), c.n, c.n) / norm,
                  tolerance);
        EXPECT_LE(max_orthonormality_error(c.n, pairs.z.data(), c.n, c.n), tolerance);
        for (int m : {c.n, 0, std::min(c.n, 3)}) {
            const int nm = m == 3 ? c.n + 5 : c.n;
            int ierr = -1;
            const auto r =
                run_rsm(c.n, m == c.n ? lower_triangle_only(c.n, c.a) : c.a, m, nm, ierr);
            SCOPED_TRACE(m);
            EXPECT_EQ(ierr, 0);
            EXPECT_TRUE(std::is_sorted(r.w.begin(), r.w.end()));
            EXPECT_LE(max_eigenvalue_error(r.w, c.reference) / norm, tolerance);
            if (m == 0) continue;
            EXPECT_LE(max_residual(c.n, c.a, r.w.data(), r.z.data(), m, nm) / norm, tolerance);
            EXPECT_LE(max_orthonormality_error(c.n, r.z.data(), m, nm),
                      inverse_iteration_orthonormality);
            // Only the first m columns are written.
            for (std::size_t k = static_cast<std::size_t>(nm) * m; k < r.z.size(); ++k)
                ASSERT_EQ(r.z[k], 0.0) << k;
        }
    }
}

// A diagonal matrix keeps its order and identity vectors; order one.
TEST(EigensysEdge, DiagonalAndOrderOne) {
    const auto diagonal = run_eigensys(3, {3.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 2.0});
    EXPECT_EQ(diagonal.w, (std::vector<double>{3.0, 1.0, 2.0}));
    EXPECT_EQ(diagonal.z, (std::vector<double>{1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0}));
    const auto pairs = run_eigensys(1, {-2.5});
    EXPECT_EQ(pairs.w[0], -2.5);
    EXPECT_EQ(pairs.z[0], 1.0);
}

TEST(RsmEdge, OrderAboveLeadingDimensionComputesNothing) {
    std::vector<double> a(9, 1.0), w(3, 7.0), z(9, 7.0), fwork(24);
    std::vector<int> iwork(3);
    int ierr = 0;
    rsm(2, 3, a.data(), w.data(), 1, z.data(), fwork.data(), iwork.data(), ierr);
    EXPECT_EQ(ierr, 30);
    rsm(3, 3, a.data(), w.data(), 4, z.data(), fwork.data(), iwork.data(), ierr);
    EXPECT_EQ(ierr, 30);
    EXPECT_EQ(w, std::vector<double>(3, 7.0));
    EXPECT_EQ(z, std::vector<double>(9, 7.0));
}

// The Householder step is also taken for row 2: for [[1, 2], [2, 5]] it flips the sign of the
// off-diagonal element and of the first transformation column, where the published tred2 would
// leave e(2) = 2 and z = I.
TEST(Tred2, HouseholderStepAtRowTwo) {
    const std::vector<double> a{1.0, 2.0, 2.0, 5.0};
    std::vector<double> d(2), e(2), z(4);
    tred2(2, a.data(), d.data(), e.data(), z.data());
    EXPECT_EQ(d, (std::vector<double>{1.0, 5.0}));
    EXPECT_EQ(e, (std::vector<double>{0.0, -2.0}));
    EXPECT_EQ(z, (std::vector<double>{-1.0, 0.0, 0.0, 1.0}));
}

TEST(Pythag, AgainstHypot) {
    const double cases[][2] = {{3.0, 4.0},     {-5.0, 12.0},       {1.0, 0.0},
                               {0.0, -2.0},    {1.0e300, 1.0e300}, {1.0e-300, 3.0e-300},
                               {1.0, 1.0e-20}, {0.7, 0.7}};
    for (const auto& c : cases)
        EXPECT_LE(relative_error(pythag(c[0], c[1]), std::hypot(c[0], c[1])), 4.0e-16) << c[0];
    EXPECT_EQ(pythag(0.0, 0.0), 0.0);
    // Non-finite arguments end the iteration.
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(pythag(inf, inf), inf);
    EXPECT_EQ(pythag(-inf, 1.0), inf);
    EXPECT_TRUE(std::isnan(pythag(1.0, nan_value)));
    EXPECT_TRUE(std::isnan(pythag(nan_value, inf)));
}

// Above the parallel thresholds: the same eigenpairs, bit for bit, at 1 to 4 threads and on every
// repeat, and they are eigenpairs.
TEST(EigensysThreads, SameBitsAtEveryThreadCount) {
    const int n = std::max(tred2_parallel_threshold, tql2_parallel_threshold) + 20;
    // Entries of a fixed pseudo-random sequence; the leading 20 x 20 block is diagonal and
    // uncoupled, so its Householder steps have zero scale and are skipped.
    std::vector<double> a(static_cast<std::size_t>(n) * n, 0.0);
    unsigned long long state = 12345;
    for (int c = 0; c < n; ++c) {
        for (int r = c; r < n; ++r) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            const double x = static_cast<double>(state >> 11) * 0x1.0p-53 - 0.5;
            if (r < 20 && r != c) continue;
            if (c < 20 && r >= 20) continue;
            a[r + static_cast<std::size_t>(c) * n] = a[c + static_cast<std::size_t>(r) * n] = x;
        }
    }
    const int threads = omp_get_max_threads();
    std::vector<double> w1, z1;
    for (int count = 1; count <= 4; ++count) {
        omp_set_num_threads(count);
        for (int repeat = 0; repeat < 2; ++repeat) {
            std::vector<double> work = a, w(n), z(static_cast<std::size_t>(n) * n);
            EXPECT_TRUE(eigensys(n, work.data(), w.data(), z.data()));
            if (w1.empty()) {
                w1 = w;
                z1 = z;
                continue;
            }
            EXPECT_TRUE(w == w1 && z == z1) << count << " threads, repeat " << repeat;
        }
    }
    omp_set_num_threads(threads);
    // Residual |A z - w z| of every pair, against the largest entry's scale n/2.
    EXPECT_LE(max_residual(n, a, w1.data(), z1.data(), n, n), 1e-12 * n);
}

}  // namespace
}  // namespace skarven::test
