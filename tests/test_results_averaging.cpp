// Guards against wrong averages and RMS values, misread data and wrong notes from avrg, rmse.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "results.hpp"
#include "settings.hpp"
#include "test_support.hpp"

namespace skarven {
namespace {

namespace fs = std::filesystem;

constexpr const char* numerical_marker = "; NUMERICAL RESULTS:  N   tan(delta)   delta";
constexpr double analytic_delta = 0.731005086557;

// Data line number i (0-based) of a smooth, slowly converging synthetic run.
std::string synthetic_line(int n, int i) {
    const double delta = analytic_delta + 0.05 * std::sin(0.37 * i) / (1.0 + 0.02 * i);
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%5d%26.16f%26.16f", n, std::tan(delta), delta);
    return buffer;
}

// N runs 7, 9, 11, ... so that the file's N (not the line number) must be echoed.
std::vector<std::string> synthetic_data(int count) {
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i)
        lines.push_back(synthetic_line(7 + 2 * i, i));
    return lines;
}

// Output data lines after the header; the header must be the pass-1 block of a well.
std::vector<std::string> output_data(const fs::path& path) {
    const std::vector<std::string> lines = test::file_lines(path);
    constexpr std::size_t header_size = 18;
    EXPECT_GE(lines.size(), header_size) << path;
    if (lines.size() < header_size) return {};
    EXPECT_EQ(lines.front(), "; OUTPUT FROM THE SKARVEN PROGRAM");
    EXPECT_EQ(lines[3].substr(0, 13), "; energy   = ");
    EXPECT_EQ(lines[header_size - 1], ";");
    return {lines.begin() + header_size, lines.end()};
}

struct OutputLine {
    int n;
    double value;
};

// I5 followed by F26.18.
OutputLine parse_output_line(const std::string& line) {
    static const std::regex layout(R"([ -]*[0-9]+ *-?[0-9]\.[0-9]{18})");
    EXPECT_TRUE(line.size() == 31 && std::regex_match(line, layout) &&
                line.find_first_not_of(' ', 5) == 31 - 20u)
        << "\"" << line << "\"";
    return {std::atoi(line.substr(0, 5).c_str()), std::strtod(line.substr(5).c_str(), nullptr)};
}

double file_delta(const std::string& data_line) {
    return std::strtod(data_line.substr(31, 26).c_str(), nullptr);
}
int file_n(const std::string& data_line) {
    return std::atoi(data_line.substr(0, 5).c_str());
}

class AveragingTest : public test::SettingsTest {
  protected:
    void SetUp() override {
        test::SettingsTest::SetUp();
        sk_globals.pass = 1;
        sk_globals.potential.pot_type = padded("well", 8);
    }

    // A pass-1 file as the driver writes it: a few header lines, the analytic block, the
    // numerical marker and the data lines.
    void write_pass1(const std::vector<std::string>& data,
                     const std::string& analytic = "; delta =    0.731005086557000") const {
        std::ofstream out(root_);
        out << "; OUTPUT FROM THE SKARVEN PROGRAM\n; date:  5. 3.2007  time:  9. 7\n;\n"
            << "; ANALYTICAL RESULT\n"
            << analytic << "\n;\n"
            << numerical_marker << "\n";
        for (const std::string& line : data)
            out << line << "\n";
    }

    // Runs avrg or rmse and returns what it printed.
    std::string run(void (*routine)(const std::string&), const std::string& root) const {
        testing::internal::CaptureStdout();
        routine(root);
        return testing::internal::GetCapturedStdout();
    }

    fs::path avg() const { return root_ + ".avg"; }
    fs::path rms() const { return root_ + ".rms"; }

