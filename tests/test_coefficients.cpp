// Guards against wrong free-solution coefficients, Gegenbauer and hypergeometric values.
#include <algorithm>
#include <cmath>
#include <vector>

#include "basis.hpp"
#include "coefficients.hpp"
#include "special.hpp"
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

// s_n and c_n against s and c, relative to their envelope hypot(s, c).
template <class T>
void expect_pair(const FreeSolutions& free, int n, T s, T c, double tolerance) {
    const T size = std::hypot(s, c);
    EXPECT_LT(std::fabs(free.regular(n) - s) / size, tolerance) << n << ": " << free.regular(n);
    EXPECT_LT(std::fabs(free.irregular(n) - c) / size, tolerance) << n << ": " << free.irregular(n);
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
        for (const auto& r : rows)
            expect_pair(free, int(r[4]), r[5], r[6], tolerance);
    });
}

// 60-digit values to n = 5000, after the one power of two the tables may carry above q^2 = 400:
// the free problem in both bases, and the Coulomb reference problem at eta = +-0.5, +-2 (the
// Pollaczek polynomials and the Gauss series on the unit circle, carried by the Coulomb relation;
// gen_coefficients_coulomb.py also checks them as projections of F_l and the regularised G_l).
TEST(Coefficients, MatchSixtyDigitValuesUpToN5000) {
    for (const bool coulomb : {false, true}) {
        const char* table = coulomb ? "coefficients_coulomb.txt" : "coefficients_range.txt";
        const int cases = for_cases<long double>(table, 3, [&](const auto& rows) {
            const auto& end = rows.back();  // basis column or eta, l, k, n, s_n, c_n
            const double k = double(end[2]), eta = coulomb ? double(end[0]) : 0.0;
            const FreeSolutions free(basis_of(coulomb ? 0 : double(end[0]), 1.0), int(end[1]), k,
                                     5000, eta);
            const int n_end = int(end[3]);
            const long double ratio =
                std::hypot(static_cast<long double>(free.regular(n_end)), free.irregular(n_end)) /
                std::hypot(end[4], end[5]);
            const long shift = std::lround(std::log2(ratio));
            EXPECT_NEAR(double(std::log2(ratio)), double(shift), 1e-9);
            EXPECT_EQ(shift, k * k < 401.0 ? 0 : shift);
            const long double factor = std::ldexp(1.0L, int(shift));
            for (const auto& r : rows)
                expect_pair(free, int(r[3]), factor * r[4], factor * r[5], 1e-13);
        });
        EXPECT_EQ(cases, coulomb ? 36 : 24);
    }
}

// s_0, s_1 solve the first row of J s = 0, which the recurrence for higher n does not enforce;
// with a Coulomb tail zc = eta k (Laguerre basis) J gains zc times the diagonal of 1/r,
// (2l + 1)! at n = 0 for every lambda.
TEST(Coefficients, RegularSolutionSolvesTheFirstRow) {
    const struct {
        double column, eta;
    } cases[] = {{0.0, 0.0}, {1.0, 0.0}, {0.0, 0.7}, {0.0, -2.0}};
    for (const auto& c : cases) {
        const double k = 2.5;
        const FreeSolutions free(basis_of(c.column, 0.4), 3, k, free_solution_top(10), c.eta);
        const skarven::Basis basis = basis_of(c.column, 0.4);
        const double k2 = k * k, coulomb = 2.0 * c.eta * k * fact_over_fact(7, 0);
        const double a = (kinetic(basis, 3, 0, 0) - k2 * overlap(basis, 3, 0, 0) + coulomb) *
                         free.regular(0),
                     b = (kinetic(basis, 3, 0, 1) - k2 * overlap(basis, 3, 0, 1)) * free.regular(1);
        EXPECT_LT(std::fabs(a + b) / (std::fabs(a) + std::fabs(b)), 1e-14)
            << c.column << " " << c.eta;
    }
}

// The free matrix with a Coulomb tail (basis elements: kinetic, overlap and 1/r) annihilates the
// regular solution in every row and the irregular one in every row but the first.
TEST(Coefficients, CoulombSolutionsSolveTheFreeMatrixWithTail) {
    const struct {
        int l;
        double lambda, k, eta;
    } cases[] = {{0, 1.0, 0.7, 0.5}, {2, 0.6, 1.9, -2.0}, {5, 2.0, 0.4, 3.0}};
    for (const auto& c : cases) {
        const skarven::Basis basis = basis_of(0, c.lambda);
        const FreeSolutions free(basis, c.l, c.k, 60, c.eta);
        const double zc = c.eta * c.k;
        for (int row = 0; row < 60; ++row) {
            double sum[2] = {}, size[2] = {};  // J s and J c in this row, and their terms' sizes
            for (int n = std::max(0, row - 1); n <= row + 1; ++n)
                for (int w = 0; w < 2; ++w) {
                    const double term = free_element_schroedinger(basis, c.l, row, n, c.k, zc) *
                                        (w == 0 ? free.regular(n) : free.irregular(n));
                    sum[w] += term, size[w] += std::fabs(term);
                }
            EXPECT_LT(std::fabs(sum[0]) / size[0], 1e-13) << c.l << " row " << row;
            EXPECT_TRUE(row == 0 ? std::fabs(sum[1]) > 1e-3 * size[1]
                                 : std::fabs(sum[1]) < 1e-13 * size[1])
                << c.l << " row " << row << ": " << sum[1] / size[1];
        }
    }
}

