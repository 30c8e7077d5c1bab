// Guards against wrong Iw and Fw.d fields (gfortran's output for the same edit descriptors).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "text_format.hpp"

namespace skarven {
namespace {

TEST(Format, FieldsAsGfortranWritesThem) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        int width, decimals;  // decimals < 0: an Iw field
        const char* expected;
    } cases[] = {// Iw: right-aligned, asterisks when too wide.
                 {10, 5, -1, "   10"},
                 {0, 3, -1, "  0"},
                 {-5, 2, -1, "-5"},
                 {-5, 1, -1, "*"},
                 {100, 2, -1, "**"},
                 {-9999, 5, -1, "-9999"},
                 {2147483647, 10, -1, "2147483647"},
                 // Fw.d: the leading zero goes first when the field is short.
                 {1.0, 22, 16, "    1.0000000000000000"},
                 {-2.5, 20, 15, "  -2.500000000000000"},
                 {137.0359996287515, 10, 6, "137.036000"},
                 {0.5, 6, 4, "0.5000"},
                 {0.5, 5, 4, ".5000"},
                 {0.5, 4, 4, "****"},
                 {-0.5, 6, 4, "-.5000"},
                 {0.0, 2, 1, ".0"},
                 {0.0, 5, 2, " 0.00"},
                 // Exactly representable halves round to even; 1.005 is stored just below the tie.
                 {0.125, 4, 2, "0.12"},
                 {0.375, 4, 2, "0.38"},
                 {-0.125, 5, 2, "-0.12"},
                 {2.5, 3, 0, " 2."},
                 {3.5, 3, 0, " 4."},
                 {0.5, 4, 0, "  0."},
                 {1.005, 4, 2, "1.00"},
                 // Negative values rounding to zero keep their sign.
                 {-0.001, 6, 2, " -0.00"},
                 {-0.001, 4, 2, "-.00"},
                 {-0.001, 3, 2, "***"},
                 {-0.0, 6, 2, " -0.00"},
                 {-0.4, 3, 0, "-0."},
                 {-0.5, 4, 0, " -0."},
                 // No decimals: the point stays.
                 {0.4, 2, 0, "0."},
                 {0.0, 1, 0, "*"},
                 {-0.4, 2, 0, "**"},
                 {-29.4375, 7, 0, "   -29."},
                 // Too wide or not finite: asterisks.
                 {99.995, 5, 2, "*****"},
                 {1.0e300, 26, 16, "**************************"},
                 {inf, 10, 6, "**********"},
                 {std::nan(""), 5, 2, "*****"},
                 {12345.6, 7, 1, "12345.6"},
                 {-12345.6, 7, 1, "*******"}};
    for (const auto& c : cases) {
        if (c.decimals < 0) {
            EXPECT_EQ(format_int(static_cast<long long>(c.value), c.width), c.expected)
                << "I" << c.width << " of " << c.value;
        } else {
            EXPECT_EQ(format_fixed(c.value, c.width, c.decimals), c.expected)
                << "F" << c.width << "." << c.decimals << " of " << c.value;
        }
    }
}

}  // namespace
}  // namespace skarven
