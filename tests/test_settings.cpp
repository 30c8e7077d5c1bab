// Guards against misread parameter files: line grammar, values, defaults, rules and messages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "settings.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

const std::string param_file = "/tmp/skarven_params_" + std::to_string(::getpid()),
                  minimal =
                      "e = 1.0\nl = 0\nbasis = laguerre\nscheme = non-relativistic\n"
                      "pot_type = user\nnend = 10\n";

class Loader : public SettingsTest {
    void TearDown() override {
        std::remove(param_file.c_str());
        SettingsTest::TearDown();
    }
};

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

// Loads `text` with fresh settings in this process and returns what the loader printed.
std::string load(const std::string& text, const std::string& name_end = "") {
    sk_globals = RunSettings{};
    std::ofstream(param_file, std::ios::binary) << text;
    testing::internal::CaptureStdout();
    loadparams(param_file + name_end);
    return testing::internal::GetCapturedStdout();
}

std::string loaded(const std::string& warnings) {
    return "Loading parameters...\n" + warnings + "Load complete.\n";
}

std::string warning(const std::string& message) {
    return " Warning (loadparams): " + message + ".\n";
}

// The loader runs no parallel region, so the death tests fork without re-executing the binary.
void expect_load_error(const std::string& text, const std::string& message,
                       const std::string& path = param_file) {
    SCOPED_TRACE(text);
    sk_globals = RunSettings{};
    std::ofstream(param_file, std::ios::binary) << text;
    std::string pattern = "\nError (loadparams): " + message + ".\nSKARVEN will terminate.\n";
    for (std::size_t at = 0; at < pattern.size(); ++at)
        if (std::string(".[]{}()\\*+?^$|").find(pattern[at]) != std::string::npos)
            pattern.insert(at++, "\\");
    std::fflush(stdout);
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT((::dup2(2, 1), loadparams(path)), testing::ExitedWithCode(1), pattern + "$");
}

// Each of the ';'-separated "field=value" items is what the loader left in the run record
// (numbers to 16 digits, booleans as 0 or 1, texts with their blanks).
void expect_stored(const std::string& items) {
    const RunSettings& s = sk_globals;
    std::ostringstream fields;
    fields << std::setprecision(16) << ";e=" << s.projectile.e << ";kappa=" << s.projectile.kappa
           << ";nstart=" << s.nstart << ";nend=" << s.nend << ";lambda=" << s.lambda
           << ";estep=" << s.estep << ";v0=" << s.potential.v0 << ";shift=" << s.shift
           << ";scr=" << s.scr << ";energies=" << s.energies << ";v_light=" << s.v_light
           << ";fast=" << fast_solver() << ";basis=" << s.basis << ";scheme=" << s.scheme
           << ";vol=" << s.vol << ";pot_type=" << s.potential.pot_type << ";solver=" << s.solver
           << ";";
    std::istringstream in(items);
    for (std::string item; std::getline(in, item, ';');)
        EXPECT_NE(fields.str().find(";" + item + ";"), std::string::npos) << item << fields.str();
}

TEST_F(Loader, FileNames) {
    EXPECT_EQ(load(minimal), loaded(""));
    for (const char* name : {"/nonexistent/sk.inp", "/tmp", ""})
        expect_load_error(minimal, "unable to open the input file", name);
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
         "2=2 +2=2 -2=-2 2.=2 .5=0.5 -.5=-0.5 007.25=7.25 1.5e3=1500 1.5d3=1500 1.5D-3=0.0015 "
         "1e+2=100 -2.5E+00=-2.5 .5e1=5 5.e-1=0.5 1e-400=0 "
         "1.7976931348623157e308=1.797693134862316e+308",
         "abc 1.5x 1..5 . e5 1e 1e+ 1.5f3 0x10 inf nan --1 +-1 1e400 -1e400 '+' 1.5e3.0"},
        {"kappa", "3=3 +3=3 -3=-3 007=7 2147483647=2147483647 -2147483648=-2147483648",
         "3.0 3e2 2147483648 -2147483649 99999999999999999999999 x '+' 3x 0x1"},
        {"shift", "T=1 t=1 .true.=1 TRUE=1 tomorrow=1 .t=1 F=0 f=0 .false.=0 .FALSE.=0",
         "yes 1 0 . ..true. ''"}};
    for (const auto& k : keys) {
        std::istringstream accepted(k.accepted), rejected(k.rejected);
        for (std::string item; accepted >> item;) {
            const std::string text = item.substr(0, item.find('=')),
                              value = item.substr(text.size());
            load(with((value == "=0" ? k.key + (k.key == "shift" ? " = T|" : " = 7|") : "") +
                      k.key + " = " + text));
            expect_stored(k.key + value);
        }
        for (std::string item; rejected >> item;)
            expect_load_error(with(k.key + " = " + item), "incorrect value for <" + k.key + ">");
    }
}

