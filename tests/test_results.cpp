// Guards against wrong result-file headers, averages, RMS values and notes, and misread data.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "results.hpp"
#include "settings.hpp"
#include "settings_fixture.hpp"
#include "test_support.hpp"

namespace skarven {
namespace {

namespace fs = std::filesystem;

// The header of a Dirac Coulomb energy pass, line for line; its date line follows the clock.
using HeaderTest = test::SettingsTest;

TEST_F(HeaderTest, CoulombEnergyPass) {
    // clang-format off
    run_record = {.potential = {padded("coulomb", 8), 10.0, 0.0, 0.0, 0.0, -2.5, 1.0, 0.0, 0.0},
                  .lambda = 0.7, .projectile = {1.0, 0.0, 0, -1}, .estep = 0.25, .eend = 2.25,
                  .estart = 0.5, .nend = 150, .shift = true, .vol = padded("finite", 8),
                  .scheme = padded("relativistic", 16), .basis = padded("laguerre", 8), .pass = 2};
    // clang-format on
    std::FILE* unit = std::tmpfile();
    const std::time_t before = std::time(nullptr);
    write_header(unit);
    const std::time_t times[] = {before, std::time(nullptr)};
    std::rewind(unit);
    std::string text(8192, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), unit));
    std::fclose(unit);
    std::string expected;
    for (const char* line :
         {"; OUTPUT FROM THE SKARVEN PROGRAM", "date", ";", "; estart   =     0.5000000000000000",
          "; eend     =     2.2500000000000000", "; estep    =     0.2500000000000000",
          "; l        =     0", "; kappa    =    -1", "; lambda   =     0.7000000000000000",
          "; basis    = laguerre", "; scheme   = relativistic    ", "; v_light  = finite  ",
          "; shift    = T", "; ntrunc   =   150", "; pot_type = coulomb ",
          "; r0       =    10.0000000000000000", "; z        =    -2.5000000000000000",
          "; alpha    =     1.0000000000000000", ";"})
        expected += std::string(line) + "\n";
    for (std::time_t time : times) {
        const std::string date = header_date_line(*std::localtime(&time));
        if (text.find(date) == 34) text.replace(34, date.size(), "date");
    }
    EXPECT_EQ(text, expected);
    std::tm local{};  // the date's fields are padded with blanks
    ASSERT_NE(strptime("5.3.2007 9:07", "%d.%m.%Y %H:%M", &local), nullptr);
    EXPECT_EQ(header_date_line(local), "; date:  5. 3.2007  time:  9. 7");
}

// The energy column keeps its value where F10.6 has no room: decimals give way from 1000 on.
TEST(EnergyField, WideEnergiesKeepTheirDigits) {
    const std::pair<double, const char*> cases[] = {
        {0.5, "  0.500000"},         {999.9999994, "999.999999"}, {999.9999996, "1000.00000"},
        {1000.0, "1000.00000"},      {1500.0, "1500.00000"},      {123456.25, "123456.250"},
        {999999999.0, "999999999."}, {1e10, "**********"}};
    for (const auto& [energy, field] : cases)
        EXPECT_EQ(energy_field(energy), field) << energy;
}

// A batch of root.dcs lines goes out in writes that a kill -9 cannot cut inside a line: each
// ends at a line end and stays within one page, or is one line straddling two.
TEST(PageWrites, WholeLinesWithinOnePage) {
    std::string text;
    for (int i = 0; i < 400; ++i)  // lengths 1 ... 101 and some lines longer than a page
        text += std::string(i % 37 == 5 ? 9000 : 1 + (i * 53) % 101, 'x') + "\n";
    for (const long long offset : {0LL, 1LL, 4095LL, 4096LL, 123457LL}) {
        for (const std::size_t page : {64u, 4096u}) {
            SCOPED_TRACE(std::to_string(offset) + " " + std::to_string(page));
            const std::vector<std::size_t> ends = page_write_ends(offset, text, page);
            ASSERT_FALSE(ends.empty());
            EXPECT_EQ(ends.back(), text.size());
            std::size_t from = 0;
            for (const std::size_t to : ends) {
                ASSERT_LT(from, to);
                EXPECT_EQ(text[to - 1], '\n');
                const bool one_page = (offset + from) / page == (offset + to - 1) / page;
                const bool one_line = text.find('\n', from) == to - 1;
                EXPECT_TRUE(one_page || one_line) << from << ".." << to;
                from = to;
            }
        }
    }
    using Ends = std::vector<std::size_t>;
    EXPECT_EQ(page_write_ends(6, "ab\ncd\nef\n", 8), (Ends{3, 9}));      // straddles, then one page
    EXPECT_EQ(page_write_ends(0, "abc\ndef\nghi\n", 8), (Ends{8, 12}));  // one page each
}

