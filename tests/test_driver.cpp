// Guards against wrong phase shifts from the driver, the routes disagreeing, and NaN in results.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "driver.hpp"
#include "settings.hpp"
#include "sk_g.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

// What loadparams would leave for these settings; `energies`: 0.5 to 1.5 in steps of 0.5.
struct RunSetup {
    bool rel = false, finite = false, gauss = false, fast = false, energies = false;  // finite c
    std::string pot = "well";
    double lambda = 1.0;
    int l = 0, kappa = 0;
    double e = 1.0;
    int nend = 10;
    double v0 = -1.0, a = 0.0, b = 1.0, r0 = 0.0, z = 0.0, alpha = 0.0;
};

// Sets the run settings for s.
void apply(const RunSetup& s) {
    RunSettings& r = sk_globals = RunSettings{};
    r.scheme = padded(s.rel ? "relativistic" : "non-relativistic", 16);
    r.basis = padded(s.gauss ? "gauss" : "laguerre", 8);
    r.solver = padded(s.fast ? "fast" : "eigen", 8);
    r.vol = padded(!s.rel ? "" : s.finite ? "finite" : "infinite", 8);
    r.v_light = s.rel && s.finite ? 137.0359996287515 : 5000.0;
    r.lambda = s.lambda;
    r.projectile = {s.e, 0.0, s.l, s.kappa};
    r.nstart = 1;
    r.nend = s.nend;
    r.potential = {padded(s.pot, 8), s.r0, s.v0, s.a, s.b, s.z, s.alpha, 0.0, 0.0};
    r.energies = s.energies;
    r.estart = r.estep = 0.5;
    r.eend = 1.5;
}

struct Point {
    double x, tan_delta, delta;  // x: N or energy
};

class Driver : public ::testing::Test {
  protected:
    void TearDown() override {
        set_potential_blocks_source(nullptr);
        sk_globals = RunSettings{};
    }
    // Runs both passes; the basis-size points followed by the energy points.
    std::vector<Point> run(const RunSetup& setup, const std::string& root = "out") {
        apply(setup);
        control_calc_delta(root);
        std::vector<Point> points;
        for (const std::string& name : {root, root + ".en"}) {
            std::ifstream in(scratch_.path() / name);
            for (std::string line; std::getline(in, line);) {
                if (line.empty() || line[0] == ';') continue;
                Point p{};
                std::istringstream(line) >> p.x >> p.tan_delta >> p.delta;
                points.push_back(p);
            }
        }
        return points;
    }
    ScratchDirectory scratch_;
};

// With no potential the truncated problem is the free one, whose regular solution has tan = 0.
TEST_F(Driver, ZeroPotentialGivesZeroPhaseShift) {
    const RunSetup variants[] = {{.pot = "user", .lambda = 1.5, .l = 2},
                                 {.rel = true, .pot = "user", .lambda = 1.5, .l = 2, .kappa = 2},
                                 {.rel = true, .finite = true, .pot = "user", .kappa = -1}};
    for (RunSetup s : variants)
        for (bool fast : {false, true})
            for (bool gauss : {false, true}) {
                s.fast = fast;
                s.gauss = gauss;
                const std::vector<Point> points = run(s);
                ASSERT_EQ(points.size(), 10u);
                for (const Point& p : points)
                    EXPECT_NEAR(p.tan_delta, 0.0, 1e-11)
                        << s.rel << s.kappa << gauss << fast << p.x;
            }
}

// Square well and Dirac shell, both routes: the error envelope halves and nears the exact value.
TEST_F(Driver, ConvergesToTheExactPhaseShift) {
    const struct {
        RunSetup setup;
        double exact, final_error;
    } cases[] = {
        {{.nend = 100}, 0.7310050865566070, 2e-3},
        {{.rel = true, .finite = true, .kappa = -1, .nend = 60, .a = 0.5}, 0.580293800514, 1e-2}};
    for (auto c : cases)
        for (bool fast : {false, true}) {
            c.setup.fast = fast;
            const std::vector<Point> points = run(c.setup);
            const int width = c.setup.nend / 5;
            ASSERT_EQ(points.size(), static_cast<std::size_t>(c.setup.nend));
            double early = 0.0, late = 0.0;
            for (int k = 0; k < width; ++k) {
                early = std::max(early, std::fabs(points[width + k].delta - c.exact));
                late = std::max(late, std::fabs(points[c.setup.nend - width + k].delta - c.exact));
            }
            EXPECT_LT(late, 0.5 * early) << c.exact << fast;
            EXPECT_LT(std::fabs(points.back().delta - c.exact), c.final_error) << c.exact << fast;
        }
}

double corner_value = 0.0;  // element (0, 0) of the injected potential block

void corner_blocks(int n, std::vector<double>& phi, std::vector<double>& psi) {
    phi.assign(static_cast<std::size_t>(n) * n, 0.0);
    psi.assign(static_cast<std::size_t>(n) * n, 0.0);
    phi[0] = corner_value;
}

// A non-finite potential element ends the run; V(0, 0) = -J(0, 0) = 3/4 gives tan = -s_1 / c_1.
TEST_F(Driver, NonFiniteAndSingularPotentialMatrices) {
    set_potential_blocks_source(corner_blocks);
    const RunSetup s{.fast = true, .pot = "user", .e = 0.5, .nend = 1};
    for (double value : {std::numeric_limits<double>::quiet_NaN(), HUGE_VAL}) {
        corner_value = value;
        EXPECT_FATAL(run(s), "Error \\(g\\): the potential matrix is not finite at N = 1\\.");
    }
    corner_value = 0.75;
    const std::vector<Point> points = run(s);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_NEAR(points[0].tan_delta, -0.48 / 0.14, 1e-13);
    EXPECT_NEAR(points[0].delta, std::atan(-0.48 / 0.14), 1e-13);
}

// Both routes agree in both passes above the fast route's parallel thresholds (order > 100);
// repeats give the same bits and the thread count changes at most the last bits.
TEST_F(Driver, RoutesAgreeAtAnyThreadCount) {
    RunSetup coulomb{.rel = true, .gauss = true, .energies = true, .pot = "coulomb", .l = 2};
    coulomb.kappa = -3;
    coulomb.nend = 52;
    coulomb.r0 = 4.0;
    coulomb.z = coulomb.alpha = 1.0;
    const int threads = omp_get_max_threads();
    for (RunSetup s : {coulomb, RunSetup{.energies = true, .l = 2, .nend = 120, .a = 0.3}}) {
        s.lambda = 1.3;
        std::vector<Point> points[2][3];  // route, run at 1, 2 and again 2 threads
        for (int run_index = 0; run_index < 6; ++run_index) {
            s.fast = run_index >= 3;
            omp_set_num_threads(run_index % 3 == 0 ? 1 : 2);
            points[s.fast][run_index % 3] = run(s, "run" + std::to_string(run_index));
        }
        omp_set_num_threads(threads);
        for (const auto& route : points) {
            for (const std::vector<Point>& p : route)
                ASSERT_EQ(p.size(), points[0][0].size());
            for (std::size_t i = 0; i < route[0].size(); ++i) {
                EXPECT_NEAR(std::remainder(route[0][i].delta - points[0][0][i].delta, M_PI), 0.0,
                            1e-10)
                    << s.pot << " at " << route[0][i].x;
                EXPECT_NEAR(route[0][i].delta, route[1][i].delta, 1e-12) << s.pot << i;
                EXPECT_EQ(route[1][i].delta, route[2][i].delta) << s.pot << i;
            }
        }
    }
}

}  // namespace
}  // namespace skarven::test
