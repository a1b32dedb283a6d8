"""abyssolver-plot RUN.nc --out DIR: every plot of a run as PNG files."""
from __future__ import annotations

import argparse
import sys

from .dataset import open_run
from .plots import plot_all


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(prog="abyssolver-plot", description=__doc__)
    ap.add_argument("run", help="the run's NetCDF file (or its digital output file D<root>.txt)")
    ap.add_argument("--out", required=True, help="folder for the PNG files")
    ap.add_argument("--depth", type=float, default=None, help="depth (m) of the polar and IOP plots")
    ap.add_argument("--wavelength", type=float, default=None, help="band (nm) of the polar plot (default 550)")
    ap.add_argument("--kd-depths", type=float, nargs="*", default=None, help="depths (m) of the Kd spectra")
    a = ap.parse_args(argv)
    ds = open_run(a.run)
    for p in plot_all(ds, a.out, a.depth, a.wavelength, a.kd_depths):
        print(p)
    return 0


if __name__ == "__main__":
    sys.exit(main())
