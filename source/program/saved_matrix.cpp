// The saved potential file "saved.vn.<N>" and the optional "sk.par".
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "diagnostics.hpp"
#include "potential.hpp"
#include "results.hpp"
#include "run.hpp"
#include "saved_matrix.hpp"
#include "settings.hpp"
#include "text_format.hpp"

namespace skarven {

namespace {

void reject() {
    run_record.vn_file_match = false;
}

std::string saved_file_name() {
    return "saved.vn." + convert_int_to_string(run_record.ntrunc);
}

// The hash of a formula or table: 16 hexadecimal digits right-aligned in a parameter's width.
constexpr int parameter_width_for_hash = 22;

struct Parameters {
    std::array<double, 4> values{};
    int count = 0;
    bool hashed = false;  // a field with the hash of the formula or table follows
};

// The parameters that identify a potential of the given type, in file order. pot_type is read
// from an 8-column field: the first 8 characters of the name tell the types apart.
Parameters parameters_of(std::string_view pot_type) {
    const PotentialParams& p = run_record.potential;
    const std::string field = padded(trimmed(pot_type), 8);
    auto is = [&field](std::string_view name) { return text_is(field, padded(name, 8)); };
    if (is("well")) return {{p.v0, p.a, p.b}, 3};
    if (is("coulomb")) return {{p.z, p.alpha, p.r0}, 3};
    if (is("yukawa")) return {{p.g, p.m, p.r0}, 3};
    if (is("user")) return {{p.r0, 0.0, 0.0}, 1};
    if (is("woods-saxon") || is("morse"))
        return {{p.v0, is("morse") ? p.range : p.diffuse, p.radius, p.r0}, 4};
    if (is("hulthen") || is("exponential") || is("gaussian")) return {{p.v0, p.range, p.r0}, 3};
    if (is("formula") || is("table")) return {{p.r0}, 1, true};
    return {};
}

std::string hash_field() {
    return padded("", parameter_width_for_hash - 16) + potential_hash_text(run_record);
}

// Column layout of the matrix header line (0-based start, width).
constexpr int n_column = 0;
constexpr int l_column = 5;
constexpr int kappa_column = 10;
constexpr int lambda_column = 15;
constexpr int basis_column = 21;
constexpr int scheme_column = 30;
constexpr int pot_type_column = 47;
constexpr int parameters_column = 55;
constexpr int parameter_width = 22;
constexpr int parameter_decimals = 16;

// The basis order of a Dirac wave that takes the non-integer order of its r^gamma start depends
// on Z/c, which no other field holds: such a file carries it after the parameters.
std::optional<double> shifted_order() {
    const Problem problem = run_problem();
    const Order order = basis_order(problem);
    if (order.l == problem.wave.l) return std::nullopt;
    return order.l;
}

std::string matrix_header_line() {
    std::string line = format_int(run_record.ntrunc, 5) + format_int(run_record.projectile.l, 5) +
                       format_int(run_record.projectile.kappa, 5) +
                       format_fixed(run_record.lambda, 5, 2) + " " + padded(run_record.basis, 8) +
                       " " + padded(run_record.scheme, 16) + " " +
                       padded(run_record.potential.pot_type, 8);
    Parameters parameters = parameters_of(run_record.potential.pot_type);
    for (int k = 0; k < parameters.count; ++k) {
        line += format_fixed(parameters.values[k], parameter_width, parameter_decimals);
    }
    if (parameters.hashed) line += hash_field();
    if (const auto order = shifted_order())
        line += format_fixed(*order, parameter_width, parameter_decimals);
    return line;
}

// A number of the saved file as Fortran's F and I editing read it: blanks and tabs are ignored,
// an all-blank field is 0, the exponent may start with E, D, Q or a bare sign, and without a
// decimal point the last `decimals` digits are the fraction. Anything else (asterisks, text, NaN,
// Infinity, a value beyond the range of a double) is unreadable.
constexpr NumberSyntax saved_number(int decimals) {
    return {.ignored = " \t",
            .empty_is_zero = true,
            .implied_decimals = decimals,
            .exponent_letters = "EDQ",
            .sign_opens_exponent = true};
}

std::optional<double> read_real(std::string_view field, int decimals) {
    return parse_real(field, saved_number(decimals));
}

std::optional<int> read_integer(std::string_view field) {
    return parse_integer(field, saved_number(0));
}

// A numeric field must lie on the line; a short line is unreadable, not zero.
std::optional<std::string_view> numeric_field(std::string_view line, int column, int width) {
    if (static_cast<int>(line.size()) < column + width) return std::nullopt;
    return line.substr(column, width);
}

// Text fields read past the end of the line as blanks.
std::string text_field(std::string_view line, int column, int width) {
    std::string_view field =
        static_cast<int>(line.size()) > column ? line.substr(column, width) : std::string_view{};
    return padded(field, width);
}

struct MatrixHeader {
    int n = 0;
    int l = 0;
    int kappa = 0;
    double lambda = 0.0;
    std::string basis;
    std::string scheme;
    std::string pot_type;
    Parameters parameters;
    std::string hash;
    std::optional<double> order;  // shifted_order of the run that wrote it
};

std::optional<MatrixHeader> read_matrix_header(std::string_view line) {
    MatrixHeader header;
    auto n = numeric_field(line, n_column, 5);
    auto l = numeric_field(line, l_column, 5);
    auto kappa = numeric_field(line, kappa_column, 5);
    auto lambda = numeric_field(line, lambda_column, 5);
    if (!n || !l || !kappa || !lambda) return std::nullopt;
    auto n_value = read_integer(*n);
    auto l_value = read_integer(*l);
    auto kappa_value = read_integer(*kappa);
    auto lambda_value = read_real(*lambda, 2);
    if (!n_value || !l_value || !kappa_value || !lambda_value) return std::nullopt;
    header.n = *n_value;
    header.l = *l_value;
    header.kappa = *kappa_value;
    header.lambda = *lambda_value;
    header.basis = text_field(line, basis_column, 8);
    header.scheme = text_field(line, scheme_column, 16);
    header.pot_type = text_field(line, pot_type_column, 8);

    header.parameters.count = parameters_of(header.pot_type).count;
    for (int k = 0; k < header.parameters.count; ++k) {
        auto field = numeric_field(line, parameters_column + k * parameter_width, parameter_width);
        if (!field) return std::nullopt;
        auto value = read_real(*field, parameter_decimals);
        if (!value) return std::nullopt;
        header.parameters.values[k] = *value;
    }
    std::size_t end = parameters_column + header.parameters.count * parameter_width;
    if (parameters_of(header.pot_type).hashed) {
        if (line.size() < end + parameter_width) return std::nullopt;
        header.hash = std::string(line.substr(end, parameter_width));
        end += parameter_width;
    }
    if (line.size() >= end + parameter_width &&
        line.find_first_not_of(" \t\r", end) != std::string_view::npos) {
        header.order = read_real(line.substr(end, parameter_width), parameter_decimals);
        if (!header.order) return std::nullopt;
        end += parameter_width;
    }
    // The line ends with the last parameter; text beyond it belongs to no setting we could check.
    if (line.size() > end && line.find_first_not_of(" \t\r", end) != std::string_view::npos) {
        return std::nullopt;
    }
    return header;
}

// The file belongs to the current run only if every identifying setting is equal, λ and the
// parameters exactly as read back from their fixed fields.
bool matches_current_settings(const MatrixHeader& file) {
    const RunSettings& s = run_record;
    if (file.n != s.ntrunc) return false;
    if (file.l != s.projectile.l) return false;
    if (file.kappa != s.projectile.kappa || !text_is(file.scheme, s.scheme)) return false;
    if (file.lambda != s.lambda) return false;
    if (!text_is(file.basis, s.basis) || !text_is(file.pot_type, padded(s.potential.pot_type, 8))) {
        return false;
    }
    Parameters current = parameters_of(s.potential.pot_type);
    for (int k = 0; k < current.count; ++k) {
        if (file.parameters.values[k] != current.values[k]) return false;
    }
    if (current.hashed && file.hash != hash_field()) return false;
    // The order as the fixed field reads it back.
    const std::optional<double> order = shifted_order();
    if (order.has_value() != file.order.has_value()) return false;
    return !order ||
           *file.order == *read_real(format_fixed(*order, parameter_width, parameter_decimals),
                                     parameter_decimals);
}

// Opens a file for reading only when it is a regular file. O_NONBLOCK keeps a FIFO from
// blocking the open; a FIFO, a directory or a device is then refused (errno EINVAL) unread.
std::FILE* open_regular_file(const char* name) {
    const int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "r");
    if (file == nullptr) ::close(fd);
    return file;
}

// Lines of a file, each without its line feed; `terminated` tells whether one ended it (a file
// cut short ends in a line without one).
class LineReader {
  public:
    explicit LineReader(std::FILE* file) : file_(file) {}
    ~LineReader() {
        std::free(buffer_);
        std::fclose(file_);
    }
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool next(std::string_view& line, bool& terminated) {
        const ssize_t length = ::getline(&buffer_, &capacity_, file_);
        if (length < 0) return false;
        terminated = length > 0 && buffer_[length - 1] == '\n';
        line = std::string_view(buffer_, static_cast<std::size_t>(length) - (terminated ? 1 : 0));
        return true;
    }
    bool failed() const { return std::ferror(file_) != 0; }

