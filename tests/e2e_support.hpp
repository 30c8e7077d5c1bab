#pragma once
// Whole-program runs: the real binary in a fresh temporary directory, answers on standard input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
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
        if (line.empty() || line[0] == ';') continue;
        std::istringstream fields(line);
        rows.emplace_back();
        for (double value; fields >> value;)
            rows.back().push_back(value);
    }
    return rows;
}

inline std::string slurp(const std::filesystem::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
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
    int status = -1;  // exit status, or minus the signal number
};

inline void expect_failure(const RunResult& run, const std::string& error_line) {
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_EQ(run.err, "SKARVEN will terminate.\n");
    EXPECT_TRUE(run.out.ends_with("\n" + error_line + "\n")) << run.out;
    EXPECT_FALSE(contains(run.out, "SKARVEN complete.")) << run.out;
}

// A temporary directory, removed with everything in it; the program runs in work() and its
// piped streams live beside it.
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
    RunDirectory(const RunDirectory&) = delete;
    RunDirectory& operator=(const RunDirectory&) = delete;
    std::filesystem::path work() const { return root_ / "work"; }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(work() / name, std::ios::binary) << text;
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(work() / name); }
    std::string read(const std::string& name) const { return slurp(work() / name); }

    // Runs the program with `input` as its whole standard input; a run still going after
    // `limit_seconds` is ended by SIGALRM (status -SIGALRM), so that a hang fails the test.
    RunResult run(const std::string& input, unsigned limit_seconds = 600) const {
        const std::string in = (root_ / "in").string(), out = (root_ / "out").string(),
                          err = (root_ / "err").string(), dir = work().string();
        std::ofstream(in, std::ios::binary) << input;
        const pid_t child = ::fork();
        if (child == 0) {  // only system calls from here on; the alarm outlives execl
            const int fds[] = {::open(in.c_str(), O_RDONLY),
                               ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                               ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
            for (int fd = 0; fd < 3; ++fd)
                if (fds[fd] < 0 || ::dup2(fds[fd], fd) < 0) _exit(127);
            ::alarm(limit_seconds);
            if (::chdir(dir.c_str()) == 0)
                ::execl(SKARVEN_BINARY, SKARVEN_BINARY, static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child) ADD_FAILURE() << "cannot run";
        RunResult result{slurp(out), slurp(err), -1};
        if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result.status = -WTERMSIG(status);
        return result;
    }

  private:
    std::filesystem::path root_;
};

}  // namespace skarven::test
