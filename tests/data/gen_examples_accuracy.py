#!/usr/bin/python3
"""Accuracy of the shipped cross-section examples against exactly computed phase shifts.

Usage (from a directory where examples/cross-sections.inp and examples/cross-sections-dirac.inp
were run with the root names cross-sections and cross-sections-dirac):
    /usr/bin/python3 tests/data/gen_examples_accuracy.py [run directory]
It prints, per example, the largest relative deviation of sigma and sigma_tr (.xs), of
dsigma/dOmega at every angle (.dcs) and of the phase shifts (.pw) from the exact values.

Exact phase shifts, independent of the program:
- Yukawa, v = -g^2 exp(-m r)/r, Schroedinger: u'' = (l(l+1)/r^2 + 2v - k^2) u integrated with
  scipy's DOP853 (rtol 1e-13) from a Frobenius series start at small r to R = 40 (where
  2 g^2 exp(-m R)/(k m R) < 1e-16: the tail beyond changes delta by less than that), matched
  there to the Riccati-Bessel functions. All energies of one l in one integration.
- Spherical shell, v = v0 for a < r < b, Dirac (mass 1, c = 137.0359996287515, e without rest
  energy): closed form by spherical Bessel functions in each region; the small component is
  c/(e - v + 2c^2) (P' + kappa P/r), and P and Q are continuous at a and b.
Waves are summed until |delta| < 1e-16 at every energy (not only to the program's lmax), with
the same formulas as the program (README, "Cross sections"), using scipy's Legendre functions.

Self-checks, run first: the ODE route against the square well's closed form (with the
program's `; delta =` value 0.731005086557 at e = 1, l = 0), the Dirac closed form against
0.580293800514 (e = 1, kappa = -1) and against a direct integration of the Dirac equations.
"""
import math
import os
import sys

import numpy as np
from scipy.integrate import solve_ivp
from scipy.special import eval_legendre, lpmv, spherical_jn, spherical_yn

C_LIGHT = 137.0359996287515
R_MATCH = 40.0
RTOL = 1e-13


def riccati(l, x):
    """x j_l(x), x y_l(x) and their derivatives in x."""
    j, y = spherical_jn(l, x), spherical_yn(l, x)
    dj, dy = spherical_jn(l, x, derivative=True), spherical_yn(l, x, derivative=True)
    return x * j, x * y, j + x * dj, y + x * dy


def match_tan_delta(l, k, r, u, du):
    """tan delta of u ~ xj cos(delta) - xy sin(delta) (so u ~ sin(kr - l pi/2 + delta))."""
    jh, yh, djh, dyh = riccati(l, k * r)
    return (djh * u - jh * du / k) / (dyh * u - yh * du / k)


def frobenius_start(l, w, r0, terms=80):
    """u/r0^(l+1) and u'/r0^(l+1) at r0 of the regular solution of u'' = (l(l+1)/r^2 + W)u,
    W = sum_n w[n] r^(n-1) (w[n] may be arrays over energies)."""
    c = [np.ones_like(w[1])]
    for J in range(1, terms):
        acc = sum(c[j] * w[J - 1 - j] for j in range(J))
        c.append(acc / (J * (2 * l + 1 + J)))
    u = sum(c[j] * r0**j for j in range(terms))
    du = sum(c[j] * (l + 1 + j) * r0 ** (j - 1) for j in range(terms))
    last = np.max(np.abs(c[-1] * r0 ** (terms - 1)) / np.abs(u))
    assert last < 1e-17, ("series start not converged", l, r0, last)
    return u, du


def schroedinger_delta_ode(l, energies, two_v, w_series, r_end, breaks=()):
    """delta_l at every energy by integrating u'' = (l(l+1)/r^2 + 2v - k^2) u.
    two_v(r, mid) is 2v (mid: a point inside the current segment); w_series(ksq) the coefficients of the Laurent series of 2v - k^2 at 0."""
    ksq = 2.0 * np.asarray(energies, dtype=float)
    k = np.sqrt(ksq)
    # start where the growth to r_end stays within a double's range
    r0 = min(0.5, max(0.02, r_end * 10.0 ** (-250.0 / (l + 1))))
    u, du = frobenius_start(l, w_series(ksq), r0)
    n = len(ksq)

    y = np.concatenate([u, du])
    edges = [r0] + [b for b in breaks if r0 < b < r_end] + [r_end]
    for lo, hi in zip(edges[:-1], edges[1:]):
        mid = 0.5 * (lo + hi)  # names the region of a piecewise potential at its edges

        def rhs(r, y):
            return np.concatenate([y[n:], (l * (l + 1) / r**2 + two_v(r, mid) - ksq) * y[:n]])

        sol = solve_ivp(rhs, (lo, hi), y, method="DOP853", rtol=RTOL, atol=1e-300)
        assert sol.success, sol.message
        y = sol.y[:, -1]
        scale = np.maximum(np.abs(y[:n]), np.abs(y[n:]) / k)
        y = y / np.concatenate([scale, scale])  # keeps u within a double's range
    return np.arctan(match_tan_delta(l, k, r_end, y[:n], y[n:]))


