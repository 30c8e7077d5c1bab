#!/usr/bin/env python3
"""Reference potential matrix elements at high basis indices (N up to 1000) for potentials of
infinite range and for wells and cut-offs far wider than the basis -> potential_wide.txt.

Each element is integral v(r) f_i(r) f_j(r) dr (f = phi or psi = dphi/dr + (kappa/r) phi, in the
Laguerre or oscillator basis, as in gen_potential.py), computed by composite 48-point
Gauss-Legendre panels in t = sqrt(lambda r) (which makes every power of r at the origin smooth and
the Laguerre functions' oscillation uniform), each panel holding a phase of at most 36 of the
product. The integral is carried to where every function of the setting has fallen below e^-200
of its scale. The Laguerre polynomials come from their recurrence in exact binary fixed point
(Python integers with 200 bits and a shared binary exponent), the weights from mpmath at 60 digits, and the sums in fixed
point: about 50 correct digits, independent of the program's rules.

Columns as potential_elements.txt: basis scheme pot l kappa lambda v0 a b z alpha g m r0 N row col
value scale; scale is the largest |value| of the sampled elements of the setting (the diagonal
ones among them).
"""

import mpmath as mp

WELL, COULOMB, YUKAWA = 0, 1, 2
LAGUERRE, GAUSS = 0, 1
P = 200  # fractional bits of the polynomial values
S = 900  # fractional bits of the sums
PANEL_POINTS = 48
PANEL_PHASE = 36


def fixed(x):
    return int(mp.floor(mp.ldexp(x, P)))


def legendre_rule():
    nodes = mp.calculus.quadrature.GaussLegendre(mp.mp).calc_nodes(5, mp.mp.prec)
    assert len(nodes) == PANEL_POINTS, len(nodes)
    return [((x + 1) / 2, w / 2) for x, w in nodes]


def case_values(case):
    basis, l, kappa, lam, n = case["basis"], case["l"], case["kappa"], mp.mpf(case["lambda"]), \
        case["N"]
    twice_alpha = 4 * l + 2 if basis == LAGUERRE else 2 * l + 1
    rel = case["scheme"] == 1
    pot = case["pot"]
    mu = mp.mpf(case["m"]) / lam if pot == YUKAWA else mp.mpf(0)
    # End of the functions: n ln y - y/2 - ln n! + (l + 2) ln x below -90.
    nu = 4 * n + twice_alpha + 6
    x_end = mp.mpf(nu if basis == LAGUERRE else mp.sqrt(nu))
    while True:
        y = x_end if basis == LAGUERRE else x_end ** 2
        if n * mp.log(y) - y / 2 - mp.loggamma(n + 1) + (l + 3) * mp.log(x_end) < -90:
            break
        x_end *= mp.mpf("1.05")
    if pot == WELL:
        x0, x1 = lam * mp.mpf(case["a"]), min(lam * mp.mpf(case["b"]), x_end)
    else:
        x0 = mp.mpf(0)
        x1 = min(lam * mp.mpf(case["r0"]), x_end) if case["r0"] > 0 else x_end
    t0, t1 = mp.sqrt(x0), mp.sqrt(x1)

    def rate(t):
        x = t * t
        single = 2 * mp.sqrt(nu) if basis == LAGUERRE else (2 * mp.sqrt(nu) + 2 * x) * 2 * t
        return 2 * single + 2 * t * (1 + mu) + 1

    wanted = sorted({e[1] for e in case["elements"]} | {e[2] for e in case["elements"]})
    top = max(wanted)
    rule = legendre_rule()
    sums = {(c, i, j): 0 for c, i, j in case["elements"]}
    sign = {WELL: mp.sign(case["v0"]), COULOMB: -mp.sign(case["z"]), YUKAWA: -1}[pot]
    t = t0
    while t < t1:
        width = min(PANEL_PHASE / rate(t), mp.mpf(1))
        width = min(PANEL_PHASE / max(rate(t), rate(t + width)), t1 - t)
        for s, w in rule:
            tt = t + width * s
            x = tt * tt
            r = x / lam
            y = x if basis == LAGUERRE else x * x
            if pot == WELL:
                v = abs(mp.mpf(case["v0"]))
            elif pot == COULOMB:
                v = abs(mp.mpf(case["z"])) / r ** mp.mpf(case["alpha"])
            else:
                v = mp.mpf(case["g"]) ** 2 * mp.exp(-mp.mpf(case["m"]) * r) / r
            base = w * width * 2 * tt / lam * v * mp.exp(-y)  # dr = 2 t dt / lambda
            weights = {"phi": base * x ** (2 * l + 2)}
            if rel:
                weights["psi"] = base * lam ** 2 * x ** (2 * l)
            yf = fixed(y)
            a_prev, a_last = 0, 1 << P  # L^(alpha)
            c_prev, c_last = 0, 0  # L^(alpha+1), index k - 1
            shared = 0  # binary exponent of all four
            values = {"phi": {}, "psi": {}}
            h = y if basis == GAUSS else x / 2
            g = 2 * y if basis == GAUSS else x
            front, gf = fixed(kappa + l + 1 - h), fixed(g)
            for k in range(top + 1):
                if k > 0:
                    a_new = (((4 * k - 2 + twice_alpha) << (P - 1)) - yf) * a_last >> P
                    a_new = (a_new - ((2 * k - 2 + twice_alpha) * a_prev >> 1)) // k
                    a_prev, a_last = a_last, a_new
                    j = k - 1
                    if j == 0:
                        c_new = 1 << (P - shared) if shared <= P else 0
                    else:
                        c_new = (((4 * j + twice_alpha) << (P - 1)) - yf) * c_last >> P
                        c_new = (c_new - ((2 * j + twice_alpha) * c_prev >> 1)) // j
                    c_prev, c_last = c_last, c_new
                    bits = max(abs(a_last).bit_length(), abs(c_last).bit_length()) - P - 64
                    if bits > 0:
                        a_prev, a_last, c_prev, c_last = (a_prev >> bits, a_last >> bits,
                                                          c_prev >> bits, c_last >> bits)
                        shared += bits
                if k in wanted:
                    values["phi"][k] = (a_last, shared)
                    if rel:
                        values["psi"][k] = ((front * a_last - gf * c_last) >> P, shared)
            for comp, weight in weights.items():
                m, e = mp.frexp(weight)
                mf = int(mp.ldexp(m, P))
                shift = e - 3 * P + S
                for (c, i, j) in sums:
                    if c != comp:
                        continue
                    (vi, ei), (vj, ej) = values[comp][i], values[comp][j]
                    prod, total = mf * vi * vj, shift + ei + ej
                    sums[(c, i, j)] += prod << total if total >= 0 else prod >> -total
        t += width
    return {key: sign * mp.ldexp(mp.mpf(value), -S) for key, value in sums.items()}


