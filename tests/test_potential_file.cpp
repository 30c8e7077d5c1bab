// Guards against a saved potential matrix that is lost, damaged or loaded for the wrong run.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "potential.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

namespace fs = std::filesystem;

// A Coulomb run, Laguerre basis, l = 0, lambda = 1: V(n, m) = -(n + 1) d(n, m) when
// non-relativistic.
void base_run(const char* scheme = "non-relativistic", int ntrunc = 3, int kappa = 0) {
    sk_globals = RunSettings{};
    sk_globals.basis = padded("laguerre", 8);
    sk_globals.scheme = padded(scheme, 16);
    sk_globals.potential.pot_type = padded("coulomb", 8);
    sk_globals.lambda = sk_globals.potential.z = sk_globals.potential.alpha = 1.0;
    sk_globals.projectile.e = 0.5;
    sk_globals.projectile.kappa = kappa;
    sk_globals.ntrunc = sk_globals.nstart = ntrunc;
    sk_globals.nend = 5;
    sk_globals.pass = 1;
}

int dim() {
    return text_is(sk_globals.scheme, "relativistic") ? 2 * sk_globals.ntrunc : sk_globals.ntrunc;
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
    sk_globals.vn_is_loaded = false;
    sk_globals.vn_file_match = true;
    std::vector<double> m(dim() * dim(), -1.0);
    read_vn_from_file(dim(), m.data());
    if (out) *out = m;
    EXPECT_EQ(sk_globals.vn_is_loaded, sk_globals.vn_file_match);
    return sk_globals.vn_is_loaded;
}

// The lines of saved.vn.<ntrunc> and the index of its matrix header (the first line without ';').
std::pair<std::vector<std::string>, std::size_t> saved_lines() {
    const auto lines = file_lines("saved.vn." + std::to_string(sk_globals.ntrunc));
    std::size_t h = 0;
    while (h < lines.size() && lines[h].find(';') != std::string::npos)
        ++h;
    return {lines, h};
}

void write_lines(const std::vector<std::string>& lines) {
    std::ofstream out("saved.vn." + std::to_string(sk_globals.ntrunc));
    for (const std::string& line : lines)
        out << line << '\n';
}

class SavedFile : public SettingsTest {
  protected:
    void SetUp() override { base_run(); }
    void TearDown() override {
        vn(0, 0, CacheAction::release);
        SettingsTest::TearDown();
    }
    ScratchDirectory scratch_;
};

