// Parameter-file syntax: records, comments, items and quoting, the value grammars, repeated and
// unknown keys, and files that are not text at all.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "settings.hpp"
#include "settings_files.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

using LoaderSyntax = SettingsTest;

TEST_F(LoaderSyntax, MinimalFilePrintsOnlyTheTwoProgressLines) {
    EXPECT_EQ(load(minimal_with()), std::string(load_start) + std::string(load_end));
}

TEST_F(LoaderSyntax, UnopenableFileIsFatal) {
    EXPECT_FATAL(loadparams("/nonexistent/sk.inp"), load_error("unable to open the input file"));
    EXPECT_FATAL(loadparams("/tmp"), load_error("unable to open the input file"));
    EXPECT_FATAL(loadparams(""), load_error("unable to open the input file"));
}

TEST_F(LoaderSyntax, TrailingBlanksOfTheFileNameAreIgnored) {
    ParamFile file(minimal_with({"e = 3.5"}));
    testing::internal::CaptureStdout();
    loadparams(file.path() + "   ");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(sk_globals.projectile.e, 3.5);
}

// Each line follows the minimal file, whose e is 1.0; `e` is what the line leaves in e.
struct LineCase {
    std::string line;
    double e;
    std::string output;  // printed between the two progress lines
};

void check_lines(const std::vector<LineCase>& cases) {
    for (const LineCase& c : cases) {
        sk_globals = RunSettings{};
        std::string out = load(minimal_with({c.line}));
        EXPECT_EQ(sk_globals.projectile.e, c.e) << "line [" << c.line << "]";
        EXPECT_EQ(out, std::string(load_start) + c.output + std::string(load_end))
            << "line [" << c.line << "]";
    }
}

TEST_F(LoaderSyntax, CommentMarkersCountOnlyInColumnOne) {
    check_lines(
        {{";e = 5", 1.0, ""},
         {"#e = 5", 1.0, ""},
         {"%e = 5", 1.0, ""},
         {"//e = 5", 1.0, ""},
         {"/e = 5", 1.0, " Warning (loadparams): unknown parameter </e> = <5> has been ignored.\n"},
         {" #e = 5", 1.0,
          " Warning (loadparams): unknown parameter <#e> = <5> has been ignored.\n"},
         {"e = 5 ; comment", 5.0, ""}});
}

TEST_F(LoaderSyntax, ItemsAreSeparatedByBlanksOrCommas) {
    check_lines({{"e = 2.5", 2.5, ""},
                 {"   e   =   2.5", 2.5, ""},
                 {"e,=,2.5", 2.5, ""},
                 {",, e ,, = ,, 2.5 ,,", 2.5, ""},
                 {"e = 2.5 and anything after the third item", 2.5, ""},
                 {"e = 2,5", 2.0, ""},
                 // The separator only has to begin with "=".
                 {"e => 2.5", 2.5, ""},
                 {"e == 2.5", 2.5, ""},
                 // Fewer than three items, or a separator not starting with "=": skipped silently.
                 {"e=2.5", 1.0, ""},
                 {"e =2.5", 1.0, ""},
                 {"e= 2.5", 1.0, ""},
                 {"e =", 1.0, ""},
                 {"", 1.0, ""},
                 {"e : 2.5", 1.0, ""},
                 {"e := 2.5", 1.0, ""},
                 {"e 2.5 = 3", 1.0, ""},
                 // A tab is not a separator.
                 {"e\t=\t2.5", 1.0, ""}});
}

TEST_F(LoaderSyntax, QuotesHoldBlanksAndCommas) {
    check_lines({{"'e' '=' '2.5'", 2.5, ""},
                 {"\"e\" \"=\" \"2.5\"", 2.5, ""},
                 {"e = ' 2.5 '", 2.5, ""},
                 {"e = '2.5'junk", 2.5, ""},
                 {"xyz = 'a b,c'", 1.0,
                  " Warning (loadparams): unknown parameter <xyz> = <a b,c> has been ignored.\n"},
                 {"xyz = \"it's\"", 1.0,
                  " Warning (loadparams): unknown parameter <xyz> = <it's> has been ignored.\n"},
                 // An unclosed quote runs to the end of the record.
                 {"xyz = 'open", 1.0,
                  " Warning (loadparams): unknown parameter <xyz> = <open> has been ignored.\n"},
                 {"'e ' = 2.5", 2.5, ""},
                 {"' e' = 2.5", 1.0,
                  " Warning (loadparams): unknown parameter < e> = <2.5> has been ignored.\n"}});
}

