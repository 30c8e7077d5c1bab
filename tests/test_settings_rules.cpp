// Guards against wrong parameter rules: requirements, defaults, validation order, warnings.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "settings.hpp"
#include "settings_files.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

using LoaderRules = SettingsTest;

struct MissingCase {
    std::string content;
    const char* missing;
};

// The walk reports the first required entry not given, in the order of the parameter table:
// estart eend estep l kappa lambda basis scheme v_light pot_type screen shift nstart nend
// v0 a b r0 z alpha energies e g m.
TEST_F(LoaderRules, FirstMissingRequiredParameterInTableOrder) {
    const std::vector<MissingCase> cases = {
        {minimal_without({"e"}), "e"},
        {minimal_without({"l"}), "l"},
        {minimal_without({"basis"}), "basis"},
        {minimal_without({"scheme"}), "scheme"},
        {minimal_without({"pot_type"}), "pot_type"},
        {minimal_without({"nend"}), "nend"},
        {minimal_without({"e", "nend"}), "nend"},
        {minimal_without({"nend", "basis"}), "basis"},
        {minimal_with({"pot_type = well"}), "v0"},
        {minimal_with({"pot_type = well", "v0 = 1"}), "a"},
        {minimal_with({"pot_type = well", "v0 = 1", "b = 1"}), "a"},
        {minimal_with({"pot_type = well", "v0 = 1", "a = 1"}), "b"},
        {minimal_with({"pot_type = coulomb"}), "r0"},
        {minimal_with({"pot_type = coulomb", "r0 = 1", "alpha = 1"}), "z"},
        {minimal_with({"pot_type = coulomb", "r0 = 1", "z = 1", "g = 1"}), "alpha"},
        {minimal_with({"pot_type = yukawa"}), "r0"},
        {minimal_with({"pot_type = yukawa", "r0 = 1", "m = 1"}), "g"},
        {minimal_with({"pot_type = yukawa", "r0 = 1", "g = 1"}), "m"},
        {minimal_with({"energies = T"}), "estart"},
        {minimal_with({"energies = T", "estart = 1"}), "eend"},
        {minimal_with({"scheme = relativistic"}), "kappa"},
        {minimal_with({"pot_type = well", "energies = T", "scheme = relativistic"}), "estart"},
        {minimal_without({"l"}, {"pot_type = well", "scheme = relativistic"}), "l"},
        {minimal_with({"pot_type = well", "scheme = relativistic"}), "kappa"},
        {"", "l"}};
    for (const MissingCase& c : cases) {
        SCOPED_TRACE(c.content);
        EXPECT_LOAD_ERROR(c.content,
                          "required parameter missing: <" + std::string(c.missing) + ">");
    }
}

TEST_F(LoaderRules, DefaultsAndGivenValues) {
    load(minimal_with());
    const RunSettings& s = sk_globals;
    EXPECT_EQ(s.projectile.kappa, 0);
    EXPECT_EQ(s.potential.pot_type, "user    ");
    EXPECT_EQ(s.nstart, 1);
    EXPECT_EQ(s.lambda, 1.0);
    EXPECT_TRUE(s.scr);
    EXPECT_FALSE(s.shift || s.energies);
    EXPECT_EQ(s.vol, std::string(8, ' '));
    EXPECT_EQ(s.v_light, 5000.0);
    for (double p : {s.estart, s.eend, s.estep, s.potential.r0, s.potential.v0, s.potential.a,
                     s.potential.b, s.potential.z, s.potential.alpha, s.potential.g, s.potential.m})
        EXPECT_EQ(p, 0.0);
    load(minimal_with({"screen = F", "shift = T", "nstart = 3", "lambda = 2.5", "estep = 0.5",
                       "pot_type = well", "v0 = -1", "a = 0.5", "b = 2"}));
    EXPECT_FALSE(s.scr);
    EXPECT_TRUE(s.shift);
    EXPECT_EQ(s.nstart, 3);
    EXPECT_EQ(s.lambda, 2.5);
    EXPECT_EQ(s.estep, 0.5);
    EXPECT_EQ(s.potential.v0 + s.potential.a + s.potential.b, 1.5);
}

TEST_F(LoaderRules, EnergyStepDefaultsToATenthOfTheRange) {
    load(minimal_with({"energies = T", "estart = 1", "eend = 3"}));
    EXPECT_TRUE(sk_globals.energies);
    EXPECT_DOUBLE_EQ(sk_globals.estep, 0.2);
    // The default does not depend on the energy pass being on.
    sk_globals = RunSettings{};
    load(minimal_with({"estart = 2", "eend = 7"}));
    EXPECT_DOUBLE_EQ(sk_globals.estep, 0.5);
}

