// Guards against wrong potential elements, thread-dependent results, lost or misused saved files.
#include <omp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "parallel_errors.hpp"
#include "potential.hpp"
#include "basis.hpp"
#include "settings_fixture.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

struct Setting {
    const char *basis, *scheme, *pot_type;
    int l, kappa;
    double lambda, params[8];  // v0, a, b, z, alpha, g, m, r0: the reference tables' columns
    int n;
};

// The run settings; pass stays 0, so no saved file is consulted.
void apply(const Setting& s) {
    sk_globals = RunSettings{};
    sk_globals.basis = padded(s.basis, 8);
    sk_globals.scheme = padded(s.scheme, 16);
    sk_globals.potential.pot_type = padded(s.pot_type, 8);
    sk_globals.projectile.l = s.l;
    sk_globals.projectile.kappa = s.kappa;
    sk_globals.lambda = s.lambda;
    PotentialParams& p = sk_globals.potential;
    double* fields[] = {&p.v0, &p.a, &p.b, &p.z, &p.alpha, &p.g, &p.m, &p.r0};
    for (int f = 0; f < 8; ++f)
        *fields[f] = s.params[f];
    sk_globals.ntrunc = sk_globals.nstart = sk_globals.nend = s.n;
}

// The setting of a row of the reference tables whose basis is column `b`.
Setting setting_of(const std::vector<double>& row, int b, int n) {
    static const char* names[] = {"laguerre", "gauss", "non-relativistic", "relativistic", "well",
                                  "coulomb",  "yukawa"};
    Setting s{};
    s.basis = names[int(row[b])], s.scheme = names[2 + int(row[b + 1])];
    s.pot_type = names[4 + int(row[b + 2])], s.l = int(row[b + 3]), s.kappa = int(row[b + 4]);
    s.lambda = row[b + 5], s.n = n;
    std::copy_n(row.begin() + b + 6, 8, s.params);
    return s;
}

class Potential : public SettingsTest {
  protected:
    void TearDown() override {
        vn(0, 0, CacheAction::release);
        SettingsTest::TearDown();
    }
};

// Eigen-route elements against mpmath, to 1e-12 of the largest element.
TEST_F(Potential, ElementsMatchHighPrecisionReference) {
    int high_rows = 0;
    for (const bool wide : {false, true}) {
        for_rows(wide ? "potential_wide.txt" : "potential_elements.txt", 150, [&](const auto& row) {
            const int n = int(row[14]), pr = int(row[15]), pc = int(row[16]);
            apply(setting_of(row, 0, n));
            const bool rel = row[1] == 1, psi = rel && pr >= n;
            const int i = !rel ? pr : psi ? pr - n : n - 1 - pr;
            const int j = !rel ? pc : psi ? pc - n : n - 1 - pc;
            high_rows += std::max(i, j) >= 999;
            EXPECT_LT(std::fabs(vn(pr, pc) - row[17]) / row[18], 1e-12);
        });
    }
    EXPECT_GE(high_rows, 10);
}

// Fast-route blocks against mpmath, to 1e-12 of the block's largest sampled element; symmetric.
TEST_F(Potential, BlocksMatchHighPrecisionReference) {
    const int cases = for_cases("potential_blocks.txt", 1, [](const auto& rows) {
        const Setting s = setting_of(rows.front(), 1, int(rows.front()[15]));
        apply(s);
        std::vector<double> blocks[2];
        potential_blocks(s.n, blocks[0], blocks[1]);
        ASSERT_EQ(blocks[1].size(), rows.front()[2] == 0 ? 0u : blocks[0].size());
        double scale[2] = {0.0, 0.0};
        for (const auto& r : rows)
            scale[int(r[16])] = std::max(scale[int(r[16])], std::fabs(r[19]));
        for (const auto& r : rows) {
            const std::vector<double>& b = blocks[int(r[16])];
            const std::size_t i = r[17], j = r[18];
            EXPECT_LE(std::fabs(b[i + j * s.n] - r[19]) / scale[int(r[16])], 1e-12)
                << i << " " << j;
            EXPECT_EQ(b[i + j * s.n], b[j + i * s.n]);
        }
    });
    EXPECT_GT(cases, 5);
}

