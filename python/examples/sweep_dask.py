"""A sweep of s-wave phase shifts over Yukawa strengths, mapped over a dask.distributed cluster:
a 2-worker LocalCluster here, or a running scheduler given by its address, unchanged.

    PYTHONPATH=build/python /usr/bin/python3 python/examples/sweep_dask.py [tcp://host:8786]

Each task is one skarven call (which releases the GIL and runs single-threaded here, the cluster
giving the parallelism); results come back in the order of the strengths.
"""
import sys

import numpy as np

ENERGIES = np.linspace(0.1, 2.0, 20)  # hartree
N = 150                               # basis size


def delta_for(g, m=1.0):
    """delta(E) (rad) of -g^2 e^(-m r) / r (hartree; m in 1/bohr) at ENERGIES, basis size N."""
    import skarven  # on the worker

    problem = skarven.Problem(potential=skarven.yukawa(g=g, m=m), lam=2.0)
    return skarven.phase_shifts(problem, N, ENERGIES, threads=1).delta


def sweep(client, strengths):
    """delta[strength, energy] computed on the cluster of `client`."""
    futures = client.map(delta_for, list(strengths), pure=False)
    return np.array(client.gather(futures))


def serial(strengths):
    """The same sweep in this process, one strength after the other."""
    return np.array([delta_for(g) for g in strengths])


def main():
    from dask.distributed import Client, LocalCluster

    strengths = np.linspace(0.2, 2.0, 16)
    if len(sys.argv) > 1:
        client = Client(sys.argv[1])
    else:
        client = Client(LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None))
    with client:
        deltas = sweep(client, strengths)
    for g, delta in zip(strengths, deltas):
        print(f"g = {g:5.3f}  delta(E = {ENERGIES[0]}) = {delta[0]: .10f}  "
              f"delta(E = {ENERGIES[-1]}) = {delta[-1]: .10f}")


if __name__ == "__main__":
    main()
