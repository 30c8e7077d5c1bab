// The parameter-file loader: reading, conditional requirements, defaults, validation.
#include <sys/stat.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
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

// Converts the value item into the key's field, or ends the run.
void store_value(const Parameter& parameter, std::string_view value) {
    // Blanks around a number or a boolean (possible inside quotes) are not part of it.
    const std::string_view number = without_blanks(value);
    bool converted = true;
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
        *std::get<std::string*>(parameter.field) = padded(trimmed(value), parameter.text_width);
    }
    if (!converted) {
        show_error(routine, "incorrect value for <" + std::string(parameter.name) + ">");
    }
}

// A line as a report shows it: control characters in caret notation (a tab as ^I), trailing
// blanks dropped, and cut after 120 characters.
std::string shown(std::string_view line) {
    constexpr std::size_t shown_width = 120;
    line = trimmed(line);
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

// A line is read from its 80-column record: key, separator and value, each cut to 44
// characters, the rest ignored. Any line that is not exactly "key = value" is reported: one
// that cannot be read is ignored, one read in part (an extra item, a separator longer than
// "=", an item cut at column 80 or at 44 characters) is used as read.
void read_line(std::string_view record, std::string_view line, int number, ParameterTable& table) {
    if (is_comment(record)) return;
    std::array<std::string, 4> items;
    const int count = split_items(record, items, 3, item_width);
    auto not_understood = [&](const std::string& outcome) {
        show_warning(routine, "line " + std::to_string(number) + " not understood: <" +
                                  shown(line) + "> " + outcome);
    };
    if (count < 3 || items[1].empty() || items[1][0] != '=') {
        if (!is_blank(line)) not_understood("has been ignored");
        return;
    }
    const std::string& key = items[0];
    const std::string& value = items[2];
    for (std::size_t i = 0; i < entry_count; ++i) {
        if (trimmed(key) == table[i].name) {
            std::array<std::string, 4> whole;
            const bool exact = items[1] == "=" &&
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
    show_warning(routine, "unknown parameter <" + std::string(trimmed(key)) + "> = <" +
                              std::string(trimmed(value)) + "> " + "has been ignored");
}

// Reads records of 80 columns: longer lines are cut, shorter ones blank-filled. Any byte is
// an ordinary character; a carriage return before the line feed belongs to the line end. The
// whole line is kept for the reports.
void read_file(std::FILE* file, ParameterTable& table) {
    std::string line;
    bool at_end = false;
    for (int number = 1; !at_end; ++number) {
        line.clear();
        int ch;
        while ((ch = std::getc(file)) != EOF && ch != '\n') {
            line.push_back(static_cast<char>(ch));
        }
        at_end = ch == EOF;
        if (at_end && line.empty()) break;
        if (ch == '\n' && !line.empty() && line.back() == '\r') line.pop_back();
        std::string record = line.substr(0, record_width);
        record.resize(record_width, ' ');
        read_line(record, line, number, table);
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
    if (relativistic_scheme()) table[kappa].required = true;
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

// ---- Ranges the numerics can carry -----------------------------------------------------------

// lambda and 1/lambda stay below this, so that with the basis growth below no product the method
// forms leaves the range of a double.
constexpr double largest_magnitude = 1e20;
// Potential strengths relative to the basis's kinetic scale lambda^2: beyond, the free matrix
// drowns in the rounding of the potential and the two routes part by more than 1e-5.
constexpr double largest_relative_strength = 1e10;
// (k/lambda)^2 in the Laguerre basis: beyond, the kinetic part of the free matrix is below the
// rounding of its energy part.
constexpr double largest_laguerre_q2 = 1e15;
// ln 1e250: the unnormalised basis grows with the index like (n + 2l + 1)!/n! (Laguerre) or
// Gamma(n + l + 3/2)/n! (oscillator); at the first index outside the largest basis it stays below
// 1e250.
constexpr double largest_log_growth = 575.6462732485114;
// The factorial table ends at 170! and the gamma function at 171.
constexpr int largest_factorial = 170;
// (k/lambda)^2 up to which the oscillator basis's free solutions are carried.
constexpr double largest_oscillator_q2 = 2000.0;
// The Yukawa decay rate per unit of the basis scale: beyond it the potential is far narrower than
// anything the basis resolves, and the quadrature panels, sized by that rate, grow in proportion.
constexpr double largest_decay_ratio = 100.0;
// Energies of one energy pass, and the smallest step relative to the last energy (successive
// energies then differ by many units in the last place).
constexpr double largest_energy_count = 1e6;
constexpr double smallest_relative_step = 1e-12;
// A Coulomb power below this grows past the range of a double across the basis.
constexpr double smallest_power = -20.0;

// ln of the largest basis-growth factor of the run (index nend + 1).
double log_basis_growth(int l) {
    const double n = sk_globals.nend + 1.0;
    if (text_is(sk_globals.basis, "laguerre"))
        return std::lgamma(n + 2.0 * l + 2.0) - std::lgamma(n + 1.0);
    return std::lgamma(n + l + 1.5) - std::lgamma(n + 1.0);
}

bool l_in_range(int l) {
    if (l < 0 || l > 1000) return false;
    if (text_is(sk_globals.basis, "laguerre") && 2 * l + 2 > largest_factorial) return false;
    if (text_is(sk_globals.basis, "gauss") && l + 2.5 > largest_factorial) return false;
    return log_basis_growth(l) <= largest_log_growth;
}

// (k/lambda)^2 at energy e.
double scaled_wave_number_squared(double e) {
    double k2 = 2.0 * e;
    if (relativistic_scheme()) {
        const double c =
            text_is(sk_globals.vol, "finite") ? finite_light_speed : infinite_light_speed;
        k2 = e * (2.0 * c * c + e) / (c * c);
    }
    return k2 / (sk_globals.lambda * sk_globals.lambda);
}

// lambda |r| beyond which every basis function of the run has fallen below e^-700 of its largest
// value: twice the turning point of the highest function plus a decay length (the Laguerre
// functions fall at least like e^-(3x/8) beyond, the oscillator ones like e^-(3x^2/8)).
double basis_reach() {
    const double n = sk_globals.nend + 1.0;
    const int l = sk_globals.projectile.l;
    if (text_is(sk_globals.basis, "laguerre")) return 2.0 * (4.0 * n + 4.0 * l + 8.0) + 3000.0;
    return std::sqrt(4.0 * (4.0 * n + 2.0 * l + 7.0) + 2000.0);
}

// A power singularity r^-p at the origin is integrable against the basis functions when
// p < 2l + 3 (first component, like r^(l+1)), and in the Dirac scheme p < 2l + 1 for the second
// component (like r^l), or p < 2l + 3 when kappa = -(l + 1) cancels its leading term.
bool singularity_integrable(double p) {
    const int l = sk_globals.projectile.l;
    if (!(p < 2.0 * l + 3.0)) return false;
    if (!relativistic_scheme() || sk_globals.projectile.kappa == -(l + 1)) return true;
    return p < 2.0 * l + 1.0;
}

// Settings the method cannot represent in double precision end the run here rather than as a
// hang, an internal check or numbers that are not numbers.
void validate_ranges() {
    const RunSettings& s = sk_globals;
    const PotentialParams& p = s.potential;
    auto require = [](bool holds, std::string_view message) {
        if (!holds) show_error(routine, message);
    };
    require(l_in_range(s.projectile.l), "<l> is out of range");
    require(s.lambda <= largest_magnitude && s.lambda >= 1.0 / largest_magnitude,
            "<lambda> is out of range");
    const bool gauss = text_is(s.basis, "gauss");
    auto energy_fits = [gauss](double e) {
        const double q2 = scaled_wave_number_squared(e);
        return gauss ? q2 <= largest_oscillator_q2 : q2 <= largest_laguerre_q2;
    };
    const std::string_view basis_note = gauss ? " in gaussian basis" : "";
    require(energy_fits(s.projectile.e), "<e> is too large for <lambda>" + std::string(basis_note));
    if (s.energies) {
        const double steps = (s.eend - s.estart) / s.estep;
        // The energy count is the integer part of steps + 1.1.
        require(steps + 1.1 < largest_energy_count + 1.0 &&
                    (s.estart == s.eend || s.estep >= smallest_relative_step * s.eend),
                "<estep> is too small for the energy range");
        // The last energy may lie up to a tenth of a step above eend.
        const double last = s.estart + (static_cast<int>(steps + 1.1) - 1) * s.estep;
        require(energy_fits(last), "<eend> is too large for <lambda>" + std::string(basis_note));
    }
    const std::string& type = p.pot_type;
    // A strength relative to lambda^2: v0, z lambda^alpha, g^2 lambda.
    auto strength_fits = [&s](double strength, double lambda_power) {
        if (strength == 0.0) return true;
        return std::log(std::fabs(strength)) + (lambda_power - 2.0) * std::log(s.lambda) <=
               std::log(largest_relative_strength);
    };
    if (text_is(type, "well")) {
        require(strength_fits(p.v0, 0.0), "<v0> is out of range");
        require(s.lambda * std::fabs(p.a) <= basis_reach(),
                "<a> lies beyond the reach of the basis");
    } else if (text_is(type, "coulomb")) {
        require(p.alpha >= smallest_power && singularity_integrable(p.alpha),
                "<alpha> is out of range");
        require(strength_fits(p.z, p.alpha), "<z> is out of range");
    } else if (text_is(type, "yukawa")) {
        require(strength_fits(p.g * p.g, 1.0), "<g> is out of range");
        require(p.m <= largest_decay_ratio * s.lambda, "<m> is out of range");
        require(singularity_integrable(1.0), "<kappa> is out of range");
    }
}

// The checks are written so that a comparison with a value that is not a number fails.
void validate() {
    const RunSettings& s = sk_globals;
    const bool relativistic = relativistic_scheme();
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
    validate_ranges();
}

// A partial-wave run starts at l = 0 (kappa = -1 in the Dirac scheme): the l and kappa of the
// file are not needed and, when given, not used. Returns which of the two were given.
std::array<bool, 2> take_partial_wave_keys(ParameterTable& table) {
    const std::array<bool, 2> given{table[l].given, table[kappa].given};
    if (!table[lmax].given) return given;
    sk_globals.projectile.l = 0;
    sk_globals.projectile.kappa = relativistic_scheme() ? -1 : 0;
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
    // The highest wave meets the same limits of the basis as a one-wave run at that l.
    require(l_in_range(s.lmax), "<lmax> is out of range");
    require(s.energies, "<lmax> needs <energies> = true");
    require(text_is(s.solver, "fast"), "<lmax> needs <solver> = fast");
    // The partial-wave sums of a Coulomb tail do not converge.
    require(!(text_is(s.potential.pot_type, "coulomb") && s.potential.r0 <= 0.0 &&
              s.potential.alpha <= 1.0),
            "<lmax> needs a short-range potential: <coulomb> with <alpha> <= 1 needs <r0> > 0");
    if (l_kappa_given[0]) {
        show_warning(routine, "<l> has been ignored: the partial waves start at l = 0");
    }
    if (l_kappa_given[1] && relativistic_scheme()) {
        show_warning(routine, "<kappa> has been ignored: the partial waves start at kappa = -1");
    }
}

void warn() {
    const RunSettings& s = sk_globals;
    if (text_is(s.basis, "gauss") && (s.projectile.e > 25.0 || (s.energies && s.eend > 25.0))) {
        show_warning(routine, "results for e>25 may be inaccurate in gaussian basis");
    }
    if ((text_is(s.scheme, "non-relativistic") && s.nend > 3000) ||
        (relativistic_scheme() && s.nend > 2000)) {
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
    if (relativistic_scheme()) {
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