    test::ScratchDirectory scratch_;
    std::string root_ = (scratch_.path() / "run").string();
};

// Block averages in long double, compared with the written F26.18 values.
void expect_averages(const std::vector<std::string>& data, const std::vector<std::string>& out) {
    ASSERT_EQ(out.size(), std::min<std::size_t>(data.size(), 5000) / 50);
    for (std::size_t b = 0; b < out.size(); ++b) {
        long double sum = 0.0L;
        for (std::size_t i = 50 * b; i < 50 * (b + 1); ++i)
            sum += file_delta(data[i]);
        const double expected = static_cast<double>(sum / 50.0L);
        const OutputLine line = parse_output_line(out[b]);
        EXPECT_EQ(line.n, file_n(data[50 * b + 49])) << "block " << b + 1;
        EXPECT_NEAR(line.value, expected, 1e-15) << "block " << b + 1;
    }
}

// Growing-window RMS recomputed term by term in long double for every window.
void expect_rms(const std::vector<std::string>& data, double analytic,
                const std::vector<std::string>& out) {
    const std::size_t p = std::min<std::size_t>(data.size(), 5000);
    const std::size_t j0 = p / 20, m0 = p / 10;
    ASSERT_EQ(out.size(), p - m0 + 1);
    std::vector<long double> squares(p + 1, 0.0L);
    for (std::size_t j = 1; j <= p; ++j) {
        const long double d = static_cast<long double>(analytic) - file_delta(data[j - 1]);
        squares[j] = d * d;
    }
    // Sum from the far end so the rounding differs from the routine's.
    long double suffix = 0.0L;
    std::vector<long double> suffix_from(p + 2, 0.0L);
    for (std::size_t j = p; j >= 1; --j)
        suffix_from[j] = suffix += squares[j];
    for (std::size_t m = m0; m <= p; ++m) {
        const long double s = suffix_from[j0] - suffix_from[m + 1];
        const double expected = static_cast<double>(std::sqrt(s / (m - j0)));
        const OutputLine line = parse_output_line(out[m - m0]);
        EXPECT_EQ(line.n, file_n(data[m - 1])) << "m = " << m;
        EXPECT_LE(test::relative_error(line.value, expected), 1e-13) << "m = " << m;
    }
}

TEST_F(AveragingTest, DataSizesAroundTheThresholds) {
    struct Case {
        int lines;
        std::size_t avg_lines;
        std::size_t rms_lines;
    };
    const Case cases[] = {{49, 0, 0}, {50, 1, 0}, {199, 3, 0}, {200, 4, 181}, {321, 6, 290}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lines << " data lines");
        fs::remove(avg());
        fs::remove(rms());
        const std::vector<std::string> data = synthetic_data(c.lines);
        write_pass1(data);

        EXPECT_EQ(run(avrg, root_), c.avg_lines == 0
                                        ? " (Info: Not enough data points to perform averaging.)\n"
                                        : "");
        EXPECT_EQ(run(rmse, root_),
                  c.rms_lines == 0 ? " (Info: Not enough data points to calculate RMS.)\n" : "");
        EXPECT_EQ(fs::exists(avg()), c.avg_lines > 0);
        EXPECT_EQ(fs::exists(rms()), c.rms_lines > 0);
        // expect_averages and expect_rms check the line counts too.
        if (c.avg_lines > 0) expect_averages(data, output_data(avg()));
        if (c.rms_lines > 0) expect_rms(data, analytic_delta, output_data(rms()));
    }
}

// 200 lines: the first RMS line covers lines 10..20, eleven terms over a divisor of 10.
TEST_F(AveragingTest, FirstRmsWindowHasElevenTermsOverTen) {
    std::vector<std::string> data = synthetic_data(200);
    // Deviation 0.001 on lines 10..20 only: RMS = sqrt(11e-6 / 10).
    for (int i = 0; i < 200; ++i) {
        const bool in_window = i + 1 >= 10 && i + 1 <= 20;
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, "%5d%26.16f%26.16f", i + 1, 1.0,
                      in_window ? 0.25 + 0.001 : 0.25);
        data[i] = buffer;
    }
    write_pass1(data, "; delta =    0.250000000000000");
    EXPECT_EQ(run(rmse, root_), "");
    const std::vector<std::string> out = output_data(rms());
    ASSERT_EQ(out.size(), 181u);
    const OutputLine first = parse_output_line(out.front());
    EXPECT_EQ(first.n, 20);
    EXPECT_NEAR(first.value, std::sqrt(11e-6 / 10.0), 1e-15);
    const OutputLine last = parse_output_line(out.back());
    EXPECT_EQ(last.n, 200);
    EXPECT_NEAR(last.value, std::sqrt(11e-6 / 190.0), 1e-15);
}