// alpha = 1: Laguerre orthogonality, vn(n, n) = -z (n + 2l + 1)!/n! (DE alone gave -231 for -301).
TEST_F(Potential, HighIndexCoulombElementsFollowLaguerreOrthogonality) {
    apply({"laguerre", "non-relativistic", "coulomb", 1, 0, 0.8, {0, 0, 0, 2, 1}, 301});
    std::vector<int> rows, cols;
    for (int n = 300; n > 0; n -= 23)
        rows.insert(rows.end(), {n, n, n - 1}), cols.insert(cols.end(), {n, n - 1, n});
    std::vector<double> values(rows.size());
    vn_elements(int(rows.size()), rows.data(), cols.data(), values.data());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const int n = std::max(rows[k], cols[k]);
        const double diagonal = -2.0 * (n + 1) * (n + 2) * (n + 3);
        EXPECT_LT(std::fabs(values[k] - (rows[k] == cols[k] ? diagonal : 0.0)) / -diagonal, 1e-12)
            << rows[k] << " " << cols[k];
    }
}

// v = 1 gives the overlap and twice the kinetic matrix (exact Gauss-Laguerre and panel rules).
TEST_F(Potential, ConstantPotentialGivesOverlapAndKineticMatrices) {
    const Setting settings[] = {
        {"laguerre", "relativistic", "coulomb", 3, 3, 0.6, {1, 0, 1e6, -1, 0}, 400},
        {"gauss", "relativistic", "coulomb", 2, -3, 1.7, {1, 0, 1e6, -1, 0}, 1000},
        {"laguerre", "relativistic", "well", 1, -2, 1.3, {1, 0, 1e6, -1, 0}, 300},
        {"gauss", "relativistic", "well", 0, -1, 0.9, {1, 0, 1e6, -1, 0}, 400}};
    for (const Setting& s : settings) {
        SCOPED_TRACE(s.basis + std::string(" ") + s.pot_type);
        apply(s);
        std::vector<double> phi, psi;
        potential_blocks(s.n, phi, psi);
        // The oscillator elements: Gamma(n + l + 3/2)/n! by its product in long double, exactly.
        std::vector<long double> ratio(s.n + 1, std::tgamma(s.l + 1.5L));
        for (int k = 1; k <= s.n; ++k)
            ratio[k] = ratio[k - 1] * (k + s.l + 0.5L) / k;
        const bool gauss = s.basis[0] == 'g';
        auto overlap = [&](int i, int j) -> double {
            return !gauss ? fifi(i, j) : i == j ? double(ratio[j] / (2.0L * s.lambda)) : 0.0;
        };
        auto kinetic = [&](int i, int j) -> double {
            if (!gauss) return psipsi(i, j);
            const long double band = i == j       ? 2.0L * j + s.l + 1.5L
                                     : i == j - 1 ? j
                                     : i == j + 1 ? j + s.l + 1.5L
                                                  : 0.0L;
            return double(s.lambda * ratio[j] / 2.0L * band);
        };
        const double phi_scale = *std::max_element(phi.begin(), phi.end());
        const double psi_scale = *std::max_element(psi.begin(), psi.end());
        for (int j = 0; j < s.n; ++j)
            for (int i = j; i < s.n; ++i) {
                const std::size_t at = i + std::size_t(j) * s.n;
                ASSERT_LE(std::fabs(phi[at] - overlap(i, j)) / phi_scale, 1e-12) << i << ' ' << j;
                ASSERT_LE(std::fabs(psi[at] - kinetic(i, j)) / psi_scale, 1e-12) << i << ' ' << j;
            }
    }
}

