#pragma once
// Truncated potential matrix element by element, and the saved potential file.

#include <memory>
#include <vector>

#include "basis.hpp"
#include "skarven/errors.hpp"
#include "skarven/problem.hpp"

namespace skarven {

// Element batches smaller than this are summed on the calling thread: a border of one basis size
// costs microseconds, less than one fork and join of a team whose second core is busy.
inline constexpr int element_parallel_threshold = 8192;

namespace detail {
struct NodeTable;
struct RunRule;
}  // namespace detail

// The truncated potential matrix of one problem, element by element or in blocks, with the
// quadrature's tables kept between calls. Basis sizes up to `largest_size` share one set of
// tables (and so one integration interval): a run sizes it for its largest basis. Not for use
// from two threads at once; independent objects are.
class PotentialMatrix {
  public:
    PotentialMatrix(const Problem& problem, int largest_size);
    ~PotentialMatrix();
    PotentialMatrix(PotentialMatrix&&) noexcept;
    PotentialMatrix& operator=(PotentialMatrix&&) noexcept;

    const Problem& problem() const { return problem_; }

    // values[k] = element (rows[k], cols[k]) of basis size `size`, in the positions of the
    // scheme's ordering (Schroedinger phi_n; Dirac phi_(size-1) ... phi_0 then psi_0 ...
    // psi_(size-1), zero between the components). The elements are integrated in parallel, each
    // by the same operations, so the thread count does not matter. Outside parallel regions.
    void elements(int size, int count, const int* rows, const int* cols, double* values);
    double element(int size, int n, int m);
    // The lower triangle matrix(r, c), 0 <= c <= r < dim, of a dim x dim column-major matrix at
    // basis size `size`; the upper triangle is left as it is.
    void lower_triangle(int size, int dim, double* matrix);

    // Blocks of basis size n in natural order, for the fast route: phi(i, j) is the integral of
    // phi_i v phi_j and, in the Dirac scheme, psi(i, j) that of psi_i v psi_j (n x n,
    // column-major, both triangles). One quadrature rule serves every element.
    void blocks(int n, std::vector<double>& phi, std::vector<double>& psi) const;
    // values[k] = psi(rows[k], cols[k]) when psi[k], else phi(rows[k], cols[k]), all from the
    // rule of the block of basis size `size` (indices below it), with the basis tabulated once
    // on its points and kept for later calls with the same size.
    void rule_elements(int size, int count, const unsigned char* psi, const int* rows,
                       const int* cols, double* values);

  private:
    Problem problem_;
    int largest_size_;
    std::unique_ptr<detail::NodeTable> nodes_;
    std::unique_ptr<detail::RunRule> rule_;
};

// The positions a basis grown to `order` rows adds to the lower triangle: the last row and, in the
// relativistic ordering (first component in reverse), row 0 as well, column by column.
void border_positions(int order, bool relativistic, std::vector<int>& rows, std::vector<int>& cols);

// Z when v(r) -> -Z / r at the origin, else 0: closed forms for the built-in types, and for
// formulas and tables r v(r) sampled at 1e-8 and 1e-7 (a finite limit that does not move) and
// extrapolated linearly to 0.
double coulomb_strength_at_origin(const Potential& potential);

// The order of the problem's basis functions. A Dirac wave with kappa < 0 in the Laguerre basis at
// a potential -Z/r near the origin starts as r^gamma, gamma = sqrt(kappa^2 - (Z/c)^2), which
// integer powers expand slowly once Z/c is large: its basis takes l = gamma - 1 and kappa = -gamma
// (while gamma > 1/2, where the kinetic integrals exist). Every other wave keeps its own order.
Order basis_order(const Problem& problem);
// gamma^2 = kappa^2 - (Z/c)^2 of a Dirac wave's r^gamma start at such an origin (kappa^2 without
// one); at gamma^2 <= 1/4 no basis of the kinetic-balance kind expands it.
double origin_gamma_squared(const Problem& problem, double kappa);

}  // namespace skarven
