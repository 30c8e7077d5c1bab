// Data columns: a value too wide for its decimals gives up decimals, never its digits.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "text_format.hpp"

namespace skarven {
namespace {

TEST(FormatFixedFitting, FewerDecimalsBeforeAsterisks) {
    struct Case {
        double value;
        int width;
        int decimals;
        std::string expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {999.5, 10, 6, "999.500000"},  // fits: as format_fixed
        {-0.5, 4, 2, "-.50"},
        {1234.5, 10, 6, "1234.50000"},
        {-12345.678, 10, 6, "-12345.678"},
        {9999.9999996, 10, 6, "10000.0000"},  // rounding carries into a new digit
        {123456789.7, 10, 6, "123456790."},
        {1.5e12, 26, 16, "1500000000000.000000000000"},
        {1.0e10, 10, 6, "**********"},
        {nan, 10, 6, "**********"},
        {-inf, 10, 6, "**********"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(format_fixed_fitting(c.value, c.width, c.decimals), c.expected) << c.value;
    }
}

}  // namespace
}  // namespace skarven
