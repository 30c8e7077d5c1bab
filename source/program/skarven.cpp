// The program: dialogue, parameter loading, the phase-shift run and its CPU time.
#include <fcntl.h>
#include <omp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include "diagnostics.hpp"
#include "driver.hpp"
#include "saved_matrix.hpp"
#include "settings.hpp"
#include "text_format.hpp"

namespace {

constexpr std::size_t answer_width = 100;

void put_line(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
}

// One line of standard input, of which the first 100 characters count. A blank answer, or
// standard input ending before any answer, gives the default. A name holding a control
// character (a NUL byte would cut it short when the file is opened) is refused; a longer name
// is cut with a warning. `what` names the answer in those messages.
std::string read_answer(const char* default_answer, const std::string& what) {
    std::fflush(stdout);
    std::string answer;
    bool cut = false;
    int ch;
    while ((ch = std::getchar()) != EOF && ch != '\n') {
        if (answer.size() <= answer_width) {
            answer.push_back(static_cast<char>(ch));
        } else if (ch != ' ' && ch != '\r') {
            cut = true;
        }
    }
    // A carriage return that ends the line belongs to the line end, not to the name.
    if (ch == '\n' && answer.size() <= answer_width && !answer.empty() && answer.back() == '\r') {
        answer.pop_back();
    }
    if (answer.size() > answer_width) {
        cut = cut || (answer.back() != ' ' && answer.back() != '\r');
        answer.resize(answer_width);
    }
    const std::string_view name = skarven::trimmed(answer);
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            skarven::throw_error("skarven", what + " contains a control character");
        }
    }
    if (cut) {
        skarven::show_warning("skarven", what + " has been cut to its first 100 characters <" +
                                             std::string(name) + ">");
    }
    return name.empty() ? std::string(default_answer) : std::string(name);
}

// Ends the run when a result file or a saved matrix file of this run would replace the
// parameter file: result files are opened through symbolic links, saved matrices replace the
// directory entry itself.
void refuse_to_overwrite(const std::string& input_file, const std::string& root) {
    struct stat input {};
    if (::stat(input_file.c_str(), &input) != 0) return;
    auto refuse_when_input = [&](const std::string& name, bool follow_links) {
        struct stat output {};
        const int found =
            follow_links ? ::stat(name.c_str(), &output) : ::lstat(name.c_str(), &output);
        if (found == 0 && output.st_dev == input.st_dev && output.st_ino == input.st_ino) {
            skarven::throw_error("skarven",
                                 "the output file <" + name + "> would overwrite the input file");
        }
    };
    const skarven::RunSettings& s = skarven::run_record;
    for (const char* suffix : {"", ".avg", ".en", ".rms"}) {
        refuse_when_input(root + suffix, true);
    }
    if (s.lmax >= 0) {
        for (const char* suffix : {".pw", ".xs", ".dcs"}) {
            refuse_when_input(root + suffix, true);
        }
    }
    refuse_when_input("saved.vn." + skarven::convert_int_to_string(s.nend), false);
    if (s.nend - s.nstart >= 2) {
        const int extra = skarven::read_n_to_save_v();
        if (extra > s.nstart && extra < s.nend) {
            refuse_when_input("saved.vn." + skarven::convert_int_to_string(extra), false);
        }
    }
}

// An advisory lock on "<root>.lock" keeps a second run with the same root from writing into
// this run's files. The kernel drops a flock when its holder ends, however it ends, so a lock
// file left by a killed run never blocks; a normal end also removes the file. A lock file that
// cannot be made or a file system without flock leaves the run unguarded, with a warning.
class RootLock {
  public:
    explicit RootLock(const std::string& root) : name_(root + ".lock") {
        // A finishing run removes the file while still holding it: whoever locked that removed
        // file has locked nothing and tries again on the file now under the name.
        int open_error = 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            fd_ = ::open(name_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd_ < 0) {
                open_error = errno;
                break;
            }
            if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
                if (errno == EWOULDBLOCK) {
                    // The file is the other run's: closed here, never removed.
                    ::close(fd_);
                    skarven::throw_error("skarven", "another run is writing the output files <" +
                                                        root + "> (lock file <" + name_ + ">)");
                }
                break;
            }
            if (names_this_file()) return;
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        // Without its directory no result file can be created either, and that error follows.
        if (open_error == ENOENT || open_error == ENOTDIR) return;
        skarven::show_warning("skarven", "unable to lock the output files <" + root +
                                             "> with the lock file <" + name_ + ">");
    }
    // Only an empty file is ours to remove: anything else under the name was put there by hand.
    // An error ends the run the same way: the result files are as complete as they will get.
    ~RootLock() {
        if (fd_ < 0) return;
        struct stat held {};
        if (names_this_file() && ::fstat(fd_, &held) == 0 && held.st_size == 0) {
            ::unlink(name_.c_str());
        }
        ::close(fd_);
    }
    RootLock(const RootLock&) = delete;
    RootLock& operator=(const RootLock&) = delete;

  private:
    bool names_this_file() const {
        struct stat held {
        }, named{};
        return ::fstat(fd_, &held) == 0 && ::lstat(name_.c_str(), &named) == 0 &&
               held.st_dev == named.st_dev && held.st_ino == named.st_ino;
    }

    std::string name_;
    int fd_ = -1;
};

