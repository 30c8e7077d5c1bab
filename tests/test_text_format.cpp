// Guards against Iw/Fw.d fields unlike gfortran's and numbers read unlike how they are written.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <regex>
#include <string>

#include "text_format.hpp"

namespace skarven {
namespace {

// Each item: descriptor(value)=[field]. Ww.d (data columns) gives up decimals before asterisks.
constexpr const char* fields = R"(
I1(-5)=[*]  I5(-9999)=[-9999]  I10(2147483647)=[2147483647]  F22.16(1)=[    1.0000000000000000]
F10.6(137.0359996287515)=[137.036000]  F6.4(0.5)=[0.5000]  F5.4(0.5)=[.5000]  F4.4(0.5)=[****]
F6.4(-0.5)=[-.5000]  F2.1(0)=[.0]  F5.2(0)=[ 0.00]  F4.2(0.125)=[0.12]  F4.2(0.375)=[0.38]
F3.0(2.5)=[ 2.]  F4.2(1.005)=[1.00]  F6.2(-0.001)=[ -0.00]  F4.2(-0.001)=[-.00]  F3.2(-0.001)=[***]
F6.2(-0.0)=[ -0.00]  F4.0(-0.5)=[ -0.]  F2.0(0.4)=[0.]  F1.0(0)=[*]  F2.0(-0.4)=[**]
F5.2(99.995)=[*****]  F7.1(-12345.6)=[*******]  F26.16(1e300)=[**************************]
F10.6(inf)=[**********]  F5.2(nan)=[*****]  W10.6(1234.5)=[1234.50000]  W10.6(-inf)=[**********]
W10.6(-12345.678)=[-12345.678]  W10.6(9999.9999996)=[10000.0000]  W10.6(123456789.7)=[123456790.]
W10.6(1e10)=[**********]
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
    EXPECT_EQ(count, 34);  // every item was read
}

constexpr NumberSyntax free_form{};
// Fortran F editing with two implied decimals: blanks and tabs ignored, a blank field is 0.
constexpr NumberSyntax fixed{" \t", true, 2, "EDQ", true};
// The same with only blanks ignored, no Q and a blank field refused.
constexpr NumberSyntax strict{" ", false, 2, "ED", true};
constexpr std::optional<double> refused;

struct Case {
    const NumberSyntax& syntax;
    const char* text;
    std::optional<double> expected;
};

TEST(Parse, RealsAndIntegersInEachSyntax) {
    const Case reals[] = {
        // clang-format off
        {free_form, "-.5", -0.5}, {free_form, "+7.", 7.0}, {free_form, "2.5d-3", 2.5e-3},
        {free_form, "0.1", 0.1}, {free_form, "1E308", 1e308}, {free_form, "1e-400", 0.0},
        {free_form, "2.4703282292062328e-324", 4.9406564584124654e-324},
        {free_form, "1e309", refused}, {free_form, "1.5+3", refused}, {free_form, "1q3", refused},
        {free_form, " 1", refused}, {free_form, "", refused}, {free_form, ".", refused},
        {free_form, "1e+", refused}, {free_form, "nan", refused}, {fixed, "  1 5 0", 1.5},
        {fixed, "150e1", 15.0}, {fixed, "1.5", 1.5}, {fixed, " \t ", 0.0}, {fixed, "1.5q1", 15.0},
        {fixed, "1.5-1", 0.15}, {fixed, "-1.5D+1", -15.0}, {fixed, "****", refused},
        {fixed, "+", refused}, {strict, "", refused}, {strict, "1\t5", refused},
        {strict, "1.5q1", refused}, {strict, "1.5+1", 15.0}, {strict, "1e100000000", refused},
        {strict, "1e-100000000", 0.0},
        // clang-format on
    };
    for (const auto& c : reals)
        EXPECT_EQ(parse_real(c.text, c.syntax), c.expected) << '"' << c.text << '"';
    EXPECT_TRUE(std::signbit(*parse_real("-0.0", free_form)));
    const Case integers[] = {
        // clang-format off
        {free_form, "2147483647", 2147483647}, {free_form, "-2147483648", -2147483648.0},
        {free_form, "2147483648", refused}, {free_form, "000000000000000000000042", 42},
        {free_form, "1 2", refused}, {free_form, "1.", refused}, {free_form, "1e2", refused},
        {fixed, " 1 2", 12}, {fixed, "", 0}, {fixed, "1+2", refused}, {strict, "", refused},
        {strict, "-2147483649", refused}, {strict, " -7", -7},
        // clang-format on
    };
    for (const auto& c : integers)
        EXPECT_EQ(parse_integer(c.text, c.syntax), c.expected) << '"' << c.text << '"';
}

}  // namespace
}  // namespace skarven
