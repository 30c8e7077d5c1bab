// Guards against a saved potential matrix that is lost, damaged or loaded for the wrong run.
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "potential.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

namespace fs = std::filesystem;

class SavedFileTest : public SettingsTest {
  protected:
    void SetUp() override {
        SettingsTest::SetUp();
        base_run();
    }
    void TearDown() override {
        sk_globals = RunSettings{};
        vn(0, 0, CacheAction::release);
        SettingsTest::TearDown();
    }

    // Non-relativistic Coulomb run, Laguerre basis, l = 0, lambda = 1: V(n, m) = -(n + 1) d(n, m).
    static void base_run() {
        sk_globals = RunSettings{};
        use_run("laguerre", "non-relativistic", "coulomb", 0, 0, 1.0);
        sk_globals.potential.z = 1.0;
        sk_globals.potential.alpha = 1.0;
        sk_globals.projectile.e = 0.5;
        sk_globals.ntrunc = 3;
        sk_globals.nstart = 3;
        sk_globals.nend = 5;
        sk_globals.pass = 1;
    }

    static int dim() {
        return text_is(sk_globals.scheme, "relativistic") ? 2 * sk_globals.ntrunc
                                                          : sk_globals.ntrunc;
    }

    // Values no integral gives: 100 + 10 r + c.
    static std::vector<double> marked_matrix(int d) {
        std::vector<double> m(d * d, 0.0);
        for (int r = 0; r < d; ++r) {
            for (int c = 0; c <= r; ++c)
                m[r + c * d] = 100.0 + 10.0 * r + c;
        }
        return m;
    }

    static void write_marked() {
        std::vector<double> m = marked_matrix(dim());
        write_vn_to_file(dim(), m.data());
    }

    // Reads with the current settings; true when the file was accepted.
    static bool read_back(std::vector<double>* out = nullptr) {
        sk_globals.vn_is_loaded = false;
        sk_globals.vn_file_match = true;
        std::vector<double> m(dim() * dim(), -1.0);
        read_vn_from_file(dim(), m.data());
        if (out) *out = m;
        EXPECT_EQ(sk_globals.vn_is_loaded, sk_globals.vn_file_match);
        return sk_globals.vn_is_loaded;
    }

    static void write_lines(const std::string& name, const std::vector<std::string>& lines) {
        std::ofstream out(name);
        for (const std::string& line : lines)
            out << line << '\n';
    }

    static std::size_t matrix_header_index(const std::vector<std::string>& lines) {
        for (std::size_t k = 0; k < lines.size(); ++k) {
            if (lines[k].find(';') == std::string::npos) return k;
        }
        return lines.size();
    }

    ScratchDirectory scratch_;
};

TEST_F(SavedFileTest, RoundTripIsBitExact) {
    sk_globals.ntrunc = 4;
    const double values[] = {1.0 / 3.0,
                             -0.0,
                             0.0,
                             6.02214076e23,
                             -1.0e-300,
                             2.5e300,
                             std::numbers::pi,
                             std::nextafter(1.0, 2.0),
                             -123.456789012345678,
                             4.9406564584124654e-320};
    std::vector<double> m(16, 0.0);
    for (int r = 0, k = 0; r < 4; ++r)
        for (int c = 0; c <= r; ++c)
            m[r + c * 4] = values[k++];
    write_vn_to_file(4, m.data());
    std::vector<double> back;
    ASSERT_TRUE(read_back(&back));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_TRUE(same_bits(back[r + c * 4], c <= r ? m[r + c * 4] : -1.0)) << r << "," << c;
}

TEST_F(SavedFileTest, FileNameAndLayout) {
    sk_globals.ntrunc = 50;
    std::vector<double> m = marked_matrix(50);
    write_vn_to_file(50, m.data());
    std::vector<std::string> lines = file_lines("saved.vn.50");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "; OUTPUT FROM THE SKARVEN PROGRAM");
    std::size_t header = matrix_header_index(lines);
    ASSERT_LT(header, lines.size());
    EXPECT_EQ(lines[header].size(), 121u);
    EXPECT_EQ(lines.size() - header - 1, 50u * 51u / 2u);
    // Lower triangle row by row: V(0,0); V(1,0), V(1,1); V(2,0) ...
    EXPECT_EQ(lines[header + 1][0], ' ');
    for (const double v : {100.0, 110.0, 111.0, 120.0})
        EXPECT_EQ(std::strtod(lines[++header].c_str(), nullptr), v);
}

