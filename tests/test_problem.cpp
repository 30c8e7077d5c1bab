// Guards the problem's validation: each value the method cannot carry is refused with the
// parameter file's message, the value at the edge is accepted, and of two broken values the one
// the loader checks first is reported.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "skarven/problem.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The base problem: Laguerre basis at lambda = 1, Schroedinger scheme, l = 0, the user potential.
Problem base() {
    Problem problem;
    problem.potential.kind = PotentialKind::user;
    return problem;
}

Problem dirac(Problem problem, double light = 137.0359996287515) {
    problem.scheme = {.dirac = true, .light = light};
    return problem;
}

Problem with_wave(Problem problem, int l, int kappa) {
    problem.wave = {.l = l, .kappa = kappa};
    return problem;
}

Problem with_basis(Problem problem, BasisKind kind, double lambda = 1.0) {
    problem.basis = {.kind = kind, .lambda = lambda};
    return problem;
}

Problem well(double v0, double a, double b) {
    Problem problem = base();
    Potential& p = problem.potential;
    p.kind = PotentialKind::well;
    p.v0 = v0;
    p.a = a;
    p.b = b;
    return problem;
}

Problem coulomb(double z, double alpha) {
    Problem problem = base();
    problem.potential.kind = PotentialKind::coulomb;
    problem.potential.z = z;
    problem.potential.alpha = alpha;
    return problem;
}

Problem yukawa(double g, double m) {
    Problem problem = base();
    problem.potential.kind = PotentialKind::yukawa;
    problem.potential.g = g;
    problem.potential.m = m;
    return problem;
}

constexpr BasisKind laguerre = BasisKind::laguerre;
constexpr BasisKind oscillator = BasisKind::oscillator;

struct Case {
    const char* what;
    Problem problem;
    int largest_basis_size;
    const char* message;  // empty: accepted
};

void expect_validation(const Case& c) {
    SCOPED_TRACE(c.what);
    if (*c.message == '\0') {
        EXPECT_NO_THROW(validate(c.problem, c.largest_basis_size));
    } else {
        EXPECT_ERROR(validate(c.problem, c.largest_basis_size), "loadparams", c.message);
    }
}