struct LightCase {
    std::vector<std::string> lines;
    const char* vol;
    double v_light;
};

TEST_F(LoaderRules, SpeedOfLightFollowsTheVLightText) {
    const std::vector<LightCase> cases = {
        {{"scheme = relativistic", "kappa = -1"}, "finite  ", 137.0359996287515},
        {{"scheme = relativistic", "kappa = -1", "v_light = infinite"}, "infinite", 5000.0},
        {{}, "        ", 5000.0},
        {{"v_light = finite"}, "finite  ", 137.0359996287515},
        // Only the relativistic scheme checks the text.
        {{"v_light = light"}, "light   ", 5000.0}};
    for (const LightCase& c : cases) {
        sk_globals = RunSettings{};
        load(minimal_with(c.lines));
        EXPECT_EQ(sk_globals.vol, c.vol) << minimal_with(c.lines);
        EXPECT_EQ(sk_globals.v_light, c.v_light) << minimal_with(c.lines);
    }
}

struct Violation {
    int check;
    std::vector<std::string> lines;
    const char* message;
};

// One file per check that breaks that check only; the line sets of different checks are
// combined below when they set different keys.
const std::vector<Violation>& violations() {
    static const std::vector<Violation> table = {
        {1, {"nstart = 0"}, "incorrect values of <nstart> or <nend>"},
        {1, {"nstart = 11"}, "incorrect values of <nstart> or <nend>"},
        {2, {"nend = 5001"}, "<nend> is to big"},
        {3, {"e = 0"}, "<e> must be positive"},
        {4, {"energies = T", "estart = 2", "eend = 1"}, "incorrect values of <estart> or <eend>"},
        {5, {"energies = T", "estart = -1", "eend = 1"}, "<estart> and <eend> must be positive"},
        {6, {"energies = T", "estart = 1", "eend = 2", "estep = 0"}, "<estep> must be positive"},
        {6, {"energies = T", "estart = 1", "eend = 1"}, "<estep> must be positive"},
        {7,
         {"scheme = relativistic", "l = 1", "kappa = 2"},
         "<l> and <kappa> are not properly correlated"},
        {7,
         {"scheme = relativistic", "l = 1", "kappa = 0"},
         "<l> and <kappa> are not properly correlated"},
        {8, {"pot_type = Well"}, "<pot_type> must be <well>, <coulomb> or <user>"},
        {9, {"pot_type = well", "v0 = 1", "a = 2", "b = 1"}, "incorrect values of <a> or <b>"},
        {9, {"pot_type = well", "v0 = 1", "a = 1", "b = 1"}, "incorrect values of <a> or <b>"},
        {10, {"pot_type = yukawa", "r0 = 1", "g = 1", "m = 0"}, "<m> should be positive"},
        {11, {"basis = Gauss"}, "<basis> must be <gauss> or <laguerre>"},
        {12, {"scheme = Relativistic"}, "<scheme> must be <relativistic> or <non-relativistic>"},
        {13,
         {"scheme = relativistic", "kappa = -1", "v_light = light"},
         "<v_light> must be <finite> or <infinite>"},
        {14, {"lambda = 0"}, "<lambda> must be positive"},
        {15, {"solver = Fast"}, "<solver> must be <eigen> or <fast>"}};
    return table;
}

TEST_F(LoaderRules, EachValidationHasItsMessage) {
    for (const Violation& v : violations()) {
        SCOPED_TRACE("check " + std::to_string(v.check));
        EXPECT_LOAD_ERROR(minimal_with(v.lines), v.message);
    }
}

std::set<std::string> keys_of(const std::vector<std::string>& lines) {
    std::set<std::string> keys;
    for (const std::string& line : lines)
        keys.insert(line.substr(0, line.find(' ')));
    return keys;
}

TEST_F(LoaderRules, TheFirstFailedValidationIsReported) {
    int pairs = 0;
    int previous_check = 0;
    for (const Violation& first : violations()) {
        // One representative line set per check keeps the number of runs small.
        if (first.check == previous_check) continue;
        previous_check = first.check;
        for (const Violation& later : violations()) {
            if (later.check <= first.check) continue;
            std::set<std::string> shared;
            for (const std::string& key : keys_of(first.lines)) {
                if (keys_of(later.lines).count(key) != 0) shared.insert(key);
            }
            if (!shared.empty()) continue;
            std::vector<std::string> lines = later.lines;
            lines.insert(lines.end(), first.lines.begin(), first.lines.end());
            SCOPED_TRACE("checks " + std::to_string(first.check) + " and " +
                         std::to_string(later.check));
            EXPECT_LOAD_ERROR(minimal_with(lines), first.message);
            ++pairs;
        }
    }
    EXPECT_GT(pairs, 60);
}

