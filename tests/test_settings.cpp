// Guards against misread parameter files: line grammar, values, defaults, rules, messages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "settings.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

const std::string param_file = "/tmp/skarven_params_" + std::to_string(::getpid());

class Loader : public SettingsTest {
    void TearDown() override {
        std::remove(param_file.c_str());
        SettingsTest::TearDown();
    }
};

const std::string minimal =
    "e = 1.0\nl = 0\nbasis = laguerre\nscheme = non-relativistic\npot_type = user\nnend = 10\n";

// The minimal file followed by the lines of `extra`, separated by '|'; later lines override and
// "-key" removes the key's line.
std::string with(const std::string& extra) {
    std::string text = minimal;
    std::istringstream lines(extra);
    for (std::string line; std::getline(lines, line, '|');) {
        if (line.starts_with('-')) {
            const std::size_t at = ("\n" + text).find("\n" + line.substr(1) + " = ");
            text.erase(at, text.find('\n', at) + 1 - at);
        } else {
            text += line + "\n";
        }
    }
    return text;
}

// Loads `text` in this process and returns what the loader printed.
std::string load(const std::string& text, const std::string& blanks = "") {
    sk_globals = RunSettings{};
    std::ofstream(param_file, std::ios::binary) << text;
    testing::internal::CaptureStdout();
    loadparams(param_file + blanks);
    return testing::internal::GetCapturedStdout();
}

std::string warning(const std::string& message) {
    return " Warning (loadparams): " + message + ".\n";
}

std::string loaded(const std::string& printed) {
    return "Loading parameters...\n" + printed + "Load complete.\n";
}

// The loader runs no parallel region, so the death tests fork without re-executing the binary.
void expect_load_exit(const std::string& path, const std::string& message) {
    std::string pattern = "\nError (loadparams): " + message + ".\nSKARVEN will terminate.\n";
    for (std::size_t at = 0; at < pattern.size(); ++at)
        if (std::string(".[]{}()\\*+?^$|").find(pattern[at]) != std::string::npos)
            pattern.insert(at++, "\\");
    std::fflush(stdout);
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT((::dup2(2, 1), loadparams(path)), testing::ExitedWithCode(1), pattern + "$");
}

void expect_load_error(const std::string& text, const std::string& message) {
    SCOPED_TRACE(text);
    sk_globals = RunSettings{};
    std::ofstream(param_file, std::ios::binary) << text;
    expect_load_exit(param_file, message);
}

// What the loader left in the fields, given as "field=value;...": texts as stored, numbers
// (booleans 0/1) by value.
void expect_stored(const std::string& expected) {
    const RunSettings& s = sk_globals;
    const std::map<std::string, std::string> texts = {{"basis", s.basis},
                                                      {"scheme", s.scheme},
                                                      {"vol", s.vol},
                                                      {"pot_type", s.potential.pot_type},
                                                      {"solver", s.solver}};
    const std::map<std::string, double> numbers = {
        {"e", s.projectile.e},  {"kappa", s.projectile.kappa}, {"nstart", s.nstart},
        {"nend", s.nend},       {"lambda", s.lambda},          {"estep", s.estep},
        {"v0", s.potential.v0}, {"r0", s.potential.r0},        {"shift", s.shift},
        {"scr", s.scr},         {"energies", s.energies},      {"v_light", s.v_light},
        {"fast", fast_solver()}};
    std::istringstream items(expected);
    for (std::string item; std::getline(items, item, ';');) {
        const std::string name = item.substr(0, item.find('=')),
                          value = item.substr(name.size() + 1);
        if (texts.count(name) != 0) {
            EXPECT_EQ(texts.at(name), value) << name;
        } else {
            EXPECT_EQ(numbers.at(name), std::strtod(value.c_str(), nullptr)) << name;
        }
    }
}

