// Guards against a limit of delta_N that claims more than it knows: the estimator on sequences
// of known form, and its error bars against independently integrated phase shifts.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "continuity.hpp"
#include "limit.hpp"
#include "skarven/skarven.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

using std::numbers::pi;

Problem yukawa(int l) {
    Problem p;
    p.wave.l = l;
    p.potential = {.kind = PotentialKind::yukawa, .g = 1.0, .m = 1.0};
    return p;
}

// Sequences of the model's own form are fitted to rounding; a term the model lacks, too few
// sizes, and a sequence that wraps at pi/2 are not claimed beyond what they show.
TEST(Limit, SequencesOfKnownForm) {
    const Problem p = yukawa(0);
    const SequenceModel model = sequence_model(p, 1.0);
    const double theta = std::acos((2.0 - 0.25) / (2.0 + 0.25));
    std::vector<int> n;
    std::vector<double> d;
    auto fit = [&](double delta, int last, double tolerance, auto tail) {  // delta + tail(N)
        n.clear(), d.clear();
        for (int k = 1; k <= last; ++k)
            n.push_back(k), d.push_back(delta + tail(k));
        return estimate_limit(n, d, model, tolerance);
    };
    LimitEstimate e = fit(0.7, 400, 1e-10, [&](double x) {
        return std::pow(x, -1.5) *
                   (0.3 + 0.2 * std::cos(x * theta) - 0.1 * std::sin(2 * x * theta)) +
               0.05 * std::pow(x, -2.5) * std::cos(x * theta);
    });
    EXPECT_NEAR(e.delta, 0.7, 1e-12);
    EXPECT_TRUE(e.converged);
    EXPECT_EQ(e.largest_size, 400);

    // A slower term than the model holds: the error bar still covers the limit.
    e = fit(0.7, 400, 1e-10, [](double x) { return 0.02 / x; });
    EXPECT_LE(std::fabs(e.delta - 0.7), e.error);
    EXPECT_FALSE(e.converged);

    // Fewer sizes than the fit needs: the last value, the scatter as the error.
    e = fit(0.7, 40, 1e-3, [](double x) { return 0.1 * std::cos(x) / x; });
    EXPECT_FALSE(e.converged);
    EXPECT_EQ(e.delta, d.back());
    EXPECT_LE(std::fabs(e.delta - 0.7), e.error);
    // One size tells nothing of the limit.
    e = estimate_limit({40}, {d.back()}, model, 1e-3);
    EXPECT_FALSE(e.converged);
    EXPECT_EQ(e.error, std::numeric_limits<double>::infinity());

    // delta near pi/2 written in (-pi/2, pi/2]: the values that wrapped are brought back.
    fit(pi / 2 - 1e-4, 400, 1e-9,
        [&](double x) { return 3e-4 * std::pow(x, -1.5) * std::cos(x * theta); });
    for (double& v : d)
        v = std::atan(std::tan(v));
    e = estimate_limit(n, d, model, 1e-9);
    EXPECT_NEAR(std::remainder(e.delta - (pi / 2 - 1e-4), pi), 0.0, 1e-10);
}

// A first size at (or near) the cap once left one delta_N and an error bar of rounding size on
// a value 3e-7 off: the fit's sizes are now computed below it, and only N >= first are reported.
TEST(Limit, FirstSizeNearTheCapStillFits) {
    constexpr double exact = 9.3343145684776430e-01;  // limit_reference.txt: l = 0, e = 1
    for (const auto& [first, last] : {std::pair{400, 400}, {390, 400}, {1, 400}}) {
        std::vector<int> reported;
        const LimitEstimate e =
            limit_by_size(yukawa(0), 1.0, first, last, 1e-12, false,
                          [&](int n, const PhaseShift&) { reported.push_back(n); });
        SCOPED_TRACE(first);
        EXPECT_EQ(e.largest_size, last);
        EXPECT_LE(std::fabs(e.delta - exact), e.error);
        EXPECT_LT(e.error, 1e-6);
        ASSERT_FALSE(reported.empty());
        EXPECT_EQ(reported.front(), first);
        EXPECT_EQ(reported.back(), last);
    }
}

// Energies batched per stage (shared potential blocks, in parallel) give each energy's limit
// bit for bit as it comes alone.
TEST(Limit, EnergiesTogetherAsAlone) {
    const std::vector<double> energies{0.3, 1.0, 4.0};
    const std::vector<LimitEstimate> together =
        limits_by_size(yukawa(2), energies, 1, 800, 1e-9, false);
    ASSERT_EQ(together.size(), energies.size());
    for (std::size_t i = 0; i < energies.size(); ++i) {
        const LimitEstimate alone = limit_by_size(yukawa(2), energies[i], 1, 800, 1e-9, false);
        EXPECT_EQ(together[i].delta, alone.delta);
        EXPECT_EQ(together[i].error, alone.error);
        EXPECT_EQ(together[i].largest_size, alone.largest_size);
    }
}