// Bytes of every value, CR LF ends, lines of any length and no final line end are read alike.
TEST_F(Loader, LineEndsAndBinaryGarbage) {
    std::mt19937 bits(7);
    std::string garbage, crlf = minimal;
    while (garbage.size() < 20000)
        garbage += static_cast<char>(bits() & 0xff);
    for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2)
        crlf.insert(at, "\r");
    EXPECT_TRUE(load(garbage + "\n" + std::string(3000, '\0') + "\n" + crlf + "e = 2.5\r\n" +
                     garbage.substr(1000) + "\nnend = 12")
                    .ends_with("Load complete.\n"));
    expect_stored("e=2.5;nend=12;scheme=non-relativistic;basis=laguerre");
    garbage.erase(std::remove(garbage.begin(), garbage.end(), '='), garbage.end());
    expect_load_error(garbage, "required parameter missing: <l>");
}

// Each row: the place of a plain validation in the validation order (0: any other row), the
// lines after the minimal file, and the outcome: the message that ends the run; "missing" and
// the keys reported one after another as each is given; "accepted"; "loads" without warnings;
// "warns" and the ';'-separated warnings; or "stores" and the items of expect_stored. After "~",
// lines that move the row to the edge where it loads without that error or warning. An indented
// line continues the row above.
const char* const table = R"(
// Defaults and stored values; estep defaults to a tenth of the range even without the energy
// pass; texts are cut or blank-padded to their width; warnings go with their thresholds.
0  => stores kappa=0;pot_type=user    ;nstart=1;lambda=1;scr=1;shift=0;energies=0;v0=0;estep=0
0  => stores vol=        ;v_light=5000;fast=0;solver=eigen   
0 screen = F|shift = T|nstart = 3|lambda = 2.5 => stores scr=0;shift=1;nstart=3;lambda=2.5
0 e = 2|nend = 7|e = 3|nend = 12 => stores e=3;nend=12
0 energies = T|estart = 1|eend = 3 => stores energies=1;estep=0.2
0 estart = 2|eend = 7 => stores estep=0.5
0 scheme = relativistic|kappa = -1 => stores vol=finite  ;v_light=137.0359996287515
0 scheme = relativistic|kappa = -1|v_light = infinite => stores v_light=5000
0 v_light = finite => stores v_light=137.0359996287515
0 v_light = light => stores vol=light   ;v_light=5000
0 solver = fast => stores fast=1;solver=fast    
0 solver = eigen|solver = fast => stores fast=1
0 basis = laguerreXYZ|scheme = non-relativisticXYZ|v_light = infinitely =>
    stores basis=laguerre;scheme=non-relativistic;vol=infinite
0 basis = 'gauss   '|pot_type = "user" => stores basis=gauss   ;pot_type=user    
0 basis = gauss|e = 25.000001 => warns results for e>25 may be inaccurate in gaussian basis
    ~ e = 25
0 basis = laguerre|e = 30 => loads
0 basis = gauss|energies = T|estart = 1|eend = 26 =>
    warns results for e>25 may be inaccurate in gaussian basis ~ eend = 25
0 basis = gauss|energies = F|estart = 1|eend = 30 => loads
0 nend = 3000 => loads
0 scheme = relativistic|kappa = -1|nend = 2001 => warns be prepared for a long-running calculations
    ~ nend = 2000
