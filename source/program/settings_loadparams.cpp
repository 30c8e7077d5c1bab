// The parameter-file loader: reading, conditional requirements and defaults.
#include <sys/stat.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "float_mode.hpp"
#include "limit.hpp"
#include "settings.hpp"
#include "settings_internal.hpp"
#include "text_format.hpp"

namespace skarven {

namespace {

using detail::finite_light_speed;
using detail::infinite_light_speed;
constexpr std::string_view routine = detail::loadparams_routine;

constexpr std::size_t record_width = 80;
constexpr std::size_t item_width = 44;
// Bytes of a line kept for reading and for its report (which shows 120); the rest is only looked
// at for further items.
constexpr std::size_t kept_width = 1024;
// No parameter line comes near these; an endless input (/dev/zero, /dev/urandom) ends the run at
// them instead of being read for ever.
constexpr std::size_t longest_line = std::size_t{1} << 20;
constexpr std::size_t largest_file = std::size_t{1} << 26;
// Reports about single lines beyond this count are summed up in one line.
constexpr int most_line_reports = 100;

// Where a key's value goes: a real, an integer, a boolean, or a text field of its own width.
using Field = std::variant<double*, int*, bool*, std::string*>;

struct Parameter {
    std::string_view name;
    Field field;
    std::size_t text_width = 0;
    bool required = false;
    bool given = false;
    // The value is the rest of the line after "=" (it may hold blanks); `joined`: every line of
    // the key adds its text, after one blank, instead of replacing it.
    bool rest_of_line = false;
    bool joined = false;
};

// Table order is the order of missing-parameter reports and of defaults.
// clang-format off
enum Entry : std::size_t {
    estart, eend, estep, l, kappa, lambda, basis, scheme, v_light, pot_type, screen, shift,
    nstart, nend, v0, a, b, r0, z, alpha, energies, e, g, m, solver, lmax, lconv, angles,
    tolerance, radius, diffuse, range, v, breaks, table, zc,
    entry_count
};
// clang-format on

using ParameterTable = std::array<Parameter, entry_count>;

ParameterTable fresh_table() {
    RunSettings& s = run_record;
    PotentialParams& p = s.potential;
    return {{{"estart", &s.estart},
             {"eend", &s.eend},
             {"estep", &s.estep},
             {"l", &s.projectile.l},
             {"kappa", &s.projectile.kappa},
             {"lambda", &s.lambda},
             {"basis", &s.basis, 8},
             {"scheme", &s.scheme, 16},
             {"v_light", &s.vol, 8},
             {"pot_type", &p.pot_type, 16},
             {"screen", &s.scr},
             {"shift", &s.shift},
             {"nstart", &s.nstart},
             {"nend", &s.nend},
             {"v0", &p.v0},
             {"a", &p.a},
             {"b", &p.b},
             {"r0", &p.r0},
             {"z", &p.z},
             {"alpha", &p.alpha},
             {"energies", &s.energies},
             {"e", &s.projectile.e},
             {"g", &p.g},
             {"m", &p.m},
             {"solver", &s.solver, 8},
             {"lmax", &s.lmax},
             {"lconv", &s.lconv},
             {"angles", &s.angles},
             {"tolerance", &s.tolerance},
             {"radius", &p.radius},
             {"diffuse", &p.diffuse},
             {"range", &p.range},
             {"v", &p.formula, record_width, false, false, true, true},
             {"breaks", &p.breaks_text, record_width, false, false, true},
             {"table", &p.table, record_width, false, false, true},
             {"zc", &s.zc}}};
}

bool is_separator(char ch) {
    return ch == ' ' || ch == ',';
}

// The first `wanted` items of a text (at most 4). Runs of blanks and commas separate items; an
// item opened by an apostrophe or a double quote runs to the matching quote (or the end of the
// text) and may hold blanks and commas. Items are cut to `width` characters.
int split_items(std::string_view text, std::array<std::string, 4>& items, int wanted,
                std::size_t width) {
    int count = 0;
    std::size_t pos = 0;
    while (count < wanted) {
        while (pos < text.size() && is_separator(text[pos])) {
            ++pos;
        }
        if (pos == text.size()) break;
        std::string_view item;
        char quote = text[pos];
        if (quote == '\'' || quote == '"') {
            std::size_t close = text.find(quote, pos + 1);
            if (close == std::string_view::npos) close = text.size();
            item = text.substr(pos + 1, close - pos - 1);
            pos = close == text.size() ? close : close + 1;
        } else {
            std::size_t end = pos;
            while (end < text.size() && !is_separator(text[end])) {
                ++end;
            }
            item = text.substr(pos, end - pos);
            pos = end;
        }
        items[count++] = std::string(item.substr(0, width));
    }
    return count;
}

bool is_comment(std::string_view record) {
    char first = record[0];
    return first == ';' || first == '#' || first == '%' || record.substr(0, 2) == "//";
}

std::string_view without_blanks(std::string_view text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return trimmed(text.substr(first));
}

// A number of the parameter file is the whole item, without blanks, its exponent opened by E or
// D; a value that overflows a double is refused.
constexpr NumberSyntax free_form{};

// An optional leading period, then T/t or F/f; the rest is not looked at.
bool parse_boolean(std::string_view text, bool& value) {
    std::size_t pos = !text.empty() && text[0] == '.' ? 1 : 0;
    if (pos == text.size()) return false;
    char letter = text[pos];
    if (letter == 'T' || letter == 't') {
        value = true;
        return true;
    }
    if (letter == 'F' || letter == 'f') {
        value = false;
        return true;
    }
    return false;
}

// Converts the value item into the key's field, or throws Error.
void store_value(const Parameter& parameter, std::string_view value) {
    // Blanks around a number or a boolean (possible inside quotes) are not part of it.
    const std::string_view number = without_blanks(value);
    bool converted = true;
    if (double* const* real = std::get_if<double*>(&parameter.field);
        real && *real == &run_record.lambda) {
        // "auto": the scale is chosen once the wave and the energies are known; the last value
        // given counts.
        run_record.lambda_auto = number == "auto" || number == "AUTO";
        if (run_record.lambda_auto) {
            run_record.lambda = 1.0;
            return;
        }
    }
    if (double* const* real = std::get_if<double*>(&parameter.field)) {
        const std::optional<double> parsed = parse_real(number, free_form);
        if (parsed) **real = *parsed;
        converted = parsed.has_value();
    } else if (int* const* integer = std::get_if<int*>(&parameter.field)) {
        const std::optional<int> parsed = parse_integer(number, free_form);
        if (parsed) **integer = *parsed;
        converted = parsed.has_value();
    } else if (bool* const* boolean = std::get_if<bool*>(&parameter.field)) {
        converted = parse_boolean(number, **boolean);
    } else {
        // Cut to its field, a longer value could pass for a known one ("laguerrex").
        const std::string_view text = trimmed(value);
        if (text.size() > parameter.text_width) {
            throw_error(routine, detail::unknown_value_message(parameter.name));
        }
        *std::get<std::string*>(parameter.field) = padded(text, parameter.text_width);
    }
    if (!converted) {
        throw_error(routine, "incorrect value for <" + std::string(parameter.name) + ">");
    }
}

// A key whose value runs to the end of its record: the text after the first "=", without the
// blanks around it and without quotes that enclose all of it.
void store_rest_of_line(Parameter& parameter, std::string_view record) {
    std::string_view text = without_blanks(record.substr(record.find('=') + 1));
    if (text.size() >= 2 && (text.front() == '\'' || text.front() == '"') &&
        text.back() == text.front()) {
        text = text.substr(1, text.size() - 2);
    }
    std::string& field = *std::get<std::string*>(parameter.field);
    if (parameter.joined && parameter.given) {
        field += ' ';
        field += text;
    } else {
        field = std::string(text);
    }
    parameter.given = true;
}

// A line as a report shows it: control characters in caret notation (a tab as ^I), trailing
// blanks dropped, and cut after 120 characters. `continued`: text follows beyond `line`.
std::string shown(std::string_view line, bool continued) {
    constexpr std::size_t shown_width = 120;
    if (!continued) line = trimmed(line);
    std::string text;
    for (std::size_t i = 0; i < line.size() && i < shown_width; ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        if (byte < 0x20 || byte == 0x7f) {
            text += '^';
            text += static_cast<char>(byte ^ 0x40);
        } else {
            text += line[i];
        }
    }
    if (line.size() > shown_width) text += "...";
    return text;
}

bool is_blank(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

// Warnings about single lines: the first most_line_reports are shown, then one line says that
// the rest are not, so that a file of junk cannot flood the output.
class LineReports {
  public:
    void operator()(const std::string& message) {
        if (count_ < most_line_reports) {
            show_warning(routine, message);
        } else if (count_ == most_line_reports) {
            show_warning(routine, "further warnings about the parameter file suppressed");
        }
        if (count_ <= most_line_reports) ++count_;
    }

  private:
    int count_ = 0;
};

// One line of the file: its first kept_width bytes, and whether the bytes beyond held anything
// but blanks (text the report must mark as cut) or anything but blanks and commas (an item).
struct Line {
    std::string text;
    bool text_dropped = false;
    bool item_dropped = false;
};

// A line is read from its 80-column record: key, separator and value, each cut to 44
// characters, the rest ignored. Any line that is not exactly "key = value" is reported: one
// that cannot be read is ignored, one read in part (an extra item, a separator longer than
// "=", an item cut at column 80 or at 44 characters) is used as read.
void read_line(std::string_view record, const Line& whole_line, long long number,
               ParameterTable& table, LineReports& report) {
    if (is_comment(record)) return;
    const std::string_view line = whole_line.text;
    std::array<std::string, 4> items;
    const int count = split_items(record, items, 3, item_width);
    auto not_understood = [&](const std::string& outcome) {
        report("line " + std::to_string(number) + " not understood: <" +
               shown(line, whole_line.text_dropped) + "> " + outcome);
    };
    if (count < 3 || items[1].empty() || items[1][0] != '=') {
        if (!is_blank(line)) not_understood("has been ignored");
        return;
    }
    const std::string& key = items[0];
    const std::string& value = items[2];
    for (std::size_t i = 0; i < entry_count; ++i) {
        if (trimmed(key) == table[i].name && table[i].rest_of_line) {
            store_rest_of_line(table[i], record);
            return;
        }
        if (trimmed(key) == table[i].name) {
            std::array<std::string, 4> whole;
            const bool exact = items[1] == "=" && !whole_line.item_dropped &&
                               split_items(line, whole, 4, std::string_view::npos) == 3 &&
                               whole[0] == key && whole[1] == "=" && whole[2] == value;
            if (!exact) {
                not_understood("has been read as <" + std::string(trimmed(key)) + "> = <" +
                               std::string(trimmed(value)) + ">");
            }
            store_value(table[i], value);
            table[i].given = true;
            return;
        }
    }
    report("unknown parameter <" + std::string(trimmed(key)) + "> = <" +
           std::string(trimmed(value)) + "> " + "has been ignored");
}

// Reads line `number` into `line`; false at the end of the file. Any byte is an ordinary
// character; a carriage return before the line feed belongs to the line end. The bytes beyond
// kept_width are read one by one and dropped, so a line of any length takes bounded memory.
bool next_line(std::FILE* file, long long number, std::size_t& bytes_read, Line& line) {
    line.text.clear();
    line.text_dropped = line.item_dropped = false;
    std::size_t length = 0;
    bool dropped_return = false;  // the last byte dropped was a carriage return
    int ch;
    while ((ch = getc_unlocked(file)) != EOF && ch != '\n') {
        if (++length > longest_line) {
            throw_error(routine, "line " + std::to_string(number) +
                                     " of the input file is longer than " +
                                     std::to_string(longest_line) + " characters");
        }
        if (line.text.size() < kept_width) {
            line.text.push_back(static_cast<char>(ch));
            continue;
        }
        if (dropped_return) line.text_dropped = line.item_dropped = true;
        dropped_return = ch == '\r';
        if (!dropped_return && ch != ' ') {
            line.text_dropped = true;
            if (ch != ',') line.item_dropped = true;
        }
    }
    if (std::ferror(file)) throw_error(routine, "unable to read the input file");
    bytes_read += length + (ch == '\n' ? 1 : 0);
    if (bytes_read > largest_file) {
        throw_error(routine,
                    "the input file is longer than " + std::to_string(largest_file) + " bytes");
    }
    if (ch == EOF && length == 0) return false;
    if (ch == EOF && dropped_return) line.text_dropped = line.item_dropped = true;
    if (ch == '\n' && !line.text.empty() && line.text.back() == '\r' &&
        length == line.text.size()) {
        line.text.pop_back();
    }
    return true;
}

// Reads records of 80 columns: longer lines are cut, shorter ones blank-filled. A UTF-8 byte-order
// mark, which editors may put before the first key, is not part of the file's text.
void read_file(std::FILE* file, ParameterTable& table) {
    constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
    Line line;
    LineReports report;
    std::size_t bytes_read = 0;
    for (long long number = 1; next_line(file, number, bytes_read, line); ++number) {
        if (number == 1 && line.text.starts_with(byte_order_mark)) {
            line.text.erase(0, byte_order_mark.size());
        }
        std::string record = line.text.substr(0, record_width);
        record.resize(record_width, ' ');
        read_line(record, line, number, table, report);
    }
}

std::FILE* open_input(const std::string& filename) {
    std::string name(trimmed(filename));
    std::FILE* file = std::fopen(name.c_str(), "r");
    if (file == nullptr) return nullptr;
    // A directory opens for reading on POSIX but is not a file to read.
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || S_ISDIR(status.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

void set_requirements(ParameterTable& table) {
    for (Entry entry : {l, basis, scheme, pot_type, nend, e}) {
        table[entry].required = true;
    }
    const std::string& type = run_record.potential.pot_type;
    if (text_is(type, "well")) {
        for (Entry entry : {v0, a, b}) {
            table[entry].required = true;
        }
    } else if (text_is(type, "coulomb")) {
        for (Entry entry : {r0, z, alpha}) {
            table[entry].required = true;
        }
    } else if (text_is(type, "yukawa")) {
        for (Entry entry : {r0, g, m}) {
            table[entry].required = true;
        }
    } else if (text_is(type, "woods-saxon")) {
        for (Entry entry : {v0, radius, diffuse}) {
            table[entry].required = true;
        }
    } else if (text_is(type, "hulthen") || text_is(type, "exponential") ||
               text_is(type, "gaussian")) {
        for (Entry entry : {v0, range}) {
            table[entry].required = true;
        }
    } else if (text_is(type, "morse")) {
        for (Entry entry : {v0, radius, range}) {
            table[entry].required = true;
        }
    } else if (text_is(type, "formula")) {
        table[v].required = true;
    } else if (text_is(type, "table")) {
        table[Entry::table].required = true;
    }
    if (run_record.energies) {
        table[estart].required = true;
        table[eend].required = true;
    }
    if (relativistic_scheme()) table[kappa].required = true;
}

void apply_default(Entry entry) {
    RunSettings& s = run_record;
    switch (entry) {
        case estep:
            // A single energy needs a positive step too; a tenth of it, like a tenth of a range.
            s.estep = (s.eend == s.estart ? s.eend : s.eend - s.estart) / 10.0;
            break;
        case lambda:
            s.lambda = 1.0;
            break;
        case v_light:
            if (relativistic_scheme()) s.vol = padded("finite", 8);
            break;
        case screen:
            s.scr = true;
            break;
        case shift:
            s.shift = false;
            break;
        case nstart:
            s.nstart = 1;
            break;
        case solver:
            s.solver = padded("eigen", 8);
            break;
        case lmax:
            s.lmax = -1;  // one partial wave
            break;
        case lconv:
            s.lconv = 1e-8;
            break;
        default:
            break;  // the field keeps its initial value
    }
}

// A partial-wave run starts at l = 0 (kappa = -1 in the Dirac scheme): the l and kappa of the
// file are not needed and, when given, not used. Returns which of the two were given.
std::array<bool, 2> take_partial_wave_keys(ParameterTable& table) {
    const std::array<bool, 2> given{table[l].given, table[kappa].given};
    if (!table[lmax].given) return given;
    run_record.projectile.l = 0;
    run_record.projectile.kappa = relativistic_scheme() ? -1 : 0;
    table[l].given = table[kappa].given = true;
    return given;
}

// A number of the breaks or of a table file: what strtod reads, all of the item.
std::optional<double> number_of(const std::string& item) {
    const FloatModeGuard mode;
    char* end = nullptr;
    const double value = std::strtod(item.c_str(), &end);
    if (item.empty() || end != item.c_str() + item.size()) return std::nullopt;
    return value;
}

// Items of a text separated by blanks, tabs and commas.
std::vector<std::string> items_of(std::string_view text) {
    std::vector<std::string> items;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = text.find_first_not_of(" \t,\r", pos);
        if (start == std::string_view::npos) break;
        std::size_t end = text.find_first_of(" \t,\r", start);
        if (end == std::string_view::npos) end = text.size();
        items.emplace_back(text.substr(start, end - start));
        pos = end;
    }
    return items;
}

// The table file: two numbers a line, r and v(r); blank lines and lines starting with ';' or '#'
// are skipped. Every refusal names the file, and the line where there is one.
void read_table(const std::string& name, std::vector<double>& r, std::vector<double>& v) {
    r.clear();
    v.clear();
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(open_input(name), std::fclose);
    if (file == nullptr) throw_error(routine, "unable to open the table file <" + name + ">");
    Line line;
    std::size_t bytes_read = 0;
    for (long long number = 1; next_line(file.get(), number, bytes_read, line); ++number) {
        const std::string_view text = without_blanks(line.text);
        if (text.empty() || text[0] == ';' || text[0] == '#' || is_blank(text)) continue;
        const std::string where =
            "line " + std::to_string(number) + " of the table file <" + name + ">";
        if (line.text_dropped) throw_error(routine, where + " is too long");
        const std::vector<std::string> items = items_of(text);
        std::optional<double> radius;
        std::optional<double> value;
        if (items.size() == 2) {
            radius = number_of(items[0]);
            value = number_of(items[1]);
        }
        if (!radius || !value) throw_error(routine, where + " does not hold two numbers r and v");
        if (!std::isfinite(*radius) || !std::isfinite(*value)) {
            throw_error(routine, where + " holds a value that is not finite");
        }
        if (!r.empty() && !(*radius > r.back())) {
            throw_error(routine, where + ": the radii do not increase");
        }
        r.push_back(*radius);
        v.push_back(*value);
    }
    if (r.size() < 4) {
        throw_error(routine, "the table file <" + name + "> holds fewer than 4 points");
    }
}

// The data of a formula or table potential, which the parameter lines only name.
void read_potential_data() {
    PotentialParams& p = run_record.potential;
    p.breaks.clear();
    if (text_is(p.pot_type, "formula")) {
        for (const std::string& item : items_of(p.breaks_text)) {
            const std::optional<double> radius = number_of(item);
            if (!radius) throw_error(routine, "incorrect value for <breaks>");
            p.breaks.push_back(*radius);
        }
    }
    if (text_is(p.pot_type, "table")) read_table(p.table, p.table_r, p.table_v);
}

// lambda = auto: the scale of the run's wave at its energies, before the checks that depend on
// it (the reach of the basis, (k/lambda)^2); energies or waves the checks will refuse keep 1.
void choose_lambda() {
    RunSettings& s = run_record;
    if (!s.lambda_auto) return;
    s.v_light = text_is(s.vol, "finite") ? finite_light_speed : infinite_light_speed;
    const Problem problem = problem_of(s);
    const double e = window_energy(s);
    const double lambda = auto_lambda(problem.wave.l, wave_number(problem.scheme, e));
    const int l = problem.wave.l;
    s.lambda = e > 0.0 && l >= 0 && l <= 1000 && std::isfinite(lambda) ? lambda : 1.0;
}

}  // namespace

void loadparams(const std::string& filename) {
    const FloatModeGuard mode;
    say("Loading parameters...");
    // Closed also when reading ends in an error.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(open_input(filename), std::fclose);
    if (file == nullptr) {
        throw_error(routine,
                    "unable to open the input file <" + std::string(trimmed(filename)) + ">");
    }
    ParameterTable table = fresh_table();
    read_file(file.get(), table);
    const std::array<bool, 2> l_kappa_given = take_partial_wave_keys(table);

    set_requirements(table);
    for (const Parameter& parameter : table) {
        if (parameter.required && !parameter.given) {
            throw_error(routine,
                        "required parameter missing: <" + std::string(parameter.name) + ">");
        }
    }
    for (std::size_t i = 0; i < entry_count; ++i) {
        if (!table[i].required && !table[i].given) apply_default(static_cast<Entry>(i));
    }
    read_potential_data();
    choose_lambda();
    detail::validate();
    detail::check_partial_wave_keys({.lmax = table[lmax].given,
                                     .lconv = table[lconv].given,
                                     .angles = table[angles].given,
                                     .l = l_kappa_given[0],
                                     .kappa = l_kappa_given[1]});
    detail::check_tolerance(table[tolerance].given);
    detail::check_lambda_auto(table[tolerance].given);
    detail::warn();

    run_record.v_light =
        text_is(run_record.vol, "finite") ? finite_light_speed : infinite_light_speed;
    say("Load complete.");
}

std::string convert_int_to_string(int n) {
    std::string field = format_int(n, 5);
    return field.substr(field.find_first_not_of(' '));
}

}  // namespace skarven
