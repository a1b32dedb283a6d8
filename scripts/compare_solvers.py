#!/usr/bin/env python3
"""Runs every shipped example with the exact solver (the default) and with the
Adams integration held to tight tolerances (relerr 1e-12; at 1e-9 the
reference itself is off by up to 3e-4 at the deepest depths of red bands), and reports the
largest relative difference of Ed, Eu, Eo and Lu over every output depth and
band, and of the radiance L in every quad (the Fourier modes above 0 show only
there). Both runs read the same run-input file; only the run options differ.

The tight Adams reference is slow (its step is held near 0.02 optical depths
by the band next to the horizon), so each example runs on at most --bands of
its bands (every k-th band solved, the rest interpolated alike in both runs;
the inelastic examples solve every band, since each feeds the next).

Values below 1e-12 of the largest of their quantity are left out (and counted):
the reference's absolute tolerance does not hold them.

Both runs use the partition --partition (default 10x24, where the tight
reference costs a sixth of what it does on the run default 20x24; the
closed-form solve does not depend on the partition, and --partition 20x24
checks the default itself).

Usage: compare_solvers.py BUILD_DIR [--bands N] [--tolerance T] [--partition P] [examples...]
Exits 1 when a difference of Ed, Eu, Eo or Lu exceeds the tolerance (default 1e-5); the
quad radiances are reported, not held to it.
"""
import argparse
import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "python"))

from abyssolver.runinput import RunInput  # noqa: E402
from abyssolver import engine  # noqa: E402
from abyssolver.dataset import open_run  # noqa: E402

QUANTITIES = ("Ed", "Eu", "Eo", "Lu", "L")


def fewer_bands(ri, nbands):
    """The run solving about nbands of its bands (every k-th, the others interpolated by the engine
    alike in both runs); runs with inelastic sources solve every band (each feeds the next)."""
    edges = ri.band_edges
    if ri.single_wavelength is not None or edges is None or any(ri.sources[:4]):
        return ri
    n = len(edges) - 1
    if n <= nbands:
        return ri
    return ri.replace(band_skip=-(-(n - 1) // (nbands - 1)))


def light(ds):
    out = {}
    for q in QUANTITIES:
        if q in ds:
            da = ds[q]
            out[q] = np.asarray(da.values, dtype=float)
    return out


def run(build, ri, options, workdir):
    ri = ri.replace(options={**ri.options, **options})
    nc = engine.run_engine(ri, workdir, progress=False, engine=os.path.join(os.path.abspath(build), "abyssolver"))
    return light(open_run(nc))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--bands", type=int, default=3)
    ap.add_argument("--tolerance", type=float, default=1e-5)
    ap.add_argument("--partition", default="10x24")
    ap.add_argument("examples", nargs="*")
    args = ap.parse_intermixed_args()
    names = args.examples or sorted(f[:-4] for f in os.listdir(os.path.join(ROOT, "examples")) if f.endswith(".txt"))
    import tempfile
    worst_all = 0.0
    print(f"{'example':22s} {'bands':>5s} " + " ".join(f"{q:>9s}" for q in QUANTITIES))
    for name in names:
        ri = fewer_bands(RunInput.read(os.path.join(ROOT, "examples", name + ".txt")), args.bands)
        ri = ri.replace(options={**ri.options, "partition": args.partition})
        with tempfile.TemporaryDirectory(prefix="abyss_cmp_") as tmp:
            # The Adams integration keeps the sun's beam in its quad of the sky: both runs do.
            exact = run(args.build, ri, {"solver": "exact", "sun_beam": "quad"}, engine.Path(tmp) / "exact")
            adams = run(args.build, ri, {"solver": "adams", "relerr": "1e-12", "sun_beam": "quad"}, engine.Path(tmp) / "adams")
        cols = []
        skipped = 0
        for q in QUANTITIES:
            if q not in exact:
                cols.append(f"{'-':>9s}")
                continue
            a, b = exact[q], adams[q]
            # The reference's absolute tolerance (1e-3 of relerr) leaves values below about
            # 1e-12 of the largest uncontrolled (the 700 nm band of case1_twoparticle at 100 m,
            # 2e-22 of the surface value, moves by 2e-5 when 80 m is also requested).
            ok = np.abs(b) > 1e-12 * np.max(np.abs(b))
            skipped += int(np.count_nonzero(~ok & (np.abs(b) > 0)))
            d = float(np.max(np.abs(a[ok] / b[ok] - 1.0))) if ok.any() else 0.0
            if q != "L":
                worst_all = max(worst_all, d)
            cols.append(f"{d:9.1e}")
        nwave = len(ri.band_edges) - 1 if ri.band_edges else 1
        nb = len(set(range(1, nwave + 1, max(1, ri.band_skip))) | {nwave})
        note = f"  ({skipped} values below 1e-12 of the largest left out)" if skipped else ""
        print(f"{name:22s} {nb:5d} " + " ".join(cols) + note, flush=True)
    print(f"largest difference {worst_all:.2e} (tolerance {args.tolerance:.0e})")
    return 0 if worst_all <= args.tolerance else 1


if __name__ == "__main__":
    sys.exit(main())