0 xyz = 1|basis = gauss|e = 30|nend = 3001 => warns unknown parameter <xyz> = <1> has been ignored;
    results for e>25 may be inaccurate in gaussian basis;be prepared for a long-running calculations
// The first required entry missing, in the order estart eend estep l kappa lambda basis scheme
// v_light pot_type screen shift nstart nend v0 a b r0 z alpha energies e g m.
0 -e|-l|-basis|-scheme|-pot_type|-nend => missing l basis scheme pot_type nend e
0 pot_type = well => missing v0 a b
0 pot_type = coulomb|g = 1 => missing r0 z alpha
0 pot_type = yukawa => missing r0 g m
0 pot_type = well|energies = T|scheme = relativistic|-l => missing estart eend l kappa v0 a b
// The plain validations in their order, with the edges where they pass.
1 nstart = 0 => incorrect values of <nstart> or <nend>
0 nstart = 11 => incorrect values of <nstart> or <nend> ~ nstart = 10
2 nend = 5001 => <nend> is to big ~ nend = 5000
3 e = 0 => <e> must be positive ~ e = 1e-300
4 energies = T|estart = 2|eend = 1 => incorrect values of <estart> or <eend>
5 energies = T|estart = -1|eend = 1 => <estart> and <eend> must be positive
6 energies = T|estart = 1|eend = 2|estep = 0 => <estep> must be positive
0 energies = T|estart = 1|eend = 1 => <estep> must be positive ~ estep = 0.1
7 scheme = relativistic|l = 1|kappa = 2 => <l> and <kappa> are not properly correlated
0 scheme = relativistic|l = 1|kappa = 0 => <l> and <kappa> are not properly correlated
    ~ kappa = -2
8 pot_type = Well => <pot_type> must be <well>, <coulomb> or <user>
0 pot_type = user-defined => <pot_type> must be <well>, <coulomb> or <user>
9 pot_type = well|v0 = 1|a = 2|b = 1 => incorrect values of <a> or <b>
0 pot_type = well|v0 = 1|a = 1|b = 1 => incorrect values of <a> or <b> ~ b = 1.000001
10 pot_type = yukawa|r0 = 1|g = 1|m = 0 => <m> should be positive ~ m = 1e-10
11 basis = Gauss => <basis> must be <gauss> or <laguerre>
0 basis = ' gauss' => <basis> must be <gauss> or <laguerre>
12 scheme = Relativistic => <scheme> must be <relativistic> or <non-relativistic>
13 scheme = relativistic|kappa = -1|v_light = light => <v_light> must be <finite> or <infinite>
14 lambda = 0 => <lambda> must be positive ~ lambda = 1e-6
15 solver = Fast => <solver> must be <eigen> or <fast>
// A value that does not convert stops the run where it is read; items are cut to 44 characters.
0 e = x|e = 2 => incorrect value for <e>
0 e = "2.5, or so" 7 => incorrect value for <e>
0 e = '' => incorrect value for <e>
0 shift = '  ' => incorrect value for <shift>
0 e = 0.00000000000000000000000000000000000000000025 => <e> must be positive
// Ranges: l by the factorials (67 in Laguerre, 136 in the oscillator basis at nend = 10),
// (k/lambda)^2 below 1e15 or 2000, strengths below 1e10 lambda^2, |a| within the basis's reach
// (3104 or 46.95); the last energy, a tenth of a step above eend, counts.
0 basis = gauss|l = -1 => <l> is out of range
0 l = 2147483647 => <l> is out of range
0 scheme = relativistic|l = -2147483648|kappa = 2147483647 => <l> is out of range
0 l = 68 => <l> is out of range ~ l = 67
0 basis = gauss|l = 137 => <l> is out of range ~ l = 136
0 nend = 5000|l = 34 => <l> is out of range ~ l = 33
0 nend = 5000|basis = gauss|l = 68 => <l> is out of range ~ l = 67
0 lambda = 1.1e20 => <lambda> is out of range ~ lambda = 1e20
0 lambda = 0.9e-20|e = 1e-40 => <lambda> is out of range ~ lambda = 1e-20
0 e = 5.1e14 => <e> is too large for <lambda> ~ e = 5e14
0 lambda = 1e6|e = 5e19 => accepted
0 basis = gauss|lambda = 0.5|e = 249.99|scheme = relativistic|kappa = -1|v_light = infinite =>
    accepted
