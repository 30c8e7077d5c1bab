// Guards against wrong phase shifts from the driver: convergence, scale, threads, the two routes
// disagreeing on identical potential matrices, and numbers that are not numbers reaching a result
// file (a potential element that is not finite ends the run naming the basis size, while an
// exactly singular truncated matrix still gives the limit of the phase-shift formula).
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "coefficients.hpp"
#include "driver.hpp"
#include "driver_support.hpp"
#include "potential.hpp"
#include "settings.hpp"
#include "sk_basis.hpp"
#include "sk_g.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

using Driver = DriverTest;

std::string describe(const RunSetup& s) {
    return s.scheme + " " + s.basis + " " + s.pot_type + " " + std::to_string(s.lambda) + s.solver;
}

// With no potential the truncated problem is the free one, whose regular solution has tan = 0.
TEST_F(Driver, ZeroPotentialGivesZeroPhaseShift) {
    for (const char* solver : {"eigen", "fast"})
        for (const char* basis : {"laguerre", "gauss"})
            for (double lambda : {0.7, 1.5})
                for (int variant = 0; variant < 3; ++variant) {
                    RunSetup s;
                    s.pot_type = "user";
                    s.basis = basis;
                    s.lambda = lambda;
                    s.solver = solver;
                    s.nend = 12;
                    s.l = variant < 2 ? 2 : 0;
                    if (variant > 0) {
                        s.scheme = "relativistic";
                        s.kappa = variant == 1 ? 2 : -1;
                        s.vol = variant == 1 ? "infinite" : "finite";
                    }
                    const std::vector<Point> points = run(s);
                    ASSERT_EQ(points.size(), 12u) << describe(s);
                    for (const Point& p : points)
                        EXPECT_NEAR(p.tan_delta, 0.0, 1e-11) << describe(s) << " N=" << p.x;
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
    well.nend = 9;
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
            const std::vector<Point> grown = run(s);
            for (int n : {1, 5, 9}) {
                RunSetup full = s;
                full.nstart = full.nend = n;
                const std::vector<Point> built = run(full, "full");
                ASSERT_EQ(built.size(), 1u);
                // The fast route's quadrature rule follows the largest basis size of the run.
                EXPECT_NEAR(built[0].delta, grown[n - 1].delta, s.solver == "fast" ? 1e-10 : 1e-12)
                    << describe(s) << " N=" << n;
            }
        }
    }
}

// The square well (v0 = -1, b = 1, e = 1, l = 0) and the Dirac shell (a = 0.5, kappa = -1,
// physical c): the error envelope shrinks and ends close to the exact phase shift.
TEST_F(Driver, ConvergesToTheExactPhaseShift) {
    RunSetup well;
    well.nend = 100;
    RunSetup shell;
    shell.scheme = "relativistic";
    shell.kappa = -1;
    shell.vol = "finite";
    shell.a = 0.5;
    shell.nend = 60;
    const struct {
        RunSetup setup;
        double exact;
        int early, late, width;  // the envelopes over [early, early + width) and [late, ...)
        double final_error;
    } cases[] = {{well, 0.7310050865566070, 21, 81, 20, 2e-3},
                 {shell, 0.580293800514, 11, 51, 10, 1e-2}};
    for (const auto& c : cases) {
        const std::vector<Point> points = run(c.setup);
        ASSERT_EQ(points.size(), static_cast<std::size_t>(c.setup.nend));
        double worst_early = 0.0, worst_late = 0.0;
        for (int k = 0; k < c.width; ++k) {
            worst_early = std::max(worst_early, std::fabs(points[c.early + k - 1].delta - c.exact));
            worst_late = std::max(worst_late, std::fabs(points[c.late + k - 1].delta - c.exact));
        }
        EXPECT_LT(worst_late, 0.5 * worst_early) << describe(c.setup);
        EXPECT_LT(std::fabs(points.back().delta - c.exact), c.final_error) << describe(c.setup);
    }
}

