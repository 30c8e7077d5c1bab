#!/usr/bin/env python3
"""Phase shifts of the Woods-Saxon potential v(r) = v0 / (1 + exp((r - R)/d)) (Schroedinger,
atomic units, mass 1) by an independent integration of the radial equation in mpmath:
u'' = (l(l+1)/r^2 + 2 v(r) - k^2) u from the regular start u ~ r^(l+1) to r_m = R + 80 d, where
v is below 1e-34 of v0, then matched to the Riccati-Bessel functions.
Prints `v0 R d l e delta` lines for tests/data/woods_saxon.txt (delta in (-pi/2, pi/2])."""
import mpmath as mp

mp.mp.dps = 20

# v0, R, d, l, e. The l = 3 set straddles a sharp resonance at e = 0.1325 (width about 0.006):
# delta climbs through pi/2 there, by 1.3 rad between e = 0.125 and 0.14.
CASES = [
    (-2.0, 3.0, 0.5, 0, 0.5),
    (-2.0, 3.0, 0.5, 1, 1.0),
    (-2.0, 3.0, 0.2, 0, 0.3),
    (-1.75, 3.0, 0.3, 3, 0.125),
    (-1.75, 3.0, 0.3, 3, 0.1325),
    (-1.75, 3.0, 0.3, 3, 0.14),
]


def delta(v0, R, d, l, e):
    v0, R, d, e = (mp.mpf(x) for x in (v0, R, d, e))
    k = mp.sqrt(2 * e)
    v = lambda r: v0 / (1 + mp.exp((r - R) / d))
    r_start = mp.mpf("1e-6")
    # Series start: u = r^(l+1) (1 + c2 r^2), c2 = (2 v(0) - k^2) / (2 (2l + 3)).
    c2 = (2 * v(0) - k * k) / (2 * (2 * l + 3))
    u0 = r_start ** (l + 1) * (1 + c2 * r_start**2)
    du0 = (l + 1) * r_start**l + (l + 3) * c2 * r_start ** (l + 2)
    f = lambda r, y: [y[1], (l * (l + 1) / r**2 + 2 * v(r) - k * k) * y[0]]
    solution = mp.odefun(f, r_start, [u0, du0])
    r_m = R + 80 * d
    u, du = solution(r_m)
    x = k * r_m
    F = x * mp.besselj(l + mp.mpf(1) / 2, x) * mp.sqrt(mp.pi / (2 * x))
    G = x * mp.bessely(l + mp.mpf(1) / 2, x) * mp.sqrt(mp.pi / (2 * x))
    dF = mp.diff(lambda t: t * mp.besselj(l + mp.mpf(1) / 2, t) * mp.sqrt(mp.pi / (2 * t)), x) * k
    dG = mp.diff(lambda t: t * mp.bessely(l + mp.mpf(1) / 2, t) * mp.sqrt(mp.pi / (2 * t)), x) * k
    tan_delta = (du * F - u * dF) / (du * G - u * dG)
    return mp.atan(tan_delta)


if __name__ == "__main__":
    print("# v0 R d l e delta  (gen_woods_saxon.py)")
    for case in CASES:
        print(*case, mp.nstr(delta(*case), 17))
