// Guards against wrong basis elements, Laguerre polynomials and basis functions, also in threads.
#include <cmath>
#include <vector>

#include "basis.hpp"
#include "settings_fixture.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

void use(double basis, int l, double lambda, int kappa = 0) {
    sk_globals.basis = padded(basis == 0 ? "laguerre" : "gauss", 8);
    sk_globals.projectile.l = l;
    sk_globals.projectile.kappa = kappa;
    sk_globals.lambda = lambda;
}

using Basis = SettingsTest;

// Overlap and kinetic elements against mpmath integrals, relative to the diagonal's scale.
TEST_F(Basis, ElementsAgainstMpmathIntegrals) {
    for_rows("basis_integrals.txt", 100, [&](const std::vector<double>& row) {
        const int i = int(row[3]), n = int(row[4]);
        use(row[0], int(row[1]), row[2]);
        for (int k = 0; k < 2; ++k) {  // overlap, kinetic
            double (*f)(int, int) = k == 0 ? fifi : psipsi;
            EXPECT_LE(std::fabs(f(i, n) - row[5 + k]) / std::sqrt(std::fabs(f(i, i) * f(n, n))),
                      1e-13);
        }
    });
}

// phi_n, psi_n against mpmath (r <= 1e8, n <= 5000): underflow near 0, else n^2 eps rounding.
TEST_F(Basis, ValuesAgainstMpmath) {
    std::vector<double> phi(5001), psi(5001);
    for_rows("basis_values.txt", 1000, [&](const std::vector<double>& row) {
        const int l = int(row[1]), n = int(row[3]);
        const double r = row[4];
        for (int column : {5, 6, 7}) {
            use(row[0], l, row[2], column == 7 ? -l - 1 : l);
            basis_values(n + 1, r, phi.data(), psi.data());
            const double value = (column == 5 ? phi : psi)[n];
            ASSERT_TRUE(std::isfinite(value)) << column;
            if (std::fabs(row[column]) < 1.0e-300) {
                EXPECT_LT(std::fabs(value), 1.0e-290) << column;
                continue;
            }
            // Near the cancelling kappa/r term the literal form is accurate relative to it.
            const double scale =
                std::fabs(row[column]) + (column == 7 ? (l + 1) / r * std::fabs(row[5]) : 0.0);
            EXPECT_LE(std::fabs(value - row[column]) / scale, 1e-12 + 1e-15 * n * n) << column;
        }
    });
    // At r = 0: phi_n = 0, and psi_n(0) = lambda (kappa + 1) L_n(0) for l = 0.
    for (double basis : {0.0, 1.0}) {
        use(basis, 1, 1.3, -2);
        basis_values(101, 0.0, phi.data(), nullptr);
        EXPECT_TRUE(phi[4] == 0.0 && phi[100] == 0.0) << basis;
    }
    use(0.0, 0, 1.3, 0);
    basis_values(5, 0.0, phi.data(), psi.data());
    EXPECT_LT(relative_error(psi[4], 1.3 * 5.0), 1e-15);  // L_4^(1)(0) = 5
}

// basis_values inside a parallel loop gives the serial values.
TEST_F(Basis, ValuesFromParallelLoop) {
    use(1.0, 1, 0.9, 1);
    std::vector<double> serial(64 * 8), parallel(64 * 8), phi(64 * 8);
    for (int k = 0; k < 64; ++k)
        basis_values(8, 0.1 + 0.2 * k, &phi[8 * k], &serial[8 * k]);
#pragma omp parallel for schedule(static)
    for (int k = 0; k < 64; ++k)
        basis_values(8, 0.1 + 0.2 * k, &phi[8 * k], &parallel[8 * k]);
    EXPECT_EQ(serial, parallel);
}

}  // namespace
}  // namespace skarven::test
