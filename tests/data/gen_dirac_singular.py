#!/usr/bin/python3
"""Reference phase shifts of potentials singular as -Z/r at the origin, Dirac and Schroedinger.

Independent of the program: the radial equations are integrated by scipy's DOP853 (rtol 1e-13)
in t = ln r from r = 1e-14, where the regular solution is its leading Frobenius term, and the
solution is matched to the free Riccati-Bessel pair where the potential has ended (r0 for a cut
potential) or is negligible (r = 45 for the Yukawa potential).

Dirac (mass 1, speed of light c, e without the rest energy), P large and Q small component:
    P' = -kappa P / r + (2 c^2 + e - V) Q / c,    Q' = kappa Q / r + (V - e) P / c,
near r = 0 both go as r^gamma, gamma = sqrt(kappa^2 - (Z/c)^2), with the ratio fixed by the
1/r terms: c (gamma + kappa) P = Z Q. Outside, P = cos(delta) F + sin(delta) G with
F = kr j_l(kr) -> sin(kr - l pi/2), G = -kr y_l(kr), and Q = c / (2 c^2 + e) (P' + kappa P / r).
Schroedinger: u'' = (l(l+1)/r^2 + 2V - k^2) u, u ~ r^(l+1) at the origin, matched likewise.

Potentials: yukawa V = -s e^(-m r) / r (s is the program's g^2), coulomb V = -z / r for r < r0.

Output: dirac_singular.txt, one case a line:
  scheme(0 = non-relativistic, 1 = relativistic) pot(0 = yukawa, 1 = cut coulomb) kappa l
  strength range(m or r0) e c delta
(c is the speed of light of the Dirac rows, 0 in the Schroedinger rows.)
"""
import numpy as np
from scipy.integrate import solve_ivp
from scipy.special import spherical_jn, spherical_yn

C_LIGHT = 137.0359996287515
R_START = 1.0e-14
R_YUKAWA = 45.0


def potential_r(pot, strength, rng):
    """r V(r), smooth up to the end of the integration."""
    if pot == "yukawa":
        return lambda r: -strength * np.exp(-rng * r)
    return lambda r: -strength + 0.0 * r


def end_radius(pot, rng):
    return R_YUKAWA if pot == "yukawa" else rng


def riccati(l, k, r):
    """F, G and their r-derivatives; F ~ sin(kr - l pi/2), G ~ cos(kr - l pi/2)."""
    x = k * r
    f = x * spherical_jn(l, x)
    g = -x * spherical_yn(l, x)
    fd = k * (spherical_jn(l, x) + x * spherical_jn(l, x, derivative=True))
    gd = -k * (spherical_yn(l, x) + x * spherical_yn(l, x, derivative=True))
    return f, g, fd, gd


def dirac_delta(kappa, pot, strength, rng, e, c=C_LIGHT):
    z = strength
    gamma = np.sqrt(kappa * kappa - (z / c) ** 2)
    rv = potential_r(pot, strength, rng)

    # P = r^gamma u, Q = r^gamma w, in t = ln r.
    def rhs(t, y):
        r = np.exp(t)
        u, w = y
        du = -(kappa + gamma) * u + ((2 * c * c + e) * r - rv(r)) / c * w
        dw = (kappa - gamma) * w + (rv(r) - e * r) / c * u
        return [du, dw]

    u0, w0 = 1.0, c * (gamma + kappa) / z
    r_end = end_radius(pot, rng)
    sol = solve_ivp(rhs, (np.log(R_START), np.log(r_end)), [u0, w0], method="DOP853",
                    rtol=1e-13, atol=1e-300, first_step=1e-3)
    u, w = sol.y[:, -1]
    l = -kappa - 1 if kappa < 0 else kappa
    k = np.sqrt(e * (2 * c * c + e)) / c
    f, g, fd, gd = riccati(l, k, r_end)
    ft, gt = fd + kappa * f / r_end, gd + kappa * g / r_end
    rho = (w / u) * (2 * c * c + e) / c  # (P' + kappa P / r) / P outside
    return np.arctan((ft - rho * f) / (rho * g - gt))


def schroedinger_delta(l, pot, strength, rng, e):
    rv = potential_r(pot, strength, rng)
    k = np.sqrt(2 * e)

    # u = r^(l+1) a, u' = r^l b, in t = ln r.
    def rhs(t, y):
        r = np.exp(t)
        a, b = y
        return [-(l + 1) * a + b, (l * (l + 1) + 2 * r * rv(r) - k * k * r * r) * a - l * b]

    r_end = end_radius(pot, rng)
    sol = solve_ivp(rhs, (np.log(R_START), np.log(r_end)), [1.0, l + 1.0], method="DOP853",
                    rtol=1e-13, atol=1e-300, first_step=1e-3)
    a, b = sol.y[:, -1]
    rho = b / (a * r_end)  # u' / u
    f, g, fd, gd = riccati(l, k, r_end)
    return np.arctan((fd - rho * f) / (rho * g - gd))


C_INFINITE = 5000.0  # the program's "infinite" speed of light
CASES = [
    # scheme, pot, kappa, strength, range, e, c
    (1, "yukawa", -1, 9.0, 1.0, 1.0, C_LIGHT),
    (1, "yukawa", 1, 9.0, 1.0, 1.0, C_LIGHT),
    (1, "yukawa", -2, 9.0, 1.0, 1.0, C_LIGHT),
    (1, "yukawa", -1, 3.0, 1.0, 1.0, C_LIGHT),
    (1, "coulomb", -1, 80.0, 1.0, 10.0, C_LIGHT),
    (1, "coulomb", -1, 50.0, 1.0, 10.0, C_LIGHT),
    (1, "yukawa", -1, 9.0, 1.0, 1.0, C_INFINITE),
    (1, "yukawa", 1, 9.0, 1.0, 1.0, C_INFINITE),
    (1, "yukawa", -2, 9.0, 1.0, 1.0, C_INFINITE),
    (0, "yukawa", -1, 9.0, 1.0, 1.0, 0.0),
    (0, "yukawa", 1, 9.0, 1.0, 1.0, 0.0),
    (0, "yukawa", -1, 3.0, 1.0, 1.0, 0.0),
    (0, "coulomb", -1, 80.0, 1.0, 10.0, 0.0),
]


def main():
    lines = []
    for scheme, pot, kappa, strength, rng, e, c in CASES:
        l = -kappa - 1 if kappa < 0 else kappa
        if scheme:
            d = dirac_delta(kappa, pot, strength, rng, e, c)
        else:
            d = schroedinger_delta(l, pot, strength, rng, e)
        code = 0 if pot == "yukawa" else 1
        lines.append(f"{scheme} {code} {kappa:3d} {l} {strength:g} {rng:g} {e:g} {c:.16g} {d:.13f}")
        print(lines[-1], flush=True)
    with open("dirac_singular.txt", "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
