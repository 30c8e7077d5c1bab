#pragma once
// Partial-wave sums: scattering amplitudes, differential, elastic and momentum-transfer cross
// sections of a short-range potential from its phase shifts at one energy. Atomic units: k in
// 1/bohr, cross sections in bohr^2, differential cross sections in bohr^2/sr.

#include <complex>
#include <vector>

namespace skarven {

// Phase shifts of one energy, l = 0 ... size() - 1. Dirac scheme: `minus[l]` is delta of
// kappa = -l-1 (j = l+1/2) and `plus[l]` that of kappa = l (j = l-1/2; plus[0] is not used).
// Schroedinger scheme: both hold delta_l, which makes every Dirac formula below reduce to the
// Schroedinger one (the spin-flip amplitude vanishes).
struct PartialWaves {
    bool relativistic = false;
    std::vector<double> minus;
    std::vector<double> plus;
    int size() const { return static_cast<int>(minus.size()); }
};

struct Amplitudes {
    std::complex<double> direct;     // f(theta)
    std::complex<double> spin_flip;  // g(theta), 0 in the Schroedinger scheme
};

// f and g at angle theta (radians) for wave number k. Cost: O(size()) by the Legendre
// recurrences for P_l and P_l^1.
Amplitudes scattering_amplitudes(double k, const PartialWaves& waves, double theta);
// |f|^2 + |g|^2: the differential cross section of an unpolarised beam.
double differential_cross_section(double k, const PartialWaves& waves, double theta);
// Integral of the differential cross section over the sphere, (4 pi / k^2) sum |kappa|
// sin^2 delta_kappa.
double elastic_cross_section(double k, const PartialWaves& waves);
// Integral of (1 - cos theta) times the differential cross section. Schroedinger scheme:
// (4 pi / k^2) sum (l + 1) sin^2(delta_(l+1) - delta_l); Dirac scheme: the closed form in the
// amplitudes' partial-wave coefficients (see the definition). Waves beyond size() count as 0.
double transport_cross_section(double k, const PartialWaves& waves);

}  // namespace skarven
