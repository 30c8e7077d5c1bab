// Guards against a saved potential matrix that is lost, misread, taken for other settings or used
// at the wrong basis size.
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "driver.hpp"
#include "saved_matrix.hpp"
#include "settings.hpp"
#include "settings_fixture.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

namespace fs = std::filesystem;

struct Setting {
    const char *basis, *scheme, *pot_type;
    int l, kappa;
    double lambda, params[8];  // v0, a, b, z, alpha, g, m, r0
    int n;
};

void apply(const Setting& s) {
    run_record = RunSettings{};
    run_record.basis = padded(s.basis, 8);
    run_record.scheme = padded(s.scheme, 16);
    run_record.potential.pot_type = padded(s.pot_type, 8);
    run_record.projectile.l = s.l;
    run_record.projectile.kappa = s.kappa;
    run_record.lambda = s.lambda;
    PotentialParams& p = run_record.potential;
    double* fields[] = {&p.v0, &p.a, &p.b, &p.z, &p.alpha, &p.g, &p.m, &p.r0};
    for (int f = 0; f < 8; ++f)
        *fields[f] = s.params[f];
    run_record.ntrunc = run_record.nstart = run_record.nend = s.n;
}

// A Coulomb run, Laguerre basis, l = 0, lambda = 1: non-relativistic V(n, m) = -(n + 1) d(n, m).
void base_run(const char* scheme = "non-relativistic", int ntrunc = 3, int kappa = 0) {
    apply({"laguerre", scheme, "coulomb", 0, kappa, 1.0, {0, 0, 0, 1, 1}, ntrunc});
    run_record.projectile.e = 0.5;
    run_record.nend = 5;
    run_record.pass = 1;
    if (text_is(run_record.scheme, "relativistic")) {  // the basis order depends on c
        run_record.vol = padded("finite", 8);
        run_record.v_light = 137.0359996287515;
    }
}

int dim() {
    return text_is(run_record.scheme, "relativistic") ? 2 * run_record.ntrunc : run_record.ntrunc;
}

// Writes values no integral gives, 100 + 10 r + c (or `values` row by row).
void write_marked(std::vector<double> values = {}) {
    std::vector<double> m(dim() * dim(), 0.0);
    for (int r = 0, k = 0; r < dim(); ++r)
        for (int c = 0; c <= r; ++c, ++k)
            m[r + c * dim()] = values.empty() ? 100.0 + 10.0 * r + c : values[k];
    write_vn_to_file(dim(), m.data());
}

// Reads with the current settings; true when the file was accepted.
bool read_back(std::vector<double>* out = nullptr) {
    run_record.vn_is_loaded = false;
    run_record.vn_file_match = true;
    std::vector<double> m(dim() * dim(), -1.0);
    read_vn_from_file(dim(), m.data());
    if (out) *out = m;
    EXPECT_EQ(run_record.vn_is_loaded, run_record.vn_file_match);
    return run_record.vn_is_loaded;
}

// The lines of saved.vn.<ntrunc> and the index of its matrix header (the first line without ';').
std::pair<std::vector<std::string>, std::size_t> saved_lines() {
    const auto lines = file_lines("saved.vn." + std::to_string(run_record.ntrunc));
    std::size_t h = 0;
    while (h < lines.size() && lines[h].find(';') != std::string::npos)
        ++h;
    return {lines, h};
}

void write_lines(const std::vector<std::string>& lines) {
    std::ofstream out("saved.vn." + std::to_string(run_record.ntrunc));
    for (const std::string& line : lines)
        out << line << '\n';
}

class SavedFile : public SettingsTest {
  protected:
    void SetUp() override { base_run(); }
    ScratchDirectory scratch_;
};

