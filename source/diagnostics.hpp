#pragma once
// Diagnostics: the one place that prints errors, warnings and notes and ends a run. Every unit,
// the numerical library included, reports through it; it depends on nothing of the program.

#include <cstdio>
#include <string_view>

namespace skarven {

// Programming-error check that stays on in release builds.
#define SKARVEN_CHECK(cond)                                                       \
    do {                                                                          \
        if (!(cond)) ::skarven::internal_check_failed(#cond, __FILE__, __LINE__); \
    } while (0)
[[noreturn]] void internal_check_failed(const char* what, const char* file, int line);

// show_error prints "Error (routine): message." on standard output,
// "SKARVEN will terminate." on standard error and ends the process with status 1; it is safe
// from any thread.
[[noreturn]] void show_error(std::string_view routine, std::string_view message);
void show_warning(std::string_view routine, std::string_view message);
// " (Info: text.)" on standard output.
void show_info(std::string_view text);
// Pushes buffered result-file output to disk.
void flush(std::FILE* unit);

}  // namespace skarven
