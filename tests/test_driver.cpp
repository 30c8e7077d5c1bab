// The phase-shift driver end to end in this process: zero potentials, the worked point,
// growth against full builds, convergence to the exact square-well phase shift, independence of
// the basis scale and of the thread count.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <string>
#include <vector>

#include "driver_support.hpp"
#include "settings.hpp"
#include "sk_g.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

using Driver = DriverTest;

std::string describe(const RunSetup& s) {
    return s.scheme + " " + s.basis + " " + s.pot_type + " l=" + std::to_string(s.l) +
           " kappa=" + std::to_string(s.kappa) + " lambda=" + std::to_string(s.lambda) +
           " solver=" + s.solver;
}

// With no potential the truncated problem is the free one, whose regular solution has tan = 0.
TEST_F(Driver, ZeroPotentialGivesZeroPhaseShift) {
    std::vector<RunSetup> cases;
    for (const char* solver : {"eigen", "fast"}) {
        for (const char* basis : {"laguerre", "gauss"}) {
            for (double lambda : {0.7, 1.0, 1.5}) {
                RunSetup s;
                s.pot_type = "user";
                s.basis = basis;
                s.lambda = lambda;
                s.solver = solver;
                s.nend = 12;
                s.l = 0;
                cases.push_back(s);
                s.l = 2;
                cases.push_back(s);
                s.scheme = "relativistic";
                s.kappa = 2;
                cases.push_back(s);
                s.l = 0;
                s.kappa = -1;
                s.vol = "finite";
                cases.push_back(s);
            }
        }
    }
    for (const RunSetup& s : cases) {
        const std::vector<Point> points = run(s);
        ASSERT_EQ(points.size(), 12u) << describe(s);
        for (const Point& p : points) {
            EXPECT_NEAR(p.tan_delta, 0.0, 1e-11) << describe(s) << " N=" << p.x;
        }
    }
}

// N = 1, l = 0, lambda = 1, k = 1, no potential: J(0,0) = -0.75, so g = -4/3, and tan = 0.
TEST_F(Driver, WorkedPointOfOneBasisFunction) {
    RunSetup s;
    s.pot_type = "user";
    s.e = 0.5;
    s.nend = 1;
    for (const char* solver : {"eigen", "fast"}) {
        s.solver = solver;
        apply(s);
        sk_globals.pass = 1;
        sk_globals.ntrunc = 1;
        projectile_set_k(sk_globals.projectile);
        EXPECT_NEAR(g(0, 0), -4.0 / 3.0, 1e-15) << solver;
        g_release();
        const std::vector<Point> points = run(s);
        ASSERT_EQ(points.size(), 1u);
        EXPECT_NEAR(points[0].tan_delta, 0.0, 1e-16);
    }
}

// A matrix grown one basis size at a time equals the one built in full at that size.
TEST_F(Driver, GrowthEqualsFullBuild) {
    RunSetup well;
    well.a = 0.5;
    RunSetup dirac = well;
    dirac.scheme = "relativistic";
    dirac.l = 1;
    dirac.kappa = -2;
    dirac.vol = "finite";
    RunSetup oscillator = well;
    oscillator.basis = "gauss";
    oscillator.l = 2;
    for (RunSetup s : {well, dirac, oscillator}) {
        for (const char* solver : {"eigen", "fast"}) {
            s.solver = solver;
            s.nstart = 1;
            s.nend = 9;
            const std::vector<Point> grown = run(s);
            for (int n : {1, 5, 9}) {
                RunSetup full = s;
                full.nstart = n;
                full.nend = n;
                const std::vector<Point> built = run(full, "full");
                ASSERT_EQ(built.size(), 1u);
                EXPECT_NEAR(built[0].delta, grown[n - 1].delta, 1e-12)
                    << describe(s) << " N=" << n;
            }
        }
    }
}

// Square well of depth 1 and radius 1 (e = 1, l = 0): the exact phase shift is 0.731005086557.
TEST_F(Driver, SquareWellConvergesToTheExactPhaseShift) {
    RunSetup s;
    s.nend = 100;
    const std::vector<Point> points = run(s);
    ASSERT_EQ(points.size(), 100u);
    const double exact = 0.7310050865566070;
    for (int n : {25, 50, 100}) {
        RecordProperty("error_at_N" + std::to_string(n), std::to_string(points[n - 1].delta - exact));
    }
    // The well's edge makes the convergence slow and oscillating; its envelope shrinks.
    double worst_early = 0.0, worst_late = 0.0;
    for (int n = 21; n <= 40; ++n) worst_early = std::max(worst_early, std::fabs(points[n - 1].delta - exact));
    for (int n = 81; n <= 100; ++n) worst_late = std::max(worst_late, std::fabs(points[n - 1].delta - exact));
    EXPECT_LT(worst_late, 0.5 * worst_early);
    EXPECT_LT(std::fabs(points[99].delta - exact), 2e-3);
}

