// The Green's-function element does not depend on the thread count: above the parallel thresholds
// of the eigensolver and of the fast route, repeats give the same bits at 1 to 4 threads, and the
// eigen route gives the same bits at every count.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <vector>

#include "driver_support.hpp"
#include "potential.hpp"
#include "sk_g.hpp"

namespace skarven::test {
namespace {

using GreenThreads = DriverTest;

TEST_F(GreenThreads, RepeatsAndThreadCountsAgree) {
    RunSetup shell;
    shell.scheme = "relativistic";
    shell.a = 0.5;
    shell.l = 1;
    shell.kappa = 1;
    const int n = 260;  // order 520, above the eigensolver's threshold
    shell.nstart = shell.nend = n;
    apply(shell);
    sk_globals.pass = 1;
    sk_globals.ntrunc = n;
    projectile_set_k(sk_globals.projectile);
    // A smooth attractive matrix on both diagonal blocks, handed over as the saved potential.
    const int order = 2 * n;
    std::vector<double> v(static_cast<std::size_t>(order) * order, 0.0);
    for (int c = 0; c < order; ++c) {
        for (int r = c; r < order; ++r) {
            if ((r < n) != (c < n)) continue;
            v[r + static_cast<std::size_t>(c) * order] =
                v[c + static_cast<std::size_t>(r) * order] =
                    -std::exp(-0.05 * (r - c)) / (1.0 + 0.01 * (r + c));
        }
    }
    write_vn_to_file(order, v.data());

    const int threads = omp_get_max_threads();
    for (const char* solver : {"eigen", "fast"}) {
        sk_globals.solver = padded(solver, 8);
        std::vector<double> first;  // per thread count
        for (int count = 1; count <= 4; ++count) {
            omp_set_num_threads(count);
            for (int repeat = 0; repeat < 2; ++repeat) {
                sk_globals.vn_is_loaded = false;
                sk_globals.vn_file_match = true;
                const double value = g(n - 1, n - 1);
                ASSERT_TRUE(sk_globals.vn_is_loaded) << solver;
                g_release();
                vn(1, 1, CacheAction::release);
                if (repeat == 0) first.push_back(value);
                EXPECT_EQ(value, first.back()) << solver << ", " << count << " threads";
            }
            // The eigen route gives the same bits at every count, the fast one nearly so.
            EXPECT_LE(std::fabs(first.back() - first.front()),
                      solver[0] == 'e' ? 0.0 : 1e-12 * std::fabs(first.front()))
                << solver << ", " << count << " threads";
        }
    }
    omp_set_num_threads(threads);
}

}  // namespace
}  // namespace skarven::test
