#include "results.hpp"

#include <stdio_ext.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings.hpp"
#include "special.hpp"
#include "text_format.hpp"

namespace skarven {

namespace {

// "; name     = ": every label is 13 characters, the name padded to 9.
std::string label(std::string_view name) {
    return "; " + padded(name, 9) + "= ";
}

std::string real_line(std::string_view name, double value) {
    return label(name) + format_fixed(value, 22, 16);
}

std::string int_line(std::string_view name, int value) {
    return label(name) + format_int(value, 5);
}

void add_potential_lines(std::vector<std::string>& lines, const RunSettings& settings) {
    const PotentialParams& potential = settings.potential;
    if (text_is(potential.pot_type, "well")) {
        lines.push_back(real_line("v0", potential.v0));
        lines.push_back(real_line("a", potential.a));
        lines.push_back(real_line("b", potential.b));
    } else if (text_is(potential.pot_type, "coulomb")) {
        lines.push_back(real_line("r0", potential.r0));
        lines.push_back(real_line("z", potential.z));
        lines.push_back(real_line("alpha", potential.alpha));
    } else if (text_is(potential.pot_type, "yukawa")) {
        lines.push_back(real_line("r0", potential.r0));
        lines.push_back(real_line("g", potential.g));
        lines.push_back(real_line("m", potential.m));
    } else if (text_is(potential.pot_type, "user")) {
        lines.push_back(real_line("r0", potential.r0));
    } else if (text_is(potential.pot_type, "woods-saxon")) {
        lines.push_back(real_line("r0", potential.r0));
        lines.push_back(real_line("v0", potential.v0));
        lines.push_back(real_line("radius", potential.radius));
        lines.push_back(real_line("diffuse", potential.diffuse));
    } else if (text_is(potential.pot_type, "morse")) {
        lines.push_back(real_line("r0", potential.r0));
        lines.push_back(real_line("v0", potential.v0));
        lines.push_back(real_line("radius", potential.radius));
        lines.push_back(real_line("range", potential.range));
    } else if (text_is(potential.pot_type, "hulthen") ||
               text_is(potential.pot_type, "exponential") ||
               text_is(potential.pot_type, "gaussian")) {
        lines.push_back(real_line("r0", potential.r0));
        lines.push_back(real_line("v0", potential.v0));
        lines.push_back(real_line("range", potential.range));
    } else if (text_is(potential.pot_type, "formula")) {
        lines.push_back(real_line("r0", potential.r0));
        lines.push_back(label("v") + potential.formula);
        if (!potential.breaks.empty()) lines.push_back(label("breaks") + potential.breaks_text);
        lines.push_back(label("hash") + potential_hash_text(settings));
    } else if (text_is(potential.pot_type, "table")) {
        lines.push_back(real_line("r0", potential.r0));
        lines.push_back(label("table") + potential.table);
        lines.push_back(label("hash") + potential_hash_text(settings));
    }
}

}  // namespace

ResultFile::ResultFile(std::string_view routine, std::string name)
    : routine_(routine),
      name_(std::move(name)),
      unit_(std::fopen(name_.c_str(), "w")),
      exceptions_at_open_(std::uncaught_exceptions()) {}

// Reached when a caller returns early without closing, or when an error passes: nothing more to
// report then. An error may leave part of a line in the buffer; it is dropped, so that the file
// keeps exactly the lines flushed before the error.
ResultFile::~ResultFile() {
    if (unit_ == nullptr) return;
    if (std::uncaught_exceptions() > exceptions_at_open_) __fpurge(unit_);
    std::fclose(unit_);
}

void ResultFile::require_open() const {
    if (unit_ == nullptr) throw_error(routine_, "unable to open the output file <" + name_ + ">");
}

void ResultFile::batch_lines(std::size_t bytes) {
    batch_ = bytes;
    const long page = ::sysconf(_SC_PAGESIZE);
    page_ = page > 0 ? static_cast<std::size_t>(page) : 4096;
    batch_text_.reserve(bytes + page_);
}

void ResultFile::write(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), unit_) != text.size()) fail();
}

void ResultFile::write_line(std::string_view line) {
    write(line);
    if (std::fputc('\n', unit_) == EOF) fail();
}

void ResultFile::put_line(std::string_view line) {
    if (batch_ == 0) {
        write_line(line);
        flush();
        return;
    }
    batch_text_.append(line).push_back('\n');
    if (batch_text_.size() >= batch_) flush();
}

// The error flag is sticky, so a failure inside write_header shows here too.
void ResultFile::flush() {
    if (std::fflush(unit_) != 0 || std::ferror(unit_) != 0) fail();
    if (!batch_text_.empty()) write_batch();
}