// Lines after the 5000th are not read, so a bad line there is never seen.
TEST_F(AveragingTest, ReadsAtMost5000DataLines) {
    std::vector<std::string> data = synthetic_data(5000);
    data.push_back(std::string(5, ' ') + std::string(52, '*'));
    data.push_back("garbage");
    write_pass1(data);
    EXPECT_EQ(run(avrg, root_), "");
    EXPECT_EQ(run(rmse, root_), "");
    expect_averages(data, output_data(avg()));             // 100 lines
    expect_rms(data, analytic_delta, output_data(rms()));  // 4501 lines
}

// Fields are read as a formatted (I5, 2F26.16) read reads them: blanks ignored, exponents with
// E, D or a bare sign, implied decimals without a point, short lines padded, extra columns
// ignored.
TEST_F(AveragingTest, FieldsReadLikeAFormattedRead) {
    const std::vector<std::string> delta_forms = {
        "0.731005086557",    "7.31005086557E-1",  "7.31005086557e-01", "73.1005086557D-2",
        "0.0731005086557+1", "+.731005086557",    "7310050865570000",  "731005086557E4",
        "0.731 005 086 557", "00000.731005086557"};
    std::vector<std::string> data;
    for (int i = 0; i < 50; ++i) {
        const std::string& form = delta_forms[i % delta_forms.size()];
        std::string line = "  " + std::to_string(100 + i) + std::string(19, ' ') + "9.1E+07";
        if (i % 5 == 4) {
            line += form;  // left-aligned and short: padded with blanks
        } else {
            line += std::string(26 - form.size(), ' ') + form + "  trailing notes";
        }
        data.push_back(line);
    }
    write_pass1(data);
    EXPECT_EQ(run(avrg, root_), "");
    const std::vector<std::string> out = output_data(avg());
    ASSERT_EQ(out.size(), 1u);
    const OutputLine line = parse_output_line(out[0]);
    EXPECT_EQ(line.n, 149);
    EXPECT_NEAR(line.value, analytic_delta, 1e-15);
}

TEST_F(AveragingTest, UnreadableDataLineStopsBothRoutines) {
    const std::string good = synthetic_line(11, 3);
    const std::vector<std::string> bad_lines = {
        good.substr(0, 5) + std::string(26, '*') + good.substr(31),  // tan(delta) too wide
        good.substr(0, 31) + std::string(26, '*'),                   // delta too wide
        "*****" + good.substr(5),                                    // N too wide
        good.substr(0, 31),                                          // delta field blank
        "     " + good.substr(5),                                    // N field blank
        "  1.5" + good.substr(5),                                    // N not an integer
        good.substr(0, 31) + std::string(21, ' ') + "1.2.3",
        good.substr(0, 31) + std::string(22, ' ') + "0.5x",
        good.substr(0, 31) + std::string(24, ' ') + "1e",
        good.substr(0, 31) + std::string(23, ' ') + "--1",
        good.substr(0, 31) + std::string(21, ' ') + "1E400",
        "",  // a blank line with data after it
    };
    for (const std::string& bad : bad_lines) {
        SCOPED_TRACE("bad line \"" + bad + "\"");
        std::vector<std::string> data = synthetic_data(250);
        data[9] = bad;
        write_pass1(data);
        EXPECT_EQ(run(avrg, root_), " Warning (avrg): error reading data.\n");
        EXPECT_FALSE(fs::exists(avg()));
        EXPECT_EQ(run(rmse, root_), " Warning (rmse): error reading data.\n");
        EXPECT_FALSE(fs::exists(rms()));
    }
}