TEST_F(SavedFileTest, MatrixHeaderLines) {
    struct Case {
        const char* name;
        std::function<void()> settings;
        std::string expected;
    };
    const Case cases[] = {
        {"relativistic coulomb",
         [] {
             sk_globals.scheme = padded("relativistic", 16);
             sk_globals.ntrunc = 10;
             sk_globals.projectile.kappa = -1;
         },
         "   10    0   -1 1.00 laguerre relativistic     coulomb " + std::string(4, ' ') +
             "1.0000000000000000" + std::string(4, ' ') + "1.0000000000000000" +
             std::string(4, ' ') + "0.0000000000000000"},
        {"user potential: one parameter",
         [] {
             sk_globals.potential.pot_type = padded("user", 8);
             sk_globals.potential.r0 = 2.5;
             sk_globals.basis = padded("gauss", 8);
             sk_globals.lambda = 0.75;
             sk_globals.projectile.l = 2;
         },
         "    3    2    0 0.75 gauss    non-relativistic user        2.5000000000000000"},
        {"well, too wide a parameter is asterisks",
         [] {
             sk_globals.potential.pot_type = padded("well", 8);
             sk_globals.potential.v0 = -1.0e10;
             sk_globals.potential.a = 0.5;
             sk_globals.potential.b = 1.0;
         },
         "    3    0    0 1.00 laguerre non-relativistic well    " + std::string(22, '*') +
             "    0.5000000000000000    1.0000000000000000"}};
    for (const Case& c : cases) {
        base_run();
        c.settings();
        write_marked();
        std::vector<std::string> lines =
            file_lines("saved.vn." + std::to_string(sk_globals.ntrunc));
        std::size_t header = matrix_header_index(lines);
        ASSERT_LT(header, lines.size()) << c.name;
        EXPECT_EQ(lines[header], c.expected) << c.name;
    }
}

TEST_F(SavedFileTest, EachAcceptanceConditionRejectsAlone) {
    struct Case {
        const char* name;
        std::function<void()> change;
        bool accepted;
    };
    const Case cases[] = {
        {"unchanged", [] {}, true},
        {"l", [] { sk_globals.projectile.l = 1; }, false},
        {"kappa", [] { sk_globals.projectile.kappa = 2; }, false},
        {"scheme", [] { sk_globals.scheme = padded("relativistic", 16); }, false},
        {"lambda 1.5", [] { sk_globals.lambda = 1.5; }, false},
        {"lambda 1.004 (written as 1.00)", [] { sk_globals.lambda = 1.004; }, false},
        {"basis", [] { sk_globals.basis = padded("gauss", 8); }, false},
        {"pot_type", [] { sk_globals.potential.pot_type = padded("yukawa", 8); }, false},
        {"coulomb z", [] { sk_globals.potential.z = 2.0; }, false},
        {"coulomb alpha", [] { sk_globals.potential.alpha = 1.0 + 1e-15; }, false},
        {"coulomb r0", [] { sk_globals.potential.r0 = -1.0; }, false},
        {"coulomb v0 is no Coulomb parameter", [] { sk_globals.potential.v0 = 3.0; }, true},
        {"energy is not compared", [] { sk_globals.projectile.e = 2.0; }, true}};
    for (const Case& c : cases) {
        base_run();
        write_marked();
        c.change();
        EXPECT_EQ(read_back(), c.accepted) << c.name;
    }

    // N on the matrix header line must equal ntrunc, whatever the file's name.
    base_run();
    write_marked();
    sk_globals.ntrunc = 4;
    fs::rename("saved.vn.3", "saved.vn.4");
    EXPECT_FALSE(read_back()) << "N";
}

