#!/usr/bin/python3
"""kappa > 0 beyond the table: (a) the excess D_N = [delta_N(c) - delta_N(5000)] - [delta(c) -
delta(5000)] at lambda = 16 (means over the 50 sizes up to N); (b) Coulomb z = 80 cut at 1, e = 10,
kappa = +1, against the Schroedinger scheme at l = 1. Run: /usr/bin/python3 kp_extra.py a|b"""
import sys
import numpy as np
from dirac_proto import dirac_deltas, schroedinger_deltas

sys.path.insert(0, "../../tests/data")
import gen_dirac_singular as gd

yuk = lambda x: -9.0 * np.exp(-x)
if "a" in sys.argv[1]:
    for kappa in (1, 2):
        exact = gd.dirac_delta(kappa, "yukawa", 9.0, 1.0, 1.0) - \
            gd.dirac_delta(kappa, "yukawa", 9.0, 1.0, 1.0, c=5000.0)
        for label, tail in [("today", False), ("minimal", "minimal"), ("alternating", "alternating")]:
            free = dirac_deltas(kappa, yuk, 40.0, 1.0, 400, False, c=5000.0, lam=16.0, tail=tail)
            d = dirac_deltas(kappa, yuk, 40.0, 1.0, 400, False, lam=16.0, tail=tail)
            D = d - free - exact
            print(f"lambda = 16, kappa = {kappa:+d}, {label:12s} excess at N = 100 / 200 / 400:",
                  " / ".join(f"{np.mean(D[n - 50:n]):+.2e}" for n in (100, 200, 400)), flush=True)
if "b" in sys.argv[1]:
    nmax = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    W = [(a, b) for a, b in [(250, 500), (500, 1000), (1000, 2000)] if b <= nmax]
    cut = lambda x: -80.0 + 0.0 * x
    exact = gd.dirac_delta(1, "coulomb", 80.0, 1.0, 10.0)
    schr = gd.schroedinger_delta(1, "coulomb", 80.0, 1.0, 10.0)
    print(f"z = 80, kappa = +1: delta = {exact:.13f}, Schroedinger l = 1: {schr:.13f}")

    def row(label, d, ex):
        err = (d - ex + np.pi / 2) % np.pi - np.pi / 2
        print(f"| {label} | " + " / ".join(f"{np.mean(err[a - 1:b]):+.2e}" for a, b in W) + " |",
              flush=True)

    row("Schroedinger l = 1", schroedinger_deltas(1, cut, 1.0, 10.0, nmax), schr)
    for label, variant, tail in [("today", False, False), ("alternating", False, "alternating"),
                                 ("kappa'", True, False),
                                 ("kappa' + alternating", True, "alternating")]:
        row(f"z = 80 kappa = +1, {label}",
            dirac_deltas(1, cut, 1.0, 10.0, nmax, variant, zeff=80.0, tail=tail), exact)
