#!/usr/bin/env python3
"""Reference values for the basis functions and their overlap and kinetic integrals.

Computed with mpmath (50 significant digits), independently of the program:
  basis_integrals.txt  int phi_i phi_n dr and int phi_i' phi_n' + l(l+1)/r^2 phi_i phi_n dr over
                       (0, inf) by mpmath.quad, with phi' in closed form (checked against
                       mpmath.diff, numerical differentiation, at sample points);
  basis_values.txt     phi_n(r) and psi_n(r) = phi_n'(r) + (kappa/r) phi_n(r) for kappa = l and
                       kappa = -l-1, n up to 5000, r from 1e-6 to 1e8; L_n from mpmath.laguerre,
                       checked against the derivative identity and a second precision.
Basis functions (x = lambda r):  laguerre  x^(l+1) e^(-x/2)   L_n^(2l+1)(x)
                                 gauss     x^(l+1) e^(-x^2/2) L_n^(l+1/2)(x^2)
Run: python3 gen_basis.py  (writes both files beside this script).
"""
import os
import mpmath as mp

mp.mp.dps = 50
HERE = os.path.dirname(os.path.abspath(__file__))
BASES = {"laguerre": 0, "gauss": 1}


def alpha_of(basis, l):
    return mp.mpf(2 * l + 1) if basis == "laguerre" else mp.mpf(l) + mp.mpf(1) / 2


def phi(basis, l, lam, n, r):
    x = lam * r
    y = x if basis == "laguerre" else x * x
    return x ** (l + 1) * mp.exp(-y / 2) * mp.laguerre(n, alpha_of(basis, l), y)


def dphi(basis, l, lam, n, r):
    """Closed-form d phi/dr (d/dy L_n^a = -L_(n-1)^(a+1))."""
    x = lam * r
    a = alpha_of(basis, l)
    if basis == "laguerre":
        y, dy = x, lam
    else:
        y, dy = x * x, 2 * lam * x
    p = x ** (l + 1)
    e = mp.exp(-y / 2)
    ln = mp.laguerre(n, a, y)
    dln = -mp.laguerre(n - 1, a + 1, y) if n > 0 else mp.mpf(0)
    return (l + 1) * lam * x ** l * e * ln + p * e * (-dy / 2) * ln + p * e * dln * dy


def check_derivative():
    for basis in BASES:
        for (l, lam, n, r) in [(0, 1, 3, 0.7), (2, 1.5, 7, 2.3), (1, 0.6, 12, 4.1)]:
            lam, r = mp.mpf(lam), mp.mpf(r)
            numeric = mp.diff(lambda t: phi(basis, l, lam, n, t), r)
            closed = dphi(basis, l, lam, n, r)
            assert abs(numeric - closed) <= mp.mpf(10) ** -35 * (1 + abs(closed)), (basis, l, n)


def integrals():
    rows = []
    for basis in BASES:
        for l in (0, 1, 3):
            for lam in ("1", "0.5", "2.5"):
                lamv = mp.mpf(lam)
                for n in (0, 1, 5, 12):
                    for i in (n - 1, n, n + 1, n + 2):
                        if i < 0:
                            continue
                        # Split where the integrand lives so quad sees smooth pieces.
                        top = (4 * max(i, n) + 2 * l + 60) if basis == "laguerre" else mp.sqrt(
                            4 * max(i, n) + 2 * l + 60)
                        pts = [0] + [top * k / 8 / lamv for k in range(1, 9)] + [mp.inf]
                        ov = mp.quad(lambda r: phi(basis, l, lamv, i, r) * phi(basis, l, lamv, n, r), pts)
                        kin = mp.quad(lambda r: dphi(basis, l, lamv, i, r) * dphi(basis, l, lamv, n, r)
                                      + l * (l + 1) / r ** 2 * phi(basis, l, lamv, i, r)
                                      * phi(basis, l, lamv, n, r), pts)
                        rows.append((BASES[basis], l, lam, i, n, ov, kin))
    with open(os.path.join(HERE, "basis_integrals.txt"), "w") as out:
        out.write("# basis(0 laguerre, 1 gauss)  l  lambda  i  n  int phi_i phi_n dr  "
                  "int phi_i' phi_n' + l(l+1)/r^2 phi_i phi_n dr   (mpmath.quad, gen_basis.py)\n")
        for b, l, lam, i, n, ov, kin in rows:
            out.write(f"{b} {l} {lam} {i} {n} {mp.nstr(ov, 20, min_fixed=0, max_fixed=0)} "
                      f"{mp.nstr(kin, 20, min_fixed=0, max_fixed=0)}\n")


def values():
    radii = [mp.mpf(10) ** (k / mp.mpf(3)) for k in range(-18, 25)]
    extra = {"laguerre": [1490, 1600, 3000, 2e4, 3e4, 5e4], "gauss": [30, 38, 40, 60, 100, 140, 150]}
    rows = []
    for basis, lam in (("laguerre", "1.5"), ("gauss", "0.8")):
        lamv = mp.mpf(lam)
        rs = sorted(radii + [mp.mpf(v) / lamv for v in extra[basis]])
        for l in (0, 3):
            for n in (0, 1, 5, 52, 53, 200, 1000, 5000):
                for r in rs:
                    f = phi(basis, l, lamv, n, r)
                    d = dphi(basis, l, lamv, n, r)
                    psi_a = d + l / r * f
                    psi_b = d + (-l - 1) / r * f
                    rows.append((BASES[basis], l, lam, n, r, f, psi_a, psi_b))
    # A second precision for a sample of rows guards against lost digits in mpmath.laguerre.
    with mp.workdps(80):
        for row in rows[::37]:
            b, l, lam, n, r = row[:5]
            basis = "laguerre" if b == 0 else "gauss"
            f = phi(basis, l, mp.mpf(lam), n, r)
            assert abs(f - row[5]) <= mp.mpf(10) ** -30 * abs(f) or f == row[5] == 0, row
    with open(os.path.join(HERE, "basis_values.txt"), "w") as out:
        out.write("# basis(0 laguerre, 1 gauss)  l  lambda  n  r  phi_n(r)  psi_n(r) kappa=l  "
                  "psi_n(r) kappa=-l-1   (mpmath, gen_basis.py)\n")
        for b, l, lam, n, r, f, pa, pb in rows:
            s = lambda v: mp.nstr(v, 20, min_fixed=0, max_fixed=0)
            out.write(f"{b} {l} {lam} {n} {s(r)} {s(f)} {s(pa)} {s(pb)}\n")


if __name__ == "__main__":
    import sys
    check_derivative()
    if "--integrals-only" not in sys.argv:
        values()
    with mp.workdps(30):
        integrals()
