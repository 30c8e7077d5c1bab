// Guards against wrong exact square-well and shell phase shifts and values where none is known.
#include <cmath>
#include <optional>
#include <vector>

#include "analytic.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

constexpr double c_light = 137.0359996287515;

// A shell v0 on [a, b], Schroedinger (kappa = 0) or Dirac.
Problem shell(double v0, double a, double b, int l, int kappa = 0, double c = c_light) {
    Problem problem;
    problem.potential.kind = PotentialKind::well;
    problem.potential.v0 = v0;
    problem.potential.a = a;
    problem.potential.b = b;
    problem.wave = {kappa == 0 ? l : kappa > 0 ? kappa : -kappa - 1, kappa};
    problem.scheme = {kappa != 0, c};
    return problem;
}

// The textbook s-wave well (a = 0): tan delta = (k tan qb - q tan kb) / (q + k tan kb tan qb).
double textbook(double e, double v0, double b) {
    const double k = std::sqrt(2.0 * e), q = std::sqrt(2.0 * (e - v0));
    const double tk = std::tan(k * b), tq = std::tan(q * b);
    return std::atan((k * tq - q * tk) / (q + k * tk * tq));
}

// Independent matching of mpmath solutions at 40 digits (gen_analytic.py); no well, zero.
TEST(Analytic, MatchesReferences) {
    for_rows("analytic_reference.txt", 20, [&](const std::vector<double>& r) {
        const auto delta = exact_phase_shift(
            shell(r[5], r[6], r[7], int(r[1]), r[0] == 0.0 ? 0 : int(r[2]), r[3]), r[4]);
        ASSERT_TRUE(delta.has_value());
        EXPECT_NEAR(*delta, r[8], 1e-11);
    });
    for (int kappa : {0, -3, 2}) {
        const auto delta = exact_phase_shift(shell(0.0, 0.4, 1.7, 3, kappa), 1.3);
        ASSERT_TRUE(delta.has_value()) << kappa;
        EXPECT_NEAR(*delta, 0.0, 1e-14) << kappa;
    }
}

// A repulsive well gives a negative phase shift, an attractive one a positive one, no well at
// all exactly 0 (so that a shift by pi of negative values leaves it alone).
TEST(Analytic, SignFollowsTheWell) {
    const auto repulsive = exact_phase_shift(shell(2.0, 0.0, 1.0, 0), 3.0);
    ASSERT_TRUE(repulsive.has_value());
    EXPECT_NEAR(*repulsive, textbook(3.0, 2.0, 1.0), 1e-13);
    EXPECT_LT(*repulsive, 0.0);
    const auto attractive = exact_phase_shift(shell(-1.0, 0.0, 1.0, 0), 1.0);
    ASSERT_TRUE(attractive.has_value());
    EXPECT_NEAR(*attractive, textbook(1.0, -1.0, 1.0), 1e-13);
    EXPECT_EQ(exact_phase_shift(shell(-1.0, 0.0, 0.0, 0), 1.0), 0.0);
}

// No result: another potential, an energy at or below a repulsive well, a Dirac well (a = 0).
TEST(Analytic, NoResultWhereNoneIsKnown) {
    const struct {
        PotentialKind kind;
        double v0;
        int kappa;
    } cases[] = {{PotentialKind::coulomb, -1.0, 0},
                 {PotentialKind::well, 1.5, 0},
                 {PotentialKind::well, 1.0, 0},
                 {PotentialKind::well, -1.0, -1}};
    for (const auto& c : cases) {
        Problem problem = shell(c.v0, 0.0, 1.0, 0, c.kappa);
        problem.potential.kind = c.kind;
        EXPECT_EQ(exact_phase_shift(problem, 1.0), std::nullopt) << int(c.kind) << " " << c.v0;
    }
}

