#pragma once
// Truncated potential matrix element by element, and the saved potential file.

#include <vector>

#include "settings.hpp"

namespace skarven {

// Element batches smaller than this are summed on the calling thread: a border of one basis size
// costs microseconds, less than one fork and join of a team whose second core is busy.
inline constexpr int element_parallel_threshold = 8192;

// Element (n, m) of the truncated potential matrix (positions of the current scheme's ordering).
// CacheAction::release frees the matrix reloaded from a saved file.
double vn(int n, int m, CacheAction action = CacheAction::keep);
// Frees the reloaded matrix without reading an element.
void release_vn_matrix();

// values[k] = vn(rows[k], cols[k]) for k < count, bit for bit, with the elements integrated in
// parallel (each element by the same operations as vn, so the thread count does not matter).
// Call from the main thread outside parallel regions.
void vn_elements(int count, const int* rows, const int* cols, double* values);
// The positions a basis grown to `order` rows adds to the lower triangle: the last row and, in the
// relativistic ordering (first component in reverse), row 0 as well, column by column.
void border_positions(int order, bool relativistic, std::vector<int>& rows, std::vector<int>& cols);
// The lower triangle matrix(r, c) = vn(r, c), 0 <= c <= r < dim, of a dim x dim column-major
// matrix, by vn_elements; the upper triangle is left as it is.
void vn_lower_triangle(int dim, double* matrix);

// Potential blocks of basis size n in natural order, for the fast route: phi(i, j) is the integral
// of phi_i v phi_j and, in the relativistic scheme, psi(i, j) that of psi_i v psi_j (n x n,
// column-major, both triangles). One quadrature rule serves every element.
void potential_blocks(int n, std::vector<double>& phi, std::vector<double>& psi);
// values[k] = psi(rows[k], cols[k]) when psi[k], else phi(rows[k], cols[k]), all from the rule of
// the block of basis size `size` (indices below it), with the basis tabulated once on its points
// and kept for later calls with the same settings and size. Main thread, outside parallel
// regions; the elements are shared out over the threads, each summed in a fixed order.
void potential_rule_elements(int size, int count, const unsigned char* psi, const int* rows,
                             const int* cols, double* values);

// "saved.vn.<ntrunc>": header, matrix header line and the lower triangle of `matrix` (dim x dim,
// column-major).
void write_vn_to_file(int dim, const double* matrix);
// Fills the lower triangle of `matrix` from the saved file when it matches the current settings;
// sets sk_globals.vn_is_loaded / vn_file_match.
void read_vn_from_file(int dim, double* matrix);
// The basis size named in "sk.par", or 0.
int read_n_to_save_v();

}  // namespace skarven
