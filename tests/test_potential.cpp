// Guards against wrong potential matrix elements and fast-route blocks (mpmath, closed forms),
// wrong layouts and thread-dependent results.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "potential.hpp"
#include "sk_basis.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

class PotentialTest : public SettingsTest {
  protected:
    void TearDown() override {
        sk_globals = RunSettings{};
        vn(0, 0, CacheAction::release);
        SettingsTest::TearDown();
    }

    // pass stays 0, so no saved file is consulted.
    static void set_run(const char* basis, const char* scheme, const char* pot_type, int l,
                        int kappa, double lambda, int n_size) {
        use_run(basis, scheme, pot_type, l, kappa, lambda);
        sk_globals.ntrunc = n_size;
        sk_globals.nstart = n_size;
    }
};

TEST_F(PotentialTest, WorkedIntegrals) {
    struct Case {
        const char* name;
        const char* pot_type;
        double params[8];  // v0, a, b, z, alpha, g, m, r0
        double expected;
    };
    const double e = std::exp(1.0);
    const Case cases[] = {
        {"well [0,1], -int r^2 e^-r", "well", {-1, 0, 1, 0, 0, 0, 0, 0}, -(2.0 - 5.0 / e)},
        {"coulomb to infinity, -int r e^-r", "coulomb", {0, 0, 0, 1, 1, 0, 0, 0}, -1.0},
        {"coulomb cut at 1", "coulomb", {0, 0, 0, 1, 1, 0, 0, 1}, -(1.0 - 2.0 / e)}};
    for (const Case& c : cases) {
        set_run("laguerre", "non-relativistic", c.pot_type, 0, 0, 1.0, 3);
        set_potential_params(c.params);
        EXPECT_LT(relative_error(vn(0, 0), c.expected), 1e-10) << c.name;
    }
}

TEST_F(PotentialTest, ElementsThatAreZeroWithoutIntegral) {
    // A Coulomb potential would give a nonzero integral for every one of these index pairs.
    const struct {
        const char* name;
        const char* scheme;
        const char* pot_type;
        int n_size, n, m;
    } cases[] = {{"non-relativistic row outside", "non-relativistic", "coulomb", 3, 3, 0},
                 {"non-relativistic column outside", "non-relativistic", "coulomb", 3, 0, 3},
                 {"relativistic phi-psi block", "relativistic", "coulomb", 2, 1, 2},
                 {"relativistic psi-phi block", "relativistic", "coulomb", 2, 3, 0},
                 {"user potential", "non-relativistic", "user", 3, 1, 0},
                 {"user potential, psi", "relativistic", "user", 2, 3, 3},
                 {"unknown potential type", "non-relativistic", "square", 3, 1, 1},
                 {"unknown scheme", "dirac", "coulomb", 3, 1, 1}};
    for (const auto& c : cases) {
        set_run("laguerre", c.scheme, c.pot_type, 0, -1, 1.0, c.n_size);
        sk_globals.potential.z = 1.0;
        sk_globals.potential.alpha = 1.0;
        EXPECT_TRUE(same_bits(vn(c.n, c.m), 0.0)) << c.name;
    }
}

// Relativistic positions 0..N-1 are phi_(N-1)..phi_0: the same integrals as the
// non-relativistic elements of the reversed indices.
TEST_F(PotentialTest, RelativisticLayoutReversesThePhiBlock) {
    const int size = 3;
    for (int n = 0; n < size; ++n) {
        for (int m = 0; m <= n; ++m) {
            set_run("laguerre", "relativistic", "well", 0, -1, 1.0, size);
            sk_globals.potential.v0 = -1.0;
            sk_globals.potential.b = 2.0;
            const double relativistic = vn(n, m);
            sk_globals.scheme = padded("non-relativistic", 16);
            EXPECT_TRUE(same_bits(vn(size - 1 - n, size - 1 - m), relativistic)) << n << "," << m;
        }
    }
}