  private:
    std::FILE* file_;
    char* buffer_ = nullptr;
    std::size_t capacity_ = 0;
};

constexpr std::string_view blanks = " \t\r";

// The first item of a list-directed read: blank lines are passed over, and the item ends at a
// blank, a comma or a slash. Nothing when the file ends first or the line starts with a null
// value; `terminated` as for LineReader::next.
std::optional<std::string_view> next_item(LineReader& in, bool& terminated) {
    std::string_view line;
    while (in.next(line, terminated)) {
        std::size_t start = line.find_first_not_of(blanks);
        if (start == std::string_view::npos) continue;
        std::size_t end = line.find_first_of(" \t\r,/", start);
        if (end == start) return std::nullopt;
        return line.substr(start,
                           end == std::string_view::npos ? std::string_view::npos : end - start);
    }
    return std::nullopt;
}

// A value of the matrix: its line holds one finite number between blanks and nothing else, and
// is complete (a value cut by a kill or a full disk may still read as a number). A second item
// or a blank line means the file is not the one this reader wrote, so no value of it is trusted.
std::optional<double> read_value(LineReader& in) {
    std::string_view line;
    bool terminated = false;
    if (!in.next(line, terminated) || !terminated) return std::nullopt;
    const std::size_t start = line.find_first_not_of(blanks);
    if (start == std::string_view::npos) return std::nullopt;
    const std::size_t end = line.find_last_not_of(blanks) + 1;
    const std::string_view item = line.substr(start, end - start);
    if (item.find_first_of(" \t,/") != std::string_view::npos) return std::nullopt;
    return read_real(item, 0);
}

// After the last value only blank lines may follow.
bool only_blank_lines_follow(LineReader& in) {
    std::string_view line;
    bool terminated = false;
    while (in.next(line, terminated)) {
        if (line.find_first_not_of(blanks) != std::string_view::npos) return false;
    }
    return !in.failed();
}

// A name beside `name` that no other process uses: the process id keeps concurrent runs apart,
// the counter passes over names left by a killed run whose id has come round again.
int create_temporary(const std::string& name, std::string& temporary) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        temporary = name + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(attempt);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// A decimal number as std::to_string writes it (no sign, no leading zero) up to `largest`.
std::optional<long> canonical_number(std::string_view text, long largest) {
    if (text.empty() || text.size() > 10 || (text[0] == '0' && text.size() > 1)) {
        return std::nullopt;
    }
    long value = 0;
    for (char digit : text) {
        if (digit < '0' || digit > '9') return std::nullopt;
        value = 10 * value + (digit - '0');
    }
    if (value > largest) return std::nullopt;
    return value;
}

// The process that created `entry` if it is exactly a temporary of create_temporary for `name`
// ("<name>.tmp.<pid>.<attempt>").
std::optional<pid_t> temporary_owner(std::string_view entry, const std::string& name) {
    const std::string prefix = name + ".tmp.";
    if (!entry.starts_with(prefix)) return std::nullopt;
    entry.remove_prefix(prefix.size());
    const std::size_t dot = entry.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const std::optional<long> pid = canonical_number(entry.substr(0, dot), 2147483647L);
    if (!pid || *pid == 0 || !canonical_number(entry.substr(dot + 1), 999)) return std::nullopt;
    return static_cast<pid_t>(*pid);
}

// A run killed between creating its temporary and renaming it leaves the temporary for good,
// and a large matrix makes that many megabytes. Such files of `name` whose process is gone are
// removed; this process has none open here, so its own id counts as gone. Only regular files of
// exactly the temporary's form are touched, and a process that exists (even one of another user,
// EPERM) keeps its file.
void remove_stale_temporaries(const std::string& name) {
    DIR* directory = ::opendir(".");
    if (directory == nullptr) return;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(directory)) {
        const std::optional<pid_t> owner = temporary_owner(entry->d_name, name);
        if (!owner) continue;
        if (*owner != self && (::kill(*owner, 0) == 0 || errno != ESRCH)) continue;
        struct stat status {};
        if (::fstatat(::dirfd(directory), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(status.st_mode)) {
            continue;
        }
        ::unlinkat(::dirfd(directory), entry->d_name, 0);
    }
    ::closedir(directory);
}

bool write_matrix(std::FILE* unit, int dim, const double* matrix) {
    write_header(unit);
    std::string line = matrix_header_line();
    bool written = std::fprintf(unit, "%s\n", line.c_str()) >= 0;
    for (int i = 0; i < dim && written; ++i) {
        for (int j = 0; j <= i && written; ++j) {
            double value = matrix[static_cast<std::size_t>(i) +
                                  static_cast<std::size_t>(j) * static_cast<std::size_t>(dim)];
            written = std::fprintf(unit, " %.16E\n", value) >= 0;
        }
    }
    written = std::fflush(unit) == 0 && written;
    return std::ferror(unit) == 0 && written;
}

}  // namespace