// saved.vn.<N>: the program's banner, a 121-column header, the lower triangle row by row, each
// value read back to its bits.
TEST_F(SavedFile, RoundTripIsBitExactInTheDocumentedLayout) {
    run_record.ntrunc = 4;
    // clang-format off
    const std::vector<double> values = {1.0 / 3.0, -0.0, 0.0, 6.02214076e23, -1.0e-300, 2.5e300,
        std::numbers::pi, std::nextafter(1.0, 2.0), -123.456789012345678, 4.9406564584124654e-320};
    // clang-format on
    write_marked(values);
    const auto [lines, h] = saved_lines();
    ASSERT_EQ(lines.size(), h + 11);
    EXPECT_EQ(lines[0], "; OUTPUT FROM THE SKARVEN PROGRAM");
    EXPECT_EQ(lines[h].size(), 121u);
    for (std::size_t k = 0; k < values.size(); ++k)
        EXPECT_TRUE(lines[h + 1 + k][0] == ' ' &&
                    same_bits(std::strtod(lines[h + 1 + k].c_str(), nullptr), values[k]))
            << lines[h + 1 + k];
    std::vector<double> back;
    ASSERT_TRUE(read_back(&back));
    for (int r = 0, k = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_TRUE(same_bits(back[r + c * 4], c <= r ? values[k++] : -1.0)) << r << "," << c;
}

// The matrix header: N, l, kappa, lambda, basis, scheme, potential, its parameters in 22 columns.
TEST_F(SavedFile, MatrixHeaderLines) {
    const std::pair<Setting, std::string> cases[] = {
        {{"laguerre", "relativistic", "coulomb", 0, -1, 1.0, {0, 0, 0, 1, 1}, 10},
         "   10    0   -1 1.00 laguerre relativistic     coulomb     1.0000000000000000"
         "    1.0000000000000000    0.0000000000000000"},
        {{"gauss", "non-relativistic", "user", 2, 0, 0.75, {0, 0, 0, 0, 0, 0, 0, 2.5}, 3},  // one
         "    3    2    0 0.75 gauss    non-relativistic user        2.5000000000000000"},
        {{"laguerre", "non-relativistic", "well", 0, 0, 1.0, {-1.0e10}, 3},  // too wide: asterisks
         "    3    0    0 1.00 laguerre non-relativistic well    " + std::string(22, '*') +
             "    0.0000000000000000    0.0000000000000000"}};
    for (const auto& [setting, expected] : cases) {
        apply(setting);
        write_marked();
        const auto [lines, h] = saved_lines();
        ASSERT_LT(h, lines.size());
        EXPECT_EQ(lines[h], expected);
    }
}

// A Dirac wave at a -Z/r origin is expanded in a basis of order gamma - 1, which depends on Z/c:
// its file carries the order after the parameters, and a file without it (as older runs wrote it)
// or of another speed of light is not taken.
TEST_F(SavedFile, BasisOrderOfACoulombLikeOrigin) {
    apply({"laguerre", "relativistic", "coulomb", 0, -1, 1.0, {0, 0, 0, 80, 1}, 3});
    run_record.vol = padded("finite", 8);
    run_record.v_light = 137.0359996287515;
    write_marked();
    auto [lines, h] = saved_lines();
    ASSERT_LT(h, lines.size());
    const double gamma = std::sqrt(1.0 - std::pow(80.0 / 137.0359996287515, 2));
    ASSERT_EQ(lines[h].size(), 55u + 4u * 22u);  // z, alpha, r0, order
    EXPECT_NEAR(std::strtod(lines[h].c_str() + 121, nullptr), gamma - 1.0, 1e-16);
    EXPECT_TRUE(read_back());
    run_record.v_light = 274.0;
    EXPECT_FALSE(read_back()) << "another speed of light";
    run_record.v_light = 137.0359996287515;
    lines[h].resize(121);
    write_lines(lines);
    EXPECT_FALSE(read_back()) << "no order";
    run_record.potential.z = 1e-9;  // gamma rounds to 1: the integer order, as before
    lines[h].replace(55, 22, "    0.0000000010000000");
    write_lines(lines);
    EXPECT_TRUE(read_back());
}

// Each recorded setting is compared alone; the energy and other types' parameters are not.
TEST_F(SavedFile, EachAcceptanceConditionRejectsAlone) {
    using P = PotentialParams;
    const std::tuple<const char*, std::function<void()>, bool> cases[] = {
        {"unchanged", [] {}, true},
        {"energy", [] { run_record.projectile.e = 2.0; }, true},
        {"l", [] { run_record.projectile.l = 1; }, false},
        {"kappa", [] { run_record.projectile.kappa = 2; }, false},
        {"scheme", [] { run_record.scheme = padded("relativistic", 16); }, false},
        {"lambda 1.004 (written as 1.00)", [] { run_record.lambda = 1.004; }, false},
        {"basis", [] { run_record.basis = padded("gauss", 8); }, false},
        {"pot_type", [] { run_record.potential.pot_type = padded("yukawa", 8); }, false},
        {"alpha by one ulp", [] { run_record.potential.alpha = 1.0 + 1e-15; }, false},
        {"N", [] { run_record.ntrunc = 4, fs::rename("saved.vn.3", "saved.vn.4"); }, false}};
    for (const auto& [name, change, accepted] : cases) {
        base_run();
        write_marked();
        change();
        EXPECT_EQ(read_back(), accepted) << name;
    }
    const std::tuple<const char*, double P::*, bool> fields[] = {
        {"well", &P::v0, true},    {"well", &P::a, true},     {"well", &P::b, true},
        {"well", &P::r0, false},   {"coulomb", &P::z, true},  {"coulomb", &P::alpha, true},
        {"coulomb", &P::r0, true}, {"coulomb", &P::g, false}, {"yukawa", &P::g, true},
        {"yukawa", &P::m, true},   {"yukawa", &P::r0, true},  {"yukawa", &P::z, false},
        {"user", &P::r0, true},    {"user", &P::v0, false}};
    for (const auto& [pot_type, field, compared] : fields) {
        base_run();
        run_record.potential = {padded(pot_type, 8), 3.0, -1.0, 0.25, 1.0, 1.0, 1.0, 0.1, 1.0};
        write_marked();
        run_record.potential.*field += 0.5;
        EXPECT_EQ(read_back(), !compared) << pot_type << " parameter change";
    }
}

// A formula or table is known by its hash: a changed text, break or sample is never loaded; the
// names longer than the 8-column field are told apart by their first 8 characters.
TEST_F(SavedFile, FormulaAndTableKnownByTheirHash) {
    using P = PotentialParams;
    const auto resampled = [](P& p) {
        p.table_v[2] = -0.25;
        p.range = p.diffuse = p.radius = 1.5;
    };
    const std::tuple<const char*, const char*, std::function<void(P&)>, bool> cases[] = {
        {"formula", "same", [](P&) {}, true},
        {"formula", "text", [](P& p) { p.formula = "-2*exp(-r*r)"; }, false},
        {"formula", "breaks", [](P& p) { p.breaks = {1.5}; }, false},
        {"formula", "r0", [](P& p) { p.r0 = 2.0; }, false},
        {"formula", "a table", [](P& p) { p.pot_type = padded("table", 16); }, false},
        {"table", "same", [](P&) {}, true},
        {"table", "changed", resampled, false},
        {"woods-saxon", "same", [](P&) {}, true},
        {"woods-saxon", "changed", resampled, false},
        {"exponential", "same", [](P&) {}, true},
        {"exponential", "changed", resampled, false}};
    for (const auto& [pot_type, name, change, accepted] : cases) {
        base_run();
        P& p = run_record.potential;
        p.pot_type = padded(pot_type, 16);
        p.formula = "-exp(-r*r)";
        p.breaks = {1.0};
        p.table_r = {1, 2, 3, 4};
        p.table_v = {-1, -0.5, -0.2, -0.1};
        p.range = p.diffuse = p.radius = p.v0 = 1.0;
        write_marked();
        const auto [lines, h] = saved_lines();
        if (text_is(p.pot_type, "formula")) {
            EXPECT_EQ(lines[h].size(), 55u + 2 * 22u) << lines[h];
        }
        change(p);
        EXPECT_EQ(read_back(), accepted) << pot_type << " " << name;
    }
}

TEST_F(SavedFile, DamagedFilesAreRejected) {
    using Lines = std::vector<std::string>;
    const std::pair<const char*, std::function<void(Lines&, std::size_t)>> cases[] = {
        {"cut inside the values", [](auto& l, auto) { l.pop_back(); }},
        {"asterisks for a value", [](auto& l, auto h) { l[h + 3] = " ******"; }},
        {"text for a value", [](auto& l, auto h) { l[h + 2] = " value"; }},
        {"a second number after a comma", [](auto& l, auto h) { l[h + 2] = " 1.0,2.0"; }},
        {"a second number after a blank", [](auto& l, auto h) { l[h + 2] = " 1.0 2.0"; }},
        {"a comment after a value", [](auto& l, auto h) { l[h + 2] = "  -2   and a comment"; }},
        {"a slash after a value", [](auto& l, auto h) { l[h + 2] = " 3.25E-1/"; }},
        {"a blank line among the values", [](auto& l, auto h) { l.insert(l.begin() + h + 2, ""); }},
        {"text after the matrix header", [](auto& l, auto h) { l[h] += "  saved by hand"; }},
        {"asterisks in a parameter", [](auto& l, auto h) { l[h].replace(77, 22, 22, '*'); }},
        {"asterisks for N", [](auto& l, auto h) { l[h].replace(0, 5, "*****"); }},
        {"text for lambda", [](auto& l, auto h) { l[h].replace(15, 5, " one."); }},
        {"header cut inside the parameters", [](auto& l, auto h) { l[h].resize(90); }},
        {"no matrix header", [](auto& l, auto h) { l.resize(h); }},
        {"empty file", [](auto& l, auto) { l.clear(); }},
        {"missing file", [](auto&, auto) { fs::remove("saved.vn.3"); }},
        {"a directory",
         [](auto&, auto) { fs::remove("saved.vn.3"), fs::create_directory("saved.vn.3"); }}};
    for (const auto& [name, damage] : cases) {
        base_run();
        write_marked();
        auto [lines, h] = saved_lines();
        ASSERT_EQ(lines.size(), h + 7);
        damage(lines, h);
        if (fs::is_regular_file("saved.vn.3")) write_lines(lines);
        EXPECT_FALSE(read_back()) << name;
        fs::remove_all("saved.vn.3");
    }
}

// One number a line in other forms, as another program might write it, is read; so are blanks
// and a carriage return after the matrix header.
TEST_F(SavedFile, FreeFormValues) {
    write_marked();
    auto [lines, h] = saved_lines();
    lines[h] += "   \r";
    lines[h + 1] = "1.5d0";
    lines[h + 2] = "  -2 \t";
    lines[h + 3] = "3.25E-1\r";
    write_lines(lines);
    std::vector<double> m;
    ASSERT_TRUE(read_back(&m));
    EXPECT_TRUE(m[0] == 1.5 && m[1] == -2.0 && m[4] == 0.325 && m[2] == 120.0);
}

// A run killed before its rename leaves saved.vn.<N>.tmp.<pid>.<k> for good: the next write
// removes those of its own name whose process is gone (its own id included) and nothing else.
TEST_F(SavedFile, StaleTemporariesOfAKilledRunAreRemoved) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    const std::string dead = std::to_string(child), self = std::to_string(::getpid()),
                      alive = std::to_string(::getppid());
    // Each name, and whether the write removes it.
    const std::pair<std::string, bool> files[] = {{"saved.vn.3.tmp." + dead + ".0", true},
                                                  {"saved.vn.3.tmp." + dead + ".999", true},
                                                  {"saved.vn.3.tmp." + self + ".0", true},
                                                  {"saved.vn.3.tmp." + alive + ".0", false},
                                                  {"saved.vn.3.tmp." + dead + ".1000", false},
                                                  {"saved.vn.3.tmp." + dead + ".0x", false},
                                                  {"saved.vn.3.tmp.0" + dead + ".0", false},
                                                  {"saved.vn.3.tmp." + dead, false},
                                                  {"saved.vn.3.tmp.0.0", false},
                                                  {"saved.vn.3.tmp.-1.0", false},
                                                  {"saved.vn.30.tmp." + dead + ".0", false},
                                                  {"xsaved.vn.3.tmp." + dead + ".0", false}};
    for (const auto& [name, removed] : files)
        std::ofstream(name) << "partial\n";
    fs::create_directory("saved.vn.3.tmp." + dead + ".1");
    fs::create_symlink("saved.vn.30.tmp." + dead + ".0", "saved.vn.3.tmp." + dead + ".2");
    write_marked();
    EXPECT_TRUE(read_back());
    for (const auto& [name, removed] : files)
        EXPECT_EQ(fs::exists(name), !removed) << name;
    EXPECT_TRUE(fs::is_directory("saved.vn.3.tmp." + dead + ".1"));
    EXPECT_TRUE(fs::is_symlink("saved.vn.3.tmp." + dead + ".2"));
}