// Every element within 1e-12 of the largest element of its settings, finite and infinite
// ranges, up to n, m = 300 in both bases and components.
TEST_F(PotentialTest, ElementsMatchHighPrecisionReference) {
    static const char* bases[] = {"laguerre", "gauss"};
    static const char* schemes[] = {"non-relativistic", "relativistic"};
    static const char* pots[] = {"well", "coulomb", "yukawa"};
    int high_index_rows = 0, line = 0;
    Accuracy accuracy("vn");
    accuracy.rows("potential_elements.txt", 150, [&](const std::vector<double>& row) {
        ASSERT_EQ(row.size(), 19u);
        set_run(bases[int(row[0])], schemes[int(row[1])], pots[int(row[2])], int(row[3]),
                int(row[4]), row[5], int(row[14]));
        set_potential_params(&row[6]);
        const bool infinite = row[2] != 0 && row[13] <= 0.0;
        if (infinite && row[14] > 300) ++high_index_rows;
        const double computed = vn(int(row[15]), int(row[16]));
        const std::string where = "row " + std::to_string(++line);
        ASSERT_TRUE(std::isfinite(computed)) << where;
        accuracy.check(std::fabs(computed - row[17]) / row[18], 1e-12,
                       infinite ? "infinite range" : "finite range", where);
    });
    EXPECT_EQ(high_index_rows, 56);
}

// With alpha = 1 the weight x^(2l+1) e^-x of two Laguerre functions and a Coulomb potential is
// the orthogonality weight of L_n^(2l+1): the matrix is diagonal with vn(n, n) = -z (n + 2l +
// 1)!/n! for any lambda. The double-exponential rule alone gave -98.63 for -101 and -231.03 for
// -301.
TEST_F(PotentialTest, HighIndexCoulombElementsFollowLaguerreOrthogonality) {
    struct Case {
        int l;
        double z, lambda;
        int step;        // diagonal elements n = 300, 300 - step, ...
        int neighbours;  // and vn(n, n - 1), vn(n - 1, n) at every neighbours-th of them
    };
    const Case cases[] = {{0, 1.0, 1.0, 1, 5}, {1, 2.0, 0.8, 23, 1}};
    for (const Case& c : cases) {
        set_run("laguerre", "non-relativistic", "coulomb", c.l, 0, c.lambda, 301);
        sk_globals.potential.z = c.z;
        sk_globals.potential.alpha = 1.0;
        std::vector<int> rows, cols;
        for (int n = 300, count = 0; n >= 0; n -= c.step, ++count) {
            rows.push_back(n);
            cols.push_back(n);
            if (n == 0 || count % c.neighbours != 0) continue;
            rows.insert(rows.end(), {n, n - 1});
            cols.insert(cols.end(), {n - 1, n});
        }
        std::vector<double> values(rows.size());
        vn_elements(int(rows.size()), rows.data(), cols.data(), values.data());
        for (std::size_t k = 0; k < rows.size(); ++k) {
            const int n = std::max(rows[k], cols[k]);
            double diagonal = -c.z;
            for (int f = 1; f <= 2 * c.l + 1; ++f)
                diagonal *= n + f;
            const double expected = rows[k] == cols[k] ? diagonal : 0.0;
            EXPECT_LT(std::fabs(values[k] - expected) / std::fabs(diagonal), 1e-12)
                << c.l << " " << rows[k] << " " << cols[k];
        }
    }
}

// Elements beyond the double-exponential table come from rules each thread builds and keeps for
// itself: the same bits on one and two threads, and from vn alone.
TEST_F(PotentialTest, HighIndexElementsDoNotDependOnThreadCount) {
    const int size = 80;
    const int dim = 2 * size;
    set_run("laguerre", "relativistic", "coulomb", 0, -1, 1.0, size);
    sk_globals.potential.z = 1.0;
    sk_globals.potential.alpha = 1.0;
    // Rows 0 and dim - 1 hold phi_79 and psi_79, against every function of either component.
    std::vector<int> rows, cols;
    for (int k = 0; k < dim; ++k) {
        rows.insert(rows.end(), {0, dim - 1});
        cols.insert(cols.end(), {k, k});
    }
    const int saved = omp_get_max_threads();
    std::vector<double> one(rows.size());
    std::vector<double> two(rows.size());
    omp_set_num_threads(1);
    vn_elements(int(rows.size()), rows.data(), cols.data(), one.data());
    omp_set_num_threads(2);
    vn_elements(int(rows.size()), rows.data(), cols.data(), two.data());
    // One thread for vn too: on two, each psi evaluation forks its two sections.
    omp_set_num_threads(1);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        EXPECT_TRUE(same_bits(one[k], two[k])) << k;
        EXPECT_TRUE(same_bits(one[k], vn(rows[k], cols[k]))) << k;
    }
    omp_set_num_threads(saved);
    EXPECT_LT(relative_error(one[0], -80.0), 1e-12);  // phi_79 v phi_79
}

