// Guards against wrong potential elements and blocks, wrong layouts and thread-dependent results.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "potential.hpp"
#include "sk_basis.hpp"
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

// Eigen route (vn) and, on the wide table, fast route (potential_element) against mpmath, within
// 1e-12 of the largest element of the setting: finite and infinite ranges, wells and cut-offs far
// wider than the basis, indices up to 999 in both bases and components.
TEST_F(Potential, ElementsMatchHighPrecisionReference) {
    int high_rows = 0;
    for (const char* table : {"potential_elements.txt", "potential_wide.txt"}) {
        for_rows(table, 150, [&](const std::vector<double>& row) {
            const int n = int(row[14]), pr = int(row[15]), pc = int(row[16]);
            apply(setting_of(row, 0, n));
            const bool rel = row[1] == 1, psi = rel && pr >= n;
            const int i = !rel ? pr : psi ? pr - n : n - 1 - pr;
            const int j = !rel ? pc : psi ? pc - n : n - 1 - pc;
            high_rows += std::max(i, j) >= 999;
            EXPECT_LT(std::fabs(vn(pr, pc) - row[17]) / row[18], 1e-12) << "eigen route";
            if (table[10] == 'w') {  // the fast route's blocks are checked on their own below
                EXPECT_LT(std::fabs(potential_element(psi, i, j) - row[17]) / row[18], 1e-12);
            }
        });
    }
    EXPECT_GE(high_rows, 10);
}

// Sampled elements of potential_blocks against mpmath, relative to the largest sampled element of
// the block; the blocks are symmetric.
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

// With alpha = 1 the Coulomb weight of two Laguerre functions is the orthogonality weight of
// L_n^(2l+1): vn(n, n) = -z (n + 2l + 1)!/n!, 0 off the diagonal, for any lambda (the
// double-exponential rule alone gave -231.03 for -301).
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

// A constant potential v = 1 over [0, infinity) gives the overlap in the phi block and, since
// kappa (kappa + 1) = l (l + 1), twice the kinetic matrix in the psi block, for the exact
// Gauss-Laguerre rules (Coulomb, alpha = 0) and the panel rules with their tail cut (a wide well).
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

// Layouts: relativistic positions 0..N-1 are phi_(N-1)..phi_0; vn_lower_triangle fills the lower
// triangle only; elements without an integral are exactly 0.
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
    const struct {
        const char *scheme, *pot_type;
        int n, m;
    } zeros[] = {{"non-relativistic", "coulomb", 3, 0},
                 {"non-relativistic", "coulomb", 0, 3},
                 {"relativistic", "coulomb", 1, 3},
                 {"relativistic", "coulomb", 4, 0},
                 {"relativistic", "user", 4, 4},
                 {"non-relativistic", "square", 1, 1},
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

// Elements and blocks come from tables and rules each thread builds and keeps: the same bits on
// one and two threads, also after a build for other settings, and vn_elements gives vn's bits.
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

}  // namespace
}  // namespace skarven::test
