// Numbers that are not numbers never reach a result file: a potential element that is not finite
// ends the run naming the basis size, while an exactly singular truncated matrix still gives the
// limit of the phase-shift formula.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "driver_support.hpp"
#include "sk_g.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

// The value the injected source puts at element (0, 0) of the potential block.
double corner_value = 0.0;

void corner_blocks(int n, std::vector<double>& phi, std::vector<double>& psi) {
    phi.assign(static_cast<std::size_t>(n) * n, 0.0);
    psi.assign(static_cast<std::size_t>(n) * n, 0.0);
    phi[0] = corner_value;
}

class NonFinite : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        set_potential_blocks_source(corner_blocks);
    }
    void TearDown() override {
        set_potential_blocks_source(nullptr);
        DriverTest::TearDown();
    }
    // Laguerre basis, l = 0, lambda = 1, k = 1 (e = 1/2), where J(0, 0) = -3/4.
    static RunSetup unit_setup() {
        RunSetup setup;
        setup.pot_type = "user";
        setup.e = 0.5;
        setup.nend = 3;
        setup.solver = "fast";
        return setup;
    }
};

TEST_F(NonFinite, PotentialElementThatIsNotFiniteEndsTheRun) {
    for (double value :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        corner_value = value;
        EXPECT_FATAL(run(unit_setup()),
                     "Error \\(g\\): the potential matrix is not finite at N = 1\\.");
    }
}

// V(0, 0) = 3/4 makes the one-function matrix exactly zero: g is infinite and tan delta is the
// limit -s_1 / c_1 = -0.48 / 0.14 of the closed-form coefficients.
TEST_F(NonFinite, SingularMatrixGivesTheLimitOfTheFormula) {
    corner_value = 0.75;
    RunSetup setup = unit_setup();
    setup.nend = 1;
    const std::vector<Point> points = run(setup);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_NEAR(points[0].tan_delta, -0.48 / 0.14, 1e-13);
    EXPECT_NEAR(points[0].delta, std::atan(-0.48 / 0.14), 1e-13);
}

}  // namespace
}  // namespace skarven::test
