"""Reading a run's results into an xarray Dataset: from its NetCDF file, or from the
text outputs (digital D, radiance L, spreadsheet M and printout P files) of an older run.

The Dataset's ``depth`` dimension holds the level in air first, labelled ``'air'``, then
the output depths in metres, so that ``ds.Rrs.sel(depth='air')`` and
``ds.Ed.sel(depth=5.0)`` both work; the coordinate ``depth_m`` carries the depths as
numbers (NaN in air) for plotting.
"""
from __future__ import annotations

import re
from pathlib import Path
from typing import Dict, List, Optional, Union

import numpy as np
import xarray as xr

AIR = "air"
AIR_DEPTH = -1.0  # how the files mark the level in air


def label_depth(ds: xr.Dataset) -> xr.Dataset:
    """Replaces the numeric depth coordinate (-1 m = in air) by labels 'air', 0.0, 1.0, ..."""
    z = np.asarray(ds["depth"].values, dtype=float)
    labels = np.array([AIR if v == AIR_DEPTH else float(v) for v in z], dtype=object)
    attrs = dict(ds["depth"].attrs)
    ds = ds.assign_coords(depth_m=("depth", np.where(z == AIR_DEPTH, np.nan, z), attrs))
    ds = ds.assign_coords(depth=("depth", labels))
    ds["depth"].attrs.update(long_name="level: 'air' just above the surface, else depth below it (m)")
    return ds


def water(da: xr.DataArray) -> xr.DataArray:
    """The levels below the surface of a DataArray, with numeric depth (for plotting)."""
    da = da.isel(depth=[i for i, v in enumerate(da["depth"].values) if not isinstance(v, str)])
    return da.assign_coords(depth=np.asarray(da["depth_m"].values, dtype=float))


def open_run(path: Union[str, Path], load: bool = True) -> xr.Dataset:
    """Opens a run: a NetCDF file written by the engine, or the text outputs of an older run.

    For text outputs give the digital-output file ``D<root>.txt``, any other of the run's text
    files, or the output tree ``.../output/Abyssolver`` together with the root name as
    ``.../output/Abyssolver/<root>``.
    """
    p = Path(path)
    if p.suffix == ".nc":
        ds = xr.open_dataset(p, decode_coords="all")
        if load:
            ds = ds.load()
            ds.close()
        return label_depth(ds)
    return _open_text_run(p)


# ---------------------------------------------------------------------------------------------- text outputs

def _text_files(p: Path) -> Dict[str, Path]:
    """The P, D, L, S, M and NetCDF files of the run that ``p`` names."""
    if p.is_file():
        name = p.name
        root = name[1:-4] if re.match(r"^[PDLSM].+\.txt$", name) else p.stem
        tree = p.parent.parent
    else:
        tree, root = p.parent, p.name
    files = {
        "P": tree / "Printout" / f"P{root}.txt",
        "D": tree / "digital" / f"D{root}.txt",
        "L": tree / "digital" / f"L{root}.txt",
        "M": tree / "excel" / f"M{root}.txt",
    }
    if not files["D"].is_file():
        raise FileNotFoundError(f"no digital output file {files['D']}: the run must have written it "
                                "(record 4, second flag)")
    return files


def _num(s: str) -> float:
    return np.nan if s == "n/a" else float(s)


def _read_digital(path: Path) -> dict:
    bands: List[dict] = []
    lines = path.read_text().splitlines()
    i = 0
    while i < len(lines):
        s = lines[i]
        if s.startswith("BAND "):
            t = s.split()
            band = {"j": int(t[1]), "wave": float(t[3]), "lower": float(t[5]), "upper": float(t[7])}
            i += 1
            while lines[i].startswith("TABLE "):
                _, name, rows = lines[i].split()
                cols = lines[i + 1].split()
                data = [[_num(x) for x in lines[i + 2 + r].split()] for r in range(int(rows))]
                band[name] = (cols, np.array(data, dtype=float).reshape(int(rows), len(cols)))
                i += 2 + int(rows)
            bands.append(band)
        i += 1
    if not bands:
        raise ValueError(f"{path} holds no complete band")
    return {"bands": bands}


