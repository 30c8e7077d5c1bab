// The blocked product C += A^T B of packed four-column panels (the fast route's potential blocks
// V = F^T diag(sign) F), on two-lane vectors of doubles.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "linalg.hpp"

namespace skarven {

namespace {

typedef double double2 __attribute__((vector_size(16)));

double2 load2(const double* p) {
    double2 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

double2 swapped(double2 v) {
    return __builtin_shufflevector(v, v, 1, 0);
}

// C(row + t, column + s) += sum_k a(k, t) b(k, s) over `length` rows of two packed panels, for
// the entries inside the n x n matrix C. Eight two-lane accumulators hold the 4 x 4 products as
// lane pairs (a0 b0, a1 b1), (a0 b1, a1 b0), ..., which needs two lane swaps per row instead of
// four broadcasts.
void tile_product(const double* a, const double* b, int length, double* c, int n, int row,
                  int column) {
    double2 c00 = {0.0, 0.0}, c01 = c00, c02 = c00, c03 = c00;
    double2 c10 = c00, c11 = c00, c12 = c00, c13 = c00;
    for (int k = 0; k < length; ++k) {
        const double2 a0 = load2(a + 4 * k);
        const double2 a1 = load2(a + 4 * k + 2);
        const double2 b0 = load2(b + 4 * k);
        const double2 b1 = load2(b + 4 * k + 2);
        const double2 b0s = swapped(b0);
        const double2 b1s = swapped(b1);
        c00 += a0 * b0;
        c01 += a0 * b0s;
        c02 += a0 * b1;
        c03 += a0 * b1s;
        c10 += a1 * b0;
        c11 += a1 * b0s;
        c12 += a1 * b1;
        c13 += a1 * b1s;
    }
    const double sums[16] = {c00[0], c01[1], c10[0], c11[1], c01[0], c00[1], c11[0], c10[1],
                             c02[0], c03[1], c12[0], c13[1], c03[0], c02[1], c13[0], c12[1]};
    for (int s = 0; s < 4 && column + s < n; ++s) {
        for (int t = 0; t < 4 && row + t < n; ++t) {
            c[row + t + static_cast<std::size_t>(column + s) * n] += sums[4 * s + t];
        }
    }
}

}  // namespace

// The rows are taken in chunks that keep one panel of A in the first-level cache while a block of
// B panels stays in the second.
void symmetric_product(int n, int count, const double* a, const double* b, double* c) {
    constexpr int row_chunk = 256;
    constexpr int panel_block = 48;
    const int panels = (n + 3) / 4;
    for (int k0 = 0; k0 < count; k0 += row_chunk) {
        const int length = std::min(row_chunk, count - k0);
#pragma omp parallel
        for (int jb = 0; jb < panels; jb += panel_block) {
            const int j_end = std::min(jb + panel_block, panels);
#pragma omp for schedule(static, 1) nowait
            for (int pi = jb; pi < panels; ++pi) {
                const double* a_panel = a + (static_cast<std::size_t>(pi) * count + k0) * 4;
                for (int pj = jb; pj < std::min(j_end, pi + 1); ++pj) {
                    const double* b_panel = b + (static_cast<std::size_t>(pj) * count + k0) * 4;
                    tile_product(a_panel, b_panel, length, c, n, 4 * pi, 4 * pj);
                }
            }
        }
    }
}

}  // namespace skarven
