// Guards against misread parameter files: line grammar, values, defaults, rules and messages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "settings.hpp"
#include "settings_fixture.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

const std::string param_file = "/tmp/skarven_params_" + std::to_string(::getpid()),
                  minimal =
                      "e = 1.0\nl = 0\nbasis = laguerre\nscheme = non-relativistic\n"
                      "pot_type = user\nnend = 10\n";

struct Loader : SettingsTest {
    ~Loader() override { std::remove(param_file.c_str()); }
};

// The minimal file and the '|'-separated lines of `extra`; "-key" removes the key's line.
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

// Loads `text` with fresh settings in this process from `path` and returns what the loader
// printed; with an `error`, the loader must end with it.
std::string load(const std::string& text, const std::string& path = param_file,
                 const std::string& error = "") {
    run_record = RunSettings{};
    std::ofstream(param_file, std::ios::binary) << text;
    testing::internal::CaptureStdout();
    if (error.empty())
        loadparams(path);
    else
        EXPECT_ERROR(loadparams(path), "loadparams", error);
    return testing::internal::GetCapturedStdout();
}

std::string loaded(const std::string& warnings) {
    return "Loading parameters...\n" + warnings + "Load complete.\n";
}

std::string warning(const std::string& message) {
    return " Warning (loadparams): " + message + ".\n";
}

// The loader ends with the error, after whole lines of output.
void expect_load_error(const std::string& text, const std::string& message,
                       const std::string& path = param_file) {
    SCOPED_TRACE(text);
    const std::string printed = load(text, path, message);
    EXPECT_TRUE(printed.starts_with("Loading parameters...\n") && printed.ends_with("\n"))
        << printed;
}

// Each ';'-separated "field=value" is in the run record (16 digits, booleans 0/1, texts padded).
void expect_stored(const std::string& items) {
    const RunSettings& s = run_record;
    std::ostringstream fields;
    fields << std::setprecision(16) << ";e=" << s.projectile.e << ";kappa=" << s.projectile.kappa
           << ";nstart=" << s.nstart << ";nend=" << s.nend << ";lambda=" << s.lambda
           << ";estep=" << s.estep << ";v0=" << s.potential.v0 << ";shift=" << s.shift
           << ";scr=" << s.scr << ";energies=" << s.energies << ";v_light=" << s.v_light
           << ";basis=" << s.basis << ";scheme=" << s.scheme << ";vol=" << s.vol
           << ";pot_type=" << s.potential.pot_type << ";solver=" << s.solver << ";";
    std::istringstream in(items);
    for (std::string item; std::getline(in, item, ';');)
        EXPECT_NE(fields.str().find(";" + item + ";"), std::string::npos) << item << fields.str();
}

TEST_F(Loader, FileNames) {
    for (const char* name : {"/nonexistent/sk.inp", "/tmp", ""})
        expect_load_error(minimal, "unable to open the input file <" + std::string(name) + ">",
                          name);
    expect_load_error(minimal, "unable to open the input file </tmp>", "/tmp   ");
    load(with("e = 3.5"), param_file + "   ");  // trailing blanks of the name are ignored
    expect_stored("e=3.5");
}

