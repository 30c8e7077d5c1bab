#pragma once
// Whole-program runs: the real binary in a fresh temporary directory, answers on standard input.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace skarven::test {

using Rows = std::vector<std::vector<double>>;

// The numbers of the lines of `text` that do not start with ';'.
inline Rows data_rows(const std::string& text) {
    Rows rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        if (!line.empty() && line[0] != ';')
            rows.emplace_back(std::istream_iterator<double>(fields),
                              std::istream_iterator<double>());
    }
    return rows;
}

inline std::string slurp(const std::filesystem::path& path) {
    return (std::ostringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Parameter-file lines from "key = value|key = value".
inline std::string lines(std::string text) {
    std::replace(text.begin(), text.end(), '|', '\n');
    return text + "\n";
}

// The built-in potential up to basis size `nend`, without progress lines.
inline std::string user(int nend, const std::string& extra = "") {
    return "e = 1.0\nl = 0\nbasis = laguerre\nscheme = non-relativistic\npot_type = user\n"
           "screen = F\nnend = " +
           std::to_string(nend) + "\n" + extra;
}

struct RunResult {
    std::string out, err;
    int status = -1;  // exit status (137 for a run killed at its time limit)
};

inline void expect_failure(const RunResult& run, const std::string& error_line) {
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_EQ(run.err, "SKARVEN will terminate.\n");
    EXPECT_TRUE(run.out.ends_with("\n" + error_line + "\n")) << run.out;
    EXPECT_FALSE(contains(run.out, "SKARVEN complete.")) << run.out;
}

// A temporary directory, removed with all in it; the program runs in work(), its streams beside.
class RunDirectory {
  public:
    RunDirectory() {
        std::string name = (std::filesystem::temp_directory_path() / "skarven_XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) ADD_FAILURE() << "cannot create " << name;
        root_ = name;
        std::filesystem::create_directory(work());
    }
    ~RunDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    std::filesystem::path work() const { return root_ / "work"; }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(work() / name, std::ios::binary) << text;
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(work() / name); }
    std::string read(const std::string& name) const { return slurp(work() / name); }

    // Runs the program on `input` with `env` ("NAME=value ...") added; a hang is killed.
    RunResult run(const std::string& input, int limit_seconds = 600,
                  const std::string& env = "") const {
        std::ofstream(root_ / "in", std::ios::binary) << input;
        const std::string root = "'" + root_.string() + "'";
        const int status = std::system(("cd " + root + "/work && " + env + " timeout -s KILL " +
                                        std::to_string(limit_seconds) + " '" SKARVEN_BINARY "' <" +
                                        root + "/in >" + root + "/out 2>" + root + "/err")
                                           .c_str());
        return {slurp(root_ / "out"), slurp(root_ / "err"),
                WIFEXITED(status) ? WEXITSTATUS(status) : -1};
    }

  private:
    std::filesystem::path root_;
};

}  // namespace skarven::test
