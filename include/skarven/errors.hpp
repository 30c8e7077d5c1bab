#pragma once
// Errors of the engine: exceptions only. The library never prints or ends the process; the
// program's main prints what() and chooses the exit status.

#include <cstddef>
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
[[noreturn]] void throw_error(std::string_view routine, std::string_view message);
}  // namespace skarven
