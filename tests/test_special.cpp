// Guards against wrong factorials, gamma, Bessel values or integrals and unreported domain errors.
#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "special.hpp"
#include "special_quadrature.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

// ln n! from the C library and products in long double: independent of the table's generator.
TEST(Factorials, AgainstIndependentProducts) {
    EXPECT_EQ(lfact(1), 0.0);
    for (int n = 2; n <= 5003; ++n)
        EXPECT_LE(relative_error(lfact(n), static_cast<double>(std::lgammal(n + 1.0L))), 1e-15)
            << n;
    EXPECT_EQ(fact_over_fact(5, 2), 60.0);
    long double ratio = 1.0L;  // 141!/100!, as the basis elements ask for (n + 2l + 1)!/n!
    for (int k = 101; k <= 141; ++k)
        ratio *= k;
    EXPECT_LE(relative_error(fact_over_fact(141, 100), static_cast<double>(ratio)), 1e-14);
}

// Gamma and log-gamma against mpmath on each branch [lo, hi) of the routines.
TEST(Gamma, AgainstMpmathOnEveryBranch) {
    const struct {
        bool log;
        double lo, hi, tolerance;
    } branches[] = {{false, 0.0, 2.22e-14, 1.3e-14},     {false, 2.22e-14, 2.0, 4e-16},
                    {false, 2.0, 12.0, 1e-15},           {false, 12.0, 171.5, 2e-13},
                    {false, -200.0, 0.0, 2e-13},         {true, 0.0, 0.6796875, 4e-16},
                    {true, 0.6796875, 4.0000001, 1e-15}, {true, 4.0000001, 3e305, 4e-16}};
    for (bool log : {false, true})
        for_rows(log ? "lgamma_ref.txt" : "gamma_ref.txt", 30, [&](const std::vector<double>& r) {
            const double f = log ? specfun::lgamma(r[0]) : specfun::gamma(r[0]);
            for (const auto& b : branches)
                if (b.log == log && r[0] >= b.lo && r[0] < b.hi) {
                    EXPECT_LE(relative_error(f, r[1]), b.tolerance) << "x = " << r[0];
                }
        });
}

// Complex ln Gamma against mpmath's loggamma: Gamma itself to 1e-14 relative (the imaginary part
// modulo 2 pi), on both sides of the reflection and far up the imaginary axis.
TEST(Gamma, ComplexLogGammaAgainstMpmath) {
    const struct {
        std::complex<double> z, expected;
    } cases[] = {
        {{1, 2.5}, {-2.5499068424946218, 0.54260440585243653}},
        {{1, 60}, {-91.281668793378074, 186.4446829949735}},
        {{0.3, -4}, {-5.6410635348205287, -1.2364491215498066}},
        {{-2.5, 0.7}, {-1.4941873089113575, -8.6464756828033773}},
        {{3.7, 0.001}, {1.4280721716464617, 0.0011671535552607291}},
        {{1, 300}, {-467.46806826793621, 1411.9198627823771}},
    };
    for (const auto& c : cases) {
        const std::complex<double> g = log_gamma(c.z);
        EXPECT_NEAR(g.real(), c.expected.real(),
                    1e-14 * std::max(1.0, std::fabs(c.expected.real())))
            << c.z;
        EXPECT_NEAR(std::remainder(g.imag() - c.expected.imag(), 2.0 * std::acos(-1.0)), 0.0,
                    1e-14 * std::max(1.0, std::fabs(c.expected.imag())))
            << c.z;
    }
}

