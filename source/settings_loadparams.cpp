// The parameter-file loader: reading, conditional requirements, defaults, validation.
#include <sys/stat.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include "settings.hpp"
#include "text_format.hpp"

namespace skarven {

namespace {

constexpr std::string_view routine = "loadparams";
constexpr std::size_t record_width = 80;
constexpr std::size_t item_width = 44;
constexpr double finite_light_speed = 137.0359996287515;
constexpr double infinite_light_speed = 5000.0;

// Where a key's value goes: a real, an integer, a boolean, or a text field of its own width.
using Field = std::variant<double*, int*, bool*, std::string*>;

struct Parameter {
    std::string_view name;
    Field field;
    std::size_t text_width = 0;
    bool required = false;
    bool given = false;
};

// Table order is the order of missing-parameter reports and of defaults.
// clang-format off
enum Entry : std::size_t {
    estart, eend, estep, l, kappa, lambda, basis, scheme, v_light, pot_type, screen, shift,
    nstart, nend, v0, a, b, r0, z, alpha, energies, e, g, m, solver, lmax, lconv, angles,
    entry_count
};
// clang-format on

using ParameterTable = std::array<Parameter, entry_count>;

ParameterTable fresh_table() {
    RunSettings& s = sk_globals;
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
             {"pot_type", &p.pot_type, 8},
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
             {"angles", &s.angles}}};
}

bool is_separator(char ch) {
    return ch == ' ' || ch == ',';
}

// The first three items of an 80-column record. Runs of blanks and commas separate items; an
// item opened by an apostrophe or a double quote runs to the matching quote (or the end of the
// record) and may hold blanks and commas. Items are cut to 44 characters.
int split_items(std::string_view record, std::array<std::string, 3>& items) {
    int count = 0;
    std::size_t pos = 0;
    while (count < 3) {
        while (pos < record.size() && is_separator(record[pos])) {
            ++pos;
        }
        if (pos == record.size()) break;
        std::string_view item;
        char quote = record[pos];
        if (quote == '\'' || quote == '"') {
            std::size_t close = record.find(quote, pos + 1);
            if (close == std::string_view::npos) close = record.size();
            item = record.substr(pos + 1, close - pos - 1);
            pos = close == record.size() ? close : close + 1;
        } else {
            std::size_t end = pos;
            while (end < record.size() && !is_separator(record[end])) {
                ++end;
            }
            item = record.substr(pos, end - pos);
            pos = end;
        }
        items[count++] = std::string(item.substr(0, item_width));
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

bool is_digit(char ch) {
    return ch >= '0' && ch <= '9';
}

std::size_t count_digits(std::string_view text, std::size_t pos) {
    std::size_t end = pos;
    while (end < text.size() && is_digit(text[end])) {
        ++end;
    }
    return end - pos;
}

// [sign] digits [. [digits]] | [sign] . digits, then optionally E/e/D/d [sign] digits.
// A value that overflows a double is refused; one that underflows becomes the nearest double.
bool parse_real(std::string_view text, double& value) {
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    std::size_t whole = count_digits(text, pos);
    pos += whole;
    std::size_t fraction = 0;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        fraction = count_digits(text, pos);
        pos += fraction;
    }
    if (whole + fraction == 0) return false;
    std::string number(text.substr(0, pos));
    if (pos < text.size()) {
        char letter = text[pos];
        if (letter != 'E' && letter != 'e' && letter != 'D' && letter != 'd') return false;
        number += 'e';
        ++pos;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) number += text[pos++];
        std::size_t exponent = count_digits(text, pos);
        if (exponent == 0 || pos + exponent != text.size()) return false;
        number += text.substr(pos);
    }
    value = std::strtod(number.c_str(), nullptr);
    return std::isfinite(value);
}

// [sign] digits, within 32 bits.
bool parse_integer(std::string_view text, int& value) {
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    if (pos == text.size() || count_digits(text, pos) != text.size() - pos) return false;
    std::uint64_t magnitude = 0;
    auto [end, error] = std::from_chars(text.data() + pos, text.data() + text.size(), magnitude);
    if (error != std::errc{} || end != text.data() + text.size()) return false;
    const std::uint64_t limit = negative ? 2147483648ULL : 2147483647ULL;
    if (magnitude > limit) return false;
    const std::int64_t signed_value = static_cast<std::int64_t>(magnitude);
    value = static_cast<int>(negative ? -signed_value : signed_value);
    return true;
}

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