// Relativistic phi positions reversed; lower triangle only; no integral gives exactly 0.
TEST_F(Potential, LayoutsAndElementsWithoutIntegral) {
    apply({"laguerre", "relativistic", "well", 0, -1, 1.0, {-1, 0, 2}, 3});
    std::vector<double> matrix(36, -7.0);
    vn_lower_triangle(6, matrix.data());
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            EXPECT_TRUE(same_bits(matrix[r + c * 6], c <= r ? vn(r, c) : -7.0)) << r << " " << c;
    vn(0, 0, CacheAction::release);
    sk_globals.scheme = padded("non-relativistic", 16);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c <= r; ++c)
            EXPECT_TRUE(same_bits(vn(2 - r, 2 - c), matrix[r + c * 6])) << r << " " << c;
    // A Coulomb potential would give a nonzero integral for every one of these index pairs.
    const char *nr = "non-relativistic", *rel = "relativistic";
    const struct {
        const char *scheme, *pot_type;
        int n, m;
    } zeros[] = {{nr, "coulomb", 3, 0},     {nr, "coulomb", 0, 3}, {rel, "coulomb", 1, 3},
                 {rel, "coulomb", 4, 0},    {rel, "user", 4, 4},   {nr, "square", 1, 1},
                 {"dirac", "coulomb", 1, 1}};
    for (const auto& c : zeros) {
        vn(0, 0, CacheAction::release);
        apply({"laguerre", c.scheme, c.pot_type, 0, -1, 1.0, {0, 0, 0, 1, 1}, 3});
        EXPECT_TRUE(same_bits(vn(c.n, c.m), 0.0)) << c.scheme << " " << c.pot_type << c.n << c.m;
    }
    // Blocks: zero for a user potential; no psi block unless relativistic, no blocks at n = 0.
    std::vector<double> phi{1.0}, psi;
    apply({"laguerre", "relativistic", "user", 1, 1, 1.0, {0, 0, 0, 0, 0, 0, 0, 2}, 5});
    potential_blocks(5, phi, psi);
    EXPECT_TRUE(phi == std::vector<double>(25, 0.0) && psi == phi);
    apply({"gauss", "non-relativistic", "coulomb", 0, 0, 1.0, {0, 0, 0, 1, 1}, 4});
    potential_blocks(4, phi, psi);
    EXPECT_TRUE(phi.size() == 16u && psi.empty());
    potential_blocks(0, phi, psi);
    EXPECT_TRUE(phi.empty());
}

// Same bits on one and two threads (also after other settings); vn_elements gives vn's bits.
TEST_F(Potential, ResultsDoNotDependOnThreadCount) {
    const Setting settings[] = {
        {"laguerre", "relativistic", "coulomb", 0, -1, 1.0, {0, 0, 0, 1, 1}, 80},
        {"gauss", "relativistic", "well", 0, -1, 1.0, {-1, 0.5, 1}, 150},
        {"laguerre", "relativistic", "yukawa", 1, -2, 1.2, {0, 0, 0, 0, 0, 1, 0.5}, 203}};
    const int saved = omp_get_max_threads();
    for (const Setting& s : settings) {
        std::vector<int> rows, cols;
        for (int k = 0; k < 2 * s.n; ++k)
            rows.insert(rows.end(), {0, 2 * s.n - 1, s.n}), cols.insert(cols.end(), {k, k, k});
        std::vector<double> values[2], phi[2], psi[2];
        for (int t = 0; t < 2; ++t) {
            omp_set_num_threads(t + 1);
            Setting other = s;
            other.lambda *= 1.5;
            apply(other);
            vn(0, 0);
            apply(s);
            values[t].resize(rows.size());
            vn_elements(int(rows.size()), rows.data(), cols.data(), values[t].data());
            potential_blocks(s.n, phi[t], psi[t]);
        }
        omp_set_num_threads(1);  // on two, each psi evaluation of vn forks its two sections
        for (std::size_t k = 0; k < rows.size(); ++k)
            EXPECT_TRUE(same_bits(values[0][k], values[1][k]) &&
                        same_bits(values[0][k], vn(rows[k], cols[k])))
                << k;
        EXPECT_TRUE(phi[0] == phi[1] && psi[0] == psi[1]);
        vn(0, 0, CacheAction::release);
    }
    omp_set_num_threads(saved);
}