// Info note only with screen output in pass 1; sk.par's extra save size, with a warning when its
// content is no basis size.
TEST_F(SavedFile, MessagesAndExtraSaveSize) {
    write_marked();
    const char* note = " (Info: Elements of the truncated potential have been read from file.)\n";
    for (int k = 0; k < 3; ++k) {  // pass 1 with and without screen output, pass 2
        run_record.scr = k != 1;
        run_record.pass = k == 2 ? 2 : 1;
        testing::internal::CaptureStdout();
        EXPECT_TRUE(read_back());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), k == 0 ? note : "");
    }
    const std::string unreadable =
        " Warning (read_n_to_save_v): unable to read a basis size from sk.par.\n";
    const std::tuple<const char*, int, bool> pars[] = {// nullptr: no file
                                                       {"   12   extra\n", 12, false},
                                                       {"\n7\n", 7, false},
                                                       {nullptr, 0, false},
                                                       {"six\n", 0, true},
                                                       {"6.5\n", 0, true},
                                                       {"", 0, false}};
    for (const auto& [content, expected, warned] : pars) {
        fs::remove("sk.par");
        if (content != nullptr) std::ofstream("sk.par") << content;
        testing::internal::CaptureStdout();
        EXPECT_EQ(read_n_to_save_v(), expected) << (content ? content : "no file");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), warned ? unreadable : "")
            << (content ? content : "no file");
    }
}

