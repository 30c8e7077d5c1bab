// Guards against Iw and Fw.d fields unlike gfortran's, and data columns that lose digits.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "text_format.hpp"

namespace skarven {
namespace {

// Each item: descriptor(value)=[field]. Fw.d puts the leading zero first, rounds exact halves to
// even, keeps the sign of negative values rounding to zero and gives asterisks for values too
// wide or not finite; Ww.d (data columns) gives up decimals before it gives asterisks.
constexpr const char* fields = R"(
I5(10)=[   10]  I1(-5)=[*]  I2(100)=[**]  I5(-9999)=[-9999]  I10(2147483647)=[2147483647]
F22.16(1)=[    1.0000000000000000]  F10.6(137.0359996287515)=[137.036000]  F6.4(0.5)=[0.5000]
F5.4(0.5)=[.5000]  F4.4(0.5)=[****]  F6.4(-0.5)=[-.5000]  F2.1(0)=[.0]  F5.2(0)=[ 0.00]
F4.2(0.125)=[0.12]  F4.2(0.375)=[0.38]  F5.2(-0.125)=[-0.12]  F3.0(2.5)=[ 2.]  F3.0(3.5)=[ 4.]
F4.2(1.005)=[1.00]  F6.2(-0.001)=[ -0.00]  F4.2(-0.001)=[-.00]  F3.2(-0.001)=[***]
F6.2(-0.0)=[ -0.00]  F3.0(-0.4)=[-0.]  F4.0(-0.5)=[ -0.]  F2.0(0.4)=[0.]  F1.0(0)=[*]
F2.0(-0.4)=[**]  F7.0(-29.4375)=[   -29.]  F5.2(99.995)=[*****]  F7.1(12345.6)=[12345.6]
F7.1(-12345.6)=[*******]  F26.16(1e300)=[**************************]  F10.6(inf)=[**********]
F5.2(nan)=[*****]  W10.6(999.5)=[999.500000]  W4.2(-0.5)=[-.50]  W10.6(1234.5)=[1234.50000]
W10.6(-12345.678)=[-12345.678]  W10.6(9999.9999996)=[10000.0000]  W10.6(123456789.7)=[123456790.]
W26.16(1.5e12)=[1500000000000.000000000000]  W10.6(1e10)=[**********]  W10.6(nan)=[**********]
W10.6(-inf)=[**********]
)";

TEST(Format, FieldsAsGfortranWritesThem) {
    const std::regex item(R"(([IFW])(\d+)\.?(\d*)\(([^)]*)\)=\[([^\]]*)\])");
    const std::string table = fields;
    int count = 0;
    for (std::sregex_iterator at(table.begin(), table.end(), item), end; at != end; ++at, ++count) {
        const std::smatch& m = *at;
        SCOPED_TRACE(m.str());
        const int width = std::stoi(m[2]), decimals = m[3].length() ? std::stoi(m[3]) : 0;
        const double value = std::strtod(m.str(4).c_str(), nullptr);
        const std::string field = m[1] == "I"   ? format_int(static_cast<long long>(value), width)
                                  : m[1] == "F" ? format_fixed(value, width, decimals)
                                                : format_fixed_fitting(value, width, decimals);
        EXPECT_EQ(field, m.str(5));
    }
    EXPECT_EQ(count, 45);  // every item was read
}

}  // namespace
}  // namespace skarven
