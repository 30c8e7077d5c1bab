#pragma once
// Basis elements (overlap fifi, kinetic psipsi), Laguerre polynomials, basis functions of both
// components, the potential function and the potential-matrix integrands.

namespace skarven {

int kronecker(int i, int j);
// Overlap and twice the kinetic-energy matrix element between basis functions i and n.
double fifi(int i, int n);
double psipsi(int i, int n);
// Free Schroedinger element 1/2 psipsi(n, m) - 1/2 k^2 fifi(n, m) at wave number k.
double free_element_nonrel(int n, int m, double k);
// Free Dirac element minus energy e between positions n and m of the two-component ordering
// for basis size `size`: the first component in reverse (size-1 ... 0), then the second.
double free_element_rel(int n, int m, int size, double e);

// Potential v(r) for the current pot_type.
double v(double r);
// phi[n] = phi_n(r) and, when psi is not null, psi[n] = psi_n(r) for n < count, in one pass of
// the recurrences.
void basis_values(int count, double r, double* phi, double* psi);

}  // namespace skarven