0 energies = T|estart = 1e7|eend = 5e7|estep = 1e7 => accepted
0 basis = gauss|e = 1000.001 => <e> is too large for <lambda> in gaussian basis ~ e = 1000
0 energies = T|estart = 1|eend = 5.1e14 => <eend> is too large for <lambda>
0 energies = T|basis = gauss|estart = 1.02|eend = 999.95|estep = 1 =>
    <eend> is too large for <lambda> in gaussian basis ~ estart = 1|eend = 999.5
0 energies = T|estart = 1|eend = 2|estep = 0.999e-6 => <estep> is too small for the energy range
    ~ estep = 1.000001e-6
0 energies = T|estart = 1|eend = 1|estep = 1e-300 => accepted
0 energies = T|estart = 1|eend = 1.0000000000000002|estep = 5e-17 =>
    <estep> is too small for the energy range
0 pot_type = well|v0 = -1.1e10|a = 0|b = 1 => <v0> is out of range
0 pot_type = well|v0 = 1.01e14|a = 0|b = 1|lambda = 100 => <v0> is out of range ~ v0 = 0.99e14
0 pot_type = well|v0 = 1e7|a = 0|b = 1|lambda = 0.01 => <v0> is out of range
0 pot_type = well|v0 = 1|a = 3104.5|b = 1e5 => <a> lies beyond the reach of the basis
    ~ a = 3104|v0 = -1e10|b = 1e300
0 pot_type = well|v0 = 1|a = -3104.5|b = 0 => <a> lies beyond the reach of the basis ~ a = -3104
0 pot_type = well|v0 = 1|a = 47|b = 50|basis = gauss => <a> lies beyond the reach of the basis
    ~ a = 46.9
0 pot_type = coulomb|r0 = 0|z = 1.1e10|alpha = 1 => <z> is out of range ~ z = 0.99e14|lambda = 1e4
0 pot_type = coulomb|r0 = 0|z = 1e7|alpha = 1|lambda = 1e-4|e = 1e-9 => <z> is out of range
0 pot_type = coulomb|r0 = 0|z = 1|alpha = 3 => <alpha> is out of range ~ alpha = 2.9|z = -1e10
0 pot_type = coulomb|r0 = 1|z = 1|alpha = -20.5 => <alpha> is out of range ~ alpha = -20
0 pot_type = coulomb|r0 = 0|z = 1|alpha = 5|l = 1 => <alpha> is out of range ~ alpha = 4.9
0 pot_type = coulomb|r0 = 0|z = 1|alpha = 3|scheme = relativistic|l = 1|kappa = 1 =>
    <alpha> is out of range ~ alpha = 2.9
0 pot_type = yukawa|r0 = 0|g = 1.1e5|m = 1 => <g> is out of range
0 pot_type = yukawa|r0 = 0|g = 1|m = 101 => <m> is out of range ~ m = 100|g = 1e5
0 pot_type = yukawa|r0 = 0|g = 1|m = 1.1|lambda = 0.01 => <m> is out of range
0 pot_type = yukawa|r0 = 0|g = 1|m = 1|scheme = relativistic|l = 0|kappa = 0 =>
    <kappa> is out of range ~ kappa = -1
// Partial waves, and l up to 33 at nend = 5000.
0 pot_type = yukawa|r0 = 0|g = 1|m = 1|lmax = 3|solver = fast => <lmax> needs <energies> = true
0 lmax = 3|energies = T|estart = 1|eend = 2 => <lmax> needs <solver> = fast
0 pot_type = coulomb|z = 1|alpha = 1|r0 = 0|lmax = 3|energies = T|solver = fast|estart = 1
    |eend = 2 =>
    <lmax> needs a short-range potential: <coulomb> with <alpha> <= 1 needs <r0> > 0
