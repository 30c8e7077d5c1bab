#!/usr/bin/python3
"""Phase shifts of a Yukawa potential -g^2 e^(-m r)/r under a Coulomb tail zc/r, relative to the
Coulomb functions (coulomb_yukawa.txt); zc = 0 rows are the same potential without a tail.

Independent of the program's basis: the radial equation
    u'' = (l(l+1)/r^2 + 2 zc/r - 2 g^2 e^(-m r)/r - k^2) u,   k = sqrt(2e),
is integrated with scipy's DOP853 at rtol 1e-13 from a Frobenius start
u = r^(l+1) (1 + c r), c = (zc - g^2)/(l + 1), at r = 1e-7 to r = 50/m, where the Yukawa part is
below 1e-21 of k^2, and matched there to mpmath's F_l(eta, kr) + tan(delta) G_l(eta, kr),
eta = zc/k (derivatives by mpmath.diff). The integration is repeated at rtol 1e-12; a row whose
two values differ by more than 1e-10 stops the script.

Columns: zc, g, m, l, e, delta (-pi/2, pi/2].
"""
import sys

import mpmath as mp
import numpy as np
from scipy.integrate import solve_ivp

mp.mp.dps = 25


def delta(zc, g, m, l, e, rtol):
    k = np.sqrt(2.0 * e)
    end = 50.0 / m

    def f(r, y):
        v = zc / r - g * g * np.exp(-m * r) / r
        return [y[1], (l * (l + 1) / r**2 + 2.0 * v - k * k) * y[0]]

    start = 1e-7
    c = (zc - g * g) / (l + 1)
    y0 = [start**(l + 1) * (1 + c * start), (l + 1) * start**l + c * (l + 2) * start**(l + 1)]
    s = solve_ivp(f, [start, end], y0, method="DOP853", rtol=rtol, atol=1e-300)
    u, du = mp.mpf(s.y[0, -1]), mp.mpf(s.y[1, -1])
    eta, rho = mp.mpf(zc) / mp.mpf(k), mp.mpf(k) * end
    big_f, big_g = mp.coulombf(l, eta, rho), mp.coulombg(l, eta, rho)
    df = k * mp.diff(lambda x: mp.coulombf(l, eta, x), rho)
    dg = k * mp.diff(lambda x: mp.coulombg(l, eta, x), rho)
    return float(mp.atan(-(df * u - big_f * du) / (dg * u - big_g * du)))


print(__doc__.strip().replace("\n", "\n# ").join(["# ", ""]))
for zc in (1.0, -1.0, 0.0):
    for g in (1.0, 1.5, 2.0):
        for l in (0, 1, 2):
            for e in (0.5, 2.0, 5.0):
                d13 = delta(zc, g, 1.0, l, e, 1e-13)
                d12 = delta(zc, g, 1.0, l, e, 1e-12)
                if abs(d13 - d12) > 1e-10:
                    sys.exit(f"unsettled: {zc} {g} {l} {e} {d13} {d12}")
                print(f"{zc:g} {g:g} 1 {l} {e:g} {d13:.16e}")
