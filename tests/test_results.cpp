// Guards against wrong lines, labels, widths or dates in the result-file header block.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <regex>
#include <string>
#include <vector>

#include "results.hpp"
#include "settings.hpp"
#include "test_support.hpp"

namespace skarven {
namespace {

using test::SettingsTest;

std::vector<std::string> lines_of(std::FILE* unit) {
    std::rewind(unit);
    std::vector<std::string> lines;
    std::string line;
    for (int ch; (ch = std::fgetc(unit)) != EOF;) {
        if (ch == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(static_cast<char>(ch));
        }
    }
    EXPECT_TRUE(line.empty()) << "last line not ended: \"" << line << "\"";
    return lines;
}

std::string date_now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return header_date_line(local);
}

// Header of the current settings, written between two lines of the caller's (at the current
// position, leaving the file open); the date line is checked against the clock.
std::vector<std::string> header_lines() {
    std::FILE* unit = std::tmpfile();
    EXPECT_NE(unit, nullptr);
    std::fputs("before\n", unit);
    const std::string before = date_now();
    write_header(unit);
    const std::string after = date_now();
    std::fputs("after\n", unit);
    std::vector<std::string> lines = lines_of(unit);
    std::fclose(unit);
    EXPECT_TRUE(lines.size() >= 2 && lines.front() == "before" && lines.back() == "after");
    if (lines.size() < 2) return {};
    lines = {lines.begin() + 1, lines.end() - 1};
    // The date line's layout is checked in HeaderDateLine.
    EXPECT_TRUE(lines.size() >= 2 && (lines[1] == before || lines[1] == after));
    return lines;
}

void expect_lines(const std::vector<std::string>& computed,
                  const std::vector<std::string>& expected) {
    ASSERT_EQ(computed.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (i == 1) continue;  // date line, checked in header_lines
        EXPECT_EQ(computed[i], expected[i]) << "header line " << i + 1;
    }
}

class HeaderTest : public SettingsTest {};

TEST_F(HeaderTest, CoulombPassTwoRelativistic) {
    sk_globals.pass = 2;
    sk_globals.projectile.e = 1.0;
    sk_globals.projectile.kappa = -1;
    sk_globals.estart = 0.5;
    sk_globals.eend = 2.25;
    sk_globals.estep = 0.25;
    sk_globals.lambda = 0.7;
    sk_globals.basis = padded("laguerre", 8);
    sk_globals.scheme = padded("relativistic", 16);
    sk_globals.vol = padded("finite", 8);
    sk_globals.shift = true;
    sk_globals.nstart = 10;
    sk_globals.nend = 150;
    sk_globals.potential.pot_type = padded("coulomb", 8);
    sk_globals.potential.r0 = 10.0;
    sk_globals.potential.z = -2.5;
    sk_globals.potential.alpha = 1.0;
    expect_lines(
        header_lines(),
        {"; OUTPUT FROM THE SKARVEN PROGRAM", "date", ";", "; estart   =     0.5000000000000000",
         "; eend     =     2.2500000000000000", "; estep    =     0.2500000000000000",
         "; l        =     0", "; kappa    =    -1", "; lambda   =     0.7000000000000000",
         "; basis    = laguerre", "; scheme   = relativistic    ", "; v_light  = finite  ",
         "; shift    = T", "; ntrunc   =   150", "; pot_type = coulomb ",
         "; r0       =    10.0000000000000000", "; z        =    -2.5000000000000000",
         "; alpha    =     1.0000000000000000", ";"});
}

// The labels of every type and pass, 13 columns wide; the solver line only for the fast route.
TEST_F(HeaderTest, LabelsForEveryTypeAndPass) {
    const struct {
        const char* pot_type;
        std::vector<std::string> parameters;
    } types[] = {{"well", {"v0", "a", "b"}},
                 {"coulomb", {"r0", "z", "alpha"}},
                 {"yukawa", {"r0", "g", "m"}},
                 {"user", {"r0"}}};
    static const std::regex label(R"(; ([a-z_0-9]+) *= .*)");
    for (const auto& t : types) {
        for (int pass : {1, 2}) {
            for (const char* solver : {"eigen", "fast"}) {
                sk_globals = RunSettings{};
                sk_globals.pass = pass;
                sk_globals.potential.pot_type = padded(t.pot_type, 8);
                sk_globals.solver = padded(solver, 8);
                std::vector<std::string> expected =
                    pass == 1 ? std::vector<std::string>{"energy"}
                              : std::vector<std::string>{"estart", "eend", "estep"};
                for (const char* name :
                     {"l", "kappa", "lambda", "basis", "scheme", "v_light", "shift"})
                    expected.push_back(name);
                if (std::string(solver) == "fast") expected.push_back("solver");
                if (pass == 1) {
                    expected.insert(expected.end(), {"nstart", "nend"});
                } else {
                    expected.push_back("ntrunc");
                }
                expected.push_back("pot_type");
                expected.insert(expected.end(), t.parameters.begin(), t.parameters.end());
                const std::vector<std::string> lines = header_lines();
                ASSERT_EQ(lines.size(), expected.size() + 4) << t.pot_type << " pass " << pass;
                EXPECT_EQ(lines[0], "; OUTPUT FROM THE SKARVEN PROGRAM");
                EXPECT_EQ(lines[2], ";");
                EXPECT_EQ(lines.back(), ";");
                for (std::size_t i = 0; i < expected.size(); ++i) {
                    std::smatch m;
                    const std::string& line = lines[i + 3];
                    EXPECT_TRUE(std::regex_match(line, m, label) && m[1] == expected[i] &&
                                line.substr(11, 2) == "= ")
                        << t.pot_type << " pass " << pass << ": \"" << line << "\", expected "
                        << expected[i];
                }
            }
        }
    }
}

TEST(HeaderDateLine, FieldsArePaddedWithBlanks) {
    struct Case {
        int year, month, day, hour, minute;
        const char* expected;
    };
    const Case cases[] = {{2007, 3, 5, 9, 7, "; date:  5. 3.2007  time:  9. 7"},
                          {2026, 12, 31, 23, 59, "; date: 31.12.2026  time: 23.59"},
                          {2000, 1, 10, 0, 0, "; date: 10. 1.2000  time:  0. 0"}};
    for (const Case& c : cases) {
        std::tm local{};
        local.tm_year = c.year - 1900;
        local.tm_mon = c.month - 1;
        local.tm_mday = c.day;
        local.tm_hour = c.hour;
        local.tm_min = c.minute;
        local.tm_sec = 42;
        EXPECT_EQ(header_date_line(local), c.expected);
    }
}

}  // namespace
}  // namespace skarven