TEST_F(SavedFile, RoundTripIsBitExactInTheDocumentedLayout) {
    sk_globals.ntrunc = 4;
    // clang-format off
    const std::vector<double> values = {1.0 / 3.0, -0.0, 0.0, 6.02214076e23, -1.0e-300, 2.5e300,
        std::numbers::pi, std::nextafter(1.0, 2.0), -123.456789012345678, 4.9406564584124654e-320};
    // clang-format on
    write_marked(values);
    std::vector<double> back;
    ASSERT_TRUE(read_back(&back));
    for (int r = 0, k = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_TRUE(same_bits(back[r + c * 4], c <= r ? values[k++] : -1.0)) << r << "," << c;
    // saved.vn.<N>: the program's banner, a 121-column header, the lower triangle row by row.
    sk_globals.ntrunc = 50;
    write_marked();
    auto [lines, h] = saved_lines();
    ASSERT_LT(h, lines.size());
    EXPECT_EQ(lines[0], "; OUTPUT FROM THE SKARVEN PROGRAM");
    EXPECT_EQ(lines[h].size(), 121u);
    EXPECT_EQ(lines.size() - h - 1, 50u * 51u / 2u);
    EXPECT_EQ(lines[h + 1][0], ' ');
    for (const double v : {100.0, 110.0, 111.0, 120.0})
        EXPECT_EQ(std::strtod(lines[++h].c_str(), nullptr), v);
}

// The matrix header: N, l, kappa, lambda, basis, scheme, potential, its parameters in 22 columns.
TEST_F(SavedFile, MatrixHeaderLines) {
    const struct {
        const char *scheme, *basis, *pot_type;
        int n, l, kappa;
        double lambda, v0, r0;
        std::string expected;
    } cases[] = {{"relativistic", "laguerre", "coulomb", 10, 0, -1, 1.0, 0.0, 0.0,
                  "   10    0   -1 1.00 laguerre relativistic     coulomb     1.0000000000000000"
                  "    1.0000000000000000    0.0000000000000000"},
                 {"non-relativistic", "gauss", "user", 3, 2, 0, 0.75, 0.0, 2.5,  // one parameter
                  "    3    2    0 0.75 gauss    non-relativistic user        2.5000000000000000"},
                 {"non-relativistic", "laguerre", "well", 3, 0, 0, 1.0, -1.0e10, 0.0,  // too wide
                  "    3    0    0 1.00 laguerre non-relativistic well    " + std::string(22, '*') +
                      "    0.0000000000000000    0.0000000000000000"}};
    for (const auto& c : cases) {
        base_run(c.scheme, c.n, c.kappa);
        sk_globals.basis = padded(c.basis, 8);
        sk_globals.potential.pot_type = padded(c.pot_type, 8);
        sk_globals.projectile.l = c.l;
        sk_globals.lambda = c.lambda;
        sk_globals.potential.v0 = c.v0;
        sk_globals.potential.r0 = c.r0;
        write_marked();
        const auto [lines, h] = saved_lines();
        ASSERT_LT(h, lines.size());
        EXPECT_EQ(lines[h], c.expected);
    }
}

// Each setting the file records is compared on its own; the energy and the parameters of other
// potential types are not.
TEST_F(SavedFile, EachAcceptanceConditionRejectsAlone) {
    using P = PotentialParams;
    const struct {
        const char* name;
        std::function<void()> change;
        bool accepted;
    } cases[] = {
        {"unchanged", [] {}, true},
        {"energy", [] { sk_globals.projectile.e = 2.0; }, true},
        {"l", [] { sk_globals.projectile.l = 1; }, false},
        {"kappa", [] { sk_globals.projectile.kappa = 2; }, false},
        {"scheme", [] { sk_globals.scheme = padded("relativistic", 16); }, false},
        {"lambda 1.004 (written as 1.00)", [] { sk_globals.lambda = 1.004; }, false},
        {"basis", [] { sk_globals.basis = padded("gauss", 8); }, false},
        {"pot_type", [] { sk_globals.potential.pot_type = padded("yukawa", 8); }, false},
        {"alpha by one ulp", [] { sk_globals.potential.alpha = 1.0 + 1e-15; }, false},
        {"N", [] { sk_globals.ntrunc = 4, fs::rename("saved.vn.3", "saved.vn.4"); }, false}};
    for (const auto& c : cases) {
        base_run();
        write_marked();
        c.change();
        EXPECT_EQ(read_back(), c.accepted) << c.name;
    }
    const struct {
        const char* pot_type;
        double P::*field;
        bool compared;
    } fields[] = {
        {"well", &P::v0, true},    {"well", &P::a, true},     {"well", &P::b, true},
        {"well", &P::r0, false},   {"coulomb", &P::z, true},  {"coulomb", &P::alpha, true},
        {"coulomb", &P::r0, true}, {"coulomb", &P::g, false}, {"yukawa", &P::g, true},
        {"yukawa", &P::m, true},   {"yukawa", &P::r0, true},  {"yukawa", &P::z, false},
        {"user", &P::r0, true},    {"user", &P::v0, false}};
    for (const auto& c : fields) {
        base_run();
        sk_globals.potential = {padded(c.pot_type, 8), 3.0, -1.0, 0.25, 1.0, 1.0, 1.0, 0.1, 1.0};
        write_marked();
        sk_globals.potential.*c.field += 0.5;
        EXPECT_EQ(read_back(), !c.compared) << c.pot_type << " parameter change";
    }
}

TEST_F(SavedFile, DamagedFilesAreRejected) {
    using Lines = std::vector<std::string>;
    const struct {
        const char* name;
        std::function<void(Lines&, std::size_t)> damage;
    } cases[] = {
        {"cut inside the values", [](auto& l, auto) { l.pop_back(); }},
        {"asterisks for a value", [](auto& l, auto h) { l[h + 3] = " ******"; }},
        {"text for a value", [](auto& l, auto h) { l[h + 2] = " value"; }},
        {"asterisks in a parameter", [](auto& l, auto h) { l[h].replace(77, 22, 22, '*'); }},
        {"asterisks for N", [](auto& l, auto h) { l[h].replace(0, 5, "*****"); }},
        {"text for lambda", [](auto& l, auto h) { l[h].replace(15, 5, " one."); }},
        {"header cut inside the parameters", [](auto& l, auto h) { l[h].resize(90); }},
        {"no matrix header", [](auto& l, auto h) { l.resize(h); }},
        {"empty file", [](auto& l, auto) { l.clear(); }},
        {"missing file", [](auto&, auto) { fs::remove("saved.vn.3"); }},
        {"a directory",
         [](auto&, auto) { fs::remove("saved.vn.3"), fs::create_directory("saved.vn.3"); }}};
    for (const auto& c : cases) {
        base_run();
        write_marked();
        auto [lines, h] = saved_lines();
        ASSERT_EQ(lines.size(), h + 7);
        c.damage(lines, h);
        if (fs::is_regular_file("saved.vn.3")) write_lines(lines);
        EXPECT_FALSE(read_back()) << c.name;
        fs::remove_all("saved.vn.3");
    }
}

// Values in other free forms, as another program might write them, are read.
TEST_F(SavedFile, FreeFormValues) {
    write_marked();
    auto [lines, h] = saved_lines();
    lines[h + 1] = "1.5d0";
    lines[h + 2] = "  -2   and a comment";
    lines[h + 3] = "3.25E-1,";
    lines.insert(lines.begin() + h + 4, "");  // a blank line is passed over
    write_lines(lines);
    std::vector<double> m;
    ASSERT_TRUE(read_back(&m));
    EXPECT_TRUE(m[0] == 1.5 && m[1] == -2.0 && m[4] == 0.325 && m[2] == 120.0);
}

// The note only with screen output in pass 1; an unwritable file is a warning; the extra save
// size is the first integer of sk.par, else 0.
TEST_F(SavedFile, MessagesAndExtraSaveSize) {
    write_marked();
    for (int k = 0; k < 3; ++k) {  // pass 1 with and without screen output, pass 2
        sk_globals.scr = k != 1;
        sk_globals.pass = k == 2 ? 2 : 1;
        testing::internal::CaptureStdout();
        EXPECT_TRUE(read_back());
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  k == 0
                      ? " (Info: Elements of the truncated potential have been read from file.)\n"
                      : "");
    }
    fs::remove("saved.vn.3");
    fs::create_directory("saved.vn.3");
    testing::internal::CaptureStdout();
    write_marked();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " Warning (write_vn_to_file): unable to write the saved potential file.\n");
    const struct {
        const char* content;  // nullptr: no file
        int expected;
    } pars[] = {
        {"   12   extra\n", 12}, {"\n7\n", 7}, {nullptr, 0}, {"six\n", 0}, {"6.5\n", 0}, {"", 0}};
    for (const auto& c : pars) {
        fs::remove("sk.par");
        if (c.content != nullptr) std::ofstream("sk.par") << c.content;
        EXPECT_EQ(read_n_to_save_v(), c.expected) << (c.content ? c.content : "no file");
    }
}