// Converts the value item into the key's field, or ends the run.
void store_value(const Parameter& parameter, std::string_view value) {
    // Blanks around a number or a boolean (possible inside quotes) are not part of it.
    const std::string_view number = without_blanks(value);
    bool converted = true;
    if (double* const* real = std::get_if<double*>(&parameter.field)) {
        converted = parse_real(number, **real);
    } else if (int* const* integer = std::get_if<int*>(&parameter.field)) {
        converted = parse_integer(number, **integer);
    } else if (bool* const* boolean = std::get_if<bool*>(&parameter.field)) {
        converted = parse_boolean(number, **boolean);
    } else {
        *std::get<std::string*>(parameter.field) = padded(trimmed(value), parameter.text_width);
    }
    if (!converted) {
        show_error(routine, "incorrect value for <" + std::string(parameter.name) + ">");
    }
}

void read_line(std::string_view record, ParameterTable& table) {
    if (is_comment(record)) return;
    std::array<std::string, 3> items;
    if (split_items(record, items) < 3) return;
    const auto& [key, separator, value] = items;
    if (separator.empty() || separator[0] != '=') return;
    for (std::size_t i = 0; i < entry_count; ++i) {
        if (trimmed(key) == table[i].name) {
            store_value(table[i], value);
            table[i].given = true;
            return;
        }
    }
    show_warning(routine, "unknown parameter <" + std::string(trimmed(key)) + "> = <" +
                              std::string(trimmed(value)) + "> " + "has been ignored");
}

// Reads records of 80 columns: longer lines are cut, shorter ones blank-filled. Any byte is
// an ordinary character; a carriage return before the line feed belongs to the line end.
void read_file(std::FILE* file, ParameterTable& table) {
    std::string record;
    bool at_end = false;
    while (!at_end) {
        record.clear();
        int ch;
        while ((ch = std::getc(file)) != EOF && ch != '\n') {
            if (record.size() <= record_width) record.push_back(static_cast<char>(ch));
        }
        at_end = ch == EOF;
        if (at_end && record.empty()) break;
        if (ch == '\n' && record.size() <= record_width && !record.empty() &&
            record.back() == '\r') {
            record.pop_back();
        }
        record.resize(record_width, ' ');
        read_line(record, table);
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
    const std::string& type = sk_globals.potential.pot_type;
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
    }
    if (sk_globals.energies) {
        table[estart].required = true;
        table[eend].required = true;
    }
    if (text_is(sk_globals.scheme, "relativistic")) table[kappa].required = true;
}