// 50-digit values (mpmath's Gauss series at n = 0, 1, carried by the relation) to n = 2000 in
// the Laguerre basis of a real order l' = -0.45 ... 2.6 at q = 0.3 ... 20;
// gen_coefficients_real_order.py also checks them as projections of the regular and the
// regularised irregular free solutions.
TEST(Coefficients, RealOrderMatchesFiftyDigitValuesUpToN2000) {
    const int cases = for_cases("coefficients_real_order.txt", 2,
                                [](const std::vector<std::vector<double>>& rows) {
                                    const auto& h = rows.front();
                                    const FreeSolutions free(basis_of(0, 1.0), h[0], h[1], 2000);
                                    for (const auto& r : rows)
                                        expect_pair(free, int(r[2]), r[3], r[4], 1e-14);
                                });
    EXPECT_EQ(cases, 20);
}

// The pair has the Wronskian of the free problem, J(0,1) (s_0 c_1 - s_1 c_0) = k/2, at every
// order and lambda (J(0,1) = lambda G(1)/8 + k^2 G(1)/(2 lambda), G(1) = Gamma(2l + 3)), the
// integral orders included: a wrong c_0 scale or c_1 from the first row breaks it.
TEST(Coefficients, RealOrderKeepsTheWronskian) {
    const struct {
        double l, lambda, k;
    } cases[] = {{0.0, 1.0, 1.4},   {2.0, 0.6, 0.3},    {-0.19, 1.0, 1.4},
                 {-0.45, 0.6, 0.2}, {-0.499, 1.0, 3.0}, {0.3, 2.0, 40.0},
                 {0.913, 1.0, 0.5}, {2.6, 0.8, 12.0},   {7.25, 1.0, 0.05}};
    for (const auto& c : cases) {
        const FreeSolutions free(basis_of(0, c.lambda), c.l, c.k, 10);
        const double g1 = std::tgamma(2.0 * c.l + 3.0);
        const double j01 = c.lambda * g1 / 8.0 + c.k * c.k * g1 / (2.0 * c.lambda);
        const double w =
            j01 * (free.regular(0) * free.irregular(1) - free.regular(1) * free.irregular(0));
        EXPECT_LT(relative_error(w, c.k / 2.0), 1e-14)
            << "l = " << c.l << " k = " << c.k << ": " << w << " vs " << c.k / 2.0;
    }
}

// eta -> 0 and a real order next to an integral one join the free tables of the integral order
// continuously, though the closed forms and the relation change on the way.
TEST(Coefficients, CoulombAndRealOrderJoinTheFreeProblem) {
    for (int l : {0, 1, 3, 4})
        for (double k : {0.2, 0.5, 1.3, 9.0}) {
            const FreeSolutions free = free_solutions(0, l, 1.0, k, 3000);
            for (const auto& [dl, eta] : {std::pair{0.0, 1e-9}, {1e-9, 0.0}, {-1e-9, 0.0}}) {
                SCOPED_TRACE(testing::Message() << l << " " << k << " " << dl << " " << eta);
                const FreeSolutions near(basis_of(0, 1.0), l + dl, k, free_solution_top(3000), eta);
                for (int n : {0, 1, 2, 50, 2999, 3000})
                    expect_pair(near, n, free.regular(n), free.irregular(n), 1e-6);
            }
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
    // The oscillator basis has no tridiagonal Coulomb reference problem.
    EXPECT_ERROR(FreeSolutions(basis_of(1, 1.0), 0, 1.0, 10, 0.5), "s",
                 "a Coulomb tail needs the laguerre basis");
    // A real order has closed forms only in the Laguerre basis, without a Coulomb tail, and a
    // basis only above l = -1/2.
    EXPECT_ERROR(FreeSolutions(basis_of(1, 1.0), 0.3, 1.0, 10), "s",
                 "a non-integral order l needs the laguerre basis");
    EXPECT_ERROR(FreeSolutions(basis_of(0, 1.0), 0.3, 1.0, 10, 0.5), "s",
                 "a non-integral order l has no Coulomb tail");
    for (double l : {-0.5, -0.7, std::nan("")})
        EXPECT_ERROR(FreeSolutions(basis_of(0, 1.0), l, 1.0, 10), "s",
                     "a non-integral order l must lie above -1/2");
}

}  // namespace
}  // namespace skarven::test