const std::string numerical_marker = "; NUMERICAL RESULTS:  N   tan(delta)   delta";
constexpr double analytic_delta = 0.731005086557;

// A slowly converging run, N = 7, 9, ...; delta in each form an F26.16 read takes, and in deltas.
std::vector<std::string> synthetic_data(int count, std::vector<long double>* deltas = nullptr) {
    const char* patterns[] = {"0.#", ".#E0", "0.0#e1", "0.00#D+2", "0.0#+1",  // # the digits
                              "+.#", "#",    "#E0",    "0 . #",    "00000.#"};
    std::vector<std::string> lines;
    char n_tan[64], digits[32];
    for (int i = 0; i < count; ++i) {
        const double delta = analytic_delta + 0.05 * std::sin(0.37 * i) / (1.0 + 0.02 * i);
        std::snprintf(n_tan, 64, "%5d%26.16f", 7 + 2 * i, std::tan(delta));
        std::snprintf(digits, 32, "%.16f", delta);
        std::string form = patterns[i % 10];
        form.replace(form.find('#'), 1, digits + 2);
        lines.push_back(
            n_tan + (i % 5 == 4 ? form : std::string(26 - form.size(), ' ') + form + "  notes"));
        if (deltas) deltas->push_back(std::strtod(digits, nullptr));
    }
    return lines;
}

double field(const std::string& line, std::size_t at, std::size_t width) {
    return std::strtod(line.substr(at, width).c_str(), nullptr);
}

// Output data lines after the header (the pass-1 block of a well), each I5 followed by F26.18.
std::vector<std::string> output_data(const fs::path& path) {
    const std::vector<std::string> lines = test::file_lines(path);
    if (lines.size() < 18) return {};  // absent or cut short: the callers' counts catch it
    EXPECT_TRUE(lines[0] == "; OUTPUT FROM THE SKARVEN PROGRAM" && lines[17] == ";");
    EXPECT_EQ(lines[3].substr(0, 13), "; energy   = ");
    static const std::regex layout(R"([ -]*[0-9]+ {5,6}-?[0-9]\.[0-9]{18})");
    for (std::size_t i = 18; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].size() == 31 && std::regex_match(lines[i], layout)) << lines[i];
    return {lines.begin() + 18, lines.end()};
}

class AveragingTest : public test::SettingsTest {
  protected:
    void SetUp() override {
        test::SettingsTest::SetUp();
        run_record.pass = 1;
        run_record.potential.pot_type = padded("well", 8);
    }
    // A pass-1 file as the driver writes it; the markers match over their first hundred columns.
    void write_pass1(const std::vector<std::string>& data) const {
        std::ofstream out(root_);
        out << "; OUTPUT FROM THE SKARVEN PROGRAM\n;\n; ANALYTICAL RESULT" << std::string(81, ' ')
            << "ignored\n; delta =    0.731005086557000\n;\n"
            << numerical_marker << std::string(56, ' ') << "ignored\n";
        for (const std::string& line : data)
            out << line << "\n";
    }
    // Runs avrg or rmse and returns what it printed.
    std::string run(void (*routine)(const std::string&), const std::string& root) const {
        testing::internal::CaptureStdout();
        routine(root);
        return testing::internal::GetCapturedStdout();
    }

    test::ScratchDirectory scratch_;
    std::string root_ = (scratch_.path() / "run").string();
    fs::path avg_ = root_ + ".avg", rms_ = root_ + ".rms";
};

// Block averages and window RMS against long double; old outputs replaced, root blanks trimmed.
TEST_F(AveragingTest, AveragesAndRmsAroundTheThresholds) {
    const std::size_t cases[][3] = {
        {49, 0, 0}, {50, 1, 0}, {199, 3, 0}, {200, 4, 181}, {5000, 100, 4501}};
    for (const auto& [count, avg_count, rms_count] : cases) {  // data lines, averages, RMS lines
        SCOPED_TRACE(count);
        std::vector<long double> delta;
        std::vector<std::string> data = synthetic_data(count, &delta);
        if (count == 5000)
            data.insert(data.end(), {std::string(5, ' ') + std::string(52, '*'), "garbage"});
        write_pass1(data);
        for (const auto& [output, lines] : {std::pair(avg_, avg_count), {rms_, rms_count}})
            if (fs::remove(output); lines > 0) std::ofstream(output) << "old contents\n";
        const std::string info = " (Info: Not enough data points to ";
        EXPECT_EQ(run(write_block_averages, root_ + "   "), avg_count ? "" : info + "perform averaging.)\n");
        EXPECT_EQ(run(write_rms_errors, root_ + "   "), rms_count ? "" : info + "calculate RMS.)\n");
        EXPECT_EQ(fs::exists(avg_) + 2 * fs::exists(rms_), (avg_count > 0) + 2 * (rms_count > 0));
        const std::vector<std::string> averages = output_data(avg_), rms_lines = output_data(rms_);
        ASSERT_EQ(averages.size(), avg_count);
        for (std::size_t b = 0; b < averages.size(); ++b) {
            const long double sum = std::accumulate(&delta[50 * b], &delta[50 * b + 50], 0.0L);
            EXPECT_EQ(field(averages[b], 0, 5), field(data[50 * b + 49], 0, 5)) << b;
            EXPECT_NEAR(field(averages[b], 5, 26), static_cast<double>(sum / 50.0L), 1e-15) << b;
        }
        ASSERT_EQ(rms_lines.size(), rms_count);
        const std::size_t j0 = count / 20, m0 = count / 10;
        for (std::size_t m = m0; m < m0 + rms_lines.size(); ++m) {
            long double sum = 0.0L;
            for (std::size_t j = j0; j <= m; ++j)
                sum += (analytic_delta - delta[j - 1]) * (analytic_delta - delta[j - 1]);
            const double expected = static_cast<double>(std::sqrt(sum / (m - j0)));
            EXPECT_EQ(field(rms_lines[m - m0], 0, 5), field(data[m - 1], 0, 5)) << m;
            EXPECT_LE(test::relative_error(field(rms_lines[m - m0], 5, 26), expected), 1e-13) << m;
        }
    }
}

