#pragma once
// SKARVEN as a library: phase shifts of a central potential by the algebraic L^2 basis method,
// Schroedinger or Dirac, in a Laguerre or an oscillator basis. Atomic units: energies in
// hartree, lengths in bohr, wave numbers in 1/bohr, cross sections in bohr^2 (per steradian for
// dsigma/dOmega). Every call computes in the program's floating-point mode (subnormals flushed)
// and restores the caller's; nothing is printed or written; errors throw skarven::Error (bad
// input: the parameter file's messages) or skarven::InternalError (a broken invariant). Calls
// share no state: independent calls may run at once in different threads, each giving the bits
// it gives alone.
//
//   skarven::Problem p;                      // Laguerre basis, lambda = 1, Schroedinger, l = 0
//   p.potential = {.kind = skarven::PotentialKind::yukawa, .g = 1.0, .m = 1.0};
//   auto by_n = skarven::phase_shifts_by_size(p, 1.0, 10, 200);  // delta_N, N = 10 ... 200
//   auto by_e = skarven::phase_shifts_by_energy(p, 200, {0.5, 1.0, 2.0});

#include <optional>
#include <string>
#include <vector>

#include "skarven/errors.hpp"
#include "skarven/options.hpp"
#include "skarven/problem.hpp"

namespace skarven {

struct SizeScan {
    std::vector<int> sizes;  // N
    std::vector<double> tan_delta;
    std::vector<double> delta;
    std::vector<std::string> warnings;  // "routine: message" of each warning, in order
};

// delta_N at kinetic energy e for N = first ... last. Cost: the eigen route O(N^3) per size, the
// fast route the potential blocks at `last` and O(N^2) per size. delta_N approaches delta
// algebraically in N (about N^-3/2 for potentials smooth on (0, infinity)); compare several N.
// Throws Error for an invalid problem, e <= 0, first < 1 or last < first.
SizeScan phase_shifts_by_size(const Problem& problem, double e, int first, int last,
                              const Options& options = {});

struct EnergyScan {
    std::vector<double> energies;
    std::vector<double> tan_delta;
    std::vector<double> delta;
    std::vector<std::string> warnings;
};

// delta at basis size n for each energy (> 0). Cost: the eigen route O(n^3) per energy, the fast
// route one O(n^3) decomposition and O(n) per energy. Accuracy as delta_N above.
EnergyScan phase_shifts_by_energy(const Problem& problem, int n,
                                  const std::vector<double>& energies, const Options& options = {});

struct Limit {
    double delta = 0.0;  // lim delta_N, on the branch of the last delta_N
    double error = 0.0;  // estimated absolute error (a bound in the cases tested, not a guess)
    int largest_size = 0;
    bool converged = false;  // error <= tolerance
};

// delta = lim delta_N at kinetic energy e with an error estimate, by the fast route: delta_N in
// stages to 100, 200, 400, ... (largest_size at most) until the estimate's error is within
// `tolerance`. The estimate fits the known form of the approach (powers of N times oscillations
// whose phase the basis and the potential's jumps fix); see README. Cost: about 1.15 passes to
// the last N, O(N^3) / 3; the Yukawa s wave to 1e-8 needs N = 1600, about a second.
Limit phase_shift_limit(const Problem& problem, double e, double tolerance,
                        int largest_size = largest_basis, const Options& options = {});

struct PartialWaveResult {
    std::vector<double> energies;
    std::vector<Wave> waves;                 // l = 0, 1, ...; Dirac: kappa = -l-1 before l
    std::vector<std::vector<double>> delta;  // [wave][energy]
    int lmax_reached = 0;
    bool converged = false;                   // two l in a row below lconv
    std::vector<double> sigma;                // elastic cross section, per energy
    std::vector<double> sigma_transport;      // momentum-transfer cross section, per energy
    std::vector<double> angles;               // degrees, 0 ... 180 (empty without angles)
    std::vector<std::vector<double>> dsigma;  // [energy][angle], dsigma/dOmega
    // With zc only (empty without): the Coulomb phase sigma_l = arg Gamma(l + 1 + i eta) of
    // each wave, and dsigma/dOmega over the Rutherford cross section.
    std::vector<std::vector<double>> coulomb_phase;     // [wave][energy]
    std::vector<std::vector<double>> rutherford_ratio;  // [energy][angle]
};

// Every partial wave l = 0 ... lmax (the problem's own wave is not used) at basis size n by the
// fast route, stopped after two l in a row whose |sin delta| stay below lconv at every energy,
// and the cross sections summed from them (`angles` >= 2 equally spaced angles for dsigma/dOmega,
// or 0). Cost per wave as phase_shifts_by_energy. Needs a short-range potential: a Coulomb tail
// (alpha <= 1 without a cut-off r0) is refused; take zc for it. With zc, delta is relative to the
// Coulomb functions, dsigma/dOmega = |f_C + f_N|^2, theta = 0 (where f_C is infinite) is left
// out of the angles, sigma is the nuclear part (4 pi / k^2) sum (2l+1) sin^2 delta_l and
// sigma_transport the change of the divergent momentum-transfer integral by the short-range
// potential (README, "Cross sections with a Coulomb tail").
PartialWaveResult partial_waves(const Problem& problem, int n, const std::vector<double>& energies,
                                int lmax, double lconv, int angles = 0,
                                const Options& options = {});

// The exact phase shift of the square well or spherical shell (PotentialKind::well) at kinetic
// energy e, in (-pi/2, pi/2]; none for other potentials, below the well's top, or where the
// Bessel functions cannot be computed. Cost: a few Bessel values; accurate to a few ulps of
// tan(delta). With zc != 0 (Schroedinger scheme) delta is relative to the Coulomb functions,
// matched through F_l and G_l (about 1e-13 relative), none at or below the well's top.
std::optional<double> exact_phase_shift(const Problem& problem, double e);

}  // namespace skarven
