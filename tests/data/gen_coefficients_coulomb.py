#!/usr/bin/python3
"""Reference coefficients s_n, c_n of the Coulomb reference problem in the Laguerre basis
(lambda = 1, q = k), n <= 5000 sampled, at 60 correct digits.

With x = (q^2 - 1/4)/(q^2 + 1/4) = cos(theta), y = sin(theta), eta the Sommerfeld parameter and
sigma_l = arg Gamma(l + 1 + i eta), the closed form for every n is
  c_n + i s_n = -(2y)^(-l) e^(eta (theta - pi/2)) e^(i(sigma_l - (n+1) theta))
                * n!/Gamma(n + l + 2 + i eta) * 2F1(n + 1, -l + i eta; n + l + 2 + i eta; e^(-2 i theta)).
It is evaluated with mpmath's hyp2f1 at n = 0, 1 and continued by the Coulomb relation
  (n-1) t(n-2) - 2((n + l) x - eta y) t(n-1) + (n + 2l + 1) t(n) = 0
at two working precisions that must agree to 60 digits; at a few n it is also compared with the
closed form evaluated there. The closed form's meaning is checked by projections: s_n equals
n!/(n + 2l + 1)! int_0^inf x^l e^(-x/2) L_n^(2l+1)(x) F_l(eta, q x) dx (quadrature), and c_n the
same projection of the regularised irregular function
  C(x) = [F(x) int_x^inf G chi + G(x) int_0^x F chi] / int_0^inf F chi,  chi = x^l e^(-x/2),
which solves the Coulomb equation with a source in chi and tends to G_l(eta, q x).

Output: coefficients_coulomb.txt: eta l k n s_n c_n
"""
import mpmath as mp

NMAX = 5000
ETAS = (-2.0, -0.5, 0.5, 2.0)
LS = (0, 1, 5)
KS = (0.3, 1.0, 3.0)
DIGITS = 60


def angles(q):
    x = (q * q - mp.mpf(1) / 4) / (q * q + mp.mpf(1) / 4)
    y = 4 * q / (4 * q * q + 1)
    return x, y, mp.atan2(y, x)


def closed_form(eta, l, q, n):
    """(s_n, c_n) from the complex closed form."""
    eta, q = mp.mpf(eta), mp.mpf(q)
    x, y, theta = angles(q)
    lg = mp.loggamma(l + 1 + 1j * eta)
    r = -(2 * y) ** (-l) * mp.exp(eta * (theta - mp.pi / 2))
    h = r * mp.exp(1j * (lg.imag - (n + 1) * theta) + mp.loggamma(n + 1)
                   - mp.loggamma(n + l + 2 + 1j * eta))
    h *= mp.hyp2f1(n + 1, -l + 1j * eta, n + l + 2 + 1j * eta, mp.exp(-2j * theta),
                   maxterms=10**6)
    return h.imag, h.real


def sequences(eta, l, q, dps):
    with mp.workdps(dps):
        eta, q = mp.mpf(eta), mp.mpf(q)
        x, y, _ = angles(q)
        s, c = [list(v) for v in zip(closed_form(eta, l, q, 0), closed_form(eta, l, q, 1))]
        for n in range(2, NMAX + 1):
            b = 2 * ((n + l) * x - eta * y)
            for t in (s, c):
                t.append((b * t[n - 1] - (n - 1) * t[n - 2]) / (n + 2 * l + 1))
        return s, c


