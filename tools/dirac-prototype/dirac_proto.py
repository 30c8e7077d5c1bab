#!/usr/bin/python3
"""Prototype: Dirac phase shifts in the Laguerre basis, today's kinetic-balance scheme and the
variant with a non-integer reference order kappa' = sign(kappa) gamma.

Basis of order alpha = 2 lb + 1 (lb may be non-integer), x = r (lambda = 1):
  phi_n = x^(lb+1) e^(-x/2) L_n^alpha(x)
  psi_n = phi_n' + (kb / x) phi_n = x^lb e^(-x/2) [kb L_n + (n+1)/2 L_(n+1) - (n+alpha)/2 L_(n-1)]
Today: lb = l, kb = kappa. Variant: kb = kappa', lb = -kb - 1 (kb < 0) or kb (kb > 0), and the
true operator adds c (kappa - kb) <phi_m | psi_n / r> to the upper-lower block (and its mirror).

g_N for every N from one block elimination of the interleaved matrix (phi_0, psi_0, phi_1, ...):
the inverse of the leading 2N block at its last 2x2 block is the inverse of the 2x2 Schur
complement, whose (0, 0) element is g_N.
"""
import numpy as np
import mpmath as mp
from scipy.special import roots_jacobi, gammaln

C_LIGHT = 137.0359996287515


# ---------------------------------------------------------------- basis and free matrices
def overlap_kinetic(nmax, lb):
    """S and T (twice the kinetic matrix) of the order-lb basis, tridiagonal, indices 0..nmax."""
    n = np.arange(nmax + 1, dtype=float)
    G = np.exp(gammaln(n + 2 * lb + 2) - gammaln(n + 1))
    S = np.zeros((nmax + 1, nmax + 1))
    T = np.zeros((nmax + 1, nmax + 1))
    idx = np.arange(nmax + 1)
    S[idx, idx] = G * 2 * (n + lb + 1)
    T[idx, idx] = G / 4 * 2 * (n + lb + 1)
    # element (n-1, n) = G(n) * (-n) for S, G(n) * n / 4 for T
    S[idx[1:] - 1, idx[1:]] = -G[1:] * n[1:]
    T[idx[1:] - 1, idx[1:]] = G[1:] * n[1:] / 4
    S = np.triu(S) + np.triu(S, 1).T
    T = np.triu(T) + np.triu(T, 1).T
    return S, T


def laguerre_table(nmax, alpha, x):
    L = np.empty((nmax + 2, x.size))
    L[0] = 1.0
    L[1] = 1.0 + alpha - x
    for n in range(1, nmax + 1):
        L[n + 1] = ((2 * n + 1 + alpha - x) * L[n] - (n + alpha) * L[n - 1]) / (n + 1)
    return L


def psi_bracket(L, nmax, alpha, kb):
    """B_n = kb L_n + (n+1)/2 L_(n+1) - (n+alpha)/2 L_(n-1), n = 0..nmax-1."""
    n = np.arange(nmax)[:, None]
    Lm1 = np.vstack([np.zeros((1, L.shape[1])), L[: nmax - 1]])
    return kb * L[:nmax] + (n + 1) / 2 * L[1 : nmax + 1] - (n + alpha) / 2 * Lm1


def potential_blocks(nmax, lb, kb, xv, xend, nodes):
    """<phi|V|phi> and <psi|V|psi> (n, m < nmax) with xv(x) = x V(x) on [0, xend]."""
    alpha = 2 * lb + 1
    vanishes = abs(kb + lb + 1) < 1e-14  # psi ~ x^(lb+1): B_n / x is a polynomial
    t, w = roots_jacobi(nodes, 0.0, alpha)
    x = xend * (1 + t) / 2
    scale = (xend / 2) ** (alpha + 1)
    L = laguerre_table(nmax, alpha, x)
    f = np.exp(-x) * xv(x) * w * scale
    Lp = L[:nmax]
    VPP = (Lp * f) @ Lp.T
    B = psi_bracket(L, nmax, alpha, kb)
    if vanishes:
        Bx = B / x
        VQQ = (Bx * f) @ Bx.T
    else:
        t2, w2 = roots_jacobi(nodes, 0.0, alpha - 2)
        x2 = xend * (1 + t2) / 2
        L2 = laguerre_table(nmax, alpha, x2)
        B2 = psi_bracket(L2, nmax, alpha, kb)
        f2 = np.exp(-x2) * xv(x2) * w2 * (xend / 2) ** (alpha - 1)
        VQQ = (B2 * f2) @ B2.T
    return VPP, VQQ


