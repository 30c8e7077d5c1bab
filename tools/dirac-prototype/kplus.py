#!/usr/bin/python3
"""A remedy tried and dropped for kappa > 0: extra upper functions chi_j = r^p e^(-beta r)
(lambda = 1) to carry the r^gamma start of P, eliminated first (one Schur complement) so every
delta_N still comes from one elimination; their couplings beyond the basis are truncated like V.
Also the scan over a fixed ratio rho = d_N / d_(N-1) of the outer lower rows.
Run: /usr/bin/python3 kplus.py NMAX"""
import sys
import numpy as np
import dirac_proto as dp

C = dp.C_LIGHT


class Extra:
    """x^a e^(-x/2) times values(x): chi = x^p e^(-beta x) (kind "chi") or D chi (kind "dchi")."""

    def __init__(self, kind, p, beta, kappa):
        self.kind, self.p, self.beta, self.kappa = kind, p, beta, kappa
        self.a = p if kind == "chi" else p - 1

    def values(self, x):
        f = np.exp(-(self.beta - 0.5) * x)
        if self.kind == "dchi":  # (d/dr + kappa/r) x^p e^(-beta x)
            f = f * ((self.p + self.kappa) - self.beta * x)
        return f[None, :]


def augmented_deltas(kappa, xv, xend, e, nmax, extras, c=C):
    """delta_N, N = 1..nmax, of today's scheme with extra upper functions (p, beta)."""
    k = np.sqrt(e * (2 * c * c + e)) / c
    nodes = nmax + 600
    UU, UL, LL, lb, kb = dp.dirac_matrix(kappa, xv, xend, e, nmax, False, "kinetic", c, None,
                                         nodes)
    N = nmax
    A = np.zeros((2 * N, 2 * N))
    A[0::2, 0::2], A[0::2, 1::2], A[1::2, 0::2], A[1::2, 1::2] = UU, UL, UL.T, LL
    phi = dp.Family("phi", N, lb, kb)
    psi = dp.Family("psi", N, lb, kb)
    one = lambda x: np.ones_like(x)
    chis = [Extra("chi", p, b, kappa) for p, b in extras]
    dchis = [Extra("dchi", p, b, kappa) for p, b in extras]
    X = len(extras)
    Bm = np.zeros((X, 2 * N))
    Cm = np.zeros((X, X))
    for i in range(X):
        Bm[i, 0::2] = (-e * dp.integral_matrix(chis[i], phi, one, 0, xend, nodes)
                       + dp.integral_matrix(chis[i], phi, xv, 1, xend, nodes))[0]
        Bm[i, 1::2] = c * dp.integral_matrix(dchis[i], psi, one, 0, xend, nodes)[0]
        for j in range(X):
            Cm[i, j] = (-e * dp.integral_matrix(chis[i], chis[j], one, 0, xend, nodes)
                        + dp.integral_matrix(chis[i], chis[j], xv, 1, xend, nodes))[0, 0]
    A = A - Bm.T @ np.linalg.solve(Cm, Bm)
    piv = dp.schur_pivots(A, 2)
    s, cc, J = dp.free_coefficients(nmax + 1, lb, k)
    B = 2 * c * c / (2 * c * c + e)
    out = np.empty(nmax)
    for Nn in range(1, nmax + 1):
        Xx = B * np.linalg.inv(piv[Nn - 1])[0, 0] * J[Nn, Nn - 1]
        out[Nn - 1] = np.arctan(-(s[Nn - 1] + Xx * s[Nn]) / (cc[Nn - 1] + Xx * cc[Nn]))
    return out


if __name__ == "__main__":
    EX = 1.3257475742336  # kappa = +1, tests/data/dirac_singular.txt
    yuk = lambda x: -9.0 * np.exp(-x)
    nmax = int(sys.argv[1]) if len(sys.argv) > 1 else 500
    W = [(a, b) for a, b in [(100, 250), (250, 500), (500, 1000)] if b <= nmax]

    def rep(label, d):
        err = (d - EX + np.pi / 2) % np.pi - np.pi / 2
        print(f"  {label:28s}", " / ".join(f"{np.mean(err[a - 1:b]):+.3e}" for a, b in W),
              flush=True)

    print(f"kappa = +1, mean error over N = {W}")
    rep("today", dp.dirac_deltas(1, yuk, 45.0, 1.0, nmax, False))
    for rho in (-0.9, -0.99, -1.0, -1.01, -1.1, -2.0, 0.5):
        rep(f"outer rows, rho = {rho}", dp.dirac_deltas(1, yuk, 45.0, 1.0, nmax, False, tail=rho))
    for beta in (0.5, 2.0, 8.0, 32.0):
        rep(f"extra r e^(-{beta} r)", augmented_deltas(1, yuk, 45.0, 1.0, nmax, [(1, beta)]))
