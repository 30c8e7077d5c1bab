# The Dask example's sweep on a 2-worker LocalCluster gives the serial loop's bits.
import os
import pathlib
import sys

import numpy as np
import pytest

distributed = pytest.importorskip("distributed")

EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"


def test_two_worker_local_cluster_gives_the_serial_bits(monkeypatch):
    # The worker processes import the example module and skarven from the same path as this one.
    monkeypatch.syspath_prepend(str(EXAMPLES))
    path = os.pathsep.join([str(EXAMPLES), *filter(None, [os.environ.get("PYTHONPATH")])])
    monkeypatch.setenv("PYTHONPATH", path)
    import sweep_dask

    strengths = np.linspace(0.2, 2.0, 6)
    expected = sweep_dask.serial(strengths)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            computed = sweep_dask.sweep(client, strengths)
            # The cluster is the two workers asked for.
            assert len(client.scheduler_info()["workers"]) == 2
    assert computed.tobytes() == expected.tobytes()
    del sys.modules["sweep_dask"]
