#!/usr/bin/python3
"""Reference coefficients s_n, c_n of the free solutions in the Laguerre basis of a real,
non-integral order l (phi_n = x^(l+1) e^(-x/2) L_n^(2l+1)(x), lambda = 1, q = k), n <= 2000
sampled, at 50 correct digits.

With x = (q^2 - 1/4)/(q^2 + 1/4) = cos(theta) and y = sin(theta), the closed form for every n is
  c_n + i s_n = -(2y)^(-l) e^(-i(n+1) theta) n!/Gamma(n + l + 2)
                * 2F1(n + 1, -l; n + l + 2; e^(-2 i theta)),
whose imaginary part at n = 0 is the Laplace transform s_0 = 2^l Gamma(l + 1) y^(l+1)/Gamma(2l + 2).
It is evaluated with mpmath's hyp2f1 at n = 0, 1 and continued by the free relation
  (n-1) t(n-2) - 2(n + l) x t(n-1) + (n + 2l + 1) t(n) = 0
at two working precisions that must agree to 50 digits; at a few n it is also compared with the
closed form evaluated there. The pair is checked to have the Wronskian of the integral orders,
  J(0,1) (s_0 c_1 - s_1 c_0) = k/2,  J(0,1) = psipsi(0,1)/2 - k^2 fifi(0,1)/2 = G(1)/8 + k^2 G(1)/2,
G(n) = Gamma(n + 2l + 2)/n!, and its meaning by projections (double precision, some 1e-13): s_n
is n!/Gamma(n + 2l + 2) int_0^inf x^l e^(-x/2) L_n^(2l+1)(x) F(x) dx with the regular free
solution F(x) = sqrt(pi q x/2) J_(l+1/2)(q x), and c_n the same projection of the regularised
irregular one
  C(x) = [F(x) int_x^inf G chi + G(x) int_0^x F chi] / int_0^inf F chi,  chi = x^l e^(-x/2),
G(x) = -sqrt(pi q x/2) Y_(l+1/2)(q x), which solves the free equation with a source in chi and
tends to G.

The orders and wave numbers are the doubles the tests pass; mpmath takes them exactly.
Output: coefficients_real_order.txt: l k n s_n c_n
"""
import mpmath as mp
import numpy as np
from scipy import special

from gen_coefficients_coulomb import samples

NMAX = 2000
ORDERS = (-0.19, -0.45, 0.3, 0.913, 2.6)
KS = (0.3, 1.4, 5.0, 20.0)
DIGITS = 50


def angles(q):
    x = (q * q - mp.mpf(1) / 4) / (q * q + mp.mpf(1) / 4)
    y = 4 * q / (4 * q * q + 1)
    return x, y, mp.atan2(y, x)


def closed_form(l, q, n):
    """(s_n, c_n) from the complex closed form; l and q are mpf."""
    x, y, theta = angles(q)
    h = -(2 * y) ** (-l) * mp.exp(-1j * (n + 1) * theta + mp.loggamma(n + 1)
                                  - mp.loggamma(n + l + 2))
    h *= mp.hyp2f1(n + 1, -l, n + l + 2, mp.exp(-2j * theta), maxterms=10**6)
    return h.imag, h.real


def sequences(l, k, dps):
    with mp.workdps(dps):
        l, q = mp.mpf(l), mp.mpf(k)
        x, y, _ = angles(q)
        s, c = [list(v) for v in zip(closed_form(l, q, 0), closed_form(l, q, 1))]
        s0 = 2 ** l * mp.gamma(l + 1) * y ** (l + 1) / mp.gamma(2 * l + 2)
        assert abs(s[0] - s0) < mp.mpf(10) ** (20 - dps) * s0, (l, k)
        assert abs(s[1] - s0 * x) < mp.mpf(10) ** (20 - dps) * abs(mp.mpc(c[1], s[1])), (l, k)
        for n in range(2, NMAX + 1):
            b = 2 * (n + l) * x
            for t in (s, c):
                t.append((b * t[n - 1] - (n - 1) * t[n - 2]) / (n + 2 * l + 1))
        return s, c