// Header block, matrix header line, then the lower triangle row by row. Seventeen significant
// digits make the reloaded matrix equal to the integrated one bit for bit. The file is written
// under a temporary name and renamed into place only when complete, so a kill or a full disk
// leaves the old file or none, concurrent runs each install a whole file of their own, and a
// symbolic link in its place is replaced rather than written through.
void write_vn_to_file(int dim, const double* matrix) {
    const std::string name = saved_file_name();
    remove_stale_temporaries(name);
    std::string temporary;
    const int fd = create_temporary(name, temporary);
    std::FILE* unit = fd >= 0 ? ::fdopen(fd, "w") : nullptr;
    if (unit == nullptr && fd >= 0) ::close(fd);
    bool written = false;
    try {
        written = unit != nullptr && write_matrix(unit, dim, matrix);
    } catch (...) {  // out of memory for the header: no half-written temporary stays behind
        std::fclose(unit);
        std::remove(temporary.c_str());
        throw;
    }
    if (unit != nullptr) written = std::fclose(unit) == 0 && written;
    written = written && std::rename(temporary.c_str(), name.c_str()) == 0;
    if (!written) {
        if (fd >= 0) std::remove(temporary.c_str());
        show_warning("write_vn_to_file", "unable to write the saved potential file <" + name + ">");
    }
}