def make_case(basis, scheme, pot, l, kappa, lam, n, rows, **params):
    case = dict(basis=basis, scheme=scheme, pot=pot, l=l, kappa=kappa, N=n, v0=0.0, a=0.0,
                b=0.0, z=0.0, alpha=0.0, g=0.0, m=0.0, r0=0.0)
    case["lambda"] = lam
    case.update(params)
    elements = []
    for comp, i in rows:
        for j in sorted({0, 1, i // 4, i // 2, (3 * i) // 4, i - 2, i - 1, i, n - 1}):
            if 0 <= j <= i or j == n - 1:
                elements.append((comp, max(i, j), min(i, j)))
        elements.append((comp, 0, 0))
    case["elements"] = sorted(set(elements))
    return case


def all_cases():
    rel_rows = lambda n: [("phi", n - 1), ("psi", n - 1), ("psi", n // 2)]
    phi_rows = lambda n: [("phi", n - 1), ("phi", n // 2)]
    yuk = dict(g=1.0, m=1.0, r0=0.0)
    return [
        # Infinite range.
        make_case(LAGUERRE, 1, YUKAWA, 0, -1, 1.0, 1000, rel_rows(1000), **yuk),
        make_case(GAUSS, 0, YUKAWA, 0, 0, 1.0, 1000, phi_rows(1000), g=1.5, m=1.0, r0=0.0),
        make_case(GAUSS, 0, YUKAWA, 1, 0, 0.5, 300, phi_rows(300), g=1.0, m=0.3, r0=-1.0),
        make_case(LAGUERRE, 0, COULOMB, 1, 0, 0.7, 600, phi_rows(600), z=1.0, alpha=1.5, r0=0.0),
        make_case(GAUSS, 1, COULOMB, 1, 1, 1.0, 300, rel_rows(300), z=2.0, alpha=1.0, r0=0.0),
        # Ranges far wider than the basis.
        make_case(LAGUERRE, 0, WELL, 0, 0, 1.0, 40, phi_rows(40), v0=-1.0, a=0.0, b=1e8),
        make_case(GAUSS, 1, WELL, 0, -1, 1.0, 40, rel_rows(40), v0=-1.0, a=0.5, b=1e8),
        make_case(LAGUERRE, 1, WELL, 0, -1, 1.0, 100, rel_rows(100), v0=-1.0, a=2.0, b=1e4),
        make_case(LAGUERRE, 0, YUKAWA, 0, 0, 1.0, 60, phi_rows(60), g=1.0, m=1.0, r0=1e5),
        make_case(GAUSS, 0, COULOMB, 0, 0, 1.0, 60, phi_rows(60), z=1.0, alpha=1.0, r0=1e6),
    ]


def main():
    mp.mp.dps = 60
    rows = []
    for case in all_cases():
        values = case_values(case)
        scale = max(abs(v) for (c, i, j), v in values.items() if i == j)
        n = case["N"]
        for (comp, i, j), value in sorted(values.items()):
            pos = (lambda k: k) if case["scheme"] == 0 else (
                (lambda k: n - 1 - k) if comp == "phi" else (lambda k: n + k))
            rows.append([case["basis"], case["scheme"], case["pot"], case["l"], case["kappa"],
                         case["lambda"], case["v0"], case["a"], case["b"], case["z"],
                         case["alpha"], case["g"], case["m"], case["r0"], n, pos(i), pos(j),
                         mp.nstr(value, 22, min_fixed=1, max_fixed=0),
                         mp.nstr(scale, 22, min_fixed=1, max_fixed=0)])
        print("case done", case["basis"], case["pot"], n, flush=True)
    with open(__file__.replace("gen_potential_wide.py", "potential_wide.txt"), "w") as out:
        out.write("# generated by gen_potential_wide.py (mpmath); columns: basis scheme pot l kappa"
                  " lambda v0 a b z alpha g m r0 N row col value scale\n")
        for row in rows:
            out.write(" ".join(str(v) for v in row) + "\n")


if __name__ == "__main__":
    main()
