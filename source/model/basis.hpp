#pragma once
// The basis: overlap and kinetic matrices in closed form, the free Hamiltonian's elements, and
// the basis functions of both components at a radius.

#include "skarven/problem.hpp"

namespace skarven {

int kronecker(int i, int j);

// The order the basis functions of a wave are built on: phi_n = x^(l+1) e^(-x/2) L_n^(2l+1)(x)
// (Laguerre), psi_n = phi_n' + (kappa/r) phi_n. Mostly the wave's own l and kappa; a Dirac wave
// at a -Z/r origin may take the non-integer order of its regular solution's r^gamma instead, and
// `excess` (the wave's kappa minus this kappa) then couples the components beyond the free matrix.
struct Order {
    double l = 0.0;
    double kappa = 0.0;
    double excess = 0.0;
};

// The wave's own order.
inline Order order_of(const Wave& wave) {
    return {static_cast<double>(wave.l), static_cast<double>(wave.kappa), 0.0};
}
// Overlap integral of phi_i and phi_n for orbital l (tridiagonal in the Laguerre basis, diagonal
// in the oscillator basis).
double overlap(const Basis& basis, double l, int i, int n);
// Twice the kinetic-energy integral, int phi_i' phi_n' + l(l+1)/r^2 phi_i phi_n dr (tridiagonal).
double kinetic(const Basis& basis, double l, int i, int n);
// Integral of phi_i phi_n / r, Laguerre basis only: diagonal, (n + 2l + 1)!/n!.
double inverse_r(const Basis& basis, double l, int i, int n);
// c excess <phi_i | psi_n / r> of an order with excess != 0 (Laguerre basis): the part of the
// upper-lower coupling c (d/dr + kappa/r) that the order's own kappa leaves out. 0 otherwise.
double order_coupling(const Basis& basis, const Order& order, double light, int i, int n);
// Free Schroedinger element 1/2 kinetic(n, m) - 1/2 k^2 overlap(n, m) at wave number k, plus
// zc inverse_r(n, m) for a Coulomb tail zc/r (Laguerre basis; zc = 0 is the free element).
double free_element_schroedinger(const Basis& basis, double l, int n, int m, double k,
                                 double zc = 0.0);
// Free Dirac element minus energy e between positions n and m of the two-component ordering for
// basis size `size`: the first component in reverse (size-1 ... 0), then the second. `light` is
// the speed of light. The order's coupling (order_coupling) is part of it.
double free_element_dirac(const Basis& basis, const Order& order, double light, int n, int m,
                          int size, double e);

// phi[n] = phi_n(r) and, when psi is not null, psi[n] = psi_n(r) = phi_n'(r) + (kappa/r) phi_n(r)
// for n < count, in one pass of the recurrences.
void basis_values(const Basis& basis, const Order& order, int count, double r, double* phi,
                  double* psi);
inline void basis_values(const Basis& basis, const Wave& wave, int count, double r, double* phi,
                         double* psi) {
    basis_values(basis, order_of(wave), count, r, phi, psi);
}

}  // namespace skarven