def remainder_block(nmax, lb, kb):
    """R[m, n] = <phi_m | psi_n / r> over [0, inf), closed form:
    int x^(alpha-1) e^-x L_m L_j = H(min(m, j)), H(p) = Gamma(p + alpha + 1) / (alpha p!)."""
    alpha = 2 * lb + 1
    p = np.arange(nmax + 1, dtype=float)
    H = np.exp(gammaln(p + alpha + 1) - gammaln(p + 1)) / alpha
    m = np.arange(nmax)[:, None]
    n = np.arange(nmax)[None, :]
    Hmin = lambda j: H[np.minimum(m, np.maximum(j, 0))] * (j >= 0)
    return kb * Hmin(n) + (n + 1) / 2 * Hmin(n + 1) - (n + alpha) / 2 * Hmin(n - 1)


# ---------------------------------------------------------------- free solutions
def free_coefficients(nmax, lb, k):
    """s_n, c_n, n = 0..nmax, of the order-lb Laguerre basis (lambda = 1): closed forms at n = 0, 1
    (Gamma functions in place of factorials) continued by the three-term relation."""
    mp.mp.dps = 30
    l = mp.mpf(lb)
    q = mp.mpf(k)
    x = (q * q - mp.mpf(1) / 4) / (q * q + mp.mpf(1) / 4)
    y = mp.sqrt(1 - x * x)
    u = 1 / (4 * q * q + 1)
    pre = mp.gamma(l + 1) * 2**l * y ** (l + 1)
    s0 = pre / mp.gamma(2 * l + 2)
    s1 = pre / mp.gamma(2 * l + 3) * 2 * (l + 1) * x
    # The cosine-like partner from the outgoing solution h_n = e^(i(n+l+1)t) n!/Gamma(n+l+2)
    # 2F1(-l, n+1; n+l+2; e^(2it)), cos t = x, which solves the relation for n >= 1 at any l:
    # h = A (-c + i s) with the complex A fixed by Im(h/A) = s at n = 0, 1. (The integer-l
    # closed form in 2F1(n+1, -n-2l-1; 1/2-l; u) continues to non-integer l with an admixture of s.)
    th = mp.acos(x)
    h = [mp.exp(1j * (n + l + 1) * th) * mp.gamma(n + 1) / mp.gamma(n + l + 2)
         * mp.hyp2f1(-l, n + 1, n + l + 2, mp.exp(2j * th)) for n in (0, 1)]
    M = mp.matrix([[mp.im(h[0]), mp.re(h[0])], [mp.im(h[1]), mp.re(h[1])]])
    a, b = mp.lu_solve(M, mp.matrix([s0, s1]))
    c0 = -(mp.re(h[0]) * a - mp.im(h[0]) * b)
    c1 = -(mp.re(h[1]) * a - mp.im(h[1]) * b)
    S, T = overlap_kinetic(nmax + 1, lb)
    J = 0.5 * T - 0.5 * k * k * S
    s = np.zeros(nmax + 1)
    c = np.zeros(nmax + 1)
    s[0], s[1], c[0], c[1] = float(s0), float(s1), float(c0), float(c1)
    for n in range(2, nmax + 1):
        s[n] = -(J[n - 1, n - 2] * s[n - 2] + J[n - 1, n - 1] * s[n - 1]) / J[n - 1, n]
        c[n] = -(J[n - 1, n - 2] * c[n - 2] + J[n - 1, n - 1] * c[n - 1]) / J[n - 1, n]
    return s, c, J


# ---------------------------------------------------------------- g_N for all N
def schur_pivots(A, block):
    """Leading-block Schur complements of a symmetric matrix, block x block each, for every
    leading size; blocked: exact panel elimination, trailing update by one solve and a GEMM."""
    A = A.copy()
    n = A.shape[0]
    piv = []
    panel = 64 * block
    for p in range(0, n, panel):
        e = min(p + panel, n)
        M = A[p:e, p:e].copy()
        for j in range(0, e - p, block):
            P = M[j : j + block, j : j + block].copy()
            piv.append(P)
            if j + block < e - p:
                r = slice(j + block, e - p)
                M[r, r] -= M[r, j : j + block] @ np.linalg.solve(P, M[j : j + block, r])
        if e < n:
            X = np.linalg.solve(A[p:e, p:e], A[p:e, e:])
            A[e:, e:] -= A[e:, p:e] @ X
    return piv


