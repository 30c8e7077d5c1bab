#pragma once
// Whole-program runs: the real binary in a fresh temporary directory, answers piped to its
// standard input, standard output, standard error and exit status collected.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace skarven::test {

using Rows = std::vector<std::vector<double>>;

// Numbers of the lines of `text` that do not start with ';' (blank lines skipped).
inline Rows data_rows(const std::string& text) {
    Rows rows;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == ';') continue;
        std::istringstream fields(line);
        rows.emplace_back();
        for (double value; fields >> value;)
            rows.back().push_back(value);
    }
    return rows;
}

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;  // exit status, or minus the signal number
};

// A directory under the system temporary directory, removed with everything in it. The
// program runs in work(); its piped streams live beside it, not in it.
class RunDirectory {
  public:
    RunDirectory() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "skarven_e2e_XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot create " << pattern;
        root_ = pattern;
        std::filesystem::create_directory(work());
    }
    ~RunDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    RunDirectory(const RunDirectory&) = delete;
    RunDirectory& operator=(const RunDirectory&) = delete;

    std::filesystem::path work() const { return root_ / "work"; }
    std::filesystem::path root() const { return root_; }

    // Writes a file of the working directory.
    void write(const std::string& name, const std::string& content) const {
        std::ofstream file(work() / name, std::ios::binary);
        file << content;
        EXPECT_TRUE(file.good()) << "cannot write " << name;
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(work() / name); }
    std::string read(const std::string& name) const {
        std::ifstream file(work() / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    // Runs the program in work() with `input` as its whole standard input; a run still going
    // after `limit_seconds` (when positive) is killed and reported with status -SIGKILL.
    RunResult run(const std::string& input, int limit_seconds = 0) const {
        const std::filesystem::path in = root_ / "stdin", out = root_ / "stdout",
                                    err = root_ / "stderr";
        std::ofstream(in, std::ios::binary) << input;
        // Everything the child needs is prepared before fork: it makes only system calls.
        const std::string in_name = in.string(), out_name = out.string(), err_name = err.string(),
                          dir_name = work().string();
        RunResult result;
        pid_t child = ::fork();
        if (child == 0) {
            int in_fd = ::open(in_name.c_str(), O_RDONLY);
            int out_fd = ::open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err_fd = ::open(err_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in_fd < 0 || out_fd < 0 || err_fd < 0 || ::chdir(dir_name.c_str()) != 0) {
                _exit(127);
            }
            ::dup2(in_fd, 0);
            ::dup2(out_fd, 1);
            ::dup2(err_fd, 2);
            ::execl(SKARVEN_BINARY, SKARVEN_BINARY, static_cast<char*>(nullptr));
            _exit(127);
        }
        int wait_status = 0;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(limit_seconds);
        pid_t waited = 0;
        while (child > 0 && limit_seconds > 0 &&
               (waited = ::waitpid(child, &wait_status, WNOHANG)) == 0) {
            if (std::chrono::steady_clock::now() > deadline) ::kill(child, SIGKILL);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (child > 0 && limit_seconds <= 0) waited = ::waitpid(child, &wait_status, 0);
        if (child < 0 || waited != child) {
            ADD_FAILURE() << "cannot run " << SKARVEN_BINARY;
            return result;
        }
        if (WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
        if (WIFSIGNALED(wait_status)) result.status = -WTERMSIG(wait_status);
        result.out = slurp(out);
        result.err = slurp(err);
        return result;
    }

  private:
    static std::string slurp(const std::filesystem::path& path) {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path root_;
};

}  // namespace skarven::test