TEST(Validate, EachCheckRefusesAndAcceptsItsEdge) {
    const Case cases[] = {
        // l and kappa pair in the Dirac scheme only.
        {"dirac l=1 kappa=2", with_wave(dirac(base()), 1, 2), 10,
         "<l> and <kappa> are not properly correlated"},
        {"dirac l=1 kappa=-2", with_wave(dirac(base()), 1, -2), 10, ""},
        {"dirac l=1 kappa=1", with_wave(dirac(base()), 1, 1), 10, ""},
        {"schroedinger l=1 kappa=2", with_wave(base(), 1, 2), 10, ""},
        {"dirac l=INT_MIN kappa=INT_MAX", with_wave(dirac(base()), INT_MIN, INT_MAX), 10,
         "<l> is out of range"},
        // Potential parameters.
        {"well a=b", well(1, 1, 1), 10, "incorrect values of <a> or <b>"},
        {"well a<b", well(1, 1, 1.000001), 10, ""},
        {"well a=nan", well(1, nan, 1), 10, "incorrect values of <a> or <b>"},
        {"yukawa m=0", yukawa(1, 0), 10, "<m> should be positive"},
        {"yukawa m=1e-10", yukawa(1, 1e-10), 10, ""},
        // lambda.
        {"lambda=0", with_basis(base(), laguerre, 0.0), 10, "<lambda> must be positive"},
        {"lambda=nan", with_basis(base(), laguerre, nan), 10, "<lambda> must be positive"},
        {"lambda=1.1e20", with_basis(base(), laguerre, 1.1e20), 10, "<lambda> is out of range"},
        {"lambda=1e20", with_basis(base(), laguerre, 1e20), 10, ""},
        {"lambda=0.9e-20", with_basis(base(), laguerre, 0.9e-20), 10, "<lambda> is out of range"},
        {"lambda=1e-20", with_basis(base(), laguerre, 1e-20), 10, ""},
        // l by the factorial tables and the basis growth at the largest basis.
        {"l=-1", with_wave(base(), -1, 0), 10, "<l> is out of range"},
        {"laguerre l=68", with_wave(base(), 68, 0), 10, "<l> is out of range"},
        {"laguerre l=67", with_wave(base(), 67, 0), 10, ""},
        {"oscillator l=137", with_wave(with_basis(base(), oscillator), 137, 0), 10,
         "<l> is out of range"},
        {"oscillator l=136", with_wave(with_basis(base(), oscillator), 136, 0), 10, ""},
        {"oscillator n=5000 l=68", with_wave(with_basis(base(), oscillator), 68, 0), 5000,
         "<l> is out of range"},
        {"oscillator n=5000 l=67", with_wave(with_basis(base(), oscillator), 67, 0), 5000, ""},
        // Strengths relative to lambda^2, the well's inner edge against the reach of the basis.
        {"well v0=-1.1e10", well(-1.1e10, 0, 1), 10, "<v0> is out of range"},
        {"well v0=-1e10", well(-1e10, 0, 1), 10, ""},
        {"well v0=1.01e14 lambda=100", with_basis(well(1.01e14, 0, 1), laguerre, 100), 10,
         "<v0> is out of range"},
        {"well v0=0.99e14 lambda=100", with_basis(well(0.99e14, 0, 1), laguerre, 100), 10, ""},
        // 2 (4 x 11 + 8) + 3000 = 3104.
        {"laguerre well a=3104.5", well(1, 3104.5, 1e5), 10,
         "<a> lies beyond the reach of the basis"},
        {"laguerre well a=3104", well(1, 3104, 1e5), 10, ""},
        {"laguerre well a=-0.5 lambda=1e4", with_basis(well(1, -0.5, 0), laguerre, 1e4), 10,
         "<a> lies beyond the reach of the basis"},
        // sqrt(4 (4 x 11 + 7) + 2000) = 46.9468...
        {"oscillator well a=46.95", with_basis(well(1, 46.95, 50), oscillator), 10,
         "<a> lies beyond the reach of the basis"},
        {"oscillator well a=46.94", with_basis(well(1, 46.94, 50), oscillator), 10, ""},
        {"coulomb alpha=3", coulomb(1, 3), 10, "<alpha> is out of range"},
        {"coulomb alpha=2.9", coulomb(1, 2.9), 10, ""},
        {"coulomb alpha=-20.5", coulomb(1, -20.5), 10, "<alpha> is out of range"},
        {"coulomb alpha=-20", coulomb(1, -20), 10, ""},
        {"coulomb alpha=nan", coulomb(1, nan), 10, "<alpha> is out of range"},
        {"dirac kappa=l coulomb alpha=3", with_wave(dirac(coulomb(1, 3)), 1, 1), 10,
         "<alpha> is out of range"},
        {"dirac kappa=l coulomb alpha=2.9", with_wave(dirac(coulomb(1, 2.9)), 1, 1), 10, ""},
        {"dirac kappa=-(l+1) coulomb alpha=4.9", with_wave(dirac(coulomb(1, 4.9)), 1, -2), 10, ""},
        {"coulomb z=1.1e10", coulomb(1.1e10, 1), 10, "<z> is out of range"},
        {"coulomb z=0.99e14 lambda=1e4", with_basis(coulomb(0.99e14, 1), laguerre, 1e4), 10, ""},
        {"yukawa g=1.1e5", yukawa(1.1e5, 1), 10, "<g> is out of range"},
        {"yukawa g=1e5", yukawa(1e5, 1), 10, ""},
        {"yukawa m=101", yukawa(1, 101), 10, "<m> is out of range"},
        {"yukawa m=100", yukawa(1, 100), 10, ""},
        {"yukawa m=1.1 lambda=0.01", with_basis(yukawa(1, 1.1), laguerre, 0.01), 10,
         "<m> is out of range"},
        {"dirac yukawa kappa=0", with_wave(dirac(yukawa(1, 1)), 0, 0), 10,
         "<kappa> is out of range"},
        {"dirac yukawa kappa=-1", with_wave(dirac(yukawa(1, 1)), 0, -1), 10, ""},
        // The parameters of the other kinds are not the user potential's.
        {"user with well values",
         [] {
             Problem problem = well(1e300, 2, 1);
             problem.potential.kind = PotentialKind::user;
             return problem;
         }(),
         10, ""},
    };
    for (const Case& c : cases)
        expect_validation(c);
}

