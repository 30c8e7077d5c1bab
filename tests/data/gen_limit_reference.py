#!/usr/bin/python3
"""Reference phase shifts for the limit estimator's coverage test (limit_reference.txt).

The radial Schroedinger equation u'' = (l(l+1)/r^2 + 2 v(r) - k^2) u, k = sqrt(2e), is integrated
with scipy's DOP853 at rtol 1e-13 from a Frobenius start near r = 0 to where the potential has
vanished (or to its cut-off radius r0), and matched there to the Riccati-Bessel functions. The
integration is repeated at rtol 1e-12; rows whose two values differ by more than 1e-10 are dropped.

Columns: kind (1 yukawa, 2 coulomb cut at r0), g or z, m or alpha, r0, l, e, delta (-pi/2, pi/2].
"""
import numpy as np
from scipy.integrate import solve_ivp
from scipy.special import spherical_jn, spherical_yn


def potential(kind, p1, p2, r):
    if kind == 1:
        return -p1 * p1 * np.exp(-p2 * r) / r
    return -p1 / r**p2


def delta(kind, p1, p2, r0, l, e, rtol):
    k = np.sqrt(2.0 * e)
    # Beyond `end` the potential is zero (cut) or below 1e-20 of k^2 (Yukawa).
    end = r0 if r0 > 0 else 50.0 / p2

    def f(r, y):
        return [y[1], (l * (l + 1) / r**2 + 2.0 * potential(kind, p1, p2, r) - k * k) * y[0]]

    start = 1e-7
    strength = p1 * p1 if kind == 1 else p1  # -strength / r near 0
    c = -strength / (l + 1)  # u = r^(l+1) (1 + c r + ...)
    y0 = [start**(l + 1) * (1 + c * start), (l + 1) * start**l + c * (l + 2) * start**(l + 1)]
    s = solve_ivp(f, [start, end], y0, method="DOP853", rtol=rtol, atol=1e-300)
    u, du = s.y[0, -1], s.y[1, -1]
    x = k * end
    j, dj = x * spherical_jn(l, x), k * (spherical_jn(l, x) + x * spherical_jn(l, x, True))
    n, dn = x * spherical_yn(l, x), k * (spherical_yn(l, x) + x * spherical_yn(l, x, True))
    return np.arctan((u * dj - du * j) / (u * dn - du * n))


cases = [(1, 1.0, 1.0, 0.0, l, e) for l in (0, 1, 2, 5, 10, 16) for e in (1.0,)]
cases += [(1, 1.0, 1.0, 0.0, 0, e) for e in (0.05, 0.2, 5.0, 20.0)]
cases += [(1, 1.5, 0.7, 0.0, l, 2.0) for l in (0, 3)]
cases += [(1, 1.0, 1.0, 3.0, l, 1.0) for l in (0, 2)]
cases += [(2, 1.0, 1.0, 2.0, l, e) for l in (0, 1) for e in (0.5, 3.0)]
print(__doc__.strip().replace("\n", "\n# ").join(["# ", ""]))
for case in cases:
    fine = delta(*case, 1e-13)
    coarse = delta(*case, 1e-12)
    if abs(fine - coarse) > 1e-10:
        continue
    print(" ".join(f"{v:g}" for v in case), f"{fine:.16e}")
