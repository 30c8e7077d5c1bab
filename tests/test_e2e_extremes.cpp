// Extreme settings on the real binary: each ends promptly with its error line and status 1,
// never with a hang, an abort or a file of numbers that are not numbers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.hpp"

namespace skarven::test {
namespace {

// A hang is reported as a failed run long before the test runner would give up.
constexpr int limit_seconds = 60;

const std::string shell =
    "pot_type = well\nv0 = -1.0\na = 0.5\nb = 1.0\nbasis = laguerre\n"
    "scheme = non-relativistic\nl = 0\ne = 1.0\nnend = 20\nscreen = F\n";
const std::string oscillator =
    "pot_type = well\nv0 = -1.0\na = 0.0\nb = 1.0\nbasis = gauss\n"
    "scheme = non-relativistic\nl = 0\ne = 1.0\nnend = 20\nscreen = F\n";
const std::string dirac =
    "pot_type = well\nv0 = -1.0\na = 0.0\nb = 1.0\nbasis = gauss\nscheme = relativistic\n"
    "l = 0\nkappa = -1\ne = 1.0\nnend = 20\nscreen = F\n";
const std::string window = "energies = T\nestart = 1.0\neend = 2.0\n";
struct Extreme {
    const char* name;
    std::string input;
    const char* error;
};

TEST(ExtremeSettings, EachEndsWithItsErrorAndStatusOne) {
    const std::vector<Extreme> cases = {
        {"shell beyond a tiny basis", shell + "lambda = 1e16\nsolver = fast\n",
         "Error (loadparams): <a> lies beyond the reach of the basis."},
        {"smallest l", shell + "l = -2147483648\n", "Error (loadparams): <l> is out of range."},
        {"largest l", shell + "l = 2147483647\n", "Error (loadparams): <l> is out of range."},
        {"energy count beyond an integer", shell + window + "estep = 1e-12\n",
         "Error (loadparams): <estep> is too small for the energy range."},
        {"energies closer than a double resolves",
         shell + "energies = T\nestart = 1.0\neend = 1.0000000000000002\nestep = 5e-17\n",
         "Error (loadparams): <estep> is too small for the energy range."},
        {"huge oscillator scale", oscillator + window + "lambda = 1e300\nsolver = fast\n",
         "Error (loadparams): <lambda> is out of range."},
        {"huge Dirac well", dirac + window + "v0 = 1.79e308\nsolver = fast\n",
         "Error (loadparams): <v0> is out of range."},
        {"oscillator l = -2, fast energy pass", oscillator + window + "l = -2\nsolver = fast\n",
         "Error (loadparams): <l> is out of range."},
        {"oscillator l = -1", oscillator + "l = -1\n", "Error (loadparams): <l> is out of range."},
        {"oscillator l = -2", oscillator + "l = -2\n", "Error (loadparams): <l> is out of range."},
        {"oscillator energy far above its scale", oscillator + "lambda = 0.01\ne = 2.0\n",
         "Error (loadparams): <e> is too large for <lambda> in gaussian basis."},
    };
    for (const Extreme& c : cases) {
        SCOPED_TRACE(c.name);
        RunDirectory dir;
        dir.write("sk.inp", c.input);
        const RunResult run = dir.run("\n\n", limit_seconds);
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_EQ(run.err, "SKARVEN will terminate.\n");
        const std::string tail = "\n" + std::string(c.error) + "\n";
        EXPECT_TRUE(run.out.size() >= tail.size() &&
                    run.out.compare(run.out.size() - tail.size(), tail.size(), tail) == 0)
            << run.out;
    }
}

}  // namespace
}  // namespace skarven::test
