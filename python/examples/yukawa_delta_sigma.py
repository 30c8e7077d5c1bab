"""delta(E) of the first partial waves and sigma(E), sigma_tr(E) of a Yukawa potential, saved as a
figure (default yukawa_delta_sigma.png).

    PYTHONPATH=build/python /usr/bin/python3 python/examples/yukawa_delta_sigma.py [FIGURE]
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import skarven  # noqa: E402

figure = sys.argv[1] if len(sys.argv) > 1 else "yukawa_delta_sigma.png"
# -g^2 e^(-m r) / r with g^2 = 2 hartree bohr, m = 1/bohr; basis scale 2/bohr, N = 200. At this N
# the waves above l ~ 10 carry basis errors of ~1e-4 rad that keep the |sin delta| < lconv test
# from stopping the loop, so the sums stop at lmax = 12: the waves up to 25 change sigma by 7e-5
# relative, and N = 600 changes it by 1e-3.
problem = skarven.Problem(potential=skarven.yukawa(g=np.sqrt(2.0), m=1.0), lam=2.0)
energies = np.linspace(0.05, 2.0, 40)  # hartree
# shift: delta in [0, pi), continuous across the s wave's bound state (Levinson: delta(0) = pi).
waves = skarven.partial_waves(problem, 200, energies, lmax=12, shift=True)
print(f"waves l = 0 ... {waves.lmax_reached}, sigma = {waves.sigma[0]:.4f} ... {waves.sigma[-1]:.4f} bohr^2")

fig, (left, right) = plt.subplots(1, 2, figsize=(10, 4), constrained_layout=True)
for l, delta in zip(waves.l[:4], waves.delta[:4]):
    left.plot(energies, delta, label=f"l = {l}")
left.set(xlabel="E (hartree)", ylabel="delta (rad)", title="Phase shifts, N = 200")
left.legend()
right.plot(energies, waves.sigma, label="sigma")
right.plot(energies, waves.sigma_tr, label="sigma_tr")
right.set(xlabel="E (hartree)", ylabel="cross section (bohr^2)", yscale="log",
          title="Cross sections")
right.legend()
fig.savefig(figure, dpi=120)
print(f"wrote {figure}")
