#!/usr/bin/python3
"""Reference coefficients s_n, c_n of the regular and irregular free solutions in both bases.

Closed forms for every n, at 40 digits with mpmath (q = k / lambda, cos(theta) = x):
  Laguerre basis, x = (q^2 - 1/4) / (q^2 + 1/4), y = sin(theta), u = (1 - x) / 2:
    s_n = l! 2^l n! / (n + 2l + 1)! * y^(l+1) * C_n^(l+1)(x)
    c_n = -Gamma(l + 1/2) / sqrt(pi) * 2^l / y^l * n! / (n + 2l + 1)!
          * 2F1(n + 1, -n - 2l - 1; 1/2 - l; u)
  Oscillator basis:
    s_n = (-1)^n sqrt(2 pi) n! / Gamma(n + l + 3/2) * exp(-q^2/2) * q^(l+1) * L_n^(l+1/2)(q^2)
    c_n = (-1)^n sqrt(2/pi) Gamma(l + 1/2) n! / Gamma(n + l + 3/2) * exp(-q^2/2) * q^(-l)
          * 1F1(-n - l - 1/2; 1/2 - l; q^2)
Each sequence is checked to solve every row of the free relation
  J(n, n-1) t(n-1) + J(n, n) t(n) + J(n, n+1) t(n+1) = 0,  J = psipsi/2 - k^2 fifi/2,
with the overlap and twice the kinetic-energy integrals of the basis functions
  Laguerre:   fifi   = G(n)/lambda   [2(n+l+1) d(i,n) - n d(i,n-1) - (n+2l+2) d(i,n+1)]
              psipsi = lambda G(n)/4 [2(n+l+1) d(i,n) + n d(i,n-1) + (n+2l+2) d(i,n+1)]
              G(n) = (n + 2l + 1)! / n!
  oscillator: fifi   = G(n) / (2 lambda) d(i,n)
              psipsi = lambda G(n)/2 [(2n+l+3/2) d(i,n) + n d(i,n-1) + (n+l+3/2) d(i,n+1)]
              G(n) = Gamma(n + l + 3/2) / n!
for n >= 1; the regular solution also solves the first row (which has no t(-1)), the irregular
one does not (that row is where it fails to be a solution of the free problem).

Output: coefficients_reference.txt: basis(0 laguerre, 1 gauss) l lambda k n s_n c_n
"""
import mpmath as mp

mp.mp.dps = 40
NMAX = 40

CASES = [  # (basis, l, lambda, k)
    (0, 0, 1, 0.5), (0, 0, 1, 1), (0, 0, 0.7, 1.3), (0, 1, 1.5, 0.8), (0, 2, 0.7, 2.0),
    (0, 3, 2.0, 0.3), (0, 5, 1.0, 1.0), (0, 1, 1.0, 6.0),
    (1, 0, 1, 0.5), (1, 0, 1, 1), (1, 1, 1.5, 0.8), (1, 2, 0.7, 2.0), (1, 3, 2.0, 0.3),
    (1, 0, 0.6, 1.7),
]


