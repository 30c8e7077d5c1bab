// Guards against misread parameter-file lines: records, comments, quoting and value grammars.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "settings.hpp"
#include "settings_files.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

using LoaderSyntax = SettingsTest;

std::string unknown(const std::string& key, const std::string& value) {
    return warning_line("unknown parameter <" + key + "> = <" + value + "> has been ignored");
}

// The reports of a line (line 7, after the minimal file) that is not exactly "key = value".
std::string ignored(const std::string& text) {
    return warning_line("line 7 not understood: <" + text + "> has been ignored");
}
std::string read_as(const std::string& text, const std::string& value) {
    return warning_line("line 7 not understood: <" + text + "> has been read as <e> = <" + value +
                        ">");
}

TEST_F(LoaderSyntax, FileNames) {
    EXPECT_EQ(load(minimal_with()), std::string(load_start) + std::string(load_end));
    for (const char* name : {"/nonexistent/sk.inp", "/tmp", ""})
        EXPECT_FATAL(loadparams(name), load_error("unable to open the input file"));
    // Trailing blanks of the name are ignored.
    ParamFile file(minimal_with({"e = 3.5"}));
    testing::internal::CaptureStdout();
    loadparams(file.path() + "   ");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(sk_globals.projectile.e, 3.5);
}

// Each line follows the minimal file, whose e is 1.0; `e` is what the line leaves in e, `output`
// what is printed between the two progress lines.
TEST_F(LoaderSyntax, RecordsItemsQuotesAndKeys) {
    const std::string padded_key = "'e" + std::string(43, ' ') + "x'";  // cut after 44 characters
    const struct {
        std::string line;
        double e;
        std::string output;
    } cases[] = {
        // Comment markers count only in column one.
        {";e = 5", 1.0, ""},
        {"#e = 5", 1.0, ""},
        {"%e = 5", 1.0, ""},
        {"//e = 5", 1.0, ""},
        {"/e = 5", 1.0, unknown("/e", "5")},
        {" #e = 5", 1.0, unknown("#e", "5")},
        {"e = 5 ; comment", 5.0, read_as("e = 5 ; comment", "5")},
        // Items are separated by blanks or commas; anything after the third item, or a separator
        // that only begins with "=", is read and reported.
        {"   e   =   2.5", 2.5, ""},
        {"e,=,2.5", 2.5, ""},
        {",, e ,, = ,, 2.5 ,,", 2.5, ""},
        {"e = 2.5 and anything after the third item", 2.5,
         read_as("e = 2.5 and anything after the third item", "2.5")},
        {"e = 2,5", 2.0, read_as("e = 2,5", "2")},
        {"e => 2.5", 2.5, read_as("e => 2.5", "2.5")},
        {"e == 2.5", 2.5, read_as("e == 2.5", "2.5")},
        // Fewer than three items, a separator not starting with "=", a tab: skipped and reported
        // (control characters in caret notation); blank lines are silent.
        {"e=2.5", 1.0, ignored("e=2.5")},
        {"e =2.5", 1.0, ignored("e =2.5")},
        {"e= 2.5", 1.0, ignored("e= 2.5")},
        {"e =", 1.0, ignored("e =")},
        {"", 1.0, ""},
        {" \t ", 1.0, ""},
        {",,", 1.0, ignored(",,")},
        {"e : 2.5", 1.0, ignored("e : 2.5")},
        {"e := 2.5", 1.0, ignored("e := 2.5")},
        {"e 2.5 = 3", 1.0, ignored("e 2.5 = 3")},
        {"e\t=\t2.5", 1.0, ignored("e^I=^I2.5")},
        // Quotes hold blanks and commas; an unclosed quote runs to the end of the record.
        {"'e' '=' '2.5'", 2.5, ""},
        {"\"e\" \"=\" \"2.5\"", 2.5, ""},
        {"e = ' 2.5 '", 2.5, ""},
        {"e = '2.5'junk", 2.5, read_as("e = '2.5'junk", "2.5")},
        {"xyz = 'a b,c'", 1.0, unknown("xyz", "a b,c")},
        {"xyz = \"it's\"", 1.0, unknown("xyz", "it's")},
        {"xyz = 'open", 1.0, unknown("xyz", "open")},
        {"'e ' = 2.5", 2.5, ""},
        {"' e' = 2.5", 1.0, unknown(" e", "2.5")},
        // Items are cut to 44 characters.
        {"xyz = " + std::string(50, 'v'), 1.0, unknown("xyz", std::string(44, 'v'))},
        {padded_key + " = 2.5", 2.5, read_as(padded_key + " = 2.5", "2.5")},
        // Records are 80 columns: "=" in column 77 and the value in 79-80; "=" in column 80.
        {"e" + std::string(75, ' ') + "= 257", 25.0,
         read_as("e" + std::string(75, ' ') + "= 257", "25")},
        {"e" + std::string(78, ' ') + "= 2.5", 1.0, ignored("e" + std::string(78, ' ') + "= 2.5")},
        // Reports show at most 120 characters of a line.
        {"e = 3.5 " + std::string(10000, 'x'), 3.5,
         read_as("e = 3.5 " + std::string(112, 'x') + "...", "3.5")},
        {std::string(10000, ' ') + "e = 3.5", 1.0, ignored(std::string(120, ' ') + "...")},
        // Keys are exact and case-sensitive.
        {"E = 2.0", 1.0, unknown("E", "2.0")},
        {"xyz = '3   '", 1.0, unknown("xyz", "3")},
        {"ee = 2.0", 1.0, unknown("ee", "2.0")},
        {"cl\xc3\xa9 = 1", 1.0, unknown("cl\xc3\xa9", "1")}};
    for (const auto& c : cases) {
        sk_globals = RunSettings{};
        const std::string out = load(minimal_with({c.line}));
        EXPECT_EQ(sk_globals.projectile.e, c.e) << "line [" << c.line << "]";
        EXPECT_EQ(out, std::string(load_start) + c.output + std::string(load_end)) << c.line;
    }
    // 44 characters of zero; the digits after them are cut.
    EXPECT_LOAD_ERROR(minimal_with({"e = 0." + std::string(42, '0') + "25"}),
                      "<e> must be positive");
    EXPECT_LOAD_ERROR(minimal_with({"e = \"2.5, or so\" 7"}), "incorrect value for <e>");
    EXPECT_LOAD_ERROR(minimal_with({"e = ''"}), "incorrect value for <e>");
}

