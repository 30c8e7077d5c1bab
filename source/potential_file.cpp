// The saved potential file "saved.vn.<N>" and the optional "sk.par".
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "potential.hpp"
#include "results.hpp"
#include "text_format.hpp"

namespace skarven {

namespace {

std::string saved_file_name() {
    return "saved.vn." + convert_int_to_string(sk_globals.ntrunc);
}

struct Parameters {
    std::array<double, 3> values{};
    int count = 0;
};

// The parameters that identify a potential of the given type, in file order.
Parameters parameters_of(std::string_view pot_type) {
    const PotentialParams& p = sk_globals.potential;
    if (text_is(pot_type, "well")) return {{p.v0, p.a, p.b}, 3};
    if (text_is(pot_type, "coulomb")) return {{p.z, p.alpha, p.r0}, 3};
    if (text_is(pot_type, "yukawa")) return {{p.g, p.m, p.r0}, 3};
    if (text_is(pot_type, "user")) return {{p.r0, 0.0, 0.0}, 1};
    return {};
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

std::string matrix_header_line() {
    std::string line = format_int(sk_globals.ntrunc, 5) + format_int(sk_globals.projectile.l, 5) +
                       format_int(sk_globals.projectile.kappa, 5) +
                       format_fixed(sk_globals.lambda, 5, 2) + " " + padded(sk_globals.basis, 8) +
                       " " + padded(sk_globals.scheme, 16) + " " +
                       padded(sk_globals.potential.pot_type, 8);
    Parameters parameters = parameters_of(sk_globals.potential.pot_type);
    for (int k = 0; k < parameters.count; ++k) {
        line += format_fixed(parameters.values[k], parameter_width, parameter_decimals);
    }
    return line;
}

// A real number as Fortran's F editing reads it: blanks are ignored, an all-blank field is 0,
// the exponent may start with E, D, Q or a bare sign, and without a decimal point the last
// `decimals` digits are the fraction. Anything else (asterisks, text) is unreadable.
std::optional<double> read_real(std::string_view field, int decimals) {
    std::string text;
    for (char ch : field) {
        if (ch != ' ' && ch != '\t') text += ch;
    }
    if (text.empty()) return 0.0;

    // Non-finite values are written by printf as nan / inf.
    std::string lower;
    for (char ch : text)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    std::string_view unsigned_text = lower;
    if (unsigned_text[0] == '+' || unsigned_text[0] == '-') unsigned_text.remove_prefix(1);
    if (unsigned_text == "nan" || unsigned_text == "inf" || unsigned_text == "infinity") {
        return std::strtod(lower.c_str(), nullptr);
    }

    std::size_t pos = 0;
    std::string normalized;
    if (text[pos] == '+' || text[pos] == '-') normalized += text[pos++];
    std::string integer_digits;
    std::string fraction_digits;
    bool has_point = false;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        integer_digits += text[pos++];
    }
    if (pos < text.size() && text[pos] == '.') {
        has_point = true;
        ++pos;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
            fraction_digits += text[pos++];
        }
    }
    if (integer_digits.empty() && fraction_digits.empty()) return std::nullopt;

    long exponent = 0;
    if (pos < text.size()) {
        char marker = static_cast<char>(std::toupper(static_cast<unsigned char>(text[pos])));
        if (marker == 'E' || marker == 'D' || marker == 'Q')
            ++pos;
        else if (marker != '+' && marker != '-')
            return std::nullopt;
        bool negative = false;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            negative = text[pos] == '-';
            ++pos;
        }
        if (pos == text.size()) return std::nullopt;
        while (pos < text.size()) {
            if (!std::isdigit(static_cast<unsigned char>(text[pos]))) return std::nullopt;
            // Beyond any double's range either way; stop growing.
            if (exponent < 100000) exponent = exponent * 10 + (text[pos] - '0');
            ++pos;
        }
        if (negative) exponent = -exponent;
    }
    if (!has_point) exponent -= decimals;
    normalized += integer_digits.empty() ? "0" : integer_digits;
    normalized += ".";
    normalized += fraction_digits;
    normalized += "e" + std::to_string(exponent);
    // strtod rounds correctly, so a value written with enough digits reads back bit for bit.
    return std::strtod(normalized.c_str(), nullptr);
}