TEST_F(Loader, FileNames) {
    EXPECT_EQ(load(minimal), loaded(""));
    for (const char* name : {"/nonexistent/sk.inp", "/tmp", ""})
        expect_load_exit(name, "unable to open the input file");
    load(with("e = 3.5"), "   ");  // trailing blanks of the name are ignored
    expect_stored("e=3.5");
}

// Line 7 follows the minimal file (e = 1.0): what it leaves in e and what is printed. Comments
// start in column one; items are split at blanks and commas, quotes hold them; fewer than three
// items or a separator not starting with "=" drop the line; items are cut to 44 characters,
// records to 80 columns, reports to 120 characters; keys are case-sensitive.
TEST_F(Loader, RecordsItemsQuotesAndKeys) {
    const auto unknown = [](const std::string& key, const std::string& value) {
        return warning("unknown parameter <" + key + "> = <" + value + "> has been ignored");
    };
    const auto ignored = [](const std::string& line) {
        return warning("line 7 not understood: <" + line + "> has been ignored");
    };
    const auto read_as = [](const std::string& line, const std::string& value) {
        return warning("line 7 not understood: <" + line + "> has been read as <e> = <" + value +
                       ">");
    };
    const std::string key_44 = "'e" + std::string(43, ' ') + "x'",
                      e_76 = "e" + std::string(75, ' '), e_79 = "e" + std::string(78, ' ');
    const struct {
        std::string line, e, printed;
    } cases[] = {{";e = 5|#e = 5|%e = 5|//e = 5| \t ", "1", ""},
                 {"/e = 5", "1", unknown("/e", "5")},
                 {" #e = 5", "1", unknown("#e", "5")},
                 {"e = 5 ; comment", "5", read_as("e = 5 ; comment", "5")},
                 {"   e   =   2.5", "2.5", ""},
                 {",, e ,, = ,, 2.5 ,,", "2.5", ""},
                 {"e = 2,5", "2", read_as("e = 2,5", "2")},
                 {"e => 2.5", "2.5", read_as("e => 2.5", "2.5")},
                 {"e=2.5", "1", ignored("e=2.5")},
                 {"e =", "1", ignored("e =")},
                 {",,", "1", ignored(",,")},
                 {"e := 2.5", "1", ignored("e := 2.5")},
                 {"e 2.5 = 3", "1", ignored("e 2.5 = 3")},
                 {"e\t=\t2.5", "1", ignored("e^I=^I2.5")},
                 {"\"e\" '=' '2.5'", "2.5", ""},
                 {"e = ' 2.5 '", "2.5", ""},
                 {"e = '2.5'junk", "2.5", read_as("e = '2.5'junk", "2.5")},
                 {"xyz = 'a b,c'", "1", unknown("xyz", "a b,c")},
                 {"xyz = 'open", "1", unknown("xyz", "open")},
                 {"'e ' = 2.5", "2.5", ""},
                 {"' e' = 2.5", "1", unknown(" e", "2.5")},
                 {"xyz = " + std::string(50, 'v'), "1", unknown("xyz", std::string(44, 'v'))},
                 {key_44 + " = 2.5", "2.5", read_as(key_44 + " = 2.5", "2.5")},
                 {e_76 + "= 257", "25", read_as(e_76 + "= 257", "25")},
                 {e_79 + "= 2.5", "1", ignored(e_79 + "= 2.5")},
                 {"e = 3.5 " + std::string(10000, 'x'), "3.5",
                  read_as("e = 3.5 " + std::string(112, 'x') + "...", "3.5")},
                 {std::string(10000, ' ') + "e = 3.5", "1", ignored(std::string(120, ' ') + "...")},
                 {"E = 2.0", "1", unknown("E", "2.0")},
                 {"cl\xc3\xa9 = 1", "1", unknown("cl\xc3\xa9", "1")}};
    for (const auto& c : cases) {
        EXPECT_EQ(load(with(c.line)), loaded(c.printed)) << c.line;
        expect_stored("e=" + c.e);
    }
}

