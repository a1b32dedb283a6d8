"""Abyssolver from Python: build run-input files, run the engine, read and plot its results.

    import abyssolver as ab
    ds = ab.run(ab.RunInput.example('case1_default'))
    print(ds.Rrs.sel(depth='air'))
"""
from .dataset import open_run, water
from .engine import RunError, find_data, find_engine, repository_root, run
from .runinput import RunInput, RunInputError

__all__ = ["RunInput", "RunInputError", "RunError", "run", "open_run", "water", "find_engine", "find_data",
           "repository_root"]
__version__ = "5.1.0"