// Line 7 after the minimal file: what it leaves in the record and what is printed. Comments start
// in column one; items split at blanks and commas, quotes hold them; records are cut to 80 columns.
TEST_F(Loader, RecordsItemsQuotesAndKeys) {
    const auto unknown = [](const std::string& key, const std::string& value) {
        return warning("unknown parameter <" + key + "> = <" + value + "> has been ignored");
    };
    const auto note = [](const std::string& line, const std::string& end) {
        return warning("line 7 not understood: <" + line + "> has been " + end);
    };
    const std::string key_44 = "'e" + std::string(43, ' ') + "x'",
                      e_76 = "e" + std::string(75, ' ');
    const struct {
        std::string line, stored, printed;
    } cases[] = {{";e = 5|#e = 5|%e = 5|//e = 5| \t ", "e=1", ""},
                 {"/e = 5| #e = 5|' e' = 2.5|E = 2.0|xyz = 'a b,c'|xyz = 'open", "e=1",
                  unknown("/e", "5") + unknown("#e", "5") + unknown(" e", "2.5") +
                      unknown("E", "2.0") + unknown("xyz", "a b,c") + unknown("xyz", "open")},
                 {",, e ,, = ,, 2.5 ,,|\"lambda\" '=' '3.5'|estep = ' 0.5 '|'v0 ' = 4.5",
                  "e=2.5;lambda=3.5;estep=0.5;v0=4.5", ""},
                 {"e = 2,5", "e=2", note("e = 2,5", "read as <e> = <2>")},
                 {"e => 2.5", "e=2.5", note("e => 2.5", "read as <e> = <2.5>")},
                 {"e=2.5", "e=1", note("e=2.5", "ignored")},
                 {"e := 2.5", "e=1", note("e := 2.5", "ignored")},
                 {"e\t=\t2.5", "e=1", note("e^I=^I2.5", "ignored")},
                 {"e = '2.5'junk", "e=2.5", note("e = '2.5'junk", "read as <e> = <2.5>")},
                 {"xyz = " + std::string(50, 'v'), "e=1", unknown("xyz", std::string(44, 'v'))},
                 {key_44 + " = 2.5", "e=2.5", note(key_44 + " = 2.5", "read as <e> = <2.5>")},
                 {e_76 + "= 257", "e=25", note(e_76 + "= 257", "read as <e> = <25>")},
                 {"e = 3.5 " + std::string(10000, 'x'), "e=3.5",
                  note("e = 3.5 " + std::string(112, 'x') + "...", "read as <e> = <3.5>")}};
    for (const auto& c : cases) {
        EXPECT_EQ(load(with(c.line)), loaded(c.printed)) << c.line;
        expect_stored(c.stored);
    }
}

