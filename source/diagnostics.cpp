// Diagnostics: the only place that prints errors and warnings and ends the run.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "diagnostics.hpp"

namespace skarven {

namespace {

std::atomic_flag ending = ATOMIC_FLAG_INIT;

void write_line(std::FILE* stream, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

}  // namespace

void show_error(std::string_view routine, std::string_view message) {
    // The first thread to fail reports; any later one only ends the process.
    if (!ending.test_and_set()) {
        std::string line = "Error (";
        line.append(routine).append("): ").append(message).append(".");
        write_line(stdout, line);
        write_line(stderr, "SKARVEN will terminate.");
    }
    // Result files were flushed line by line; _Exit is safe from worker threads.
    std::_Exit(1);
}

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

void flush(std::FILE* unit) {
    std::fflush(unit);
}

void internal_check_failed(const char* what, const char* file, int line) {
    std::fprintf(stderr, "internal error: %s (%s:%d)\n", what, file, line);
    std::abort();
}

}  // namespace skarven