def check_wronskian(l, k, s, c):
    l, k = mp.mpf(l), mp.mpf(k)
    g1 = mp.gamma(2 * l + 3)
    j01 = g1 / 8 + k * k * g1 / 2
    w = j01 * (s[0] * c[1] - s[1] * c[0])
    assert abs(w - k / 2) < mp.mpf(10) ** -40 * k, (l, k, w)


def check_projections(l, k, s, c):
    """Trapezoidal rule in t, x = t^6 (smooth at the origin for l > -1/2) to x = 120, on two
    grids with Richardson's step."""
    def project(points):
        t = np.linspace(0.0, 120.0 ** (1 / 6), points)
        h = t[1] - t[0]
        xs = t ** 6
        jac = 6 * t ** 5
        xs[0] = 1e-300
        rho = k * xs
        amp = np.sqrt(np.pi * rho / 2)
        big_f = amp * special.jv(l + 0.5, rho)
        big_g = -amp * special.yv(l + 0.5, rho)
        chi = xs ** l * np.exp(-xs / 2)
        with np.errstate(invalid="ignore"):  # inf * 0 at the origin, replaced below
            gchi = big_g * chi
        gchi[0] = 0.0 if l < 0 else gchi[1]  # G chi -> 0 (l < 0) or a constant at the origin
        big_f[0] = big_g[0] = 0.0

        def cumulative(v):
            out = np.zeros_like(v)
            out[1:] = np.cumsum((v[1:] + v[:-1]) * h / 2)
            return out

        inner = cumulative(big_f * chi * jac)
        outer = cumulative(gchi * jac)
        regular = (big_f * (outer[-1] - outer) + big_g * inner) / inner[-1]
        out = []
        for n in (0, 1, 5):
            weight = (np.exp(special.gammaln(n + 1) - special.gammaln(n + 2 * l + 2)) * chi
                      * special.eval_genlaguerre(n, 2 * l + 1, xs) * jac)
            weight[0] = 0.0
            out.append([np.trapz(weight * f, dx=h) for f in (big_f, regular)])
        return np.array(out)

    fine, coarse = project(400001), project(200001)
    best = (4 * fine - coarse) / 3
    for row, n in zip(best, (0, 1, 5)):
        size = float(abs(mp.mpc(c[n], s[n])))
        assert abs(row[0] - float(s[n])) < 1e-11 * size, (l, k, n, "s", row[0], float(s[n]))
        assert abs(row[1] - float(c[n])) < 1e-11 * size, (l, k, n, "c", row[1], float(c[n]))


def main():
    mp.mp.dps = 40
    rows = []
    for l in ORDERS:
        for k in KS:
            lo = sequences(l, k, DIGITS + 30)
            hi = sequences(l, k, DIGITS + 60)
            for t_lo, t_hi in zip(lo, hi):
                for n in samples(NMAX):
                    assert abs(t_lo[n] - t_hi[n]) <= mp.mpf(10) ** -DIGITS * abs(t_hi[n])
            for n in (2, 37, 400):
                with mp.workdps(50):
                    sn, cn = closed_form(mp.mpf(l), mp.mpf(k), n)
                size = abs(mp.mpc(cn, sn))
                assert abs(sn - hi[0][n]) < 1e-40 * size and abs(cn - hi[1][n]) < 1e-40 * size
            check_wronskian(l, k, *hi)
            if (l, k) in ((-0.19, 1.4), (-0.45, 0.3), (0.913, 5.0), (2.6, 1.4)):
                check_projections(l, k, *hi)
            for n in samples(NMAX):
                rows.append(f"{l!r} {k!r} {n} {mp.nstr(hi[0][n], 25)} {mp.nstr(hi[1][n], 25)}")
    with open(__file__.replace("gen_coefficients_real_order.py", "coefficients_real_order.txt"),
              "w") as out:
        out.write("# l k n s_n c_n (laguerre basis of real order l, lambda = 1; "
                  "gen_coefficients_real_order.py)\n")
        out.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