TEST(Validate, OfTwoBrokenValuesTheLoadersFirstIsReported) {
    const Case cases[] = {
        {"pairing before the well", with_wave(dirac(well(1, 2, 1)), 1, 2), 10,
         "<l> and <kappa> are not properly correlated"},
        {"well edges before lambda", with_basis(well(1, 2, 1), laguerre, 0.0), 10,
         "incorrect values of <a> or <b>"},
        {"lambda sign before l", with_wave(with_basis(base(), laguerre, -1.0), -1, 0), 10,
         "<lambda> must be positive"},
        {"l before lambda's range", with_wave(with_basis(base(), laguerre, 1e21), 68, 0), 10,
         "<l> is out of range"},
        {"lambda's range before the strength", with_basis(well(1e300, 0, 1), laguerre, 1e21), 10,
         "<lambda> is out of range"},
        {"v0 before a", well(1e300, 1e300, std::numeric_limits<double>::infinity()), 10,
         "<v0> is out of range"},
        {"alpha before z", coulomb(1e300, 3), 10, "<alpha> is out of range"},
        {"g before m", yukawa(1e300, 1e300), 10, "<g> is out of range"},
        {"m before kappa", with_wave(dirac(yukawa(1, 101)), 0, 0), 10, "<m> is out of range"},
    };
    for (const Case& c : cases)
        expect_validation(c);
}

TEST(Validate, EnergyFitsTheBasisScale) {
    struct EnergyCase {
        const char* what;
        Problem problem;
        double e;
        const char* key;
        const char* message;  // empty: accepted
    };
    const Problem gauss = with_basis(base(), oscillator);
    const Problem slow = with_wave(dirac(with_basis(base(), oscillator, 0.5), 5000.0), 0, -1);
    const EnergyCase cases[] = {
        {"laguerre e=5.1e14", base(), 5.1e14, "e", "<e> is too large for <lambda>"},
        {"laguerre e=5e14", base(), 5e14, "e", ""},
        {"laguerre lambda=10 e=5e16", with_basis(base(), laguerre, 10), 5e16, "e", ""},
        {"laguerre eend=5.1e14", base(), 5.1e14, "eend", "<eend> is too large for <lambda>"},
        {"oscillator e=1000.001", gauss, 1000.001, "e",
         "<e> is too large for <lambda> in gaussian basis"},
        {"oscillator e=1000", gauss, 1000, "e", ""},
        {"oscillator eend=1000.5", gauss, 1000.5, "eend",
         "<eend> is too large for <lambda> in gaussian basis"},
        // k^2 = e (2 + e/c^2): at c = 5000 the edge moves from 250 to about 249.99875.
        {"oscillator dirac e=249.999", slow, 249.999, "e",
         "<e> is too large for <lambda> in gaussian basis"},
        {"oscillator dirac e=249.99", slow, 249.99, "e", ""},
        {"oscillator schroedinger e=249.999", with_basis(base(), oscillator, 0.5), 249.999, "e",
         ""},
        {"e=nan", base(), nan, "e", "<e> is too large for <lambda>"},
    };
    for (const EnergyCase& c : cases) {
        SCOPED_TRACE(c.what);
        if (*c.message == '\0') {
            EXPECT_NO_THROW(check_energy_fits(c.problem, c.e, c.key));
        } else {
            EXPECT_ERROR(check_energy_fits(c.problem, c.e, c.key), "loadparams", c.message);
        }
    }
}

}  // namespace
}  // namespace skarven::test
