#!/usr/bin/python3
"""Why (-1)^n: the d-d element of the inverse at the edge pair, tau v^T P^-1 v with
tau = T(N-1, N) / (2c^2 + E), v = (c, -(2c^2 + E)). The continuation d_N = rho d_(N-1) divides by
1 - rho tau v^T P^-1 v; 1 + tau v^T P^-1 v ~ 0 says the inner d is already (-1)^n at the edge."""
import numpy as np
import dirac_proto as dp

yuk = lambda x: -9.0 * np.exp(-x)
for kappa in (1, -1, 2):
    c = dp.C_LIGHT
    N = 400
    UU, UL, LL, lb, kb = dp.dirac_matrix(kappa, yuk, 45.0, 1.0, N, False, "kinetic", c, None, N + 600)
    A = np.zeros((2 * N, 2 * N))
    A[0::2, 0::2], A[0::2, 1::2], A[1::2, 0::2], A[1::2, 1::2] = UU, UL, UL.T, LL
    piv = dp.schur_pivots(A, 2)
    _, T = dp.overlap_kinetic(N + 1, lb)
    v = np.array([c, -(2 * c * c + 1.0)])
    out = []
    for n in (50, 100, 200, 400):
        tau = T[n - 1, n] / (2 * c * c + 1.0)
        out.append(1 + tau * v @ np.linalg.solve(piv[n - 1], v))
    print(f"kappa = {kappa:+d}: 1 + tau v^T P^-1 v at N = 50, 100, 200, 400:",
          " ".join(f"{x:+.2e}" for x in out))