TEST_F(LoaderRules, SolverDefaultsToTheEigenRoute) {
    struct Case {
        std::vector<std::string> lines;
        bool fast;
    };
    for (const Case& c : std::vector<Case>{{{}, false},
                                           {{"solver = eigen"}, false},
                                           {{"solver = fast"}, true},
                                           {{"solver = eigen", "solver = fast"}, true}}) {
        sk_globals = RunSettings{};
        load(minimal_with(c.lines));
        EXPECT_EQ(fast_solver(), c.fast) << minimal_with(c.lines);
        EXPECT_EQ(sk_globals.solver, c.fast ? "fast    " : "eigen   ");
    }
}

struct WarningCase {
    std::vector<std::string> lines;
    std::string warnings;
};

TEST_F(LoaderRules, WarningsAndTheirThresholds) {
    const std::string gauss = warning_line("results for e>25 may be inaccurate in gaussian basis");
    const std::string long_run = warning_line("be prepared for a long-running calculations");
    const std::vector<WarningCase> cases = {
        {{"basis = gauss", "e = 25"}, ""},
        {{"basis = gauss", "e = 25.000001"}, gauss},
        {{"basis = laguerre", "e = 30"}, ""},
        {{"basis = gauss", "energies = T", "estart = 1", "eend = 25"}, ""},
        {{"basis = gauss", "energies = T", "estart = 1", "eend = 26"}, gauss},
        {{"basis = gauss", "e = 30", "energies = T", "estart = 1", "eend = 30"}, gauss},
        {{"basis = gauss", "energies = F", "estart = 1", "eend = 30"}, ""},
        {{"nend = 3000"}, ""},
        {{"nend = 3001"}, long_run},
        {{"scheme = relativistic", "kappa = -1", "nend = 2000"}, ""},
        {{"scheme = relativistic", "kappa = -1", "nend = 2001"}, long_run},
        {{"basis = gauss", "e = 30", "nend = 3001"}, gauss + long_run},
        {{"xyz = 1", "basis = gauss", "e = 30"},
         warning_line("unknown parameter <xyz> = <1> has been ignored") + gauss}};
    for (const WarningCase& c : cases) {
        sk_globals = RunSettings{};
        EXPECT_EQ(load(minimal_with(c.lines)),
                  std::string(load_start) + c.warnings + std::string(load_end))
            << minimal_with(c.lines);
    }
}

struct WaveNumberCase {
    const char* scheme;
    double v_light;
    double e;
    double k;
};

TEST(ProjectileSetK, WaveNumberFromEnergy) {
    // Relativistic values from mpmath at 30 digits: sqrt(e (2 c^2 + e)) / c.
    const WaveNumberCase cases[] = {
        {"non-relativistic", 5000.0, 2.0, 2.0},
        {"non-relativistic", 137.0359996287515, 0.5, 1.0},
        {"relativistic", 137.0359996287515, 1.0, 1.4142323894445696999},
        {"relativistic", 137.0359996287515, 1.0e6, 7433.1254595263401096},
        {"relativistic", 5000.0, 1.0, 1.4142135765152306018},
        {"relativistic", 5000.0, 1.0e6, 1428.2856857085699996}};
    for (const WaveNumberCase& c : cases) {
        sk_globals = RunSettings{};
        sk_globals.scheme = padded(c.scheme, 16);
        sk_globals.v_light = c.v_light;
        Projectile p;
        p.e = c.e;
        projectile_set_k(p);
        EXPECT_LE(relative_error(p.k, c.k), 4e-16) << c.scheme << " e = " << c.e;
    }
    sk_globals.scheme = padded("other", 16);
    Projectile p;
    p.e = 2.0;
    p.k = 7.0;
    projectile_set_k(p);
    EXPECT_EQ(p.k, 7.0);
    sk_globals = RunSettings{};
}

TEST(ConvertIntToString, DigitsWithoutBlanks) {
    const std::pair<int, const char*> cases[] = {
        {5, "5"}, {0, "0"}, {99999, "99999"}, {-9999, "-9999"}, {100000, "*****"}};
    for (const auto& [n, text] : cases)
        EXPECT_EQ(convert_int_to_string(n), text) << n;
}

}  // namespace
}  // namespace skarven::test
