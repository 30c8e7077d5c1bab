#pragma once
// Partial-wave sums: scattering amplitudes, differential, elastic and momentum-transfer cross
// sections of a short-range potential from its phase shifts at one energy, alone or under a
// Coulomb tail. Atomic units: k in 1/bohr, cross sections in bohr^2, differential cross sections
// in bohr^2/sr.

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
    // Sommerfeld parameter zc/k of a Coulomb tail (Schroedinger scheme only): the shifts are then
    // relative to the Coulomb functions, and every wave carries the Coulomb phase
    // sigma_l = arg Gamma(l + 1 + i eta) as well.
    double eta = 0.0;
    int size() const { return static_cast<int>(minus.size()); }
};

struct Amplitudes {
    std::complex<double> direct;     // f(theta); with a tail the nuclear part f_N, without f_C
    std::complex<double> spin_flip;  // g(theta), 0 in the Schroedinger scheme
};

// f and g at angle theta (radians) for wave number k. With a tail, f is the nuclear amplitude
// f_N = 1/(2ik) sum (2l+1) exp(2i sigma_l) (exp(2i delta_l) - 1) P_l(cos theta). Cost: O(size())
// by the Legendre recurrences for P_l and P_l^1.
Amplitudes scattering_amplitudes(double k, const PartialWaves& waves, double theta);
// The Rutherford amplitude of the tail in closed form,
//     f_C = -eta / (2k sin^2(theta/2)) exp(-i eta ln sin^2(theta/2) + 2i sigma_0),
// and its square eta^2 / (4 k^2 sin^4(theta/2)). Infinite at theta = 0; 0 at eta = 0.
std::complex<double> rutherford_amplitude(double k, double eta, double theta);
double rutherford_cross_section(double k, double eta, double theta);
// |f|^2 + |g|^2: the differential cross section of an unpolarised beam; with a tail
// |f_C + f_N|^2, which needs theta > 0.
double differential_cross_section(double k, const PartialWaves& waves, double theta);
// Integral of the differential cross section over the sphere, (4 pi / k^2) sum |kappa|
// sin^2 delta_kappa. With a tail the integral diverges and this is the nuclear part, the
// integral of |f_N|^2 (exactly the same sum).
double elastic_cross_section(double k, const PartialWaves& waves);
// Integral of (1 - cos theta) times the differential cross section. Schroedinger scheme:
// (4 pi / k^2) sum (l + 1) sin^2(delta_(l+1) - delta_l); Dirac scheme: the closed form in the
// amplitudes' partial-wave coefficients (see the definition). Waves beyond size() count as 0.
// With a tail the integral diverges (logarithmically, at small angles) and this is its change by
// the short-range potential, the integral of (1 - cos theta)(|f_C + f_N|^2 - |f_C|^2):
//     (4 pi / k^2) sum (l + 1) [sin^2(s_(l+1) - s_l) - sin^2(sigma_(l+1) - sigma_l)],
// s_l = sigma_l + delta_l, finite since the terms vanish with delta_l.
double transport_cross_section(double k, const PartialWaves& waves);

}  // namespace skarven
