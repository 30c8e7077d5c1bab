#pragma once
// Element of the finite-basis Green's function of the truncated problem.

namespace skarven {

// Element (i, j) of (J + V)^-1 at the current ntrunc, pass and energy.
double g(int i, int j);
// Frees the matrices kept between calls (end of run).
void g_release();

}  // namespace skarven