def _read_sheet_tables(path: Path) -> Dict[str, tuple]:
    tables: Dict[str, tuple] = {}
    blocks = re.split(r"\n\s*\n", path.read_text())
    for b in blocks:
        rows = [r for r in b.splitlines() if r.strip()]
        if len(rows) < 3 or "\t" not in rows[0] or "\t" not in rows[1]:
            continue
        name = rows[0].split("\t")[0]
        header = rows[1].split("\t")
        body = [r.split("\t") for r in rows[2:]]
        tables[name] = (header, body)
    return tables


def _read_radiance(path: Path) -> xr.DataArray:
    a = np.loadtxt(path, skiprows=9, ndmin=2)
    z, th, ph, wl = (np.unique(a[:, c]) for c in range(4))
    L = np.full((z.size, th.size, ph.size, wl.size), np.nan)
    L[np.searchsorted(z, a[:, 0]), np.searchsorted(th, a[:, 1]), np.searchsorted(ph, a[:, 2]),
      np.searchsorted(wl, a[:, 3])] = a[:, 4]
    return xr.DataArray(L, dims=("depth", "theta", "phi", "wavelength"),
                        coords={"depth": z, "theta": th, "phi": ph, "wavelength": wl},
                        attrs={"long_name": "total (direct + diffuse) radiance", "units": "W m-2 sr-1 nm-1"})


def _secchi(path: Path) -> float:
    if not path.is_file():
        return np.nan
    m = re.findall(r"final estimate for the Secchi depth is z_SD =\s*([-\d.]+)", path.read_text())
    return float(m[-1]) if m else np.nan


_UNITS = {"Ed": "W m-2 nm-1", "Eu": "W m-2 nm-1", "Eo": "W m-2 nm-1", "Eod": "W m-2 nm-1", "Eou": "W m-2 nm-1",
          "MUBARd": "1", "MUBARu": "1", "MUBAR": "1", "R": "1", "Lu": "W m-2 sr-1 nm-1", "Lw": "W m-2 sr-1 nm-1",
          "Rrs": "sr-1", "L_sky": "W m-2 sr-1 nm-1", "L_surface_reflected": "W m-2 sr-1 nm-1",
          "L_water_leaving": "W m-2 sr-1 nm-1", "PAR_Eo": "umol m-2 s-1", "PAR_Ed": "umol m-2 s-1",
          "K_PAR": "m-1", "K_PAR_layer_averaged": "m-1", "secchi_depth": "m",
          "Lw_elastic": "W m-2 sr-1 nm-1", "Rrs_elastic": "sr-1", "Lw_source_share": "1"}


