#!/usr/bin/env python3
"""Reference elements of the potential blocks for tests/test_potential_blocks.cpp ->
potential_blocks.txt.

Each element is  int v(r) f_i(r) f_j(r) dr  over the potential's interval, f = phi (first
component) or psi = dphi/dr + (kappa/r) phi (second component), in the Laguerre basis
phi_n = x^(l+1) e^(-x/2) L_n^(2l+1)(x) or the oscillator basis
phi_n = x^(l+1) e^(-x^2/2) L_n^(l+1/2)(x^2), x = lambda r.

Method (mpmath at 30 digits, independent of the program's Gauss rules): composite 48-point
Gauss-Legendre panels, uniform in s = sqrt(x) for the Laguerre basis (where the oscillation is
uniform) and in x for the oscillator basis, each panel holding at most 40 radians of the
product's phase; the panel at r = 0 by mpmath's adaptive tanh-sinh quadrature, which absorbs the
fractional power there. Infinite ranges end where the highest function has decayed by e^-40
beyond its turning point. The Laguerre polynomials at a point come from one pass of their
recurrence in fixed point with 2^-200 resolution (Python integers). `--check` repeats a case with 1.6 times as many panels and prints
the largest change relative to the block's largest sampled element.

Columns: case basis(0 laguerre, 1 gauss) scheme(0 non-relativistic, 1 relativistic)
pot(0 well, 1 coulomb, 2 yukawa) l kappa lambda v0 a b z alpha g m r0 n block(0 phi, 1 psi)
i j value, with i, j the natural basis indices.
"""

import sys

import mpmath as mp
from mpmath.calculus.quadrature import GaussLegendre

mp.mp.dps = 30
WELL, COULOMB, YUKAWA = 0, 1, 2
LAGUERRE, GAUSS = 0, 1

# (basis, scheme, pot, l, kappa, lambda, v0, a, b, z, alpha, g, m, r0, n)
CASES = [
    (LAGUERRE, 0, YUKAWA, 0, 0, 1.0, 0, 0, 0, 0, 0, 1.0, 1.0, 0.0, 1000),
    (LAGUERRE, 1, COULOMB, 1, 1, 1.5, 0, 0, 0, 1.0, 1.0, 0, 0, 0.0, 300),
    (LAGUERRE, 1, COULOMB, 2, -3, 0.8, 0, 0, 0, 2.0, 0.6, 0, 0, 0.0, 200),
    (LAGUERRE, 1, YUKAWA, 4, 4, 1.3, 0, 0, 0, 0, 0, 1.2, 0.7, 3.0, 400),
    (LAGUERRE, 1, WELL, 0, -1, 1.0, -1.0, 0.5, 1.0, 0, 0, 0, 0, 0.0, 500),
    (LAGUERRE, 0, WELL, 3, 0, 0.7, 2.5, 0.2, 30.0, 0, 0, 0, 0, 0.0, 1000),
    (LAGUERRE, 0, COULOMB, 0, 0, 1.0, 0, 0, 0, 1.0, 1.0, 0, 0, 2.0, 1000),
    (LAGUERRE, 1, YUKAWA, 1, -2, 2.0, 0, 0, 0, 0, 0, 0.8, 3.0, 0.0, 250),
    (GAUSS, 0, COULOMB, 0, 0, 1.2, 0, 0, 0, 2.0, 1.0, 0, 0, 0.0, 1000),
    (GAUSS, 1, COULOMB, 1, -2, 0.9, 0, 0, 0, 1.0, 1.5, 0, 0, 0.0, 200),
    (GAUSS, 1, YUKAWA, 2, 2, 1.1, 0, 0, 0, 0, 0, 1.5, 0.5, 0.0, 300),
    (GAUSS, 1, COULOMB, 1, 1, 2.0, 0, 0, 0, 1.0, 0.7, 0, 0, 2.0, 400),
    (GAUSS, 0, WELL, 4, 0, 1.0, -3.0, 0.0, 5.0, 0, 0, 0, 0, 0.0, 1000),
    (GAUSS, 1, WELL, 0, 0, 0.6, 1.5, 1.0, 2.5, 0, 0, 0, 0, 0.0, 150),
]

