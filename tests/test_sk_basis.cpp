// Guards against wrong basis elements, Laguerre polynomials, basis functions and potentials.

#include <omp.h>

#include <cfloat>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "sk_basis.hpp"
#include "special.hpp"
#include "test_support.hpp"

namespace skarven {
namespace {

using test::relative_error;

class BasisTest : public test::SettingsTest {
  protected:
    static void use(const char* basis, int l, double lambda, int kappa = 0) {
        sk_globals.basis = padded(basis, 8);
        sk_globals.projectile.l = l;
        sk_globals.projectile.kappa = kappa;
        sk_globals.lambda = lambda;
    }
};

// Zero elements are compared on the scale of the diagonal.
TEST_F(BasisTest, ElementsAgainstMpmathIntegrals) {
    test::Accuracy accuracy("fifi, psipsi");
    accuracy.rows("basis_integrals.txt", 100, [&](const std::vector<double>& row) {
        const int i = static_cast<int>(row[3]), n = static_cast<int>(row[4]);
        use(row[0] == 0 ? "laguerre" : "gauss", static_cast<int>(row[1]), row[2]);
        const std::string where = std::to_string(row[0]) + " " + std::to_string(row[1]) + " " +
                                  std::to_string(i) + " " + std::to_string(n);
        accuracy.check(
            std::fabs(fifi(i, n) - row[5]) / std::sqrt(std::fabs(fifi(i, i) * fifi(n, n))), 1e-13,
            "overlap", where);
        accuracy.check(
            std::fabs(psipsi(i, n) - row[6]) / std::sqrt(std::fabs(psipsi(i, i) * psipsi(n, n))),
            1e-13, "kinetic", where);
    });
}

struct LaguerreCase {
    int n;
    double alpha;
    double x;
    double expected;
};

// Hand values and mpmath.laguerre at 30 digits.
// Beyond the double range the polynomial is infinite, not NaN.
TEST(Laguerre, Values) {
    const LaguerreCase cases[] = {{3, 0.0, 1.0, -2.0 / 3.0},
                                  {1, 2.5, 0.75, 1.0 + 2.5 - 0.75},
                                  {0, 3.0, 9.0, 1.0},
                                  {-1, 1.0, 2.0, 0.0},
                                  {30, 3.5, 12.0, 115.14849797997271253},
                                  {52, 1.0, 100.0, 1.2393723296236010546e+20},
                                  {200, 0.5, 700.0, 3.0546542231003026539e+150},
                                  {1000, 1.0, 500.0, 1.1297910551911446488e+107},
                                  {5000, 7.0, 1.0e-3, 8.1476265585559866004e+21},
                                  {5000, 1.0, 3000.0, HUGE_VAL},
                                  {5000, 1.0, 1.0e8, HUGE_VAL}};
    for (const auto& c : cases) {
        const double computed = laguerre(c.n, c.alpha, c.x);
        const double error = std::isinf(c.expected) ? (computed == c.expected ? 0.0 : 1.0)
                                                    : relative_error(computed, c.expected);
        EXPECT_LT(error, 1e-12 + 1e-15 * c.n * c.n) << c.n << " " << c.x;
    }
    double li = 0.0, lj = 1.0;
    laguerre2(3, 1, 0.0, 1.0, li, lj);
    EXPECT_NEAR(li, -2.0 / 3.0, 1e-15);
    EXPECT_EQ(lj, 0.0);
    laguerre2(2, 2, 1.5, 0.3, li, lj);
    EXPECT_EQ(li, lj);
}

// Laguerre basis, l = 0, kappa = -1, lambda = 1: psi_0(r) = -(r/2) e^(-r/2).
TEST_F(BasisTest, FirstSecondComponentFunction) {
    use("laguerre", 0, 1.0, -1);
    for (double r : {1.0e-3, 0.5, 1.0, 2.0, 7.5, 40.0}) {
        double psi = 0.0, unused = 0.0;
        psi2(0, 0, r, psi, unused);
        // The two terms kappa/r phi_0 and E A_0 cancel to this value: rounding is relative to E.
        EXPECT_NEAR(psi, -(r / 2.0) * std::exp(-r / 2.0),
                    4.0 * DBL_EPSILON * (1.0 + r) * std::exp(-r / 2.0))
            << r;
        EXPECT_EQ(psi, unused);
    }
}

TEST_F(BasisTest, ZeroRadius) {
    for (const char* basis : {"laguerre", "gauss"}) {
        for (int l : {0, 1, 3}) {
            use(basis, l, 1.3, -l - 1);
            for (int n : {0, 4, 100}) {
                double a = 1.0, b = 1.0;
                fi2(n, n + 1, 0.0, a, b);
                EXPECT_TRUE(a == 0.0 && b == 0.0) << basis << l << n;
            }
        }
    }
    // psi_n(0) = lambda (kappa + 1) L_n(0) for l = 0.
    use("laguerre", 0, 1.3, 0);
    double a = 0.0, b = 0.0;
    psi2(4, 4, 0.0, a, b);
    EXPECT_LT(relative_error(a, 1.3 * laguerre(4, 1.0, 0.0)), 1e-15);
}

// phi_n and psi_n against mpmath from r = 1e-6 to 1e8 and n up to 5000, where the separate
// factors of the product leave the double range. Values below the double range must come out
// (near) zero; the others agree to the recurrence's own rounding, which grows like n^2 eps near
// the origin (x is small against the coefficient 2k - 1 + alpha it is subtracted from).
TEST_F(BasisTest, ValuesAgainstMpmath) {
    test::Accuracy accuracy("phi, psi");
    accuracy.rows("basis_values.txt", 1000, [&](const std::vector<double>& row) {
        const int l = static_cast<int>(row[1]), n = static_cast<int>(row[3]);
        const double r = row[4];
        for (int column : {5, 6, 7}) {
            const int kappa = column == 7 ? -l - 1 : l;
            use(row[0] == 0 ? "laguerre" : "gauss", l, row[2], kappa);
            double value = 0.0, unused = 0.0;
            (column == 5 ? fi2 : psi2)(n, 0, r, value, unused);
            const double expected = row[column];
            const std::string where = std::to_string(row[0]) + " " + std::to_string(kappa) + " " +
                                      std::to_string(n) + " " + std::to_string(r);
            ASSERT_TRUE(std::isfinite(value)) << where;
            if (std::fabs(expected) < 1.0e-300) {
                EXPECT_LT(std::fabs(value), 1.0e-290) << where;
                continue;
            }
            // Near the cancelling kappa/r term the literal form is accurate relative to it.
            double scale = std::fabs(expected);
            if (column == 7) scale += (l + 1) / r * std::fabs(row[5]);
            accuracy.check(std::fabs(value - expected) / scale, 1e-12 + 1e-15 * n * n,
                           column == 5 ? "phi" : "psi", where);
        }
    });
}

// psi2 called from inside a parallel loop (its sections then run in the calling thread) gives
// the values of a serial call.
TEST_F(BasisTest, SecondComponentFromParallelLoop) {
    use("gauss", 1, 0.9, 1);
    std::vector<double> serial(64), parallel(64);
    for (int k = 0; k < 64; ++k) {
        double unused = 0.0;
        psi2(k, 3, 0.1 + 0.2 * k, serial[k], unused);
    }
#pragma omp parallel for schedule(static)
    for (int k = 0; k < 64; ++k) {
        double unused = 0.0;
        psi2(k, 3, 0.1 + 0.2 * k, parallel[k], unused);
    }
    for (int k = 0; k < 64; ++k)
        EXPECT_EQ(serial[k], parallel[k]) << k;
}

TEST_F(BasisTest, PotentialValues) {
    sk_globals.potential.pot_type = padded("coulomb", 8);
    sk_globals.potential.z = 2.0;
    sk_globals.potential.alpha = 1.0;
    EXPECT_DOUBLE_EQ(v(4.0), -0.5);
    sk_globals.potential.alpha = 2.0;
    EXPECT_DOUBLE_EQ(v(4.0), -0.125);
    sk_globals.potential.pot_type = padded("yukawa", 8);
    sk_globals.potential.g = 2.0;
    sk_globals.potential.m = 1.0;
    EXPECT_LT(relative_error(v(1.0), -4.0 / std::numbers::e), 1e-15);
    sk_globals.potential.pot_type = padded("well", 8);
    sk_globals.potential.v0 = 3.0;
    sk_globals.potential.a = 1.0;
    sk_globals.potential.b = 2.0;
    for (double r : {0.5, 1.0, 1.5, 2.0, 2.5})
        EXPECT_EQ(v(r), r < 1.0 || r > 2.0 ? 0.0 : 3.0) << r;
    sk_globals.potential.pot_type = padded("user", 8);
    EXPECT_EQ(v(1.0), 0.0);
}

TEST_F(BasisTest, Integrands) {
    use("laguerre", 0, 1.0, -1);
    sk_globals.ii = 0;
    sk_globals.jj = 0;
    sk_globals.potential.pot_type = padded("user", 8);
    for (double r : {0.0, 0.1, 1.0, 10.0}) {
        EXPECT_EQ(fi_v_fi(r), 0.0);
        EXPECT_EQ(psi_v_psi(r), 0.0);
    }
    // phi_0 v phi_0 = -r e^-r for the Coulomb potential; 0 rather than NaN at r = 0.
    sk_globals.potential.pot_type = padded("coulomb", 8);
    sk_globals.potential.z = 1.0;
    sk_globals.potential.alpha = 1.0;
    for (double r : {0.2, 1.0, 3.0}) {
        EXPECT_LT(relative_error(fi_v_fi(r), -r * std::exp(-r)), 1e-15) << r;
        EXPECT_LT(relative_error(psi_v_psi(r), -(r / 4.0) * std::exp(-r)), 1e-14) << r;
    }
    EXPECT_EQ(fi_v_fi(0.0), 0.0);
    EXPECT_EQ(psi_v_psi(0.0), 0.0);
}

}  // namespace
}  // namespace skarven
