#pragma once
// The phase-shift driver: basis-size pass, energy pass and their result files.

#include <string>

namespace skarven {

void control_calc_delta(const std::string& root);

// Free-Hamiltonian element minus energy between positions n and m; `non_relativistic_form`
// selects 1/2 psipsi - 1/2 k^2 fifi in any scheme.
double free_element(int n, int m, bool non_relativistic_form = false);

}  // namespace skarven