GL48 = [(mp.mpf(x), mp.mpf(w)) for x, w in GaussLegendre(mp.mp).calc_nodes(5, mp.mp.prec)]
PHASE_PER_PANEL = 40


def sample_indices(n):
    picks = {0, 1, n // 7, n // 3, n // 2, n - 3, n - 2, n - 1}
    return sorted(i for i in picks if 0 <= i < n)


FIXED_BITS = 200


def laguerre_values(n, order, y, wanted):
    """{k: L_k^(order)(y)} for k in wanted (k < n), by the upward recurrence in fixed point with
    2^-200 resolution (Python integers), which is exact up to one unit per step."""
    one = 1 << FIXED_BITS
    yy = int(mp.nint(mp.ldexp(y, FIXED_BITS)))
    oo = int(mp.nint(mp.ldexp(mp.mpf(order), FIXED_BITS)))
    targets = set(wanted)
    out = {}
    prev, cur = 0, one
    if 0 in targets:
        out[0] = mp.mpf(1)
    for k in range(1, n):
        prev, cur = cur, (((2 * k - 1) * one + oo - yy) * cur - ((k - 1) * one + oo) * prev) // (
            k * one)
        if k in targets:
            out[k] = mp.ldexp(mp.mpf(cur), -FIXED_BITS)
    return out


class Setting:
    def __init__(self, case):
        (self.basis, self.scheme, self.pot, self.l, self.kappa, lam, v0, a, b, z, alpha, g, m,
         r0, self.n) = case
        self.lam = mp.mpf(lam)
        self.v0, self.a, self.b = mp.mpf(v0), mp.mpf(a), mp.mpf(b)
        self.z, self.alpha, self.g, self.m = mp.mpf(z), mp.mpf(alpha), mp.mpf(g), mp.mpf(m)
        self.r0 = mp.mpf(r0)
        self.gauss = self.basis == GAUSS
        self.order = mp.mpf(self.l) + mp.mpf(0.5) if self.gauss else mp.mpf(2 * self.l + 1)

    def v(self, r):
        if self.pot == WELL:
            return self.v0 if self.a <= r <= self.b else mp.mpf(0)
        if self.pot == COULOMB:
            return -self.z / r**self.alpha
        return -self.g**2 * mp.exp(-self.m * r) / r

    def interval(self):
        """Interval of r."""
        if self.pot == WELL:
            return self.a, self.b
        if self.r0 > 0:
            return mp.mpf(0), self.r0
        return mp.mpf(0), mp.inf

    def functions(self, x, psi, wanted):
        """{k: phi_k(x) or psi_k(x)} for k in wanted."""
        n, l = self.n, self.l
        y = x * x if self.gauss else x
        e = mp.exp(-y / 2)
        lag = laguerre_values(n, self.order, y, wanted)
        front = x**(l + 1) * e
        if not psi:
            return {k: front * lag[k] for k in wanted}
        # dL_k/dy = -L_(k-1)^(alpha+1).
        lag_up = laguerre_values(n - 1, self.order + 1, y, [k - 1 for k in wanted if k > 0])
        dy = 2 * x if self.gauss else mp.mpf(1)
        # d/dx of x^(l+1) e^(-y/2) L_k(y), then d/dr = lambda d/dx and kappa/r = lambda kappa/x.
        p_coef = self.lam * front * ((l + 1 + self.kappa) / x - dy / 2)
        c_coef = self.lam * front * dy
        return {k: p_coef * lag[k] - (c_coef * lag_up[k - 1] if k > 0 else 0) for k in wanted}

    def x_end(self):
        if self.gauss:
            nu = 4 * self.n + 2 * self.l + 3
            return mp.sqrt(nu + 12 * mp.cbrt(nu) + 60)
        nu = 4 * self.n + 2 * self.order + 2
        return nu + 12 * mp.cbrt(nu) + 60


