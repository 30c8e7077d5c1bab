// The block averages and RMS errors: read the pass-1 file back and write root.avg and root.rms.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "results.hpp"
#include "settings.hpp"
#include "text_format.hpp"

namespace skarven {

namespace {

constexpr std::string_view numerical_marker = "; NUMERICAL RESULTS:  N   tan(delta)   delta";
constexpr std::string_view analytical_marker = "; ANALYTICAL RESULT";
constexpr std::size_t marker_width = 100;
constexpr std::size_t max_data_lines = 5000;
constexpr std::size_t block_size = 50;
constexpr std::size_t min_rms_points = 200;

// Data-line columns: N (I5), tan(delta) and delta (F26.16 each).
constexpr std::size_t n_width = 5;
constexpr std::size_t real_width = 26;
constexpr int real_decimals = 16;
constexpr std::size_t data_width = n_width + 2 * real_width;

struct DataPoint {
    int n;
    double delta;
};

bool is_marker(std::string_view line, std::string_view marker) {
    return trimmed(line.substr(0, std::min(line.size(), marker_width))) == marker;
}

// Reads lines until the marker; false when the file ends first.
bool skip_to_marker(std::istream& in, std::string_view marker) {
    std::string line;
    while (std::getline(in, line)) {
        if (is_marker(line, marker)) return true;
    }
    return false;
}

// Iw and Fw.d input as this reader takes it: blanks (not tabs) inside a field are ignored, the
// exponent is written with E, D or a bare sign, and without a point the last `decimals` digits
// are decimals. A blank field, asterisks or a value that overflows give nothing.
constexpr NumberSyntax data_field(int decimals) {
    return {.ignored = " ",
            .empty_is_zero = false,
            .implied_decimals = decimals,
            .exponent_letters = "ED",
            .sign_opens_exponent = true};
}

std::optional<int> read_integer_field(std::string_view field) {
    return parse_integer(field, data_field(0));
}

std::optional<double> read_real_field(std::string_view field, int implied_decimals) {
    return parse_real(field, data_field(implied_decimals));
}

// N and delta of a data line; tan(delta) must be readable too. A short line is padded with
// blanks as a formatted read pads it, and columns after the third field are ignored.
std::optional<DataPoint> read_data_line(std::string line) {
    if (line.size() < data_width) line.resize(data_width, ' ');
    const std::string_view text(line);
    const auto n = read_integer_field(text.substr(0, n_width));
    const auto tan_delta = read_real_field(text.substr(n_width, real_width), real_decimals);
    const auto delta =
        read_real_field(text.substr(n_width + real_width, real_width), real_decimals);
    if (!n || !tan_delta || !delta) return std::nullopt;
    return DataPoint{*n, *delta};
}

// Data lines up to the end of the file or max_data_lines lines; nothing when one is unreadable.
// Blank lines at the end of the file end the data; a blank line followed by data is unreadable.
std::optional<std::vector<DataPoint>> read_data(std::istream& in) {
    std::vector<DataPoint> points;
    std::string line;
    bool blank_seen = false;
    for (std::size_t count = 0; count < max_data_lines && std::getline(in, line); ++count) {
        if (trimmed(line).empty()) {
            blank_seen = true;
            continue;
        }
        if (blank_seen) return std::nullopt;
        const auto point = read_data_line(line);
        if (!point) return std::nullopt;
        points.push_back(*point);
    }
    return points;
}

// The analytic delta: the first number after the line's first 10 characters ("; delta = ").
std::optional<double> read_analytic_value(std::string_view line) {
    if (line.size() <= 10) return std::nullopt;
    std::string_view rest = line.substr(10);
    const std::size_t begin = rest.find_first_not_of(' ');
    if (begin == std::string_view::npos) return std::nullopt;
    rest = rest.substr(begin);
    return read_real_field(rest.substr(0, rest.find(' ')), 0);
}

// An output file that cannot be created is a warning; one that cannot be written ends the run.
bool create_output(ResultFile& file, std::string_view routine) {
    if (!file.is_open()) {
        show_warning(routine, "error opening the output file <" + file.name() + ">");
        return false;
    }
    write_header(file.unit());
    return true;
}

// The data lines of the open pass-1 file, which is then closed; nothing, with the run's warning
// or note, when a line is unreadable or there are fewer than `least`.
std::optional<std::vector<DataPoint>> read_points(std::ifstream& in, std::string_view routine,
                                                  std::size_t least, std::string_view too_few) {
    auto points = read_data(in);
    if (!points) {
        show_warning(routine, "error reading data");
        return std::nullopt;
    }
    in.close();
    if (points->size() < least) {
        show_info(too_few);
        return std::nullopt;
    }
    return points;
}

std::string result_line(int n, double value) {
    return format_int(n, 5) + format_fixed_fitting(value, 26, 18);
}

}  // namespace

// Averages delta over consecutive blocks of 50 data lines of the pass-1 file; an incomplete
// last block is dropped. Each line of root.avg carries the N of its block's last line.
void write_block_averages(const std::string& root) {
    const std::string name(trimmed(root));
    std::ifstream in(name);
    if (!in) {
        show_warning("avrg", "error opening the input file <" + name + ">");
        return;
    }
    if (!skip_to_marker(in, numerical_marker)) {
        show_warning("avrg", "bad input file");
        return;
    }
    const auto points =
        read_points(in, "avrg", block_size, "Not enough data points to perform averaging");
    if (!points) return;

    ResultFile file("avrg", name + ".avg");
    if (!create_output(file, "avrg")) return;
    for (std::size_t last = block_size; last <= points->size(); last += block_size) {
        double sum = 0.0;
        for (std::size_t i = last - block_size; i < last; ++i)
            sum += (*points)[i].delta;
        file.write_line(result_line((*points)[last - 1].n, sum / static_cast<double>(block_size)));
    }
    file.close();
}

// RMS deviation of delta from the analytic value over a growing window of data lines
// j0..m (1-based, j0 = P/20, m = P/10 .. P). The divisor is m - j0, one less than the number
// of terms; the sum grows term by term in the same order as a fresh sum would.
void write_rms_errors(const std::string& root) {
    const std::string name(trimmed(root));
    std::ifstream in(name);
    if (!in) {
        show_warning("rmse", "error opening the input file <" + name + ">");
        return;
    }
    if (!skip_to_marker(in, analytical_marker)) {
        show_info("Analytical result not known. RMS will not be calculated");
        return;
    }
    // The value line, then ";" and the numerical-results line before the data.
    std::string line;
    std::optional<double> analytic;
    if (std::getline(in, line)) analytic = read_analytic_value(line);
    if (!analytic || !std::getline(in, line) || !std::getline(in, line)) {
        show_warning("rmse", "error reading data");
        return;
    }
    const auto points =
        read_points(in, "rmse", min_rms_points, "Not enough data points to calculate RMS");
    if (!points) return;

    ResultFile file("rmse", name + ".rms");
    if (!create_output(file, "rmse")) return;
    const std::size_t count = points->size();
    const std::size_t j0 = count / 20;
    const std::size_t m0 = count / 10;
    auto square_deviation = [&](std::size_t line_number) {
        const double d = *analytic - (*points)[line_number - 1].delta;
        return d * d;
    };
    double sum = 0.0;
    for (std::size_t j = j0; j < m0; ++j)
        sum += square_deviation(j);
    for (std::size_t m = m0; m <= count; ++m) {
        sum += square_deviation(m);
        const double rms = std::sqrt(sum / static_cast<double>(m - j0));
        file.write_line(result_line((*points)[m - 1].n, rms));
    }
    file.close();
}

}  // namespace skarven
