#include "diagnostics.hpp"

#include <cstdio>
#include <string>

namespace skarven {

namespace {

void write_line(std::FILE* stream, std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

}  // namespace

void show_warning(std::string_view routine, std::string_view message) {
    std::string line = " Warning (";
    line.append(routine).append("): ").append(message).append(".");
    write_line(stdout, line);
}

void show_info(std::string_view text) {
    std::string line = " (Info: ";
    line.append(text).append(".)");
    write_line(stdout, line);
}

void say(std::string_view line) {
    write_line(stdout, line);
}

void flush(std::FILE* unit) {
    std::fflush(unit);
}

}  // namespace skarven
