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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// A name holding a control character (a NUL byte would cut it short when the file is opened) is
// refused; `what` names it in the message.
std::optional<std::string> control_character_in(std::string_view name, const std::string& what) {
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) return what + " contains a control character";
    }
    return std::nullopt;
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
    if (const auto refused = control_character_in(name, what)) {
        skarven::throw_error("skarven", *refused);
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
// 2 a bad command line (below), 3 a broken internal check.
constexpr int error_status = 1;
constexpr int internal_error_status = 3;

void write_line(std::FILE* stream, const char* line) {
    std::fputs(line, stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// The two names of a run given on the command line; without them the dialogue asks.
struct Names {
    std::string input_file;
    std::string root;
};

// The dialogue and the run; with `names` the same run without the two questions. The engine sets
// its own floating-point mode.
void run(const std::optional<Names>& names) {
    put_line("");
    put_line("Starting the SKARVEN program.");
    put_line(" Version: 2.01, 28/01/2007");
    put_line(" Compiled with OpenMP support. No. of CPUs available: " +
             skarven::format_int(omp_get_num_procs(), 3));
    put_line("");
    if (!names) put_line("Enter name of the input file  ( <cr> = sk.inp ).");
    const std::string input_file =
        names ? names->input_file : read_answer("sk.inp", "the name of the input file");

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
    if (!names) put_line("Enter root name of the output files ( <cr> = sk.out ).");
    const std::string root =
        names ? names->root : read_answer("sk.out", "the root name of the output files");
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

// Exit status of a command line the program does not take.
constexpr int usage_status = 2;

constexpr const char* usage =
    "Usage: skarven [PARAMFILE ROOT]\n"
    "       skarven --help | --version\n";

constexpr const char* help =
    "Phase shifts of a central potential by the algebraic L^2 basis method.\n"
    "\n"
    "Without arguments the program asks for the parameter file and the root name of the\n"
    "output files on standard input (an empty answer takes sk.inp and sk.out).\n"
    "\n"
    "  PARAMFILE   the parameter file\n"
    "  ROOT        the root name of the output files (ROOT, ROOT.avg, ROOT.en, ...)\n"
    "  -h, --help  print this text and exit\n"
    "  --version   print the version and exit\n"
    "  --          the arguments after it are names, even when they start with '-'\n"
    "\n"
    "Exit status: 0 a complete run, 1 an error, 2 a bad command line, 3 an internal error.\n";

enum class Action { dialogue, named_run, help, version, bad };

struct CommandLine {
    Action action = Action::dialogue;
    Names names;
    std::string fault;  // what is wrong with a bad command line
};

// --help and --version win over anything else on the line; a run takes exactly two names.
CommandLine parse_command_line(int argc, char** argv) {
    CommandLine line;
    if (argc <= 1) return line;
    std::vector<std::string> names;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!options_ended && argument == "--") {
            options_ended = true;
        } else if (!options_ended && (argument == "--help" || argument == "-h")) {
            return {Action::help, {}, {}};
        } else if (!options_ended && argument == "--version") {
            line.action = Action::version;
        } else if (!options_ended && argument.size() > 1 && argument[0] == '-') {
            if (line.fault.empty()) line.fault = "unknown option <" + std::string(argument) + ">";
        } else {
            names.emplace_back(argument);
        }
    }
    if (line.action == Action::version) return line;
    line.action = Action::bad;
    if (!line.fault.empty()) return line;
    if (names.size() != 2) {
        line.fault = "expected a parameter file and a root name, got " +
                     std::to_string(names.size()) + " name" + (names.size() == 1 ? "" : "s");
        return line;
    }
    const std::string what[2] = {"the name of the input file", "the root name of the output files"};
    for (int k = 0; k < 2; ++k) {
        if (skarven::trimmed(names[k]).empty()) {
            line.fault = what[k] + " is empty";
            return line;
        }
        if (const auto refused = control_character_in(names[k], what[k])) {
            line.fault = *refused;
            return line;
        }
    }
    // Trailing blanks go, as after an answer of the dialogue.
    return {Action::named_run,
            {std::string(skarven::trimmed(names[0])), std::string(skarven::trimmed(names[1]))},
            {}};
}

}  // namespace

// Errors end here: the result files hold the lines flushed before the error, and the lock and
// temporaries are gone by the time the error is printed.
int main(int argc, char** argv) {
    const CommandLine line = parse_command_line(argc, argv);
    switch (line.action) {
        case Action::help:
            std::fputs(usage, stdout);
            std::fputs("\n", stdout);
            std::fputs(help, stdout);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : error_status;
        case Action::version:
            std::fputs("skarven " SKARVEN_VERSION "\n", stdout);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : error_status;
        case Action::bad:
            std::fputs(("skarven: " + line.fault + "\n").c_str(), stderr);
            std::fputs(usage, stderr);
            std::fputs("Try 'skarven --help' for more information.\n", stderr);
            return usage_status;
        case Action::dialogue:
        case Action::named_run:
            break;
    }
    // Line buffering keeps the dialogue in order with standard error when both are piped.
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    try {
        run(line.action == Action::named_run ? std::optional<Names>(line.names) : std::nullopt);
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
