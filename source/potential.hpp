#pragma once
// Truncated potential matrix element by element, and the saved potential file.

#include "settings.hpp"

namespace skarven {

// Element (n, m) of the truncated potential matrix (positions of the current scheme's ordering).
// CacheAction::release frees the matrix reloaded from a saved file.
double vn(int n, int m, CacheAction action = CacheAction::keep);

// "saved.vn.<ntrunc>": header, matrix header line and the lower triangle of `matrix` (dim x dim,
// column-major).
void write_vn_to_file(int dim, const double* matrix);
// Fills the lower triangle of `matrix` from the saved file when it matches the current settings;
// sets sk_globals.vn_is_loaded / vn_file_match.
void read_vn_from_file(int dim, double* matrix);
// The basis size named in "sk.par", or 0.
int read_n_to_save_v();

}  // namespace skarven
