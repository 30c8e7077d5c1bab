#include "text_format.hpp"

#include <cmath>
#include <cstdio>
#include <string>

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

}  // namespace skarven