// Range checks throw with the line the program prints; the library prints nothing itself, nor
// where lgamma, outside its domain, returns 1.79e308 without a report.
TEST(SpecialErrors, RangeChecksAndImproperArguments) {
    ::testing::internal::CaptureStdout();
    EXPECT_ERROR(lfact(-1), "lfact", "negative argument");
    EXPECT_ERROR(lfact(5004), "lfact", "argument too big");
    EXPECT_ERROR(fact_over_fact(1, 2), "fact_over_fact", "improper arguments");
    // A pole, and results finite in double precision but beyond the routine's thresholds.
    for (double x : {-2.0, 171.5, -170.2, 1.0e-308})
        EXPECT_ERROR(specfun::gamma(x), "gamma", "improper argument");
    try {
        specfun::gamma(-2.0);
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "Error (gamma): improper argument.");
    }
    // The ascending series for negative orders does not converge far out.
    EXPECT_ERROR(bessel(-0.5, 3000.0), "hyperg01", "convergence failure");
    for (double x : {0.0, -2.5, 2.6e305})
        EXPECT_EQ(specfun::lgamma(x), 1.79e308) << x;
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

double value(std::optional<double> v) {
    return v.value_or(std::numeric_limits<double>::quiet_NaN());  // a missing value fails
}

// Underflow must come out tiny, Y past its cut-off as huge or no value (NaN here), never 0; near
// zeros use the modulus.
void compare(const char* name, double computed, double expected, double modulus, double order,
             double x) {
    SCOPED_TRACE(std::string(name) + " order " + std::to_string(order) + " x " + std::to_string(x));
    if (std::fabs(expected) < 1.0e-280)
        EXPECT_LT(std::fabs(computed), 1.0e-270);
    else if (!(std::fabs(expected) < 1.0e300))
        EXPECT_TRUE(std::isnan(computed) || std::fabs(computed) > 1.0e290) << computed;
    else if (x > order && std::fabs(expected) < 0.1 * modulus)
        EXPECT_LE(std::fabs(computed - expected) / modulus, 1e-13);
    else
        EXPECT_LE(relative_error(computed, expected), 1e-13);
}

// J, Y of order l + 1/2, j_l, n_l (the table's J, Y times sqrt(pi/2x)) and their derivatives.
TEST(Bessel, HalfIntegralOrdersAgainstMpmath) {
    for_rows("bessel_half.txt", 1000, [&](const std::vector<double>& r) {
        const int l = static_cast<int>(r[0]);
        const double x = r[1], nu = l + 0.5, m = std::hypot(r[2], r[3]);
        compare("bessel", value(bessel(nu, x)), r[2], m, nu, x);
        compare("neumann", value(neumann(nu, x)), r[3], m, nu, x);
        const long double factor = std::sqrt(std::numbers::pi_v<long double> / 2 / x);
        const double j = static_cast<double>(factor * r[2]), n = static_cast<double>(factor * r[3]);
        compare("sphbess", value(sphbess(l, x)), j, std::hypot(j, n), l, x);
        compare("sphneum", value(sphneum(l, x)), n, std::hypot(j, n), l, x);
        compare("sphbess_prim", value(sphbess_prim(l, x)), r[4], std::hypot(r[4], r[5]), l, x);
        compare("sphneum_prim", value(sphneum_prim(l, x)), r[5], std::hypot(r[4], r[5]), l, x);
    });
    // Order -1/2 (ascending series for J, reflection for Y, which picks up cos(-pi/2) = 6e-17
    // times J_{-1/2}): sqrt(2/(pi x)) cos x and sin x.
    for (double x : {1.0e-3, 0.1, 3.0}) {
        const double amplitude = std::sqrt(2.0 / (std::numbers::pi * x));
        EXPECT_LE(relative_error(value(bessel(-0.5, x)), amplitude * std::cos(x)), 1e-15) << x;
        EXPECT_LE(relative_error(value(neumann(-0.5, x)), amplitude * std::sin(x)), 1e-13) << x;
    }
}

TEST(Bessel, GeneralOrdersAgainstMpmath) {
    for_rows("bessel_general.txt", 100, [&](const std::vector<double>& r) {
        const double nu = r[0], x = r[1], m = std::hypot(r[2], r[3]);
        // The ascending series for negative orders cancels away the digits of J beyond x ~ 3.5.
        if (nu < 0.0 && nu != std::trunc(nu) && x > 3.5) return;
        compare("bessel", value(bessel(nu, x)), r[2], m, std::fabs(nu), x);
        compare("neumann", value(neumann(nu, x)), r[3], m, std::fabs(nu), x);
    });
}