// A loaded matrix serves only the first size and the energy pass; a failed load is not retried,
// none is tried after the first size. The true elements (-(n + 1) on the diagonal, 0 off it)
// are far from the marked values.
TEST_F(SavedFile, LoadedMatrixServesOnlyTheFirstSizeAndTheEnergyPass) {
    write_marked();
    EXPECT_TRUE(vn(2, 1) == 121.0 && vn(1, 2) == 121.0 && vn(0, 0) == 100.0);
    EXPECT_TRUE(sk_globals.vn_is_loaded);
    sk_globals.ntrunc = 4;  // next size: integrated
    EXPECT_NEAR(vn(3, 3), -4.0, 1e-8);
    EXPECT_NEAR(vn(3, 0), 0.0, 1e-8);
    sk_globals.pass = 2;  // energy pass: the cache again, indices outside it integrated
    sk_globals.ntrunc = 3;
    EXPECT_EQ(vn(1, 1), 111.0);
    EXPECT_EQ(vn(3, 3), 0.0) << "outside the cache: the layout of N = 3";
    EXPECT_EQ(vn(1, 1, CacheAction::release), 111.0) << "release after the lookup";
    EXPECT_NEAR(vn(1, 1), -2.0, 1e-8) << "released: integrated";
    vn(0, 0, CacheAction::release);

    base_run();
    fs::remove("saved.vn.3");
    EXPECT_NEAR(vn(0, 0), -1.0, 1e-8);  // no file yet
    EXPECT_FALSE(sk_globals.vn_file_match);
    write_marked();
    EXPECT_NEAR(vn(0, 0), -1.0, 1e-8);
    EXPECT_FALSE(sk_globals.vn_is_loaded);
    vn(0, 0, CacheAction::release);
    base_run();
    sk_globals.ntrunc = 4;  // pass 1, not nstart
    fs::rename("saved.vn.3", "saved.vn.4");
    EXPECT_NEAR(vn(1, 1), -2.0, 1e-8);
    EXPECT_TRUE(sk_globals.vn_file_match && !sk_globals.vn_is_loaded) << "no attempt was made";
    vn(0, 0, CacheAction::release);
    base_run("relativistic", 2, -1);  // the cache has order 2N
    write_marked();
    EXPECT_TRUE(vn(3, 3) == 133.0 && vn(3, 0) == 130.0);
    std::vector<double> matrix(16, 0.0);
    vn_lower_triangle(4, matrix.data());
    EXPECT_TRUE(matrix[3 + 2 * 4] == 132.0 && matrix[0] == 100.0);
}

}  // namespace
}  // namespace skarven::test
