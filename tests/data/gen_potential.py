#!/usr/bin/env python3
"""Reference potential matrix elements for tests/test_potential.cpp -> potential_elements.txt.

Each element is integral v(r) f_i(r) f_j(r) dr with f = phi (first component) or
psi = dphi/dr + (kappa/r) phi (second component), in the Laguerre basis
phi_n = x^(l+1) e^(-x/2) L_n^(2l+1)(x) or the oscillator basis
phi_n = x^(l+1) e^(-x^2/2) L_n^(l+1/2)(x^2), x = lambda r.

Method (independent of the program's quadrature): f_i f_j is x^s E(x)^2 times a polynomial whose
coefficients are formed exactly from the Laguerre coefficients; the element is the sum of those
coefficients times moments  int x^(s+k) E^2 x^(-beta) e^(-mu x) dx  over the potential's interval,
which are incomplete gamma functions (for the oscillator basis with a Yukawa factor, the Taylor
series of e^(-mu x) over such gamma functions). The sums cancel heavily for n ~ 300, so they are
evaluated with mpmath at 500 and again at 560 digits, and the two must agree to 1e-30. Small-n
elements are also checked against direct adaptive quadrature (mpmath.quad) of the functions.

Columns: basis(0 laguerre, 1 gauss) scheme(0 non-relativistic, 1 relativistic)
pot(0 well, 1 coulomb, 2 yukawa) l kappa lambda v0 a b z alpha g m r0 N row col value scale,
where row, col are matrix positions in the scheme's ordering and scale is the largest |value| of
the same settings.
"""

import mpmath as mp

WELL, COULOMB, YUKAWA = 0, 1, 2
LAGUERRE, GAUSS = 0, 1


def laguerre_coefficients(n, alpha):
    """Coefficients c_k of L_n^(alpha)(y) = sum c_k y^k."""
    c = [mp.binomial(n + alpha, n)]
    for k in range(n):
        c.append(-c[-1] * (n - k) / ((alpha + k + 1) * (k + 1)))
    return c


def poly_mul(p, q):
    out = [mp.mpf(0)] * (len(p) + len(q) - 1)
    for i, a in enumerate(p):
        if a == 0:
            continue
        for j, b in enumerate(q):
            out[i + j] += a * b
    return out


def poly_add(p, q):
    n = max(len(p), len(q))
    return [(p[i] if i < len(p) else 0) + (q[i] if i < len(q) else 0) for i in range(n)]


def poly_scale(p, s):
    return [s * a for a in p]


def poly_shift(p):
    """y * p(y)."""
    return [mp.mpf(0)] + list(p)


def poly_deriv(p):
    return [k * p[k] for k in range(1, len(p))]


def radial_part(case, component, n):
    """(s0, P) with f_n(r) = x^s0 E(x) P(y), y = x or x^2."""
    l, kappa, lam = case["l"], case["kappa"], mp.mpf(case["lambda"])
    alpha = 2 * l + 1 if case["basis"] == LAGUERRE else mp.mpf(l) + mp.mpf(1) / 2
    L = laguerre_coefficients(n, alpha)
    if component == "phi":
        return l + 1, L
    dL = poly_deriv(L)
    if case["basis"] == LAGUERRE:
        # psi = lambda x^l E [ (kappa+l+1) L - (x/2) L + x L' ]
        q = poly_add(poly_scale(L, kappa + l + 1), poly_scale(poly_shift(L), mp.mpf(-1) / 2))
        q = poly_add(q, poly_shift(dL))
    else:
        # psi = lambda x^l E [ (kappa+l+1) L - u L + 2 u L' ], u = x^2
        q = poly_add(poly_scale(L, kappa + l + 1), poly_scale(poly_shift(L), -1))
        q = poly_add(q, poly_scale(poly_shift(dL), 2))
    return l, poly_scale(q, lam)