// Once converged, the phase shift does not depend on the basis scale: averages over the last
// basis sizes (the 1/r singularity makes the convergence algebraic and oscillating) at lambda =
// 0.7 and 1.5 match the one at 1. The oscillator basis converges more slowly.
TEST_F(Driver, PhaseShiftDoesNotDependOnTheBasisScale) {
    RunSetup yukawa;
    yukawa.pot_type = "yukawa";
    yukawa.g = yukawa.m = 1.0;
    yukawa.l = 1;
    yukawa.e = 0.5;
    yukawa.nend = 40;
    RunSetup oscillator = yukawa;
    oscillator.basis = "gauss";
    oscillator.solver = "fast";
    oscillator.nend = 300;
    const struct {
        RunSetup setup;
        int kappa;  // of the Dirac variant
        std::size_t tail;
        double tolerance;
    } cases[] = {{yukawa, -2, 10, 1e-3}, {oscillator, 1, 50, 1e-3}};
    for (const auto& c : cases) {
        RunSetup dirac = c.setup;
        dirac.scheme = "relativistic";
        dirac.kappa = c.kappa;
        for (RunSetup s : {c.setup, dirac}) {
            auto tail_average = [&](double lambda) {
                s.lambda = lambda;
                const std::vector<Point> points = run(s);
                double sum = 0.0;
                for (std::size_t i = points.size() - c.tail; i < points.size(); ++i)
                    sum += points[i].delta;
                return sum / static_cast<double>(c.tail);
            };
            const double reference = tail_average(1.0);
            for (double lambda : {0.7, 1.5})
                EXPECT_NEAR(tail_average(lambda), reference, c.tolerance) << describe(s);
        }
    }
}

// The parallel loops and the locked reduction change at most the last bits (orders 52 to 60 are
// beyond the parallel thresholds).
TEST_F(Driver, ThreadCountChangesOnlyTheLastBits) {
    RunSetup s;
    s.scheme = "relativistic";
    s.kappa = s.l = 1;
    s.a = 0.5;
    s.nstart = 26;
    s.nend = 30;
    s.energy_range(0.5, 1.5, 0.5);
    const int threads = omp_get_max_threads();
    for (const char* solver : {"eigen", "fast"}) {
        s.solver = solver;
        std::vector<Point> points[2];
        for (int t : {1, 2}) {
            omp_set_num_threads(t);
            const std::string root = "run" + std::to_string(t);
            points[t - 1] = run(s, root);
            for (const Point& p : read_points(dir_ / (root + ".en")))
                points[t - 1].push_back(p);
        }
        omp_set_num_threads(threads);
        ASSERT_TRUE(points[0].size() == 8u && points[1].size() == 8u);
        for (std::size_t i = 0; i < points[0].size(); ++i)
            EXPECT_NEAR(points[0][i].delta, points[1][i].delta, 1e-12) << solver << i;
    }
}

double delta_from(double g_n, int n) {
    const Projectile& p = sk_globals.projectile;
    const double coupling = 0.5 * psipsi(n, n - 1) - 0.5 * p.k * p.k * fifi(n, n - 1);
    double b = 1.0;
    if (text_is(sk_globals.scheme, "relativistic")) {
        const double light = sk_globals.v_light;
        b = 2.0 * std::sqrt(p.e / (2.0 * light * light + p.e)) * light / p.k;
    }
    const double x = b * g_n * coupling;
    return std::atan(-(s(n - 1) + x * s(n)) / (c(n - 1) + x * c(n)));
}

// The unnormalised basis spreads the matrix's diagonal over many orders of magnitude; both routes
// must still agree with a long-double solve of the very same matrices.
TEST_F(Driver, GreenElementSurvivesTheBasisScales) {
    RunSetup shell;
    shell.scheme = "relativistic";
    shell.a = 0.5;
    shell.l = shell.kappa = 1;
    RunSetup oscillator = shell;
    oscillator.basis = "gauss";
    oscillator.kappa = -2;
    RunSetup high_l;
    high_l.l = 4;
    high_l.e = 20.0;
    for (RunSetup setup : {shell, oscillator, high_l}) {
        for (int n : {50, 120}) {
            setup.nstart = setup.nend = n;
            apply(setup);
            sk_globals.pass = 1;
            sk_globals.ntrunc = n;
            projectile_set_k(sk_globals.projectile);
            const bool rel = text_is(sk_globals.scheme, "relativistic");
            const int order = rel ? 2 * n : n;
            // The potential matrix in the route's ordering, handed over as a saved file.
            std::vector<double> phi, psi;
            potential_blocks(n, phi, psi);
            std::vector<double> v(static_cast<std::size_t>(order) * order, 0.0);
            std::vector<long double> a(v.size());
            for (int col = 0; col < order; ++col)
                for (int r = 0; r < order; ++r) {
                    const int i = std::max(r, col), j = std::min(r, col);
                    const double value = !rel     ? phi[i + j * n]
                                         : i < n  ? phi[(n - 1 - i) + (n - 1 - j) * n]
                                         : j >= n ? psi[(i - n) + (j - n) * n]
                                                  : 0.0;
                    const std::size_t at = r + static_cast<std::size_t>(col) * order;
                    v[at] = value;
                    a[at] = static_cast<long double>(free_element(r, col)) + value;
                }
            write_vn_to_file(order, v.data());
            const double reference = reference_element(order, a, rel ? 0 : n - 1).value();
            for (const char* solver : {"eigen", "fast"}) {
                sk_globals.solver = padded(solver, 8);
                sk_globals.vn_is_loaded = false;
                sk_globals.vn_file_match = true;
                EXPECT_NEAR(delta_from(g(n - 1, n - 1), n), delta_from(reference, n), 1e-10)
                    << describe(setup) << " N=" << n;
                EXPECT_TRUE(sk_globals.vn_is_loaded) << solver;
                g_release();
                vn(1, 1, CacheAction::release);
            }
            s(1, CacheAction::release);
            c(1, CacheAction::release);
        }
    }
}

