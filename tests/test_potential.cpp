// Potential matrix elements: worked integrals, the index layouts, and elements of every potential
// type in both bases and schemes against mpmath references (tests/data/gen_potential.py).
#include <algorithm>
#include <cmath>
#include <cstdio>
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
        sk_globals.basis = padded(basis, 8);
        sk_globals.scheme = padded(scheme, 16);
        sk_globals.potential.pot_type = padded(pot_type, 8);
        sk_globals.projectile.l = l;
        sk_globals.projectile.kappa = kappa;
        sk_globals.lambda = lambda;
        sk_globals.ntrunc = n_size;
        sk_globals.nstart = n_size;
    }
};

bool same_bits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST_F(PotentialTest, WorkedIntegrals) {
    struct Case {
        const char* name;
        const char* pot_type;
        double v0, a, b, z, alpha, r0;
        double expected;
    };
    const double e = std::exp(1.0);
    const Case cases[] = {
        {"well [0,1], -int r^2 e^-r", "well", -1.0, 0.0, 1.0, 0.0, 0.0, 0.0, -(2.0 - 5.0 / e)},
        {"coulomb to infinity, -int r e^-r", "coulomb", 0.0, 0.0, 0.0, 1.0, 1.0, 0.0, -1.0},
        {"coulomb cut at 1", "coulomb", 0.0, 0.0, 0.0, 1.0, 1.0, 1.0, -(1.0 - 2.0 / e)},
    };
    for (const Case& c : cases) {
        set_run("laguerre", "non-relativistic", c.pot_type, 0, 0, 1.0, 3);
        PotentialParams& p = sk_globals.potential;
        p.v0 = c.v0;
        p.a = c.a;
        p.b = c.b;
        p.z = c.z;
        p.alpha = c.alpha;
        p.r0 = c.r0;
        double computed = vn(0, 0);
        EXPECT_LT(relative_error(computed, c.expected), 1e-10)
            << c.name << ": expected " << c.expected << ", computed " << computed;
        EXPECT_EQ(sk_globals.ii, 0);
        EXPECT_EQ(sk_globals.jj, 0);
    }
}

TEST_F(PotentialTest, ElementsThatAreZeroWithoutIntegral) {
    struct Case {
        const char* name;
        const char* scheme;
        const char* pot_type;
        int n_size, n, m;
        int ii, jj;  // indices left for the integrand
    };
    // A Coulomb potential would give a nonzero integral for every one of these index pairs.
    const Case cases[] = {
        {"non-relativistic row outside", "non-relativistic", "coulomb", 3, 3, 0, 3, 0},
        {"non-relativistic column outside", "non-relativistic", "coulomb", 3, 0, 3, 0, 3},
        {"relativistic phi-psi block", "relativistic", "coulomb", 2, 1, 2, 1, 2},
        {"relativistic psi-phi block", "relativistic", "coulomb", 2, 3, 0, 3, 0},
        {"user potential", "non-relativistic", "user", 3, 1, 0, 1, 0},
        {"user potential, psi", "relativistic", "user", 2, 3, 3, 1, 1},
        {"unknown potential type", "non-relativistic", "square", 3, 1, 1, 1, 1},
        {"unknown scheme", "dirac", "coulomb", 3, 1, 1, 1, 1},
    };
    for (const Case& c : cases) {
        set_run("laguerre", c.scheme, c.pot_type, 0, -1, 1.0, c.n_size);
        sk_globals.potential.z = 1.0;
        sk_globals.potential.alpha = 1.0;
        EXPECT_TRUE(same_bits(vn(c.n, c.m), 0.0)) << c.name;
        EXPECT_EQ(sk_globals.ii, c.ii) << c.name;
        EXPECT_EQ(sk_globals.jj, c.jj) << c.name;
    }
}

// Relativistic positions 0..N-1 are phi_(N-1)..phi_0, N..2N-1 are psi_0..psi_(N-1).
TEST_F(PotentialTest, RelativisticLayoutReversesThePhiBlock) {
    struct Case {
        int n, m, ii, jj;
    };
    const Case cases[] = {{0, 0, 1, 1}, {1, 0, 0, 1}, {3, 3, 1, 1}, {3, 2, 1, 0}};
    for (const Case& c : cases) {
        set_run("laguerre", "relativistic", "well", 0, -1, 1.0, 2);
        sk_globals.potential.v0 = -1.0;
        sk_globals.potential.b = 2.0;
        double relativistic = vn(c.n, c.m);
        EXPECT_EQ(sk_globals.ii, c.ii);
        EXPECT_EQ(sk_globals.jj, c.jj);
        EXPECT_NE(relativistic, 0.0);
        if (c.n < 2) {
            // Same phi integral as the non-relativistic element of those basis indices.
            sk_globals.scheme = padded("non-relativistic", 16);
            EXPECT_TRUE(same_bits(vn(c.ii, c.jj), relativistic)) << c.n << "," << c.m;
        }
    }
}

