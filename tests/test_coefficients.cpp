// Guards against wrong free-solution coefficients, Gegenbauer and hypergeometric values.
#include <algorithm>
#include <cmath>
#include <vector>

#include "basis.hpp"
#include "coefficients.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

// Basis column of the reference tables: 0 Laguerre, 1 the oscillator.
skarven::Basis basis_of(double column, double lambda) {
    return {column == 0 ? BasisKind::laguerre : BasisKind::oscillator, lambda};
}

// The free solutions of a run whose largest basis size is nend.
FreeSolutions free_solutions(double basis, int l, double lambda, double k, int nend) {
    return FreeSolutions(basis_of(basis, lambda), l, k, free_solution_top(nend));
}

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
TEST(Coefficients, MatchHighPrecisionClosedForms) {
    for_cases("coefficients_reference.txt", 4, [](const std::vector<std::vector<double>>& rows) {
        const auto& h = rows.front();
        const FreeSolutions free =
            free_solutions(h[0], int(h[1]), h[2], h[3], int(rows.size()) - 1);
        const int l = int(h[1]);
        const double u = h[2] * h[2] / (4.0 * h[3] * h[3] + h[2] * h[2]);
        double tolerance = 2e-13;
        for (int m = 1; m <= 2 && h[0] == 0; ++m)  // Laguerre only
            tolerance = std::max(tolerance,
                                 2e-13 + 1e-15 * gauss_series_condition(m, 2 * l + m, 0.5 - l, u));
        for (const auto& r : rows) {
            const double envelope = std::hypot(r[5], r[6]);
            EXPECT_LE(std::fabs(free.regular(int(r[4])) - r[5]) / envelope, tolerance)
                << "n = " << r[4];
            EXPECT_LE(std::fabs(free.irregular(int(r[4])) - r[6]) / envelope, tolerance)
                << "n = " << r[4];
        }
    });
}

// 60-digit values to n = 5000, after the one power of two the tables may carry above q^2 = 400.
TEST(Coefficients, MatchSixtyDigitValuesUpToN5000) {
    const int cases = for_cases<long double>(
        "coefficients_range.txt", 3, [](const std::vector<std::vector<long double>>& rows) {
            const auto& end = rows.back();
            const double k = double(end[2]);
            const FreeSolutions free = free_solutions(double(end[0]), int(end[1]), 1.0, k, 5000);
            const int n_end = int(end[3]);
            const long double ratio =
                std::hypot(static_cast<long double>(free.regular(n_end)), free.irregular(n_end)) /
                std::hypot(end[4], end[5]);
            const long shift = std::lround(std::log2(ratio));
            EXPECT_NEAR(double(std::log2(ratio)), double(shift), 1e-9);
            EXPECT_EQ(shift, k * k < 401.0 ? 0 : shift);
            const long double factor = std::ldexp(1.0L, int(shift));
            for (const auto& r : rows) {
                const long double size = factor * std::hypot(r[4], r[5]);
                EXPECT_LT(std::fabs(free.regular(int(r[3])) - factor * r[4]) / size, 1e-13) << r[3];
                EXPECT_LT(std::fabs(free.irregular(int(r[3])) - factor * r[5]) / size, 1e-13)
                    << r[3];
            }
        });
    EXPECT_EQ(cases, 24);
}

// s_0, s_1 solve the first row of J s = 0, which the recurrence for higher n does not enforce.
TEST(Coefficients, RegularSolutionSolvesTheFirstRow) {
    for (double column : {0.0, 1.0}) {
        const FreeSolutions free = free_solutions(column, 3, 0.4, 2.5, 10);
        const skarven::Basis basis = basis_of(column, 0.4);
        const double k2 = 2.5 * 2.5;
        const double a = (kinetic(basis, 3, 0, 0) - k2 * overlap(basis, 3, 0, 0)) * free.regular(0),
                     b = (kinetic(basis, 3, 0, 1) - k2 * overlap(basis, 3, 0, 1)) * free.regular(1);
        EXPECT_LT(std::fabs(a + b) / (std::fabs(a) + std::fabs(b)), 1e-14) << column;
    }
}

// Closed-form values at q = 1 and 1/2; indices up to 5 held even for the smallest runs, and no
// index past the top.
TEST(Coefficients, SmallTablesAndTheirTop) {
    const FreeSolutions at_one = free_solutions(0, 0, 1.0, 1.0, 10);
    EXPECT_EQ(at_one.top(), 10);
    EXPECT_NEAR(at_one.irregular(0), -0.6, 1e-15);
    EXPECT_NEAR(at_one.irregular(1), 0.14, 1e-15);
    EXPECT_NEAR(at_one.regular(1), 0.48, 1e-15);
    EXPECT_NEAR(at_one.irregular(2), 0.312, 1e-15);
    EXPECT_NEAR(free_solutions(0, 0, 1.0, 0.5, 10).irregular(1), 0.5, 1e-15);
    const FreeSolutions smallest = free_solutions(0, 0, 1.0, 0.5, 1);
    EXPECT_EQ(smallest.top(), 5);
    EXPECT_NEAR(smallest.irregular(5), 1.0 / 6.0, 1e-15);  // -cos(3 pi)/6
    const FreeSolutions three = free_solutions(0, 0, 1.0, 0.5, 3);
    EXPECT_THROW(three.regular(4), InternalError);
    EXPECT_THROW(three.irregular(4), InternalError);
}

TEST(Coefficients, ErrorReports) {
    // Beyond k/lambda = 50 the oscillator tables would span more than the range of a double.
    const char* beyond = "k/lambda is above 50, beyond the range of the gauss basis";
    EXPECT_ERROR(free_solutions(1, 0, 1.0, 50.01, 10), "s", beyond);
}

}  // namespace
}  // namespace skarven::test
