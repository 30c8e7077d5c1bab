// Guards against wrong free-solution coefficients (mpmath closed forms, 60-digit values up to
// n = 5000) and table life cycles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "coefficients.hpp"
#include "settings.hpp"
#include "sk_basis.hpp"
#include "test_support.hpp"

namespace skarven {
namespace {

using test::SettingsTest;

void set_free_problem(const char* basis, int l, double lambda, double k, int nend) {
    sk_globals.basis = padded(basis, 8);
    sk_globals.projectile.l = l;
    sk_globals.lambda = lambda;
    sk_globals.projectile.k = k;
    sk_globals.nend = nend;
    sk_globals.pass = 1;
}

// Tables outlive a test; every test starts from unallocated ones.
void release_tables() {
    const RunSettings saved = sk_globals;
    set_free_problem("laguerre", 0, 1.0, 1.0, 5);
    s(0, CacheAction::release);
    c(0, CacheAction::release);
    sk_globals = saved;
}

class CoefficientsTest : public SettingsTest {
  protected:
    void SetUp() override {
        SettingsTest::SetUp();
        release_tables();
    }
    void TearDown() override {
        release_tables();
        SettingsTest::TearDown();
    }
};

double free_j(int a, int b) {
    const double k = sk_globals.projectile.k;
    return 0.5 * psipsi(a, b) - 0.5 * k * k * fifi(a, b);
}

// For l = 0 and lambda = 1 every entry has the closed form sin((n+1) theta)/(n+1) and
// -cos((n+1) theta)/(n+1) with cos theta = x.
TEST_F(CoefficientsTest, LaguerreL0Lambda1FollowsTrigonometricForm) {
    constexpr int nmax = 200;
    for (double k : {0.05, 0.3, 0.5, 1.0, 1.7, 4.0, 20.0}) {
        release_tables();
        set_free_problem("laguerre", 0, 1.0, k, nmax);
        const double q2 = k * k;
        const double theta = std::acos((q2 - 0.25) / (q2 + 0.25));
        for (int n = 0; n <= nmax; ++n) {
            const double expected_s = std::sin((n + 1) * theta) / (n + 1);
            const double expected_c = -std::cos((n + 1) * theta) / (n + 1);
            // Absolute error in units of the amplitude 1/(n+1).
            ASSERT_LT(std::fabs(s(n) - expected_s) * (n + 1), 1e-12) << k << " " << n;
            ASSERT_LT(std::fabs(c(n) - expected_c) * (n + 1), 1e-12) << k << " " << n;
        }
    }
}

// Reference: closed forms for every n at 40 digits (gen_coefficients.py).
// Sum of |terms| over |sum| of 2F1(a, -m; c; z): the digits the closed forms of c_0 and c_1
// lose to cancellation.
double gauss_series_condition(double a, int m, double c, double z) {
    double term = 1.0, sum = 1.0, size = 1.0;
    for (int i = 0; i < m; ++i) {
        term *= (a + i) * (i - m) / ((c + i) * (i + 1)) * z;
        sum += term;
        size += std::fabs(term);
    }
    return size / std::fabs(sum);
}

// In the Laguerre basis c_0 and c_1 come from Gauss series with the lower parameter 1/2 - l,
// which cancel heavily for larger l and u (terms 3.5e4 times the sum at l = 3, u = 0.92); the
// relation carries their error on, so the tolerance grows with that cancellation.
TEST_F(CoefficientsTest, MatchesHighPrecisionClosedForms) {
    const auto rows = test::read_table("coefficients_reference.txt");
    ASSERT_FALSE(rows.empty());
    test::Accuracy accuracy("s, c");
    for (std::size_t first = 0; first < rows.size();) {
        std::size_t last = first;
        while (last < rows.size() &&
               std::equal(rows[first].begin(), rows[first].begin() + 4, rows[last].begin()))
            ++last;
        const std::vector<double>& head = rows[first];
        const bool laguerre = head[0] == 0.0;
        const int l = static_cast<int>(head[1]);
        release_tables();
        set_free_problem(laguerre ? "laguerre" : "gauss", l, head[2], head[3],
                         static_cast<int>(last - first) - 1);
        double tolerance = 2e-13;
        if (laguerre) {
            const double u = head[2] * head[2] / (4.0 * head[3] * head[3] + head[2] * head[2]);
            tolerance += 1e-15 * std::max(gauss_series_condition(1.0, 2 * l + 1, 0.5 - l, u),
                                          gauss_series_condition(2.0, 2 * l + 2, 0.5 - l, u));
        }
        for (std::size_t i = first; i < last; ++i) {
            const int n = static_cast<int>(rows[i][4]);
            // Both solutions oscillate under one envelope; measure errors against it.
            const double envelope = std::hypot(rows[i][5], rows[i][6]);
            const std::string where = std::to_string(i);  // row of the table
            accuracy.check(std::fabs(s(n) - rows[i][5]) / envelope, tolerance, "s", where);
            accuracy.check(std::fabs(c(n) - rows[i][6]) / envelope, tolerance, "c", where);
        }
        first = last;
    }
}

// The closed forms of s_0 and s_1 solve the first row of the free relation J s = 0, which the
// recurrence for the higher entries does not enforce.
TEST_F(CoefficientsTest, RegularSolutionSolvesTheFirstRow) {
    const struct {
        const char* basis;
        int l;
        double lambda, k;
    } cases[] = {{"laguerre", 0, 0.6, 1.3}, {"laguerre", 2, 1.8, 0.7}, {"laguerre", 4, 0.4, 2.5},
                 {"gauss", 0, 1.0, 0.9},    {"gauss", 1, 0.6, 1.3},    {"gauss", 3, 2.2, 0.4}};
    for (const auto& f : cases) {
        release_tables();
        set_free_problem(f.basis, f.l, f.lambda, f.k, 10);
        const double a = free_j(0, 0) * s(0), b = free_j(0, 1) * s(1);
        EXPECT_LT(std::fabs(a + b) / (std::fabs(a) + std::fabs(b)), 1e-14) << f.basis << f.l;
    }
}

constexpr double ulps = 1e-15;

// The basis-size pass keeps the first fill; the energy pass refills on every call; a release
// reads the value first. Values at k = 1 and k = 0.5 (l = 0, lambda = 1).
TEST_F(CoefficientsTest, TableLifeCycle) {
    set_free_problem("laguerre", 0, 1.0, 1.0, 10);
    EXPECT_NEAR(s(0), 0.8, ulps);
    EXPECT_NEAR(c(0), -0.6, ulps);
    sk_globals.projectile.k = 0.5;  // ignored until the tables are refilled
    EXPECT_NEAR(s(2), 0.352 / 3.0, ulps);
    EXPECT_NEAR(c(1, CacheAction::release), 0.14, ulps);
    EXPECT_NEAR(s(1, CacheAction::release), 0.48, ulps);
    EXPECT_NEAR(s(0), 1.0, ulps);  // new tables at the new energy
    EXPECT_NEAR(c(1), 0.5, ulps);
    sk_globals.pass = 2;
    sk_globals.projectile.k = 1.0;
    EXPECT_NEAR(s(2), 0.352 / 3.0, ulps);
    EXPECT_NEAR(c(2), 0.312, ulps);
    sk_globals.projectile.k = 0.5;
    EXPECT_NEAR(s(0), 1.0, ulps);
}

TEST_F(CoefficientsTest, ShortRunsStillHoldIndicesUpToFive) {
    for (int nend : {1, 2}) {
        release_tables();
        set_free_problem("laguerre", 0, 1.0, 0.5, nend);
        // At x = 0: s_4 = sin(5 pi/2)/5, c_5 = -cos(3 pi)/6.
        EXPECT_NEAR(s(4), 0.2, 1e-15) << nend;
        EXPECT_NEAR(c(5), 1.0 / 6.0, 1e-15) << nend;
    }
    release_tables();
    set_free_problem("laguerre", 0, 1.0, 0.5, 3);
    EXPECT_NEAR(s(3), 0.0, 1e-15);
    EXPECT_DEATH(s(4), "internal error");
}

TEST(Gegen, LowDegreesAndNegativeDegree) {
    for (int m : {1, 2, 3, 7, 20}) {
        for (double x : {-1.0, -0.73, 0.0, 0.2, 0.6, 0.999, 1.0}) {
            SCOPED_TRACE(testing::Message() << m << " " << x);
            EXPECT_NEAR(gegen(0, m, x), 1.0, 4e-15);
            EXPECT_NEAR(gegen(1, m, x), 2.0 * m * x, 8e-15 * m);
            EXPECT_NEAR(gegen(2, m, x), 2.0 * m * (m + 1) * x * x - m, 1e-14 * m * m);
            EXPECT_EQ(gegen(-1, m, x), 0.0);
            EXPECT_EQ(gegen(-5, m, x), 0.0);
        }
    }
}

// n C_n = 2x (n+m-1) C_(n-1) - (n+2m-2) C_(n-2), and C_n^(m)(1) = (n+2m-1)!/(n! (2m-1)!).
TEST(Gegen, ThreeTermRecurrenceAndEndValue) {
    for (int m : {1, 2, 5}) {
        double end_value = 1.0;  // C_0^(m)(1)
        for (int n = 1; n <= 25; ++n) {
            end_value *= double(n + 2 * m - 1) / n;
            EXPECT_LT(test::relative_error(gegen(n, m, 1.0), end_value), 1e-13) << n << " " << m;
            if (n < 2) continue;
            for (double x : {-0.81, -0.2, 0.35, 0.9}) {
                EXPECT_NEAR(n * gegen(n, m, x),
                            2.0 * x * (n + m - 1) * gegen(n - 1, m, x) -
                                (n + 2 * m - 2) * gegen(n - 2, m, x),
                            1e-13 * end_value * n)
                    << n << " " << m << " " << x;
            }
        }
    }
}

struct SeriesValue {
    double a, b, c, z, expected;
};

TEST(Series, GaussAndKummerValues) {
    const SeriesValue gauss[] = {{1.0, -1.0, 0.5, 0.2, 0.6},
                                 {2.0, -2.0, 0.5, 0.2, -0.28},
                                 // 2F1(a, b; b; z) = (1 - z)^(-a)
                                 {1.5, 2.0, 2.0, 0.3, std::pow(0.7, -1.5)},
                                 // 2F1(1, 1; 2; z) = -ln(1 - z)/z
                                 {1.0, 1.0, 2.0, 0.25, -std::log(0.75) / 0.25},
                                 // 2F1(-n, n; 1/2; sin^2 t) = cos(2 n t)
                                 {-7.0, 7.0, 0.5, std::pow(std::sin(0.4), 2), std::cos(5.6)}};
    for (const SeriesValue& v : gauss) {
        EXPECT_LT(test::relative_error(hyperg21(v.a, v.b, v.c, v.z), v.expected), 1e-14) << v.a;
    }
    const SeriesValue kummer[] = {
        {1.0, 0.0, 1.0, 3.0, std::exp(3.0)},                 // 1F1(a; a; z) = e^z
        {1.0, 0.0, 2.0, -2.0, (std::exp(-2.0) - 1) / -2.0},  // 1F1(1; 2; z) = (e^z - 1)/z
        {-2.0, 0.0, 0.5, 1.5, 1.0 - 6.0 + 3.0},              // 1F1(-2; 1/2; z) = 1 - 4z + 4z^2/3
        {2.0, 0.0, 1.0, 30.0, std::exp(30.0) * 31.0},        // 1F1(2; 1; z) = (1 + z) e^z
    };
    for (const SeriesValue& v : kummer) {
        EXPECT_LT(test::relative_error(hyperg11(v.a, v.c, v.z), v.expected), 1e-14) << v.a;
    }
}

TEST(CoefficientsDeathTest, FatalReports) {
    EXPECT_FATAL(gegen(2, 1, 1.5), "Error \\(gegen\\): improper argument\\.");
    EXPECT_FATAL(gegen(0, 3, -1.0000001), "Error \\(gegen\\): improper argument\\.");
    // Geometric series at z = 0.99: its 501st term is still far from negligible.
    EXPECT_FATAL(hyperg21(1.0, 1.0, 1.0, 0.99), "Error \\(hyperg21\\): convergence failure\\.");
    EXPECT_FATAL(hyperg11(1.0, 1.0, 400.0), "Error \\(hyperg11\\): convergence failure\\.");
    // Beyond k/lambda = 50 the oscillator tables would span more than the range of a double.
    set_free_problem("gauss", 0, 1.0, 50.01, 10);
    EXPECT_FATAL(c(0),
                 "Error \\(c\\): k/lambda is above 50, beyond the range of the gauss basis\\.");
    EXPECT_FATAL(s(0), "Error \\(s\\): k/lambda is above 50");
    sk_globals = RunSettings{};
}

// Coefficients over the whole range of basis sizes and energies against 60-digit values
// (tests/data/gen_coefficients_range.py): q^2 = 1, 40, 400, 2000, l = 0, 3, 20, sampled n <= 5000,
// both bases.
struct Row {
    int n;
    long double s, c;  // beyond the range of a double at small n and large q^2
};

using Case = std::tuple<int, int, double>;  // basis (0 laguerre, 1 gauss), l, k

std::map<Case, std::vector<Row>> read_reference() {
    std::ifstream in(std::string(SKARVEN_TEST_DATA) + "/coefficients_range.txt");
    EXPECT_TRUE(in.good()) << "missing reference data coefficients_range.txt";
    std::map<Case, std::vector<Row>> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        int basis = 0, l = 0, n = 0;
        std::string k, s, c;
        fields >> basis >> l >> k >> n >> s >> c;
        cases[{basis, l, std::strtod(k.c_str(), nullptr)}].push_back(
            {n, std::strtold(s.c_str(), nullptr), std::strtold(c.c_str(), nullptr)});
    }
    return cases;
}

// Errors relative to sqrt(s_n^2 + c_n^2), after the one power of two the tables may carry.
TEST(CoefficientsAccuracy, MatchSixtyDigitValuesUpToN5000) {
    const auto cases = read_reference();
    ASSERT_EQ(cases.size(), 24u);
    for (const auto& [key, rows] : cases) {
        const auto [basis, l, k] = key;
        const long q2 = std::lround(k * k);
        sk_globals = RunSettings{};
        sk_globals.basis = padded(basis == 0 ? "laguerre" : "gauss", 8);
        sk_globals.projectile.l = l;
        sk_globals.projectile.k = k;
        sk_globals.lambda = 1.0;
        sk_globals.nend = 5000;
        sk_globals.pass = 1;
        SCOPED_TRACE(testing::Message() << basis << " q^2 = " << q2 << " l = " << l);
        const Row& end = rows.back();
        const long double ratio =
            std::hypot(static_cast<long double>(s(end.n)), c(end.n)) / std::hypot(end.s, end.c);
        const long shift = std::lround(std::log2(ratio));
        EXPECT_NEAR(static_cast<double>(std::log2(ratio)), static_cast<double>(shift), 1e-9);
        if (q2 <= 400) {
            EXPECT_EQ(shift, 0);  // natural size
        }
        const long double factor = std::ldexp(1.0L, static_cast<int>(shift));
        for (const Row& row : rows) {
            const long double size = factor * std::hypot(row.s, row.c);
            EXPECT_LT(std::fabs(s(row.n) - factor * row.s) / size, 1e-13) << row.n;
            EXPECT_LT(std::fabs(c(row.n) - factor * row.c) / size, 1e-13) << row.n;
        }
        s(1, CacheAction::release);
        c(1, CacheAction::release);
    }
    sk_globals = RunSettings{};
}

}  // namespace
}  // namespace skarven
