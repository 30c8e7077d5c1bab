// Guards against wrong factors, solves and eigenvector rows from the shared dense kernels.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "lib-rs.hpp"
#include "linalg.hpp"

namespace skarven {
namespace {

// Symmetric n x n (column-major), entries in [-1, 1], the diagonal times `diagonal`, band `band`.
std::vector<double> random_symmetric(int n, double diagonal, int band, unsigned seed) {
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> a(static_cast<std::size_t>(n) * n, 0.0);
    for (int j = 0; j < n; ++j)
        for (int i = j; i < n && i - j <= band; ++i)
            a[i + j * n] = a[j + i * n] = u(gen) * (i == j ? diagonal : 1.0);
    return a;
}

// Order above the panel width and parallel threshold; zero diagonals force 2x2 pivots.
TEST(Linalg, BunchKaufmanReproducesTheMatrixAndSolvesWithItsFactor) {
    const int n = 150;
    const std::vector<double> a = random_symmetric(n, 0.0, n, 1);
    std::vector<double> f = a, panel;
    std::vector<int> index, first(n);
    std::vector<signed char> block;
    ASSERT_TRUE(bunch_kaufman(n, f.data(), n, index, block, panel));
    ASSERT_GT(std::count(block.begin(), block.end(), 2), 0);
    auto L = [&](int i, int j) {
        return i == j ? 1.0 : i > j && !(block[j] == 2 && i == j + 1) ? f[i + j * n] : 0.0;
    };
    auto D = [&](int i, int j) {  // a 2x2 pivot holds its off-diagonal at (k + 1, k)
        const int lo = std::min(i, j), hi = std::max(i, j);
        return hi == lo || (hi == lo + 1 && block[lo] == 2) ? f[hi + lo * n] : 0.0;
    };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j) {
            double s = -a[index[i] + index[j] * n];
            for (int p = 0; p <= j + 1 && p < n; ++p)
                for (int q = std::max(0, p - 1); q <= std::min(n - 1, p + 1); ++q)
                    s += L(i, p) * D(p, q) * L(j, q);
            EXPECT_NEAR(s, 0.0, 1e-12);
        }
    for (int k = 0; k + 1 < n; ++k)  // the solve reads L alone
        if (block[k] == 2) f[(k + 1) + k * n] = 0.0;
    std::vector<double> b = random_symmetric(n, 1.0, n, 2);
    for (int c = 0; c < n; ++c)
        for (int i = 0; i < (first[c] = c / 2); ++i)
            b[i + c * n] = 0.0;
    std::vector<double> x = b;
    unit_lower_solve(n, f.data(), n, n, x.data(), n, first.data());
    for (int c = 0; c < n; ++c)
        for (int i = 0; i < n; ++i) {
            double s = -b[i + c * n];
            for (int k = 0; k <= i; ++k)
                s += L(i, k) * x[k + c * n];
            EXPECT_NEAR(s, 0.0, 1e-11);
        }
}

TEST(Linalg, BandCholeskyFactorsTheScaledMatrix) {
    const int n = 60, w = 3;  // w: the half bandwidth
    std::vector<double> s = random_symmetric(n, 1.0, w, 3), scale(n), b(n, 0.0);
    for (int i = 0; i < n; ++i) {
        s[i + i * n] = 8.0 + i;
        scale[i] = 1.0 / (1.0 + i);
    }
    ASSERT_EQ(lower_band(n, s.data()), w);
    const std::vector<double> l = band_cholesky(n, s.data(), scale.data(), w);
    auto L = [&](int i, int j) { return i >= j && i - j <= w ? l[i - j + j * (w + 1)] : 0.0; };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j) {
            double product = -scale[i] * s[i + j * n] * scale[j];
            for (int k = 0; k <= j; ++k)
                product += L(i, k) * L(j, k);
            EXPECT_NEAR(product, 0.0, 1e-14);
            b[i] += L(i, j);  // L times ones
        }
    band_forward_solve(n, w, l.data(), b.data());
    for (double v : b)
        EXPECT_NEAR(v, 1.0, 1e-13);
}

// Both QL iterations after the reduction against rs: eigenvalues, z_k^2 = last components^2.
TEST(Linalg, LastRowEigenvectorsMatchTheFullDecomposition) {
    for (int n : {1, 2, 5, 130}) {
        SCOPED_TRACE(n);
        std::vector<double> a = random_symmetric(n, 3.0, n, 4 + n), w(n), z(n * n);
        int ierr = 0;
        eispack::rs(n, a.data(), w.data(), z.data(), ierr);
        ASSERT_EQ(ierr, 0);
        std::vector<double> d(n), e(n), row(n, 0.0), work;
        row[n - 1] = 1.0;
        tridiagonalise_last_fixed(n, a.data(), d.data(), e.data(), work);
        std::vector<double> d1 = d, e1 = e;
        std::rotate(e1.begin(), e1.begin() + 1, e1.end());  // e1[i] couples i and i + 1
        ASSERT_TRUE(tridiagonal_eigenvalues(d1, e1));
        ASSERT_TRUE(ql_last_row(n, d.data(), e.data(), row.data()));
        std::vector<std::pair<double, double>> full(n), last(n);  // eigenvalue, z_k^2
        for (int k = 0; k < n; ++k)
            full[k] = {w[k], z[n - 1 + k * n] * z[n - 1 + k * n]},
            last[k] = {d[k], row[k] * row[k]};
        std::sort(full.begin(), full.end());
        std::sort(last.begin(), last.end());
        std::sort(d1.begin(), d1.end());
        for (int k = 0; k < n; ++k) {
            EXPECT_NEAR(d1[k], full[k].first, 1e-12 * n);
            EXPECT_NEAR(last[k].first, full[k].first, 1e-12 * n);
            EXPECT_NEAR(last[k].second, full[k].second, 1e-12 * n);
        }
    }
}

// The fused update-and-product pass summed each thread's share: the last bits followed the team
// size. Orders at, just above and well above the parallel threshold, 1 to 3 threads.
TEST(Linalg, TridiagonalisationIsTheSameAtAnyThreadCount) {
    const int threads = omp_get_max_threads();
    for (int n : {reduction_parallel_threshold + 1, reduction_parallel_threshold + 2, 300}) {
        SCOPED_TRACE(n);
        const std::vector<double> a = random_symmetric(n, 3.0, n, 7);
        std::vector<double> first_d, first_e;
        for (int team = 1; team <= 3; ++team) {
            omp_set_num_threads(team);
            std::vector<double> copy = a, d(n), e(n), work;
            tridiagonalise_last_fixed(n, copy.data(), d.data(), e.data(), work);
            if (team == 1) {
                first_d = d, first_e = e;
                continue;
            }
            for (int i = 0; i < n; ++i) {
                EXPECT_EQ(d[i], first_d[i]) << team << " threads, d " << i;
                EXPECT_EQ(e[i], first_e[i]) << team << " threads, e " << i;
            }
        }
    }
    omp_set_num_threads(threads);
}

}  // namespace
}  // namespace skarven
