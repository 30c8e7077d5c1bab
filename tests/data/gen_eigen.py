#!/usr/bin/env python3
"""Reference eigenvalues for the symmetric eigensolver tests (writes eigen_reference.txt).

Each case is a symmetric matrix with entries k/1024 for integers k, so the file holds the
matrix exactly. Random cases draw k uniformly from [-4096, 4096] with a fixed seed; the
complete-graph case (ones off the diagonal) has the eigenvalue -1 eleven times. Eigenvalues
come from LAPACK through numpy.linalg.eigvalsh, in ascending order.

File layout, per case: a line with the order n; n lines with the lower triangle of row i
(i + 1 integers k); one line with the n eigenvalues.
"""
import os

import numpy as np

ORDERS = [1, 2, 3, 10, 51, 52, 200]
DENOMINATOR = 1024


def random_case(rng, n):
    k = rng.integers(-4096, 4097, size=(n, n))
    return np.tril(k) + np.tril(k, -1).T


def complete_graph(n):
    return DENOMINATOR * (np.ones((n, n), dtype=np.int64) - np.eye(n, dtype=np.int64))


def main():
    rng = np.random.default_rng(20240611)
    cases = [("random", random_case(rng, n)) for n in ORDERS]
    cases.append(("complete graph", complete_graph(12)))

    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "eigen_reference.txt")
    with open(out, "w") as f:
        f.write("# Symmetric eigensolver references, tests/data/gen_eigen.py.\n")
        f.write("# Matrix entries are k/%d; eigenvalues from numpy.linalg.eigvalsh (LAPACK).\n"
                % DENOMINATOR)
        for name, k in cases:
            n = k.shape[0]
            w = np.linalg.eigvalsh(k.astype(np.float64) / DENOMINATOR)
            f.write("# %s, order %d\n" % (name, n))
            f.write("%d\n" % n)
            for i in range(n):
                f.write(" ".join(str(int(v)) for v in k[i, : i + 1]) + "\n")
            f.write(" ".join("%.17g" % v for v in w) + "\n")


if __name__ == "__main__":
    main()
