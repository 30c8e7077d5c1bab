// Guards against wrong factors, solves and eigenvector rows from the shared dense kernels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "lib-rs.hpp"
#include "linalg.hpp"

namespace skarven {
namespace {

// Symmetric n x n (column-major), entries in [-1, 1], the diagonal times `diagonal`, zero beyond
// the half bandwidth `band`.
std::vector<double> random_symmetric(int n, double diagonal, int band, unsigned seed) {
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> a(static_cast<std::size_t>(n) * n, 0.0);
    for (int j = 0; j < n; ++j)
        for (int i = j; i < n && i - j <= band; ++i)
            a[i + j * n] = a[j + i * n] = u(gen) * (i == j ? diagonal : 1.0);
    return a;
}

// Above the panel width and the parallel threshold, with zero diagonals that force 2x2 pivots.
TEST(Linalg, BunchKaufmanReproducesTheMatrixAndSolvesWithItsFactor) {
    const int n = 150;
    const std::vector<double> a = random_symmetric(n, 0.0, n, 1);
    std::vector<double> f = a;
    std::vector<int> index;
    std::vector<signed char> block;
    std::vector<double> panel;
    ASSERT_TRUE(bunch_kaufman(n, f.data(), n, index, block, panel));
    ASSERT_GT(std::count(block.begin(), block.end(), 2), 0);
    auto L = [&](int i, int j) {
        return i == j ? 1.0 : i > j && !(block[j] == 2 && i == j + 1) ? f[i + j * n] : 0.0;
    };
    auto D = [&](int i, int j) {
        if (i == j) return f[i + i * n];
        const int hi = std::max(i, j), lo = std::min(i, j);
        return hi == lo + 1 && block[lo] == 2 ? f[hi + lo * n] : 0.0;
    };
    double worst = 0.0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j) {
            double s = 0.0;
            for (int p = 0; p <= j + 1 && p < n; ++p)
                for (int q = std::max(0, p - 1); q <= std::min(n - 1, p + 1); ++q)
                    s += L(i, p) * D(p, q) * L(j, q);
            worst = std::max(worst, std::fabs(s - a[index[i] + index[j] * n]));
        }
    EXPECT_LT(worst, 1e-12);

    // X = L^-1 B with B's column c zero above row first[c]; the solve reads L alone.
    for (int k = 0; k + 1 < n; ++k)
        if (block[k] == 2) f[(k + 1) + k * n] = 0.0;
    std::vector<double> b = random_symmetric(n, 1.0, n, 2), x = b;
    std::vector<int> first(n);
    for (int c = 0; c < n; ++c) {
        first[c] = c / 2;
        for (int i = 0; i < first[c]; ++i)
            b[i + c * n] = x[i + c * n] = 0.0;
    }
    unit_lower_solve(n, f.data(), n, n, x.data(), n, first.data());
    worst = 0.0;
    for (int c = 0; c < n; ++c)
        for (int i = 0; i < n; ++i) {
            double s = x[i + c * n];
            for (int k = 0; k < i; ++k)
                s += f[i + k * n] * x[k + c * n];
            worst = std::max(worst, std::fabs(s - b[i + c * n]));
        }
    EXPECT_LT(worst, 1e-11);
}

TEST(Linalg, BandCholeskyFactorsTheScaledMatrix) {
    const int n = 60, band = 3;
    std::vector<double> s = random_symmetric(n, 1.0, band, 3), scale(n);
    for (int i = 0; i < n; ++i) {
        s[i + i * n] = 8.0 + i;
        scale[i] = 1.0 / (1.0 + i);
    }
    ASSERT_EQ(lower_band(n, s.data()), band);
    const std::vector<double> l = band_cholesky(n, s.data(), scale.data(), band);
    auto L = [&](int i, int j) {
        return i >= j && i - j <= band ? l[(i - j) + j * (band + 1)] : 0.0;
    };
    std::vector<double> x(n, 1.0), b(n, 0.0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j) {
            double product = 0.0;
            for (int k = 0; k <= j; ++k)
                product += L(i, k) * L(j, k);
            EXPECT_NEAR(product, scale[i] * s[i + j * n] * scale[j], 1e-14) << i << ' ' << j;
            b[i] += L(i, j) * x[j];
        }
    band_forward_solve(n, band, l.data(), b.data());
    for (int i = 0; i < n; ++i)
        EXPECT_NEAR(b[i], 1.0, 1e-13);
}

// The reduction with the last index fixed and both QL iterations against the full eigensolver:
// the same eigenvalues, and z_k^2 the squared last components of the eigenvectors.
TEST(Linalg, LastRowEigenvectorsMatchTheFullDecomposition) {
    for (int n : {1, 2, 5, 130}) {
        SCOPED_TRACE(n);
        std::vector<double> a = random_symmetric(n, 3.0, n, 4 + n), w(n), z(n * n);
        int ierr = 0;
        rs(n, a.data(), w.data(), z.data(), ierr);
        ASSERT_EQ(ierr, 0);
        std::vector<double> d(n), e(n), row(n, 0.0), work;
        row[n - 1] = 1.0;
        tridiagonalise_last_fixed(n, a.data(), d.data(), e.data(), work);
        // The same tridiagonal matrix through the imtql1 sweeps: the same sorted eigenvalues.
        std::vector<double> d1 = d, e1(e.begin() + 1, e.end()), w1 = w;
        e1.push_back(0.0);
        ASSERT_TRUE(tridiagonal_eigenvalues(d1, e1));
        std::sort(d1.begin(), d1.end());
        std::sort(w1.begin(), w1.end());
        for (int k = 0; k < n; ++k)
            EXPECT_NEAR(d1[k], w1[k], 1e-12 * n);
        ASSERT_TRUE(ql_last_row(n, d.data(), e.data(), row.data()));
        for (int k = 0; k < n; ++k) {
            const auto nearest = std::min_element(w.begin(), w.end(), [&](double p, double q) {
                return std::fabs(p - d[k]) < std::fabs(q - d[k]);
            });
            const double zk = z[(n - 1) + (nearest - w.begin()) * n];
            EXPECT_NEAR(d[k], *nearest, 1e-12 * n);
            EXPECT_NEAR(row[k] * row[k], zk * zk, 1e-12 * n);
        }
    }
}

}  // namespace
}  // namespace skarven
