// Partial-wave sums: optical theorem, integrals of the differential cross section over the
// sphere against the closed forms, and the Dirac formulas' Schroedinger limit.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "cross_sections.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

constexpr double pi = 3.141592653589793;

// Phase shifts of no potential in particular: large low waves of both signs, a tail.
PartialWaves sample_waves(bool relativistic, int size, double seed) {
    PartialWaves waves;
    waves.relativistic = relativistic;
    for (int l = 0; l < size; ++l) {
        const double minus = std::sin(seed * (l + 1.3)) * std::exp(-0.4 * l) * 1.4;
        waves.minus.push_back(minus);
        waves.plus.push_back(relativistic && l > 0 ? minus + 0.3 * std::cos(seed * l) / (l + 1)
                                                   : minus);
    }
    return waves;
}

// Composite Simpson rule of 2 pi int_0^pi w(theta) dsigma/dOmega sin(theta) dtheta.
template <class Weight>
double sphere_integral(double k, const PartialWaves& waves, Weight weight) {
    constexpr int intervals = 4000;
    const double h = pi / intervals;
    double sum = 0.0;
    for (int i = 0; i <= intervals; ++i) {
        const double theta = i * h;
        const double factor = i == 0 || i == intervals ? 1.0 : (i % 2 == 1 ? 4.0 : 2.0);
        sum +=
            factor * weight(theta) * differential_cross_section(k, waves, theta) * std::sin(theta);
    }
    return 2.0 * pi * sum * h / 3.0;
}

TEST(CrossSections, OpticalTheoremAndSphereIntegrals) {
    const struct {
        bool relativistic;
        int size;
        double k, seed;
    } cases[] = {{false, 1, 0.3, 0.7}, {false, 12, 1.7, 1.9}, {false, 30, 4.0, 0.37},
                 {true, 1, 0.3, 0.7},  {true, 12, 1.7, 1.9},  {true, 30, 4.0, 0.37}};
    for (const auto& c : cases) {
        const PartialWaves waves = sample_waves(c.relativistic, c.size, c.seed);
        const double sigma = elastic_cross_section(c.k, waves);
        const double transport = transport_cross_section(c.k, waves);
        const Amplitudes forward = scattering_amplitudes(c.k, waves, 0.0);
        SCOPED_TRACE(testing::Message() << "relativistic " << c.relativistic << ", l < " << c.size);
        EXPECT_LT(relative_error(4.0 * pi / c.k * forward.direct.imag(), sigma), 1e-12);
        EXPECT_LT(std::abs(forward.spin_flip), 1e-14 * sigma);
        EXPECT_LT(relative_error(sphere_integral(c.k, waves, [](double) { return 1.0; }), sigma),
                  1e-9);
        EXPECT_LT(
            relative_error(sphere_integral(c.k, waves, [](double t) { return 1.0 - std::cos(t); }),
                           transport),
            1e-9);
    }
}

// Equal shifts for both kappa: the Dirac sums are the Schroedinger ones and g vanishes.
TEST(CrossSections, DiracWithEqualShiftsIsSchroedinger) {
    PartialWaves schroedinger = sample_waves(false, 15, 1.1);
    PartialWaves dirac = schroedinger;
    dirac.relativistic = true;
    const double k = 2.2;
    EXPECT_LT(
        relative_error(transport_cross_section(k, dirac), transport_cross_section(k, schroedinger)),
        1e-13);
    for (double theta : {0.0, 0.4, 1.9, pi})
        EXPECT_LT(std::abs(scattering_amplitudes(k, dirac, theta).spin_flip), 1e-14);
}

// A pure s wave scatters isotropically: dsigma/dOmega = sin^2(delta) / k^2 = sigma / 4 pi.
TEST(CrossSections, SWaveIsIsotropic) {
    const PartialWaves waves{false, {0.8}, {0.8}};
    const double k = 0.5;
    const double expected = std::sin(0.8) * std::sin(0.8) / (k * k);
    for (double theta : {0.0, 1.0, pi})
        EXPECT_NEAR(differential_cross_section(k, waves, theta), expected, 1e-15 * expected);
    EXPECT_NEAR(transport_cross_section(k, waves), 4.0 * pi * expected, 1e-14 * expected);
}

}  // namespace
}  // namespace skarven::test