// The value the injected source puts at element (0, 0) of the potential block.
double corner_value = 0.0;

void corner_blocks(int n, std::vector<double>& phi, std::vector<double>& psi) {
    phi.assign(static_cast<std::size_t>(n) * n, 0.0);
    psi.assign(static_cast<std::size_t>(n) * n, 0.0);
    phi[0] = corner_value;
}

class NonFinite : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        set_potential_blocks_source(corner_blocks);
    }
    void TearDown() override {
        set_potential_blocks_source(nullptr);
        DriverTest::TearDown();
    }
    // Laguerre basis, l = 0, lambda = 1, k = 1 (e = 1/2), where J(0, 0) = -3/4.
    static RunSetup unit_setup() {
        RunSetup setup;
        setup.pot_type = "user";
        setup.e = 0.5;
        setup.nend = 3;
        setup.solver = "fast";
        return setup;
    }
};

TEST_F(NonFinite, PotentialElementThatIsNotFiniteEndsTheRun) {
    for (double value :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        corner_value = value;
        EXPECT_FATAL(run(unit_setup()),
                     "Error \\(g\\): the potential matrix is not finite at N = 1\\.");
    }
}

// V(0, 0) = 3/4 makes the one-function matrix exactly zero: g is infinite and tan delta is the
// limit -s_1 / c_1 = -0.48 / 0.14 of the closed-form coefficients.
TEST_F(NonFinite, SingularMatrixGivesTheLimitOfTheFormula) {
    corner_value = 0.75;
    RunSetup setup = unit_setup();
    setup.nend = 1;
    const std::vector<Point> points = run(setup);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_NEAR(points[0].tan_delta, -0.48 / 0.14, 1e-13);
    EXPECT_NEAR(points[0].delta, std::atan(-0.48 / 0.14), 1e-13);
}

// The two solver routes on identical potential matrices.
// The potential blocks as the eigen route integrates them, element by element.
void integrated_blocks(int n, std::vector<double>& phi, std::vector<double>& psi) {
    const RunSettings kept = sk_globals;
    sk_globals.ntrunc = n;
    sk_globals.nstart = -1;  // no reloaded matrix
    const bool rel = text_is(sk_globals.scheme, "relativistic");
    const int dim = rel ? 2 * n : n;
    std::vector<double> m(static_cast<std::size_t>(dim) * dim, 0.0);
    vn_lower_triangle(dim, m.data());
    sk_globals = kept;
    phi.assign(static_cast<std::size_t>(n) * n, 0.0);
    psi.assign(rel ? static_cast<std::size_t>(n) * n : 0, 0.0);
    for (int r = 0; r < dim; ++r) {
        for (int c = 0; c <= r; ++c) {
            const double value = m[r + static_cast<std::size_t>(c) * dim];
            if (!rel) {
                phi[r + c * n] = phi[c + r * n] = value;
            } else if (r < n && c < n) {
                const int i = n - 1 - r, j = n - 1 - c;
                phi[i + j * n] = phi[j + i * n] = value;
            } else if (r >= n && c >= n) {
                const int i = r - n, j = c - n;
                psi[i + j * n] = psi[j + i * n] = value;
            }
        }
    }
}

class Solvers : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        set_potential_blocks_source(integrated_blocks);
    }
    void TearDown() override {
        set_potential_blocks_source(nullptr);
        DriverTest::TearDown();
    }

    // Both routes on the same settings; every basis size and every energy must agree.
    // The basis-size points followed by the energy points, modulo pi.
    void expect_same_phase_shifts(RunSetup setup, const std::string& what, double tolerance) {
        std::vector<Point> points[2];
        for (int route = 0; route < 2; ++route) {
            setup.solver = route == 0 ? "eigen" : "fast";
            points[route] = run(setup, setup.solver);
            if (setup.energies)
                for (const Point& p : read_points(dir_ / (setup.solver + ".en")))
                    points[route].push_back(p);
        }
        ASSERT_EQ(points[0].size(), points[1].size()) << what;
        for (std::size_t i = 0; i < points[0].size(); ++i)
            EXPECT_NEAR(std::remainder(points[0][i].delta - points[1][i].delta, M_PI), 0.0,
                        tolerance)
                << what << " " << i << " " << points[0][i].x;
    }
};

