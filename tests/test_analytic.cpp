// Guards against wrong exact square-well and shell phase shifts (mpmath matching), a lost flag.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "analytic.hpp"
#include "settings.hpp"
#include "special.hpp"
#include "test_support.hpp"

namespace skarven {
namespace {

constexpr double pi = 3.141592653589793;

constexpr double c_finite = 137.0359996287515;
constexpr double c_infinite = 5000.0;

class AnalyticTest : public test::SettingsTest {
  protected:
    void shell(double e, double v0, double a, double b) {
        sk_globals.potential.pot_type = padded("well", 8);
        sk_globals.potential.v0 = v0;
        sk_globals.potential.a = a;
        sk_globals.potential.b = b;
        sk_globals.projectile.e = e;
    }
    void schroedinger(int l) {
        sk_globals.scheme = padded("non-relativistic", 16);
        sk_globals.projectile.l = l;
        sk_globals.projectile.k = std::sqrt(2.0 * sk_globals.projectile.e);
    }
    void dirac(int kappa, double c) {
        sk_globals.scheme = padded("relativistic", 16);
        sk_globals.v_light = c;
        sk_globals.projectile.kappa = kappa;
        sk_globals.projectile.l = kappa > 0 ? kappa : -kappa - 1;
        const double e = sk_globals.projectile.e;
        sk_globals.projectile.k = std::sqrt(e * (e + 2.0 * c * c)) / c;
    }
};

// Independent matching of mpmath solutions at 40 digits (gen_analytic.py).
TEST_F(AnalyticTest, MatchesHighPrecisionMatching) {
    test::Accuracy accuracy("delta");
    accuracy.rows("analytic_reference.txt", 20, [&](const std::vector<double>& r) {
        sk_globals = RunSettings{};
        shell(r[4], r[5], r[6], r[7]);
        if (r[0] == 0.0)
            schroedinger(static_cast<int>(r[1]));
        else
            dirac(static_cast<int>(r[2]), r[3]);
        const std::string where = std::to_string(r[1]) + " " + std::to_string(r[2]) + " " +
                                  std::to_string(r[4]) + " " + std::to_string(r[5]);
        accuracy.check(std::fabs(delta_analytic() - r[8]), 1e-11,
                       r[0] == 0.0 ? "Schroedinger" : "Dirac", where);
        EXPECT_FALSE(sk_globals.delta_analytic_error) << where;
    });
}

// tan(delta) = (k tan(qb) - q tan(kb)) / (q + k tan(kb) tan(qb)) for l = 0 and a = 0.
TEST_F(AnalyticTest, SWaveWellIsTheTextbookFormula) {
    struct Well {
        double e, v0, b;
    };
    const Well wells[] = {{1.0, -1.0, 1.0}, {0.02, -3.0, 2.0}, {5.0, -0.5, 0.7},
                          {2.0, 1.5, 1.3},  {0.4, 0.39, 4.0},  {30.0, -60.0, 1.1}};
    for (const Well& w : wells) {
        shell(w.e, w.v0, 0.0, w.b);
        schroedinger(0);
        const double k = std::sqrt(2.0 * w.e), q = std::sqrt(2.0 * (w.e - w.v0));
        const double tk = std::tan(k * w.b), tq = std::tan(q * w.b);
        EXPECT_NEAR(delta_analytic(), std::atan((k * tq - q * tk) / (q + k * tk * tq)), 1e-13)
            << w.e;
    }
    EXPECT_FALSE(sk_globals.delta_analytic_error);
}

TEST_F(AnalyticTest, NoPotentialGivesNoPhaseShift) {
    for (int l : {0, 1, 3}) {
        shell(1.3, 0.0, 0.4, 1.7);
        schroedinger(l);
        EXPECT_NEAR(delta_analytic(), 0.0, 1e-14) << l;
        shell(1.3, 0.0, 0.0, 1.7);
        EXPECT_NEAR(delta_analytic(), 0.0, 1e-14) << l;
    }
    for (int kappa : {-1, 1, -3, 2}) {
        shell(1.3, 0.0, 0.4, 1.7);
        dirac(kappa, c_finite);
        EXPECT_NEAR(delta_analytic(), 0.0, 1e-14) << kappa;
    }
    EXPECT_FALSE(sk_globals.delta_analytic_error);
}

TEST_F(AnalyticTest, ShiftMovesOnlyNegativePhaseShifts) {
    // Repulsive well: delta = -0.96959149763552328388 (analytic_reference.txt).
    shell(3.0, 2.0, 0.0, 1.0);
    schroedinger(0);
    const double negative = delta_analytic();
    ASSERT_LT(negative, 0.0);
    sk_globals.shift = true;
    EXPECT_DOUBLE_EQ(delta_analytic(), pi + negative);
    shell(1.0, -1.0, 0.0, 1.0);
    schroedinger(0);
    EXPECT_NEAR(delta_analytic(), 0.731005086557, 1e-11);
    shell(1.0, -1.0, 0.0, 0.0);  // no well at all: exactly 0, not pi
    EXPECT_EQ(delta_analytic(), 0.0);
    EXPECT_FALSE(sk_globals.delta_analytic_error);
}

// No analytic result: another potential type, an energy at or below a repulsive well's value
// (a zero argument), a Dirac well without a shell. The flag then stays set for the run.
TEST_F(AnalyticTest, NoResultSetsTheFlagForTheRestOfTheRun) {
    const struct {
        const char* what;
        const char* pot_type;
        double v0, a;
        int kappa;  // 0: Schroedinger l = 0
    } cases[] = {{"coulomb", "coulomb", -1.0, 0.0, 0},
                 {"energy below the well", "well", 1.5, 0.0, 0},
                 {"energy at the well", "well", 1.0, 0.0, 0},
                 {"Dirac without a shell", "well", -1.0, 0.0, -1}};
    for (const auto& c : cases) {
        sk_globals = RunSettings{};
        shell(1.0, c.v0, c.a, 1.0);
        if (c.kappa == 0)
            schroedinger(0);
        else
            dirac(c.kappa, c_finite);
        sk_globals.potential.pot_type = padded(c.pot_type, 8);
        EXPECT_EQ(delta_analytic(), 0.0) << c.what;
        EXPECT_TRUE(sk_globals.delta_analytic_error) << c.what;
        shell(1.0, -1.0, 0.5, 1.0);
        schroedinger(0);
        EXPECT_EQ(delta_analytic(), 0.0) << c.what;  // the flag is never cleared
    }
}

TEST_F(AnalyticTest, FormYIsTheAdjugateOfFormX) {
    for (int kappa : {-1, 1, -2, 2, -4, 3}) {
        sk_globals.projectile.kappa = kappa;
        sk_globals.projectile.l = kappa > 0 ? kappa : -kappa - 1;
        for (double r : {0.3, 1.0, 2.7}) {
            double x[4], y[4];
            formx(x, r, 1.4, 0.01);
            formy(y, r, 1.4, 0.01);
            const double det = x[0] * x[3] - x[2] * x[1];
            const double product[4] = {y[0] * x[0] + y[2] * x[1], y[1] * x[0] + y[3] * x[1],
                                       y[0] * x[2] + y[2] * x[3], y[1] * x[2] + y[3] * x[3]};
            const double size = std::fabs(y[0] * x[0]) + std::fabs(y[2] * x[1]);
            EXPECT_NEAR(product[0], det, 1e-15 * size) << kappa << " " << r;
            EXPECT_NEAR(product[3], det, 1e-15 * size) << kappa << " " << r;
            EXPECT_TRUE(product[1] == 0.0 && product[2] == 0.0);
        }
    }
    EXPECT_FALSE(sk_globals.delta_analytic_error);
}

// kappa = -1: large components j_0, n_0, small ones -R j_1, -R n_1 (up to the column sign).
TEST_F(AnalyticTest, FormXForKappaMinusOne) {
    sk_globals.projectile.kappa = -1;
    const double r = 0.8, p = 2.5, ratio = 0.3, z = p * r;
    double x[4];
    formx(x, r, p, ratio);
    const double j0 = std::sin(z) / z, n0 = -std::cos(z) / z;
    const double j1 = std::sin(z) / (z * z) - std::cos(z) / z;
    const double n1 = -std::cos(z) / (z * z) - std::sin(z) / z;
    const double expected[4] = {j0, -ratio * j1, -n0, ratio * n1};
    for (int i = 0; i < 4; ++i)
        EXPECT_LT(test::relative_error(x[i], expected[i]), 1e-14) << i;
}

}  // namespace
}  // namespace skarven