TEST_F(LoaderSyntax, QuotedValueThatIsNotANumberIsFatal) {
    EXPECT_LOAD_ERROR(minimal_with({"e = \"2.5, or so\" 7"}), "incorrect value for <e>");
    EXPECT_LOAD_ERROR(minimal_with({"e = ''"}), "incorrect value for <e>");
}

TEST_F(LoaderSyntax, ItemsAreCutTo44Characters) {
    // The key "e" padded with blanks to 44 characters, then an "x" that the cut removes.
    const std::string padded_key = "'e" + std::string(43, ' ') + "x'";
    check_lines({{"xyz = " + std::string(50, 'v'), 1.0,
                  " Warning (loadparams): unknown parameter <xyz> = <" + std::string(44, 'v') +
                      "> has been ignored.\n"},
                 {padded_key + " = 2.5", 2.5, ""}});
    // 44 characters of zero; the digits after them are cut.
    EXPECT_LOAD_ERROR(minimal_with({"e = 0." + std::string(42, '0') + "25"}),
                      "<e> must be positive");
}

TEST_F(LoaderSyntax, RecordsAreEightyColumns) {
    // "=" in column 77, the value in columns 79 and 80, one more digit in column 81.
    const std::string at_the_edge = "e" + std::string(75, ' ') + "= 257";
    // "=" in column 80 leaves no room for a value.
    const std::string value_beyond = "e" + std::string(78, ' ') + "= 2.5";
    check_lines({{at_the_edge, 25.0, ""},
                 {value_beyond, 1.0, ""},
                 {"e = 3.5 " + std::string(10000, 'x'), 3.5, ""},
                 {std::string(10000, ' ') + "e = 3.5", 1.0, ""}});
}

TEST_F(LoaderSyntax, LineEndsAndTheLastLine) {
    std::string crlf;
    for (const std::string& line : minimal_lines)
        crlf += line + "\r\n";
    load(crlf);
    EXPECT_EQ(sk_globals.basis, "laguerre");
    EXPECT_EQ(sk_globals.scheme, "non-relativistic");
    EXPECT_EQ(sk_globals.nend, 10);

    sk_globals = RunSettings{};
    load(minimal_with() + "nend = 12");
    EXPECT_EQ(sk_globals.nend, 12);
}

TEST_F(LoaderSyntax, LastOccurrenceWins) {
    load(minimal_with({"e = 2", "nend = 7", "e = 3"}));
    EXPECT_EQ(sk_globals.projectile.e, 3.0);
    EXPECT_EQ(sk_globals.nend, 7);
    // A value that does not convert stops the run where it is read.
    EXPECT_LOAD_ERROR(minimal_with({"e = x", "e = 2"}), "incorrect value for <e>");
}

TEST_F(LoaderSyntax, KeysAreExactAndCaseSensitive) {
    check_lines(
        {{"E = 2.0", 1.0,
          " Warning (loadparams): unknown parameter <E> = <2.0> has been ignored.\n"},
         {"xyz = 3", 1.0,
          " Warning (loadparams): unknown parameter <xyz> = <3> has been ignored.\n"},
         {"xyz = '3   '", 1.0,
          " Warning (loadparams): unknown parameter <xyz> = <3> has been ignored.\n"},
         {"ee = 2.0", 1.0,
          " Warning (loadparams): unknown parameter <ee> = <2.0> has been ignored.\n"},
         {"cl\xc3\xa9 = 1", 1.0,
          " Warning (loadparams): unknown parameter <cl\xc3\xa9> = <1> has been ignored.\n"}});
}

