"""Every plot writes a PNG of the expected size that is not blank; the command writes them all."""
import subprocess
import sys

import matplotlib.image as mpimg
import numpy as np
import pytest

import abyssolver as ab
from abyssolver import plots

PLOTS = {
    "Ed_map": (lambda ds, p: plots.irradiance_map(ds, "Ed", p), (500, 800)),
    "Eo_map": (lambda ds, p: plots.irradiance_map(ds, "Eo", p), (500, 800)),
    "Rrs": (lambda ds, p: plots.rrs_spectrum(ds, p), (500, 800)),
    "Lw": (lambda ds, p: plots.lw_spectrum(ds, p), (500, 800)),
    "Kd": (lambda ds, p: plots.kd_spectra(ds, [0.0, 5.0], p), (500, 800)),
    "PAR": (lambda ds, p: plots.par_profile(ds, p), (500, 800)),
    "polar": (lambda ds, p: plots.radiance_polar(ds, 5.0, 550.0, p), (650, 800)),
    "IOPs": (lambda ds, p: plots.iop_spectra(ds, 1.0, p), (500, 800)),
    "compare": (lambda ds, p: plots.rrs_compare({"a": ds, "b": ds}, p), (500, 800)),
}


def not_blank(img):
    rgb = img[..., :3]
    # many distinct colours and a good share of non-white pixels
    return len(np.unique(rgb.reshape(-1, 3), axis=0)) > 50 and np.mean(rgb.min(axis=2) < 0.9) > 0.02


@pytest.mark.parametrize("name", sorted(PLOTS))
def test_plot_writes_a_png_of_the_expected_size(default_run, tmp_path, name):
    ds, _ = default_run
    draw, shape = PLOTS[name]
    path = tmp_path / f"{name}.png"
    draw(ds, path)
    img = mpimg.imread(path)
    assert img.shape[:2] == shape
    assert not_blank(img)


def test_euphotic_depth_is_where_par_falls_to_one_percent(default_run):
    ds, _ = default_run
    assert np.isnan(plots.euphotic_depth(ds))  # 10 m of Chl 0.5 water keeps a third of PAR
    par = ds["PAR_Eo"].copy()
    par.values[1:] = [1000.0, 100.0, 10.0, 1.0]  # decade per level: 1 % at 5 m
    assert plots.euphotic_depth(ds.assign(PAR_Eo=par)) == pytest.approx(5.0)


def test_plot_command_writes_every_png(default_run, tmp_path):
    _, work = default_run
    nc = work / "output" / "Abyssolver" / "digital" / "case1_default.nc"
    out = tmp_path / "png"
    r = subprocess.run([sys.executable, "-m", "abyssolver.cli", str(nc), "--out", str(out)],
                       cwd=ab.repository_root() / "python", capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    names = sorted(p.name for p in out.glob("*.png"))
    assert names == sorted(["Ed_map.png", "Eo_map.png", "Rrs.png", "Lw.png", "Kd.png", "PAR.png",
                            "radiance_polar.png", "IOPs.png"])