def yukawa_deltas(l, energies, g, m):
    g2 = g * g

    def two_v(r, mid):
        return -2.0 * g2 * math.exp(-m * r) / r

    def w_series(ksq):
        w = [np.full_like(ksq, -2.0 * g2 * (-m) ** i / math.factorial(i)) for i in range(80)]
        w[1] = w[1] - ksq
        return w

    assert 2 * g2 * math.exp(-m * R_MATCH) / (m * R_MATCH * math.sqrt(2 * min(energies))) < 1e-16
    return schroedinger_delta_ode(l, energies, two_v, w_series, R_MATCH)


def well_delta_exact(l, e, v0, b):
    """Square well v = v0 for r < b, Schroedinger, closed form."""
    k, q = math.sqrt(2 * e), math.sqrt(2 * (e - v0))
    x = q * b
    beta = q * spherical_jn(l, x, derivative=True) / spherical_jn(l, x)  # (j_l(qr))'/j_l
    jk, yk = spherical_jn(l, k * b), spherical_yn(l, k * b)
    djk = k * spherical_jn(l, k * b, derivative=True)
    dyk = k * spherical_yn(l, k * b, derivative=True)
    return math.atan((djk - beta * jk) / (dyk - beta * yk))


# Dirac, constant v in a region: P = r f_l(pr), Q = c/(e - v + 2c^2)(P' + kappa P/r).
def dirac_pq(kind, l, kappa, e, v, r):
    eps = e - v
    p = math.sqrt(eps * (eps + 2 * C_LIGHT**2)) / C_LIGHT
    f = spherical_jn if kind == "j" else spherical_yn
    big = r * f(l, p * r)
    dbig = f(l, p * r) + p * r * f(l, p * r, derivative=True)
    return np.array([big, C_LIGHT / (eps + 2 * C_LIGHT**2) * (dbig + kappa * big / r)])


def orbital(kappa):
    return kappa if kappa > 0 else -kappa - 1


def shell_delta_dirac(kappa, e, v0, a, b):
    l = orbital(kappa)
    inner = dirac_pq("j", l, kappa, e, 0.0, a)
    shell_a = np.column_stack([dirac_pq(t, l, kappa, e, v0, a) for t in "jy"])
    A, B = np.linalg.solve(shell_a, inner)
    mid = A * dirac_pq("j", l, kappa, e, v0, b) + B * dirac_pq("y", l, kappa, e, v0, b)
    outer = np.column_stack([dirac_pq(t, l, kappa, e, 0.0, b) for t in "jy"])
    alpha, beta = np.linalg.solve(outer, mid)
    return math.atan(-beta / alpha)


def shell_delta_dirac_ode(kappa, e, v0, a, b):
    """The same phase shift by integrating P' = -kappa P/r + (e - v + 2c^2)/c Q,
    Q' = kappa Q/r - (e - v)/c P from the free regular solution at r = a/2 to r = 2b."""
    l = orbital(kappa)

    def rhs(r, y):
        v = v0 if a <= r <= b else 0.0
        return [-kappa * y[0] / r + (e - v + 2 * C_LIGHT**2) / C_LIGHT * y[1],
                kappa * y[1] / r - (e - v) / C_LIGHT * y[0]]

    y = dirac_pq("j", l, kappa, e, 0.0, a / 2)
    for lo, hi in ((a / 2, a), (a, b), (b, 2 * b)):
        y = solve_ivp(rhs, (lo, hi), y, method="DOP853", rtol=1e-13, atol=1e-300).y[:, -1]
    outer = np.column_stack([dirac_pq(t, l, kappa, e, 0.0, 2 * b) for t in "jy"])
    alpha, beta = np.linalg.solve(outer, y)
    return math.atan(-beta / alpha)