// Loaded matrices in real runs.

struct Point {
    double x, tan_delta, delta;  // x: N or energy
};

// A run of the base settings over N = nstart ... nend at e = 0.5, with the energy pass at
// e = 0.5 and 1.0; the basis-size points followed by the energy points. `before` may change the
// run record last.
std::vector<Point> run(const char* scheme, int kappa, int nstart, int nend, bool fast,
                       const std::function<void()>& before = {}) {
    base_run(scheme, nstart, kappa);
    RunSettings& r = run_record;
    r.nend = nend;
    r.pass = 0;
    r.solver = padded(fast ? "fast" : "eigen", 8);
    if (!text_is(r.scheme, "relativistic")) r.v_light = 5000.0;
    r.energies = true;
    r.estart = r.estep = 0.5;
    r.eend = 1.0;
    if (before) before();
    testing::internal::CaptureStdout();  // the run's notes on averages and RMS
    control_calc_delta("out");
    testing::internal::GetCapturedStdout();
    std::vector<Point> points;
    for (const char* name : {"out", "out.en"})
        for (const std::string& line : file_lines(name)) {
            if (line.empty() || line[0] == ';') continue;
            Point p{};
            std::istringstream(line) >> p.x >> p.tan_delta >> p.delta;
            points.push_back(p);
        }
    return points;
}