// Notes, warnings and files written (1: .avg, 2: .rms) for unusable files and unreadable lines.
TEST_F(AveragingTest, NotesAndWarnings) {
    std::string data;  // readable; a bad line goes before it
    for (const std::string& line : synthetic_data(250))
        data += line + "\n";
    auto warn = [](const char* routine, const std::string& text) {
        return std::string(" Warning (") + routine + "): " + text + ".\n";
    };
    const std::string top = "; OUTPUT FROM THE SKARVEN PROGRAM\n;\n",
                      marker = numerical_marker + "\n",
                      analytic = "; ANALYTICAL RESULT\n; delta =    0.731005086557000\n;\n",
                      head = top + analytic + marker, good = head + data,
                      bad = warn("avrg", "bad input file"),
                      reading = warn("rmse", "error reading data"),
                      unknown =
                          " (Info: Analytical result not known. RMS will not be calculated.)\n";
    struct Case {
        std::string what, content, avrg_said, rmse_said;  // content "-": no file
        int written;
    };
    std::vector<Case> cases = {
        {"missing input", "-", warn("avrg", "error opening the input file <" + root_ + ">"),
         warn("rmse", "error opening the input file <" + root_ + ">"), 0},
        {"no analytic block", top + marker + data, "", unknown, 1},
        {"no numerical marker", top + numerical_marker + " x\n" + data, bad, unknown, 0},
        {"blank lines after the data", good + "\n   \n\n", "", "", 3},
        {"uncreatable outputs", good,
         warn("avrg", "error opening the output file <" + avg_.string() + ">"),
         warn("rmse", "error opening the output file <" + rms_.string() + ">"), 0},
        {"ends after the analytic title", top + "; ANALYTICAL RESULT\n", bad, reading, 0},
        {"ends after the analytic block", top + analytic, bad, reading, 0},
        {"unreadable analytic value",
         top + "; ANALYTICAL RESULT\n; delta = ********************\n;\n" + marker,
         " (Info: Not enough data points to perform averaging.)\n", reading, 0}};
    // Fields too wide (Fortran's asterisks), blank, not an integer, malformed or out of range.
    const std::string line = synthetic_data(4)[3];
    std::vector<std::string> bad_lines = {
        "", line.substr(0, 5) + std::string(26, '*') + line.substr(31)};
    for (const char* n : {"*****", "     ", "  1.5"})
        bad_lines.push_back(n + line.substr(5));
    for (std::string delta :
         {"**************************", "", "1.2.3", "0.5x", "1e", "--1", "1E400"})
        bad_lines.push_back(line.substr(0, 31) + std::string(26 - delta.size(), ' ') + delta);
    for (const std::string& bad_line : bad_lines)
        cases.push_back({"bad line \"" + bad_line + "\"", head + bad_line + "\n" + data,
                         warn("avrg", "error reading data"), reading, 0});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (fs::remove(root_); c.content != "-") std::ofstream(root_) << c.content;
        for (const fs::path& output : {avg_, rms_})
            if (fs::remove_all(output); c.what == "uncreatable outputs")
                fs::create_directory(output);
        EXPECT_EQ(run(write_block_averages, root_), c.avrg_said);
        EXPECT_EQ(run(write_rms_errors, root_), c.rmse_said);
        EXPECT_EQ(fs::is_regular_file(avg_) + 2 * fs::is_regular_file(rms_), c.written);
    }
}

}  // namespace
}  // namespace skarven
