// Potential elements from the basis tabulated on the quadrature points: the tabulated values are
// fi2 / psi2 bit for bit, the elements are the element-by-element integrals (or closer to the
// converged value where those miss it), and both routes agree with 50-digit references
// (tests/data/gen_potential_wide.py) at indices up to 999, for infinite ranges and for wells and
// cut-offs far wider than the basis.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "potential.hpp"
#include "sk_basis.hpp"
#include "special_quadrature.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

struct Setting {
    const char* basis;
    const char* scheme;
    const char* pot_type;
    int l, kappa;
    double lambda, v0, a, b, z, alpha, g, m, r0;
    int n;
};

void apply(const Setting& s) {
    sk_globals = RunSettings{};
    use_run(s.basis, s.scheme, s.pot_type, s.l, s.kappa, s.lambda);
    const double values[] = {s.v0, s.a, s.b, s.z, s.alpha, s.g, s.m, s.r0};
    set_potential_params(values);
    sk_globals.ntrunc = sk_globals.nstart = sk_globals.nend = s.n;
}

class PotentialAccuracyTest : public SettingsTest {
  protected:
    void TearDown() override {
        vn(0, 0, CacheAction::release);
        SettingsTest::TearDown();
    }
};

TEST_F(PotentialAccuracyTest, TabulatedFunctionsAreTheSingleEvaluations) {
    const Setting settings[] = {
        {"laguerre", "relativistic", "well", 1, 2, 1.3, -1, 0, 1, 0, 0, 0, 0, 0, 300},
        {"gauss", "relativistic", "well", 0, -1, 0.8, -1, 0, 1, 0, 0, 0, 0, 0, 300},
    };
    for (const Setting& s : settings) {
        apply(s);
        std::vector<double> phi(s.n), psi(s.n);
        for (double r : {0.0, 1e-300, 1e-9, 0.37, 2.0, 45.0, 610.0, 1790.0, 4.0e4}) {
            basis_values(s.n, r, phi.data(), psi.data());
            for (int i = 0; i < s.n; i += 7) {
                double fi = 0, fj = 0, pi = 0, pj = 0;
                fi2(i, s.n - 1, r, fi, fj);
                psi2(i, s.n - 1, r, pi, pj);
                EXPECT_TRUE(same_bits(phi[i], fi) && same_bits(phi[s.n - 1], fj) &&
                            same_bits(psi[i], pi) && same_bits(psi[s.n - 1], pj))
                    << s.basis << " " << i << " " << r;
            }
        }
    }
}

// Every potential type, both bases and components. Finite ranges: each element is the
// element-by-element double-exponential integral bit for bit, unless that misses the converged
// value (the fast route's rule) and the tabulated one is closer to it. Infinite ranges: the run's
// rule and the rule of the element's own block agree to rounding.
TEST_F(PotentialAccuracyTest, TabulatedElementsEqualElementByElementIntegrals) {
    const Setting settings[] = {
        {"laguerre", "non-relativistic", "well", 0, 0, 1.0, -1, 0, 1, 0, 0, 0, 0, 0, 300},
        {"gauss", "relativistic", "well", 1, -2, 1.2, 2, 0.5, 1.5, 0, 0, 0, 0, 0, 120},
        {"laguerre", "relativistic", "coulomb", 0, -1, 1.0, 0, 0, 0, 1, 1, 0, 0, 5, 100},
        {"gauss", "non-relativistic", "coulomb", 1, 0, 0.7, 0, 0, 0, 1, 1.5, 0, 0, 3, 200},
        {"laguerre", "non-relativistic", "yukawa", 1, 0, 0.5, 0, 0, 0, 0, 0, 1, 0.3, 8, 150},
        {"gauss", "relativistic", "yukawa", 0, -1, 1.0, 0, 0, 0, 0, 0, 1.5, 1, 3, 60},
        {"laguerre", "relativistic", "user", 0, -1, 1.0, 0, 0, 0, 0, 0, 0, 0, 2, 20},
        {"laguerre", "relativistic", "coulomb", 1, 1, 1.0, 0, 0, 0, 2, 1, 0, 0, 0, 300},
        {"gauss", "relativistic", "yukawa", 0, -1, 1.0, 0, 0, 0, 0, 0, 1.5, 1, -1, 200},
        {"gauss", "non-relativistic", "coulomb", 0, 0, 0.6, 0, 0, 0, 1, 1, 0, 0, 0, 250},
    };
    std::vector<double> table(quadrature_lenaw);
    intde_init(quadrature_lenaw, quadrature_tiny, quadrature_eps, table.data());
    for (const Setting& s : settings) {
        apply(s);
        const bool rel = text_is(sk_globals.scheme, "relativistic");
        const bool finite = text_is(sk_globals.potential.pot_type, "well") || s.r0 > 0;
        const double lower = text_is(sk_globals.potential.pot_type, "well") ? s.a : 0.0;
        const double upper = text_is(sk_globals.potential.pot_type, "well") ? s.b : s.r0;
        const int n = s.n;
        const int picks[] = {0, 1, n / 3, n / 2, n - 2, n - 1};
        for (int component = 0; component < (rel ? 2 : 1); ++component) {
            std::vector<int> rows, cols;
            for (int i : picks)
                for (int j : picks)
                    if (j <= i) rows.push_back(i), cols.push_back(j);
            // Positions of the scheme's ordering for the basis indices.
            std::vector<int> pos_r(rows.size()), pos_c(rows.size());
            for (std::size_t k = 0; k < rows.size(); ++k) {
                pos_r[k] = !rel ? rows[k] : component == 0 ? n - 1 - rows[k] : n + rows[k];
                pos_c[k] = !rel ? cols[k] : component == 0 ? n - 1 - cols[k] : n + cols[k];
            }
            std::vector<double> values(rows.size());
            vn_elements(int(rows.size()), pos_r.data(), pos_c.data(), values.data());
            double scale = 0.0;
            std::vector<double> converged(rows.size());
            for (std::size_t k = 0; k < rows.size(); ++k) {
                converged[k] = potential_element(component == 1, rows[k], cols[k]);
                if (rows[k] == cols[k]) scale = std::max(scale, std::fabs(converged[k]));
            }
            if (scale == 0.0) scale = 1.0;
            for (std::size_t k = 0; k < rows.size(); ++k) {
                SCOPED_TRACE(testing::Message() << s.basis << " " << s.pot_type << " " << component
                                                << " " << rows[k] << " " << cols[k]);
                EXPECT_LE(std::fabs(values[k] - converged[k]), 1e-12 * scale);
                if (!finite) continue;
                sk_globals.ii = rows[k];
                sk_globals.jj = cols[k];
                double single = 0.0, err = 0.0;
                intde(component == 0 ? fi_v_fi : psi_v_psi, lower, upper, table.data(), single,
                      err);
                EXPECT_TRUE(same_bits(values[k], single) ||
                            std::fabs(values[k] - converged[k]) < std::fabs(single - converged[k]));
            }
        }
    }
}