// lambda = auto: at the same largest N the bar of the chosen scale is far narrower than at
// lambda = 1 for high waves and high energies, and it still covers the integrated value.
TEST(Limit, AutoLambdaNarrowsTheBar) {
    std::vector<std::array<double, 3>> cases;  // l, e, exact
    for_rows("limit_reference.txt", 15, [&](const std::vector<double>& r) {
        const bool wanted =
            (r[4] == 5 && r[5] == 1) || (r[4] == 16 && r[5] == 1) || (r[4] == 0 && r[5] == 20);
        if (r[0] == 1 && r[3] == 0 && wanted) cases.push_back({r[4], r[5], r[6]});
    });
    ASSERT_EQ(cases.size(), 3u);
    for (const auto& [l, e, exact] : cases) {
        SCOPED_TRACE("l = " + std::to_string(l) + ", e = " + std::to_string(e));
        Problem p = yukawa(static_cast<int>(l));
        const LimitEstimate plain = limit_by_size(p, e, 1, 800, 1e-12, false);
        p.basis.lambda = auto_lambda(p.wave.l, std::sqrt(2.0 * e));
        const LimitEstimate chosen = limit_by_size(p, e, 1, 800, 1e-12, false);
        EXPECT_LE(std::fabs(chosen.delta - exact), chosen.error);
        EXPECT_LT(chosen.error, 0.5 * plain.error);
    }
}

// Under a Coulomb tail the free coefficients' phase gains eta ln N: without that term the fit
// of a Yukawa under zc = +-1 stopped near 1e-7 (columns zc, g, m, l, e, delta of
// coulomb_yukawa.txt, an independent integration).
TEST(Limit, CoulombTailPhaseInTheFit) {
    int cases = 0;
    for_rows("coulomb_yukawa.txt", 54, [&](const std::vector<double>& r) {
        if (r[0] == 0.0 || r[1] != 1.0 || r[3] > 1.0 || r[4] != 2.0) return;
        Problem p = yukawa(static_cast<int>(r[3]));
        p.zc = r[0];
        const LimitEstimate e = limit_by_size(p, r[4], 1, 1600, 1e-12, false);
        SCOPED_TRACE("zc = " + std::to_string(r[0]) + ", l = " + std::to_string(r[3]));
        EXPECT_LE(std::fabs(std::remainder(e.delta - r[5], pi)), e.error);
        EXPECT_LT(e.error, 5e-8);  // 2.5e-7 to 1.1e-6 without the term
        ++cases;
    });
    EXPECT_EQ(cases, 4);
}

// The error bars against phase shifts integrated independently (tests/data/
// gen_limit_reference.py) and the closed forms: each case's true error within its bar, and the
// bar of a smooth potential small.
TEST(Limit, ErrorBarsCoverIndependentPhaseShifts) {
    struct Case {
        Problem problem;
        double e, exact;
        bool smooth;
    };
    std::vector<Case> cases;
    for_rows("limit_reference.txt", 15, [&](const std::vector<double>& r) {
        Problem p = yukawa(static_cast<int>(r[4]));
        if (r[0] == 2)
            p.potential = {.kind = PotentialKind::coulomb, .z = r[1], .alpha = r[2]};
        else
            p.potential.g = r[1], p.potential.m = r[2];
        p.potential.r0 = r[3];
        cases.push_back({p, r[5], r[6], r[3] == 0.0});
        p.basis = {.kind = BasisKind::oscillator, .lambda = 2.0};
        if (r[4] == 0.0 && r[5] >= 1.0 && r[5] <= 5.0) cases.push_back({p, r[5], r[6], false});
    });
    // Wells and shells of their closed forms: l, a, kappa, dirac.
    const std::tuple<int, double, int, bool> wells[] = {
        {0, 0.0, 0, false}, {1, 0.0, 0, false}, {2, 0.5, 0, false}, {0, 0.5, 0, false},
        {3, 0.0, 0, false}, {0, 0.5, -1, true}, {1, 0.5, 1, true}};
    for (const auto& [l, a, kappa, dirac] : wells) {
        Problem p;
        p.wave = {l, kappa};
        p.scheme = {.dirac = dirac, .light = 137.0359996287515};
        p.potential = {.kind = PotentialKind::well, .v0 = -1.0, .a = a, .b = 1.0};
        cases.push_back({p, 1.0, *exact_phase_shift(p, 1.0), false});
    }
    // Wells under a Coulomb tail, matched to F_l and G_l (gen_coulomb_well.py): the partial-wave
    // loop takes its limits with zc by the same model.
    // Columns zc, v0, a, b, l, e, delta; the square wells v0 = -1, b = 1 at e = 1.
    for_rows("coulomb_well.txt", 42, [&](const std::vector<double>& r) {
        if (r[1] != -1.0 || r[2] != 0.0 || r[3] != 1.0 || r[5] != 1.0) return;
        Problem p;
        p.potential = {.kind = PotentialKind::well, .v0 = r[1], .a = 0.0, .b = r[3]};
        p.wave.l = static_cast<int>(r[4]);
        p.zc = r[0];
        cases.push_back({p, r[5], r[6], false});
    });
    ASSERT_GE(cases.size(), 30u);
    int covered = 0;
    for (const Case& c : cases) {
        const SizeScan scan = phase_shifts_by_size(c.problem, c.e, 1, 600);
        const LimitEstimate e =
            estimate_limit(scan.sizes, scan.delta, sequence_model(c.problem, c.e), 1e-8);
        const double error = std::fabs(std::remainder(e.delta - c.exact, pi));
        SCOPED_TRACE("l = " + std::to_string(c.problem.wave.l) + ", e = " + std::to_string(c.e));
        covered += error <= e.error ? 1 : 0;
        EXPECT_LE(error, 10.0 * e.error);
        // Smooth potentials at moderate l and e: the fit at N = 600 is already close.
        EXPECT_TRUE(!c.smooth || c.problem.wave.l > 5 || c.e > 2.0 || e.error < 5e-6) << e.error;
    }
    EXPECT_GE(covered, static_cast<int>(0.95 * cases.size()));
}

