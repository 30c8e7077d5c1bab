#include "basis.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "skarven/errors.hpp"
#include "special.hpp"

namespace skarven {

int kronecker(int i, int j) {
    return i == j ? 1 : 0;
}

namespace {

// Which of the three bands of a tridiagonal matrix (i = n, n - 1, n + 1) the element (i, n) is on.
struct Band {
    int d0, dm, dp;
};

Band band(int i, int n) {
    return {kronecker(i, n), kronecker(i, n - 1), kronecker(i, n + 1)};
}

// The squared norms of the unnormalised basis functions, up to constant factors:
// (n + 2l + 1)!/n! (Laguerre) and Gamma(n + l + 3/2)/n! (oscillator); Gamma(n + 2l + 2)/n! at a
// non-integer order.
double laguerre_weight(int n, double l) {
    if (l == std::floor(l)) return fact_over_fact(n + 2 * static_cast<int>(l) + 1, n);
    // The routes ask for every element of a row, each several weights: kept per thread and order.
    thread_local double table_l = 0.0;
    thread_local std::vector<double> table;
    if (table_l != l) {
        table_l = l;
        table.clear();
    }
    while (static_cast<int>(table.size()) <= n) {
        const double j = static_cast<double>(table.size());
        table.push_back(std::exp(specfun::lgamma(j + 2.0 * l + 2.0) - specfun::lgamma(j + 1.0)));
    }
    return table[n];
}

double oscillator_weight(int n, double l) {
    return std::exp(specfun::lgamma(n + l + 1.5) - lfact(n));
}

}  // namespace

// Overlap integral of phi_i and phi_n over (0, infinity). Laguerre basis: tridiagonal, from the
// orthogonality of L_n^(2l+1) under x^(2l+1) e^-x and its three-term recurrence; oscillator
// basis: diagonal, from the orthogonality of L_n^(l+1/2) under t^(l+1/2) e^-t with t = x^2.
// Both carry the 1/lambda of dr = dx/lambda.
double overlap(const Basis& basis, double l, int i, int n) {
    const double lambda = basis.lambda;
    if (basis.kind == BasisKind::laguerre) {
        const Band d = band(i, n);
        return (laguerre_weight(n, l) / lambda) *
               (2 * (n + l + 1) * d.d0 - n * d.dm - (n + 2 * l + 2) * d.dp);
    }
    return (oscillator_weight(n, l) / (2.0 * lambda)) * kronecker(i, n);
}

// Twice the kinetic-energy integral, int phi_i' phi_n' + l(l+1)/r^2 phi_i phi_n dr, in closed
// form. The factor lambda (dr = dx/lambda, d/dr = lambda d/dx) keeps it on the scale of fifi
// and of the potential integrals for every basis scale.
double kinetic(const Basis& basis, double l, int i, int n) {
    const double lambda = basis.lambda;
    if (basis.kind == BasisKind::laguerre) {
        const Band d = band(i, n);
        return (lambda * laguerre_weight(n, l) / 4.0) *
               (2 * (n + l + 1) * d.d0 + n * d.dm + (n + 2 * l + 2) * d.dp);
    }
    const Band d = band(i, n);
    return (lambda * oscillator_weight(n, l) / 2.0) *
           ((2.0 * n + l + 1.5) * d.d0 + n * d.dm + (n + l + 1.5) * d.dp);
}

// Integral of phi_i phi_n / r: in the Laguerre basis 1/r = lambda/x against dr = dx/lambda leaves
// the orthogonality integral of L_n^(2l+1) under x^(2l+1) e^-x, diagonal and free of lambda.
double inverse_r(const Basis& basis, double l, int i, int n) {
    SKARVEN_CHECK(basis.kind == BasisKind::laguerre);
    return laguerre_weight(n, l) * kronecker(i, n);
}

// <phi_i | psi_n / r> = lambda int x^(2l) e^-x L_i [kappa L_n + (n+1)/2 L_(n+1) - (n+alpha)/2
// L_(n-1)] dx, alpha = 2l + 1, and int x^(alpha-1) e^-x L_i^alpha L_j^alpha dx = H(min(i, j)) with
// H(p) = Gamma(p + alpha + 1)/(alpha p!), the weight over alpha. With H's ratios the bracket is
// H(min(i, n)) times kappa - l above the diagonal, kappa + 1/2 on it and kappa + l + 1 below it:
// dense above, and 0 below for kappa = -(l + 1).
double order_coupling(const Basis& basis, const Order& order, double light, int i, int n) {
    if (order.excess == 0.0) return 0.0;
    SKARVEN_CHECK(basis.kind == BasisKind::laguerre);
    const double l = order.l;
    const double kappa = order.kappa;
    const double factor = i < n ? kappa - l : (i == n ? kappa + 0.5 : kappa + l + 1.0);
    if (factor == 0.0) return 0.0;
    const double h = laguerre_weight(std::min(i, n), l) / (2.0 * l + 1.0);
    return light * order.excess * basis.lambda * h * factor;
}

double free_element_schroedinger(const Basis& basis, double l, int n, int m, double k, double zc) {
    if (zc != 0.0)
        return 0.5 * kinetic(basis, l, n, m) - 0.5 * k * k * overlap(basis, l, n, m) +
               zc * inverse_r(basis, l, n, m);
    return 0.5 * kinetic(basis, l, n, m) - 0.5 * k * k * overlap(basis, l, n, m);
}

double free_element_dirac(const Basis& basis, const Order& order, double light, int n, int m,
                          int size, double e) {
    const double l = order.l;
    if (n < size && m < size) return -e * overlap(basis, l, size - 1 - n, size - 1 - m);
    if (n < size)
        return light * kinetic(basis, l, size - 1 - n, m - size) +
               order_coupling(basis, order, light, size - 1 - n, m - size);
    if (m < size)
        return light * kinetic(basis, l, size - 1 - m, n - size) +
               order_coupling(basis, order, light, size - 1 - m, n - size);
    return -(2.0 * light * light + e) * kinetic(basis, l, n - size, m - size);
}

}  // namespace skarven