class Family:
    """Basis functions x^a e^(-x/2) P_n(x) with P_n polynomials, n = 0..nmax-1, at given nodes."""

    def __init__(self, kind, nmax, lb, kb):
        self.kind, self.nmax, self.alpha, self.kb = kind, nmax, 2 * lb + 1, kb
        # psi ~ x^(lb+1) when kb = -(lb+1): B_n / x is then a polynomial
        self.vanish = kind == "psi" and abs(kb + lb + 1) < 1e-14
        if kind == "phi":
            self.a = lb + 1
        else:
            self.a = lb + (1 if self.vanish else 0)

    def values(self, x):
        L = laguerre_table(self.nmax, self.alpha, x)
        if self.kind == "phi":
            return L[: self.nmax]
        B = psi_bracket(L, self.nmax, self.alpha, self.kb)
        return B / x if self.vanish else B


XSTART = 0.0  # lower end of the potential (a shell); 0 for the singular cases


def integral_matrix(f1, f2, h, s, xend, nodes):
    """int_0^xend f1_m f2_n x^-s h(x) dx, h smooth; Gauss-Jacobi in the weight x^(a1 + a2 - s).
    With XSTART > 0, Gauss-Legendre on [XSTART, xend]."""
    p = f1.a + f2.a - s
    if XSTART > 0.0:
        t, w = roots_jacobi(nodes, 0.0, 0.0)
        x = XSTART + (xend - XSTART) * (1 + t) / 2
        f = np.exp(-x) * h(x) * w * x**p * (xend - XSTART) / 2
        return (f1.values(x) * f) @ f2.values(x).T
    t, w = roots_jacobi(nodes, 0.0, p)
    x = xend * (1 + t) / 2
    f = np.exp(-x) * h(x) * w * (xend / 2) ** (p + 1)
    return (f1.values(x) * f) @ f2.values(x).T


def dirac_matrix(kappa, xv, xend, e, nmax, variant, balance, c, zeff, nodes, lam=1.0):
    """The 2N x 2N matrix (natural block order) and the reference order lb, kb.
    balance = "kinetic": lower basis psi_n = D phi_n, D = d/dr + kb/r (today's scheme);
    "atomic": psi_n = w D phi_n with w = 2c^2 / (2c^2 - V), which carries the small component's
    r/Z shape inside r ~ Z/(2c^2) that no affordable basis resolves. The parts beyond the
    tridiagonal free matrix (V, the kappa - kb remainder, the balance factor's w - 1) are
    truncated to N x N like V."""
    l = -kappa - 1 if kappa < 0 else kappa
    if variant:
        gamma = np.sqrt(kappa * kappa - (zeff / c) ** 2)
        kb = np.sign(kappa) * gamma
        lb = -kb - 1 if kb < 0 else kb
    else:
        kb, lb = float(kappa), float(l)
    N = nmax
    S, T = overlap_kinetic(nmax, lb)
    # basis scale lam: x = lam r; S and T of the x functions, physical S / lam and lam T
    S, T = S / lam, lam * T
    xv0, xend = xv, xend * lam
    xv = lambda x: lam * xv0(x / lam)  # x V in units of x, times lam (the psi factor of V)
    phi = Family("phi", N, lb, kb)
    psi = Family("psi", N, lb, kb)
    c2 = 2 * c * c
    UU = -e * S[:N, :N] + integral_matrix(phi, phi, xv, 1, xend, nodes) / lam
    UL = c * T[:N, :N]
    if variant:
        UL = UL + c * (kappa - kb) * lam * remainder_block(N, lb, kb)
    if balance == "kinetic":
        LL = -(c2 + e) * T[:N, :N] + lam * integral_matrix(psi, psi, xv, 1, xend, nodes)
    else:
        r_of = lambda x: x / lam
        m2 = c2 + e if balance == "exact" else c2  # "exact": w = (2c^2+E) / (2c^2+E-V)
        wm1 = lambda x: xv0(r_of(x)) / (m2 * r_of(x) - xv0(r_of(x)))  # w - 1
        # <D phi_m | (w - 1) D phi_n>, and the remainder's <phi_m | (w - 1) D phi_n / r>
        UL = UL + c * lam * integral_matrix(psi, psi, wm1, 0, xend, nodes)
        if variant:
            UL = UL + c * (kappa - kb) * lam * integral_matrix(phi, psi, wm1, 1, xend, nodes)

        def hll(x):
            r = r_of(x)
            w = m2 * r / (m2 * r - xv0(r))
            return w * w * (xv0(r) / r - c2 - e) + c2 + e

        LL = -(c2 + e) * T[:N, :N] + lam * integral_matrix(psi, psi, hll, 0, xend, nodes)
    return UU, UL, LL, lb, kb