// An integer as Fortran's I editing reads it: blanks ignored, all blanks = 0.
std::optional<int> read_integer(std::string_view field) {
    std::string text;
    for (char ch : field) {
        if (ch != ' ' && ch != '\t') text += ch;
    }
    if (text.empty()) return 0;
    std::size_t pos = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        pos = 1;
    }
    if (pos == text.size()) return std::nullopt;
    long long value = 0;
    for (; pos < text.size(); ++pos) {
        if (!std::isdigit(static_cast<unsigned char>(text[pos]))) return std::nullopt;
        value = value * 10 + (text[pos] - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > 2147483647LL || value < -2147483648LL) return std::nullopt;
    return static_cast<int>(value);
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
    return header;
}

// The file belongs to the current run only if every identifying setting is equal, λ and the
// parameters exactly as read back from their fixed fields.
bool matches_current_settings(const MatrixHeader& file) {
    const RunSettings& s = sk_globals;
    if (file.n != s.ntrunc) return false;
    if (file.l != s.projectile.l) return false;
    if (file.kappa != s.projectile.kappa || !text_is(file.scheme, s.scheme)) return false;
    if (file.lambda != s.lambda) return false;
    if (!text_is(file.basis, s.basis) || !text_is(file.pot_type, s.potential.pot_type)) {
        return false;
    }
    Parameters current = parameters_of(s.potential.pot_type);
    for (int k = 0; k < current.count; ++k) {
        if (file.parameters.values[k] != current.values[k]) return false;
    }
    return true;
}

// The first item of a list-directed read: blank lines are passed over, and the item ends at a
// blank, a comma or a slash.
std::optional<std::string> next_item(std::istream& in) {
    std::string line;
    while (std::getline(in, line)) {
        std::size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos) continue;
        std::size_t end = line.find_first_of(" \t\r,/", start);
        if (end == start) return std::nullopt;  // a null value or an end of list gives no number
        return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    return std::nullopt;
}

void reject(std::ifstream& in) {
    in.close();
    sk_globals.vn_file_match = false;
}

}  // namespace

// Header block, matrix header line, then the lower triangle row by row. Seventeen significant
// digits make the reloaded matrix equal to the integrated one bit for bit.
void write_vn_to_file(int dim, const double* matrix) {
    std::string name = saved_file_name();
    std::FILE* unit = std::fopen(name.c_str(), "w");
    if (unit == nullptr) {
        show_warning("write_vn_to_file", "unable to write the saved potential file");
        return;
    }
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
    written = std::ferror(unit) == 0 && written;
    written = std::fclose(unit) == 0 && written;
    if (!written) show_warning("write_vn_to_file", "unable to write the saved potential file");
}

// Every failure (no file, no matrix header line, an unreadable field, other settings, too few
// values) clears vn_file_match, so the matrix is integrated and no further load is tried.
void read_vn_from_file(int dim, double* matrix) {
    sk_globals.vn_is_loaded = false;
    std::ifstream in(saved_file_name());
    if (!in.is_open()) {
        sk_globals.vn_file_match = false;
        return;
    }

    // The header block's lines all carry ';' within their first 80 columns.
    std::string line;
    bool found = false;
    while (std::getline(in, line)) {
        if (std::string_view(line).substr(0, 80).find(';') == std::string_view::npos) {
            found = true;
            break;
        }
    }
    if (!found) return reject(in);

    std::optional<MatrixHeader> header = read_matrix_header(line);
    if (!header || !matches_current_settings(*header)) return reject(in);

    for (int i = 0; i < dim; ++i) {
        for (int j = 0; j <= i; ++j) {
            std::optional<std::string> item = next_item(in);
            std::optional<double> value = item ? read_real(*item, 0) : std::nullopt;
            if (!value) return reject(in);
            matrix[static_cast<std::size_t>(i) +
                   static_cast<std::size_t>(j) * static_cast<std::size_t>(dim)] = *value;
        }
    }
    sk_globals.vn_is_loaded = true;
    if (sk_globals.scr && sk_globals.pass == 1) {
        show_info("Elements of the truncated potential have been read from file");
    }
    in.close();
}

// The first item of "sk.par" read as an integer; no file or anything unreadable means 0.
int read_n_to_save_v() {
    std::ifstream in("sk.par");
    if (!in.is_open()) return 0;
    std::optional<std::string> item = next_item(in);
    if (!item) return 0;
    std::optional<int> value = read_integer(*item);
    return value ? *value : 0;
}

}  // namespace skarven
