#pragma once
// Parameter files for the loader tests: written to an unlinked temporary file and read back
// through its /proc/self/fd name, so that a death-test child leaves nothing behind.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "settings.hpp"
#include "test_support.hpp"

namespace skarven::test {

class ParamFile {
  public:
    explicit ParamFile(std::string_view content) {
        char name[] = "/tmp/skarven_params_XXXXXX";
        fd_ = ::mkstemp(name);
        EXPECT_GE(fd_, 0) << "cannot create a temporary parameter file";
        ::unlink(name);
        std::size_t written = 0;
        while (fd_ >= 0 && written < content.size()) {
            ssize_t n = ::write(fd_, content.data() + written, content.size() - written);
            if (n <= 0) break;
            written += static_cast<std::size_t>(n);
        }
        EXPECT_EQ(written, content.size());
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~ParamFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    ParamFile(const ParamFile&) = delete;
    ParamFile& operator=(const ParamFile&) = delete;
    const std::string& path() const { return path_; }

  private:
    int fd_ = -1;
    std::string path_;
};

// The six keys every file must hold, for a run that needs no others.
inline const std::vector<std::string> minimal_lines = {
    "e = 1.0",         "l = 0",    "basis = laguerre", "scheme = non-relativistic",
    "pot_type = user", "nend = 10"};

// The minimal file followed by `extra` lines; a later line overrides an earlier one.
inline std::string minimal_with(const std::vector<std::string>& extra = {}) {
    std::string text;
    for (const std::string& line : minimal_lines)
        text += line + "\n";
    for (const std::string& line : extra)
        text += line + "\n";
    return text;
}

// The minimal file without the lines of `keys`, followed by `extra` lines.
inline std::string minimal_without(const std::vector<std::string_view>& keys,
                                   const std::vector<std::string>& extra = {}) {
    std::string text;
    for (const std::string& line : minimal_lines) {
        std::string_view key = std::string_view(line).substr(0, line.find(' '));
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) text += line + "\n";
    }
    for (const std::string& line : extra)
        text += line + "\n";
    return text;
}

// Loads `content` in this process and returns what the loader printed.
inline std::string load(std::string_view content) {
    ParamFile file(content);
    ::testing::internal::CaptureStdout();
    loadparams(file.path());
    return ::testing::internal::GetCapturedStdout();
}

inline std::string regex_literal(std::string_view text) {
    std::string pattern;
    for (char ch : text) {
        if (std::string_view(".[]{}()\\*+?^$|").find(ch) != std::string_view::npos) {
            pattern += '\\';
        }
        pattern += ch;
    }
    return pattern;
}

// The whole tail of the output of a run that the loader ends with `message`.
inline std::string load_error(std::string_view message) {
    return "\nError \\(loadparams\\): " + regex_literal(message) +
           "\\.\nSKARVEN will terminate\\.\n$";
}

// The loader runs no parallel region, so these death tests may fork without re-executing the
// test binary (far cheaper for the many one-line error cases); the parent's standard output is
// flushed first so that the child does not repeat it.
#define EXPECT_LOAD_ERROR(content, message)                                      \
    do {                                                                         \
        ::skarven::test::ParamFile param_file_(content);                         \
        std::fflush(stdout);                                                     \
        GTEST_FLAG_SET(death_test_style, "fast");                                \
        EXPECT_EXIT(                                                             \
            {                                                                    \
                ::dup2(2, 1);                                                    \
                ::skarven::loadparams(param_file_.path());                       \
            },                                                                   \
            ::testing::ExitedWithCode(1), ::skarven::test::load_error(message)); \
    } while (0)

inline std::string warning_line(std::string_view message) {
    return " Warning (loadparams): " + std::string(message) + ".\n";
}

inline constexpr std::string_view load_start = "Loading parameters...\n";
inline constexpr std::string_view load_end = "Load complete.\n";

}  // namespace skarven::test
