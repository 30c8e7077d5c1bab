#include "skarven/errors.hpp"

#include <string>

namespace skarven {

namespace {

constexpr std::string_view error_prefix = "Error (";
constexpr std::string_view routine_end = "): ";

std::string error_line(std::string_view routine, std::string_view message) {
    std::string line(error_prefix);
    line.append(routine).append(routine_end).append(message).append(".");
    return line;
}

std::string internal_line(const char* condition, const char* file, int line) {
    return "internal error: " + std::string(condition) + " (" + file + ":" + std::to_string(line) +
           ")";
}

}  // namespace

Error::Error(std::string_view routine, std::string_view message)
    : std::runtime_error(error_line(routine, message)), routine_size_(routine.size()) {}

std::string_view Error::routine() const noexcept {
    return std::string_view(what()).substr(error_prefix.size(), routine_size_);
}

std::string_view Error::message() const noexcept {
    std::string_view line(what());
    line.remove_prefix(error_prefix.size() + routine_size_ + routine_end.size());
    line.remove_suffix(1);  // the full stop
    return line;
}

InternalError::InternalError(const char* condition, const char* file, int line)
    : std::logic_error(internal_line(condition, file, line)),
      condition_(condition),
      file_(file),
      line_(line) {}

void throw_error(std::string_view routine, std::string_view message) {
    throw Error(routine, message);
}

void internal_check_failed(const char* what, const char* file, int line) {
    throw InternalError(what, file, line);
}

}  // namespace skarven
