// Guards against silently wrong phase shifts where the oscillator basis's free solutions need
// extended precision (q^2 = 40 and 100): block averages at large N against an independent
// integration of the radial equation (tests/data/gen_yukawa_high_energy.py), and the two routes
// against each other.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "e2e_support.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

// The Yukawa potential of the reference, cut at r0 = 3, in the oscillator basis.
const std::string yukawa =
    "pot_type = yukawa\ng = 1.5\nm = 1.0\nr0 = 3.0\nbasis = gauss\n"
    "nstart = 1\nscreen = F\n";
const std::string schroedinger = yukawa + "scheme = non-relativistic\ne = 200\nl = 0\n";
const std::string dirac =
    yukawa + "scheme = relativistic\nv_light = finite\ne = 20\nl = 0\nkappa = -1\n";

// The data lines of root (N, tan delta, delta) or root.avg (N, average) of one run.
Rows run_rows(const std::string& input, const std::string& file) {
    RunDirectory dir;
    dir.write("sk.inp", input);
    const RunResult run = dir.run("\n\n");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    return data_rows(dir.read(file));
}

// The jump of the cut potential at r0 makes delta_N oscillate about its limit; the block
// averages of the last 150 sizes settle to the bounds below (measured spread 1.5e-5 and 6e-5).
TEST(HighEnergyOscillatorBasis, BlockAveragesMatchTheRadialEquation) {
    const auto reference = read_table("yukawa_high_energy.txt");
    ASSERT_EQ(reference.size(), 2u);
    const struct {
        std::string input;
        double delta, tolerance;
    } cases[] = {
        {schroedinger + "lambda = 2.0\nnend = 3000\nsolver = fast\n", reference[0][2], 4e-5},
        {dirac + "lambda = 1.0\nnend = 2000\nsolver = fast\n", reference[1][2], 1.5e-4},
    };
    for (const auto& c : cases) {
        const Rows averages = run_rows(c.input, "sk.out.avg");
        ASSERT_GE(averages.size(), 3u) << c.input;
        for (std::size_t i = averages.size() - 3; i < averages.size(); ++i)
            EXPECT_NEAR(averages[i][1], c.delta, c.tolerance)
                << c.input << " N = " << averages[i][0];
    }
}

TEST(HighEnergyOscillatorBasis, RoutesAgree) {
    for (const std::string& input :
         {schroedinger + "lambda = 2.0\nnend = 80\n", dirac + "lambda = 1.0\nnend = 40\n"}) {
        const Rows eigen = run_rows(input + "solver = eigen\n", "sk.out");
        const Rows fast = run_rows(input + "solver = fast\n", "sk.out");
        ASSERT_EQ(eigen.size(), fast.size()) << input;
        for (std::size_t i = 0; i < eigen.size(); ++i)
            EXPECT_NEAR(eigen[i][2], fast[i][2], 1e-10) << input << " N = " << eigen[i][0];
    }
}

}  // namespace
}  // namespace skarven::test
