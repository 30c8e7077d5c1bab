#pragma once
// Expansion coefficients s_n (regular) and c_n (irregular) of the free solutions in the basis.

#include <vector>

#include "skarven/errors.hpp"
#include "skarven/problem.hpp"

namespace skarven {

// Largest (k/lambda)^2 of the oscillator basis: beyond it the irregular coefficients span more
// than the range of a double (c_0 / c_n grows like e^(q^2/2)) and FreeSolutions throws Error.
constexpr double max_gauss_q2 = 2500.0;

// The highest index a run whose largest basis size is `largest_size` reads: the largest size
// itself (the coefficient past the basis edge), at least 5.
int free_solution_top(int largest_size);

// s_n and c_n for n = 0 ... top at wave number k (1/bohr) for orbital l, computed at once: closed
// forms and the first rows of the free three-term relation in MPFR where double precision would
// lose digits, the rest in long double. Cost O(top) plus the extended prefix. Both tables carry
// one common factor, a power of two below 1 where the natural size of c_n would overflow
// (oscillator basis, q^2 above about 1400); only their ratios enter tan(delta).
// eta != 0 (Laguerre basis only; Error otherwise) adds a Coulomb tail eta k / r to the free
// problem: s_n and c_n then expand F_l(eta, kr) and the regularised G_l(eta, kr), with an extra
// O(bits/y) of MPFR work, y = 4q/(4q^2 + 1), for the irregular series. eta = 0 is the free problem.
// A non-integral l > -1/2 (Laguerre basis of order 2l + 1, eta = 0; Error otherwise) takes its
// first two rows from the same series continued in l, at the same O(bits/y) cost (under 1 ms
// for top = 2000 at q = 1.4; some 50 ms at q = 1/2, where c_0 is an exact zero); an integral l
// takes the integer closed forms.
class FreeSolutions {
  public:
    FreeSolutions(const Basis& basis, double l, double k, int top, double eta = 0.0);
    double regular(int n) const { return at(regular_, n); }
    double irregular(int n) const { return at(irregular_, n); }
    int top() const { return static_cast<int>(regular_.size()) - 1; }
    double order() const { return order_; }  // the l they were made for

  private:
    static double at(const std::vector<double>& table, int n) {
        SKARVEN_CHECK(n >= 0 && n < static_cast<int>(table.size()));
        return table[n];
    }
    double order_;
    std::vector<double> regular_;
    std::vector<double> irregular_;
};

// The free (zc = 0) or Coulomb solutions of the problem at kinetic energy e: eta = zc / k.
FreeSolutions free_solutions_of(const Problem& problem, double e, int top);

}  // namespace skarven