TEST_F(Solvers, AgreeOnRandomSettings) {
    std::mt19937 random(20261206);
    auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(random);
    };
    auto pick = [&](int count) { return std::uniform_int_distribution<int>(0, count - 1)(random); };
    for (int i = 0; i < 12; ++i) {
        RunSetup s;
        s.scheme = pick(2) == 0 ? "non-relativistic" : "relativistic";
        s.basis = pick(2) == 0 ? "laguerre" : "gauss";
        s.lambda = uniform(0.6, 1.6);
        s.l = pick(5);
        s.kappa = pick(2) == 0 ? s.l : -s.l - 1;
        if (s.scheme == "relativistic" && s.kappa == 0) s.kappa = -1;
        s.vol = pick(2) == 0 ? "finite" : "infinite";
        s.e = uniform(0.3, 3.0);
        s.nend = 10 + pick(25);
        const double estart = uniform(0.2, 1.0);
        const double eend = estart + uniform(0.5, 2.0);
        s.energy_range(estart, eend, (eend - estart) / 3.0);
        switch (i % 4) {
            case 0:
                s.pot_type = "well";
                s.v0 = uniform(-3.0, 1.0);
                s.a = pick(2) == 0 ? 0.0 : uniform(0.1, 0.6);
                s.b = s.a + uniform(0.5, 2.0);
                break;
            case 1:
                s.pot_type = "coulomb";
                s.z = uniform(0.5, 2.0);
                s.alpha = pick(2) == 0 ? 1.0 : 0.5;
                s.r0 = pick(2) == 0 ? 0.0 : uniform(2.0, 6.0);
                break;
            case 2:
                s.pot_type = "yukawa";
                s.g = uniform(0.5, 1.5);
                s.m = uniform(0.5, 2.0);
                s.r0 = pick(2) == 0 ? 0.0 : uniform(2.0, 6.0);
                break;
            default:
                s.pot_type = "user";
                break;
        }
        if (s.scheme == "relativistic" && s.l == 0 && s.pot_type != "well") s.l = s.kappa = 1;
        expect_same_phase_shifts(s, "case " + std::to_string(i), 1e-10);
    }
}

TEST_F(Solvers, AgreeAtALargeBasis) {
    RunSetup s;
    s.a = 0.3;
    s.l = 2;
    s.lambda = 1.3;
    s.nend = 120;
    s.energy_range(0.5, 1.5, 0.5);
    expect_same_phase_shifts(s, "well at a large basis", 1e-10);
}

// Eigenvalues of the pencil H - E S of the truncated non-relativistic problem at basis size n.
std::vector<double> truncated_eigenvalues(const RunSetup& setup, int n) {
    apply(setup);
    std::vector<double> phi, psi;
    integrated_blocks(n, phi, psi);
    std::vector<double> h(static_cast<std::size_t>(n) * n), s(h.size());
    for (int c = 0; c < n; ++c) {
        for (int r = 0; r < n; ++r) {
            h[r + c * n] = 0.5 * psipsi(r, c) + phi[r + c * n];
            s[r + c * n] = fifi(r, c);
        }
    }
    EnergyGreen pencil;
    pencil.decompose(n, h.data(), s.data());
    return pencil.eigenvalues();
}

TEST_F(Solvers, AgreeNextToEigenvaluesOfTruncatedMatrices) {
    RunSetup s;
    s.a = 0.2;
    s.nend = 30;
    // The first positive eigenvalue at N = 12 and at N = 30.
    auto first_positive = [&](int n) {
        double best = 1e300;
        for (double value : truncated_eigenvalues(s, n))
            if (value > 0.05 && value < best) best = value;
        return best;
    };
    const double at_12 = first_positive(12);
    const double at_30 = first_positive(30);
    // The basis-size pass passes an almost singular matrix at N = 12; the energy pass brackets
    // an eigenvalue of the N = 30 matrix.
    s.e = at_12 + 1e-9 * at_12;
    const double below = at_30 - 1e-9 * at_30, above = at_30 + 1e-9 * at_30;
    s.energy_range(below, above, above - below);
    expect_same_phase_shifts(s, "next to eigenvalues", 1e-10);
}

}  // namespace
}  // namespace skarven::test