std::vector<std::size_t> page_write_ends(long long offset, std::string_view text,
                                         std::size_t page) {
    std::vector<std::size_t> ends;
    auto page_of = [&](std::size_t at) { return (offset + static_cast<long long>(at)) / page; };
    std::size_t chunk = 0;
    for (std::size_t line = 0; line < text.size();) {
        const std::size_t found = text.find('\n', line);
        const std::size_t end = found == std::string_view::npos ? text.size() : found + 1;
        if (page_of(chunk) != page_of(end - 1)) {
            if (line > chunk) ends.push_back(line);
            chunk = line;
            if (page_of(line) != page_of(end - 1)) {
                ends.push_back(end);
                chunk = end;
            }
        }
        line = end;
    }
    if (chunk < text.size()) ends.push_back(text.size());
    return ends;
}

// The collected lines straight to the descriptor (the stream's buffer is empty).
void ResultFile::write_batch() {
    if (batch_offset_ < 0) {
        // A pipe has no position and no pages to respect.
        const long position = std::ftell(unit_);
        batch_offset_ = position > 0 ? position : 0;
    }
    const int descriptor = ::fileno(unit_);
    std::size_t from = 0;
    for (const std::size_t to : page_write_ends(batch_offset_, batch_text_, page_)) {
        while (from < to) {
            const ssize_t written = ::write(descriptor, batch_text_.data() + from, to - from);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) fail();
            from += static_cast<std::size_t>(written);
        }
    }
    batch_offset_ += static_cast<long long>(batch_text_.size());
    batch_text_.clear();
}

void ResultFile::close() {
    if (!batch_text_.empty()) flush();
    bool written = std::ferror(unit_) == 0;
    written = std::fclose(unit_) == 0 && written;
    unit_ = nullptr;
    if (!written) fail();
}

void ResultFile::fail() const {
    throw_error(routine_, "unable to write the output file <" + name_ + ">");
}

std::string energy_field(double e) {
    return format_fixed_fitting(e, 10, 6);
}

std::string header_date_line(const std::tm& local) {
    return "; date: " + format_int(local.tm_mday, 2) + "." + format_int(local.tm_mon + 1, 2) + "." +
           format_int(local.tm_year + 1900L, 4) + "  time: " + format_int(local.tm_hour, 2) + "." +
           format_int(local.tm_min, 2);
}

void write_header(std::FILE* unit) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);

    const RunSettings& settings = run_record;
    const bool first_pass = settings.pass == 1;
    // The block is collected as lines so that an optional line is one push_back in its place.
    std::vector<std::string> lines;
    lines.push_back("; OUTPUT FROM THE SKARVEN PROGRAM");
    lines.push_back(header_date_line(local));
    lines.push_back(";");
    if (first_pass) {
        lines.push_back(real_line("energy", settings.projectile.e));
    } else {
        lines.push_back(real_line("estart", settings.estart));
        lines.push_back(real_line("eend", settings.eend));
        lines.push_back(real_line("estep", settings.estep));
    }
    lines.push_back(int_line("l", settings.projectile.l));
    lines.push_back(int_line("kappa", settings.projectile.kappa));
    lines.push_back(real_line("lambda", settings.lambda));
    // lambda = auto: the value above is the run's wave's; the partial waves choose their own.
    if (settings.lambda_auto) lines.push_back("; lambda_auto = T");
    lines.push_back(label("basis") + settings.basis);
    lines.push_back(label("scheme") + settings.scheme);
    lines.push_back(label("v_light") + settings.vol);
    lines.push_back(label("shift") + (settings.shift ? "T" : "F"));
    if (text_is(settings.solver, "fast")) lines.push_back(label("solver") + "fast");
    if (settings.zc != 0.0) lines.push_back(real_line("zc", settings.zc));
    // The Coulomb phase of the run's wave, which the files' delta leaves out; one energy only.
    if (settings.zc != 0.0 && first_pass) {
        const Projectile& p = settings.projectile;
        lines.push_back(label("sigma_l") +
                        format_fixed_fitting(coulomb_phase(p.l, settings.zc / p.k), 22, 16));
    }
    if (settings.tolerance > 0.0) {
        lines.push_back("; tolerance = " + format_scientific(settings.tolerance, 9, 2));
    }
    if (first_pass) {
        lines.push_back(int_line("nstart", settings.nstart));
        lines.push_back(int_line("nend", settings.nend));
    } else {
        // The energy file holds one basis size for all its energies.
        lines.push_back(int_line("ntrunc", settings.nend));
    }
    lines.push_back(label("pot_type") + pot_type_text(settings.potential));
    add_potential_lines(lines, settings);
    lines.push_back(";");

    for (const std::string& line : lines) {
        std::fwrite(line.data(), 1, line.size(), unit);
        std::fputc('\n', unit);
    }
}

}  // namespace skarven
