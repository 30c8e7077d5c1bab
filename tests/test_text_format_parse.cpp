// Guards against a number read differently from how it is written: wrong digits, a lost sign, a
// refused valid form or an accepted invalid one, in each reader's options.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "text_format.hpp"

namespace skarven {
namespace {

constexpr NumberSyntax free_form{};
// Fortran F editing with two implied decimals: blanks and tabs ignored, a blank field is 0.
constexpr NumberSyntax fixed{" \t", true, 2, "EDQ", true};
// The same with only blanks ignored, no Q and a blank field refused.
constexpr NumberSyntax strict{" ", false, 2, "ED", true};
constexpr std::optional<double> refused;

TEST(Parse, RealsInEachSyntax) {
    const struct {
        const NumberSyntax& syntax;
        const char* text;
        std::optional<double> expected;
    } cases[] = {
        // clang-format off
        {free_form, "1.5", 1.5}, {free_form, "-.5", -0.5}, {free_form, "+7.", 7.0},
        {free_form, "2.5d-3", 2.5e-3}, {free_form, "0.1", 0.1}, {free_form, "1E308", 1e308},
        {free_form, "1e-400", 0.0}, {free_form, "2.4703282292062328e-324", 4.9406564584124654e-324},
        {free_form, "1e309", refused}, {free_form, "1.5+3", refused}, {free_form, "1q3", refused},
        {free_form, " 1", refused}, {free_form, "", refused}, {free_form, ".", refused},
        {free_form, "1.2.3", refused}, {free_form, "1e+", refused}, {free_form, "nan", refused},
        {fixed, "  1 5 0", 1.5}, {fixed, "150e1", 15.0}, {fixed, "1.5", 1.5}, {fixed, "", 0.0},
        {fixed, " \t ", 0.0}, {fixed, "1.5q1", 15.0}, {fixed, "1.5-1", 0.15},
        {fixed, "-1.5D+1", -15.0}, {fixed, "****", refused}, {fixed, "+", refused},
        {strict, "150", 1.5}, {strict, "1 . 5", 1.5}, {strict, "", refused},
        {strict, "1\t5", refused}, {strict, "1.5q1", refused}, {strict, "1.5+1", 15.0},
        {strict, "1e100000000", refused}, {strict, "1e-100000000", 0.0},
        // clang-format on
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_real(c.text, c.syntax), c.expected) << '"' << c.text << '"';
    }
    EXPECT_TRUE(std::signbit(*parse_real("-0.0", free_form)));
}

TEST(Parse, IntegersInEachSyntax) {
    const struct {
        const NumberSyntax& syntax;
        const char* text;
        std::optional<int> expected;
    } cases[] = {
        // clang-format off
        {free_form, "2147483647", 2147483647}, {free_form, "-2147483648", -2147483647 - 1},
        {free_form, "2147483648", std::nullopt}, {free_form, "000000000000000000000042", 42},
        {free_form, "1 2", std::nullopt}, {free_form, "1.", std::nullopt},
        {free_form, "1e2", std::nullopt}, {free_form, "+", std::nullopt}, {fixed, " 1 2", 12},
        {fixed, "", 0}, {fixed, "1+2", std::nullopt}, {strict, "", std::nullopt},
        {strict, "-2147483649", std::nullopt}, {strict, " -7", -7},
        // clang-format on
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_integer(c.text, c.syntax), c.expected) << '"' << c.text << '"';
    }
}

}  // namespace
}  // namespace skarven