// Reals: optionally signed integer, decimal or exponent form (E or D, any case). Integers: an
// optionally signed decimal of 32 bits. Booleans: an optional period, then T/t or F/f.
TEST_F(Loader, ValueGrammars) {
    const struct {
        std::string key, accepted, rejected;
    } keys[] = {
        {"v0",
         "2=2 +2=2 -2=-2 2.=2 .5=.5 -.5=-.5 007.25=7.25 1.5e3=1500 1.5d3=1500 1.5D-3=1.5e-3 "
         "1e+2=100 -2.5E+00=-2.5 .5e1=5 5.e-1=.5 1e-400=0 1.7976931348623157e308=1.79769"
         "31348623157e308",
         "abc 1.5x 1..5 . e5 1e 1e+ 1.5f3 0x10 inf nan --1 +-1 1e400 -1e400 '+' 1.5e3.0"},
        {"kappa", "3=3 +3=3 -3=-3 007=7 2147483647=2147483647 -2147483648=-2147483648",
         "3.0 3e2 2147483648 -2147483649 99999999999999999999999 x '+' 3x 0x1"},
        {"shift", "T=1 t=1 .true.=1 TRUE=1 tomorrow=1 .t=1 F=0 f=0 .false.=0 .FALSE.=0",
         "yes 1 0 . ..true. ''"}};
    for (const auto& k : keys) {
        std::istringstream accepted(k.accepted), rejected(k.rejected);
        for (std::string item; accepted >> item;) {
            const std::string text = item.substr(0, item.find('=')),
                              value = item.substr(item.find('=') + 1);
            const std::string before = k.key + (k.key == "shift" ? " = T|" : " = 7|");
            load(with((value == "0" ? before : "") + k.key + " = " + text));
            expect_stored(k.key + "=" + value);
        }
        for (std::string item; rejected >> item;)
            expect_load_error(with(k.key + " = " + item), "incorrect value for <" + k.key + ">");
    }
}

// Bytes of every value, CR LF ends, lines of any length and no final line end are read alike.
TEST_F(Loader, LineEndsAndBinaryGarbage) {
    std::mt19937 bits(7);
    std::string garbage;
    while (garbage.size() < 20000)
        garbage += static_cast<char>(bits() & 0xff);
    std::string crlf = minimal;
    for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2)
        crlf.insert(at, "\r");
    EXPECT_TRUE(load(garbage + "\n" + std::string(3000, '\0') + "\n" + crlf + "e = 2.5\r\n" +
                     garbage.substr(1000) + "\nnend = 12")
                    .ends_with("Load complete.\n"));
    expect_stored("e=2.5;nend=12;scheme=non-relativistic;basis=laguerre");
    garbage.erase(std::remove(garbage.begin(), garbage.end(), '='), garbage.end());
    expect_load_error(garbage, "required parameter missing: <l>");
}

// Each row: lines after the minimal file, and what the loader leaves in the fields.
TEST_F(Loader, DefaultsAndStoredValues) {
    const std::string c = "137.0359996287515";
    const struct {
        std::string lines, stored;
    } cases[] = {
        {"",
         "kappa=0;pot_type=user    ;nstart=1;lambda=1;scr=1;shift=0;energies=0;v0=0;"
         "r0=0;estep=0;vol=        ;v_light=5000;fast=0;solver=eigen   "},
        {"screen = F|shift = T|nstart = 3|lambda = 2.5", "scr=0;shift=1;nstart=3;lambda=2.5"},
        // estep defaults to a tenth of the range, even without the energy pass.
        {"energies = T|estart = 1|eend = 3", "energies=1;estep=0.2"},
        {"estart = 2|eend = 7", "estep=0.5"},
        {"scheme = relativistic|kappa = -1", "vol=finite  ;v_light=" + c},
        {"scheme = relativistic|kappa = -1|v_light = infinite", "v_light=5000"},
        {"v_light = finite", "v_light=" + c},
        {"v_light = light", "vol=light   "},  // only the Dirac scheme checks it
        {"solver = fast", "fast=1;solver=fast    "},
        {"solver = eigen|solver = fast", "fast=1"},
        // Texts are cut or blank-padded to their width; leading blanks stay.
        {"basis = laguerreXYZ|scheme = non-relativisticXYZ|v_light = infinitely",
         "basis=laguerre;scheme=non-relativistic;vol=infinite"},
        {"basis = 'gauss   '|pot_type = \"user\"", "basis=gauss   ;pot_type=user    "},
        {"e = 2|nend = 7|e = 3|nend = 12", "e=3;nend=12"}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.lines);
        load(with(row.lines));
        expect_stored(row.stored);
    }
}