def gegenbauer(n, m, x):
    """C_n^(m)(x) from its power series (mpmath's own fails at its exact zeros)."""
    with mp.workdps(150):
        return +mp.fsum((-1)**j * mp.gamma(n - j + m) / (mp.gamma(m) * mp.factorial(j)
                        * mp.factorial(n - 2 * j)) * (2 * x)**(n - 2 * j)
                        for j in range(n // 2 + 1))


def terminating_2f1(a, m, c, z):
    """2F1(a, -m; c; z) for an integer m >= 0, a polynomial of degree m."""
    with mp.workdps(150):  # the alternating terms cancel heavily
        return +mp.fsum(mp.rf(a, j) * mp.rf(-m, j) / (mp.rf(c, j) * mp.factorial(j)) * z**j
                        for j in range(m + 1))


def laguerre_coefficients(l, lam, k):
    q = k / lam
    x = (q * q - mp.mpf(1) / 4) / (q * q + mp.mpf(1) / 4)
    y = mp.sqrt(1 - x * x)
    u = (1 - x) / 2
    s = [mp.factorial(l) * 2**l * mp.factorial(n) / mp.factorial(n + 2 * l + 1) * y**(l + 1)
         * gegenbauer(n, l + 1, x) for n in range(NMAX + 2)]
    c = [-mp.gamma(l + mp.mpf(1) / 2) / mp.sqrt(mp.pi) * 2**l / y**l * mp.factorial(n)
         / mp.factorial(n + 2 * l + 1) * terminating_2f1(n + 1, n + 2 * l + 1, mp.mpf(1) / 2 - l, u)
         for n in range(NMAX + 2)]
    return s, c


def oscillator_coefficients(l, lam, k):
    q = k / lam
    q2 = q * q
    common = mp.exp(-q2 / 2)
    s = [(-1)**n * mp.sqrt(2 * mp.pi) * mp.factorial(n) / mp.gamma(n + l + mp.mpf(3) / 2) * common * q**(l + 1)
         * mp.laguerre(n, l + mp.mpf(1) / 2, q2) for n in range(NMAX + 2)]
    c = [(-1)**n * mp.sqrt(2 / mp.pi) * mp.gamma(l + mp.mpf(1) / 2) * mp.factorial(n)
         / mp.gamma(n + l + mp.mpf(3) / 2) * common * q**(-l)
         * mp.hyp1f1(-n - l - mp.mpf(1) / 2, mp.mpf(1) / 2 - l, q2, zeroprec=400) for n in range(NMAX + 2)]
    return s, c


def free_matrix(basis, l, lam, k):
    def d(i, j):
        return 1 if i == j else 0

    def element(i, n):
        if basis == 0:
            g = mp.factorial(n + 2 * l + 1) / mp.factorial(n)
            band = (2 * (n + l + 1) * d(i, n), n * d(i, n - 1), (n + 2 * l + 2) * d(i, n + 1))
            fifi = g / lam * (band[0] - band[1] - band[2])
            psipsi = lam * g / 4 * (band[0] + band[1] + band[2])
        else:
            g = mp.gamma(n + l + mp.mpf(3) / 2) / mp.factorial(n)
            fifi = g / (2 * lam) * d(i, n)
            psipsi = lam * g / 2 * ((2 * n + l + mp.mpf(3) / 2) * d(i, n) + n * d(i, n - 1)
                                    + (n + l + mp.mpf(3) / 2) * d(i, n + 1))
        return psipsi / 2 - k * k * fifi / 2

    return element


def check_free_relation(basis, l, lam, k, t, first_row):
    j = free_matrix(basis, l, lam, k)
    for n in range(first_row, NMAX + 1):
        cols = range(max(n - 1, 0), n + 2)
        terms = [j(n, m) * t[m] for m in cols]
        scale = mp.fsum(abs(j(n, m)) for m in cols) * max(abs(t[m]) for m in cols)
        assert abs(mp.fsum(terms)) <= mp.mpf(10) ** -30 * scale, (basis, l, lam, k, n)


def main():
    lines = ["# Free-solution coefficients from closed forms checked against the free relation "
             "(mpmath, 40 digits, gen_coefficients.py)",
             "# basis(0 laguerre, 1 gauss) l lambda k n s_n c_n"]
    for basis, l, lam, k in CASES:
        lam, k = mp.mpf(str(lam)), mp.mpf(str(k))
        coeffs = laguerre_coefficients if basis == 0 else oscillator_coefficients
        s, c = coeffs(l, lam, k)
        check_free_relation(basis, l, lam, k, s, 0)
        check_free_relation(basis, l, lam, k, c, 1)
        for n in range(NMAX + 1):
            lines.append(f"{basis} {l} {mp.nstr(lam, 6)} {mp.nstr(k, 6)} {n} "
                         f"{mp.nstr(s[n], 20)} {mp.nstr(c[n], 20)}")
    with open(__file__.rsplit("/", 1)[0] + "/coefficients_reference.txt", "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
