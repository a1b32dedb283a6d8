"""The NetCDF file against the text outputs, its CF metadata, interrupted and failed runs."""
import signal
import subprocess

import netCDF4
import numpy as np
import pytest

import abyssolver as ab
from abyssolver.engine import find_engine, prepare_run_tree, find_data

TEXT_VARIABLES = ("Ed", "Eu", "Eo", "Eod", "Eou", "MUBARd", "MUBARu", "MUBAR", "R", "Lu", "Lw", "Rrs", "Kd", "Ku",
                  "Ko", "Kou", "Kod", "Knet", "KLu", "L", "L_sky", "L_surface_reflected", "L_water_leaving",
                  "PAR_Eo", "PAR_Ed", "K_PAR", "K_PAR_layer_averaged")


def test_netcdf_equals_the_text_outputs_to_their_printed_precision(default_run):
    ds, work = default_run
    text = ab.open_run(work / "output" / "Abyssolver" / "digital" / "Dcase1_default.txt")
    assert list(text["depth"].values) == list(ds["depth"].values)
    np.testing.assert_allclose(text["wavelength_bnds"], ds["wavelength_bnds"])
    for name in TEXT_VARIABLES:
        a, b = ds[name], text[name]
        if "theta" in a.dims:  # the radiance file prints angles with one decimal
            b = b.assign_coords(theta=a["theta"].values, phi=a["phi"].values)
        assert a.dims == b.dims, name
        assert np.array_equal(np.isnan(a.values), np.isnan(b.values)), name
        # D and M files print 7 significant digits, the radiance file 6.
        rtol = 6e-6 if name.startswith("L") and name not in ("Lu", "Lw") else 6e-7
        np.testing.assert_allclose(a.values, b.values, rtol=rtol, atol=0, err_msg=name)
    assert abs(float(ds["secchi_depth"]) - float(text["secchi_depth"])) <= 0.005  # printed F8.2


def test_cf_metadata(default_run):
    _, work = default_run
    with netCDF4.Dataset(work / "output" / "Abyssolver" / "digital" / "case1_default.nc") as nc:
        assert nc.Conventions.startswith("CF-")
        for name, v in nc.variables.items():
            assert "units" in v.ncattrs(), f"{name} has no units"
        coordinates = [n for n in nc.variables if n in nc.dimensions]
        assert {"depth", "wavelength", "theta", "phi", "kdepth", "par_layer", "component"} <= set(coordinates)
        for c in coordinates:
            if c in ("depth", "component"):  # point levels and an index: no cells
                continue
            bounds = nc[c].bounds
            lo, hi = nc[bounds][:, 0], nc[bounds][:, 1]
            centre = nc[c][:]
            assert np.all(lo <= centre + 1e-9) and np.all(centre <= hi + 1e-9), c
            assert np.all(np.diff(centre) > 0), c
        assert nc["depth"].positive == "down" and nc["depth"].standard_name == "depth"
        assert nc["Rrs"].standard_name.startswith("surface_ratio_of_upwelling_radiance")
        # the run input is echoed, and it reads back as the same run
        assert ab.RunInput.from_text(nc.run_input).replace(options={}) == ab.RunInput.example("case1_default")


def heavier_input():
    """Twelve bands and twenty depths: each band takes long enough to stop the run between two."""
    return ab.RunInput(band_edges=list(np.arange(400.0, 701.0, 25.0)), depths=list(np.arange(0.0, 20.0, 1.0)),
                       root="interrupted", options={"netcdf": "yes"})