# Sums, as the program forms them. minus[l]: delta of l (Schroedinger) or kappa = -l-1;
# plus[l]: kappa = l (Dirac only).
def sums(k, minus, plus, thetas):
    lmax = len(minus) - 1
    ls = np.arange(lmax + 1)
    am = np.exp(2j * minus) - 1
    ap = np.exp(2j * plus) - 1 if plus is not None else am
    if plus is None:
        sigma = 4 * np.pi / k**2 * np.sum((2 * ls + 1) * np.sin(minus) ** 2)
        nxt = np.append(minus[1:], 0.0)
        sigma_tr = 4 * np.pi / k**2 * np.sum((ls + 1) * np.sin(nxt - minus) ** 2)
    else:
        sigma = 4 * np.pi / k**2 * np.sum((ls + 1) * np.sin(minus) ** 2 + ls * np.sin(plus) ** 2)
        sigma_tr = None  # by quadrature below
    A = (ls + 1) * am + ls * ap
    B = np.where(ls > 0, ap - am, 0)
    x = np.cos(thetas)
    P = np.array([eval_legendre(l, x) for l in ls])
    P1 = np.array([lpmv(1, l, x) for l in ls])
    f = (A @ P) / (2j * k)
    gg = (B @ P1) / (2j * k)
    dcs = np.abs(f) ** 2 + np.abs(gg) ** 2
    if sigma_tr is None:
        xg, wg = np.polynomial.legendre.leggauss(lmax + 4)
        Pg = np.array([eval_legendre(l, xg) for l in ls])
        P1g = np.array([lpmv(1, l, xg) for l in ls])
        dg = np.abs((A @ Pg) / (2j * k)) ** 2 + np.abs((B @ P1g) / (2j * k)) ** 2
        sigma_tr = 2 * np.pi * np.sum(wg * (1 - xg) * dg)
    return sigma, sigma_tr, dcs


def read_header_value(path, key):
    with open(path) as f:
        for line in f:
            if line.startswith(";") and line[1:].split("=")[0].strip() == key:
                return line.split("=", 1)[1].strip()
    raise KeyError(key)


def read_dcs(path):
    blocks, cur = [], None
    with open(path) as f:
        for line in f:
            if line.startswith("; energy ="):
                cur = []
                blocks.append(cur)
            elif line.strip() and not line.startswith(";"):
                cur.append([float(t) for t in line.split()])
    return [np.array(b) for b in blocks]


def compare(root, exact_deltas, kscale, relativistic):
    """exact_deltas(energies) -> (minus, plus) arrays [energy, l] summed to convergence."""
    xs = np.loadtxt(root + ".xs", comments=";")
    pw = np.loadtxt(root + ".pw", comments=";")
    dcs = read_dcs(root + ".dcs")
    energies = xs[:, 0]
    minus, plus = exact_deltas(energies)
    lreached = int(read_header_value(root + ".xs", "lreached"))
    thetas = np.radians(dcs[0][:, 0])
    err = {"sigma": 0.0, "sigma_tr": 0.0, "dcs": 0.0}
    where = {}
    for i, e in enumerate(energies):
        k = kscale(e)
        s, st, d = sums(k, minus[i], None if plus is None else plus[i], thetas)
        for key, got, want in (("sigma", xs[i, 1], s), ("sigma_tr", xs[i, 2], st)):
            rel = abs(got / want - 1)
            if rel > err[key]:
                err[key], where[key] = rel, e
        rel = np.abs(dcs[i][:, 1] / d - 1)
        if rel.max() > err["dcs"]:
            err["dcs"] = rel.max()
            where["dcs"] = (e, dcs[i][rel.argmax(), 0])
    # phase shifts, columns in the program's order
    cols = []
    for l in range(lreached + 1):
        cols.append(minus[:, l])
        if relativistic and l > 0:
            cols.append(plus[:, l])
    want = np.column_stack(cols)
    got = pw[:, 1:]
    absdev = np.abs(got - want)
    scale = np.max(np.abs(want), axis=1, keepdims=True)  # largest |delta| at that energy
    print(f"{root}: energies {energies[0]:g} ... {energies[-1]:g} ({len(energies)}), "
          f"waves summed by the program: l <= {lreached}")
    print(f"  sigma    max rel. deviation {err['sigma']:.2e} (e = {where['sigma']:g})")
    print(f"  sigma_tr max rel. deviation {err['sigma_tr']:.2e} (e = {where['sigma_tr']:g})")
    print(f"  dcs      max rel. deviation {err['dcs']:.2e} (e = {where['dcs'][0]:g}, "
          f"theta = {where['dcs'][1]:g} deg)")
    big = np.abs(want) > 1e-3 * scale
    print(f"  pw       max abs. deviation {absdev.max():.2e}; relative to the largest delta "
          f"of its energy {np.max(absdev / scale):.2e}; relative, waves with |delta| > "
          f"1e-3 of the largest {np.max(absdev[big] / np.abs(want[big])):.2e}")
    return err


