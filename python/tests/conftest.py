# The module under test is the one on PYTHONPATH (CTest points it at the build tree); the program
# binary, for comparisons with its result files, comes from SKARVEN_BINARY.
import os
import shutil

import pytest


@pytest.fixture(scope="session")
def program():
    binary = os.environ.get("SKARVEN_BINARY") or shutil.which("skarven")
    if not binary:
        pytest.skip("SKARVEN_BINARY is not set and no skarven on PATH")
    return binary
