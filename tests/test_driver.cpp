// The phase-shift driver end to end in this process: zero potentials, the worked point,
// growth against full builds, convergence to the exact square-well phase shift, independence of
// the basis scale and of the thread count.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
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

class Driver : public DriverTest {
  protected:
    // Averages over the last `tail` basis sizes at lambda = 0.7 and 1.5 match the one at 1.
    void expect_scale_independence(const std::vector<RunSetup>& setups, std::size_t tail,
                                   double tolerance) {
        auto tail_average = [&](const RunSetup& s) {
            const std::vector<Point> points = run(s);
            double sum = 0.0;
            for (std::size_t i = points.size() - tail; i < points.size(); ++i) {
                sum += points[i].delta;
            }
            return sum / static_cast<double>(tail);
        };
        for (RunSetup s : setups) {
            s.lambda = 1.0;
            const double reference = tail_average(s);
            for (double lambda : {0.7, 1.5}) {
                s.lambda = lambda;
                EXPECT_NEAR(tail_average(s), reference, tolerance)
                    << s.scheme << " " << s.basis << " lambda=" << lambda;
            }
        }
    }
};

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
                // The fast route's quadrature rule follows the largest basis size of the run.
                const double tolerance = s.solver == "fast" ? 1e-10 : 1e-12;
                EXPECT_NEAR(built[0].delta, grown[n - 1].delta, tolerance)
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
        RecordProperty("error_at_N" + std::to_string(n),
                       std::to_string(points[n - 1].delta - exact));
    }
    // The well's edge makes the convergence slow and oscillating; its envelope shrinks.
    double worst_early = 0.0, worst_late = 0.0;
    for (int n = 21; n <= 40; ++n)
        worst_early = std::max(worst_early, std::fabs(points[n - 1].delta - exact));
    for (int n = 81; n <= 100; ++n)
        worst_late = std::max(worst_late, std::fabs(points[n - 1].delta - exact));
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
    for (int n = 11; n <= 20; ++n)
        worst_early = std::max(worst_early, std::fabs(points[n - 1].delta - exact));
    for (int n = 51; n <= 60; ++n)
        worst_late = std::max(worst_late, std::fabs(points[n - 1].delta - exact));
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
    expect_scale_independence({yukawa, dirac}, 10, 1e-3);
}

// The same in the oscillator basis, whose convergence is slower: the fast route reaches N = 600.
TEST_F(Driver, OscillatorPhaseShiftDoesNotDependOnTheBasisScale) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "too slow under the sanitizers";
#endif
    RunSetup yukawa;
    yukawa.pot_type = "yukawa";
    yukawa.g = 1.0;
    yukawa.m = 1.0;
    yukawa.l = 1;
    yukawa.e = 0.5;
    yukawa.basis = "gauss";
    yukawa.solver = "fast";
    yukawa.nend = 600;
    RunSetup dirac = yukawa;
    dirac.scheme = "relativistic";
    dirac.kappa = 1;
    expect_scale_independence({yukawa, dirac}, 50, 3e-4);
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

namespace skarven::test {
namespace {

// The Green's-function element of the scaled matrix by Gaussian elimination with partial
// pivoting in long double: an independent solve of the same matrices.
long double long_double_green(int order, const std::vector<long double>& a, int p) {
    std::vector<long double> m(a);
    std::vector<long double> rhs(order, 0.0L);
    rhs[p] = 1.0L;
    auto at = [&](int r, int c) -> long double& {
        return m[r + static_cast<std::size_t>(c) * order];
    };
    for (int k = 0; k < order; ++k) {
        int pivot = k;
        for (int r = k + 1; r < order; ++r) {
            if (std::fabs(at(r, k)) > std::fabs(at(pivot, k))) pivot = r;
        }
        if (pivot != k) {
            for (int c = 0; c < order; ++c)
                std::swap(at(k, c), at(pivot, c));
            std::swap(rhs[k], rhs[pivot]);
        }
        for (int r = k + 1; r < order; ++r) {
            const long double f = at(r, k) / at(k, k);
            if (f == 0.0L) continue;
            for (int c = k; c < order; ++c)
                at(r, c) -= f * at(k, c);
            rhs[r] -= f * rhs[k];
        }
    }
    for (int r = order - 1; r >= 0; --r) {
        long double sum = rhs[r];
        for (int c = r + 1; c < order; ++c)
            sum -= at(r, c) * rhs[c];
        rhs[r] = sum / at(r, r);
    }
    return rhs[p];
}

double delta_from(double g_n, int n) {
    const Projectile& p = sk_globals.projectile;
    double coupling = 0.5 * psipsi(n, n - 1) - 0.5 * p.k * p.k * fifi(n, n - 1);
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
    shell.vol = "infinite";
    shell.a = 0.5;
    shell.l = 1;
    shell.kappa = 1;
    RunSetup oscillator = shell;
    oscillator.basis = "gauss";
    oscillator.kappa = -2;
    RunSetup high_l;
    high_l.l = 4;
    high_l.e = 20.0;
#if defined(__SANITIZE_ADDRESS__)
    const std::vector<int> sizes = {20, 50};
#else
    const std::vector<int> sizes = {50, 100, 200};
#endif
    for (RunSetup setup : {shell, oscillator, high_l}) {
        for (int n : sizes) {
            setup.nstart = n;
            setup.nend = n;
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
            for (int c = 0; c < order; ++c) {
                for (int r = c; r < order; ++r) {
                    double value = 0.0;
                    if (!rel) {
                        value = phi[r + c * n];
                    } else if (r < n && c < n) {
                        value = phi[(n - 1 - r) + (n - 1 - c) * n];
                    } else if (r >= n && c >= n) {
                        value = psi[(r - n) + (c - n) * n];
                    }
                    v[r + static_cast<std::size_t>(c) * order] =
                        v[c + static_cast<std::size_t>(r) * order] = value;
                }
            }
            write_vn_to_file(order, v.data());

            std::vector<long double> a(v.size());
            for (int c = 0; c < order; ++c) {
                for (int r = 0; r < order; ++r) {
                    a[r + static_cast<std::size_t>(c) * order] =
                        static_cast<long double>(free_element(r, c)) +
                        v[r + static_cast<std::size_t>(c) * order];
                }
            }
            std::vector<long double> scale(order);
            for (int r = 0; r < order; ++r) {
                const long double d = std::fabs(a[r + static_cast<std::size_t>(r) * order]);
                scale[r] = d > 0.0L ? 1.0L / std::sqrt(d) : 1.0L;
            }
            for (int c = 0; c < order; ++c) {
                for (int r = 0; r < order; ++r)
                    a[r + static_cast<std::size_t>(c) * order] *= scale[r] * scale[c];
            }
            const int p = rel ? 0 : n - 1;
            const double reference =
                static_cast<double>(scale[p] * scale[p] * long_double_green(order, a, p));
            const double delta_reference = delta_from(reference, n);

            for (const char* solver : {"eigen", "fast"}) {
                sk_globals.solver = padded(solver, 8);
                sk_globals.vn_is_loaded = false;
                sk_globals.vn_file_match = true;
                const double g_n = g(n - 1, n - 1);
                EXPECT_TRUE(sk_globals.vn_is_loaded) << solver;
                EXPECT_NEAR(delta_from(g_n, n), delta_reference, 1e-10)
                    << describe(setup) << " N=" << n << " g=" << g_n << " reference " << reference;
                g_release();
                vn(1, 1, CacheAction::release);
            }
            s(1, CacheAction::release);
            c(1, CacheAction::release);
        }
    }
}

}  // namespace
}  // namespace skarven::test
