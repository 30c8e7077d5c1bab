#pragma once
// Gauss rules of the numerical library from the three-term recurrence of their orthonormal
// polynomials (Golub-Welsch nodes polished by Newton's method), in extended precision: the rules
// reach nodes near 10^4, where a double would carry e^-t only to about 1e-12.

#include <vector>

namespace skarven {

// Orthonormal polynomials of a weight: b[k+1] p_(k+1) = (t - a[k]) p_k - b[k] p_(k-1), with
// p_0 = 1/sqrt(mu0), mu0 the integral of the weight.
struct Recurrence {
    std::vector<long double> a;  // a[0 .. K-1]
    std::vector<long double> b;  // b[1 .. K]; b[0] = 0
    long double log_mu0 = 0.0;
};

// Weight t^beta e^-t on (0, infinity), beta > -1: a_k = 2k + beta + 1, b_k = sqrt(k (k + beta)).
// Thread-safe.
Recurrence laguerre_recurrence(int count, double beta);
// Weight s^gamma on (0, 1), gamma > -1: the Jacobi polynomials P^(0, gamma) moved from [-1, 1] to
// [0, 1]; gamma = 0 is Gauss-Legendre.
Recurrence jacobi_recurrence(int count, double gamma);

struct GaussRule {
    std::vector<long double> node;        // in the order of the sorted eigenvalues
    std::vector<long double> log_weight;  // ln of the Christoffel numbers
};

// Gauss rule of `count` points (count <= rec.a.size()) for the weight of `rec`: nodes as
// eigenvalues of the Jacobi matrix, polished by at most ten Newton steps on p_K, weights as
// 1 / sum p_j(t)^2 in the log domain (they fall far below the double range at the outer Laguerre
// nodes). Cost: O(count^2), the Newton passes shared out over the threads for count > 64.
GaussRule gauss_rule(const Recurrence& rec, int count);

}  // namespace skarven
