// Guards against wrong phase shifts from the driver, the routes disagreeing, and NaN in results.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "diagnostics.hpp"
#include "driver.hpp"
#include "float_mode.hpp"
#include "settings.hpp"
#include "test_support.hpp"
#include "text_format.hpp"

namespace skarven::test {
namespace {

// What loadparams would leave for these settings; `energies`: 0.5 to 1.5 in steps of 0.5.
struct RunSetup {
    bool rel = false, finite = false, gauss = false, fast = false, energies = false;  // finite c
    bool shift = false;
    std::string pot = "well";
    int l = 0, kappa = 0, nend = 10;
    double lambda = 1.0, e = 1.0, v0 = -1.0, a = 0.0, b = 1.0, r0 = 0.0, z = 0.0, alpha = 0.0;
    double g = 0.0, m = 0.0;
};

struct Point {
    double x, tan_delta, delta;  // x: N or energy
};

class Driver : public ::testing::Test {
  protected:
    void TearDown() override { run_record = RunSettings{}; }
    // Runs both passes for s; the basis-size points followed by the energy points.
    std::vector<Point> run(const RunSetup& s, const std::string& root = "out") {
        RunSettings& r = run_record = RunSettings{};
        r.scheme = padded(s.rel ? "relativistic" : "non-relativistic", 16);
        r.basis = padded(s.gauss ? "gauss" : "laguerre", 8);
        r.solver = padded(s.fast ? "fast" : "eigen", 8);
        r.vol = padded(!s.rel ? "" : s.finite ? "finite" : "infinite", 8);
        r.v_light = s.rel && s.finite ? 137.0359996287515 : 5000.0;
        r.lambda = s.lambda;
        r.projectile = {s.e, 0.0, s.l, s.kappa};
        r.nstart = 1;
        r.nend = s.nend;
        r.potential = {padded(s.pot, 8), s.r0, s.v0, s.a, s.b, s.z, s.alpha, s.g, s.m};
        r.energies = s.energies;
        r.shift = s.shift;
        r.estart = r.estep = 0.5;
        r.eend = 1.5;
        control_calc_delta(root);
        std::vector<Point> points;
        for (const std::string& name : {root, root + ".en"})
            for (const std::string& line : file_lines(scratch_.path() / name)) {
                if (line.empty() || line[0] == ';') continue;
                Point p{};
                std::istringstream(line) >> p.x >> p.tan_delta >> p.delta;
                points.push_back(p);
            }
        return points;
    }
    ScratchDirectory scratch_;
};

// With no potential the truncated problem is the free one, whose regular solution has tan = 0.
TEST_F(Driver, ZeroPotentialGivesZeroPhaseShift) {
    const RunSetup variants[] = {{.pot = "user", .l = 2, .lambda = 1.5},
                                 {.rel = true, .pot = "user", .l = 2, .kappa = 2, .lambda = 1.5},
                                 {.rel = true, .finite = true, .pot = "user", .kappa = -1}};
    for (RunSetup s : variants)
        for (int route = 0; route < 4; ++route) {  // eigen or fast, Laguerre or Gauss
            s.fast = route % 2;
            s.gauss = route / 2;
            const std::vector<Point> points = run(s);
            ASSERT_EQ(points.size(), 10u);
            for (const Point& p : points)
                EXPECT_NEAR(p.tan_delta, 0.0, 1e-11) << s.rel << s.kappa << route << p.x;
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

// A repulsive well's phase shifts are negative: with shift they and the exact value move up by pi.
// Once an energy has no exact value (below the well's top), none is written for the rest of the
// run, although the later energies have one.
TEST_F(Driver, ShiftAndTheExactValueOfTheRun) {
    const double exact = -0.3913117057943724;  // v0 = 0.8, b = 1, e = 1: atan(k/q tan q) - k
    for (bool shift : {false, true}) {
        SCOPED_TRACE(shift);
        const std::vector<Point> points =
            run({.energies = true, .shift = shift, .nend = 60, .v0 = 0.8});
        const double offset = shift ? std::numbers::pi : 0.0;
        EXPECT_NEAR(points[59].delta, exact + offset, 1e-2);
        const std::vector<std::string> lines = file_lines(scratch_.path() / "out");
        EXPECT_NE(std::find(lines.begin(), lines.end(),
                            "; delta = " + format_fixed(exact + offset, 20, 15)),
                  lines.end());
        for (const std::string& line : file_lines(scratch_.path() / "out.en")) {
            if (line.empty() || line[0] == ';') continue;
            EXPECT_EQ(line.size(), 10u + 2 * 26) << line;  // energy, tan delta, delta: no exact
        }
    }
}

// The mode is set on the caller and on every thread of the team, and put back, also when an
// error passes.
TEST(FloatMode, GuardSetsTheModeOnEveryThreadAndRestoresIt) {
    static volatile double smallest = DBL_MIN;
    const auto flushed_here = [] { return subnormals_flushed() && smallest / 4.0 == 0.0; };
    const auto threads_flushed = [&] {
        int count = 0;
#pragma omp parallel reduction(+ : count)
        count += flushed_here() ? 1 : 0;
        return count;
    };
    ASSERT_EQ(threads_flushed(), 0);
    {
        const FloatModeGuard mode;
        EXPECT_TRUE(flushed_here());
        EXPECT_EQ(threads_flushed(), omp_get_max_threads());
    }
    EXPECT_EQ(threads_flushed(), 0);
    const auto throw_in_guard = [] {
        const FloatModeGuard mode;
        throw_error("test", "passing");
    };
    EXPECT_THROW(throw_in_guard(), Error);
    EXPECT_EQ(threads_flushed(), 0);
}

// A caller in the default mode gets the program's numbers: g^2 = 1e-320 is subnormal, so the
// program's Yukawa potential vanishes and its saved matrix holds -0 (a caller's mode would give
// elements near 1e-320).
TEST_F(Driver, EngineComputesInTheProgramsFloatingPointMode) {
    ASSERT_FALSE(subnormals_flushed());
    run({.pot = "yukawa", .nend = 3, .g = 1e-160, .m = 1.0});
    EXPECT_FALSE(subnormals_flushed());
    const std::vector<std::string> saved = file_lines(scratch_.path() / "saved.vn.3");
    ASSERT_GE(saved.size(), 6u);
    for (std::size_t k = saved.size() - 6; k < saved.size(); ++k)
        EXPECT_EQ(saved[k], " -0.0000000000000000E+00") << k;
}

// Routes agree above the parallel thresholds; each gives the same bits at 1 and 2 threads.
TEST_F(Driver, RoutesAgreeAtAnyThreadCount) {
    RunSetup coulomb{.rel = true, .gauss = true, .pot = "coulomb", .l = 2, .kappa = -3, .nend = 52};
    coulomb.r0 = 4.0;
    coulomb.z = coulomb.alpha = 1.0;
    const int threads = omp_get_max_threads();
    for (RunSetup s : {coulomb, RunSetup{.l = 2, .nend = 120, .a = 0.3}}) {
        SCOPED_TRACE(s.pot);
        s.energies = true;
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
                const double delta = route[0][i].delta;
                EXPECT_NEAR(std::remainder(delta - points[0][0][i].delta, std::numbers::pi), 0.0,
                            1e-10)
                    << i;
                EXPECT_EQ(delta, route[1][i].delta) << i;
                EXPECT_EQ(route[1][i].delta, route[2][i].delta) << i;
            }
        }
    }
}

}  // namespace
}  // namespace skarven::test