// Every failure (no regular file, no matrix header line, an unreadable field, other settings, a
// value that is not a finite number, too few or too many values, a line cut short) clears
// vn_file_match, so the matrix is integrated and no further load is tried.
void read_vn_from_file(int dim, double* matrix) {
    run_record.vn_is_loaded = false;
    const std::string name = saved_file_name();
    std::FILE* file = open_regular_file(name.c_str());
    if (file == nullptr) {
        run_record.vn_file_match = false;
        return;
    }
    LineReader in(file);

    // The header block's lines all carry ';' within their first 80 columns.
    std::string_view line;
    bool terminated = false;
    bool found = false;
    while (in.next(line, terminated)) {
        if (line.substr(0, 80).find(';') == std::string_view::npos) {
            found = true;
            break;
        }
    }
    if (!found) return reject();

    std::optional<MatrixHeader> header = read_matrix_header(line);
    if (!header || !matches_current_settings(*header)) return reject();

    for (int i = 0; i < dim; ++i) {
        for (int j = 0; j <= i; ++j) {
            std::optional<double> value = read_value(in);
            if (!value) return reject();
            matrix[static_cast<std::size_t>(i) +
                   static_cast<std::size_t>(j) * static_cast<std::size_t>(dim)] = *value;
        }
    }
    if (!only_blank_lines_follow(in)) return reject();
    run_record.vn_is_loaded = true;
    if (run_record.scr && run_record.pass == 1) {
        show_info("Elements of the truncated potential have been read from file");
    }
}

// The first item of "sk.par" read as an integer; no file, or no item in it, means 0. Content
// that is not a basis size also gives 0, with a warning once for as long as it stays the same.
int read_n_to_save_v() {
    static std::string last_warned;
    auto unreadable = [](std::string_view what) {
        if (what != last_warned) {
            last_warned = what;
            show_warning("read_n_to_save_v", "unable to read a basis size from sk.par");
        }
        return 0;
    };
    std::FILE* file = open_regular_file("sk.par");
    if (file == nullptr) return errno == ENOENT ? 0 : unreadable("not a readable file");
    LineReader in(file);
    bool terminated = false;
    std::optional<std::string_view> item = next_item(in, terminated);
    if (!item) return in.failed() ? unreadable("not a readable file") : 0;
    std::optional<int> value = read_integer(*item);
    if (!value || *value < 0) return unreadable(*item);
    last_warned.clear();
    return *value;
}

}  // namespace skarven