def test_an_interrupted_run_leaves_a_readable_file_with_the_bands_it_finished(tmp_path):
    ri = heavier_input()
    rundir = prepare_run_tree(tmp_path, find_data())
    proc = subprocess.Popen([str(find_engine())], cwd=rundir, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    proc.stdin.write(ri.to_text())
    proc.stdin.close()
    for line in proc.stdout:
        if "Waveband   2 of  12 completed" in line:
            proc.send_signal(signal.SIGKILL)  # no chance to close the file
            break
    proc.wait()
    assert proc.returncode == -signal.SIGKILL
    ds = ab.open_run(tmp_path / "output" / "Abyssolver" / "digital" / "interrupted.nc")
    assert ds.sizes["wavelength"] == 2
    np.testing.assert_allclose(ds["wavelength"], [412.5, 437.5])
    assert ds.attrs["run_complete"] == 0 and ds.attrs["bands_planned"] == 12
    assert np.all(np.isfinite(ds["Ed"].values)) and np.all(ds["Ed"].values > 0)
    assert np.all(np.isfinite(ds["L"].values))
    assert np.all(np.isnan(ds["PAR_Eo"].values))  # not reached


def test_a_failed_run_raises_with_the_engine_error_lines(tmp_path):
    ri = ab.RunInput(iop_file="no_such_water_file.txt")
    with pytest.raises(ab.RunError) as e:
        ab.run(ri, workdir=tmp_path, progress=False)
    assert any(s.startswith("ERROR:") for s in e.value.lines), e.value.lines
    assert any(s.startswith("STOP in routine") for s in e.value.lines)
    assert "no_such_water_file.txt" in str(e.value)
    assert e.value.returncode == 1


def test_progress_bar_counts_the_bands(tmp_path, capsys):
    ri = ab.RunInput.example("constant_single")
    ds = ab.run(ri, workdir=tmp_path)
    err = capsys.readouterr().err
    assert "[##############################] 1/1 bands" in err
    assert ds.sizes["wavelength"] == 1 and float(ds["wavelength"]) == 550.0


def test_run_without_workdir_cleans_up(tmp_path, monkeypatch):
    monkeypatch.setenv("TMPDIR", str(tmp_path))
    import tempfile
    monkeypatch.setattr(tempfile, "tempdir", None)
    ds = ab.run(ab.RunInput.example("constant_single"), progress=False)
    assert float(ds["Ed"].sel(depth="air")) > 0
    assert list(tmp_path.iterdir()) == []


def test_par_in_energy_and_quanta_are_the_band_sums_of_eo(default_run):
    ds, _ = default_run
    lo, hi = ds["wavelength_bnds"].values.T
    inside = (ds["wavelength"] >= 400.0) & (ds["wavelength"] <= 700.0)
    eo = ds["Eo"].where(inside, 0.0)
    width = hi - lo
    energy = (eo * width).sum("wavelength")
    quanta = (eo * width * ds["wavelength"]).sum("wavelength") * 0.008358032908325087
    np.testing.assert_allclose(ds["PAR_energy_Eo"], energy, rtol=1e-12)
    np.testing.assert_allclose(ds["PAR_Eo"], quanta, rtol=1e-12)
    assert np.all(np.diff(ds["PAR_Eo"].values[1:]) < 0)  # PAR falls with depth
    assert width.sum() == 300.0


def test_inelastic_share_loads_from_netcdf_and_text_outputs(tmp_path):
    """A run with Raman scattering and chlorophyll fluorescence: Lw, Rrs without the sources and their share of Lw
    load through xarray from the NetCDF file, with units, and agree with the text outputs."""
    ri = ab.RunInput.example("raman_chlfl_clear")
    # The text reader needs the D file; the coarse partition keeps the 40 coupled bands short.
    ri = ri.replace(digital_file=1, options={**ri.options, "partition": "10x24"})
    ds = ab.run(ri, workdir=tmp_path, progress=False)
    for name, units in (("Lw_elastic", "W m-2 sr-1 nm-1"), ("Rrs_elastic", "sr-1"), ("Lw_source_share", "1")):
        assert ds[name].dims == ("wavelength",), name
        assert ds[name].attrs["units"] == units, name
        assert ds[name].attrs["long_name"], name
    share = ds["Lw_source_share"].values
    assert np.all((share >= 0) & (share < 1))
    assert share.max() > 0.1
    np.testing.assert_allclose(ds["Rrs_elastic"], ds["Rrs"].sel(depth="air") * (1 - ds["Lw_source_share"]), rtol=1e-12)
    text = ab.open_run(tmp_path / "output" / "Abyssolver" / "digital" / "Draman_chlfl_clear.txt")
    for name in ("Lw_elastic", "Rrs_elastic", "Lw_source_share"):
        np.testing.assert_allclose(ds[name].values, text[name].values, rtol=2e-6, atol=0, err_msg=name)
