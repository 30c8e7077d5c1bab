// Guards against wrong factorials, gamma and log-gamma values and missing fatal reports.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "special.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

// n! as a long-double product and ln n! from the C library: independent of the tables' generator.
TEST(FactorialTable, AgainstIndependentProducts) {
    long double product = 1.0L;
    for (int n = 0; n <= 170; ++n) {
        if (n > 0) product *= n;
        if (n <= 22) {
            EXPECT_EQ(fact(n), static_cast<double>(product)) << "n = " << n;  // exact in double
        }
        EXPECT_LE(relative_error(fact(n), static_cast<double>(product)), 2.3e-16) << "n = " << n;
    }
    EXPECT_EQ(lfact(0), 0.0);
    EXPECT_EQ(lfact(1), 0.0);
    for (int n = 2; n <= 5003; ++n) {
        const double expected = static_cast<double>(std::lgammal(n + 1.0L));
        EXPECT_LE(relative_error(lfact(n), expected), 1e-15) << "n = " << n;
    }
}

TEST(FactOverFact, AscendingProducts) {
    EXPECT_EQ(fact_over_fact(5, 2), 60.0);
    EXPECT_EQ(fact_over_fact(4, 4), 1.0);
    // The basis elements ask for m = n + 2l + 1.
    for (int n : {0, 1, 7, 30, 100}) {
        for (int l : {0, 1, 5, 20}) {
            const int m = n + 2 * l + 1;
            if (m > 170) continue;
            const double expected = fact(m) / fact(n);
            EXPECT_LE(relative_error(fact_over_fact(m, n), expected), 1e-14) << m << " " << n;
        }
    }
}

// Gamma and log-gamma against mpmath, per branch.
struct Branch {
    const char* name;
    double lo, hi;     // arguments in [lo, hi)
    double tolerance;  // relative
};

void check_branches(const char* routine, const char* table, double (*f)(double),
                    const std::vector<Branch>& branches) {
    Accuracy accuracy(routine);
    accuracy.rows(table, 30, [&](const std::vector<double>& row) {
        for (const Branch& b : branches) {
            if (row[0] < b.lo || row[0] >= b.hi) continue;
            accuracy.check(relative_error(f(row[0]), row[1]), b.tolerance, b.name,
                           "x = " + std::to_string(row[0]));
            break;
        }
    });
}

TEST(GammaAccuracy, AgainstMpmathOnEveryBranch) {
    // Below 2.22e-14 the result is 1/x, off by Euler's constant times x.
    check_branches("gamma", "gamma_ref.txt", [](double x) { return skarven::gamma(x); },
                   {{"x < 2.22e-14: 1/x", 0.0, 2.22e-14, 1.3e-14},
                    {"(0, 1): shifted to [1, 2]", 2.22e-14, 1.0, 4e-16},
                    {"[1, 2): rational", 1.0, 2.0, 4e-16},
                    {"[2, 12): upward recurrence", 2.0, 12.0, 1e-15},
                    {"[12, 171]: asymptotic series", 12.0, 171.5, 2e-13},
                    {"x < 0: reflection", -200.0, 0.0, 2e-13}});
}

TEST(LogGammaAccuracy, AgainstMpmathOnEveryBranch) {
    // ln Gamma vanishes at 1 and 2, where the rational forms give exact zeros.
    check_branches("lgamma", "lgamma_ref.txt", [](double x) { return skarven::lgamma(x); },
                   {{"x <= 2.22e-16: -ln x", 0.0, 2.3e-16, 2e-16},
                    {"(eps, 0.68): P1/Q1, P2/Q2 with -ln x", 2.3e-16, 0.6796875, 4e-16},
                    {"[0.68, 1.5]: P1/Q1", 0.6796875, 1.5000001, 1e-15},
                    {"(1.5, 4]: P2/Q2", 1.5000001, 4.0000001, 1e-15},
                    {"(4, 12]: P4/Q4", 4.0000001, 12.0000001, 4e-16},
                    {"(12, 2.25e76]: asymptotic series", 12.0000001, 2.25e76, 4e-16},
                    {"(2.25e76, 2.55e305]: series dropped", 2.25e76, 3e305, 4e-16}});
}

TEST(GammaEdges, KnownValues) {
    EXPECT_EQ(skarven::gamma(1.0), 1.0);
    EXPECT_DOUBLE_EQ(skarven::gamma(0.5), 1.7724538509055159);
    EXPECT_DOUBLE_EQ(skarven::gamma(-0.5), -3.5449077018110318);
    EXPECT_EQ(skarven::gamma(1.0e-300), 1.0 / 1.0e-300);
    // Gamma(171) = 170! is still returned.
    EXPECT_LE(relative_error(skarven::gamma(171.0), fact(170)), 2e-13);
}

TEST(GammaEdges, LogGammaNeverReports) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(skarven::lgamma(0.0), 1.79e308);
    EXPECT_EQ(skarven::lgamma(-1.0), 1.79e308);
    EXPECT_EQ(skarven::lgamma(-2.5), 1.79e308);
    EXPECT_EQ(skarven::lgamma(2.6e305), 1.79e308);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_DOUBLE_EQ(skarven::lgamma(1.0e-20), 46.051701859880914);
    EXPECT_EQ(skarven::lgamma(1.0), 0.0);
    EXPECT_EQ(skarven::lgamma(2.0), 0.0);
}

TEST(SpecialFatal, RangeChecksAndImproperArguments) {
    EXPECT_FATAL(fact(-1), "Error \\(fact\\): negative argument\\.");
    EXPECT_FATAL(fact(171), "Error \\(fact\\): argument too big\\.");
    EXPECT_FATAL(lfact(-1), "Error \\(lfact\\): negative argument\\.");
    EXPECT_FATAL(lfact(5004), "Error \\(lfact\\): argument too big\\.");
    EXPECT_FATAL(fact_over_fact(1, 2), "Error \\(fact_over_fact\\): improper arguments\\.");
    const char* report = "Error \\(gamma\\): improper argument\\.\nSKARVEN will terminate\\.";
    EXPECT_FATAL(skarven::gamma(0.0), report);
    EXPECT_FATAL(skarven::gamma(-2.0), report);
    EXPECT_FATAL(skarven::gamma(-1.0e20), report);
    // Finite in double precision, but beyond this program's thresholds.
    EXPECT_FATAL(skarven::gamma(171.5), report);
    EXPECT_FATAL(skarven::gamma(-170.2), report);
    EXPECT_FATAL(skarven::gamma(1.0e-308), report);
}

}  // namespace
}  // namespace skarven::test