def element_by_moments(case, component, i, j):
    lam = mp.mpf(case["lambda"])
    s0, pi = radial_part(case, component, i)
    _, pj = radial_part(case, component, j)
    prod = poly_mul(pi, pj)
    p = 1 if case["basis"] == LAGUERRE else 2
    pot = case["pot"]
    r0 = mp.mpf(case["r0"])
    if pot == WELL:
        beta, mu, factor = 0, mp.mpf(0), mp.mpf(case["v0"]) / lam
        x0, x1 = lam * mp.mpf(case["a"]), lam * mp.mpf(case["b"])
    elif pot == COULOMB:
        beta, mu = mp.mpf(case["alpha"]), mp.mpf(0)
        factor = -mp.mpf(case["z"]) * lam ** beta / lam
        x0, x1 = mp.mpf(0), (lam * r0 if r0 > 0 else mp.inf)
    else:
        beta, mu = 1, mp.mpf(case["m"]) / lam
        factor = -mp.mpf(case["g"]) ** 2
        x0, x1 = mp.mpf(0), (lam * r0 if r0 > 0 else mp.inf)

    cache = {}

    def gamma_piece(a):
        # int over [x0, x1] of t^(a-1) e^(-t) after the substitution of the basis.
        if a not in cache:
            if p == 1:
                cache[a] = mp.gammainc(a, (1 + mu) * x0, (1 + mu) * x1)
            else:
                cache[a] = mp.gammainc(a, x0 ** 2, x1 ** 2 if x1 != mp.inf else mp.inf)
        return cache[a]

    def moment(s):
        # int x^s E^2 e^(-mu x) dx over [x0, x1]
        if p == 1:
            return gamma_piece(s + 1) / (1 + mu) ** (s + 1)
        if mu == 0:
            return gamma_piece((s + 1) / 2) / 2
        total, term_factor, jj = mp.mpf(0), mp.mpf(1), 0
        while True:
            term = term_factor * gamma_piece((s + jj + 1) / 2) / 2
            total += term
            if jj > 10 and abs(term) < abs(total) * mp.mpf(10) ** (-mp.mp.dps):
                break
            jj += 1
            term_factor *= -mu / jj
        return total

    total = mp.mpf(0)
    for k, ck in enumerate(prod):
        if ck != 0:
            total += ck * moment(2 * s0 + p * k - beta)
    return factor * total


def function_value(case, component, n, r):
    """f_n(r) straight from the definitions, for the quadrature cross-check."""
    lam, l, kappa = mp.mpf(case["lambda"]), case["l"], case["kappa"]
    x = lam * r
    if case["basis"] == LAGUERRE:
        phi = lambda rr: (lam * rr) ** (l + 1) * mp.exp(-lam * rr / 2) * mp.laguerre(n, 2 * l + 1, lam * rr)
    else:
        phi = lambda rr: (lam * rr) ** (l + 1) * mp.exp(-(lam * rr) ** 2 / 2) * mp.laguerre(
            n, l + mp.mpf(1) / 2, (lam * rr) ** 2)
    if component == "phi":
        return phi(r)
    return mp.diff(phi, r) + kappa / r * phi(r)


def potential_value(case, r):
    if case["pot"] == WELL:
        return mp.mpf(case["v0"]) if case["a"] <= r <= case["b"] else mp.mpf(0)
    if case["pot"] == COULOMB:
        return -mp.mpf(case["z"]) / r ** mp.mpf(case["alpha"])
    return -mp.mpf(case["g"]) ** 2 * mp.exp(-mp.mpf(case["m"]) * r) / r


def element_by_quadrature(case, component, i, j):
    pot, r0 = case["pot"], case["r0"]
    if pot == WELL:
        points = [case["a"], case["b"]]
    else:
        points = [0, r0] if r0 > 0 else [0, 1, 5, 20, 60, mp.inf]
    f = lambda r: function_value(case, component, i, r) * potential_value(case, r) * \
        function_value(case, component, j, r)
    return mp.quad(f, points)


def position(case, component, index):
    n = case["N"]
    if case["scheme"] == 0:
        return index
    return n - 1 - index if component == "phi" else n + index


def make_case(basis, scheme, pot, l, kappa, lam, n_size, elements, **params):
    case = dict(basis=basis, scheme=scheme, pot=pot, l=l, kappa=kappa, N=n_size,
                v0=0.0, a=0.0, b=0.0, z=0.0, alpha=0.0, g=0.0, m=0.0, r0=0.0)
    case["lambda"] = lam
    case.update(params)
    case["elements"] = elements
    return case


def potentials():
    return [
        (WELL, dict(v0=-2.0, a=0.5, b=2.5)),
        (COULOMB, dict(z=1.5, alpha=1.0, r0=0.0)),
        (COULOMB, dict(z=1.0, alpha=1.5, r0=3.0)),
        (YUKAWA, dict(g=1.2, m=0.7, r0=0.0)),
        (YUKAWA, dict(g=1.0, m=2.0, r0=4.0)),
    ]


