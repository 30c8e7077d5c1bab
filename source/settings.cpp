#include "settings.hpp"

namespace skarven {

RunSettings sk_globals;

std::string padded(std::string_view text, std::size_t width) {
    std::string field(text.substr(0, width));
    field.resize(width, ' ');
    return field;
}

std::string_view trimmed(std::string_view text) {
    std::size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

bool fast_solver() {
    return text_is(sk_globals.solver, "fast");
}

bool relativistic_scheme() {
    return text_is(sk_globals.scheme, "relativistic");
}

bool text_is(std::string_view field, std::string_view value) {
    return trimmed(field) == trimmed(value);
}

}  // namespace skarven