def element_sums(st, psi, refine):
    """Sampled elements {(i, j): value} of one block."""
    idx = sample_indices(st.n)
    pairs = [(i, j) for i in idx for j in idx if j <= i]
    sums = {p: mp.mpf(0) for p in pairs}
    lo, hi = st.interval()
    xa, xb = st.lam * lo, min(st.lam * hi, st.x_end())
    if xb <= xa:
        return sums

    def add_point(x, weight):
        fv = st.functions(x, psi, idx)
        w = weight * st.v(x / st.lam) / st.lam
        for (i, j) in pairs:
            sums[(i, j)] += w * fv[i] * fv[j]

    nu = 4 * st.n + 8
    if xa == 0:
        first = min(mp.mpf(1), mp.mpf(25) / nu) if not st.gauss else min(mp.mpf(0.5),
                                                                              10 / mp.sqrt(nu))
        first = min(first, xb)
        cache = {}

        def vals(x):
            if x not in cache:
                cache[x] = (st.functions(x, psi, idx), st.v(x / st.lam) / st.lam)
            return cache[x]

        for (i, j) in pairs:
            sums[(i, j)] += mp.quad(lambda x: vals(x)[0][i] * vals(x)[0][j] * vals(x)[1],
                                    [0, first])
        xa = first
    if xb <= xa:
        return sums
    decay = st.m / st.lam if st.pot == YUKAWA else 0
    if st.gauss:
        lo_v, hi_v = xa, xb
        phase = 2 * mp.sqrt(nu) * (hi_v - lo_v) + (xb**2 - xa**2) + decay * (xb - xa)
    else:
        lo_v, hi_v = mp.sqrt(xa), mp.sqrt(xb)
        phase = 2 * mp.sqrt(nu) * (hi_v - lo_v) + (xb - xa) * (1 + decay)
    panels = int(mp.ceil(refine * phase / PHASE_PER_PANEL)) + 2
    width = (hi_v - lo_v) / panels
    for p in range(panels):
        centre = lo_v + (p + mp.mpf(0.5)) * width
        for (t, w) in GL48:
            u = centre + t * width / 2
            if st.gauss:
                add_point(u, w * width / 2)
            else:
                add_point(u * u, w * width / 2 * 2 * u)
    return sums


def check_psi_formula():
    """psi against a numerical derivative of phi at one point, both bases."""
    for basis in (LAGUERRE, GAUSS):
        st = Setting((basis, 1, WELL, 2, 2, 1.3, 1, 0, 1, 0, 0, 0, 0, 0.0, 6))
        r = mp.mpf("0.83")
        every = list(range(6))
        psi = st.functions(st.lam * r, True, every)
        for k in every:
            dphi = mp.diff(lambda rr: st.functions(st.lam * rr, False, every)[k], r)
            expected = dphi + st.kappa / r * st.functions(st.lam * r, False, every)[k]
            assert abs(psi[k] - expected) < mp.mpf(10)**-20 * (1 + abs(expected)), (basis, k)


def main():
    check_psi_formula()
    if len(sys.argv) > 2 and sys.argv[1] == "--check":
        case = int(sys.argv[2])
        st = Setting(CASES[case])
        for psi in ([False, True] if st.scheme == 1 else [False]):
            a = element_sums(st, psi, 1)
            b = element_sums(st, psi, 1.6)
            scale = max(abs(x) for x in b.values())
            print(case, "psi" if psi else "phi",
                  mp.nstr(max(abs(a[k] - b[k]) for k in a) / scale, 5))
        return
    selected = range(len(CASES)) if len(sys.argv) < 2 else [int(c) for c in sys.argv[1:]]
    print("# Sampled elements of the potential blocks; tests/data/gen_potential_blocks.py")
    print("# case basis scheme pot l kappa lambda v0 a b z alpha g m r0 n block i j value")
    for c in selected:
        st = Setting(CASES[c])
        settings = " ".join(str(v) for v in CASES[c])
        for psi in ([False, True] if st.scheme == 1 else [False]):
            sums = element_sums(st, psi, 1)
            for (i, j), value in sorted(sums.items()):
                print(c, settings, int(psi), i, j, mp.nstr(value, 20, min_fixed=1, max_fixed=0))
        sys.stdout.flush()


if __name__ == "__main__":
    main()