def _open_text_run(p: Path) -> xr.Dataset:
    files = _text_files(p)
    dig = _read_digital(files["D"])["bands"]
    wave = np.array([b["wave"] for b in dig])
    bnds = np.array([[b["lower"], b["upper"]] for b in dig])
    cols, first = dig[0]["irradiance"]
    req = first[:, cols.index("requested")] == 1
    depth = first[req, cols.index("depth")]
    data: Dict[str, tuple] = {}
    for name in ("Eou", "Eod", "Eo", "Eu", "Ed", "MUBARu", "MUBARd", "MUBAR", "R"):
        # Per band: with the dynamic bottom depth each band has its own number of grid depths.
        v = np.stack([b["irradiance"][1][b["irradiance"][1][:, cols.index("requested")] == 1, cols.index(name)]
                      for b in dig], axis=1)
        data[name] = (("depth", "wavelength"), v)
    coords = {"depth": depth, "wavelength": wave, "wavelength_bnds": (("wavelength", "nv"), bnds),
              "band": ("wavelength", np.array([b["j"] for b in dig]))}
    kc, k0 = dig[0]["kfunction"]
    if k0.shape[0] > 0:
        coords["kdepth"] = k0[:, kc.index("z")]
        coords["kdepth_bnds"] = (("kdepth", "nv"), k0[:, [kc.index("zupper"), kc.index("zlower")]])
        for name in ("Kou", "Kod", "Ko", "Ku", "Kd", "Knet", "KLu"):
            data[name] = (("kdepth", "wavelength"), np.stack([b["kfunction"][1][:, kc.index(name)] for b in dig], 1))
    ds = xr.Dataset(data, coords=coords)
    # Nadir radiance, Lw, Rrs, PAR and K_PAR from the multi-wavelength spreadsheet.
    if files["M"].is_file():
        t = _read_sheet_tables(files["M"])
        rows = {float(r[0]): r for r in t.get("Lu", ([], []))[1]}
        if rows:
            ds["Lu"] = (("depth", "wavelength"),
                        np.array([[_num(rows[round(w, 2)][1 + i]) for w in wave] for i in range(depth.size)]))
            for name in ("Lw", "Rrs"):
                r = {float(x[0]): _num(x[1]) for x in t[name][1]}
                v = np.full((depth.size, wave.size), np.nan)
                v[0] = [r[round(w, 2)] for w in wave]
                ds[name] = (("depth", "wavelength"), v)
        if "Lw_elastic" in t and "Lw_source_share" in t:  # runs with internal sources
            for name in ("Lw_elastic", "Lw_source_share"):
                r = {float(x[0]): _num(x[1]) for x in t[name][1]}
                ds[name] = ("wavelength", np.array([r[round(w, 2)] for w in wave]))
            ds["Rrs_elastic"] = ds["Rrs"].isel(depth=0, drop=True) * (1.0 - ds["Lw_source_share"])
        if "PAR" in t:
            body = {r[0]: [_num(x) for x in r[1:]] for r in t["PAR"][1]}
            ds["PAR_Eo"] = ("depth", np.array(body["PAR(Eo)"]))
            ds["PAR_Ed"] = ("depth", np.array(body["PAR(Ed)"]))
        if "KPAR" in t:
            hdr, body = t["KPAR"]
            z = np.array([float(x) for x in hdr[1:]])
            if z.size:
                mids = 0.5 * (depth[1:-1] + depth[2:])
                rows = {r[0]: np.array([_num(x) for x in r[1:]]) for r in body}
                ds = ds.assign_coords(par_layer=mids, par_layer_bnds=(("par_layer", "nv"),
                                                                      np.stack([depth[1:-1], depth[2:]], 1)))
                ds["K_PAR"] = ("par_layer", rows["K_PAR(Eo)"])
                ds["K_PAR_layer_averaged"] = ("par_layer", rows["K_PAR(Eo,layer-averaged)"])
    # The full radiance distribution and the radiances in air by origin.
    if files["L"].is_file():
        L = _read_radiance(files["L"])
        ds = ds.assign_coords(theta=L["theta"].values, phi=L["phi"].values)
        ds["L"] = L.reindex(depth=depth, wavelength=wave, method="nearest", tolerance=1e-6)
        down = ds["theta"] < 90
        sky = ds["L"].sel(depth=AIR_DEPTH).where(down)
        ds["L_sky"] = sky
    ac, _ = dig[0]["radiance_in_air"]
    if "theta" in ds.coords:
        for name, col in (("L_surface_reflected", "L_surface_reflected"), ("L_water_leaving", "L_water_leaving")):
            v = np.full((ds["theta"].size, ds["phi"].size, wave.size), np.nan)
            for jb, b in enumerate(dig):
                _, tab = b["radiance_in_air"]
                for row in tab:
                    th = 180.0 - row[ac.index("theta_down")]
                    it = int(np.argmin(np.abs(ds["theta"].values - round(th, 1))))
                    cap = int(row[ac.index("u")]) == int(tab[:, ac.index("u")].max())
                    iphis = range(ds["phi"].size) if cap else [int(np.argmin(np.abs(
                        ds["phi"].values - round(row[ac.index("phi")], 1))))]
                    for ip in iphis:
                        v[it, ip, jb] = row[ac.index(col)]
            ds[name] = (("theta", "phi", "wavelength"), v)
    ds["secchi_depth"] = ((), _secchi(files["P"]))
    for name, u in _UNITS.items():
        if name in ds:
            ds[name].attrs["units"] = u
    for name in ("Kou", "Kod", "Ko", "Ku", "Kd", "Knet", "KLu", "K_PAR", "K_PAR_layer_averaged"):
        if name in ds:
            ds[name].attrs["units"] = "m-1"
    ds["depth"].attrs.update(units="m", positive="down")
    ds["wavelength"].attrs.update(units="nm", bounds="wavelength_bnds")
    ds.attrs.update(source="text outputs of an Abyssolver run", title=_title(files["D"]))
    return label_depth(ds)


def _title(d: Path) -> str:
    for s in d.read_text().splitlines()[:5]:
        if s.startswith("# title: "):
            return s[len("# title: "):]
    return ""
