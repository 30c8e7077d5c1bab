#!/usr/bin/env python3
"""Exact phase shifts of the Yukawa potential -g^2 exp(-m r)/r cut at r0 (g = 1.5, m = 1, r0 = 3)
at energies where the oscillator basis's free solutions need extended precision.

Independent of the program: the radial equations are integrated with mpmath's Taylor-series ODE
solver at 30 digits from the leading term of the regular solution at the origin, and matched at
r0 to the free solutions (sin(kr + delta) for l = 0 and for the Dirac large component at
kappa = -1). Writes yukawa_high_energy.txt: scheme (0 Schroedinger, 1 Dirac), e, delta mod pi.
"""
import mpmath as mp

mp.mp.dps = 30
g, m, r0 = mp.mpf("1.5"), mp.mpf(1), mp.mpf(3)
c_light = mp.mpf("137.0359996287515")


def v(r):
    return -g * g * mp.exp(-m * r) / r


def schroedinger_s_wave(e):
    k = mp.sqrt(2 * e)
    r = mp.mpf("1e-10")
    # u = r - g^2 r^2 + O(r^3) at the origin.
    f = mp.odefun(lambda r, y: [y[1], (2 * v(r) - k * k) * y[0]], r, [r - g * g * r * r, 1 - 2 * g * g * r])
    u, du = f(r0)
    return (mp.atan(k * u / du) - k * r0) % mp.pi


def dirac_kappa_minus_one(e):
    kappa, c, z = -1, c_light, g * g
    k = mp.sqrt(e * (e + 2 * c * c)) / c
    gamma = mp.sqrt(1 - (z / c) ** 2)
    r = mp.mpf("1e-12")
    p0 = r**gamma
    q0 = (gamma - 1) * c / z * p0
    f = mp.odefun(lambda r, y: [-kappa / r * y[0] + (e - v(r) + 2 * c * c) / c * y[1],
                                kappa / r * y[1] - (e - v(r)) / c * y[0]], r, [p0, q0])
    p, q = f(r0)
    dp = -kappa / r0 * p + (e + 2 * c * c) / c * q  # outside the cut, v = 0
    return (mp.atan(k * p / dp) - k * r0) % mp.pi


with open("yukawa_high_energy.txt", "w") as out:
    out.write("# scheme e delta (mpmath, 30 digits, gen_yukawa_high_energy.py)\n")
    out.write(f"0 200 {mp.nstr(schroedinger_s_wave(mp.mpf(200)), 20)}\n")
    out.write(f"1 20 {mp.nstr(dirac_kappa_minus_one(mp.mpf(20)), 20)}\n")
