#!/usr/bin/env python3
"""Reference integrals of the Laguerre basis at a non-integer order l (the Dirac basis of a wave
whose regular solution starts as r^gamma: l = gamma - 1, kappa = -gamma).

Computed with mpmath (40 digits) by mpmath.quad over (0, inf), independently of the program:
  overlap   int phi_i phi_n dr
  kinetic   int phi_i' phi_n' + l(l+1)/r^2 phi_i phi_n dr
  coupling  int phi_i (phi_n' + (kappa/r) phi_n) / r dr
with phi_n = x^(l+1) e^(-x/2) L_n^(2l+1)(x), x = lambda r, and phi' in closed form.
Run: python3 gen_basis_real_order.py  (writes basis_real_order.txt beside this script).
"""
import os
import mpmath as mp

mp.mp.dps = 40
HERE = os.path.dirname(os.path.abspath(__file__))


def phi(l, lam, n, r):
    x = lam * r
    return x ** (l + 1) * mp.exp(-x / 2) * mp.laguerre(n, 2 * l + 1, x)


def dphi(l, lam, n, r):
    """Closed-form d phi/dr (d/dx L_n^a = -L_(n-1)^(a+1)), checked against mpmath.diff in main."""
    x = lam * r
    a = 2 * l + 1
    ln = mp.laguerre(n, a, x)
    dln = -mp.laguerre(n - 1, a + 1, x) if n > 0 else mp.mpf(0)
    return lam * mp.exp(-x / 2) * ((l + 1) * x ** l * ln - x ** (l + 1) * ln / 2 + x ** (l + 1) * dln)


def main():
    for (l, lam, n, r) in [(mp.mpf("-0.19"), 1, 3, 0.7), (mp.mpf("0.913"), 2.5, 9, 2.3)]:
        numeric = mp.diff(lambda t: phi(l, mp.mpf(lam), n, t), mp.mpf(r))
        assert abs(numeric - dphi(l, mp.mpf(lam), n, mp.mpf(r))) < mp.mpf(10) ** -30
    rows = []
    for gamma, lam in (("0.81", "1"), ("0.6", "2.5"), ("1.913", "0.5")):
        g, lamv = mp.mpf(gamma), mp.mpf(lam)
        l, kappa = g - 1, -g
        for n in (0, 1, 4, 9):
            for i in sorted({0, max(n - 3, 0), n - 1, n, n + 1, n + 4}):
                if i < 0:
                    continue
                top = (4 * max(i, n) + 60) / lamv
                pts = [1] + [top * k / 8 for k in range(1, 9)] + [mp.inf]

                def quad(f):
                    # r = t^5 on (0, 1) makes the r^(2l) of the integrands smooth at 0.
                    inner = mp.quad(lambda t: f(t ** 5) * 5 * t ** 4, [0, mp.mpf(1) / 2, 1])
                    return inner + mp.quad(f, pts)

                ov = quad(lambda r: phi(l, lamv, i, r) * phi(l, lamv, n, r))
                kin = quad(lambda r: dphi(l, lamv, i, r) * dphi(l, lamv, n, r)
                           + l * (l + 1) / r ** 2 * phi(l, lamv, i, r) * phi(l, lamv, n, r))
                cpl = quad(lambda r: phi(l, lamv, i, r)
                           * (dphi(l, lamv, n, r) + kappa / r * phi(l, lamv, n, r)) / r)
                rows.append((gamma, lam, i, n, ov, kin, cpl))
    with open(os.path.join(HERE, "basis_real_order.txt"), "w") as out:
        out.write("# gamma (l = gamma - 1, kappa = -gamma)  lambda  i  n  overlap  kinetic  "
                  "coupling int phi_i psi_n / r dr   (mpmath.quad, gen_basis_real_order.py)\n")
        for row in rows:
            g, lam, i, n = row[:4]
            vals = " ".join(mp.nstr(v, 20, min_fixed=0, max_fixed=0) for v in row[4:])
            out.write(f"{g} {lam} {i} {n} {vals}\n")


if __name__ == "__main__":
    main()