def check_projections(eta, l, k, s, c):
    """Projections by Simpson's rule on a grid of step 1/25 to x = 100: some 1e-6, limited by
    the x ln x term of G_0 at the origin."""
    with mp.workdps(15):
        q, h, m = mp.mpf(k), mp.mpf(1) / 25, 2500
        xs = [h * i for i in range(m + 1)]
        big_f = [mp.coulombf(l, eta, q * x) if x else mp.mpf(0) for x in xs]
        big_g = [mp.coulombg(l, eta, q * x) if x else mp.mpf(0) for x in xs]
        chi = [x ** l * mp.exp(-x / 2) for x in xs]

        def cumulative(values):  # int_0^x_i at even i, Simpson on pairs of steps
            out = [mp.mpf(0)] * (m + 1)
            for i in range(2, m + 1, 2):
                out[i] = out[i - 2] + h / 3 * (values[i - 2] + 4 * values[i - 1] + values[i])
            return out

        inner = cumulative([f * w for f, w in zip(big_f, chi)])
        # G chi at x = 0: G_l ~ x^-l/((2l+1) C_l(eta)), so G chi -> 1/((2l+1) C_l(eta)).
        c_l = 2 ** l * mp.exp(-mp.pi * eta / 2) * abs(mp.gamma(l + 1 + 1j * eta)) / mp.factorial(2 * l + 1)
        gchi = [g * w for g, w in zip(big_g, chi)]
        gchi[0] = 1 / ((2 * l + 1) * c_l)
        to_inf = cumulative(gchi)
        norm = inner[m]
        regular = [(big_f[i] * (to_inf[m] - to_inf[i]) + big_g[i] * inner[i]) / norm
                   for i in range(0, m + 1, 2)]
        for n in (0, 1):
            laguerre = (lambda x: 1) if n == 0 else (lambda x: 2 * l + 2 - x)  # L_n^(2l+1)
            weight = [mp.factorial(n) / mp.factorial(n + 2 * l + 1) * x ** l * mp.exp(-x / 2)
                      * laguerre(x) for x in xs[::2]]
            for t, f, ref in ((s, big_f[::2], "s"), (c, regular, "c")):
                vals = [w * v for w, v in zip(weight, f)]
                vals[0] = mp.mpf(0)  # F(0) = C(0) = 0
                two_h = 2 * h
                total = sum(two_h / 3 * (vals[i - 2] + 4 * vals[i - 1] + vals[i])
                            for i in range(2, len(vals), 2))
                size = abs(mp.mpc(c[n], s[n]))
                assert abs(total - t[n]) < 2e-5 * size, (eta, l, k, n, ref, total, t[n])


def samples(nmax=NMAX):
    """The indices the table keeps: the first few, the last two and eight a decade between."""
    n = {0, 1, 2, 3, 4, 5, nmax - 1, nmax}
    n |= {int(round(10 ** (j / 8))) for j in range(0, 30) if 10 ** (j / 8) <= nmax}
    return sorted(n)


def main():
    mp.mp.dps = 40
    rows = []
    for eta in ETAS:
        for l in LS:
            for k in KS:
                lo = sequences(eta, l, k, DIGITS + 30)
                hi = sequences(eta, l, k, DIGITS + 60)
                for t_lo, t_hi in zip(lo, hi):
                    for n in samples():
                        assert abs(t_lo[n] - t_hi[n]) <= mp.mpf(10) ** -DIGITS * abs(t_hi[n])
                for n in (2, 37, 400):
                    with mp.workdps(50):
                        sn, cn = closed_form(eta, l, k, n)
                    size = abs(mp.mpc(cn, sn))
                    assert abs(sn - hi[0][n]) < 1e-40 * size and abs(cn - hi[1][n]) < 1e-40 * size
                if (eta, l, k) in ((0.5, 1, 1.0), (-2.0, 0, 1.0)):
                    check_projections(eta, l, k, hi[0], hi[1])
                for n in samples():
                    rows.append(f"{eta!r} {l} {k!r} {n} {mp.nstr(hi[0][n], 25)} "
                                f"{mp.nstr(hi[1][n], 25)}")
    with open(__file__.replace("gen_coefficients_coulomb.py", "coefficients_coulomb.txt"),
              "w") as out:
        out.write("# eta l k n s_n c_n (lambda = 1; gen_coefficients_coulomb.py)\n")
        out.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