TEST(Bessel, DomainErrorsGiveNoValue) {
    // rjbesl or rybesl (true), x, alpha, nb out of range in turn: ncalc = -1, b[0] = 0 and nothing
    // else computed.
    const std::tuple<bool, double, double, int> cases[] = {
        {false, -1.0, 0.5, 3}, {false, 2.0e4, 0.5, 3}, {false, 1.0, 1.0, 3},
        {false, 1.0, -0.1, 2}, {false, 1.0, 0.5, 0},   {true, 1.0e-308, 0.5, 3},
        {true, 1.0e8, 0.5, 3}, {true, 1.0, 1.0, 3},    {true, 1.0, 0.5, 0}};
    for (const auto& [y, x, alpha, nb] : cases) {
        double b[3] = {7.0, 7.0, 7.0};
        int ncalc = 99;
        (y ? specfun::rybesl : specfun::rjbesl)(x, alpha, nb, b, ncalc);
        EXPECT_TRUE(ncalc == -1 && b[0] == 0.0 && b[1] == 7.0) << x << " " << alpha << " " << nb;
    }
    // The public functions give no value outside the domain, nor beyond a double (the last four:
    // Y's recurrence stops short of overflow, or the spherical factor overflows) rather than the
    // 0 that stands for the orders not computed.
    const std::optional<double> none[] = {
        sphbess(0, 0.0),      sphneum(2, 0.0),          sphbess_prim(1, 0.0),
        sphneum_prim(0, 0.0), bessel(0.5, 2.0e4),       bessel(0.5, -1.0),
        bessel(-3.0, 2.0e4),  neumann(0.5, 1.0e-308),   neumann(2.5, 1.0e8),
        neumann(-2.0, 0.0),   neumann(3.5, 1.0e-100),   sphneum(3, 1.0e-155),
        sphneum(1, 1.0e-155), sphneum_prim(0, 1.0e-155)};
    for (std::size_t k = 0; k < std::size(none); ++k)
        EXPECT_FALSE(none[k].has_value()) << k;
}

// DE quadrature against closed forms (to 5e-10); swapped ends flip the sign.
TEST(Quadrature, KnownIntegralsAndEdgeCases) {
    std::vector<double> finite(quadrature_lenaw);
    ooura::intde_init(quadrature_lenaw, quadrature_tiny, quadrature_eps, finite.data());
    const struct {
        const char* name;
        double (*f)(double);
        double a, b, exact;
    } integrals[] = {{"x^-0.75", [](double x) { return std::pow(x, -0.75); }, 0.0, 1.0, 4.0},
                     {"-ln(-x) on [-1,0]", [](double x) { return -std::log(-x); }, -1.0, 0.0, 1.0},
                     {"e^-x on [2,30]", [](double x) { return std::exp(-x); }, 2.0, 30.0,
                      std::exp(-2.0) - std::exp(-30.0)}};
    for (const auto& c : integrals) {
        SCOPED_TRACE(c.name);
        double i = 0.0, err = 0.0, backward = 0.0, err_backward = 0.0;
        ooura::intde(c.f, c.b, c.a, finite.data(), backward, err_backward);
        ooura::intde(c.f, c.a, c.b, finite.data(), i, err);
        EXPECT_TRUE(relative_error(-backward, i) < 1e-12 && err_backward >= 0.0);
        EXPECT_TRUE(err >= 0.0 && err < 1e-6 * std::fabs(c.exact)) << err;
        EXPECT_LT(relative_error(i, c.exact), 5e-10);
    }
    // A stateful callable is sampled within the table's points; an empty interval and a zero
    // integrand give exact zeros; a discontinuity exhausts the table: a result, a negative error.
    int calls = 0;
    double i = 1.0, err = 1.0;
    auto counted = [&calls](double x) { return ++calls, x * std::exp(-x); };
    ooura::intde(counted, 0.0, 1.0, finite.data(), i, err);
    EXPECT_TRUE(std::fabs(i - (1.0 - 2.0 / std::numbers::e)) < 1e-10 && calls < 4100) << calls;
    ooura::intde([](double x) { return std::exp(x); }, 0.5, 0.5, finite.data(), i, err);
    EXPECT_TRUE(i == 0.0 && err == 0.0);
    ooura::intde([](double) { return 0.0; }, 0.0, 2.0, finite.data(), i, err);
    EXPECT_TRUE(i == 0.0 && err == 0.0);
    ooura::intde([](double x) { return x < 0.3 ? 1.0 : 0.0; }, 0.0, 1.0, finite.data(), i, err);
    EXPECT_TRUE(err < 0.0 && std::fabs(i - 0.3) < 1e-3) << i << " " << err;
}