TEST_F(LoaderSyntax, LineEndsTheLastLineAndRepeatedKeys) {
    std::string crlf;
    for (const std::string& line : minimal_lines)
        crlf += line + "\r\n";
    load(crlf);
    EXPECT_EQ(sk_globals.basis, "laguerre");
    EXPECT_EQ(sk_globals.scheme, "non-relativistic");
    load(minimal_with({"e = 2", "nend = 7", "e = 3"}) + "nend = 12");
    EXPECT_EQ(sk_globals.projectile.e, 3.0);
    EXPECT_EQ(sk_globals.nend, 12);
    // A value that does not convert stops the run where it is read.
    EXPECT_LOAD_ERROR(minimal_with({"e = x", "e = 2"}), "incorrect value for <e>");
}

// Reals: an optionally signed integer, decimal or exponent form (E or D, any case). Integers: an
// optionally signed decimal of 32 bits. Booleans: an optional period, then T/t or F/f; the rest of
// the value is not read.
TEST_F(LoaderSyntax, ValueGrammars) {
    using Accepted = std::vector<std::pair<std::string, double>>;
    const Accepted reals = {{"2", 2.0},        {"+2", 2.0},
                            {"-2", -2.0},      {"2.", 2.0},
                            {".5", 0.5},       {"-.5", -0.5},
                            {"007.25", 7.25},  {"1.5e3", 1500.0},
                            {"1.5d3", 1500.0}, {"1.5D-3", 1.5e-3},
                            {"1e+2", 100.0},   {"-2.5E+00", -2.5},
                            {".5e1", 5.0},     {"5.e-1", 0.5},
                            {"1e-400", 0.0},   {"1.7976931348623157e308", 1.7976931348623157e308}};
    const Accepted integers = {{"3", 3},
                               {"+3", 3},
                               {"-3", -3},
                               {"007", 7},
                               {"2147483647", 2147483647},
                               {"-2147483648", -2147483648.0}};
    const Accepted booleans = {{"T", 1},  {"t", 1}, {".true.", 1}, {"TRUE", 1},    {"tomorrow", 1},
                               {".t", 1}, {"F", 0}, {"f", 0},      {".false.", 0}, {".FALSE.", 0}};
    const struct {
        const char* key;
        std::function<double()> read;
        const Accepted& accepted;
        std::vector<std::string> rejected;
    } keys[] = {{"v0",
                 [] { return sk_globals.potential.v0; },
                 reals,
                 {"abc", "1.5x", "1..5", ".", "e5", "1e", "1e+", "1.5f3", "0x10", "inf", "nan",
                  "--1", "+-1", "1e400", "-1e400", "'+'", "1.5e3.0"}},
                {"kappa",
                 [] { return sk_globals.projectile.kappa; },
                 integers,
                 {"3.0", "3e2", "2147483648", "-2147483649", "99999999999999999999999", "x", "'+'",
                  "3x", "0x1"}},
                {"shift",
                 [] { return sk_globals.shift ? 1.0 : 0.0; },
                 booleans,
                 {"yes", "1", "0", ".", "..true.", "'  '"}}};
    for (const auto& k : keys) {
        for (const auto& [text, value] : k.accepted) {
            sk_globals = RunSettings{};
            sk_globals.shift = value == 0.0;
            load(minimal_with({std::string(k.key) + " = " + text}));
            EXPECT_EQ(k.read(), value) << k.key << " = " << text;
        }
        for (const std::string& text : k.rejected) {
            SCOPED_TRACE(std::string(k.key) + " = " + text);
            EXPECT_LOAD_ERROR(minimal_with({std::string(k.key) + " = " + text}),
                              "incorrect value for <" + std::string(k.key) + ">");
        }
    }
}

