"""Case 1 water at three chlorophyll concentrations: how Rrs changes with Chl.

Run from the repository (Debian's Python): /usr/bin/python3 python/examples/chlorophyll_rrs.py
Writes chlorophyll_rrs.png and, for the middle run, every standard plot under plots_chl1/.
"""
# %% Imports: the package from this checkout (no installation needed when run from here)
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
import abyssolver as ab  # noqa: E402
from abyssolver import plots  # noqa: E402

# %% The default example (Case 1, 6 bands 400-700 nm) with finer bands and deeper output depths
base = ab.RunInput.example("case1_default").replace(
    band_edges=list(range(400, 701, 20)), depths=[0.0, 2.0, 5.0, 10.0, 20.0, 40.0, 60.0])

# %% Chlorophyll is concentration entry 2 (record 7)
runs = {}
for chl in (0.1, 1.0, 10.0):
    ri = base.replace(concentrations=[0.0, chl, 0.0], title=f"Case 1, Chl {chl} mg/m^3", root=f"chl_{chl:g}")
    runs[f"Chl {chl:g} mg m-3"] = ab.run(ri)

# %% Rrs just above the surface, one line per run
for label, ds in runs.items():
    print(label, "Rrs(443-ish nm) =", float(ds.Rrs.sel(depth="air").sel(wavelength=450, method="nearest")), "1/sr")
plots.rrs_compare(runs, "chlorophyll_rrs.png")

# %% Every standard plot of the Chl 1 run
for p in plots.plot_all(runs["Chl 1 mg m-3"], "plots_chl1"):
    print("wrote", p)
