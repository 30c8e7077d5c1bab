#!/usr/bin/python3
"""Reference phase shifts of the square well and the spherical shell, V = v0 for a < r < b.

Independent of the program's closed forms: the radial solutions are built from mpmath's
cylindrical Bessel functions of half-integral order, their derivatives are taken numerically
(mpmath.diff), and the solutions are matched region by region with a linear solve.

Schroedinger: u(r) = r j_l(pr) and r y_l(pr), matched in value and derivative.
Dirac (mass 1, speed of light c, total energy e + c^2): the large component P solves the same
Riccati-Bessel equation, the small one follows from the first radial equation,
    Q = c / (e - V + 2 c^2) * (P' + kappa P / r),
and both components are continuous. The second radial equation
    Q' - kappa Q / r = -(e - V) / c * P
is checked on every solution used.
Outside, the solution is alpha * regular + beta * irregular with tan(delta) = -beta / alpha
(r j_l -> sin(kr - l pi/2) / k, r y_l -> -cos(kr - l pi/2) / k).

Output: analytic_reference.txt, one case a line:
  scheme(0 = non-relativistic, 1 = relativistic) l kappa c e v0 a b delta
"""
import mpmath as mp

mp.mp.dps = 40


def sph(kind, l, x):
    f = mp.besselj if kind == "j" else mp.bessely
    return mp.sqrt(mp.pi / (2 * x)) * f(l + mp.mpf(1) / 2, x)


def radial_pair(l, p):
    """r j_l(pr) and r y_l(pr) as functions of r."""
    return (lambda r: r * sph("j", l, p * r)), (lambda r: r * sph("y", l, p * r))


def schroedinger_delta(l, e, v0, a, b):
    k = mp.sqrt(2 * e)
    q = mp.sqrt(2 * (e - v0))
    inner = radial_pair(l, k)[0]
    shell = radial_pair(l, q)
    outer = radial_pair(l, k)

    def match(funcs, target, r):
        m = mp.matrix([[f(r) for f in funcs], [mp.diff(f, r) for f in funcs]])
        return mp.lu_solve(m, mp.matrix([target(r), mp.diff(target, r)]))

    if a == 0:
        u = shell[0]
    else:
        A, B = match(shell, inner, a)
        u = lambda r: A * shell[0](r) + B * shell[1](r)
    alpha, beta = match(outer, u, b)
    return mp.atan(-beta / alpha)


def dirac_pair(l, kappa, c, e, v):
    """(P, Q) of the regular and irregular free solutions in a region of constant v."""
    eps = e - v
    p = mp.sqrt(eps * (eps + 2 * c * c)) / c
    out = []
    for big in radial_pair(l, p):
        small = (lambda big: lambda r: c / (eps + 2 * c * c)
                 * (mp.diff(big, r) + kappa * big(r) / r))(big)
        out.append((big, small))
    return out


def check_dirac(sol, kappa, c, e, v, r):
    big, small = sol
    residual = mp.diff(small, r) - kappa * small(r) / r + (e - v) / c * big(r)
    assert abs(residual) < mp.mpf(10) ** -25 * (abs(big(r)) + abs(small(r))), residual


def dirac_delta(kappa, c, e, v0, a, b):
    l = kappa if kappa > 0 else -kappa - 1
    inner = dirac_pair(l, kappa, c, e, 0)[0]
    shell = dirac_pair(l, kappa, c, e, v0)
    outer = dirac_pair(l, kappa, c, e, 0)
    for sol in shell:
        check_dirac(sol, kappa, c, e, v0, (a + b) / 2)
    check_dirac(inner, kappa, c, e, 0, a)

    def match(pair, target, r):
        m = mp.matrix([[s[0](r) for s in pair], [s[1](r) for s in pair]])
        return mp.lu_solve(m, mp.matrix([target[0](r), target[1](r)]))

    A, B = match(shell, inner, a)
    mid = (lambda r: A * shell[0][0](r) + B * shell[1][0](r),
           lambda r: A * shell[0][1](r) + B * shell[1][1](r))
    alpha, beta = match(outer, mid, b)
    return mp.atan(-beta / alpha)


C_FINITE = mp.mpf("137.0359996287515")
C_INFINITE = mp.mpf(5000)

# (l, e, v0, a, b)
SCHROEDINGER = [
    (0, 1, -1, 0, 1), (0, 1, -1, 0.5, 1), (1, 1, -1, 0.5, 1), (1, 1, -1, 0, 1),
    (2, 1, -1, 0, 1), (3, 2.5, -4, 0, 1.5), (4, 20, -10, 0, 2), (2, 0.3, -2, 0.2, 1.7),
    (0, 3, 2, 0, 1), (1, 3, 2, 0.4, 1.2), (0, 0.05, -0.5, 1, 3), (5, 8, -3, 1, 2.5),
]
# (kappa, c, e, v0, a, b)
DIRAC = [
    (-1, C_FINITE, 1, -1, 0.5, 1), (-1, C_INFINITE, 1, -1, 0.5, 1),
    (1, C_INFINITE, 1, -1, 0.5, 1), (-2, C_INFINITE, 1, -1, 0.5, 1),
    (1, C_FINITE, 1, -1, 0.5, 1), (2, C_FINITE, 4, -3, 0.3, 1.4),
    (-3, C_FINITE, 10, -5, 0.6, 1.1), (-1, C_FINITE, 5000, -20000, 0.1, 0.3),
    (3, C_FINITE, 2, 1.5, 0.5, 2.0),
]


def fmt(x):
    return mp.nstr(mp.mpf(x), 20, min_fixed=-5, max_fixed=5)


def main():
    lines = ["# Phase shifts of the square well / spherical shell by independent matching "
             "(mpmath, 40 digits, gen_analytic.py)",
             "# scheme(0 Schroedinger, 1 Dirac) l kappa c e v0 a b delta"]
    for l, e, v0, a, b in SCHROEDINGER:
        e, v0, a, b = (mp.mpf(str(t)) for t in (e, v0, a, b))
        d = schroedinger_delta(l, e, v0, a, b)
        lines.append(" ".join(["0", str(l), "0", "0"] + [fmt(t) for t in (e, v0, a, b, d)]))
    for kappa, c, e, v0, a, b in DIRAC:
        e, v0, a, b = (mp.mpf(str(t)) for t in (e, v0, a, b))
        l = kappa if kappa > 0 else -kappa - 1
        d = dirac_delta(kappa, c, e, v0, a, b)
        lines.append(" ".join(["1", str(l), str(kappa), mp.nstr(c, 17)]
                              + [fmt(t) for t in (e, v0, a, b, d)]))
    with open(__file__.rsplit("/", 1)[0] + "/analytic_reference.txt", "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