TEST_F(Loader, WarningsAndTheirThresholds) {
    const std::string gauss = warning("results for e>25 may be inaccurate in gaussian basis"),
                      slow = warning("be prepared for a long-running calculations");
    const struct {
        const char* lines;
        std::string printed;
    } cases[] = {{"basis = gauss|e = 25", ""},
                 {"basis = gauss|e = 25.000001", gauss},
                 {"basis = laguerre|e = 30", ""},
                 {"basis = gauss|energies = T|estart = 1|eend = 25", ""},
                 {"basis = gauss|energies = T|estart = 1|eend = 26", gauss},
                 {"basis = gauss|energies = F|estart = 1|eend = 30", ""},
                 {"nend = 3000", ""},
                 {"scheme = relativistic|kappa = -1|nend = 2000", ""},
                 {"scheme = relativistic|kappa = -1|nend = 2001", slow},
                 {"xyz = 1|basis = gauss|e = 30|nend = 3001",
                  warning("unknown parameter <xyz> = <1> has been ignored") + gauss + slow}};
    for (const auto& c : cases)
        EXPECT_EQ(load(with(c.lines)), loaded(c.printed)) << c.lines;
}

// Each row: the place of a plain validation in the validation order (0: any other check), the
// lines after the minimal file, and the message that ends the run (on the next line if long) or
// "accepted" for the edge of a range.
const char* const refused_table = R"(
// The first required entry not given, in the order of the parameter table: estart eend estep l
// kappa lambda basis scheme v_light pot_type screen shift nstart nend v0 a b r0 z alpha energies
// e g m.
0 -e => required parameter missing: <e>
0 -l => required parameter missing: <l>
0 -basis => required parameter missing: <basis>
0 -scheme => required parameter missing: <scheme>
0 -pot_type => required parameter missing: <pot_type>
0 -e|-nend => required parameter missing: <nend>
0 -nend|-basis => required parameter missing: <basis>
0 -e|-l|-basis|-scheme|-pot_type|-nend => required parameter missing: <l>
0 pot_type = well => required parameter missing: <v0>
0 pot_type = well|v0 = 1|b = 1 => required parameter missing: <a>
0 pot_type = well|v0 = 1|a = 1 => required parameter missing: <b>
0 pot_type = coulomb => required parameter missing: <r0>
0 pot_type = coulomb|r0 = 1|alpha = 1 => required parameter missing: <z>
0 pot_type = coulomb|r0 = 1|z = 1|g = 1 => required parameter missing: <alpha>
0 pot_type = yukawa|r0 = 1|m = 1 => required parameter missing: <g>
0 pot_type = yukawa|r0 = 1|g = 1 => required parameter missing: <m>
0 energies = T|estart = 1 => required parameter missing: <eend>
0 scheme = relativistic => required parameter missing: <kappa>
0 pot_type = well|energies = T|scheme = relativistic => required parameter missing: <estart>
0 -l|pot_type = well|scheme = relativistic => required parameter missing: <l>
// The plain validations.
1 nstart = 0 => incorrect values of <nstart> or <nend>
0 nstart = 11 => incorrect values of <nstart> or <nend>
0 nstart = 10 => accepted
2 nend = 5001 => <nend> is to big
0 nend = 5000 => accepted
3 e = 0 => <e> must be positive
4 energies = T|estart = 2|eend = 1 => incorrect values of <estart> or <eend>
5 energies = T|estart = -1|eend = 1 => <estart> and <eend> must be positive
6 energies = T|estart = 1|eend = 2|estep = 0 => <estep> must be positive
0 energies = T|estart = 1|eend = 1 => <estep> must be positive
0 energies = T|estart = 1|eend = 1|estep = 0.1 => accepted
7 scheme = relativistic|l = 1|kappa = 2 => <l> and <kappa> are not properly correlated
0 scheme = relativistic|l = 1|kappa = 0 => <l> and <kappa> are not properly correlated
0 scheme = relativistic|l = 1|kappa = -2 => accepted
8 pot_type = Well => <pot_type> must be <well>, <coulomb> or <user>
0 pot_type = user-defined => <pot_type> must be <well>, <coulomb> or <user>
9 pot_type = well|v0 = 1|a = 2|b = 1 => incorrect values of <a> or <b>
0 pot_type = well|v0 = 1|a = 1|b = 1 => incorrect values of <a> or <b>
0 pot_type = well|v0 = 1|a = 1|b = 1.000001 => accepted
10 pot_type = yukawa|r0 = 1|g = 1|m = 0 => <m> should be positive
11 basis = Gauss => <basis> must be <gauss> or <laguerre>
0 basis = ' gauss' => <basis> must be <gauss> or <laguerre>
12 scheme = Relativistic => <scheme> must be <relativistic> or <non-relativistic>
13 scheme = relativistic|kappa = -1|v_light = light => <v_light> must be <finite> or <infinite>
14 lambda = 0 => <lambda> must be positive
15 solver = Fast => <solver> must be <eigen> or <fast>
// Values that do not convert stop the run where they are read; items are cut to 44 characters.
0 e = x|e = 2 => incorrect value for <e>
0 e = "2.5, or so" 7 => incorrect value for <e>
0 e = '' => incorrect value for <e>
0 shift = '  ' => incorrect value for <shift>
0 e = 0.00000000000000000000000000000000000000000025 => <e> must be positive
// The ranges the method carries in double precision. Largest l at nend = 10: 67 (Laguerre,
// (n + 2l + 1)!/n! < 1e250), 136 (oscillator); the correlation check forms -l - 1 safely.
0 basis = gauss|l = -1 => <l> is out of range
0 l = 2147483647 => <l> is out of range
0 scheme = relativistic|l = -2147483648|kappa = 2147483647 => <l> is out of range
0 l = 68 => <l> is out of range
0 l = 67 => accepted
0 basis = gauss|l = 137 => <l> is out of range
0 basis = gauss|l = 136 => accepted
0 nend = 5000|l = 34 => <l> is out of range
0 nend = 5000|l = 33 => accepted
0 nend = 5000|basis = gauss|l = 67 => accepted
0 lambda = 1.1e20 => <lambda> is out of range
0 lambda = 1e20 => accepted
0 lambda = 0.9e-20 => <lambda> is out of range
0 lambda = 1e-20|e = 1e-40 => accepted
// (k/lambda)^2 = 2e/lambda^2 above 1e15 (Laguerre) or 2000 (oscillator); the last energy, a
// tenth of a step above eend, counts.
0 e = 5.1e14 => <e> is too large for <lambda>
0 e = 5e14 => accepted
0 lambda = 1e6|e = 5e19 => accepted
0 basis = gauss|e = 1000.001 => <e> is too large for <lambda> in gaussian basis
0 basis = gauss|e = 1000 => accepted
0 energies = T|estart = 1|eend = 5.1e14 => <eend> is too large for <lambda>
0 energies = T|basis = gauss|estart = 1.02|eend = 999.95|estep = 1 =>
    <eend> is too large for <lambda> in gaussian basis
