// Guards against wrong free-solution coefficients, Gegenbauer and hypergeometric values.
#include <algorithm>
#include <cmath>
#include <vector>

#include "coefficients.hpp"
#include "basis.hpp"
#include "settings_fixture.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

// A free problem with fresh tables (a release reads a value first, so it runs on a small one).
void fresh_problem(const char* basis, int l, double lambda, double k, int nend) {
    for (bool release : {true, false}) {
        sk_globals = RunSettings{};
        sk_globals.basis = padded(release ? "laguerre" : basis, 8);
        sk_globals.projectile.l = release ? 0 : l;
        sk_globals.lambda = release ? 1.0 : lambda;
        sk_globals.projectile.k = release ? 1.0 : k;
        sk_globals.nend = release ? 5 : nend;
        sk_globals.pass = 1;
        if (release) s(0, CacheAction::release), c(0, CacheAction::release);
    }
}

class Coefficients : public SettingsTest {
  protected:
    void TearDown() override {
        fresh_problem("laguerre", 0, 1.0, 1.0, 5);
        SettingsTest::TearDown();
    }
};

// Sum of |terms| over |sum| of 2F1(a, -m; c; z): the digits the closed forms of c_0, c_1 lose.
double gauss_series_condition(double a, int m, double c, double z) {
    double term = 1.0, sum = 1.0, size = 1.0;
    for (int i = 0; i < m; ++i) {
        term *= (a + i) * (i - m) / ((c + i) * (i + 1)) * z;
        sum += term;
        size += std::fabs(term);
    }
    return size / std::fabs(sum);
}

// 40-digit closed forms; c_0, c_1's Gauss series cancel, so the Laguerre tolerance grows with it.
TEST_F(Coefficients, MatchHighPrecisionClosedForms) {
    for_cases("coefficients_reference.txt", 4, [](const std::vector<std::vector<double>>& rows) {
        const auto& h = rows.front();
        fresh_problem(h[0] == 0 ? "laguerre" : "gauss", int(h[1]), h[2], h[3],
                      int(rows.size()) - 1);
        const int l = int(h[1]);
        const double u = h[2] * h[2] / (4.0 * h[3] * h[3] + h[2] * h[2]);
        double tolerance = 2e-13;
        for (int m = 1; m <= 2 && h[0] == 0; ++m)  // Laguerre only
            tolerance = std::max(tolerance,
                                 2e-13 + 1e-15 * gauss_series_condition(m, 2 * l + m, 0.5 - l, u));
        for (const auto& r : rows) {
            const double envelope = std::hypot(r[5], r[6]);
            EXPECT_LE(std::fabs(s(int(r[4])) - r[5]) / envelope, tolerance) << "n = " << r[4];
            EXPECT_LE(std::fabs(c(int(r[4])) - r[6]) / envelope, tolerance) << "n = " << r[4];
        }
    });
}

// 60-digit values to n = 5000, after the one power of two the tables may carry above q^2 = 400.
TEST_F(Coefficients, MatchSixtyDigitValuesUpToN5000) {
    const int cases = for_cases<long double>(
        "coefficients_range.txt", 3, [](const std::vector<std::vector<long double>>& rows) {
            const auto& end = rows.back();
            const double k = double(end[2]);
            fresh_problem(end[0] == 0 ? "laguerre" : "gauss", int(end[1]), 1.0, k, 5000);
            const int n_end = int(end[3]);
            const long double ratio = std::hypot(static_cast<long double>(s(n_end)), c(n_end)) /
                                      std::hypot(end[4], end[5]);
            const long shift = std::lround(std::log2(ratio));
            EXPECT_NEAR(double(std::log2(ratio)), double(shift), 1e-9);
            EXPECT_EQ(shift, k * k < 401.0 ? 0 : shift);
            const long double factor = std::ldexp(1.0L, int(shift));
            for (const auto& r : rows) {
                const long double size = factor * std::hypot(r[4], r[5]);
                EXPECT_LT(std::fabs(s(int(r[3])) - factor * r[4]) / size, 1e-13) << r[3];
                EXPECT_LT(std::fabs(c(int(r[3])) - factor * r[5]) / size, 1e-13) << r[3];
            }
        });
    EXPECT_EQ(cases, 24);
}

// s_0, s_1 solve the first row of J s = 0, which the recurrence for higher n does not enforce.
TEST_F(Coefficients, RegularSolutionSolvesTheFirstRow) {
    for (const char* basis : {"laguerre", "gauss"}) {
        fresh_problem(basis, 3, 0.4, 2.5, 10);
        const double k2 = 2.5 * 2.5;
        const double a = (psipsi(0, 0) - k2 * fifi(0, 0)) * s(0),
                     b = (psipsi(0, 1) - k2 * fifi(0, 1)) * s(1);
        EXPECT_LT(std::fabs(a + b) / (std::fabs(a) + std::fabs(b)), 1e-14) << basis;
    }
}

// Size pass: first fill kept; energy pass: refilled; a release reads first; indices up to 5 held.
TEST_F(Coefficients, TableLifeCycle) {
    fresh_problem("laguerre", 0, 1.0, 1.0, 10);
    EXPECT_NEAR(c(0), -0.6, 1e-15);
    sk_globals.projectile.k = 0.5;  // ignored until the tables are refilled
    EXPECT_NEAR(c(1, CacheAction::release), 0.14, 1e-15);
    EXPECT_NEAR(s(1, CacheAction::release), 0.48, 1e-15);
    EXPECT_NEAR(c(1), 0.5, 1e-15);  // new tables at the new energy
    sk_globals.pass = 2;
    sk_globals.projectile.k = 1.0;
    EXPECT_NEAR(c(2), 0.312, 1e-15);
    fresh_problem("laguerre", 0, 1.0, 0.5, 1);
    EXPECT_NEAR(c(5), 1.0 / 6.0, 1e-15);  // -cos(3 pi)/6
    fresh_problem("laguerre", 0, 1.0, 0.5, 3);
    EXPECT_THROW(s(4), InternalError);
}

TEST_F(Coefficients, ErrorReports) {
    // Beyond k/lambda = 50 the oscillator tables would span more than the range of a double.
    fresh_problem("gauss", 0, 1.0, 50.01, 10);
    const char* beyond = "k/lambda is above 50, beyond the range of the gauss basis";
    EXPECT_ERROR(c(0), "c", beyond);
    EXPECT_ERROR(s(0), "s", beyond);
}

}  // namespace
}  // namespace skarven::test