// User plus system time of the whole process, all threads, in seconds.
float cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    double seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    return static_cast<float>(seconds);
}

std::string elapsed_line(float t0, float t1) {
    const float elapsed = t1 - t0;
    const int hours = static_cast<int>(elapsed / 3600.0f);
    const float rest = elapsed - 3600.0f * static_cast<float>(hours);
    const int minutes = static_cast<int>(rest / 60.0f);
    const float seconds = rest - 60.0f * static_cast<float>(minutes);
    return "Elapsed CPU time: " + skarven::format_int(hours, 5) + " hour(s), " +
           skarven::format_int(minutes, 2) + " minute(s), " + skarven::format_fixed(seconds, 5, 2) +
           " second(s).";
}

// Exit statuses: 0 a complete run, 1 an error (bad input, a file, a result that is not finite),
// 3 a broken internal check.
constexpr int error_status = 1;
constexpr int internal_error_status = 3;

void write_line(std::FILE* stream, const char* line) {
    std::fputs(line, stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// The dialogue and the run. The engine sets its own floating-point mode.
void run() {
    put_line("");
    put_line("Starting the SKARVEN program.");
    put_line(" Version: 2.01, 28/01/2007");
    put_line(" Compiled with OpenMP support. No. of CPUs available: " +
             skarven::format_int(omp_get_num_procs(), 3));
    put_line("");
    put_line("Enter name of the input file  ( <cr> = sk.inp ).");
    const std::string input_file = read_answer("sk.inp", "the name of the input file");

    skarven::loadparams(input_file);

    put_line("");
    put_line("The following output files will be created:");
    put_line(" <root>     - phase shifts as function of the basis size,");
    put_line(" <root>.avg - averaged phase shifts as function of the basis size,");
    put_line(" <root>.en  - phase shifts as function of energy of the projectile,");
    put_line(" <root>.rms - root mean squared error (for square-well potential only),");
    put_line(" saved.vn.<nend>  - elements of the truncated potential.");
    if (skarven::run_record.lmax >= 0) {
        put_line(" <root>.pw  - phase shifts of every partial wave as function of energy,");
        put_line(" <root>.xs  - cross sections as function of energy,");
        if (skarven::run_record.angles > 0)
            put_line(" <root>.dcs - differential cross sections as function of angle.");
    }
    if (skarven::run_record.tolerance > 0.0)
        put_line(" <root>.lim - the limit of the phase shift with its error.");
    put_line("Enter root name of the output files ( <cr> = sk.out ).");
    const std::string root = read_answer("sk.out", "the root name of the output files");
    refuse_to_overwrite(input_file, root);

    const float t0 = cpu_seconds();
    {
        const RootLock lock(root);
        skarven::control_calc_delta(root);
    }
    const float t1 = cpu_seconds();

    put_line("");
    put_line(elapsed_line(t0, t1));
    put_line("");
    put_line("SKARVEN complete.");
    put_line("");
    std::fflush(stdout);
}

}  // namespace

// Errors end here: the result files hold the lines flushed before the error, and the lock and
// temporaries are gone by the time the error is printed.
int main() {
    // Line buffering keeps the dialogue in order with standard error when both are piped.
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    try {
        run();
    } catch (const skarven::Error& error) {
        write_line(stdout, error.what());
        write_line(stderr, "SKARVEN will terminate.");
        return error_status;
    } catch (const skarven::InternalError& error) {
        std::fflush(stdout);
        write_line(stderr, error.what());
        return internal_error_status;
    }
    return 0;
}
