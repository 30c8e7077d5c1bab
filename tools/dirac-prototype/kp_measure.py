#!/usr/bin/python3
"""kappa > 0 (Yukawa g = 3, m = 1, e = 1, lambda = 1): delta_N - delta for the outer lower rows
left at zero (today), continued by the minimal T-null (-1)^n / G(n) and by the alternating one
(-1)^n; against the Schroedinger scheme at l = kappa. Run: /usr/bin/python3 kp_measure.py NMAX KAPPAS"""
import sys
import numpy as np
from dirac_proto import dirac_deltas, schroedinger_deltas

sys.path.insert(0, "../../tests/data")
import gen_dirac_singular as gd

nmax = int(sys.argv[1])
kappas = [int(k) for k in (sys.argv[2].split(",") if len(sys.argv) > 2 else ["1"])]
yuk = lambda x: -9.0 * np.exp(-x)
W = [(a, b) for a, b in [(250, 500), (500, 1000), (1000, 2000)] if b <= nmax]
LAST = [n for n in (500, 1000, 1500, 2000) if n <= nmax]


def row(label, d, exact):
    err = (d - exact + np.pi / 2) % np.pi - np.pi / 2
    print(f"| {label} | " + " / ".join(f"{np.mean(err[a - 1:b]):+.2e}" for a, b in W) + " | "
          + " / ".join(f"{err[n - 1]:+.2e}" for n in LAST) + " |", flush=True)
    return err


for kappa in kappas:
    l = -kappa - 1 if kappa < 0 else kappa
    exact = gd.dirac_delta(kappa, "yukawa", 9.0, 1.0, 1.0)
    schr = gd.schroedinger_delta(l, "yukawa", 9.0, 1.0, 1.0)
    print(f"kappa = {kappa}: delta = {exact:.13f}, Schroedinger l = {l}: {schr:.13f}")
    es = row(f"Schroedinger l = {l} (prototype)", schroedinger_deltas(l, yuk, 45.0, 1.0, nmax), schr)
    for label, tail in [("today", False), ("outer rows, minimal", "minimal"),
                        ("outer rows, alternating", "alternating")]:
        e = row(f"kappa = {kappa}, {label}", dirac_deltas(kappa, yuk, 45.0, 1.0, nmax, False,
                                                          tail=tail), exact)
        dd = e - es  # the N-dependent error common to both schemes cancels
        print(f"|   minus Schroedinger's error | " + " / ".join(
            f"{np.mean(dd[a - 1:b]):+.2e}" for a, b in W) + " | spread (std over N >= 250) "
            f"{np.std(dd[249:]):.1e} |", flush=True)
