#pragma once
// The program's screen output: warnings, notes and the run's log lines.

#include <cstdio>
#include <string_view>

#include "skarven/errors.hpp"

namespace skarven {

void show_warning(std::string_view routine, std::string_view message);
// " (Info: text.)" on standard output.
void show_info(std::string_view text);
// A line of the run's screen log on standard output, flushed at once.
void say(std::string_view line);
// Pushes buffered result-file output to disk.
void flush(std::FILE* unit);

}  // namespace skarven