struct ReferenceElement {
    std::vector<double> row;
    std::string describe() const {
        static const char* bases[] = {"laguerre", "gauss"};
        static const char* pots[] = {"well", "coulomb", "yukawa"};
        return std::string(bases[int(row[0])]) + (row[1] == 0 ? " non-rel " : " rel ") +
               pots[int(row[2])] + " r0=" + std::to_string(row[13]) +
               " N=" + std::to_string(int(row[14])) + " (" + std::to_string(int(row[15])) + "," +
               std::to_string(int(row[16])) + ")";
    }
};

void apply_reference_settings(const std::vector<double>& row) {
    static const char* bases[] = {"laguerre", "gauss"};
    static const char* schemes[] = {"non-relativistic", "relativistic"};
    static const char* pots[] = {"well", "coulomb", "yukawa"};
    sk_globals.basis = padded(bases[int(row[0])], 8);
    sk_globals.scheme = padded(schemes[int(row[1])], 16);
    sk_globals.potential.pot_type = padded(pots[int(row[2])], 8);
    sk_globals.projectile.l = int(row[3]);
    sk_globals.projectile.kappa = int(row[4]);
    sk_globals.lambda = row[5];
    PotentialParams& p = sk_globals.potential;
    p.v0 = row[6];
    p.a = row[7];
    p.b = row[8];
    p.z = row[9];
    p.alpha = row[10];
    p.g = row[11];
    p.m = row[12];
    p.r0 = row[13];
    sk_globals.ntrunc = int(row[14]);
}

// The semi-infinite rule cuts a tail at the first small weighted value and has a fixed table;
// it cannot follow the hundreds of oscillations of phi_n, n ~ 300, spread over a long range
// (Coulomb, or the oscillator basis). The program uses such an integral as it comes, so those
// elements are only required to be finite and of the right size.
bool beyond_the_integrator(const std::vector<double>& row) {
    bool laguerre_yukawa = row[0] == 0 && row[2] == 2;
    return row[14] > 100 && row[13] <= 0.0 && !laguerre_yukawa;
}

// Every other element within 1e-8 of the largest element of its settings (the quadrature's eps),
// including n, m = 300 for the Laguerre basis with a Yukawa potential on [0, infinity).
TEST_F(PotentialTest, ElementsMatchHighPrecisionReference) {
    auto table = read_table("potential_elements.txt");
    ASSERT_GE(table.size(), 150u);
    double worst = 0.0;
    double worst_beyond = 0.0;
    std::string worst_case;
    for (const auto& row : table) {
        ASSERT_EQ(row.size(), 19u);
        apply_reference_settings(row);
        double expected = row[17];
        double scale = row[18];
        double computed = vn(int(row[15]), int(row[16]));
        double distance = std::fabs(computed - expected) / scale;
        ReferenceElement element{row};
        EXPECT_TRUE(std::isfinite(computed)) << element.describe();
        if (beyond_the_integrator(row)) {
            EXPECT_LT(distance, 0.5)
                << element.describe() << ": expected " << expected << ", computed " << computed;
            worst_beyond = std::max(worst_beyond, distance);
            continue;
        }
        EXPECT_LT(distance, 1e-8) << element.describe() << ": expected " << expected
                                  << ", computed " << computed << ", distance/scale " << distance;
        if (distance > worst) {
            worst = distance;
            worst_case = element.describe();
        }
    }
    std::printf("largest |vn - reference| / scale: %.3e at %s\n", worst, worst_case.c_str());
    std::printf("largest where the integrator cannot resolve the functions: %.3e\n", worst_beyond);
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
        for (int r = 0; r < dim; ++r) {
            for (int col = 0; col < dim; ++col) {
                if (col <= r) {
                    EXPECT_TRUE(same_bits(matrix[r + col * dim], vn(r, col)))
                        << c.scheme << " (" << r << "," << col << ")";
                } else {
                    EXPECT_EQ(matrix[r + col * dim], -7.0) << "upper triangle written";
                }
            }
        }
        for (std::size_t k = 0; k < rows.size(); ++k) {
            EXPECT_TRUE(same_bits(border[k], vn(rows[k], cols[k])))
                << c.scheme << " border (" << rows[k] << "," << cols[k] << ")";
        }
    }
}

}  // namespace
}  // namespace skarven::test
