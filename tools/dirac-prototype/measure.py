#!/usr/bin/python3
"""delta_N, N = 1..NMAX, of today's scheme, the kappa' variant, and both with the outer lower rows
made consistent (tail), for the measured cases; saved to results/<case>.npz."""
import os
import sys, time
import numpy as np
from dirac_proto import dirac_deltas

NMAX = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
CASES = {
    # name: kappa, r V(r), end of the potential, e, Z at the origin
    "dy_m1": (-1, lambda x: -9.0 * np.exp(-x), 45.0, 1.0, 9.0),
    "dy_p1": (1, lambda x: -9.0 * np.exp(-x), 45.0, 1.0, 9.0),
    "dy_m2": (-2, lambda x: -9.0 * np.exp(-x), 45.0, 1.0, 9.0),
    "dc_m1": (-1, lambda x: -80.0 + 0.0 * x, 1.0, 10.0, 80.0),
}
METHODS = {
    "today": dict(variant=False),
    "variant": dict(variant=True),
    "today_tail": dict(variant=False, tail="null"),
    "variant_tail": dict(variant=True, tail="null"),
}

if __name__ == "__main__":
    for name in sys.argv[1].split(","):
        kappa, xv, xend, e, z = CASES[name]
        out = {}
        for m in (sys.argv[3].split(",") if len(sys.argv) > 3 else METHODS):
            t = time.time()
            out[m] = dirac_deltas(kappa, xv, xend, e, NMAX, zeff=z, **METHODS[m])
            print(name, m, f"{time.time() - t:.1f} s", flush=True)
        try:
            old = dict(np.load(f"results/{name}.npz"))
        except FileNotFoundError:
            old = {}
        old.update(out)
        os.makedirs("results", exist_ok=True)
        np.savez(f"results/{name}.npz", **old)
