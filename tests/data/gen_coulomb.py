#!/usr/bin/env python3
"""Reference values for the Coulomb wave functions, from mpmath at 40 significant digits.

Files written beside this script:
  coulomb_functions.txt  eta, rho, l, F_l, F_l', G_l, G_l' (derivatives in rho) on a grid
                         eta = -5..5, rho = 0.1..100, l = 0..20, and at both sides of the hand-over
                         from Steed's continued fractions to the inward series (rho = 2 eta)
  coulomb_phase.txt      l, eta, sigma_l = Im ln Gamma(l + 1 + i eta)

The derivatives come from the l recurrence u_l' = S_(l+1) u_l - R_(l+1) u_(l+1) with
S_m = m/rho + eta/m, R_m = sqrt(1 + eta^2/m^2), in the same 40 digits.

Run from the repository root:  /usr/bin/python3 tests/data/gen_coulomb.py
"""
from pathlib import Path

import mpmath
from mpmath import mpf

mpmath.mp.dps = 40
HERE = Path(__file__).resolve().parent


def num(value, digits=17):
    return mpmath.nstr(value, digits, min_fixed=1, max_fixed=0)


def functions(eta, rho, l):
    e, r = mpf(eta), mpf(rho)
    s = (l + 1) / r + e / (l + 1)
    big_r = mpmath.sqrt(1 + (e / (l + 1)) ** 2)
    f, f1 = mpmath.coulombf(l, e, r), mpmath.coulombf(l + 1, e, r)
    g, g1 = mpmath.coulombg(l, e, r), mpmath.coulombg(l + 1, e, r)
    return f, s * f - big_r * f1, g, s * g - big_r * g1


def main():
    etas = [-5.0, -2.0, -0.5, 0.0, 0.5, 2.0, 5.0]
    rhos = [0.1, 0.3, 1.0, 3.0, 10.0, 30.0, 100.0]
    ls = [0, 1, 2, 5, 10, 20]
    points = [(eta, rho, l) for eta in etas for rho in rhos for l in ls]
    # Both sides of the hand-over at rho = 2 eta, and the point itself.
    for eta in [0.5, 2.0, 5.0]:
        for rho in [2 * eta * (1 - 1e-9), 2 * eta, 2 * eta * (1 + 1e-9)]:
            points += [(eta, rho, l) for l in [0, 1, 5]]
    with open(HERE / "coulomb_functions.txt", "w") as out:
        out.write("# eta rho l F F' G G' (mpmath, 40 digits, gen_coulomb.py)\n")
        for eta, rho, l in points:
            values = functions(eta, rho, l)
            out.write(" ".join([repr(eta), repr(rho), str(l)] + [num(v) for v in values]) + "\n")
    with open(HERE / "coulomb_phase.txt", "w") as out:
        out.write("# l eta sigma_l = Im ln Gamma(l + 1 + i eta) (mpmath, gen_coulomb.py)\n")
        for l in [0, 1, 2, 5, 20]:
            for eta in [-1000.0, -37.5, -5.0, -2.0, -0.5, -1e-3, 0.0, 1e-3, 0.5, 2.0, 5.0, 37.5,
                        1000.0]:
                sigma = mpmath.loggamma(mpmath.mpc(l + 1, eta)).imag
                out.write(f"{l} {eta!r} {num(sigma)}\n")


if __name__ == "__main__":
    main()