TEST_F(SavedFileTest, ParametersOfEachPotentialType) {
    struct Case {
        const char* pot_type;
        double PotentialParams::*field;
        bool compared;
    };
    using P = PotentialParams;
    const Case cases[] = {
        {"well", &P::v0, true},    {"well", &P::a, true},     {"well", &P::b, true},
        {"well", &P::r0, false},   {"coulomb", &P::z, true},  {"coulomb", &P::alpha, true},
        {"coulomb", &P::r0, true}, {"coulomb", &P::g, false}, {"yukawa", &P::g, true},
        {"yukawa", &P::m, true},   {"yukawa", &P::r0, true},  {"yukawa", &P::z, false},
        {"user", &P::r0, true},    {"user", &P::v0, false}};
    for (const Case& c : cases) {
        base_run();
        sk_globals.potential = PotentialParams{};
        sk_globals.potential.pot_type = padded(c.pot_type, 8);
        sk_globals.potential.v0 = -1.0;
        sk_globals.potential.a = 0.25;
        sk_globals.potential.b = 1.0;
        sk_globals.potential.z = 1.0;
        sk_globals.potential.alpha = 1.0;
        sk_globals.potential.g = 0.1;
        sk_globals.potential.m = 1.0;
        sk_globals.potential.r0 = 3.0;
        write_marked();
        sk_globals.potential.*c.field += 0.5;
        EXPECT_EQ(read_back(), !c.compared) << c.pot_type << " parameter change";
    }
}

TEST_F(SavedFileTest, DamagedFilesAreRejected) {
    struct Case {
        const char* name;
        std::function<void(std::vector<std::string>&, std::size_t)> damage;
    };
    const Case cases[] = {
        {"cut inside the values", [](auto& lines, std::size_t) { lines.pop_back(); }},
        {"asterisks for a value", [](auto& lines, std::size_t h) { lines[h + 3] = " ******"; }},
        {"text for a value", [](auto& lines, std::size_t h) { lines[h + 2] = " value"; }},
        {"asterisks in a parameter field",
         [](auto& lines, std::size_t h) { lines[h].replace(77, 22, std::string(22, '*')); }},
        {"asterisks for N", [](auto& lines, std::size_t h) { lines[h].replace(0, 5, "*****"); }},
        {"text for lambda", [](auto& lines, std::size_t h) { lines[h].replace(15, 5, " one."); }},
        {"header line cut inside the parameters",
         [](auto& lines, std::size_t h) { lines[h].resize(90); }},
        {"no matrix header line",
         [](auto& lines, std::size_t h) { lines.erase(lines.begin() + h, lines.end()); }},
        {"empty file", [](auto& lines, std::size_t) { lines.clear(); }}};
    for (const Case& c : cases) {
        base_run();
        write_marked();
        std::vector<std::string> lines = file_lines("saved.vn.3");
        std::size_t header = matrix_header_index(lines);
        ASSERT_EQ(lines.size(), header + 7);
        c.damage(lines, header);
        write_lines("saved.vn.3", lines);
        EXPECT_FALSE(read_back()) << c.name;
    }

    base_run();
    fs::remove("saved.vn.3");
    EXPECT_FALSE(read_back()) << "missing file";
    fs::create_directory("saved.vn.3");
    EXPECT_FALSE(read_back()) << "unreadable (a directory)";
}

// Values in other free forms, as another program might write them, are read.
TEST_F(SavedFileTest, FreeFormValues) {
    base_run();
    write_marked();
    std::vector<std::string> lines = file_lines("saved.vn.3");
    std::size_t h = matrix_header_index(lines);
    lines[h + 1] = "1.5d0";
    lines[h + 2] = "  -2   and a comment";
    lines[h + 3] = "3.25E-1,";
    lines.insert(lines.begin() + h + 4, "");  // a blank line is passed over
    write_lines("saved.vn.3", lines);
    std::vector<double> m;
    ASSERT_TRUE(read_back(&m));
    EXPECT_EQ(m[0], 1.5);
    EXPECT_EQ(m[1], -2.0);
    EXPECT_EQ(m[1 + 3], 0.325);
    EXPECT_EQ(m[2], 120.0);
}