0 energies = T|estart = 1|eend = 2|estep = 0.999e-6 => <estep> is too small for the energy range
0 energies = T|estart = 1|eend = 2|estep = 1.000001e-6 => accepted
0 energies = T|estart = 1|eend = 1|estep = 1e-300 => accepted
0 energies = T|estart = 1|eend = 1.0000000000000002|estep = 5e-17 =>
    <estep> is too small for the energy range
// Strengths relative to lambda^2 above 1e10: v0, z lambda^alpha, g^2 lambda. Reach of the
// basis at nend = 10, l = 0: lambda |a| <= 2 (4 * 11 + 8) + 3000 = 3104 (Laguerre),
// sqrt(4 (4 * 11 + 7) + 2000) = 46.95 (oscillator).
0 pot_type = well|v0 = -1.1e10|a = 0|b = 1 => <v0> is out of range
0 pot_type = well|v0 = 1e7|a = 0|b = 1|lambda = 0.01 => <v0> is out of range
0 pot_type = well|v0 = 0.99e14|a = 0|b = 1|lambda = 100 => accepted
0 pot_type = well|v0 = 1|a = 3104.5|b = 1e5 => <a> lies beyond the reach of the basis
0 pot_type = well|v0 = -1e10|a = 3104|b = 1e300 => accepted
0 pot_type = well|v0 = 1|a = -3104.5|b = 0 => <a> lies beyond the reach of the basis
0 pot_type = well|v0 = 1|a = -3104|b = 0 => accepted
0 pot_type = well|v0 = 1|a = 47|b = 50|basis = gauss => <a> lies beyond the reach of the basis
0 pot_type = well|v0 = 1|a = 46.9|b = 50|basis = gauss => accepted
0 pot_type = coulomb|r0 = 0|z = 1.1e10|alpha = 1 => <z> is out of range
0 pot_type = coulomb|r0 = 0|z = 0.99e14|alpha = 1|lambda = 1e4 => accepted
0 pot_type = coulomb|r0 = 0|z = 1e7|alpha = 1|lambda = 1e-4|e = 1e-9 => <z> is out of range
0 pot_type = coulomb|r0 = 0|z = 1|alpha = 3 => <alpha> is out of range
0 pot_type = coulomb|r0 = 0|z = -1e10|alpha = 2.9 => accepted
0 pot_type = coulomb|r0 = 1|z = 1|alpha = -20.5 => <alpha> is out of range
0 pot_type = coulomb|r0 = 1|z = 1|alpha = -20 => accepted
0 pot_type = coulomb|r0 = 0|z = 1|alpha = 5|l = 1 => <alpha> is out of range
0 pot_type = coulomb|r0 = 0|z = 1|alpha = 4.9|l = 1 => accepted
0 pot_type = coulomb|r0 = 0|z = 1|alpha = 3|scheme = relativistic|l = 1|kappa = 1 =>
    <alpha> is out of range
