#!/usr/bin/python3
"""Reference coefficients s_n, c_n of the free solutions over the whole range of basis sizes
(n <= 5000) and of energies (q^2 up to 2000), sampled, at 60 correct digits.

Each sequence starts from the closed forms of gen_coefficients.py at n = 0, 1 and is continued
by the free relation J(n, n-1) t(n-1) + J(n, n) t(n) + J(n, n+1) t(n+1) = 0 in exact-enough
arithmetic: the relation is run at two working precisions that both exceed the digits it loses
(about 0.45 q^2 in the oscillator basis), and the values must agree to 60 digits. A few entries
are also checked against the closed forms evaluated directly at that n.

Every case has lambda = 1 and k = sqrt(q^2) as a double, so q = k exactly as the program forms
it; the value written for k round-trips.

Output: coefficients_range.txt: basis(0 laguerre, 1 gauss) l k n s_n c_n
"""
import math

import mpmath as mp

import gen_coefficients as closed

NMAX = 5000
Q2 = (1, 40, 400, 2000)
LS = (0, 3, 20)
DIGITS = 60


def samples(q2):
    n = {0, 1, 2, 3, 4, 5, NMAX - 1, NMAX}
    n |= {int(round(10 ** (j / 8))) for j in range(0, 30) if 10 ** (j / 8) <= NMAX}
    turn = q2 // 4  # the oscillator basis's turning point
    n |= {m for m in range(turn - 2, turn + 3) if 0 <= m <= NMAX}
    return sorted(n)


def starting_values(basis, l, k):
    """t(0), t(1) of both solutions from the closed forms (see gen_coefficients.py)."""
    q = mp.mpf(k)
    q2 = q * q
    half = mp.mpf(1) / 2
    if basis == 0:
        x = (q2 - half / 2) / (q2 + half / 2)
        y = q / (q2 + half / 2)
        u = (1 - x) / 2
        pre_s = mp.factorial(l) * 2**l * y ** (l + 1)
        s = [pre_s / mp.factorial(2 * l + 1), pre_s / mp.factorial(2 * l + 2) * 2 * (l + 1) * x]
        pre_c = -mp.gamma(l + half) / mp.sqrt(mp.pi) * 2**l / y**l
        c = [pre_c * mp.factorial(n) / mp.factorial(n + 2 * l + 1)
             * mp.fsum(mp.rf(n + 1, j) * mp.rf(-n - 2 * l - 1, j) / (mp.rf(half - l, j)
                       * mp.factorial(j)) * u**j for j in range(n + 2 * l + 2)) for n in (0, 1)]
    else:
        common = mp.exp(-q2 / 2)
        s = [mp.sqrt(2 * mp.pi) / mp.gamma(l + 3 * half) * common * q ** (l + 1),
             -mp.sqrt(2 * mp.pi) / mp.gamma(l + 5 * half) * common * q ** (l + 1)
             * (l + 3 * half - q2)]
        c = [mp.sqrt(2 / mp.pi) * mp.gamma(l + half) / mp.gamma(l + 3 * half) * common
             * q ** (-l) * kummer(-l - half, half - l, q2),
             -mp.sqrt(2 / mp.pi) * mp.gamma(l + half) / mp.gamma(l + 5 * half) * common
             * q ** (-l) * kummer(-l - 3 * half, half - l, q2)]
    return s, c


def run_relation(basis, l, k, dps):
    """The relation with J = psipsi/2 - k^2 fifi/2 of gen_coefficients.free_matrix (lambda = 1),
    its G(n) carried from one n to the next; a few rows are compared with free_matrix itself."""
    with mp.workdps(dps):
        k = mp.mpf(k)
        s, c = starting_values(basis, l, k)
        half = mp.mpf(1) / 2
        if basis == 0:
            grow = lambda n: mp.mpf(n + 2 * l + 2) / (n + 1)  # G(n+1)/G(n), G = (n+2l+1)!/n!
            g = [mp.factorial(2 * l + 1)]
        else:
            grow = lambda n: (n + l + 3 * half) / (n + 1)  # G = Gamma(n + l + 3/2)/n!
            g = [mp.gamma(l + 3 * half)]
        for n in range(NMAX + 1):
            g.append(g[n] * grow(n))

        def j(i, n):
            if basis == 0:
                band = (2 * (n + l + 1) * (i == n), n * (i == n - 1), (n + 2 * l + 2) * (i == n + 1))
                return g[n] * ((band[0] + band[1] + band[2]) / 8 - k * k * (band[0] - band[1] - band[2]) / 2)
            band = ((2 * n + l + 3 * half) * (i == n), n * (i == n - 1), (n + l + 3 * half) * (i == n + 1))
            return g[n] * ((band[0] + band[1] + band[2]) / 4 - k * k * (i == n) / 4)

        exact = closed.free_matrix(basis, l, mp.mpf(1), k)
        for n in (1, 2, 17, 300):
            for m in (n - 1, n, n + 1):
                assert abs(j(n, m) - exact(n, m)) <= mp.eps * 1e3 * abs(exact(n, m)), (n, m)
        for n in range(1, NMAX):
            a, b, e = j(n, n - 1), j(n, n), j(n, n + 1)
            s.append(-(a * s[n - 1] + b * s[n]) / e)
            c.append(-(a * c[n - 1] + b * c[n]) / e)
        return s, c


