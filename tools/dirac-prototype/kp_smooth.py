#!/usr/bin/python3
"""The outer-row continuation where V is finite at the origin (v = -50 e^-r, e = 1, lambda = 1):
exact delta by direct integration (P = r^g u, Q = r^g w, g = |kappa|, regular start), and the
excess over N = 100-250 / 250-500 with d_n = 0 beyond the basis and with the alternating
continuation."""
import sys
import numpy as np
from scipy.integrate import solve_ivp
from dirac_proto import dirac_deltas, C_LIGHT

sys.path.insert(0, "../../tests/data")
import gen_dirac_singular as gd

rv = lambda r: -50.0 * r * np.exp(-r)


def exact(kappa, e=1.0, c=C_LIGHT, r_end=45.0):
    g = abs(kappa)

    def rhs(t, y):
        r = np.exp(t)
        u, w = y
        return [-(kappa + g) * u + ((2 * c * c + e) * r - rv(r)) / c * w,
                (kappa - g) * w + (rv(r) - e * r) / c * u]

    y0 = [1.0, 0.0] if kappa < 0 else [0.0, 1.0]
    sol = solve_ivp(rhs, (np.log(1e-8), np.log(r_end)), y0, method="DOP853", rtol=1e-13,
                    atol=1e-300, first_step=1e-3)
    u, w = sol.y[:, -1]
    l = -kappa - 1 if kappa < 0 else kappa
    k = np.sqrt(e * (2 * c * c + e)) / c
    f, gg, fd, gd_ = gd.riccati(l, k, r_end)
    ft, gt = fd + kappa * f / r_end, gd_ + kappa * gg / r_end
    rho = (w / u) * (2 * c * c + e) / c
    return np.arctan((ft - rho * f) / (rho * gg - gt))


if __name__ == "__main__":
    # D_N = [delta_N(c) - delta_N(5000)] - [delta(c) - delta(5000)]: the N-dependent error common
    # to both speeds cancels
    for kappa in (-1, 1):
        shift = exact(kappa) - exact(kappa, c=5000.0)
        out = []
        for tail in (False, "alternating"):
            d = dirac_deltas(kappa, rv, 45.0, 1.0, 500, False, tail=tail)
            d0 = dirac_deltas(kappa, rv, 45.0, 1.0, 500, False, c=5000.0, tail=tail)
            D = d - d0 - shift
            out.append(" / ".join(f"{np.mean(D[a - 1:b]):+.2e}" for a, b in ((100, 250), (250, 500))))
        print(f"smooth, kappa = {kappa:+d}, shift {shift:+.4e}, excess N = 100-250 / 250-500: "
              f"today {out[0]}; alternating {out[1]}")
