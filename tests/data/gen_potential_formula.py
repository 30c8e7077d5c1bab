#!/usr/bin/env python3
"""Reference elements of formula potentials for tests/test_potential.cpp ->
potential_formula.txt: integral phi_i v phi_j dr in the Laguerre basis
phi_n = x^(l+1) e^(-x/2) L_n^(2l+1)(x), x = lambda r, by mpmath.quad (tanh-sinh, 30 digits) split
at the potential's breaks and at fixed radii, independent of the program's panels.

Columns: case l lambda r0 row col value scale; `scale` is the largest |value| of the case over
the sampled indices (the diagonal among them). The formulas are those of FORMULAS, in the order
test_potential.cpp lists them.
"""
import mpmath as mp

mp.mp.dps = 30

# (muparser text, mpmath function, breaks, r0)
FORMULAS = [
    ("-exp(-r*r/4)", lambda r: -mp.exp(-r * r / 4), [], 0),  # smooth
    ("-3/r", lambda r: -3 / r, [], 6),  # 1/r at the origin, cut
    ("-r^(-1.5)*exp(-r)", lambda r: -r ** mp.mpf(-1.5) * mp.exp(-r), [], 0),  # r^-alpha
    ("r < 2 ? -1 : 0.5*exp(-r)", lambda r: -1 if r < 2 else mp.mpf(0.5) * mp.exp(-r), [2], 0),
]
INDICES = [0, 1, 4, 12, 25, 40]
L = 0
LAMBDA = mp.mpf(1)


def phi(n, r):
    x = LAMBDA * r
    return x ** (L + 1) * mp.exp(-x / 2) * mp.laguerre(n, 2 * L + 1, x)


def element(v, breaks, r0, i, j):
    upper = r0 if r0 > 0 else mp.inf
    points = sorted({mp.mpf(0), *[mp.mpf(b) for b in breaks], *[mp.mpf(p) for p in (1, 5, 20, 60, 150)]})
    points = [p for p in points if p < upper] + [upper]
    return mp.quad(lambda r: phi(i, r) * v(r) * phi(j, r), points)


if __name__ == "__main__":
    print("# case l lambda r0 row col value scale  (gen_potential_formula.py)")
    for case, (_, v, breaks, r0) in enumerate(FORMULAS):
        rows = []
        for a, i in enumerate(INDICES):
            for j in INDICES[: a + 1]:
                rows.append((i, j, element(v, breaks, r0, i, j)))
        scale = max(abs(value) for _, _, value in rows)
        for i, j, value in rows:
            print(case, L, mp.nstr(LAMBDA, 3), r0, i, j, mp.nstr(value, 20), mp.nstr(scale, 20))
