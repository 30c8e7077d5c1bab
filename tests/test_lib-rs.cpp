// Guards against wrong eigenpairs: LAPACK eigenvalues, residuals, orthonormality, thread counts.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <tuple>
#include <vector>

#include "lib-rs.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();

struct EigenCase {
    int n = 0;
    std::vector<double> a, reference;  // column-major, both triangles; ascending
};

// Matrices k/1024 and their LAPACK eigenvalues (gen_eigen.py): orders 1 to 200, one degenerate.
std::vector<EigenCase> reference_cases() {
    const auto rows = read_table("eigen_reference.txt");
    std::vector<EigenCase> cases;
    for (std::size_t r = 0; r < rows.size();) {
        EigenCase c{static_cast<int>(rows[r++].at(0)), {}, {}};
        c.a.resize(static_cast<std::size_t>(c.n) * c.n);
        for (int i = 0; i < c.n; ++i, ++r)
            for (int j = 0; j <= i; ++j)
                c.a[j * c.n + i] = c.a[i * c.n + j] = rows.at(r).at(j) / 1024.0;
        c.reference = rows.at(r++);
        cases.push_back(std::move(c));
    }
    return cases;
}

// Eigenvalue error and largest residual (over |A|), largest |Z^T Z - I|, over m columns of z.
struct Errors {
    double eigenvalue = 0.0, residual = 0.0, orthonormality = 0.0;
};

Errors errors(const EigenCase& c, std::vector<double> w, const double* z, int m, int ld) {
    const int n = c.n;
    const double norm = std::sqrt(std::inner_product(c.a.begin(), c.a.end(), c.a.begin(), 0.0));
    Errors e;
    for (int k = 0; k < m; ++k) {
        double sum = 0.0;
        for (int i = 0; i < n; ++i) {
            const double* row = c.a.data() + static_cast<std::size_t>(i) * n;  // A is symmetric
            const double r = std::inner_product(row, row + n, z + k * ld, -w[k] * z[k * ld + i]);
            sum += r * r;
        }
        e.residual = std::max(e.residual, std::sqrt(sum) / norm);
        for (int q = 0; q <= k; ++q) {
            const double s = std::inner_product(z + k * ld, z + k * ld + n, z + q * ld, 0.0);
            e.orthonormality = std::max(e.orthonormality, std::fabs(s - (k == q ? 1.0 : 0.0)));
        }
    }
    std::sort(w.begin(), w.end());
    for (std::size_t k = 0; k < c.reference.size(); ++k)
        e.eigenvalue = std::max(e.eigenvalue, std::fabs(w[k] - c.reference[k]) / norm);
    return e;
}

// eigensys, and rsm with all, no and three vectors; NaN above the diagonal or in padding is unread.
TEST(EigenReference, EigenvaluesResidualsAndOrthonormality) {
    for (const EigenCase& c : reference_cases()) {
        const int n = c.n;
        SCOPED_TRACE(n);
        std::vector<double> lower = c.a, w(n), z(c.a.size());
        for (int j = 1; j < n; ++j)
            for (int i = 0; i < j; ++i)
                lower[j * n + i] = nan_value;
        std::vector<double> work = lower;
        ASSERT_TRUE(eigensys(n, work.data(), w.data(), z.data()));
        const Errors e = errors(c, w, z.data(), n, n);
        EXPECT_LE(std::max({e.eigenvalue, e.residual, e.orthonormality}), 1e-12);
        for (int m : {n, 0, std::min(n, 3)}) {
            SCOPED_TRACE(m);
            const int nm = m == 3 ? n + 5 : n;
            std::vector<double> a(static_cast<std::size_t>(nm) * n, nan_value), fwork(8 * n);
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i)
                    a[j * nm + i] = (m == n ? lower : c.a)[j * n + i];
            std::vector<double> rw(n), rz(static_cast<std::size_t>(nm) * std::max(m, 1), 0.0);
            std::vector<int> iwork(n);
            int ierr = -1;
            eispack::rsm(nm, n, a.data(), rw.data(), m, rz.data(), fwork.data(), iwork.data(), ierr);
            EXPECT_EQ(ierr, 0);
            EXPECT_TRUE(std::is_sorted(rw.begin(), rw.end()));
            const Errors r = errors(c, rw, rz.data(), m, nm);
            EXPECT_LE(std::max(r.eigenvalue, r.residual), 1e-12);
            EXPECT_LE(r.orthonormality, 1e-10);  // inverse iteration: n eps |T| / gap
            for (std::size_t k = static_cast<std::size_t>(nm) * m; k < rz.size(); ++k)
                ASSERT_EQ(rz[k], 0.0) << "column beyond m written at " << k;
        }
    }
}

// rsm with n > nm or m > n computes nothing and reports 30; non-finite arguments end pythag.
TEST(EdgeCases, BadSizesAndNonFiniteArguments) {
    std::vector<double> a(9, 1.0), w(3, 7.0), z(9, 7.0), fwork(24);
    std::vector<int> iwork(3);
    for (int nm : {2, 3}) {
        int ierr = 0;
        eispack::rsm(nm, 3, a.data(), w.data(), nm == 2 ? 1 : 4, z.data(), fwork.data(), iwork.data(), ierr);
        EXPECT_EQ(ierr, 30);
    }
    EXPECT_TRUE(w == std::vector<double>(3, 7.0) && z == std::vector<double>(9, 7.0));
    EXPECT_TRUE(eispack::pythag(0.0, 0.0) == 0.0 && eispack::pythag(-HUGE_VAL, 1.0) == HUGE_VAL);
    EXPECT_TRUE(std::isnan(eispack::pythag(1.0, nan_value)) && std::isnan(eispack::pythag(nan_value, HUGE_VAL)));
}

// Same bits at 1 to 4 threads and on repeats above the parallel thresholds; 20 uncoupled indices.
TEST(EigensysThreads, SameBitsAtEveryThreadCount) {
    const int n = std::max(tred2_parallel_threshold, tql2_parallel_threshold) + 20;
    EigenCase c{n, std::vector<double>(static_cast<std::size_t>(n) * n, 0.0), {}};
    unsigned long long state = 12345;
    for (int col = 0; col < n; ++col)
        for (int r = col; r < n; ++r)
            if (r == col || col >= 20) {
                state = state * 6364136223846793005ULL + 1442695040888963407ULL;
                c.a[r + col * n] = c.a[col + r * n] =
                    static_cast<double>(state >> 11) * 0x1.0p-53 - 0.5;
            }
    const int threads = omp_get_max_threads();
    std::vector<double> w1, z1;
    for (int run = 0; run < 8; ++run) {  // 1 to 4 threads, twice each
        omp_set_num_threads(1 + run / 2);
        std::vector<double> work = c.a, w(n), z(work.size());
        EXPECT_TRUE(eigensys(n, work.data(), w.data(), z.data()));
        if (run == 0) std::tie(w1, z1) = std::tie(w, z);
        EXPECT_TRUE(w == w1 && z == z1) << run;
    }
    omp_set_num_threads(threads);
    EXPECT_LE(errors(c, w1, z1.data(), n, n).residual, 1e-12);
}

}  // namespace
}  // namespace skarven::test
