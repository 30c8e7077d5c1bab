// Guards against wrong partial-wave sums: optical theorem, sphere integrals, Schroedinger limit.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <map>
#include <numbers>
#include <tuple>

#include "cross_sections.hpp"
#include "special.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

using std::numbers::pi;

// Large low waves of both signs and a tail; the Dirac shifts differ between the two kappa.
PartialWaves sample_waves(bool relativistic, int size, double seed) {
    PartialWaves waves{relativistic, {}, {}};
    for (int l = 0; l < size; ++l) {
        const double minus = std::sin(seed * (l + 1.3)) * std::exp(-0.4 * l) * 1.4;
        waves.minus.push_back(minus);
        waves.plus.push_back(minus +
                             (relativistic && l > 0 ? 0.3 * std::cos(seed * l) / (l + 1) : 0.0));
    }
    return waves;
}

// Optical theorem, Simpson's rule over the sphere; Dirac with equal shifts is Schroedinger.
TEST(CrossSections, OpticalTheoremSphereIntegralsAndSchroedingerLimit) {
    for (bool relativistic : {false, true})
        for (auto [size, k, seed] : {std::tuple(1, 0.3, 0.7), std::tuple(30, 4.0, 0.37)}) {
            const PartialWaves waves = sample_waves(relativistic, size, seed);
            const double sigma = elastic_cross_section(k, waves);
            const double sigma_t = transport_cross_section(k, waves);
            const Amplitudes forward = scattering_amplitudes(k, waves, 0.0);
            SCOPED_TRACE(testing::Message() << "relativistic " << relativistic << ", l < " << size);
            EXPECT_LT(relative_error(4.0 * pi / k * forward.direct.imag(), sigma), 1e-12);
            EXPECT_LT(std::abs(forward.spin_flip), 1e-14 * sigma);
            if (size == 1) {  // a pure s wave scatters isotropically: sin^2(delta) / k^2
                for (double theta : {0.0, 1.0, pi})
                    EXPECT_NEAR(differential_cross_section(k, waves, theta) * k * k,
                                std::pow(std::sin(waves.minus[0]), 2), 1e-15);
            }
            constexpr int intervals = 4000;
            double total = 0.0, transport = 0.0;
            for (int i = 0; i <= intervals; ++i) {
                const double theta = i * pi / intervals;
                const double w = (i == 0 || i == intervals ? 1.0 : 2.0 + 2.0 * (i % 2)) *
                                 differential_cross_section(k, waves, theta) * std::sin(theta);
                total += w;
                transport += w * (1.0 - std::cos(theta));
            }
            const double h = 2.0 * pi * pi / intervals / 3.0;
            EXPECT_LT(relative_error(h * total, sigma), 1e-9);
            EXPECT_LT(relative_error(h * transport, sigma_t), 1e-9);
            if (relativistic) continue;
            PartialWaves dirac = waves;  // equal shifts for both kappa
            dirac.relativistic = true;
            EXPECT_LT(relative_error(transport_cross_section(k, dirac), sigma_t), 1e-13);
            EXPECT_LT(std::abs(scattering_amplitudes(k, dirac, 1.0).spin_flip), 1e-14);
        }
}

// Under a Coulomb tail: sigma_l, f_N, f_C, dsigma/dOmega and its ratio to Rutherford at each
// angle, the nuclear sigma and the transport change (the integrals by quadrature) against mpmath
// (tests/data/gen_coulomb_cross_sections.py), eta = +-0.5, +-2, l = 0 ... 20.
TEST(CrossSections, CoulombTailAgainstMpmath) {
    const auto rows = read_table("coulomb_cross_sections.txt");
    std::map<int, PartialWaves> cases;
    std::map<int, double> wave_numbers;
    int phases = 0, angles = 0;
    for (const std::vector<double>& r : rows) {
        const int kind = static_cast<int>(r[0]);
        if (kind == 0) {
            const int l = static_cast<int>(r[2]);
            EXPECT_LE(std::fabs(coulomb_phase(l, r[1]) - r[3]),
                      1e-15 * std::max(1.0, std::fabs(r[3])))
                << "eta " << r[1] << " l " << l;
            ++phases;
        } else if (kind == 1) {
            const int size = static_cast<int>(r[4]);
            PartialWaves waves;
            waves.eta = r[3];
            waves.minus.assign(r.begin() + 5, r.begin() + 5 + size);
            waves.plus = waves.minus;
            const double k = r[2];
            SCOPED_TRACE(testing::Message() << "k " << k << " eta " << waves.eta);
            EXPECT_LT(relative_error(elastic_cross_section(k, waves), r[5 + size]), 1e-13);
            EXPECT_LT(relative_error(transport_cross_section(k, waves), r[6 + size]), 1e-12);
            cases[static_cast<int>(r[1])] = waves;
            wave_numbers[static_cast<int>(r[1])] = k;
        } else {
            const int c = static_cast<int>(r[1]);
            const PartialWaves& waves = cases.at(c);
            const double k = wave_numbers.at(c), theta = r[2] * pi / 180.0;
            SCOPED_TRACE(testing::Message() << "case " << c << " theta " << r[2]);
            const std::complex<double> f_n = scattering_amplitudes(k, waves, theta).direct;
            const std::complex<double> f_c = rutherford_amplitude(k, waves.eta, theta);
            EXPECT_LT(std::abs(f_n - std::complex(r[3], r[4])), 1e-13 * std::abs(f_n));
            EXPECT_LT(std::abs(f_c - std::complex(r[5], r[6])), 1e-13 * std::abs(f_c));
            const double dcs = differential_cross_section(k, waves, theta);
            EXPECT_LT(relative_error(dcs, r[7]), 1e-12);
            EXPECT_LT(relative_error(dcs / rutherford_cross_section(k, waves.eta, theta), r[8]),
                      1e-12);
            ++angles;
        }
    }
    EXPECT_EQ(phases, 84);
    EXPECT_EQ(cases.size(), 4u);
    EXPECT_EQ(angles, 28);
}

}  // namespace
}  // namespace skarven::test