// Reals: optionally signed integer, decimal or exponent form (E or D, any case). Integers: an
// optionally signed decimal of 32 bits. Booleans: an optional period, then T/t or F/f.
TEST_F(Loader, ValueGrammars) {
    const struct {
        std::string key, accepted, rejected;
    } keys[] = {
        {"v0",
         "+2=2 2.=2 -.5=-0.5 007.25=7.25 1.5d3=1500 1.5D-3=0.0015 -2.5E+00=-2.5 5.e-1=0.5 1e-400=0 "
         "1.7976931348623157e308=1.797693134862316e+308",
         "abc 1.5x 1..5 . e5 1e+ 1.5f3 0x10 inf nan +-1 1e400 '+' 1.5e3.0"},
        {"kappa", "+3=3 007=7 2147483647=2147483647 -2147483648=-2147483648",
         "3.0 3e2 2147483648 -2147483649 x '+' 0x1"},
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

// A byte-order mark before the first key; lines read only to a bounded length, the rest of a long
// line looked at only for further items; at most 100 line reports; endless input refused.
TEST_F(Loader, ByteOrderMarkLongLinesAndFloods) {
    const std::string mark = "\xEF\xBB\xBF", blanks(3000, ' ');
    EXPECT_EQ(load(mark + with("xyz = 1")),
              loaded(warning("unknown parameter <xyz> = <1> has been ignored")));
    EXPECT_EQ(load(with(mark + "xyz = 1")),
              loaded(warning("unknown parameter <" + mark + "xyz> = <1> has been ignored")));
    const auto read_as = [&](const std::string& line) {
        return warning("line 7 not understood: <" + line + "...> has been read as <e> = <2.5>");
    };
    const struct {
        std::string line, printed;
    } cases[] = {{"e = 2.5" + blanks + ",, ,", ""},
                 {"e = 2.5" + blanks + "\r", ""},
                 {"e = 2.5" + blanks + "x", read_as("e = 2.5" + std::string(113, ' '))},
                 {"e = 2.5" + blanks + "\r\r", read_as("e = 2.5" + std::string(113, ' '))},
                 {"e = 2.5" + blanks + "\r ", read_as("e = 2.5" + std::string(113, ' '))}};
    for (const auto& c : cases) {
        EXPECT_EQ(load(with(c.line)), loaded(c.printed)) << c.line.substr(3000);
        expect_stored("e=2.5");
    }
    std::string flood = with("basis = gauss|e = 30"), reports;
    for (int line = 9; line < 160; ++line) {
        flood += line % 2 ? "junk\n" : "xyz = 1\n";
        if (line < 109)
            reports += warning(line % 2 ? "line " + std::to_string(line) +
                                              " not understood: <junk> has been ignored"
                                        : "unknown parameter <xyz> = <1> has been ignored");
    }
    EXPECT_EQ(load(flood),
              loaded(reports + warning("further warnings about the parameter file suppressed") +
                     warning("results for e>25 may be inaccurate in gaussian basis")));
    const std::string longest(std::size_t{1} << 20, 'x');
    EXPECT_TRUE(load(with(longest)).ends_with("Load complete.\n"));
    expect_load_error(with(longest + "x"),
                      "line 7 of the input file is longer than 1048576 characters");
    expect_load_error(minimal, "line 1 of the input file is longer than 1048576 characters",
                      "/dev/zero");
    // Blank lines are silent, so only the size ends this one (random bytes would now and then
    // form a real key with a bad value first).
    const std::string endless = param_file + "_blank";
    for (std::ofstream out(endless, std::ios::binary); out.tellp() <= 64 << 20;)
        out << std::string(1023, ' ') << '\n';
    expect_load_error(minimal, "the input file is longer than 67108864 bytes", endless);
    std::remove(endless.c_str());
}

// Rows "lines => outcome ~ edge": "stores" and expect_stored items; "missing" and the keys
// reported one after another as each is given; "loads" or "warns" and the warnings; or the error.
// The edge lines make the row load without that error or warning; indented lines continue a row.
const char* const table = R"(
// Defaults and stored values; texts are cut or blank-padded to their width.
=> stores kappa=0;nstart=1;lambda=1;scr=1;shift=0;energies=0;estep=0;v_light=5000;solver=eigen   
screen = F|shift = T|nstart = 3|lambda = 2.5|e = 2|e = 3 =>
    stores scr=0;shift=1;nstart=3;lambda=2.5;e=3
estart = 2|eend = 7 => stores estep=0.5
energies = T|estart = 2|eend = 2 => stores estep=0.2
scheme = relativistic|kappa = -1 => stores vol=finite  ;v_light=137.0359996287515
basis = 'laguerre   '|scheme = "non-relativistic "|v_light = 'infinite' =>
    stores basis=laguerre;scheme=non-relativistic;vol=infinite
basis = 'gauss   '|pot_type = "user" => stores basis=gauss   ;pot_type=user            
// Warnings with their thresholds.
basis = gauss|e = 25.000001 => warns results for e>25 may be inaccurate in gaussian basis ~ e = 25
e = 30|nend = 3000 => loads
basis = gauss|energies = T|estart = 1|eend = 26 =>
    warns results for e>25 may be inaccurate in gaussian basis ~ eend = 25
basis = gauss|energies = F|estart = 1|eend = 30 => loads
scheme = relativistic|kappa = -1|nend = 2001 => warns be prepared for a long-running calculations
    ~ nend = 2000
xyz = 1|basis = gauss|e = 30|nend = 3001 => warns unknown parameter <xyz> = <1> has been ignored;
    results for e>25 may be inaccurate in gaussian basis;be prepared for a long-running calculations
// A Coulomb tail, a potential beyond the reach of the basis, result files beyond 1 GB.
pot_type = coulomb|r0 = 0|z = 1|alpha = 1 => warns <coulomb> with <alpha> <= 1 and <r0> <= 0 has
    an infinite range: delta_N has no limit, it grows like (z/k) ln N (faster for <alpha> < 1) and
    wraps modulo pi (a cut-off <r0> > 0 gives a finite range) ~ r0 = 1e-300
pot_type = coulomb|r0 = -1|z = -2|alpha = 0.5 => warns <coulomb> with <alpha> <= 1 and <r0> <= 0
    has an infinite range: delta_N has no limit, it grows like (z/k) ln N (faster for <alpha> < 1)
    and wraps modulo pi (a cut-off <r0> > 0 gives a finite range) ~ alpha = 1.000001
pot_type = coulomb|r0 = 0|z = 0|alpha = 1 => loads
scheme = relativistic|kappa = -1|pot_type = coulomb|r0 = 1|z = 118.7|alpha = 1 => warns the
    potential's -Z/r at the origin leaves sqrt(kappa^2 - (Z/c)^2) at or below 1/2: the regular
    solution rises too steeply for the basis, and delta_N may not converge ~ z = 118.6
scheme = relativistic|l = 1|kappa = -2|pot_type = yukawa|r0 = 0|g = 16.3|m = 1 => warns the
    potential's -Z/r at the origin leaves sqrt(kappa^2 - (Z/c)^2) at or below 1/2: the regular
    solution rises too steeply for the basis, and delta_N may not converge ~ g = 16.2
pot_type = well|v0 = 1|a = 0|b = 3104.5 => warns <b> lies beyond the reach of the basis at <nend>:
    the results are limited by the basis ~ b = 3104
pot_type = well|v0 = -1|a = 0|b = 1e8|basis = gauss => warns <b> lies beyond the reach of the basis
    at <nend>: the results are limited by the basis ~ b = 46.9
pot_type = well|v0 = 1|a = 0|b = 31.05|lambda = 100 => warns <b> lies beyond the reach of the
    basis at <nend>: the results are limited by the basis ~ lambda = 99.9
pot_type = coulomb|r0 = 3104.5|z = 1|alpha = 2 => warns <r0> lies beyond the reach of the basis at
    <nend>: the results are limited by the basis ~ r0 = 3104
pot_type = yukawa|r0 = 1e4|g = 1|m = 0.01 => warns <r0> lies beyond the reach of the basis at
    <nend>: the results are limited by the basis ~ m = 0.012
pot_type = user|r0 = 3200 => warns <r0> lies beyond the reach of the basis at <nend>: the
    results are limited by the basis ~ nend = 100
-l|energies = T|estart = 1|eend = 1000|estep = 1|solver = fast|lmax = 3|angles = 27020 =>
    warns the result files may take up to 1.0 GB: <angles> and the energies set the size
    ~ angles = 27019
-l|energies = T|estart = 1|eend = 1e6|estep = 1|solver = fast|lmax = 40|scheme = relativistic
    => warns the result files may take up to 2.3 GB: <angles> and the energies set
    the size ~ lmax = 15
// Required entries missing, reported one at a time in the loader's order.
-e|-l|-basis|-scheme|-pot_type|-nend => missing l basis scheme pot_type nend e
pot_type = well => missing v0 a b
pot_type = coulomb|g = 1 => missing r0 z alpha
pot_type = yukawa => missing r0 g m
pot_type = woods-saxon => missing v0 radius diffuse
pot_type = hulthen => missing v0 range
pot_type = morse => missing v0 radius range
pot_type = formula => missing v
pot_type = table => missing table
pot_type = well|energies = T|scheme = relativistic|-l => missing estart eend l kappa v0 a b
// Each plain validation; of two broken ones the one checked first is reported (lines in reverse).
nstart = 11 => incorrect values of <nstart> or <nend> ~ nstart = 10
nend = 5001|nstart = 0 => incorrect values of <nstart> or <nend> ~ nstart = 1|nend = 5000
e = 0|nend = 5001 => <nend> is to big ~ nend = 5000|e = 1e-300
energies = T|estart = 2|eend = 1|e = 0 => <e> must be positive
energies = T|estart = -1|eend = -2 => incorrect values of <estart> or <eend>
energies = T|estep = 0|estart = -1|eend = 1 => <estart> and <eend> must be positive
scheme = relativistic|l = 1|kappa = 2|energies = T|estart = 1|eend = 2|estep = 0 =>
    <estep> must be positive
energies = T|estart = 1|eend = 1|estep = 0 => <estep> must be positive ~ estep = 0.1
pot_type = Well|scheme = relativistic|l = 1|kappa = 2 =>
    <l> and <kappa> are not properly correlated ~ kappa = -2|pot_type = user
basis = Gauss|pot_type = Well => <pot_type> must be <well>, <coulomb>, <yukawa>, <user>,
    <woods-saxon>, <hulthen>, <exponential>, <gaussian>, <morse>, <formula> or <table>
pot_type = user-defined => <pot_type> must be <well>, <coulomb>, <yukawa>, <user>, <woods-saxon>,
    <hulthen>, <exponential>, <gaussian>, <morse>, <formula> or <table>
basis = Gauss|pot_type = well|v0 = 1|a = 2|b = 1 => incorrect values of <a> or <b>
pot_type = well|v0 = 1|a = 1|b = 1 => incorrect values of <a> or <b> ~ b = 1.000001
basis = Gauss|pot_type = yukawa|r0 = 1|g = 1|m = 0 => <m> should be positive
    ~ basis = gauss|m = 1e-10
scheme = Relativistic|basis = Gauss => <basis> must be <gauss> or <laguerre>
lambda = 0|scheme = Relativistic => <scheme> must be <relativistic> or <non-relativistic>
lambda = 0|scheme = relativistic|kappa = -1|v_light = light =>
    <v_light> must be <finite> or <infinite>
solver = Fast|lambda = 0 => <lambda> must be positive ~ solver = fast|lambda = 1e-6
solver = Fast => <solver> must be <eigen> or <fast>
// A value that does not convert, or a text longer than its field, stops the run where it is read.
e = x|e = 2 => incorrect value for <e>
basis = laguerrex|basis = laguerre => <basis> must be <gauss> or <laguerre>
scheme = non-relativistic_typo => <scheme> must be <relativistic> or <non-relativistic>
v_light = infinitesimal => <v_light> must be <finite> or <infinite>
pot_type = 'well            x'|v0 = 1|a = 0|b = 1 => <pot_type> must be <well>, <coulomb>,
    <yukawa>, <user>, <woods-saxon>, <hulthen>, <exponential>, <gaussian>, <morse>, <formula> or
    <table>
solver = 'fast     x' => <solver> must be <eigen> or <fast>
// Ranges: l by the factorials and nend, (k/lambda)^2, strengths by powers of lambda, lambda |a|
// by the basis's reach; the last energy, a tenth of a step above eend, counts.
scheme = relativistic|l = -2147483648|kappa = 2147483647 => <l> is out of range
l = 68 => <l> is out of range ~ l = 67
basis = gauss|l = 137 => <l> is out of range ~ l = 136
nend = 5000|basis = gauss|l = 68 => <l> is out of range ~ l = 67
lambda = 1.1e20 => <lambda> is out of range ~ lambda = 1e20
lambda = 0.9e-20|e = 1e-40 => <lambda> is out of range ~ lambda = 1e-20
e = 5.1e14 => <e> is too large for <lambda> ~ e = 5e14
basis = gauss|e = 1000.001 => <e> is too large for <lambda> in gaussian basis ~ e = 1000
basis = gauss|lambda = 0.5|scheme = relativistic|kappa = -1|v_light = infinite|e = 250.01 =>
    <e> is too large for <lambda> in gaussian basis ~ e = 249.99
energies = T|estart = 1e7|eend = 5e7|estep = 1e7 => loads
energies = T|estart = 1|eend = 5.1e14 => <eend> is too large for <lambda>
energies = T|basis = gauss|estart = 1.02|eend = 999.95|estep = 1 =>
    <eend> is too large for <lambda> in gaussian basis ~ estart = 1|eend = 999.5
energies = T|estart = 1|eend = 2|estep = 0.999e-6 => <estep> is too small for the energy range
    ~ estep = 1.000001e-6
energies = T|estart = 1|eend = 1|estep = 1e-300 => loads
energies = T|estart = 1|eend = 1.0000000000000002|estep = 5e-17 =>
    <estep> is too small for the energy range
pot_type = well|v0 = -1.1e10|a = 0|b = 1 => <v0> is out of range
pot_type = well|v0 = 1.01e14|a = 0|b = 1|lambda = 100 => <v0> is out of range ~ v0 = 0.99e14
pot_type = well|v0 = 1|a = 3104.5|b = 1e5 => <a> lies beyond the reach of the basis
    ~ a = 3104|v0 = -1e10|b = 1e300
pot_type = well|v0 = 1|a = -0.5|b = 0|lambda = 1e4 => <a> lies beyond the reach of the basis
pot_type = well|v0 = 1|a = 47|b = 50|basis = gauss => <a> lies beyond the reach of the basis
    ~ a = 46.9
pot_type = coulomb|r0 = 0|z = 1.1e10|alpha = 1 => <z> is out of range ~ z = 0.99e14|lambda = 1e4
pot_type = coulomb|r0 = 0|z = 1|alpha = 3 => <alpha> is out of range ~ alpha = 2.9|z = -1e10
pot_type = coulomb|r0 = 1|z = 1|alpha = -20.5 => <alpha> is out of range ~ alpha = -20
pot_type = coulomb|r0 = 0|z = 1|alpha = 3|scheme = relativistic|l = 1|kappa = 1 =>
    <alpha> is out of range ~ alpha = 2.9
pot_type = yukawa|r0 = 0|g = 1.1e5|m = 1 => <g> is out of range
pot_type = yukawa|r0 = 0|g = 1|m = 101 => <m> is out of range ~ m = 100|g = 1e5
pot_type = yukawa|r0 = 0|g = 1|m = 1.1|lambda = 0.01 => <m> is out of range
pot_type = yukawa|r0 = 0|g = 1|m = 1|scheme = relativistic|l = 0|kappa = 0 =>
    <kappa> is out of range ~ kappa = -1
// The named forms' lengths, a formula's text, tail and breaks.
pot_type = woods-saxon|v0 = -50|radius = 7|diffuse = 0 => <diffuse> should be positive
    ~ diffuse = 0.01
pot_type = woods-saxon|v0 = -50|radius = 7|diffuse = 0.0099 => <diffuse> is out of range
pot_type = gaussian|v0 = -1|range = -1 => <range> should be positive
pot_type = exponential|v0 = -1.1e10|range = 1 => <v0> is out of range ~ v0 = -1e10
pot_type = morse|v0 = -1|radius = 20|range = 1 => <v0> is out of range ~ radius = 2
pot_type = hulthen|v0 = -1|range = 1|scheme = relativistic|l = 0|kappa = 0 =>
    <kappa> is out of range ~ kappa = -1
pot_type = formula|v = -exp(-r*r)|breaks = 1 x => incorrect value for <breaks> ~ breaks = 1 2
pot_type = formula|v = -exp(-r*r)|breaks = 1 -2 => <breaks> must be positive radii
pot_type = formula|v = -exp(-r* => <v> cannot be read: Unexpected end of expression at position 9
    ~ v = r)
pot_type = formula|v = -3/r => <v> must fall off faster than 1/r at large r when <r0> <= 0 (a
    Coulomb-like or growing tail has no phase shift): set <r0> > 0 to cut it ~ r0 = 10
pot_type = formula|v = -3/r^1.01 => <v> must fall off faster than 1/r at large r when <r0> <= 0
    (a Coulomb-like or growing tail has no phase shift): set <r0> > 0 to cut it ~ r0 = 1e3
pot_type = formula|v = -3/r^1.1 => loads
// Partial waves; l and lmax up to 33 at nend = 5000.
pot_type = yukawa|r0 = 0|g = 1|m = 1|lmax = 3|solver = fast => <lmax> needs <energies> = true
lmax = 3|energies = T|estart = 1|eend = 2 => <lmax> needs <solver> = fast
pot_type = coulomb|z = 1|alpha = 1|r0 = 0|lmax = 3|energies = T|solver = fast|estart = 1
    |eend = 2 => <lmax> needs a short-range potential: <coulomb> with <alpha> <= 1 needs <r0> > 0
energies = T|estart = 1|eend = 2|solver = fast|lmax = 41 => <lmax> must be between 0 and 40
energies = T|estart = 1|eend = 2|solver = fast|lmax = 3|angles = 1 =>
    <angles> must be 0 or between 2 and 100000
energies = T|estart = 1|eend = 2|solver = fast|lmax = 3|lconv = 0 => <lconv> must be positive
energies = T|estart = 1|eend = 2|estep = 0.5|solver = fast|nend = 5000|lmax = 34 =>
    <lmax> is out of range ~ lmax = 33
// A Coulomb tail in the free problem.
zc = 1|basis = gauss => <zc> needs <basis> = laguerre
zc = 1|scheme = relativistic|kappa = -1 => <zc> needs <scheme> = non-relativistic
zc = 2e6 => <zc> is out of range ~ zc = 1e6
// The partial waves take the tail; theta = 0 leaves the angles.
zc = 1|lmax = 2|energies = T|estart = 1|eend = 2|solver = fast|tolerance = 1e-6 =>
    warns <l> has been ignored: the partial waves start at l = 0
zc = 1|lmax = 2|energies = T|estart = 1|eend = 2|solver = fast|angles = 2 =>
    warns theta = 0 has been left out of <angles>: the Rutherford amplitude is infinite there;<l>
    has been ignored: the partial waves start at l = 0
zc = 0|lmax = 2|energies = T|estart = 1|eend = 2|solver = fast|angles = 2 =>
    warns <l> has been ignored: the partial waves start at l = 0
zc = 1|lmax = 2|energies = T|estart = 1|eend = 2|solver = fast|scheme = relativistic|kappa = -1
    => <zc> needs <scheme> = non-relativistic
// The limit of delta_N.
tolerance = 0|solver = fast => <tolerance> must be positive ~ tolerance = 1e-300
tolerance = 1e-8 => <tolerance> needs <solver> = fast
tolerance = 1e-8|solver = fast|energies = T|estart = 1|eend = 2 => loads
// lambda = auto: max(2, 4k) (1 + l/25) of the run's wave at the middle of its energies.
lambda = auto|tolerance = 1e-8|solver = fast|e = 2 => stores lambda=8
lambda = AUTO|tolerance = 1e-8|solver = fast|e = 0.02|l = 5 => stores lambda=2.4
lambda = auto|tolerance = 1e-8|solver = fast|energies = T|estart = 1|eend = 3|e = 0.1 =>
    stores lambda=8
lambda = auto => <lambda> = auto needs <tolerance> ~ lambda = 1
lambda = auto|tolerance = 1e-8|solver = fast|basis = gauss => <lambda> = auto needs <basis> =
    laguerre ~ basis = laguerre
lambda = autox => incorrect value for <lambda>
)";

TEST_F(Loader, EachRowOfTheTable) {
    std::vector<std::string> rows;
    std::istringstream text(table);
    for (std::string line; std::getline(text, line);) {
        if (line.starts_with("    "))
            rows.back() += " " + line.substr(4);
        else if (!line.empty() && !line.starts_with("//"))
            rows.push_back(line);
    }
    for (const std::string& row : rows) {
        SCOPED_TRACE(row);
        const std::size_t arrow = row.find("=> "), tilde = row.find(" ~ ");
        const std::string lines = row.substr(0, arrow == 0 ? 0 : arrow - 1),
                          outcome = row.substr(arrow + 3, tilde - arrow - 3),
                          edge = tilde == std::string::npos ? "" : row.substr(tilde + 3);
        if (outcome.starts_with("stores ")) {
            load(with(lines));
            expect_stored(outcome.substr(7));
        } else if (outcome.starts_with("missing ")) {
            std::istringstream keys(outcome.substr(8));
            std::string given = lines;
            for (std::string key; keys >> key; given += "|" + key + " = 1")
                expect_load_error(with(given), "required parameter missing: <" + key + ">");
        } else if (outcome == "loads" || outcome.starts_with("warns ")) {
            std::string warnings;
            std::istringstream items(outcome.substr(5));
            for (std::string item; std::getline(items >> std::ws, item, ';');)
                warnings += warning(item);
            EXPECT_EQ(load(with(lines)), loaded(warnings));
        } else {
            expect_load_error(with(lines), outcome);
        }
        const std::string printed = edge.empty() ? "" : load(with(lines + "|" + edge));
        EXPECT_TRUE(edge.empty() ||
                    (outcome.starts_with("warns ") ? printed == loaded("")
                                                   : printed.ends_with("Load complete.\n")))
            << printed;
    }
}

// A formula runs on over further `v` lines, joined with one blank; breaks and a formula take the
// rest of their line, blanks and all.
TEST_F(Loader, FormulaLinesAndTableFiles) {
    load(with("pot_type = formula|v = r < 1 ? -2 :|breaks = 1, 2.5|v =  -exp(-r)  |r0 = 3"));
    EXPECT_EQ(run_record.potential.formula, "r < 1 ? -2 : -exp(-r)");
    EXPECT_EQ(run_record.potential.breaks, std::vector({1.0, 2.5}));
    EXPECT_EQ(problem_of(run_record).potential.kind, PotentialKind::formula);

    const std::string table = param_file + ".table";
    const struct {
        const char* contents;
        const char* message;  // empty: loads
    } files[] = {
        {"# r v\n; screened\n0.5 -2\n1, -1\n\n2 -0.4\n3 -0.1\n", ""},
        {"0.5 -2\n1 -1\n2 -0.4\n", "the table file <T> holds fewer than 4 points"},
        {"0.5 -2\n1 -1\n1 -0.4\n3 -0.1\n",
         "line 3 of the table file <T>: the radii do not increase"},
        {"0.5 -2\n1 nan\n2 -0.4\n3 -0.1\n",
         "line 2 of the table file <T> holds a value that is not finite"},
        {"0.5 -2\n1 -1 7\n2 -0.4\n3 -0.1\n",
         "line 2 of the table file <T> does not hold two numbers r and v"},
        {"0.5 -2\n1 x\n", "line 2 of the table file <T> does not hold two numbers r and v"},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.contents);
        std::ofstream(table, std::ios::binary) << f.contents;
        std::string message = f.message;
        if (const std::size_t at = message.find("<T>"); at != std::string::npos)
            message.replace(at + 1, 1, table);
        if (message.empty()) {
            load(with("pot_type = table|table = " + table));
            EXPECT_EQ(run_record.potential.table_r, std::vector({0.5, 1.0, 2.0, 3.0}));
            EXPECT_EQ(run_record.potential.table_v, std::vector({-2.0, -1.0, -0.4, -0.1}));
        } else {
            expect_load_error(with("pot_type = table|table = " + table), message);
        }
    }
    std::remove(table.c_str());
    expect_load_error(with("pot_type = table|table = " + table),
                      "unable to open the table file <" + table + ">");
}

