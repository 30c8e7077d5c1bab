// Guards against wrong potential matrix elements (mpmath, closed forms) and wrong layouts.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "potential.hpp"
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

}  // namespace
}  // namespace skarven::test
