#pragma once
// The phase-shift driver: basis-size pass, energy pass, partial-wave pass and their result files.

#include <string>

#include "routes.hpp"

namespace skarven {

void control_calc_delta(const std::string& root);

// After the energy pass of the first wave: every partial wave l = 0 ... lmax at N = nend over
// the same energies, and their sums, in root.pw, root.xs and root.dcs. The first wave's energy
// pass ran on `first_route`, which the first wave reuses.
void partial_wave_pass(const std::string& root, Route& first_route);

}  // namespace skarven
