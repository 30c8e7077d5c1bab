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
    // printf rounds the exact binary value correctly; then drop the optional leading zero
    // when the field is one short.
    int size = std::snprintf(nullptr, 0, "%.*f", decimals, value);
    std::string text(size, '\0');
    std::snprintf(text.data(), text.size() + 1, "%.*f", decimals, value);
    if (static_cast<int>(text.size()) > width) {
        std::size_t zero = text[0] == '-' ? 1 : 0;
        if (text.size() > zero + 1 && text[zero] == '0' && text[zero + 1] == '.') {
            text.erase(zero, 1);
        }
    }
    if (static_cast<int>(text.size()) > width) return std::string(width, '*');
    return std::string(width - text.size(), ' ') + text;
}

}  // namespace skarven
