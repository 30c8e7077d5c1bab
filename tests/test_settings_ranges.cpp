// The ranges the loader admits: each setting the method cannot carry in double precision is
// refused with its message, and the documented edges of each range are accepted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings.hpp"
#include "settings_files.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

using LoaderRanges = SettingsTest;

const std::vector<std::string> energies = {"energies = T", "estart = 1", "eend = 2"};

std::vector<std::string> with(std::vector<std::string> lines,
                              const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

struct Refused {
    std::vector<std::string> lines;
    const char* message;
};

TEST_F(LoaderRanges, SettingsOutsideTheRangesAreRefused) {
    const std::string well = "pot_type = well", coulomb = "pot_type = coulomb",
                      yukawa = "pot_type = yukawa", dirac = "scheme = relativistic";
    const std::vector<Refused> cases = {
        {{"l = -1"}, "<l> is out of range"},
        {{"l = 2147483647"}, "<l> is out of range"},
        // The correlation check forms -l - 1 without overflow and passes; the range does not.
        {{dirac, "l = -2147483648", "kappa = 2147483647"}, "<l> is out of range"},
        // Largest l at nend = 10: 67 (Laguerre, (n + 2l + 1)!/n! < 1e250), 136 (oscillator).
        {{"l = 68"}, "<l> is out of range"},
        {{"basis = gauss", "l = 137"}, "<l> is out of range"},
        {{"nend = 5000", "l = 34"}, "<l> is out of range"},
        {{"lambda = 1.1e20"}, "<lambda> is out of range"},
        {{"lambda = 0.9e-20"}, "<lambda> is out of range"},
        // (k/lambda)^2 = 2e/lambda^2 above 1e15 (Laguerre) or 2000 (oscillator).
        {{"e = 5.1e14"}, "<e> is too large for <lambda>"},
        {{"basis = gauss", "e = 1000.001"}, "<e> is too large for <lambda> in gaussian basis"},
        {{"basis = gauss", "lambda = 0.01", "e = 2"},
         "<e> is too large for <lambda> in gaussian basis"},
        {with(energies, {"eend = 5.1e14"}), "<eend> is too large for <lambda>"},
        {with(energies, {"basis = gauss", "eend = 1000.5"}),
         "<eend> is too large for <lambda> in gaussian basis"},
        // The last energy, a tenth of a step above eend, counts.
        {{"energies = T", "basis = gauss", "estart = 1.02", "eend = 999.95", "estep = 1"},
         "<eend> is too large for <lambda> in gaussian basis"},
        {with(energies, {"estep = 1e-12"}), "<estep> is too small for the energy range"},
        {with(energies, {"estep = 0.999e-6"}), "<estep> is too small for the energy range"},
        {{"energies = T", "estart = 1", "eend = 1.0000000000000002", "estep = 5e-17"},
         "<estep> is too small for the energy range"},
        // Strengths relative to lambda^2 above 1e10: v0, z lambda^alpha, g^2 lambda.
        {{well, "v0 = -1.1e10", "a = 0", "b = 1"}, "<v0> is out of range"},
        {{well, "v0 = 1e7", "a = 0", "b = 1", "lambda = 0.01"}, "<v0> is out of range"},
        // Laguerre reach at nend = 10, l = 0: lambda |a| <= 2 (4 * 11 + 8) + 3000 = 3104.
        {{well, "v0 = 1", "a = 3104.5", "b = 1e5"}, "<a> lies beyond the reach of the basis"},
        {{well, "v0 = 1", "a = -3104.5", "b = 0"}, "<a> lies beyond the reach of the basis"},
        {{well, "v0 = 1", "a = 0.5", "b = 1", "lambda = 1e16"},
         "<a> lies beyond the reach of the basis"},
        // Oscillator reach: sqrt(4 (4 * 11 + 7) + 2000) = 46.95.
        {{well, "v0 = 1", "a = 47", "b = 50", "basis = gauss"},
         "<a> lies beyond the reach of the basis"},
        {{coulomb, "r0 = 0", "z = 1.1e10", "alpha = 1"}, "<z> is out of range"},
        {{coulomb, "r0 = 0", "z = 1e7", "alpha = 1", "lambda = 1e-4", "e = 1e-9"},
         "<z> is out of range"},
        {{coulomb, "r0 = 0", "z = 1", "alpha = 3"}, "<alpha> is out of range"},
        {{coulomb, "r0 = 1", "z = 1", "alpha = -20.5"}, "<alpha> is out of range"},
        {{coulomb, "r0 = 0", "z = 1", "alpha = 5", "l = 1"}, "<alpha> is out of range"},
        // The second Dirac component starts as r^l unless kappa = -(l + 1).
        {{coulomb, "r0 = 0", "z = 1", "alpha = 3", dirac, "l = 1", "kappa = 1"},
         "<alpha> is out of range"},
        {{yukawa, "r0 = 0", "g = 1.1e5", "m = 1"}, "<g> is out of range"},
        {{yukawa, "r0 = 0", "g = 1", "m = 101"}, "<m> is out of range"},
        {{yukawa, "r0 = 0", "g = 1", "m = 1.1", "lambda = 0.01"}, "<m> is out of range"},
        {{yukawa, "r0 = 0", "g = 1", "m = 1", dirac, "l = 0", "kappa = 0"},
         "<kappa> is out of range"},
        // The highest partial wave meets the limits of l (33 at nend = 5000).
        {with(energies, {"estep = 0.5", "solver = fast", "nend = 5000", "lmax = 34"}),
         "<lmax> is out of range"},
    };
    for (const Refused& c : cases) {
        SCOPED_TRACE(minimal_with(c.lines));
        EXPECT_LOAD_ERROR(minimal_with(c.lines), c.message);
    }
}

TEST_F(LoaderRanges, TheEdgesOfTheRangesAreAccepted) {
    const std::vector<std::vector<std::string>> accepted = {
        {"l = 67"},
        {"basis = gauss", "l = 136"},
        {"nend = 5000", "l = 33"},
        {"nend = 5000", "basis = gauss", "l = 67"},
        {"lambda = 1e20"},
        {"lambda = 1e-20", "e = 1e-40"},
        {"e = 5e14"},
        {"lambda = 1e6", "e = 5e19"},
        {"e = 1e-300"},
        {"basis = gauss", "e = 1000"},
        // The edges of the plain validations.
        {"nend = 5000"},
        {"nstart = 10"},
        {"energies = T", "estart = 1", "eend = 1", "estep = 0.1"},
        {"scheme = relativistic", "l = 1", "kappa = -2"},
        {"pot_type = yukawa", "r0 = 1", "g = 1", "m = 1e-10"},
        {"pot_type = well", "v0 = 1", "a = 1", "b = 1.000001"},
        {"lambda = 1e-6"},
        {"basis = gauss", "lambda = 0.5", "e = 249.99", "scheme = relativistic", "kappa = -1",
         "v_light = infinite"},
        {"energies = T", "estart = 1e7", "eend = 5e7", "estep = 1e7"},
        {"energies = T", "estart = 1", "eend = 2", "estep = 1.000001e-6"},
        {"energies = T", "estart = 1", "eend = 1", "estep = 1e-300"},
        {"basis = gauss", "energies = T", "estart = 1", "eend = 999.5", "estep = 1"},
        {"pot_type = well", "v0 = -1e10", "a = 3104", "b = 1e300"},
        {"pot_type = well", "v0 = 0.99e14", "a = 0", "b = 1", "lambda = 100"},
        {"pot_type = well", "v0 = 1", "a = -3104", "b = 0"},
        {"pot_type = well", "v0 = 1", "a = 46.9", "b = 50", "basis = gauss"},
        {"pot_type = well", "v0 = 1", "a = 0.5", "b = 1", "lambda = 1e3"},
        {"pot_type = coulomb", "r0 = 0", "z = -1e10", "alpha = 2.9"},
        {"pot_type = coulomb", "r0 = 0", "z = 0.99e14", "alpha = 1", "lambda = 1e4"},
        {"pot_type = coulomb", "r0 = 1", "z = 1", "alpha = -20"},
        {"pot_type = coulomb", "r0 = 0", "z = 1", "alpha = 4.9", "l = 1"},
        {"pot_type = coulomb", "r0 = 0", "z = 1", "alpha = 2.9", "scheme = relativistic", "l = 0",
         "kappa = -1"},
        {"pot_type = coulomb", "r0 = 0", "z = 1", "alpha = 2.9", "scheme = relativistic", "l = 1",
         "kappa = 1"},
        {"pot_type = yukawa", "r0 = 0", "g = 1e5", "m = 100"},
        {"pot_type = yukawa", "r0 = 0", "g = 1", "m = 1", "scheme = relativistic", "l = 0",
         "kappa = -1"},
    };
    for (const auto& lines : accepted) {
        sk_globals = RunSettings{};
        const std::string out = load(minimal_with(lines));
        EXPECT_EQ(out.substr(out.size() - load_end.size()), load_end) << minimal_with(lines);
    }
}

}  // namespace
}  // namespace skarven::test
