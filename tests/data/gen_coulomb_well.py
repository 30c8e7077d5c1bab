#!/usr/bin/python3
"""Phase shifts of a square well or shell v0 (a < r < b) under a Coulomb tail zc/r, relative to
the Coulomb functions (coulomb_well.txt). Regions: u = F_l(eta, k r) for r < a (none when
a = 0), u = A F_l(eta_in, q r) + B G_l(eta_in, q r) in the shell, q = sqrt(2 (e - v0)),
eta_in = zc / q, and u = alpha F_l(eta, k r) + beta G_l(eta, k r) outside, eta = zc / k;
u and u' continuous at a and b, solved as one linear system (mpmath.lu_solve), tan(delta) =
beta / alpha. mpmath's coulombf/coulombg at 30 digits, derivatives by mpmath.diff.

Columns: zc, v0, a, b, l, e, delta (-pi/2, pi/2].
"""
import mpmath as mp

mp.mp.dps = 30


def values(kind, l, eta, p, r):
    f = mp.coulombf if kind == "f" else mp.coulombg
    return f(l, eta, p * r), p * mp.diff(lambda x: f(l, eta, x), p * r)


def delta(zc, v0, a, b, l, e):
    zc, v0, a, b, e = (mp.mpf(x) for x in (zc, v0, a, b, e))
    k = mp.sqrt(2 * e)
    q = mp.sqrt(2 * (e - v0))
    eta, eta_in = zc / k, zc / q
    fo, go = values("f", l, eta, k, b), values("g", l, eta, k, b)
    fs_b, gs_b = values("f", l, eta_in, q, b), values("g", l, eta_in, q, b)
    if a == 0:
        # Unknowns alpha, beta with the shell's regular solution of unit amplitude.
        m = mp.matrix([[fo[0], go[0]], [fo[1], go[1]]])
        alpha, beta = mp.lu_solve(m, mp.matrix([fs_b[0], fs_b[1]]))
    else:
        # Unknowns A, B, alpha, beta with the inner regular solution of unit amplitude.
        fi = values("f", l, eta, k, a)
        fs_a, gs_a = values("f", l, eta_in, q, a), values("g", l, eta_in, q, a)
        m = mp.matrix([[fs_a[0], gs_a[0], 0, 0], [fs_a[1], gs_a[1], 0, 0],
                       [fs_b[0], gs_b[0], -fo[0], -go[0]], [fs_b[1], gs_b[1], -fo[1], -go[1]]])
        _, _, alpha, beta = mp.lu_solve(m, mp.matrix([fi[0], fi[1], 0, 0]))
    return mp.atan(beta / alpha)


# (v0, a, b, energies): an attractive square well, an attractive shell, a repulsive shell.
WELLS = ((-1, 0, 1, (0.3, 1, 4)), (-2, 0.5, 1.5, (0.5, 2)), (1.5, 0.3, 1.2, (2, 5)))

print(__doc__.strip().replace("\n", "\n# ").join(["# ", ""]))
for zc in (1, -1):
    for v0, a, b, energies in WELLS:
        for l in (0, 1, 2):
            for e in energies:
                d = delta(zc, v0, a, b, l, e)
                print(f"{zc:g} {v0:g} {a:g} {b:g} {l} {e:g}",
                      mp.nstr(d, 17, min_fixed=-1, max_fixed=1))
