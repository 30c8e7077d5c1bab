#pragma once
// The fast route's kernels on explicit matrices: a factorisation grown by bordering over basis
// sizes, and one decomposition of the pencil for any energy.

#include <cstddef>
#include <vector>

namespace skarven {

// Pass over growing basis sizes at one energy: keeps a symmetric factorisation P L D L^T P^T
// (1x1 and 2x2 pivots) of the diagonally scaled matrix and extends it by bordering, O(M^2) per
// step. A pivot too small to extend from (the energy near an eigenvalue of a truncated matrix) is
// not committed: its index stays in a small open Schur block until a later index pairs with it.
class BorderedGreen {
  public:
    // Forget everything (order 0).
    void reset();
    // Room for a matrix of order max_order without reallocation (optional).
    void reserve(int max_order);
    // A floor under |A_00| when the first index's scale is chosen (until the next reset). The
    // first index has no earlier coupling to bound its scale: an A_00 that is only the rounding
    // of a cancellation would make the scale unbounded and swamp every later diagonal entry.
    void set_first_floor(double floor) { first_floor_ = floor; }
    // Append `count` (1 or 2) new indices. `border` holds `count` columns of length
    // order() + count, column-major: entries 0..order()-1 couple to the existing indices, the
    // last `count` entries are the new diagonal block. Returns the element of the inverse of the
    // grown matrix at new index `edge` (0 <= edge < count), or +infinity if that matrix is
    // singular. `new_block`, when given, gets the whole count x count block of that inverse at
    // the new indices (column-major; +infinity throughout if singular).
    double extend(const double* border, int count, int edge, double* new_block = nullptr);
    int order() const { return order_; }
    // Indices whose pivots are still deferred (diagnostics and tests).
    int deferred() const { return static_cast<int>(open_index_.size()); }

  private:
    double& open_entry(int i, int j) {
        return open_schur_[i + static_cast<std::size_t>(j) * open_ld_];
    }
    void grow_open_block(int size);
    void apply_block_inverse(const double* y, double* z) const;
    void commit(int first, int second);
    void drop_open(int local);

    int order_ = 0;
    double first_floor_ = 0.0;
    double matrix_norm_ = 0.0;   // largest |entry| of the scaled matrix so far
    std::vector<double> scale_;  // per index: scaled entry = scale_i * entry * scale_j
    // Committed part: P L D L^T P^T of the scaled matrix restricted to `pivot_index_`.
    std::vector<int> pivot_index_;      // pivot position -> matrix index
    std::vector<double> unit_lower_;    // strict rows of L, row-packed (row r at r(r-1)/2)
    std::vector<signed char> block_;    // 1: 1x1 pivot, 2: first of a 2x2, 0: second of a 2x2
    std::vector<double> inverse_diag_;  // diagonal of D^-1
    std::vector<double> inverse_off_;   // D^-1 (r+1, r) at the first position r of a 2x2 block
    // Open part: indices whose pivots are deferred plus the ones being added. For each,
    // y = L^-1 P^T (its scaled column restricted to the committed indices); `open_schur_` is
    // their Schur complement (column-major, leading dimension max_open).
    std::vector<int> open_index_;
    std::vector<std::vector<double>> open_y_;  // may hold spare vectors beyond the open count
    std::vector<double> open_schur_;
    int open_ld_ = 0;
    // Work space reused between steps.
    std::vector<double> z_new_[2], solve_work_, solve_column_;
};

// Pass over energies at a fixed basis size: A(E) = H - E S with S positive definite. One
// decomposition, then the inverse element at the last index for any E in O(M).
class EnergyGreen {
  public:
    // H and S: m x m, column-major, lower triangles read. The wanted element is (m-1, m-1).
    // `first_too` keeps what block() needs as well.
    void decompose(int m, const double* h, const double* s, bool first_too = false);
    // The same around a reference energy e0 that is not an eigenvalue (shift and invert):
    // accurate to working precision relative to the pencil's own entries however large the
    // spectrum (the -2c^2 states of the Dirac pencil, lambda_max ~ m^2 of a large basis). Best
    // with e0 inside the energy range and away from eigenvalues (see reference_distance()).
    void decompose_shifted(int m, const double* h, const double* s, double e0,
                           bool first_too = false);
    // Element (m-1, m-1) of (H - E S)^-1 from the latest decomposition; +infinity when E is an
    // eigenvalue; NaN when no decomposition could be made (converged() is false): H - e0 S was
    // singular, or the scaled S left the range of a double.
    double element(double e) const;
    // Elements (m-1, m-1), (0, m-1) and (0, 0) after a decomposition with `first_too`.
    void block(double e, double& last, double& mixed, double& first) const;
    // Generalised eigenvalues and the matching weights x_(m-1,k)^2 (S-normalised eigenvectors),
    // in no particular order. After decompose_shifted they are e0 + 1/mu_k and beta_k^2/mu_k^2
    // (element() does not use them, and eigenvalues far from e0 are coarse).
    const std::vector<double>& eigenvalues() const { return eigenvalues_; }
    const std::vector<double>& weights() const { return weights_; }
    // How many eigenvalues lie in (low, high): a sign of e0 + 1/mu_k after decompose_shifted,
    // which stays right for the coarse eigenvalues far from e0.
    int eigenvalues_between(double low, double high) const;
    // False when the QL iteration did not converge (the results are then unreliable) or when
    // H - e0 S was exactly singular.
    bool converged() const { return converged_; }
    // After decompose_shifted: the distance from e0 to the nearest eigenvalue (1 / max |mu_k|);
    // digits are lost roughly as |g(e0)| / |g(E)|, so e0 should not sit on a pole.
    double reference_distance() const { return reference_distance_; }
    // Number of 2x2 pivots in the factorisation of the scaled H - e0 S (diagnostics and tests).
    int pivot_pairs() const { return pivot_pairs_; }

  private:
    void fail();

    std::vector<double> eigenvalues_;
    std::vector<double> weights_;
    bool converged_ = true;
    std::vector<double> work_;  // m x m, reused between calls of the same order
    // Shift-and-invert form: g(E) = g0 + sum_k beta_k^2 eps / (1 - eps mu_k), eps = E - e0.
    bool shifted_ = false;
    double reference_energy_ = 0.0;
    double reference_distance_ = 0.0;
    double reference_element_ = 0.0;  // g0 = (H - e0 S)^-1 (m-1, m-1)
    int pivot_pairs_ = 0;
    std::vector<double> inverse_shifts_;  // mu_k, eigenvalues of L^T (H - e0 S)^-1 L
    std::vector<double> shift_weights_;   // beta_k^2
    std::vector<double> work2_;           // second (m+1) x (m+1) buffer of decompose_shifted
    // Index 0 as well (block()): its weights and those of the pair (0, m-1); after
    // decompose_shifted also the elements at e0.
    bool first_too_ = false;
    double first_element_ = 0.0;
    double mixed_element_ = 0.0;
    std::vector<double> first_weights_;
    std::vector<double> mixed_weights_;
};

}  // namespace skarven
