#pragma once
// The saved potential matrix "saved.vn.<N>" of a run, and "sk.par", which names a further basis
// size to save.

namespace skarven {

// "saved.vn.<ntrunc>": header, matrix header line and the lower triangle of `matrix` (dim x dim,
// column-major), written to a temporary name and renamed.
void write_vn_to_file(int dim, const double* matrix);
// Fills the lower triangle of `matrix` from the saved file when it matches the current settings;
// sets run_record.vn_is_loaded / vn_file_match.
void read_vn_from_file(int dim, double* matrix);
// The basis size named in "sk.par", or 0.
int read_n_to_save_v();

}  // namespace skarven