// The loaded record as problem values: the text keys as kinds, the Dirac scheme's speed of light
// the one the run uses, the numbers as loaded.
TEST_F(Loader, ProblemOfTheRecord) {
    const struct {
        std::string lines;
        BasisKind basis;
        bool dirac;
        PotentialKind potential;
    } cases[] = {
        {"lambda = 0.7|l = 2", BasisKind::laguerre, false, PotentialKind::user},
        {"basis = gauss|pot_type = well|v0 = -2|a = 0.5|b = 3", BasisKind::oscillator, false,
         PotentialKind::well},
        {"scheme = relativistic|kappa = -1|pot_type = coulomb|r0 = 2|z = 3|alpha = 1.5",
         BasisKind::laguerre, true, PotentialKind::coulomb},
        {"scheme = relativistic|l = 1|kappa = 1|v_light = infinite|pot_type = yukawa|r0 = 0|"
         "g = 2|m = 0.5",
         BasisKind::laguerre, true, PotentialKind::yukawa},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        load(with(c.lines));
        const RunSettings& s = run_record;
        const Problem problem = problem_of(s);
        EXPECT_EQ(problem.basis.kind, c.basis);
        EXPECT_EQ(problem.basis.lambda, s.lambda);
        EXPECT_EQ(problem.scheme.dirac, c.dirac);
        EXPECT_EQ(problem.scheme.light, c.dirac ? s.v_light : 0.0);
        EXPECT_EQ(problem.wave.l, s.projectile.l);
        EXPECT_EQ(problem.wave.kappa, s.projectile.kappa);
        const Potential& v = problem.potential;
        const PotentialParams& p = s.potential;
        EXPECT_EQ(v.kind, c.potential);
        EXPECT_EQ(std::vector({v.r0, v.v0, v.a, v.b, v.z, v.alpha, v.g, v.m}),
                  std::vector({p.r0, p.v0, p.a, p.b, p.z, p.alpha, p.g, p.m}));
    }
}

}  // namespace
}  // namespace skarven::test