0 energies = T|estart = 1|eend = 2|solver = fast|lmax = 41 => <lmax> must be between 0 and 40
0 energies = T|estart = 1|eend = 2|solver = fast|lmax = 3|angles = 1 =>
    <angles> must be 0 or between 2 and 100000
0 energies = T|estart = 1|eend = 2|solver = fast|lmax = 3|lconv = 0 => <lconv> must be positive
0 energies = T|estart = 1|eend = 2|estep = 0.5|solver = fast|nend = 5000|lmax = 34 =>
    <lmax> is out of range
)";

struct Row {
    int check;
    std::string lines, outcome, edge;
};

std::vector<Row> rows() {
    std::vector<Row> rows;
    std::istringstream text(table);
    for (std::string line; std::getline(text, line);) {
        if (line.starts_with("    ")) rows.back().lines += " " + line.substr(4);
        if (line.starts_with("    ") || line.starts_with("//") || line.empty()) continue;
        rows.push_back({std::stoi(line), line.substr(line.find(' ') + 1), "", ""});
    }
    for (Row& row : rows) {
        const std::size_t arrow = row.lines.find(" => "), edge = row.lines.find(" ~ ");
        if (edge != std::string::npos) row.edge = row.lines.substr(edge + 3);
        row.outcome = row.lines.substr(arrow + 4, edge - arrow - 4);
        row.lines.erase(arrow);
    }
    return rows;
}

TEST_F(Loader, EachRowOfTheTable) {
    for (const Row& r : rows()) {
        SCOPED_TRACE(r.lines);
        if (r.outcome.starts_with("stores ")) {
            load(with(r.lines));
            expect_stored(r.outcome.substr(7));
        } else if (r.outcome.starts_with("missing ")) {
            std::istringstream keys(r.outcome.substr(8));
            std::string lines = r.lines;
            for (std::string key; keys >> key; lines += "|" + key + " = 1")
                expect_load_error(with(lines), "required parameter missing: <" + key + ">");
        } else if (r.outcome == "accepted") {
            EXPECT_TRUE(load(with(r.lines)).ends_with("Load complete.\n"));
        } else if (r.outcome == "loads" || r.outcome.starts_with("warns ")) {
            std::string warnings;
            std::istringstream items(r.outcome.substr(std::min<std::size_t>(6, r.outcome.size())));
            for (std::string item; std::getline(items >> std::ws, item, ';');)
                warnings += warning(item);
            EXPECT_EQ(load(with(r.lines)), loaded(r.outcome == "loads" ? "" : warnings));
        } else {
            expect_load_error(with(r.lines), r.outcome);
        }
        const std::string edge = r.edge.empty() ? "" : load(with(r.lines + "|" + r.edge));
        EXPECT_TRUE(r.edge.empty() || edge == loaded("") ||
                    (!r.outcome.starts_with("warns ") && edge.ends_with("Load complete.\n")))
            << r.edge << edge;
    }
}

// Two broken plain validations that set different keys: the earlier one is reported.
TEST_F(Loader, TheFirstFailedValidationIsReported) {
    const auto keys = [](std::string lines) {
        std::replace(lines.begin(), lines.end(), '|', '\n');
        std::set<std::string> keys;
        std::istringstream in(lines);
        for (std::string line; std::getline(in, line);)
            keys.insert(line.substr(0, line.find(' ')));
        return keys;
    };
    int pairs = 0;
    const std::vector<Row> all = rows();
    for (const Row& first : all) {
        for (const Row& later : all) {
            if (first.check == 0 || later.check <= first.check) continue;
            const std::set<std::string> a = keys(first.lines), b = keys(later.lines);
            std::set<std::string> both = a;
            both.insert(b.begin(), b.end());
            if (both.size() != a.size() + b.size()) continue;
            expect_load_error(with(later.lines + "|" + first.lines), first.outcome);
            ++pairs;
        }
    }
    EXPECT_GT(pairs, 60);
}

}  // namespace
}  // namespace skarven::test
