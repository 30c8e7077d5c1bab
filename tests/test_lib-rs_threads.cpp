// The eigensolver above its parallel thresholds: the same eigenpairs, bit for bit, at 1 to 4
// threads and on every repeat, and they are eigenpairs.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "lib-rs.hpp"

namespace skarven::test {
namespace {

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
    // Residual |A z - w z| of every pair, relative to the largest entry's scale n/2.
    double worst = 0.0;
    for (int k = 0; k < n; ++k) {
        for (int i = 0; i < n; ++i) {
            double r = -w1[k] * z1[i + static_cast<std::size_t>(k) * n];
            for (int j = 0; j < n; ++j)
                r += a[i + static_cast<std::size_t>(j) * n] *
                     z1[j + static_cast<std::size_t>(k) * n];
            worst = std::max(worst, std::fabs(r));
        }
    }
    EXPECT_LE(worst, 1e-12 * n);
}

}  // namespace
}  // namespace skarven::test
