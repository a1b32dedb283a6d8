"""Shared fixtures: the package from this checkout, and one default run kept for several tests."""
import sys
from pathlib import Path

import matplotlib
import pytest

matplotlib.use("Agg")
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

import abyssolver as ab  # noqa: E402


@pytest.fixture(scope="session")
def default_run(tmp_path_factory):
    """The default example run once in a kept work folder: (Dataset, work folder)."""
    work = tmp_path_factory.mktemp("default_run")
    ri = ab.RunInput.example("case1_default")
    ds = ab.run(ri, workdir=work, progress=False)
    return ds, work