// The parallel fill gives exactly what vn gives, whatever the thread count.
TEST_F(PotentialTest, ElementListEqualsElementByElement) {
    struct Case {
        const char* scheme;
        const char* basis;
        int l, kappa;
    };
    const Case cases[] = {{"non-relativistic", "laguerre", 1, 0}, {"relativistic", "gauss", 0, -1}};
    for (const Case& c : cases) {
        set_run(c.basis, c.scheme, "yukawa", c.l, c.kappa, 1.2, 5);
        sk_globals.potential.g = 1.0;
        sk_globals.potential.m = 0.5;
        int dim = text_is(c.scheme, "relativistic") ? 10 : 5;
        std::vector<double> matrix(dim * dim, -7.0);
        vn_lower_triangle(dim, matrix.data());
        // Border elements of a relativistic growth step: row 0 and the last row, both orders.
        std::vector<int> rows, cols;
        for (int k = 0; k < dim; ++k) {
            rows.insert(rows.end(), {dim - 1, 0});
            cols.insert(cols.end(), {k, k});
        }
        std::vector<double> border(rows.size());
        vn_elements(int(rows.size()), rows.data(), cols.data(), border.data());
        // The upper triangle is left alone.
        for (int r = 0; r < dim; ++r)
            for (int col = 0; col < dim; ++col)
                EXPECT_TRUE(same_bits(matrix[r + col * dim], col <= r ? vn(r, col) : -7.0))
                    << c.scheme << " " << r << " " << col;
        for (std::size_t k = 0; k < rows.size(); ++k)
            EXPECT_TRUE(same_bits(border[k], vn(rows[k], cols[k]))) << c.scheme << " " << k;
    }
}

using PotentialBlocksTest = SettingsTest;

double largest_abs(const std::vector<double>& values) {
    double largest = 0.0;
    for (double value : values)
        largest = std::max(largest, std::fabs(value));
    return largest;
}

bool all_finite(const std::vector<double>& values) {
    return std::all_of(values.begin(), values.end(), [](double x) { return std::isfinite(x); });
}

// Errors relative to the largest sampled element of the block.
TEST_F(PotentialBlocksTest, SampledElementsMatchHighPrecisionReference) {
    std::map<int, std::vector<std::vector<double>>> cases;
    // Columns: case, basis, scheme, potential, l, kappa, lambda, v0, a, b, z, alpha, g, m, r0, n,
    // block, i, j, value.
    for (const auto& row : read_table("potential_blocks.txt")) {
        ASSERT_EQ(row.size(), 20u);
        cases[static_cast<int>(row[0])].push_back(row);
    }
    ASSERT_GT(cases.size(), 5u);
    const char* pot_names[] = {"well", "coulomb", "yukawa"};
    Accuracy accuracy("blocks");
    for (const auto& [id, elements] : cases) {
        const auto& first = elements.front();
        sk_globals = RunSettings{};
        use_run(first[1] == 0 ? "laguerre" : "gauss",
                first[2] == 0 ? "non-relativistic" : "relativistic",
                pot_names[static_cast<int>(first[3])], static_cast<int>(first[4]),
                static_cast<int>(first[5]), first[6]);
        set_potential_params(&first[7]);
        const int n = static_cast<int>(first[15]);
        std::vector<double> phi, psi;
        potential_blocks(n, phi, psi);
        ASSERT_EQ(phi.size(), static_cast<std::size_t>(n) * n);
        ASSERT_EQ(psi.size(), first[2] == 0 ? 0u : static_cast<std::size_t>(n) * n);
        double scale[2] = {0.0, 0.0};
        for (const auto& row : elements)
            scale[int(row[16])] = std::max(scale[int(row[16])], std::fabs(row[19]));
        for (const auto& row : elements) {
            const int block = static_cast<int>(row[16]);
            const std::size_t i = static_cast<std::size_t>(row[17]);
            const std::size_t j = static_cast<std::size_t>(row[18]);
            const std::vector<double>& values = block == 0 ? phi : psi;
            const std::string where =
                std::to_string(id) + " " + std::to_string(i) + " " + std::to_string(j);
            accuracy.check(std::fabs(values[i + j * n] - row[19]) / scale[block], 1e-12,
                           block == 0 ? "phi" : "psi", where);
            EXPECT_EQ(values[i + j * n], values[j + i * n]) << where;  // symmetric
        }
    }
}