0 pot_type = coulomb|r0 = 0|z = 1|alpha = 2.9|scheme = relativistic|l = 1|kappa = 1 => accepted
0 pot_type = yukawa|r0 = 0|g = 1.1e5|m = 1 => <g> is out of range
0 pot_type = yukawa|r0 = 0|g = 1|m = 101 => <m> is out of range
0 pot_type = yukawa|r0 = 0|g = 1e5|m = 100 => accepted
0 pot_type = yukawa|r0 = 0|g = 1|m = 1.1|lambda = 0.01 => <m> is out of range
0 pot_type = yukawa|r0 = 0|g = 1|m = 1|scheme = relativistic|l = 0|kappa = 0 =>
    <kappa> is out of range
0 pot_type = yukawa|r0 = 0|g = 1|m = 1|scheme = relativistic|l = 0|kappa = -1 => accepted
// Partial waves: their own keys, and l up to 33 at nend = 5000.
0 pot_type = yukawa|r0 = 0|g = 1|m = 1|lmax = 3|solver = fast => <lmax> needs <energies> = true
0 lmax = 3|energies = T|estart = 1|eend = 2 => <lmax> needs <solver> = fast
0 pot_type = coulomb|z = 1|alpha = 1|r0 = 0|lmax = 3|energies = T|solver = fast|estart = 1|eend = 2 =>
    <lmax> needs a short-range potential: <coulomb> with <alpha> <= 1 needs <r0> > 0
