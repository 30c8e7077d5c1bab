#!/usr/bin/python3
"""The error of the program's delta_N against the independent integrations, fast route, through
the Python module (build it first; run with PYTHONPATH=build/python from the repository root):
  table 1: mean error over N = 250-500, 500-1000, 1000-2000 and the error at N = 2000, lambda = 1;
  table 2: RMS error over N = 1000-2000 of the cut Coulomb potential, e = 10, lambda = 2, kappa = -1,
           against Z, with the Schroedinger RMS error beside it.
"""
import os
import sys

import numpy as np
import skarven as sk

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tests/data"))
import gen_dirac_singular as g  # noqa: E402

WINDOWS = [(250, 500), (500, 1000), (1000, 2000)]


def errors(problem, e, exact, first=250, last=2000):
    scan = sk.phase_shift_scan(problem, e=e, n1=first, n2=last, route="fast")
    n = np.array(scan.n)
    return n, (np.array(scan.delta) - exact + np.pi / 2) % np.pi - np.pi / 2


def table_1():
    yukawa, cut = sk.yukawa(g=3.0, m=1.0), sk.coulomb(z=80.0, alpha=1.0, r0=1.0)
    rows = [("Yukawa Dirac kappa = -1", yukawa, 0, -1, 1.0, 9.0, "yukawa"),
            ("Yukawa Schroedinger l = 0", yukawa, 0, None, 1.0, 9.0, "yukawa"),
            ("Yukawa Dirac kappa = -2", yukawa, 1, -2, 1.0, 9.0, "yukawa"),
            ("Yukawa Dirac kappa = +1", yukawa, 1, 1, 1.0, 9.0, "yukawa"),
            ("Yukawa Schroedinger l = 1", yukawa, 1, None, 1.0, 9.0, "yukawa"),
            ("Z = 80 Dirac kappa = -1", cut, 0, -1, 10.0, 80.0, "coulomb"),
            ("Z = 80 Schroedinger l = 0", cut, 0, None, 10.0, 80.0, "coulomb"),
            ("Z = 80 Dirac kappa = +1", cut, 1, 1, 10.0, 80.0, "coulomb"),
            ("Z = 80 Schroedinger l = 1", cut, 1, None, 10.0, 80.0, "coulomb")]
    for name, potential, l, kappa, e, strength, kind in rows:
        dirac = kappa is not None
        exact = (g.dirac_delta(kappa, kind, strength, 1.0, e) if dirac
                 else g.schroedinger_delta(l, kind, strength, 1.0, e))
        problem = sk.Problem(potential=potential, l=l, kappa=kappa, lam=1.0, dirac=dirac)
        n, err = errors(problem, e, exact)
        means = [np.mean(err[(n >= a) & (n <= b)]) for a, b in WINDOWS]
        print(f"| {name} | " + " | ".join(f"{m:+.2e}" for m in means) + f" | {err[-1]:+.2e} |")


def table_2():
    for z in (10.0, 20.0, 40.0, 60.0, 80.0):
        cut = sk.coulomb(z=z, alpha=1.0, r0=1.0)
        out = []
        for kappa in (-1, None):
            dirac = kappa is not None
            exact = (g.dirac_delta(-1, "coulomb", z, 1.0, 10.0) if dirac
                     else g.schroedinger_delta(0, "coulomb", z, 1.0, 10.0))
            problem = sk.Problem(potential=cut, l=0, kappa=kappa, lam=2.0, dirac=dirac)
            n, err = errors(problem, 10.0, exact, 1000, 2000)
            out.append(np.sqrt(np.mean(err ** 2)))
        print(f"Z = {z:.0f}: Dirac {out[0]:.2e}  Schroedinger {out[1]:.2e}")


if __name__ == "__main__":
    table_1()
    table_2()
