#pragma once
// Fixed-format fields of the result files: Iw and Fw.d as the files document them, and the
// numbers read back from them and from the parameter file.

#include <optional>
#include <string>
#include <string_view>

namespace skarven {

// Integer right-aligned in `width` columns; asterisks when it does not fit.
std::string format_int(long long value, int width);

// Fixed-point, `width` columns with `decimals` decimals, correctly rounded and right-aligned.
// A leading zero is written when there is room ("0.5000" in F6.4, ".5000" in F5.4); a value that
// does not fit, or is not finite, fills the field with asterisks.
std::string format_fixed(double value, int width, int decimals);

// format_fixed for a data column: a finite value too wide for `decimals` is written with as many
// decimals as the field allows (down to none) before the field fills with asterisks.
std::string format_fixed_fitting(double value, int width, int decimals);

// Scientific notation (Ew.d with a two- or three-digit exponent, "1.2500E-03" in E10.4),
// right-aligned; asterisks when it does not fit or is not finite.
std::string format_scientific(double value, int width, int decimals);

// How a number is written in one kind of input: [sign] digits [. [digits]] or [sign] . digits,
// then optionally an exponent of a letter and/or a sign and at least one digit. The readers
// differ only in these options.
struct NumberSyntax {
    // Characters dropped wherever they stand (a formatted read ignores blanks in its field).
    std::string_view ignored = "";
    // Nothing left to read gives 0 rather than a refusal (a blank Fortran field).
    bool empty_is_zero = false;
    // Without a decimal point the last `implied_decimals` digits are the fraction (Fw.d input).
    int implied_decimals = 0;
    // Letters that open an exponent, upper case; either case is read.
    std::string_view exponent_letters = "ED";
    // The exponent may open with its sign alone, the letter omitted ("1.5-3").
    bool sign_opens_exponent = false;
};

// A finite double, correctly rounded from the decimal digits; an underflow gives the nearest
// double, an overflow or text that is not a number in `syntax` gives nothing.
std::optional<double> parse_real(std::string_view text, const NumberSyntax& syntax);
// A 32-bit integer written as such a number without point or exponent.
std::optional<int> parse_integer(std::string_view text, const NumberSyntax& syntax);

}  // namespace skarven