def kummer(a, b, z):
    """1F1(a; b; z) by its series at the current precision (z > 0, enough terms)."""
    total, term, i = mp.mpf(1), mp.mpf(1), 0
    while True:
        i += 1
        term = term * z * (a + i - 1) / (i * (b + i - 1))
        total += term
        if i > z + 10 and abs(term) < abs(total) * mp.eps:
            return total


def direct(basis, l, k, n):
    """s_n, c_n straight from the closed forms at n (oscillator basis only)."""
    q2 = mp.mpf(k) ** 2
    q = mp.mpf(k)
    norm = (-1) ** n * mp.factorial(n) / mp.gamma(n + l + mp.mpf(3) / 2) * mp.exp(-q2 / 2)
    s = mp.sqrt(2 * mp.pi) * norm * q ** (l + 1) * mp.laguerre(n, l + mp.mpf(1) / 2, q2)
    c = (mp.sqrt(2 / mp.pi) * mp.gamma(l + mp.mpf(1) / 2) * norm * q ** (-l)
         * kummer(-n - l - mp.mpf(1) / 2, mp.mpf(1) / 2 - l, q2))
    return s, c


def main():
    lines = ["# Free-solution coefficients, sampled n <= 5000, 60 digits "
             "(mpmath, gen_coefficients_range.py)",
             "# basis(0 laguerre, 1 gauss) l k n s_n c_n"]
    for basis in (0, 1):
        for q2 in Q2:
            k = math.sqrt(q2)
            for l in LS:
                lost = int(0.5 * q2) if basis == 1 else int(2 * (l + 1) * math.log10(q2 + 10))
                dps = DIGITS + 40 + lost
                s, c = run_relation(basis, l, k, dps)
                s2, c2 = run_relation(basis, l, k, dps + 60)
                picked = samples(q2)
                with mp.workdps(dps + 60):
                    for n in picked:
                        size = mp.sqrt(s2[n] ** 2 + c2[n] ** 2)
                        assert abs(s[n] - s2[n]) < 10 ** -DIGITS * size, (basis, q2, l, n)
                        assert abs(c[n] - c2[n]) < 10 ** -DIGITS * size, (basis, q2, l, n)
                    if basis == 1:
                        # (at q^2 = 2000 only in the leading part: the series at n = 5000
                        # would need some 4000 digits)
                        for n in (picked[len(picked) // 3], picked[-1])[:2 if q2 <= 400 else 1]:
                            # the series' largest terms are about e^(2 sqrt(n q^2)) times its sum
                            with mp.workdps(dps + 60 + int(0.87 * math.sqrt(n * q2))):
                                ds, dc = direct(basis, l, k, n)
                            size = mp.sqrt(ds ** 2 + dc ** 2)
                            assert abs(ds - s2[n]) < 10 ** -DIGITS * size, (q2, l, n, "s")
                            assert abs(dc - c2[n]) < 10 ** -DIGITS * size, (q2, l, n, "c")
                for n in picked:
                    lines.append(f"{basis} {l} {k!r} {n} {mp.nstr(s2[n], 22, min_fixed=1, max_fixed=0)}"
                                 f" {mp.nstr(c2[n], 22, min_fixed=1, max_fixed=0)}")
                print(basis, q2, l, "done", flush=True)
    with open(__file__.rsplit("/", 1)[0] + "/coefficients_range.txt", "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