// Real keys take an optionally signed integer, decimal or exponent form (E or D, any case).
TEST_F(LoaderSyntax, RealGrammar) {
    const std::vector<std::pair<std::string, double>> accepted = {
        {"2", 2.0},
        {"+2", 2.0},
        {"-2", -2.0},
        {"2.", 2.0},
        {".5", 0.5},
        {"-.5", -0.5},
        {"007.25", 7.25},
        {"1.5e3", 1500.0},
        {"1.5E3", 1500.0},
        {"1.5d3", 1500.0},
        {"1.5D-3", 1.5e-3},
        {"1e+2", 100.0},
        {"-2.5E+00", -2.5},
        {".5e1", 5.0},
        {"5.e-1", 0.5},
        {"1e-400", 0.0},
        {"1.7976931348623157e308", 1.7976931348623157e308}};
    for (const auto& [text, value] : accepted) {
        sk_globals = RunSettings{};
        load(minimal_with({"v0 = " + text}));
        EXPECT_EQ(sk_globals.potential.v0, value) << "value " << text;
    }
    const std::vector<std::string> rejected = {"abc", "1.5x",  "1..5",   ".",     "e5",  "1e",
                                               "1e+", "1.5f3", "0x10",   "inf",   "nan", "--1",
                                               "+-1", "1e400", "-1e400", "2e308", "'+'", "1.5e3.0"};
    for (const std::string& text : rejected) {
        SCOPED_TRACE("value " + text);
        EXPECT_LOAD_ERROR(minimal_with({"v0 = " + text}), "incorrect value for <v0>");
    }
}

// Integer keys take an optionally signed decimal integer of 32 bits.
TEST_F(LoaderSyntax, IntegerGrammar) {
    const std::vector<std::pair<std::string, int>> accepted = {{"3", 3},
                                                               {"+3", 3},
                                                               {"-3", -3},
                                                               {"007", 7},
                                                               {"2147483647", 2147483647},
                                                               {"-2147483648", -2147483647 - 1}};
    for (const auto& [text, value] : accepted) {
        sk_globals = RunSettings{};
        load(minimal_with({"kappa = " + text}));
        EXPECT_EQ(sk_globals.projectile.kappa, value) << "value " << text;
    }
    const std::vector<std::string> rejected = {
        "3.0", "3e2", "1d0", "2147483648", "-2147483649", "99999999999999999999999",
        "x",   "'+'", "3x",  "0x1"};
    for (const std::string& text : rejected) {
        SCOPED_TRACE("value " + text);
        EXPECT_LOAD_ERROR(minimal_with({"kappa = " + text}), "incorrect value for <kappa>");
    }
}

// Boolean keys: an optional period, then T/t or F/f; the rest of the value is not read.
TEST_F(LoaderSyntax, BooleanGrammar) {
    const std::vector<std::pair<std::string, bool>> accepted = {
        {"T", true},        {"t", true},      {".true.", true},  {"TRUE", true},
        {"tomorrow", true}, {".t", true},     {"F", false},      {"f", false},
        {".false.", false}, {"false", false}, {".FALSE.", false}};
    for (const auto& [text, value] : accepted) {
        sk_globals = RunSettings{};
        sk_globals.shift = !value;
        load(minimal_with({"shift = " + text}));
        EXPECT_EQ(sk_globals.shift, value) << "value " << text;
    }
    for (const std::string text : {"yes", "1", "0", ".", "..true.", "'  '"}) {
        SCOPED_TRACE("value " + text);
        EXPECT_LOAD_ERROR(minimal_with({"shift = " + text}), "incorrect value for <shift>");
    }
}

// Text keys are cut or blank-padded to their width; leading blanks stay.
TEST_F(LoaderSyntax, TextFieldsAreCutOrPadded) {
    load(minimal_with(
        {"basis = laguerreXYZ", "scheme = non-relativisticXYZ", "v_light = infinitely"}));
    EXPECT_EQ(sk_globals.basis, "laguerre");
    EXPECT_EQ(sk_globals.scheme, "non-relativistic");
    EXPECT_EQ(sk_globals.vol, "infinite");

    sk_globals = RunSettings{};
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
        char ch = static_cast<char>(bits() & 0xff);
        if (ch == '=' && !with_equals) continue;
        text += ch;
    }
    return text;
}

TEST_F(LoaderSyntax, BinaryGarbageDoesNotStopTheReading) {
    std::string text = garbage(20000, 7, true) + "\n" + std::string(3000, '\0') + "\n" +
                       minimal_with({"e = 2.5"}) + garbage(5000, 8, true);
    std::string out = load(text);
    EXPECT_EQ(sk_globals.projectile.e, 2.5);
    EXPECT_EQ(sk_globals.nend, 10);
    EXPECT_EQ(out.substr(out.size() - load_end.size()), load_end);
}

TEST_F(LoaderSyntax, BinaryGarbageAloneLacksTheRequiredKeys) {
    EXPECT_LOAD_ERROR(garbage(20000, 9, false), "required parameter missing: <l>");
    EXPECT_LOAD_ERROR("", "required parameter missing: <l>");
}

}  // namespace
}  // namespace skarven::test