// A constant potential v = 1 over [0, infinity) gives the overlap in the phi block and, since
// kappa (kappa + 1) = l (l + 1), twice the kinetic matrix in the psi block: closed forms at every
// size, for the exact Gauss-Laguerre rules (Coulomb with alpha = 0) and for the panel rules with
// their tail cut (a well reaching far beyond the functions).
TEST_F(PotentialBlocksTest, ConstantPotentialGivesOverlapAndKineticMatrices) {
    struct Case {
        const char* basis;
        const char* pot_type;
        int l, kappa;
        double lambda;
        int n;
    };
    const Case cases[] = {
        {"laguerre", "coulomb", 0, -1, 1.0, 1000}, {"laguerre", "coulomb", 3, 3, 0.6, 400},
        {"gauss", "coulomb", 2, -3, 1.7, 1000},    {"gauss", "coulomb", 4, 4, 0.8, 300},
        {"laguerre", "well", 1, -2, 1.3, 300},     {"gauss", "well", 0, -1, 0.9, 400}};
    for (const Case& c : cases) {
        sk_globals = RunSettings{};
        use_run(c.basis, "relativistic", c.pot_type, c.l, c.kappa, c.lambda);
        PotentialParams& p = sk_globals.potential;
        p.z = -1.0;  // -z / r^0
        p.alpha = 0.0;
        p.v0 = 1.0;
        p.a = 0.0;
        p.b = 1.0e6;
        std::vector<double> phi, psi;
        potential_blocks(c.n, phi, psi);
        const bool gauss = std::strcmp(c.basis, "gauss") == 0;
        // The oscillator fifi forms Gamma(n + l + 3/2)/n! as exp(lgamma - lfact), which is good
        // to only ~1e-12 at n = 1000; the exact ratio comes from its product in long double.
        std::vector<long double> ratio(c.n + 1);
        ratio[0] = std::tgamma(c.l + 1.5L);
        for (int k = 1; k <= c.n; ++k)
            ratio[k] = ratio[k - 1] * (k + c.l + 0.5L) / k;
        auto overlap = [&](int i, int j) -> double {
            if (!gauss) return fifi(i, j);
            return i == j ? static_cast<double>(ratio[j] / (2.0L * c.lambda)) : 0.0;
        };
        auto kinetic = [&](int i, int j) -> double {
            if (!gauss) return psipsi(i, j);
            const long double band = i == j       ? 2.0L * j + c.l + 1.5L
                                     : i == j - 1 ? j
                                     : i == j + 1 ? j + c.l + 1.5L
                                                  : 0.0L;
            return static_cast<double>(c.lambda * ratio[j] / 2.0L * band);
        };
        const double phi_scale = largest_abs(phi), psi_scale = largest_abs(psi);
        double worst_phi = 0.0, worst_psi = 0.0;
        for (int j = 0; j < c.n; ++j) {
            for (int i = j; i < c.n; ++i) {
                const std::size_t at = i + static_cast<std::size_t>(j) * c.n;
                worst_phi = std::max(worst_phi, std::fabs(phi[at] - overlap(i, j)) / phi_scale);
                worst_psi = std::max(worst_psi, std::fabs(psi[at] - kinetic(i, j)) / psi_scale);
            }
        }
        EXPECT_LE(std::max(worst_phi, worst_psi), 1e-12) << c.basis << " " << c.pot_type << c.n;
    }
}