def self_checks():
    d = well_delta_exact(0, 1.0, -1.0, 1.0)
    assert abs(d - 0.731005086557) < 1e-12, d

    def two_v_well(r, mid):
        return -2.0 if mid < 1.0 else 0.0

    def w_well(ksq):
        w = [np.zeros_like(ksq) for _ in range(80)]
        w[1] = -2.0 - ksq
        return w

    es = np.array([0.05, 0.5, 1.0, 3.0, 5.0])
    worst = 0.0
    for l in (0, 1, 5, 12):
        ode = schroedinger_delta_ode(l, es, two_v_well, w_well, 1.0)
        # the series covers r < 1 exactly; integrate across r = 1 in free space to r = 6
        ode2 = schroedinger_delta_ode(l, es, two_v_well, w_well, 6.0, breaks=(1.0,))
        exact = np.array([well_delta_exact(l, e, -1.0, 1.0) for e in es])
        worst = max(worst, np.max(np.abs(ode - exact)), np.max(np.abs(ode2 - exact)))
    assert worst < 1e-11, worst
    d = shell_delta_dirac(-1, 1.0, -1.0, 0.5, 1.0)
    assert abs(d - 0.580293800514) < 1e-12, d
    dworst = 0.0
    for kappa in (-1, 1, -2, 2, -5, 4):
        for e in (0.1, 1.0, 2.0):
            dworst = max(dworst, abs(shell_delta_dirac(kappa, e, -1.0, 0.5, 1.0)
                                     - shell_delta_dirac_ode(kappa, e, -1.0, 0.5, 1.0)))
    assert dworst < 1e-11, dworst
    print(f"self-checks: square well ODE vs closed form {worst:.1e}, Dirac shell closed form "
          f"vs 0.580293800514 {abs(d - 0.580293800514):.1e}, vs Dirac ODE {dworst:.1e}")


def yukawa_exact(g, m):
    def run(energies):
        cols = []
        for l in range(400):
            d = yukawa_deltas(l, energies, g, m)
            cols.append(d)
            if np.max(np.abs(d)) < 1e-16:
                break
        return np.column_stack(cols), None
    return run


def shell_exact(v0, a, b):
    def run(energies):
        minus, plus = [], []
        for l in range(400):
            dm = np.array([shell_delta_dirac(-l - 1, e, v0, a, b) for e in energies])
            dp = np.array([shell_delta_dirac(l, e, v0, a, b) if l > 0 else 0.0
                           for e in energies])
            minus.append(dm)
            plus.append(dp)
            if max(np.max(np.abs(dm)), np.max(np.abs(dp))) < 1e-16:
                break
        return np.column_stack(minus), np.column_stack(plus)
    return run


def main():
    run_dir = sys.argv[1] if len(sys.argv) > 1 else "."
    self_checks()
    root = os.path.join(run_dir, "cross-sections")
    if os.path.exists(root + ".xs"):
        g = float(read_header_value(root + ".xs", "g"))
        m = float(read_header_value(root + ".xs", "m"))
        compare(root, yukawa_exact(g, m), lambda e: math.sqrt(2 * e), False)
    root = os.path.join(run_dir, "cross-sections-dirac")
    if os.path.exists(root + ".xs"):
        v0, a, b = (float(read_header_value(root + ".xs", t)) for t in ("v0", "a", "b"))
        compare(root, shell_exact(v0, a, b),
                lambda e: math.sqrt(e * (e + 2 * C_LIGHT**2)) / C_LIGHT, True)


if __name__ == "__main__":
    main()
