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

// Generalized Laguerre polynomial L_n^(alpha)(x); 0 for n < 0.
double laguerre(int n, double alpha, double x);
// L_i and L_j in one pass of the recurrence.
void laguerre2(int i, int j, double alpha, double x, double& li, double& lj);

// Potential v(r) for the current pot_type.
double v(double r);
// Basis functions phi_i(r), phi_j(r) and second-component functions psi_i(r), psi_j(r).
void fi2(int i, int j, double r, double& fi_i, double& fi_j);
void psi2(int i, int j, double r, double& psi_i, double& psi_j);
// phi[n] = phi_n(r) and, when psi is not null, psi[n] = psi_n(r) for n < count, in one pass of
// the recurrences; each value has the bits fi2 and psi2 give it.
void basis_values(int count, double r, double* phi, double* psi);
// phi_ii v phi_jj and psi_ii v psi_jj with ii, jj from sk_globals.
double fi_v_fi(double r);
double psi_v_psi(double r);

}  // namespace skarven