TEST_F(SavedFileTest, InfoNoteOnlyWhenScreenOutputInPassOne) {
    struct Case {
        bool scr;
        int pass;
        std::string expected;
    };
    const Case cases[] = {
        {true, 1, " (Info: Elements of the truncated potential have been read from file.)\n"},
        {false, 1, ""},
        {true, 2, ""}};
    for (const Case& c : cases) {
        base_run();
        write_marked();
        sk_globals.scr = c.scr;
        sk_globals.pass = c.pass;
        testing::internal::CaptureStdout();
        EXPECT_TRUE(read_back());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.expected) << c.scr << c.pass;
    }
}

TEST_F(SavedFileTest, UnwritableFileWarnsAndGoesOn) {
    fs::create_directory("saved.vn.3");
    testing::internal::CaptureStdout();
    write_marked();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " Warning (write_vn_to_file): unable to write the saved potential file.\n");
}

TEST_F(SavedFileTest, ExtraSaveSizeFromSkPar) {
    struct Case {
        const char* name;
        const char* content;  // nullptr: no file
        int expected;
    };
    const Case cases[] = {{"present", "6\n", 6},
                          {"with blanks and more text", "   12   extra\n", 12},
                          {"after a blank line", "\n7\n", 7},
                          {"absent", nullptr, 0},
                          {"garbage", "six\n", 0},
                          {"not an integer", "6.5\n", 0},
                          {"empty", "", 0}};
    for (const Case& c : cases) {
        fs::remove("sk.par");
        if (c.content != nullptr) std::ofstream("sk.par") << c.content;
        EXPECT_EQ(read_n_to_save_v(), c.expected) << c.name;
    }
}

// Coulomb, Laguerre, l = 0, lambda = 1: the true elements are -(n + 1) on the diagonal and 0 off
// it, far from the marked file values 100 + 10 r + c.
TEST_F(SavedFileTest, LoadedMatrixServesOnlyTheFirstSizeAndTheEnergyPass) {
    write_marked();  // saved.vn.3
    EXPECT_EQ(vn(2, 1), 121.0);
    EXPECT_TRUE(sk_globals.vn_is_loaded);
    EXPECT_EQ(vn(1, 2), 121.0) << "upper element answered from (max, min)";
    EXPECT_EQ(vn(0, 0), 100.0);

    sk_globals.ntrunc = 4;  // next size: integrated
    EXPECT_NEAR(vn(1, 1), -2.0, 1e-8);
    EXPECT_NEAR(vn(3, 0), 0.0, 1e-8);
    EXPECT_NEAR(vn(3, 3), -4.0, 1e-8);

    sk_globals.pass = 2;  // energy pass: the cache again, indices outside it integrated
    sk_globals.ntrunc = 3;
    EXPECT_EQ(vn(1, 1), 111.0);
    EXPECT_EQ(vn(3, 3), 0.0) << "outside the cache: the layout of N = 3";
    EXPECT_EQ(vn(1, 1, CacheAction::release), 111.0) << "release after the lookup";
    EXPECT_TRUE(sk_globals.vn_is_loaded);
    EXPECT_NEAR(vn(1, 1), -2.0, 1e-8) << "released: integrated";
}

// A failed load is not retried, and no load is tried after the first size.
TEST_F(SavedFileTest, LoadOnlyOnceAtTheFirstSize) {
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
    EXPECT_TRUE(sk_globals.vn_file_match) << "no attempt was made";
    EXPECT_FALSE(sk_globals.vn_is_loaded);
}

TEST_F(SavedFileTest, RelativisticCacheHasOrderTwoN) {
    sk_globals.scheme = padded("relativistic", 16);
    sk_globals.projectile.kappa = -1;
    sk_globals.ntrunc = 2;
    sk_globals.nstart = 2;
    write_marked();  // 4 x 4
    EXPECT_EQ(vn(3, 3), 133.0);
    EXPECT_EQ(vn(3, 0), 130.0);
    std::vector<double> matrix(16, 0.0);
    vn_lower_triangle(4, matrix.data());
    EXPECT_EQ(matrix[3 + 2 * 4], 132.0);
    EXPECT_EQ(matrix[0], 100.0);
}

}  // namespace
}  // namespace skarven::test