0 energies = T|estart = 1|eend = 2|solver = fast|lmax = 41 => <lmax> must be between 0 and 40
0 energies = T|estart = 1|eend = 2|solver = fast|lmax = 3|angles = 1 =>
    <angles> must be 0 or between 2 and 100000
0 energies = T|estart = 1|eend = 2|solver = fast|lmax = 3|lconv = 0 => <lconv> must be positive
0 energies = T|estart = 1|eend = 2|estep = 0.5|solver = fast|nend = 5000|lmax = 34 =>
    <lmax> is out of range
)";

struct Refused {
    int check;
    std::string lines, message;
};

std::vector<Refused> refused() {
    std::vector<Refused> rows;
    std::istringstream table(refused_table);
    for (std::string row, message; std::getline(table, row);) {
        if (row.ends_with(" =>") &&
            std::getline(table, message))  // the message on a line of its own
            row += " " + message.substr(message.find_first_not_of(' '));
        const std::size_t arrow = row.find(" => "), space = row.find(' ');
        if (arrow != std::string::npos && !row.starts_with("//"))
            rows.push_back(
                {std::stoi(row), row.substr(space + 1, arrow - space - 1), row.substr(arrow + 4)});
    }
    return rows;
}

TEST_F(Loader, EachRefusedSettingHasItsMessageAndEachEdgeLoads) {
    for (const Refused& r : refused()) {
        if (r.message == "accepted") {
            EXPECT_TRUE(load(with(r.lines)).ends_with("Load complete.\n")) << r.lines;
        } else {
            expect_load_error(with(r.lines), r.message);
        }
    }
}

// Two broken checks that set different keys: the earlier check is reported.
TEST_F(Loader, TheFirstFailedValidationIsReported) {
    const auto keys = [](std::string lines) {  // both rows hold keys only
        std::replace(lines.begin(), lines.end(), '|', '\n');
        std::set<std::string> keys;
        std::istringstream in(lines);
        for (std::string line; std::getline(in, line);)
            keys.insert(line.substr(0, line.find(' ')));
        return keys;
    };
    int pairs = 0;
    const std::vector<Refused> rows = refused();
    for (const Refused& first : rows) {
        for (const Refused& later : rows) {
            if (first.check == 0 || later.check <= first.check) continue;
            const std::set<std::string> a = keys(first.lines), b = keys(later.lines);
            std::set<std::string> both = a;
            both.insert(b.begin(), b.end());
            if (both.size() != a.size() + b.size()) continue;
            expect_load_error(with(later.lines + "|" + first.lines), first.message);
            ++pairs;
        }
    }
    EXPECT_GT(pairs, 60);
}

// Relativistic values from mpmath at 30 digits: sqrt(e (2 c^2 + e)) / c.
TEST(ProjectileSetK, WaveNumberFromEnergy) {
    const struct {
        const char* scheme;
        double v_light, e, k;
    } cases[] = {{"non-relativistic", 137.0359996287515, 0.5, 1.0},
                 {"relativistic", 137.0359996287515, 1.0, 1.4142323894445696999},
                 {"relativistic", 137.0359996287515, 1.0e6, 7433.1254595263401096},
                 {"relativistic", 5000.0, 1.0e6, 1428.2856857085699996}};
    for (const auto& c : cases) {
        sk_globals.scheme = padded(c.scheme, 16);
        sk_globals.v_light = c.v_light;
        Projectile p{c.e};
        projectile_set_k(p);
        EXPECT_LE(relative_error(p.k, c.k), 4e-16) << c.scheme << " e = " << c.e;
    }
    sk_globals = RunSettings{};
    const std::pair<int, const char*> numbers[] = {{5, "5"}, {-9999, "-9999"}, {100000, "*****"}};
    for (const auto& [n, text] : numbers)
        EXPECT_EQ(convert_int_to_string(n), text) << n;
}

}  // namespace
}  // namespace skarven::test
