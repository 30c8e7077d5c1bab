#!/usr/bin/python3
"""The experiments that located the defect (outputs quoted in README.md). The excess is
D_N = [delta_N(c) - delta_N(c = 5000)] - [delta(c) - delta(5000)], window means over 50 N, for
the Yukawa potential -9 e^-r / r, e = 1: the N-dependent error common to both speeds cancels.
Run: /usr/bin/python3 experiments.py [kappa] [lambda] [nmax]"""
import sys
import numpy as np

sys.path.insert(0, "../../tests/data")
import gen_dirac_singular as gd
from dirac_proto import dirac_deltas

kappa = int(sys.argv[1]) if len(sys.argv) > 1 else -1
lam = float(sys.argv[2]) if len(sys.argv) > 2 else 1.0
nmax = int(sys.argv[3]) if len(sys.argv) > 3 else 400
yukawa = lambda r: -9.0 * np.exp(-r)
exact = gd.dirac_delta(kappa, "yukawa", 9.0, 1.0, 1.0) - \
    gd.dirac_delta(kappa, "yukawa", 9.0, 1.0, 1.0, c=5000.0)
xend = 45.0 if lam == 1.0 else 40.0
ends = [n for n in (100, 200, 400, 800, 1600) if n <= nmax]
print(f"kappa = {kappa}, lambda = {lam}: exact shift {exact:.4e}; excess at N = {ends}")
for label, opts in [
    ("today (kinetic balance)", dict(variant=False)),
    ("kappa' variant", dict(variant=True)),
    ("exact balance", dict(variant=False, balance="exact")),
    ("kappa' variant + exact balance", dict(variant=True, balance="exact")),
    ("outer lower rows", dict(variant=False, tail="null")),
    ("kappa' variant + outer lower rows", dict(variant=True, tail="null")),
]:
    free = dirac_deltas(kappa, yukawa, xend, 1.0, nmax, False, c=5000.0, lam=lam,
                        tail=opts.get("tail", False))
    d = dirac_deltas(kappa, yukawa, xend, 1.0, nmax, zeff=9.0, lam=lam, **opts)
    D = d - free - exact
    print(f"  {label:36s}", " ".join(f"{np.mean(D[n - 50:n]):+.2e}" for n in ends), flush=True)