void apply_default(Entry entry) {
    RunSettings& s = sk_globals;
    switch (entry) {
        case estep:
            s.estep = (s.eend - s.estart) / 10.0;
            break;
        case lambda:
            s.lambda = 1.0;
            break;
        case v_light:
            if (text_is(s.scheme, "relativistic")) s.vol = padded("finite", 8);
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

// The checks are written so that a comparison with a value that is not a number fails.
void validate() {
    const RunSettings& s = sk_globals;
    const bool relativistic = text_is(s.scheme, "relativistic");
    auto require = [](bool holds, std::string_view message) {
        if (!holds) show_error(routine, message);
    };
    require(s.nstart >= 1 && s.nstart <= s.nend, "incorrect values of <nstart> or <nend>");
    require(s.nend <= 5000, "<nend> is to big");
    require(s.projectile.e > 0.0, "<e> must be positive");
    if (s.energies) {
        require(s.estart <= s.eend, "incorrect values of <estart> or <eend>");
        require(s.estart > 0.0 && s.eend > 0.0, "<estart> and <eend> must be positive");
        require(s.estep > 0.0, "<estep> must be positive");
    }
    if (relativistic) {
        // Widened so that l = INT32_MIN cannot overflow.
        const std::int64_t l_value = s.projectile.l;
        const std::int64_t kappa_value = s.projectile.kappa;
        require(kappa_value == l_value || kappa_value == -l_value - 1,
                "<l> and <kappa> are not properly correlated");
    }
    const std::string& type = s.potential.pot_type;
    require(text_is(type, "well") || text_is(type, "coulomb") || text_is(type, "yukawa") ||
                text_is(type, "user"),
            "<pot_type> must be <well>, <coulomb> or <user>");
    if (text_is(type, "well")) {
        require(s.potential.a < s.potential.b, "incorrect values of <a> or <b>");
    }
    if (text_is(type, "yukawa")) require(s.potential.m > 0.0, "<m> should be positive");
    require(text_is(s.basis, "laguerre") || text_is(s.basis, "gauss"),
            "<basis> must be <gauss> or <laguerre>");
    require(relativistic || text_is(s.scheme, "non-relativistic"),
            "<scheme> must be <relativistic> or <non-relativistic>");
    if (relativistic) {
        require(text_is(s.vol, "finite") || text_is(s.vol, "infinite"),
                "<v_light> must be <finite> or <infinite>");
    }
    require(s.lambda > 0.0, "<lambda> must be positive");
    require(text_is(s.solver, "eigen") || text_is(s.solver, "fast"),
            "<solver> must be <eigen> or <fast>");
}

// A partial-wave run starts at l = 0 (kappa = -1 in the Dirac scheme): the l and kappa of the
// file are not needed and, when given, not used. Returns which of the two were given.
std::array<bool, 2> take_partial_wave_keys(ParameterTable& table) {
    const std::array<bool, 2> given{table[l].given, table[kappa].given};
    if (!table[lmax].given) return given;
    sk_globals.projectile.l = 0;
    sk_globals.projectile.kappa = text_is(sk_globals.scheme, "relativistic") ? -1 : 0;
    table[l].given = table[kappa].given = true;
    return given;
}

// Beyond l = 40 the basis loses the partial waves (their phase shifts come out near 0) before
// the fast route's factorisation fails outright.
constexpr int largest_lmax = 40;
constexpr int largest_angles = 100000;

void check_partial_wave_keys(const ParameterTable& table, std::array<bool, 2> l_kappa_given) {
    const RunSettings& s = sk_globals;
    auto require = [](bool holds, std::string_view message) {
        if (!holds) show_error(routine, message);
    };
    require(s.lconv > 0.0, "<lconv> must be positive");
    require(s.angles == 0 || (s.angles >= 2 && s.angles <= largest_angles),
            "<angles> must be 0 or between 2 and " + std::to_string(largest_angles));
    if (!table[lmax].given) {
        for (Entry entry : {lconv, angles}) {
            if (table[entry].given) {
                show_warning(routine, "<" + std::string(table[entry].name) +
                                          "> has been ignored: it needs <lmax>");
            }
        }
        return;
    }
    require(s.lmax >= 0 && s.lmax <= largest_lmax,
            "<lmax> must be between 0 and " + std::to_string(largest_lmax));
    require(s.energies, "<lmax> needs <energies> = true");
    require(text_is(s.solver, "fast"), "<lmax> needs <solver> = fast");
    // The partial-wave sums of a Coulomb tail do not converge.
    require(!(text_is(s.potential.pot_type, "coulomb") && s.potential.r0 <= 0.0 &&
              s.potential.alpha <= 1.0),
            "<lmax> needs a short-range potential: <coulomb> with <alpha> <= 1 needs <r0> > 0");
    if (l_kappa_given[0]) {
        show_warning(routine, "<l> has been ignored: the partial waves start at l = 0");
    }
    if (l_kappa_given[1] && text_is(s.scheme, "relativistic")) {
        show_warning(routine, "<kappa> has been ignored: the partial waves start at kappa = -1");
    }
}

void warn() {
    const RunSettings& s = sk_globals;
    if (text_is(s.basis, "gauss") && (s.projectile.e > 25.0 || (s.energies && s.eend > 25.0))) {
        show_warning(routine, "results for e>25 may be inaccurate in gaussian basis");
    }
    if ((text_is(s.scheme, "non-relativistic") && s.nend > 3000) ||
        (text_is(s.scheme, "relativistic") && s.nend > 2000)) {
        show_warning(routine, "be prepared for a long-running calculations");
    }
}

}  // namespace

void loadparams(const std::string& filename) {
    std::fputs("Loading parameters...\n", stdout);
    std::fflush(stdout);
    std::FILE* file = open_input(filename);
    if (file == nullptr) show_error(routine, "unable to open the input file");
    ParameterTable table = fresh_table();
    read_file(file, table);
    std::fclose(file);
    const std::array<bool, 2> l_kappa_given = take_partial_wave_keys(table);

    set_requirements(table);
    for (const Parameter& parameter : table) {
        if (parameter.required && !parameter.given) {
            show_error(routine,
                       "required parameter missing: <" + std::string(parameter.name) + ">");
        }
    }
    for (std::size_t i = 0; i < entry_count; ++i) {
        if (!table[i].required && !table[i].given) apply_default(static_cast<Entry>(i));
    }
    validate();
    check_partial_wave_keys(table, l_kappa_given);
    warn();

    sk_globals.v_light =
        text_is(sk_globals.vol, "finite") ? finite_light_speed : infinite_light_speed;
    std::fputs("Load complete.\n", stdout);
    std::fflush(stdout);
}

void projectile_set_k(Projectile& projectile) {
    const double c = sk_globals.v_light;
    const double energy = projectile.e;
    if (text_is(sk_globals.scheme, "relativistic")) {
        projectile.k = std::sqrt(energy * (2.0 * c * c + energy)) / c;
    } else if (text_is(sk_globals.scheme, "non-relativistic")) {
        projectile.k = std::sqrt(2.0 * energy);
    }
}

std::string convert_int_to_string(int n) {
    std::string field = format_int(n, 5);
    return field.substr(field.find_first_not_of(' '));
}

}  // namespace skarven
