#!/usr/bin/python3
"""Phase shifts of a square well v0 (r <= b) under a Coulomb tail zc/r, relative to the Coulomb
functions (coulomb_well.txt): inside u = F_l(eta_in, q r), q = sqrt(2 (e - v0)), eta_in = zc / q;
outside u = F_l(eta, k r) + tan(delta) G_l(eta, k r), eta = zc / k; u and u' matched at b.
mpmath's coulombf/coulombg at 30 digits.

Columns: zc, v0, b, l, e, delta (-pi/2, pi/2].
"""
import mpmath as mp

mp.mp.dps = 30


def delta(zc, v0, b, l, e):
    k = mp.sqrt(2 * e)
    q = mp.sqrt(2 * (e - v0))
    eta, eta_in = zc / k, zc / q
    f_in = mp.coulombf(l, eta_in, q * b)
    df_in = q * mp.diff(lambda x: mp.coulombf(l, eta_in, x), q * b)
    log_derivative = df_in / f_in
    f, g = mp.coulombf(l, eta, k * b), mp.coulombg(l, eta, k * b)
    df = k * mp.diff(lambda x: mp.coulombf(l, eta, x), k * b)
    dg = k * mp.diff(lambda x: mp.coulombg(l, eta, x), k * b)
    return mp.atan(-(df - log_derivative * f) / (dg - log_derivative * g))


print(__doc__.strip().replace("\n", "\n# ").join(["# ", ""]))
for zc in (1.0, -1.0):
    for l in (0, 1, 2):
        print(f"{zc:g} -1 1 {l} 1", mp.nstr(delta(mp.mpf(zc), -1, 1, l, 1), 17, min_fixed=-1,
                                            max_fixed=1))