def all_cases():
    cases = []
    small_phi = [("phi", 0, 0), ("phi", 3, 1), ("phi", 7, 7), ("phi", 11, 4), ("phi", 11, 11)]
    small_rel = [("phi", 0, 0), ("phi", 5, 2), ("phi", 11, 11),
                 ("psi", 0, 0), ("psi", 5, 2), ("psi", 11, 11)]
    for pot, params in potentials():
        cases.append(make_case(LAGUERRE, 0, pot, 1, 0, 1.3, 12, small_phi, **params))
        cases.append(make_case(GAUSS, 0, pot, 1, 0, 0.8, 12, small_phi, **params))
        cases.append(make_case(LAGUERRE, 1, pot, 0, -1, 1.0, 12, small_rel, **params))
        cases.append(make_case(GAUSS, 1, pot, 2, 2, 1.1, 12, small_rel, **params))
    # Moderate and many basis functions on [0, infinity): the integrator samples radii far out.
    medium_phi = [("phi", 50, 50), ("phi", 50, 49), ("phi", 50, 0), ("phi", 40, 20),
                  ("phi", 0, 0)]
    medium_rel = [("phi", 50, 50), ("psi", 50, 50), ("psi", 50, 48), ("psi", 0, 0)]
    for pot, params in [(COULOMB, dict(z=1.0, alpha=1.0, r0=0.0)),
                        (YUKAWA, dict(g=1.0, m=1.0, r0=0.0))]:
        for basis in (LAGUERRE, GAUSS):
            cases.append(make_case(basis, 0, pot, 0, 0, 1.0, 51, medium_phi, **params))
            cases.append(make_case(basis, 1, pot, 0, -1, 1.0, 51, medium_rel, **params))
    large_phi = [("phi", 300, 300), ("phi", 300, 299), ("phi", 300, 0), ("phi", 299, 150),
                 ("phi", 150, 150), ("phi", 0, 0)]
    large_rel = [("phi", 300, 300), ("phi", 300, 298), ("psi", 300, 300), ("psi", 300, 298),
                 ("psi", 0, 0)]
    for pot, params in [(COULOMB, dict(z=1.0, alpha=1.0, r0=0.0)),
                        (YUKAWA, dict(g=1.0, m=1.0, r0=0.0)),
                        (COULOMB, dict(z=1.0, alpha=1.0, r0=-1.0))]:
        for basis in (LAGUERRE, GAUSS):
            cases.append(make_case(basis, 0, pot, 0, 0, 1.0, 301, large_phi, **params))
            if params["r0"] == 0.0:
                cases.append(make_case(basis, 1, pot, 0, -1, 1.0, 301, large_rel, **params))
    return cases


def main():
    rows = []
    for case in all_cases():
        values = []
        for component, i, j in case["elements"]:
            mp.mp.dps = 500
            value = element_by_moments(case, component, i, j)
            mp.mp.dps = 560
            check = element_by_moments(case, component, i, j)
            scale_now = max(abs(check), mp.mpf(1))
            assert abs(value - check) < mp.mpf(10) ** -30 * scale_now, (case, component, i, j)
            if max(i, j) <= 11:
                mp.mp.dps = 30
                quad = element_by_quadrature(case, component, i, j)
                assert abs(quad - check) < mp.mpf(10) ** -15 * scale_now, (case, i, j, quad, check)
            mp.mp.dps = 560
            values.append((component, i, j, check))
        scale = max(abs(v[3]) for v in values)
        for component, i, j, value in values:
            row = position(case, component, i)
            col = position(case, component, j)
            rows.append([case["basis"], case["scheme"], case["pot"], case["l"], case["kappa"],
                         case["lambda"], case["v0"], case["a"], case["b"], case["z"],
                         case["alpha"], case["g"], case["m"], case["r0"], case["N"], row, col,
                         mp.nstr(value, 22, min_fixed=1, max_fixed=0),
                         mp.nstr(scale, 22, min_fixed=1, max_fixed=0)])
    with open(__file__.replace("gen_potential.py", "potential_elements.txt"), "w") as out:
        out.write("# generated by gen_potential.py (mpmath); columns: basis scheme pot l kappa lambda"
                  " v0 a b z alpha g m r0 N row col value scale\n")
        for row in rows:
            out.write(" ".join(str(v) for v in row) + "\n")


if __name__ == "__main__":
    main()