// Under a Coulomb tail: F_l and G_l matched at a and b against mpmath's linear solve
// (gen_coulomb_well.py), repulsive and attractive, wells and shells; the tail's closed form
// joins the Bessel one as zc -> 0, to first order in zc.
TEST(Analytic, CoulombTailMatchesReferences) {
    for_rows("coulomb_well.txt", 42, [&](const std::vector<double>& r) {
        Problem problem = shell(r[1], r[2], r[3], int(r[4]));
        problem.zc = r[0];
        const auto delta = exact_phase_shift(problem, r[5]);
        ASSERT_TRUE(delta.has_value());
        EXPECT_NEAR(*delta, r[6], 1e-10);
    });
    for (double zc : {1e-8, -1e-6})
        for (int l : {0, 2}) {
            Problem problem = shell(-2.0, 0.5, 1.5, l);
            const auto bessel = exact_phase_shift(problem, 0.5);
            problem.zc = zc;
            const auto coulomb = exact_phase_shift(problem, 0.5);
            ASSERT_TRUE(bessel.has_value() && coulomb.has_value()) << zc << " " << l;
            EXPECT_NEAR(*coulomb, *bessel, 10.0 * std::fabs(zc)) << zc << " " << l;
        }
}

// Under a tail no value: at or below a repulsive shell (the evanescent Coulomb functions are not
// at hand), another potential, the Dirac scheme.
TEST(Analytic, CoulombTailNoResultWhereNoneIsKnown) {
    const struct {
        PotentialKind kind;
        double v0, e;
        int kappa;
    } cases[] = {{PotentialKind::well, 1.5, 1.0, 0},
                 {PotentialKind::well, 1.0, 1.0, 0},
                 {PotentialKind::hulthen, -1.0, 1.0, 0},
                 {PotentialKind::well, -1.0, 1.0, -1}};
    for (const auto& c : cases) {
        Problem problem = shell(c.v0, 0.0, 1.0, 0, c.kappa);
        problem.potential.kind = c.kind;
        problem.potential.range = 1.0;
        problem.zc = 1.0;
        EXPECT_EQ(exact_phase_shift(problem, c.e), std::nullopt) << int(c.kind) << " " << c.v0;
    }
}

// An inner radius too small for n_l(qa) in a double used to give NaN (inf - inf, or Neumann
// values of 0 where the recurrence stopped short): that shell is the well of radius b. The well
// at l = 60 from mpmath at 400 digits (gen_analytic.py's matching).
TEST(Analytic, TinyInnerRadiusIsTheWell) {
    const struct {
        double e, a;
        int l;
    } cases[] = {{1.0, 1e-155, 0},   {1.0, 1e-300, 0}, {1.0, 1e-155, 1}, {1.0, 1e-155, 3},
                 {100.0, 1e-100, 5}, {1.0, 1e-10, 60}, {1e-6, 1e-120, 3}};
    for (const auto& c : cases) {
        const auto well = exact_phase_shift(shell(-1.0, 0.0, 1.0, c.l), c.e);
        const auto tiny = exact_phase_shift(shell(-1.0, c.a, 1.0, c.l), c.e);
        ASSERT_TRUE(tiny.has_value()) << c.l << " " << c.a;
        EXPECT_EQ(tiny, well) << c.l << " " << c.a;
    }
    const auto delta = exact_phase_shift(shell(-1.0, 1e-10, 1.0, 60), 1.0);
    ASSERT_TRUE(delta.has_value());
    EXPECT_NEAR(*delta / 3.6660312262372590249e-186, 1.0, 1e-11);
}

// Where the matching cannot be carried in a double the result is "not known", never NaN: the
// inner free region matters (ka > 1) while n_l(qa) overflows, or the irregular values at b do.
TEST(Analytic, ValuesBeyondADoubleGiveNoResult) {
    const struct {
        double e, v0, a, b;
        int l;
    } cases[] = {
        {1.0, 0.9999999, 1.0, 2.0, 60}, {1e-8, -1.0, 0.0, 1.0, 67}, {1.0, -1.0, 0.5, 1.0, 200}};
    for (const auto& c : cases)
        EXPECT_EQ(exact_phase_shift(shell(c.v0, c.a, c.b, c.l), c.e), std::nullopt) << c.l;
}

}  // namespace
}  // namespace skarven::test