TEST_F(PotentialBlocksTest, BlocksWithoutIntegralAreZero) {
    use_run("laguerre", "relativistic", "user", 1, 1, 1.0);
    std::vector<double> phi{1.0}, psi;
    potential_blocks(5, phi, psi);
    EXPECT_EQ(phi, std::vector<double>(25, 0.0));
    EXPECT_EQ(psi, std::vector<double>(25, 0.0));
    sk_globals.potential.r0 = 2.0;
    potential_blocks(5, phi, psi);
    EXPECT_EQ(largest_abs(phi) + largest_abs(psi), 0.0);
    EXPECT_EQ(potential_element(true, 3, 2), 0.0);

    // psi stays empty outside the relativistic scheme, and n = 0 gives empty blocks.
    use_run("gauss", "non-relativistic", "coulomb", 0, 0, 1.0);
    sk_globals.potential.z = 1.0;
    sk_globals.potential.alpha = 1.0;
    psi.assign(3, 1.0);
    potential_blocks(4, phi, psi);
    EXPECT_EQ(phi.size(), 16u);
    EXPECT_TRUE(psi.empty());
    potential_blocks(0, phi, psi);
    EXPECT_TRUE(phi.empty());
}

// Integrals that diverge at r = 0 (psi of l = 0, kappa = 0 against 1/r; a Coulomb power beyond
// 2l + 3) and huge arguments still give finite numbers.
TEST_F(PotentialBlocksTest, DivergentIntegralsStayFinite) {
    struct Case {
        const char* basis;
        const char* pot_type;
        int l, kappa;
        double alpha, r0, lambda;
    };
    const Case cases[] = {
        {"laguerre", "yukawa", 0, 0, 0.0, 0.0, 1.0},  {"gauss", "yukawa", 0, 0, 0.0, 0.0, 1.0},
        {"laguerre", "yukawa", 0, 0, 0.0, 2.0, 1.0},  {"laguerre", "coulomb", 0, 0, 3.5, 0.0, 1.0},
        {"gauss", "coulomb", 0, -1, 4.0, 0.0, 1.0},   {"gauss", "coulomb", 0, 0, 2.5, 5.0, 1.0},
        {"laguerre", "coulomb", 4, 4, 1.0, 1e9, 1e-3}};
    for (const Case& c : cases) {
        sk_globals = RunSettings{};
        use_run(c.basis, "relativistic", c.pot_type, c.l, c.kappa, c.lambda);
        PotentialParams& p = sk_globals.potential;
        p.z = 1.0;
        p.alpha = c.alpha;
        p.g = 1.0;
        p.m = 1.0;
        p.r0 = c.r0;
        std::vector<double> phi, psi;
        potential_blocks(150, phi, psi);
        EXPECT_TRUE(all_finite(phi) && all_finite(psi)) << c.basis << " " << c.pot_type << c.alpha;
    }
}

TEST_F(PotentialBlocksTest, ResultDoesNotDependOnThreadCount) {
    use_run("laguerre", "relativistic", "yukawa", 1, -2, 1.2);
    sk_globals.potential.g = 1.0;
    sk_globals.potential.m = 0.5;
    const int saved = omp_get_max_threads();
    std::vector<double> phi1, psi1, phi2, psi2;
    omp_set_num_threads(1);
    potential_blocks(203, phi1, psi1);
    omp_set_num_threads(2);
    potential_blocks(203, phi2, psi2);
    omp_set_num_threads(saved);
    ASSERT_EQ(phi1.size(), phi2.size());
    ASSERT_EQ(psi1.size(), psi2.size());
    EXPECT_EQ(std::memcmp(phi1.data(), phi2.data(), phi1.size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(psi1.data(), psi2.data(), psi1.size() * sizeof(double)), 0);
}

}  // namespace
}  // namespace skarven::test