// F, F', G, G' against mpmath (relative, or against the modulus sqrt(F^2 + G^2) near a zero), on
// the grid and at both sides of the hand-over at rho = 2 eta.
TEST(Coulomb, AgainstMpmathOnTheGridAndAtTheHandOver) {
    for_rows("coulomb_functions.txt", 300, [&](const std::vector<double>& r) {
        const double eta = r[0], rho = r[1];
        const int l = static_cast<int>(r[2]);
        const std::optional<CoulombFunctions> c = coulomb_functions(eta, rho, l);
        ASSERT_TRUE(c.has_value()) << eta << " " << rho << " " << l;
        const double computed[] = {c->f[l], c->fp[l], c->g[l], c->gp[l]};
        const double modulus = std::hypot(r[3], r[5]), modulus_p = std::hypot(r[4], r[6]);
        for (int k = 0; k < 4; ++k) {
            const double expected = r[3 + k], m = k % 2 == 0 ? modulus : modulus_p;
            const double error = std::fabs(expected) < 1e-3 * m
                                     ? std::fabs(computed[k] - expected) / m
                                     : relative_error(computed[k], expected);
            // Below rho = 1 in an attractive field CF2 sums thousands of terms.
            EXPECT_LE(error, eta < 0.0 && rho < 1.0 ? 1e-12 : 2e-13)
                << "eta " << eta << " rho " << rho << " l " << l << " column " << k << ": "
                << computed[k] << " vs " << expected;
        }
    });
}

// sigma_l against mpmath's Im ln Gamma, from eta = -1000 to 1000 (absolute: sigma_l ~ eta ln eta).
TEST(Coulomb, PhaseAgainstMpmath) {
    for_rows("coulomb_phase.txt", 60, [&](const std::vector<double>& r) {
        const int l = static_cast<int>(r[0]);
        EXPECT_LE(std::fabs(coulomb_phase(l, r[1]) - r[2]), 1e-15 * std::max(1.0, std::fabs(r[2])))
            << l << " " << r[1];
    });
}

// rho <= 0, lmax < 0 and arguments that are not numbers give no value; eta = 0 gives the
// Riccati-Bessel functions x j_l(x) and -x n_l(x).
TEST(Coulomb, DomainAndTheFreeLimit) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto& [eta, rho, lmax] :
         {std::tuple{1.0, 0.0, 2}, {1.0, -1.0, 2}, {1.0, 1.0, -1}, {nan, 1.0, 0}, {0.0, nan, 0}})
        EXPECT_FALSE(coulomb_functions(eta, rho, lmax).has_value()) << eta << rho << lmax;
    for (double x : {0.2, 1.7, 25.0}) {
        const std::optional<CoulombFunctions> c = coulomb_functions(0.0, x, 3);
        ASSERT_TRUE(c.has_value());
        for (int l = 0; l <= 3; ++l) {
            EXPECT_LE(relative_error(c->f[l], x * value(sphbess(l, x))), 1e-13) << x << " " << l;
            EXPECT_LE(relative_error(c->g[l], -x * value(sphneum(l, x))), 1e-13) << x << " " << l;
        }
    }
}

}  // namespace
}  // namespace skarven::test