// Files that give no averages or no RMS: what each routine says and which files it writes.
TEST_F(AveragingTest, NotesAndWarnings) {
    std::string data;
    for (const std::string& line : synthetic_data(300))
        data += line + "\n";
    const std::string header = "; OUTPUT FROM THE SKARVEN PROGRAM\n;\n";
    const std::string analytic = "; ANALYTICAL RESULT\n; delta =    0.731005086557000\n;\n";
    const std::string marker = std::string(numerical_marker) + "\n";
    const std::string reading = " Warning (rmse): error reading data.\n";
    const struct {
        const char* what;
        std::string content;  // "-": no file
        bool outputs_are_directories;
        std::string avrg_said, rmse_said;
        bool avg_written, rms_written;
    } cases[] = {
        {"missing input", "-", false, " Warning (avrg): error opening the input file.\n",
         " Warning (rmse): error opening the input file.\n", false, false},
        {"no analytic block", header + marker + data, false, "",
         " (Info: Analytical result not known. RMS will not be calculated.)\n", true, false},
        {"no numerical marker", header + marker.substr(0, 44) + " x\n" + data, false,
         " Warning (avrg): bad input file.\n",
         " (Info: Analytical result not known. RMS will not be calculated.)\n", false, false},
        {"blank lines after the data", header + analytic + marker + data + "\n   \n\n", false, "",
         "", true, true},
        {"uncreatable outputs", header + analytic + marker + data, true,
         " Warning (avrg): error opening the output file.\n",
         " Warning (rmse): error opening the output file.\n", false, false},
        {"ends after the analytic title", header + "; ANALYTICAL RESULT\n", false,
         " Warning (avrg): bad input file.\n", reading, false, false},
        {"ends after the analytic value", header + analytic.substr(0, 51), false,
         " Warning (avrg): bad input file.\n", reading, false, false},
        {"ends after the analytic block", header + analytic, false,
         " Warning (avrg): bad input file.\n", reading, false, false},
        {"unreadable analytic value",
         header + "; ANALYTICAL RESULT\n; delta = ********************\n;\n" + marker, false,
         " (Info: Not enough data points to perform averaging.)\n", reading, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(avg());
        fs::remove_all(rms());
        fs::remove(root_);
        if (c.content != "-") std::ofstream(root_) << c.content;
        if (c.outputs_are_directories) {
            fs::create_directory(avg());
            fs::create_directory(rms());
        }
        EXPECT_EQ(run(avrg, root_), c.avrg_said);
        EXPECT_EQ(run(rmse, root_), c.rmse_said);
        EXPECT_EQ(fs::is_regular_file(avg()), c.avg_written);
        EXPECT_EQ(fs::is_regular_file(rms()), c.rms_written);
    }
}

// Markers match over their first hundred columns; old outputs are replaced; the root loses its
// trailing blanks.
TEST_F(AveragingTest, LongMarkersOldOutputsAndTrailingBlanks) {
    const std::vector<std::string> data = synthetic_data(200);
    {
        std::ofstream out(root_);
        out << "; ANALYTICAL RESULT" << std::string(81, ' ') << "ignored\n"
            << "; delta =    0.731005086557000\n;\n"
            << numerical_marker << std::string(100 - 44, ' ') << "ignored too\n";
        for (const std::string& line : data)
            out << line << "\n";
    }
    std::ofstream(avg()) << "old contents\n";
    std::ofstream(rms()) << "old contents\n";
    EXPECT_EQ(run(avrg, root_ + "   "), "");
    EXPECT_EQ(run(rmse, root_ + "   "), "");
    expect_averages(data, output_data(avg()));
    expect_rms(data, analytic_delta, output_data(rms()));
}

}  // namespace
}  // namespace skarven
