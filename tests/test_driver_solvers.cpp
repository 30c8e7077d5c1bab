// Guards against the two solver routes disagreeing on identical potential matrices.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "driver_support.hpp"
#include "potential.hpp"
#include "settings.hpp"
#include "sk_basis.hpp"
#include "sk_g.hpp"

namespace skarven::test {
namespace {

// The potential blocks as the eigen route integrates them, element by element.
void integrated_blocks(int n, std::vector<double>& phi, std::vector<double>& psi) {
    const RunSettings kept = sk_globals;
    sk_globals.ntrunc = n;
    sk_globals.nstart = -1;  // no reloaded matrix
    const bool rel = text_is(sk_globals.scheme, "relativistic");
    const int dim = rel ? 2 * n : n;
    std::vector<double> m(static_cast<std::size_t>(dim) * dim, 0.0);
    vn_lower_triangle(dim, m.data());
    sk_globals = kept;
    phi.assign(static_cast<std::size_t>(n) * n, 0.0);
    psi.assign(rel ? static_cast<std::size_t>(n) * n : 0, 0.0);
    for (int r = 0; r < dim; ++r) {
        for (int c = 0; c <= r; ++c) {
            const double value = m[r + static_cast<std::size_t>(c) * dim];
            if (!rel) {
                phi[r + c * n] = phi[c + r * n] = value;
            } else if (r < n && c < n) {
                const int i = n - 1 - r, j = n - 1 - c;
                phi[i + j * n] = phi[j + i * n] = value;
            } else if (r >= n && c >= n) {
                const int i = r - n, j = c - n;
                psi[i + j * n] = psi[j + i * n] = value;
            }
        }
    }
}

class Solvers : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        set_potential_blocks_source(integrated_blocks);
    }
    void TearDown() override {
        set_potential_blocks_source(nullptr);
        DriverTest::TearDown();
    }

    // Both routes on the same settings; every basis size and every energy must agree.
    // The basis-size points followed by the energy points, modulo pi.
    void expect_same_phase_shifts(RunSetup setup, const std::string& what, double tolerance) {
        std::vector<Point> points[2];
        for (int route = 0; route < 2; ++route) {
            setup.solver = route == 0 ? "eigen" : "fast";
            points[route] = run(setup, setup.solver);
            if (setup.energies)
                for (const Point& p : read_points(dir_ / (setup.solver + ".en")))
                    points[route].push_back(p);
        }
        ASSERT_EQ(points[0].size(), points[1].size()) << what;
        for (std::size_t i = 0; i < points[0].size(); ++i)
            EXPECT_NEAR(std::remainder(points[0][i].delta - points[1][i].delta, M_PI), 0.0,
                        tolerance)
                << what << " " << i << " " << points[0][i].x;
    }
};

TEST_F(Solvers, AgreeOnRandomSettings) {
    std::mt19937 random(20261206);
    auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(random);
    };
    auto pick = [&](int count) { return std::uniform_int_distribution<int>(0, count - 1)(random); };
    for (int i = 0; i < 12; ++i) {
        RunSetup s;
        s.scheme = pick(2) == 0 ? "non-relativistic" : "relativistic";
        s.basis = pick(2) == 0 ? "laguerre" : "gauss";
        s.lambda = uniform(0.6, 1.6);
        s.l = pick(5);
        s.kappa = pick(2) == 0 ? s.l : -s.l - 1;
        if (s.scheme == "relativistic" && s.kappa == 0) s.kappa = -1;
        s.vol = pick(2) == 0 ? "finite" : "infinite";
        s.e = uniform(0.3, 3.0);
        s.nend = 10 + pick(25);
        const double estart = uniform(0.2, 1.0);
        const double eend = estart + uniform(0.5, 2.0);
        s.energy_range(estart, eend, (eend - estart) / 3.0);
        switch (i % 4) {
            case 0:
                s.pot_type = "well";
                s.v0 = uniform(-3.0, 1.0);
                s.a = pick(2) == 0 ? 0.0 : uniform(0.1, 0.6);
                s.b = s.a + uniform(0.5, 2.0);
                break;
            case 1:
                s.pot_type = "coulomb";
                s.z = uniform(0.5, 2.0);
                s.alpha = pick(2) == 0 ? 1.0 : 0.5;
                s.r0 = pick(2) == 0 ? 0.0 : uniform(2.0, 6.0);
                break;
            case 2:
                s.pot_type = "yukawa";
                s.g = uniform(0.5, 1.5);
                s.m = uniform(0.5, 2.0);
                s.r0 = pick(2) == 0 ? 0.0 : uniform(2.0, 6.0);
                break;
            default:
                s.pot_type = "user";
                break;
        }
        if (s.scheme == "relativistic" && s.l == 0 && s.pot_type != "well") s.l = s.kappa = 1;
        expect_same_phase_shifts(s, "case " + std::to_string(i), 1e-10);
    }
}

TEST_F(Solvers, AgreeAtALargeBasis) {
    RunSetup s;
    s.a = 0.3;
    s.l = 2;
    s.lambda = 1.3;
    s.nend = 120;
    s.energy_range(0.5, 1.5, 0.5);
    expect_same_phase_shifts(s, "well at a large basis", 1e-10);
}

// Eigenvalues of the pencil H - E S of the truncated non-relativistic problem at basis size n.
std::vector<double> truncated_eigenvalues(const RunSetup& setup, int n) {
    apply(setup);
    std::vector<double> phi, psi;
    integrated_blocks(n, phi, psi);
    std::vector<double> h(static_cast<std::size_t>(n) * n), s(h.size());
    for (int c = 0; c < n; ++c) {
        for (int r = 0; r < n; ++r) {
            h[r + c * n] = 0.5 * psipsi(r, c) + phi[r + c * n];
            s[r + c * n] = fifi(r, c);
        }
    }
    EnergyGreen pencil;
    pencil.decompose(n, h.data(), s.data());
    return pencil.eigenvalues();
}

TEST_F(Solvers, AgreeNextToEigenvaluesOfTruncatedMatrices) {
    RunSetup s;
    s.a = 0.2;
    s.nend = 30;
    // The first positive eigenvalue at N = 12 and at N = 30.
    auto first_positive = [&](int n) {
        double best = 1e300;
        for (double value : truncated_eigenvalues(s, n))
            if (value > 0.05 && value < best) best = value;
        return best;
    };
    const double at_12 = first_positive(12);
    const double at_30 = first_positive(30);
    // The basis-size pass passes an almost singular matrix at N = 12; the energy pass brackets
    // an eigenvalue of the N = 30 matrix.
    s.e = at_12 + 1e-9 * at_12;
    const double below = at_30 - 1e-9 * at_30, above = at_30 + 1e-9 * at_30;
    s.energy_range(below, above, above - below);
    expect_same_phase_shifts(s, "next to eigenvalues", 1e-10);
}

}  // namespace
}  // namespace skarven::test