def dirac_deltas(kappa, xv, xend, e, nmax, variant, c=C_LIGHT, zeff=None, nodes=None,
                 balance="kinetic", lam=1.0, tail=False):
    """delta_N, N = 1..nmax. variant: reference order kappa' = sign(kappa) gamma with
    gamma from zeff (the 1/r strength of V at the origin). tail: the outer lower rows, False
    (d_n = 0 beyond the basis), "alternating", "minimal", "null" (below) or a ratio rho."""
    k = np.sqrt(e * (2 * c * c + e)) / c
    if nodes is None:
        nodes = nmax + 600
    UU, UL, LL, lb, kb = dirac_matrix(kappa, xv, xend, e, nmax, variant, balance, c, zeff, nodes,
                                      lam)
    N = nmax
    A = np.zeros((2 * N, 2 * N))
    A[0::2, 0::2] = UU
    A[0::2, 1::2] = UL
    A[1::2, 0::2] = UL.T
    A[1::2, 1::2] = LL
    piv = schur_pivots(A, 2)
    s, cc, J = free_coefficients(nmax + 1, lb, k / lam)
    J = lam * J
    B = 2 * c * c / (2 * c * c + e)
    out = np.empty(nmax)
    Sf, Tf = overlap_kinetic(nmax + 1, lb)
    Tf = lam * Tf
    G = np.exp(gammaln(np.arange(nmax + 2) + 2 * lb + 2) - gammaln(np.arange(nmax + 2) + 1))
    v = np.array([c, -(2 * c * c + e)])
    for Nn in range(1, nmax + 1):
        P = piv[Nn - 1]
        if tail:
            # the outer lower rows: d = c a - (2c^2+E) b solves T d = 0 beyond the basis, whose
            # solutions are (-1)^n ("alternating", r^(l+1)) and (-1)^n / G(n) ("minimal", r^-l);
            # "null" takes the null function of D, r^-kappa (the first for kappa < 0)
            minimal = tail == "minimal" or (tail == "null" and kb > 0)
            if isinstance(tail, float):  # a fixed ratio, for scans
                rho = tail
            else:
                rho = -G[Nn - 1] / G[Nn] if minimal else -1.0
            P = P - Tf[Nn - 1, Nn] * rho / (2 * c * c + e) * np.outer(v, v)
        g = np.linalg.inv(P)[0, 0]
        X = B * g * J[Nn, Nn - 1]
        t = -(s[Nn - 1] + X * s[Nn]) / (cc[Nn - 1] + X * cc[Nn])
        out[Nn - 1] = np.arctan(t)
    shift = (abs(kappa) - abs(kb)) * np.pi / 2  # delta = delta' - (lb - l) pi / 2
    return out + shift


def schroedinger_deltas(l, xv, xend, e, nmax, nodes=None):
    """Schroedinger scheme, order l (may be non-integer), delta_N for N = 1..nmax."""
    k = np.sqrt(2 * e)
    if nodes is None:
        nodes = nmax + 600
    VPP, _ = potential_blocks(nmax, l, -l - 1, xv, xend, nodes)
    s, cc, J = free_coefficients(nmax + 1, l, k)
    A = J[:nmax, :nmax] + VPP
    piv = schur_pivots(A, 1)
    out = np.empty(nmax)
    for Nn in range(1, nmax + 1):
        g = 1.0 / piv[Nn - 1][0, 0]
        X = g * J[Nn, Nn - 1]
        out[Nn - 1] = np.arctan(-(s[Nn - 1] + X * s[Nn]) / (cc[Nn - 1] + X * cc[Nn]))
    return out
