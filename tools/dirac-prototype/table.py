#!/usr/bin/python3
"""The error table: window means and last values of delta_N - delta for today's scheme (the
program's own delta_N, and the prototype's agreement with it), the kappa' variant, and the
Schroedinger scheme (the program) at the same N."""
import numpy as np

EXACT = {  # from tests/data/gen_dirac_singular.py
    "dy_m1": 0.0570047121178, "dy_p1": 1.3257475742336, "dy_m2": 1.3224983454204,
    "dc_m1": -1.1599181032458,
    "sy_0": 0.0522156440900, "sy_1": 1.3210232807695, "sc_0": -1.3598959937734,
}
SCHR = {"dy_m1": "sy_0", "dy_p1": "sy_1", "dy_m2": "sy_1", "dc_m1": "sc_0"}
RUNS = "/tmp/dirac_runs/"
WINDOWS = [(250, 500), (500, 1000), (1000, 2000)]
LAST = [1000, 1500, 2000]


def program(name):
    rows = [l.split() for l in open(RUNS + name) if l.strip() and not l.startswith(";")]
    return np.array([float(r[2]) for r in rows])


def wrap(d):  # differences modulo pi
    return (d + np.pi / 2) % np.pi - np.pi / 2


def row(label, d, exact):
    err = wrap(d - exact)
    means = [np.mean(err[a - 1 : b]) for a, b in WINDOWS]
    last = [err[n - 1] for n in LAST]
    return f"| {label} | " + " / ".join(f"{x:+.2e}" for x in means) + " | " + \
        " / ".join(f"{x:+.2e}" for x in last) + " |"


print("| case, scheme | mean error N = 250-500 / 500-1000 / 1000-2000 | error at N = 1000 / 1500 / 2000 |")
print("|---|---|---|")
for name in ["dy_m1", "dy_p1", "dy_m2", "dc_m1"]:
    r = np.load(f"results/{name}.npz")
    prog = program(name)
    n = min(len(prog), len(r["today"]))
    agree = np.abs(wrap(r["today"][:n] - prog[:n]))
    print(row(f"{name} Dirac today (program)", prog, EXACT[name]))
    labels = {"variant": "kappa' variant", "today_tail": "today + outer lower rows",
              "variant_tail": "kappa' variant + outer lower rows"}
    for key, label in labels.items():
        if key in r.files:
            print(row(f"{name} Dirac {label}", r[key], EXACT[name]))
    s = SCHR[name]
    print(row(f"{s} Schroedinger (program)", program(s), EXACT[s]))
    print(f"|   prototype vs program, today: max {agree.max():.1e}, median {np.median(agree):.1e} | | |")