// Text keys are cut or blank-padded to their width; leading blanks stay.
TEST_F(LoaderSyntax, TextFieldsAreCutOrPadded) {
    load(minimal_with(
        {"basis = laguerreXYZ", "scheme = non-relativisticXYZ", "v_light = infinitely"}));
    EXPECT_EQ(sk_globals.basis, "laguerre");
    EXPECT_EQ(sk_globals.scheme, "non-relativistic");
    EXPECT_EQ(sk_globals.vol, "infinite");
    load(minimal_with({"basis = 'gauss   '", "pot_type = \"user\""}));
    EXPECT_EQ(sk_globals.basis, "gauss   ");
    EXPECT_EQ(sk_globals.potential.pot_type, "user    ");
    EXPECT_LOAD_ERROR(minimal_with({"basis = ' gauss'"}), "<basis> must be <gauss> or <laguerre>");
    EXPECT_LOAD_ERROR(minimal_with({"pot_type = user-defined"}),
                      "<pot_type> must be <well>, <coulomb> or <user>");
}

// Bytes of every value, lines of any length and no final line end are read by the same rules.
std::string garbage(std::size_t size, unsigned seed, bool with_equals) {
    std::mt19937 bits(seed);
    std::string text;
    while (text.size() < size) {
        const char ch = static_cast<char>(bits() & 0xff);
        if (ch != '=' || with_equals) text += ch;
    }
    return text;
}

TEST_F(LoaderSyntax, BinaryGarbage) {
    const std::string out = load(garbage(20000, 7, true) + "\n" + std::string(3000, '\0') + "\n" +
                                 minimal_with({"e = 2.5"}) + garbage(5000, 8, true));
    EXPECT_EQ(sk_globals.projectile.e, 2.5);
    EXPECT_EQ(sk_globals.nend, 10);
    EXPECT_EQ(out.substr(out.size() - load_end.size()), load_end);
    EXPECT_LOAD_ERROR(garbage(20000, 9, false), "required parameter missing: <l>");
}

}  // namespace
}  // namespace skarven::test
