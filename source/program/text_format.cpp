#include "text_format.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace skarven {

std::string format_int(long long value, int width) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) > width) return std::string(width, '*');
    return std::string(width - digits.size(), ' ') + digits;
}

std::string format_fixed(double value, int width, int decimals) {
    if (!std::isfinite(value)) return std::string(width, '*');
    // printf rounds the exact binary value to nearest, ties to even, as Fortran output does;
    // '#' keeps the point when there are no decimals ("2." in F3.0).
    int size = std::snprintf(nullptr, 0, "%#.*f", decimals, value);
    std::string text(size, '\0');
    std::snprintf(text.data(), text.size() + 1, "%#.*f", decimals, value);
    // The zero before the point is optional, but it stays when no decimal digit follows.
    if (static_cast<int>(text.size()) > width && decimals > 0) {
        std::size_t zero = text[0] == '-' ? 1 : 0;
        if (text[zero] == '0' && text[zero + 1] == '.') text.erase(zero, 1);
    }
    if (static_cast<int>(text.size()) > width) return std::string(width, '*');
    return std::string(width - text.size(), ' ') + text;
}

std::string format_fixed_fitting(double value, int width, int decimals) {
    std::string text = format_fixed(value, width, decimals);
    while (text[0] == '*' && decimals > 0 && std::isfinite(value)) {
        text = format_fixed(value, width, --decimals);
    }
    return text;
}

std::string format_scientific(double value, int width, int decimals) {
    if (!std::isfinite(value)) return std::string(width, '*');
    char text[64];
    const int size = std::snprintf(text, sizeof text, "%.*E", decimals, value);
    if (size < 0 || size >= static_cast<int>(sizeof text) || size > width) {
        return std::string(width, '*');
    }
    return std::string(width - size, ' ') + text;
}

namespace {

// A number as written: its sign, every digit of the mantissa (point removed), and the power of
// ten of the last digit.
struct Scanned {
    bool negative = false;
    std::string digits;
    long long scale = 0;
    bool point = false;
    bool exponent = false;
};

bool is_digit(char ch) {
    return ch >= '0' && ch <= '9';
}

bool is_sign(char ch) {
    return ch == '+' || ch == '-';
}

char upper(char ch) {
    return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
}

std::optional<Scanned> scan(std::string_view field, const NumberSyntax& syntax) {
    std::string text;
    for (char ch : field) {
        if (syntax.ignored.find(ch) == std::string_view::npos) text += ch;
    }
    Scanned number;
    if (text.empty() && syntax.empty_is_zero) {
        number.digits = "0";
        return number;
    }
    std::size_t pos = 0;
    if (pos < text.size() && is_sign(text[pos])) number.negative = text[pos++] == '-';
    for (; pos < text.size(); ++pos) {
        if (is_digit(text[pos])) {
            number.digits += text[pos];
            if (number.point) --number.scale;
        } else if (text[pos] == '.' && !number.point) {
            number.point = true;
        } else {
            break;
        }
    }
    if (number.digits.empty()) return std::nullopt;
    if (!number.point) number.scale -= syntax.implied_decimals;
    if (pos == text.size()) return number;

    const char letter = upper(text[pos]);
    if (syntax.exponent_letters.find(letter) != std::string_view::npos) {
        ++pos;
    } else if (!(syntax.sign_opens_exponent && is_sign(letter))) {
        return std::nullopt;
    }
    bool negative = false;
    if (pos < text.size() && is_sign(text[pos])) negative = text[pos++] == '-';
    if (pos == text.size()) return std::nullopt;
    long long exponent = 0;
    for (; pos < text.size(); ++pos) {
        if (!is_digit(text[pos])) return std::nullopt;
        // Beyond this any exponent over- or underflows anyway.
        if (exponent < 100000) exponent = exponent * 10 + (text[pos] - '0');
    }
    number.scale += negative ? -exponent : exponent;
    number.exponent = true;
    return number;
}

}  // namespace

std::optional<double> parse_real(std::string_view text, const NumberSyntax& syntax) {
    const std::optional<Scanned> number = scan(text, syntax);
    if (!number) return std::nullopt;
    // strtod rounds correctly, so a value written with enough digits reads back bit for bit.
    const std::string decimal =
        (number->negative ? "-" : "") + number->digits + "e" + std::to_string(number->scale);
    const double value = std::strtod(decimal.c_str(), nullptr);
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<int> parse_integer(std::string_view text, const NumberSyntax& syntax) {
    const std::optional<Scanned> number = scan(text, syntax);
    if (!number || number->point || number->exponent) return std::nullopt;
    long long value = 0;
    for (char digit : number->digits) {
        value = value * 10 + (digit - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (number->negative) value = -value;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<int>(value);
}

}  // namespace skarven