// The tables are built and the elements summed on any number of threads with the same bits.
TEST_F(PotentialAccuracyTest, ElementsDoNotDependOnThreadCount) {
    const Setting settings[] = {
        {"gauss", "relativistic", "well", 0, -1, 1.0, -1, 0.5, 1, 0, 0, 0, 0, 0, 150},
        {"laguerre", "relativistic", "yukawa", 1, 1, 0.8, 0, 0, 0, 0, 0, 1, 1, 0, 150},
    };
    const int saved = omp_get_max_threads();
    for (const Setting& s : settings) {
        std::vector<int> rows, cols;
        for (int k = 0; k < 2 * s.n; ++k)
            rows.insert(rows.end(), {0, 2 * s.n - 1, s.n}), cols.insert(cols.end(), {k, k, k});
        std::vector<double> values[2];
        for (int threads = 1; threads <= 2; ++threads) {
            omp_set_num_threads(threads);
            Setting other = s;
            other.lambda *= 1.5;  // a build for other settings first, so the tables are rebuilt
            apply(other);
            vn(0, 0);
            apply(s);
            values[threads - 1].resize(rows.size());
            vn_elements(int(rows.size()), rows.data(), cols.data(), values[threads - 1].data());
        }
        for (std::size_t k = 0; k < rows.size(); ++k)
            EXPECT_TRUE(same_bits(values[0][k], values[1][k])) << s.pot_type << " " << k;
    }
    omp_set_num_threads(saved);
}

// Eigen route (vn) and fast route (potential_element) against the references, both to 1e-12 of
// the largest element of the setting.
TEST_F(PotentialAccuracyTest, HighIndexAndWideRangeElementsMatchReference) {
    auto rows = read_table("potential_wide.txt");
    ASSERT_GE(rows.size(), 100u);
    static const char* bases[] = {"laguerre", "gauss"};
    static const char* schemes[] = {"non-relativistic", "relativistic"};
    static const char* pots[] = {"well", "coulomb", "yukawa"};
    int high_rows = 0;
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 19u);
        const int n = int(row[14]);
        Setting s{};
        s.basis = bases[int(row[0])], s.scheme = schemes[int(row[1])];
        s.pot_type = pots[int(row[2])], s.l = int(row[3]), s.kappa = int(row[4]), s.n = n;
        double* fields[] = {&s.lambda, &s.v0, &s.a, &s.b, &s.z, &s.alpha, &s.g, &s.m, &s.r0};
        for (int f = 0; f < 9; ++f)
            *fields[f] = row[5 + f];
        apply(s);
        const int pr = int(row[15]), pc = int(row[16]);
        const bool rel = row[1] == 1;
        const bool psi = rel && pr >= n;
        const int i = !rel ? pr : psi ? pr - n : n - 1 - pr;
        const int j = !rel ? pc : psi ? pc - n : n - 1 - pc;
        high_rows += std::max(i, j) >= 999;
        const double routes[2] = {vn(pr, pc), potential_element(psi, i, j)};
        for (int r = 0; r < 2; ++r) {
            EXPECT_LT(std::fabs(routes[r] - row[17]) / row[18], 1e-12)
                << (r ? "fast " : "eigen ") << s.basis << " " << s.pot_type << " " << n << " " << pr
                << " " << pc;
        }
    }
    EXPECT_GE(high_rows, 10);
}

}  // namespace
}  // namespace skarven::test
