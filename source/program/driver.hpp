#pragma once
// The phase-shift driver: basis-size pass, energy pass and their result files.

#include <string>

namespace skarven {

void control_calc_delta(const std::string& root);

// Free-Hamiltonian element minus energy between positions n and m; `non_relativistic_form`
// selects 1/2 psipsi - 1/2 k^2 fifi in any scheme.
double free_element(int n, int m, bool non_relativistic_form = false);

// delta at basis size n for the current settings, pass and energy.
double phase_shift_delta(int n);
// After the energy pass of the first wave: every partial wave l = 0 ... lmax at N = nend over
// the same energies, and their sums, in root.pw, root.xs and root.dcs.
void partial_wave_pass(const std::string& root);

}  // namespace skarven