// The Dirac shell (a = 0.5, b = 1, e = 1, kappa = -1, physical c): exact 0.580293800514.
TEST_F(Driver, DiracShellConvergesToTheExactPhaseShift) {
    RunSetup s;
    s.scheme = "relativistic";
    s.kappa = -1;
    s.vol = "finite";
    s.a = 0.5;
    s.nend = 60;
    const std::vector<Point> points = run(s);
    ASSERT_EQ(points.size(), 60u);
    const double exact = 0.580293800514;
    RecordProperty("error_at_N60", std::to_string(points[59].delta - exact));
    double worst_early = 0.0, worst_late = 0.0;
    for (int n = 11; n <= 20; ++n) worst_early = std::max(worst_early, std::fabs(points[n - 1].delta - exact));
    for (int n = 51; n <= 60; ++n) worst_late = std::max(worst_late, std::fabs(points[n - 1].delta - exact));
    EXPECT_LT(worst_late, 0.5 * worst_early);
    EXPECT_LT(std::fabs(points[59].delta - exact), 1e-2);
}

// Once converged, the phase shift does not depend on the basis scale.
TEST_F(Driver, PhaseShiftDoesNotDependOnTheBasisScale) {
    RunSetup yukawa;
    yukawa.pot_type = "yukawa";
    yukawa.g = 1.0;
    yukawa.m = 1.0;
    yukawa.r0 = 0.0;
    yukawa.l = 1;
    yukawa.e = 0.5;
    yukawa.nend = 40;
    RunSetup dirac = yukawa;
    dirac.scheme = "relativistic";
    dirac.kappa = -2;
    // The 1/r singularity makes the convergence algebraic and oscillating: compare averages over
    // the last ten basis sizes.
    auto tail_average = [&](const RunSetup& s) {
        const std::vector<Point> points = run(s);
        double sum = 0.0;
        for (std::size_t i = points.size() - 10; i < points.size(); ++i) sum += points[i].delta;
        return sum / 10.0;
    };
    for (RunSetup s : {yukawa, dirac}) {
        s.lambda = 1.0;
        const double reference = tail_average(s);
        for (double lambda : {0.7, 1.5}) {
            s.lambda = lambda;
            EXPECT_NEAR(tail_average(s), reference, 1e-3) << describe(s);
        }
    }
}

// The parallel loops and the locked reduction change at most the last bits.
TEST_F(Driver, ThreadCountChangesOnlyTheLastBits) {
    RunSetup s;
    s.scheme = "relativistic";
    s.kappa = 1;
    s.l = 1;
    s.a = 0.5;
    s.nend = 60;  // beyond the parallel thresholds
    s.energies = true;
    s.estart = 0.5;
    s.eend = 1.5;
    s.estep = 0.5;
    for (const char* solver : {"eigen", "fast"}) {
        s.solver = solver;
        const int threads = omp_get_max_threads();
        omp_set_num_threads(1);
        const std::vector<Point> one = run(s, "one");
        const std::vector<Point> one_energy = read_points(dir_ / "one.en");
        omp_set_num_threads(2);
        const std::vector<Point> two = run(s, "two");
        const std::vector<Point> two_energy = read_points(dir_ / "two.en");
        omp_set_num_threads(threads);
        ASSERT_EQ(one.size(), two.size());
        for (std::size_t i = 0; i < one.size(); ++i) {
            EXPECT_NEAR(one[i].delta, two[i].delta, 1e-12) << solver << " N=" << one[i].x;
        }
        ASSERT_EQ(one_energy.size(), 3u);
        ASSERT_EQ(two_energy.size(), 3u);
        for (std::size_t i = 0; i < one_energy.size(); ++i) {
            EXPECT_NEAR(one_energy[i].delta, two_energy[i].delta, 1e-12) << solver;
        }
    }
}

}  // namespace
}  // namespace skarven::test
