#!/usr/bin/env python3
"""Reference values for the special-functions tests, from mpmath at 40 significant digits.

Files written beside this script:
  gamma_ref.txt      x and Gamma(x) on a grid through every branch of the gamma routine
  lgamma_ref.txt     x and ln Gamma(x) on a grid through every branch of the log-gamma routine
  bessel_half.txt    l, x, J_{l+1/2}(x), Y_{l+1/2}(x), j_l'(x), n_l'(x) for l = 0..60
  bessel_general.txt nu, x, J_nu(x), Y_nu(x) for other real orders, negative ones included

Arguments are written with repr() and converted exactly to mpmath numbers, so the references
belong to the very doubles the tests read. Values outside the double range are written in
mpmath's notation (e.g. 1.5e-400); strtod turns them into 0 or inf and the tests treat them so.

Run from the repository root:  /usr/bin/python3 tests/data/gen_special.py
"""
from pathlib import Path

import mpmath
from mpmath import mpf

mpmath.mp.dps = 40
HERE = Path(__file__).resolve().parent


def num(value, digits=17):
    return mpmath.nstr(value, digits, min_fixed=1, max_fixed=0)


def write(name, header, rows):
    with open(HERE / name, "w") as out:
        out.write("# " + header + "\n# mpmath " + mpmath.__version__ + ", tests/data/gen_special.py\n")
        for row in rows:
            out.write(" ".join(row) + "\n")


GAMMA_X = [
    # below EPS = 2.22e-14: 1/x
    1e-300, 1e-20, 1e-15, 2e-14,
    # (0, 1): shifted to (1, 2)
    3e-14, 1e-10, 1e-3, 0.1, 0.3, 0.5, 0.77, 0.999,
    # [1, 2)
    1.0, 1.25, 1.5, 1.999,
    # [2, 12): recurrence upward
    2.0, 2.5, 3.0, 5.7, 9.99, 11.99,
    # [12, 171]: asymptotic series
    12.0, 15.3, 30.5, 50.0, 100.1, 150.7, 170.0, 170.9, 171.0,
    # negative arguments through the reflection
    -1e-300, -1e-10, -0.5, -0.999, -1.5, -2.3, -5.5, -10.7, -20.25, -100.5, -150.3, -169.5,
]

LGAMMA_X = [
    1e-300, 1e-20, 2.2e-16,                          # -ln x
    1e-10, 0.1, 0.5,                                 # (eps, 0.5]: P1/Q1 with -ln x
    0.6, 0.67,                                       # (0.5, 0.6796875): P2/Q2 with -ln x
    0.6796875, 0.68, 0.9, 0.99, 1.0, 1.01, 1.2, 1.5,  # [0.6796875, 1.5]: P1/Q1
    1.75, 1.99, 2.0, 2.01, 3.0, 3.99, 4.0,            # (1.5, 4]: P2/Q2
    4.5, 5.5, 8.0, 11.99, 12.0,                      # (4, 12]: P4/Q4
    12.01, 20.0, 100.0, 1e5, 1e20, 1e76, 2.2e76,     # asymptotic series
    3e76, 1e200, 2.55e305,                           # series dropped above 2.25e76
]


def gamma_tables():
    write("gamma_ref.txt", "x  Gamma(x)",
          [[repr(x), num(mpmath.gamma(mpf(x)))] for x in GAMMA_X])
    write("lgamma_ref.txt", "x  ln Gamma(x)",
          [[repr(x), num(mpmath.loggamma(mpf(x)))] for x in LGAMMA_X])


# Arguments through every branch of the J routine: the two-term series below 1e-4, the backward
# recurrence, and the asymptotic form above 25 with 11 (x < 35), 8 (x < 130) and 4 terms.
BESSEL_X = [1e-5, 5e-5, 1e-3, 0.1, 1.0, 3.7, 12.0, 24.9, 25.5, 30.2, 34.9, 35.1, 60.7, 129.9,
            130.1, 333.3, 1000.0]


def spherical(l, x, kind):
    if kind == "j":
        return mpmath.sqrt(mpmath.pi / (2 * x)) * mpmath.besselj(l + mpf(1) / 2, x)
    return mpmath.sqrt(mpmath.pi / (2 * x)) * mpmath.bessely(l + mpf(1) / 2, x)


def bessel_tables():
    rows = []
    for l in range(61):
        for x in BESSEL_X:
            xm = mpf(x)
            nu = l + mpf(1) / 2
            dj = (l * spherical(l - 1, xm, "j") - (l + 1) * spherical(l + 1, xm, "j")) / (2 * l + 1)
            dn = (l * spherical(l - 1, xm, "y") - (l + 1) * spherical(l + 1, xm, "y")) / (2 * l + 1)
            rows.append([str(l), repr(x), num(mpmath.besselj(nu, xm)), num(mpmath.bessely(nu, xm)),
                         num(dj), num(dn)])
    write("bessel_half.txt", "l  x  J_{l+1/2}(x)  Y_{l+1/2}(x)  j_l'(x)  n_l'(x)", rows)

    rows = []
    orders = [0.0, 0.25, 0.7, 1.3, 3.9, 10.1, 33.3, -0.3, -2.6, -1.0, -3.0, -7.0]
    for nu in orders:
        for x in [5e-5, 0.5, 2.9, 3.1, 10.0, 15.9, 16.1, 40.0, 200.0]:
            xm, num_ = mpf(x), mpf(nu)
            rows.append([repr(nu), repr(x), num(mpmath.besselj(num_, xm)),
                         num(mpmath.bessely(num_, xm))])
    write("bessel_general.txt", "nu  x  J_nu(x)  Y_nu(x)", rows)


if __name__ == "__main__":
    gamma_tables()
    bessel_tables()
