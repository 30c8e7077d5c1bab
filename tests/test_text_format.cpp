// Iw and Fw.d fields against values checked by hand and against gfortran's output for the same
// edit descriptors (ties of exactly representable values, negative values rounding to zero).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "text_format.hpp"

namespace skarven {
namespace {

struct IntCase {
    long long value;
    int width;
    const char* expected;
};

TEST(FormatInt, RightAlignedOrAsterisks) {
    const IntCase cases[] = {
        {10, 5, "   10"},
        {0, 3, "  0"},
        {-5, 2, "-5"},
        {-5, 1, "*"},
        {100, 2, "**"},
        {4, 3, "  4"},
        {99999, 5, "99999"},
        {100000, 5, "*****"},
        {-9999, 5, "-9999"},
        {-10000, 5, "*****"},
        {2147483647, 10, "2147483647"},
    };
    for (const IntCase& c : cases) {
        EXPECT_EQ(format_int(c.value, c.width), c.expected) << "I" << c.width << " of " << c.value;
    }
}

struct FixedCase {
    double value;
    int width;
    int decimals;
    const char* expected;
};

void check_fixed(const FixedCase& c) {
    EXPECT_EQ(format_fixed(c.value, c.width, c.decimals), c.expected)
        << "F" << c.width << "." << c.decimals << " of " << c.value;
}

TEST(FormatFixed, HeaderFields) {
    const FixedCase cases[] = {
        {1.0, 22, 16, "    1.0000000000000000"},
        {1.0, 26, 16, "        1.0000000000000000"},
        {-2.5, 20, 15, "  -2.500000000000000"},
        {137.0359996287515, 10, 6, "137.036000"},
        {15.5, 5, 2, "15.50"},
        {0.5, 6, 4, "0.5000"},
        {0.5, 5, 4, ".5000"},
        {0.5, 4, 4, "****"},
        {-0.5, 6, 4, "-.5000"},
        {-0.5, 7, 4, "-0.5000"},
        {0.0, 2, 1, ".0"},
        {0.0, 5, 2, " 0.00"},
    };
    for (const FixedCase& c : cases)
        check_fixed(c);
}

// Exactly representable halves round to even, as printf and gfortran both do.
TEST(FormatFixed, TiesOfExactValuesRoundToEven) {
    const FixedCase cases[] = {
        {0.125, 4, 2, "0.12"},
        {0.375, 4, 2, "0.38"},
        {0.625, 4, 2, "0.62"},
        {-0.125, 5, 2, "-0.12"},
        {0.25, 4, 1, " 0.2"},
        {2.5, 3, 0, " 2."},
        {3.5, 3, 0, " 4."},
        {0.5, 4, 0, "  0."},
        {1.5, 4, 0, "  2."},
        // 1.005 is stored just below the tie.
        {1.005, 4, 2, "1.00"},
    };
    for (const FixedCase& c : cases)
        check_fixed(c);
}

TEST(FormatFixed, NegativeValuesRoundingToZeroKeepTheirSign) {
    const FixedCase cases[] = {
        {-0.001, 6, 2, " -0.00"}, {-0.001, 5, 2, "-0.00"},      {-0.001, 4, 2, "-.00"},
        {-0.001, 3, 2, "***"},    {-5e-7, 10, 6, " -0.000000"}, {-0.0, 6, 2, " -0.00"},
        {-0.4, 3, 0, "-0."},      {-0.5, 4, 0, " -0."},
    };
    for (const FixedCase& c : cases)
        check_fixed(c);
}

TEST(FormatFixed, NoDecimalsKeepThePointAndTheZero) {
    const FixedCase cases[] = {
        {0.4, 2, 0, "0."},           {0.0, 1, 0, "*"}, {-0.4, 2, 0, "**"}, {735.5, 5, 0, " 736."},
        {-29.4375, 7, 0, "   -29."},
    };
    for (const FixedCase& c : cases)
        check_fixed(c);
}

TEST(FormatFixed, TooWideOrNotFiniteFillsWithAsterisks) {
    const double inf = std::numeric_limits<double>::infinity();
    const FixedCase cases[] = {
        {99.995, 5, 2, "*****"},
        {99.996, 5, 2, "*****"},
        {1.0e300, 26, 16, "**************************"},
        {inf, 10, 6, "**********"},
        {-inf, 10, 6, "**********"},
        {std::nan(""), 5, 2, "*****"},
        {12345.6, 7, 1, "12345.6"},
        {-12345.6, 7, 1, "*******"},
    };
    for (const FixedCase& c : cases)
        check_fixed(c);
}

}  // namespace
}  // namespace skarven
