"""Fits the strength g of a Yukawa potential -g^2 e^(-m r) / r (m known) to a set of s-wave phase
shifts with scipy.optimize.least_squares. The "measured" phase shifts here are computed at
g = 0.9 and perturbed by 1e-4 rad, so the fit should come back near 0.9. Residuals are taken
modulo pi, since delta is known only modulo pi.

    PYTHONPATH=build/python /usr/bin/python3 python/examples/fit_strength.py
"""
import numpy as np
from scipy.optimize import least_squares

import skarven

M = 0.8          # decay rate, 1/bohr
N = 200          # basis size
energies = np.array([0.1, 0.25, 0.5, 1.0, 1.5, 2.0])  # hartree


def delta(g):
    """s-wave phase shifts (rad) at the energies for strength g (g^2 in hartree bohr)."""
    problem = skarven.Problem(potential=skarven.yukawa(g=g, m=M), lam=3.0)
    return skarven.phase_shifts(problem, N, energies).delta


rng = np.random.default_rng(1)
measured = delta(0.9) + 1e-4 * rng.standard_normal(energies.size)


def residual(p):
    return np.angle(np.exp(2j * (delta(p[0]) - measured))) / 2


fit = least_squares(residual, x0=[0.6], bounds=([0.1], [2.0]), diff_step=1e-6)
r = fit.fun
covariance = np.linalg.inv(fit.jac.T @ fit.jac) * (r @ r) / (energies.size - 1)
print(f"g = {fit.x[0]:.6f} +- {np.sqrt(covariance[0, 0]):.6f}  ({fit.nfev} evaluations, "
      f"rms residual {np.sqrt(np.mean(r**2)):.2e} rad)")