void remove_saved_files() {
    for (const auto& entry : fs::directory_iterator("."))
        if (entry.path().filename().string().starts_with("saved.vn.")) fs::remove(entry.path());
}

// The matrix of saved.vn.<n> for the base settings (empty when it is not accepted).
std::vector<double> saved_matrix(const char* scheme, int kappa, int n) {
    base_run(scheme, n, kappa);
    std::vector<double> m;
    if (!read_back(&m)) m.clear();
    return m;
}

// Marks that differ from -(n + 1) must change the phase shift at the first basis size; the
// energy pass, which reuses the matrix the basis-size pass ended with, agrees with that size's
// point at e = 0.5. The file is read only for nstart, the later sizes' new elements are integrated
// (saved.vn.<nend> equals the integrated one outside the marked block), and a file loaded at
// nstart = nend is not written again.
TEST_F(SavedFile, LoadedMatrixServesOnlyTheFirstSizeAndTheEnergyPass) {
    const auto same = [](const std::vector<Point>& a, const std::vector<Point>& b) {
        bool equal = a.size() == b.size();
        for (std::size_t k = 0; equal && k < a.size(); ++k)
            equal = same_bits(a[k].delta, b[k].delta) && same_bits(a[k].x, b[k].x);
        return equal;
    };
    std::vector<Point> marked_range[2], marked_dirac[2];  // eigen route, fast route
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "fast route" : "eigen route");
        const char* rel = "non-relativistic";
        remove_saved_files();
        const std::vector<Point> clean_single = run(rel, 0, 3, 3, fast);
        EXPECT_FALSE(run_record.vn_file_match) << "no file yet";
        remove_saved_files();
        const std::vector<Point> clean = run(rel, 0, 3, 5, fast);
        const std::vector<double> clean_5 = saved_matrix(rel, 0, 5);
        ASSERT_EQ(clean_single.size(), 3u);
        ASSERT_EQ(clean.size(), 5u);
        ASSERT_EQ(clean_5.size(), 25u);
        EXPECT_NEAR(clean_5[3 + 3 * 5], -4.0, 1e-8);

        // nstart = nend: the marks serve N = 3 and the energy pass at N = 3. One value is
        // written as "100", so that a rewrite of the file would show.
        remove_saved_files();
        base_run();
        write_marked();
        auto [marked_file, h] = saved_lines();
        marked_file[h + 1] = "100";
        write_lines(marked_file);
        const std::vector<Point> single = run(rel, 0, 3, 3, fast);
        ASSERT_EQ(single.size(), 3u);
        EXPECT_TRUE(run_record.vn_is_loaded);
        EXPECT_GT(std::fabs(single[0].delta - clean_single[0].delta), 1e-6);
        EXPECT_NEAR(single[1].delta, single[0].delta, 1e-9) << "energy pass at e = 0.5";
        EXPECT_GT(std::fabs(single[2].delta - clean_single[2].delta), 1e-6) << "e = 1.0";
        EXPECT_EQ(file_lines("saved.vn.3"), marked_file) << "loaded from there: not rewritten";

        // nstart < nend: the marks are the leading block at every size; the new elements are
        // integrated, and the energy pass at N = 5 uses the matrix of N = 5.
        const std::vector<Point>& range = marked_range[fast] = run(rel, 0, 3, 5, fast);
        ASSERT_EQ(range.size(), 5u);
        EXPECT_GT(std::fabs(range[0].delta - clean[0].delta), 1e-6);
        EXPECT_NEAR(range[3].delta, range[2].delta, 1e-9) << "energy pass at e = 0.5";
        const std::vector<double> saved_5 = saved_matrix(rel, 0, 5);
        ASSERT_EQ(saved_5.size(), 25u);
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c <= r; ++c)
                EXPECT_TRUE(same_bits(saved_5[r + c * 5],
                                      r < 3 ? 100.0 + 10.0 * r + c : clean_5[r + c * 5]))
                    << r << "," << c;

        // A file for a later size is never read, and a failed load is not tried again.
        remove_saved_files();
        base_run("non-relativistic", 4);
        write_marked();
        EXPECT_TRUE(same(run(rel, 0, 3, 5, fast), clean));
        EXPECT_FALSE(run_record.vn_file_match);
        remove_saved_files();
        base_run();
        write_marked();
        EXPECT_TRUE(
            same(run(rel, 0, 3, 3, fast, [] { run_record.vn_file_match = false; }), clean_single));
        EXPECT_FALSE(run_record.vn_is_loaded);

        // Dirac: the file has order 2N, phi_(N-1) ... phi_0 then psi_0 ... psi_(N-1), so the
        // marked blocks of N = 2 sit one position further in at N = 3.
        rel = "relativistic";
        remove_saved_files();
        const std::vector<Point> dirac_clean = run(rel, -1, 2, 3, fast);
        const std::vector<double> dirac_clean_3 = saved_matrix(rel, -1, 3);
        ASSERT_EQ(dirac_clean.size(), 4u);
        ASSERT_EQ(dirac_clean_3.size(), 36u);
        remove_saved_files();
        base_run(rel, 2, -1);
        write_marked();
        const std::vector<Point>& dirac = marked_dirac[fast] = run(rel, -1, 2, 3, fast);
        ASSERT_EQ(dirac.size(), 4u);
        EXPECT_TRUE(run_record.vn_is_loaded);
        EXPECT_GT(std::fabs(dirac[0].delta - dirac_clean[0].delta), 1e-6);
        const std::vector<double> dirac_3 = saved_matrix(rel, -1, 3);
        ASSERT_EQ(dirac_3.size(), 36u);
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c <= r; ++c) {
                const bool inner = c >= 1 && r <= 4, same_block = (r < 3) == (c < 3);
                if (inner && !same_block) continue;  // no potential couples phi and psi
                EXPECT_TRUE(same_bits(dirac_3[r + c * 6], inner ? 100.0 + 10.0 * (r - 1) + c - 1
                                                                : dirac_clean_3[r + c * 6]))
                    << r << "," << c;
            }
    }
    // Both routes read the marks into the same places. The eigen route also keeps the file's
    // phi-psi elements, which the fast route has no place for; the marks there move delta by
    // about 3e-6.
    for (std::size_t k = 0; k < 5; ++k)
        EXPECT_NEAR(marked_range[1][k].delta, marked_range[0][k].delta, 1e-9) << k;
    for (std::size_t k = 0; k < 4; ++k)
        EXPECT_NEAR(marked_dirac[1][k].delta, marked_dirac[0][k].delta, 1e-4) << k;
}

}  // namespace
}  // namespace skarven::test
