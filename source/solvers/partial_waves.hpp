#pragma once
// The partial-wave loop: every l (both kappa of it in the Dirac scheme) at one basis size over a
// list of energies, stopped once the waves no longer scatter.

#include <cstddef>
#include <functional>
#include <vector>

#include "cross_sections.hpp"
#include "routes.hpp"
#include "skarven/problem.hpp"

namespace skarven {

struct PartialWaveLoop {
    std::vector<Wave> waves;                  // in column order (see waves_of)
    std::vector<std::vector<double>> deltas;  // per wave, per energy
    // With a tolerance: the deltas are limits of delta_N, with these error estimates, and each
    // wave's largest N used and worst error.
    std::vector<std::vector<double>> errors;
    std::vector<int> sizes_used;
    std::vector<double> worst_errors;
    // With a Coulomb tail: eta = zc / k of each energy (empty without).
    std::vector<double> etas;
    int lmax_reached = 0;
    bool converged = false;
    double last_largest_sine = 0.0;  // largest |sin delta| of the last l
};

// The waves of orbital l: Schroedinger {l, 0}; Dirac kappa = -l-1 (j = l+1/2) before kappa = l
// (j = l-1/2), and only kappa = -1 at l = 0.
std::vector<Wave> waves_of(int l, bool dirac);

// Called after each wave with its phase shifts, the seconds it took and, with a tolerance, the
// largest N its limits used and their worst error (0 and 0 without).
using WaveDone = std::function<void(const Wave&, const std::vector<double>& deltas, double seconds,
                                    int sizes_used, double worst_error)>;

// Waves l = 0 ... lmax of `problem` (its own wave is not used) at basis size n by the fast route
// over `energies` (all inside `window`), stopped after two l in a row whose |sin delta| stay below
// lconv at every energy. `first_route`, when not null, is a route of the first wave whose energy
// pass at size n is in place; it is reused. Cost per wave: the potential blocks at size n, one
// decomposition of the pencil (order n, 2n in the Dirac scheme), then O(n) per energy.
// With tolerance > 0 every delta is instead the limit of delta_N (limit.hpp) with n as the cap:
// one basis-size pass in stages per wave and energy. With auto_lambda_energy > 0 each wave's
// basis scale is auto_lambda(l, k) at that energy instead of the problem's.
PartialWaveLoop partial_wave_loop(const Problem& problem, int n, int largest_size,
                                  const std::vector<double>& energies, const EnergyWindow& window,
                                  int lmax, double lconv, bool shift, Route* first_route,
                                  const WaveDone& done, double tolerance = 0.0,
                                  double auto_lambda_energy = 0.0);

// Error estimates of sigma and sigma_tr from the errors of the phase shifts of energy i: the sum
// of |d sigma / d delta| times each error (first order, the derivatives by differences).
struct CrossSectionErrors {
    double sigma = 0.0;
    double transport = 0.0;
};
CrossSectionErrors cross_section_errors(const PartialWaveLoop& loop, bool dirac, std::size_t i,
                                        double k);

// The phase shifts of energy i in the form of the partial-wave sums, with eta under a tail.
PartialWaves waves_at(const PartialWaveLoop& loop, bool dirac, std::size_t i);

}  // namespace skarven
