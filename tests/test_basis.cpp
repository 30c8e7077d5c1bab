// Guards against wrong basis elements, Laguerre polynomials and basis functions, also in threads.
#include <cmath>
#include <vector>

#include "basis.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

// Basis column of the reference tables: 0 Laguerre, 1 the oscillator.
skarven::Basis basis_of(double column, double lambda) {
    return {column == 0 ? BasisKind::laguerre : BasisKind::oscillator, lambda};
}

// Overlap and kinetic elements against mpmath integrals, relative to the diagonal's scale.
TEST(Basis, ElementsAgainstMpmathIntegrals) {
    for_rows("basis_integrals.txt", 100, [&](const std::vector<double>& row) {
        const int l = int(row[1]), i = int(row[3]), n = int(row[4]);
        const skarven::Basis basis = basis_of(row[0], row[2]);
        for (int k = 0; k < 2; ++k) {  // overlap, kinetic
            double (*f)(const skarven::Basis&, double, int, int) = k == 0 ? overlap : kinetic;
            EXPECT_LE(std::fabs(f(basis, l, i, n) - row[5 + k]) /
                          std::sqrt(std::fabs(f(basis, l, i, i) * f(basis, l, n, n))),
                      1e-13);
        }
    });
}

// At a non-integer order (l = gamma - 1, kappa = -gamma): overlap, kinetic and the coupling
// <phi_i | psi_n / r> the order leaves out, against mpmath integrals, relative to the diagonal's
// scale (the coupling's own diagonal for it).
TEST(Basis, RealOrderElementsAgainstMpmathIntegrals) {
    for_rows("basis_real_order.txt", 50, [&](const std::vector<double>& row) {
        const double gamma = row[0];
        const skarven::Basis basis{BasisKind::laguerre, row[1]};
        const Order order{gamma - 1.0, -gamma, 1.0};
        const int i = int(row[2]), n = int(row[3]);
        for (int k = 0; k < 2; ++k) {  // overlap, kinetic
            double (*f)(const skarven::Basis&, double, int, int) = k == 0 ? overlap : kinetic;
            EXPECT_LE(std::fabs(f(basis, order.l, i, n) - row[4 + k]) /
                          std::sqrt(std::fabs(f(basis, order.l, i, i) * f(basis, order.l, n, n))),
                      1e-13)
                << "gamma " << gamma << " i " << i << " n " << n;
        }
        const double scale = std::sqrt(std::fabs(order_coupling(basis, order, 1.0, i, i) *
                                                 order_coupling(basis, order, 1.0, n, n)));
        EXPECT_LE(std::fabs(order_coupling(basis, order, 1.0, i, n) - row[6]) / scale, 1e-13)
            << "gamma " << gamma << " i " << i << " n " << n;
    });
}

// phi_n, psi_n against mpmath (r <= 1e8, n <= 5000): underflow near 0, else n^2 eps rounding.
TEST(Basis, ValuesAgainstMpmath) {
    std::vector<double> phi(5001), psi(5001);
    for_rows("basis_values.txt", 1000, [&](const std::vector<double>& row) {
        const int l = int(row[1]), n = int(row[3]);
        const double r = row[4];
        for (int column : {5, 6, 7}) {
            const Wave wave{l, column == 7 ? -l - 1 : l};
            basis_values(basis_of(row[0], row[2]), wave, n + 1, r, phi.data(), psi.data());
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
    for (double column : {0.0, 1.0}) {
        basis_values(basis_of(column, 1.3), Wave{1, -2}, 101, 0.0, phi.data(), nullptr);
        EXPECT_TRUE(phi[4] == 0.0 && phi[100] == 0.0) << column;
    }
    basis_values(basis_of(0.0, 1.3), Wave{0, 0}, 5, 0.0, phi.data(), psi.data());
    EXPECT_LT(relative_error(psi[4], 1.3 * 5.0), 1e-15);  // L_4^(1)(0) = 5
}

// basis_values inside a parallel loop gives the serial values.
TEST(Basis, ValuesFromParallelLoop) {
    const skarven::Basis basis = basis_of(1.0, 0.9);
    const Wave wave{1, 1};
    std::vector<double> serial(64 * 8), parallel(64 * 8), phi(64 * 8);
    for (int k = 0; k < 64; ++k)
        basis_values(basis, wave, 8, 0.1 + 0.2 * k, &phi[8 * k], &serial[8 * k]);
#pragma omp parallel for schedule(static)
    for (int k = 0; k < 64; ++k)
        basis_values(basis, wave, 8, 0.1 + 0.2 * k, &phi[8 * k], &parallel[8 * k]);
    EXPECT_EQ(serial, parallel);
}

}  // namespace
}  // namespace skarven::test
