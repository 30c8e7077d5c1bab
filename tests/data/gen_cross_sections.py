#!/usr/bin/python3
"""Reference cross sections of the square well and the spherical shell, V = v0 for a < r < b.

The phase shifts come from the independent matching of gen_analytic.py (mpmath, 40 digits);
the sums are formed here with mpmath, l = 0 ... 10 (the omitted waves are below 1e-13):
  Schroedinger: sigma = 4 pi / k^2 sum (2l+1) sin^2 delta_l,
                sigma_tr = 4 pi / k^2 sum (l+1) sin^2(delta_(l+1) - delta_l);
  Dirac: sigma = 4 pi / k^2 sum |kappa| sin^2 delta_kappa, and sigma_tr by quadrature of
         (1 - cos theta)(|f|^2 + |g|^2) over the sphere (a polynomial of degree 2L + 3 in
         cos theta, so a 16-point Gauss-Legendre rule is exact), with
         f = 1/(2ik) sum [(l+1)(exp(2i delta_-l) - 1) + l (exp(2i delta_+l) - 1)] P_l,
         g = 1/(2ik) sum [exp(2i delta_+l) - exp(2i delta_-l)] P_l^1
         (delta_-l: kappa = -l-1, delta_+l: kappa = l), so that it does not rest on the
         program's closed form.
k = sqrt(2e) (Schroedinger) or sqrt(e (e + 2c^2)) / c (Dirac).

Output: cross_sections_reference.txt, one line per case and energy:
  scheme(0 = Schroedinger, 1 = Dirac) e v0 a b sigma sigma_tr
"""
import mpmath as mp

from gen_analytic import C_FINITE, dirac_delta, schroedinger_delta

mp.mp.dps = 30
L = 10

# (scheme, v0, a, b), energies
CASES = [(0, -1, 0, 1), (0, -1, 0.5, 1), (1, -1, 0.5, 1)]
ENERGIES = [0.5, 1.0, 1.5]


def gauss_legendre(n):
    """Nodes and weights on [-1, 1]: roots of P_n by Newton's method from Chebyshev guesses."""
    nodes, weights = [], []
    for i in range(1, n + 1):
        x = mp.cos(mp.pi * (i - mp.mpf(1) / 4) / (n + mp.mpf(1) / 2))
        for _ in range(100):
            p0, p1 = mp.mpf(1), x
            for l in range(1, n):
                p0, p1 = p1, ((2 * l + 1) * x * p1 - l * p0) / (l + 1)
            dp = n * (x * p1 - p0) / (x * x - 1)
            step = p1 / dp
            x -= step
            if abs(step) < mp.mpf(10) ** (-mp.mp.dps + 2):
                break
        nodes.append(x)
        weights.append(2 / ((1 - x * x) * dp * dp))
    return nodes, weights


def sums(scheme, e, v0, a, b):
    if scheme == 0:
        k = mp.sqrt(2 * e)
        d = [schroedinger_delta(l, e, v0, a, b) for l in range(L + 1)] + [mp.mpf(0)]
        sigma = 4 * mp.pi / k**2 * sum((2 * l + 1) * mp.sin(d[l]) ** 2 for l in range(L + 1))
        tr = 4 * mp.pi / k**2 * sum((l + 1) * mp.sin(d[l + 1] - d[l]) ** 2 for l in range(L + 1))
        return sigma, tr
    c = C_FINITE
    k = mp.sqrt(e * (e + 2 * c * c)) / c
    minus = [dirac_delta(-l - 1, c, e, v0, a, b) for l in range(L + 1)]
    plus = [mp.mpf(0)] + [dirac_delta(l, c, e, v0, a, b) for l in range(1, L + 1)]
    sigma = 4 * mp.pi / k**2 * sum((l + 1) * mp.sin(minus[l]) ** 2 + l * mp.sin(plus[l]) ** 2
                                   for l in range(L + 1))
    s = lambda d: mp.expj(2 * d) - 1

    def dcs(x):
        # P_l and P_l^1 = sqrt(1 - x^2) P_l' by their three-term recurrences.
        p, p1 = [mp.mpf(1), x], [mp.mpf(0), mp.sqrt(1 - x * x)]
        for l in range(1, L):
            p.append(((2 * l + 1) * x * p[l] - l * p[l - 1]) / (l + 1))
            p1.append(((2 * l + 1) * x * p1[l] - (l + 1) * p1[l - 1]) / l)
        f = sum(((l + 1) * s(minus[l]) + l * s(plus[l])) * p[l] for l in range(L + 1))
        g = sum((s(plus[l]) - s(minus[l])) * p1[l] for l in range(1, L + 1))
        return (abs(f) ** 2 + abs(g) ** 2) / (4 * k * k)

    nodes, weights = gauss_legendre(16)
    tr = 2 * mp.pi * sum(w * (1 - x) * dcs(x) for x, w in zip(nodes, weights))
    return sigma, tr


def main():
    lines = ["# Cross sections of the square well / spherical shell from exact phase shifts "
             "(mpmath, gen_cross_sections.py)",
             "# scheme(0 Schroedinger, 1 Dirac with c = 137.0359996287515) e v0 a b sigma sigma_tr"]
    for scheme, v0, a, b in CASES:
        for e in ENERGIES:
            args = [mp.mpf(str(t)) for t in (e, v0, a, b)]
            sigma, tr = sums(scheme, *args)
            lines.append(" ".join([str(scheme)] + [str(t) for t in (e, v0, a, b)]
                                  + [mp.nstr(sigma, 20), mp.nstr(tr, 20)]))
    with open(__file__.rsplit("/", 1)[0] + "/cross_sections_reference.txt", "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
