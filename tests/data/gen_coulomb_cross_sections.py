#!/usr/bin/env python3
"""Reference partial-wave sums under a Coulomb tail, from mpmath at 30 significant digits.

For given phase shifts delta_l (l = 0 ... 20, relative to the Coulomb functions) at wave number k
and Sommerfeld parameter eta:
  sigma_l = Im ln Gamma(l + 1 + i eta),
  f_N     = 1/(2ik) sum (2l+1) exp(2i sigma_l) (exp(2i delta_l) - 1) P_l(cos theta),
  f_C     = -eta / (2k sin^2(theta/2)) exp(-i eta ln sin^2(theta/2) + 2i sigma_0),
  dsigma/dOmega = |f_C + f_N|^2 and its ratio to |f_C|^2,
  sigma_N    = integral of |f_N|^2 over the sphere,
  sigma_tr_N = integral of (1 - cos theta)(|f_C + f_N|^2 - |f_C|^2) over the sphere,
both integrals by mpmath's quadrature (split at 1e-12 ... 1e-1 for the oscillations of f_C near
theta = 0), so that they do not rest on the partial-wave closed forms; the script checks that
they agree with those, (4 pi / k^2) sum (2l+1) sin^2 delta_l and
(4 pi / k^2) sum (l+1) [sin^2(s_(l+1) - s_l) - sin^2(sigma_(l+1) - sigma_l)], s_l = sigma_l + delta_l.

Output: coulomb_cross_sections.txt, rows by their first field:
  0 eta l sigma_l                      eta = +-0.5, +-2, l = 0 ... 20
  1 case k eta L delta_0 ... delta_(L-1) sigma_N sigma_tr_N
  2 case theta(deg) Re f_N  Im f_N  Re f_C  Im f_C  dsigma/dOmega  ratio

Run from the repository root:  /usr/bin/python3 tests/data/gen_coulomb_cross_sections.py
"""
import math
from pathlib import Path

import mpmath as mp
from mpmath import mpf

mp.mp.dps = 30
HERE = Path(__file__).resolve().parent
WAVES = 21
ANGLES = [0.5, 10.0, 45.0, 90.0, 135.0, 179.0, 180.0]
CASES = [(1.3, 0.5, 0.0), (0.8, -0.5, 0.7), (2.0, 2.0, 1.9), (0.5, -2.0, 2.6)]


def num(value, digits=17):
    return mp.nstr(value, digits, min_fixed=1, max_fixed=0)


def coulomb_phase(l, eta):
    return mp.loggamma(mp.mpc(l + 1, eta)).imag


def main():
    rows = []
    for eta in [-2.0, -0.5, 0.5, 2.0]:
        for l in range(WAVES):
            rows.append(f"0 {eta!r} {l} {num(coulomb_phase(l, mpf(eta)))}")
    for case, (k_value, eta_value, shift) in enumerate(CASES, start=1):
        # Large low waves of both signs falling off to 5e-5 at l = 20 (exact doubles).
        deltas = [1.2 * math.sin(0.9 * (l + 1.3) + shift) * math.exp(-0.5 * l) for l in range(WAVES)]
        k, eta = mpf(k_value), mpf(eta_value)
        d = [mpf(x) for x in deltas]
        sig = [coulomb_phase(l, eta) for l in range(WAVES + 1)]

        def f_n(theta):
            x = mp.cos(theta)
            total = sum((2 * l + 1) * mp.exp(2j * sig[l]) * (mp.exp(2j * d[l]) - 1) *
                        mp.legendre(l, x) for l in range(WAVES))
            return total / (2j * k)

        def f_c(theta):
            s2 = mp.sin(theta / 2) ** 2
            return -eta / (2 * k * s2) * mp.exp(-1j * eta * mp.log(s2) + 2j * sig[0])

        splits = [0] + [mpf(10) ** -j for j in range(12, 0, -1)] + [mp.pi / 2, mp.pi]
        sigma_n = 2 * mp.pi * mp.quad(lambda t: abs(f_n(t)) ** 2 * mp.sin(t), splits)
        transport = 2 * mp.pi * mp.quad(
            lambda t: (1 - mp.cos(t)) * (abs(f_n(t)) ** 2 + 2 * mp.re(mp.conj(f_c(t)) * f_n(t))) *
            mp.sin(t), splits)
        closed_sigma = 4 * mp.pi / k**2 * sum((2 * l + 1) * mp.sin(x) ** 2 for l, x in enumerate(d))
        dd = d + [mpf(0)]
        closed_transport = 4 * mp.pi / k**2 * sum(
            (l + 1) * (mp.sin(sig[l + 1] + dd[l + 1] - sig[l] - dd[l]) ** 2 -
                       mp.sin(sig[l + 1] - sig[l]) ** 2) for l in range(WAVES))
        assert abs(sigma_n - closed_sigma) < mpf(10) ** -20 * abs(sigma_n)
        assert abs(transport - closed_transport) < mpf(10) ** -20 * abs(transport)
        rows.append(" ".join(["1", str(case), repr(k_value), repr(eta_value), str(WAVES)] +
                             [repr(x) for x in deltas] + [num(sigma_n), num(transport)]))
        for degrees in ANGLES:
            theta = mpf(degrees) * mp.pi / 180
            fn, fc = f_n(theta), f_c(theta)
            dcs = abs(fc + fn) ** 2
            rows.append(" ".join(["2", str(case), repr(degrees)] +
                                 [num(v) for v in (fn.real, fn.imag, fc.real, fc.imag, dcs,
                                                   dcs / abs(fc) ** 2)]))
    with open(HERE / "coulomb_cross_sections.txt", "w") as out:
        out.write("# kind ... (gen_coulomb_cross_sections.py, mpmath 30 digits; see the script)\n")
        out.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