// An error in a parallel loop comes out after the loop, from the lowest failing iteration whatever
// the thread count, and every iteration below it has run.
TEST(ParallelErrors, LowestFailingIterationAtAnyThreadCount) {
    const int saved = omp_get_max_threads();
    for (int threads : {1, 2, 4}) {
        omp_set_num_threads(threads);
        std::vector<char> ran(200, 0);
        FirstError error;  // on four threads 150 starts a chunk and fails first
#pragma omp parallel for schedule(static)
        for (int k = 0; k < 200; ++k) {
            error.run(k, [&] {
                ran[k] = 1;
                if (k == 150 || k == 62 || k == 61) throw_error("loop", std::to_string(k));
            });
        }
        EXPECT_TRUE(error.failed());
        EXPECT_ERROR(error.rethrow(), "loop", "61");
        EXPECT_EQ(std::count(ran.begin(), ran.begin() + 62, 1), 62) << threads;
    }
    omp_set_num_threads(saved);
    FirstError check, none;
    check.run(0, [] { SKARVEN_CHECK(false); });
    EXPECT_THROW(check.rethrow(), InternalError);
    none.run(0, [] {});
    EXPECT_FALSE(none.failed());
    EXPECT_NO_THROW(none.rethrow());
}

// Saved potential matrices.
namespace fs = std::filesystem;

// A Coulomb run, Laguerre basis, l = 0, lambda = 1: non-relativistic V(n, m) = -(n + 1) d(n, m).
void base_run(const char* scheme = "non-relativistic", int ntrunc = 3, int kappa = 0) {
    apply({"laguerre", scheme, "coulomb", 0, kappa, 1.0, {0, 0, 0, 1, 1}, ntrunc});
    sk_globals.projectile.e = 0.5;
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

class SavedFile : public Potential {
  protected:
    void SetUp() override { base_run(); }
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

// Each recorded setting is compared alone; the energy and other types' parameters are not.
TEST_F(SavedFile, EachAcceptanceConditionRejectsAlone) {
    using P = PotentialParams;
    const std::tuple<const char*, std::function<void()>, bool> cases[] = {
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
        sk_globals.potential = {padded(pot_type, 8), 3.0, -1.0, 0.25, 1.0, 1.0, 1.0, 0.1, 1.0};
        write_marked();
        sk_globals.potential.*field += 0.5;
        EXPECT_EQ(read_back(), !compared) << pot_type << " parameter change";
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

// Info note only with screen output in pass 1; unwritable file warns; sk.par's extra save size.
TEST_F(SavedFile, MessagesAndExtraSaveSize) {
    write_marked();
    const char* note = " (Info: Elements of the truncated potential have been read from file.)\n";
    for (int k = 0; k < 3; ++k) {  // pass 1 with and without screen output, pass 2
        sk_globals.scr = k != 1;
        sk_globals.pass = k == 2 ? 2 : 1;
        testing::internal::CaptureStdout();
        EXPECT_TRUE(read_back());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), k == 0 ? note : "");
    }
    fs::remove("saved.vn.3");
    fs::create_directory("saved.vn.3");
    testing::internal::CaptureStdout();
    write_marked();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " Warning (write_vn_to_file): unable to write the saved potential file "
              "<saved.vn.3>.\n");
    const std::pair<const char*, int> pars[] = {
        // nullptr: no file
        {"   12   extra\n", 12}, {"\n7\n", 7}, {nullptr, 0}, {"six\n", 0}, {"6.5\n", 0}, {"", 0}};
    for (const auto& [content, expected] : pars) {
        fs::remove("sk.par");
        if (content != nullptr) std::ofstream("sk.par") << content;
        EXPECT_EQ(read_n_to_save_v(), expected) << (content ? content : "no file");
    }
}

// A load serves only the first size and the energy pass, is tried once; marks differ from -(n+1).
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
