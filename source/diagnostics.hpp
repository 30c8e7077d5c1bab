#pragma once
// Diagnostics: the one place that raises errors and prints warnings and notes. Every unit, the
// numerical library included, reports through it; it depends on nothing of the program. Errors
// are exceptions: only the program's main prints them and ends the run.

#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

namespace skarven {

// An error in the input or the run (a bad value, an unreadable file, a result that is not
// finite). what() is the line the program prints: "Error (routine): message."
class Error : public std::runtime_error {
  public:
    Error(std::string_view routine, std::string_view message);
    std::string_view routine() const noexcept;
    std::string_view message() const noexcept;

  private:
    std::size_t routine_size_;  // the routine and the message are read back from what()
};

// A broken internal invariant: a programming error, never a consequence of the input.
// what() is "internal error: condition (file:line)".
class InternalError : public std::logic_error {
  public:
    InternalError(const char* condition, const char* file, int line);
    const char* condition() const noexcept { return condition_; }
    const char* file() const noexcept { return file_; }
    int line() const noexcept { return line_; }

  private:
    const char* condition_;  // string literals of the SKARVEN_CHECK site
    const char* file_;
    int line_;
};

// Programming-error check that stays on in release builds; throws InternalError.
#define SKARVEN_CHECK(cond)                                                       \
    do {                                                                          \
        if (!(cond)) ::skarven::internal_check_failed(#cond, __FILE__, __LINE__); \
    } while (0)
[[noreturn]] void internal_check_failed(const char* what, const char* file, int line);

// Throws Error(routine, message); safe from any thread (inside a parallel region, catch it with
// FirstError, parallel_errors.hpp).
[[noreturn]] void show_error(std::string_view routine, std::string_view message);
void show_warning(std::string_view routine, std::string_view message);
// " (Info: text.)" on standard output.
void show_info(std::string_view text);
// A line of the run's screen log on standard output, flushed at once.
void say(std::string_view line);
// Pushes buffered result-file output to disk.
void flush(std::FILE* unit);

}  // namespace skarven
