#include "sk_basis.hpp"

#include <cmath>

#include "settings.hpp"
#include "special.hpp"

namespace skarven {

int kronecker(int i, int j) {
    return i == j ? 1 : 0;
}

// Overlap integral of phi_i and phi_n over (0, infinity). Laguerre basis: tridiagonal, from the
// orthogonality of L_n^(2l+1) under x^(2l+1) e^-x and its three-term recurrence; oscillator
// basis: diagonal, from the orthogonality of L_n^(l+1/2) under t^(l+1/2) e^-t with t = x^2.
// Both carry the 1/lambda of dr = dx/lambda.
double fifi(int i, int n) {
    const double lambda = sk_globals.lambda;
    const int l = sk_globals.projectile.l;
    if (text_is(sk_globals.basis, "laguerre")) {
        const double g = fact_over_fact(n + 2 * l + 1, n);
        const int d0 = kronecker(i, n);
        const int dm = kronecker(i, n - 1);
        const int dp = kronecker(i, n + 1);
        return (g / lambda) * (2 * (n + l + 1) * d0 - n * dm - (n + 2 * l + 2) * dp);
    }
    if (text_is(sk_globals.basis, "gauss")) {
        const double g = std::exp(lgamma(n + l + 1.5) - lfact(n));
        return (g / (2.0 * lambda)) * kronecker(i, n);
    }
    return 0.0;
}

// Twice the kinetic-energy integral, int phi_i' phi_n' + l(l+1)/r^2 phi_i phi_n dr, in closed
// form. The factor lambda (dr = dx/lambda, d/dr = lambda d/dx) keeps it on the scale of fifi
// and of the potential integrals for every basis scale.
double psipsi(int i, int n) {
    const double lambda = sk_globals.lambda;
    const int l = sk_globals.projectile.l;
    if (text_is(sk_globals.basis, "laguerre")) {
        const double g = fact_over_fact(n + 2 * l + 1, n);
        const int d0 = kronecker(i, n);
        const int dm = kronecker(i, n - 1);
        const int dp = kronecker(i, n + 1);
        return (lambda * g / 4.0) * (2 * (n + l + 1) * d0 + n * dm + (n + 2 * l + 2) * dp);
    }
    if (text_is(sk_globals.basis, "gauss")) {
        const double g = std::exp(lgamma(n + l + 1.5) - lfact(n));
        const int d0 = kronecker(i, n);
        const int dm = kronecker(i, n - 1);
        const int dp = kronecker(i, n + 1);
        return (lambda * g / 2.0) * ((2.0 * n + l + 1.5) * d0 + n * dm + (n + l + 1.5) * dp);
    }
    return 0.0;
}

double free_element_nonrel(int n, int m, double k) {
    return 0.5 * psipsi(n, m) - 0.5 * k * k * fifi(n, m);
}

double free_element_rel(int n, int m, int size, double e) {
    const double light = sk_globals.v_light;
    if (n < size && m < size) return -e * fifi(size - 1 - n, size - 1 - m);
    if (n < size) return light * psipsi(size - 1 - n, m - size);
    if (m < size) return light * psipsi(size - 1 - m, n - size);
    return -(2.0 * light * light + e) * psipsi(n - size, m - size);
}

double v(double r) {
    const PotentialParams& p = sk_globals.potential;
    if (text_is(p.pot_type, "well")) return (p.a <= r && r <= p.b) ? p.v0 : 0.0;
    if (text_is(p.pot_type, "coulomb")) return -p.z / std::pow(r, p.alpha);
    if (text_is(p.pot_type, "yukawa")) return -p.g * p.g * std::exp(-p.m * r) / r;
    if (text_is(p.pot_type, "user")) return 0.0;
    return 0.0;
}

// A vanishing basis function makes the product 0 even where a singular potential is infinite
// (r = 0 under flush-to-zero), as it is in the limit.
double fi_v_fi(double r) {
    double fi_i = 0.0;
    double fi_j = 0.0;
    fi2(sk_globals.ii, sk_globals.jj, r, fi_i, fi_j);
    if (fi_i == 0.0 || fi_j == 0.0) return 0.0;
    return fi_i * v(r) * fi_j;
}

double psi_v_psi(double r) {
    double psi_i = 0.0;
    double psi_j = 0.0;
    psi2(sk_globals.ii, sk_globals.jj, r, psi_i, psi_j);
    if (psi_i == 0.0 || psi_j == 0.0) return 0.0;
    return psi_i * v(r) * psi_j;
}

}  // namespace skarven