// delta made continuous over an energy grid from values known modulo pi: wraps undone, the first
// branch from n_b pi, a resonance between grid points followed by halving the step, and what
// cannot be followed marked: a resonance narrower than the finest step around a grid energy
// breaks both steps next to it. Statuses: a anchored, f far from the anchor, u unanchored,
// c continuous, j jump.
TEST(Continuity, BranchesOverTheEnergyGrid) {
    auto resonance = [](double er, double width) {
        return [=](double e) { return pi - 0.3 * e + std::atan2(0.5 * width, er - e); };
    };
    struct Case {
        const char* name;
        std::function<double(double)> delta;
        std::optional<double> anchor;
        int depth;
        std::string status;
        bool follows;  // delta_cont is the true delta at every energy
        bool refines;
    };
    const std::vector<Case> cases = {
        {"falls through wraps, n_b = 2", [](double e) { return 2 * pi - 0.05 - 1.2 * e; }, 2 * pi,
         continuity_depth, "acccccccccccc", true, false},
        {"n_b = 1", [](double e) { return pi + 0.3 * std::sin(3 * e); }, pi, continuity_depth,
         "acccccccccccc", true, false},
        {"n_b = 0", [](double e) { return -0.2 - 0.4 * e; }, 0.0, continuity_depth, "acccccccccccc",
         true, false},
        {"resonance between grid points", resonance(0.54, 0.04), pi, continuity_depth,
         "acccccccccccc", true, true},
        {"the same without refinement", resonance(0.54, 0.04), pi, 0, "acjjccccccccc", false,
         false},
        {"narrower than the finest step", resonance(0.3 + 2e-8, 1e-7), pi, continuity_depth,
         "ajjcccccccccc", false, true},
        {"moved far from n_b pi", [](double e) { return pi + 1.2 - 0.1 * e; }, pi, continuity_depth,
         "fcccccccccccc", true, false},
        {"no count of bound states", [](double e) { return 0.3 + 0.1 * e; }, std::nullopt,
         continuity_depth, "ucccccccccccc", true, false},
    };
    auto letter = [](Continuity c) { return "afucj"[static_cast<int>(c)]; };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto wrapped = [&](double e) { return std::atan(std::tan(c.delta(e))); };
        std::vector<double> energies, deltas;
        for (int i = 0; i < 13; ++i) {
            energies.push_back(0.05 + 0.25 * i);
            deltas.push_back(wrapped(energies.back()));
        }
        const ContinuousDelta cont = continuous_delta(energies, deltas, c.anchor, wrapped, c.depth);
        std::string status;
        for (Continuity s : cont.status)
            status += letter(s);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(cont.refined > 0, c.refines);
        bool follows = true;
        for (std::size_t i = 0; i < energies.size(); ++i) {
            EXPECT_NEAR(std::remainder(cont.delta[i] - deltas[i], pi), 0.0, 1e-12);
            follows = follows && std::fabs(cont.delta[i] - c.delta(energies[i])) < 1e-12;
        }
        EXPECT_EQ(follows, c.follows);
    }
}

}  // namespace
}  // namespace skarven::test
