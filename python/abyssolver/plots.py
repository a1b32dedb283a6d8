"""Plots of a run's Dataset (from :func:`abyssolver.run` or :func:`abyssolver.open_run`).

Every function draws into a new matplotlib Figure (no pyplot state, so it works without a
display), saves it as PNG when ``path`` is given, and returns the Figure. Figures are 8 x 5
inches at 100 dpi (800 x 500 pixels) unless ``figsize``/``dpi`` say otherwise.
"""
from __future__ import annotations

from pathlib import Path
from typing import Dict, Iterable, List, Optional, Sequence

import numpy as np
import xarray as xr
from matplotlib.colors import LogNorm
from matplotlib.figure import Figure

from .dataset import AIR, water

FIGSIZE = (8.0, 5.0)
DPI = 100


def _figure(figsize=None) -> Figure:
    return Figure(figsize=figsize or FIGSIZE, dpi=DPI, layout="constrained")


def _finish(fig: Figure, path) -> Figure:
    if path is not None:
        fig.savefig(Path(path), dpi=DPI, format="png")
    return fig


def _title(ds: xr.Dataset) -> str:
    t = str(ds.attrs.get("title", ""))
    return t if len(t) <= 70 else t[:67] + "..."


def _units(da: xr.DataArray) -> str:
    return str(da.attrs.get("units", ""))


def _edges(centres: np.ndarray, bounds: Optional[np.ndarray]) -> np.ndarray:
    if bounds is not None and bounds.shape == (centres.size, 2):
        return np.append(bounds[:, 0], bounds[-1, 1])
    c = np.asarray(centres, dtype=float)
    mid = 0.5 * (c[1:] + c[:-1]) if c.size > 1 else np.array([])
    first = c[0] - (mid[0] - c[0] if mid.size else 0.5)
    last = c[-1] + (c[-1] - mid[-1] if mid.size else 0.5)
    return np.concatenate([[first], mid, [last]])


def _wave_edges(ds: xr.Dataset) -> np.ndarray:
    b = ds["wavelength_bnds"].values if "wavelength_bnds" in ds.variables else None
    return _edges(ds["wavelength"].values, b)


def irradiance_map(ds: xr.Dataset, name: str = "Ed", path=None, figsize=None) -> Figure:
    """An irradiance (Ed, Eo, Eu, ...) as a colour map over wavelength and depth, logarithmic colour scale."""
    da = water(ds[name])
    z = da["depth"].values
    v = np.ma.masked_invalid(np.where(da.values > 0, da.values, np.nan))
    fig = _figure(figsize)
    ax = fig.add_subplot()
    zedges = _edges(z, None)
    zedges[0], zedges[-1] = z[0], z[-1]  # the outermost levels are the ends of the profile
    mesh = ax.pcolormesh(_wave_edges(ds), zedges, v, norm=LogNorm(vmin=v.min(), vmax=v.max()), cmap="viridis",
                         shading="flat")
    ax.set_ylim(zedges[-1], zedges[0])  # depth increases downward
    ax.set_xlabel("wavelength (nm)")
    ax.set_ylabel("depth (m)")
    ax.set_title(f"{name}(z, λ)  —  {_title(ds)}", fontsize=10)
    cb = fig.colorbar(mesh, ax=ax)
    cb.set_label(f"{name} ({_units(ds[name])})")
    return _finish(fig, path)


def _air_spectrum(ds: xr.Dataset, name: str, ylabel: str, path, figsize) -> Figure:
    da = ds[name].sel(depth=AIR) if "depth" in ds[name].dims else ds[name]
    fig = _figure(figsize)
    ax = fig.add_subplot()
    ax.plot(ds["wavelength"].values, da.values, "o-", color="tab:blue")
    ax.set_xlabel("wavelength (nm)")
    ax.set_ylabel(f"{ylabel} ({_units(ds[name])})")
    ax.set_title(f"{name}(λ) just above the surface  —  {_title(ds)}", fontsize=10)
    ax.grid(True, alpha=0.3)
    return _finish(fig, path)


def rrs_spectrum(ds: xr.Dataset, path=None, figsize=None) -> Figure:
    """Remote-sensing reflectance Rrs(λ) = Lw/Ed in air."""
    return _air_spectrum(ds, "Rrs", "Rrs", path, figsize)


def lw_spectrum(ds: xr.Dataset, path=None, figsize=None) -> Figure:
    """Water-leaving radiance Lw(λ)."""
    return _air_spectrum(ds, "Lw", "Lw", path, figsize)


def rrs_compare(datasets: Dict[str, xr.Dataset], path=None, figsize=None) -> Figure:
    """Rrs(λ) of several runs on one axis, labelled by the dict keys."""
    fig = _figure(figsize)
    ax = fig.add_subplot()
    for label, ds in datasets.items():
        ax.plot(ds["wavelength"].values, ds["Rrs"].sel(depth=AIR).values, "o-", label=label)
    ax.set_xlabel("wavelength (nm)")
    ax.set_ylabel("Rrs (sr-1)")
    ax.set_title("remote-sensing reflectance")
    ax.legend()
    ax.grid(True, alpha=0.3)
    return _finish(fig, path)


def kd_spectra(ds: xr.Dataset, depths: Optional[Sequence[float]] = None, path=None, figsize=None) -> Figure:
    """Kd(λ) at chosen depths (the nearest K-function depth pairs; default: every pair)."""
    kd = ds["Kd"]
    pairs = kd["kdepth"].values
    chosen = sorted({int(np.argmin(np.abs(pairs - z))) for z in depths}) if depths is not None else range(pairs.size)
    fig = _figure(figsize)
    ax = fig.add_subplot()
    for p in chosen:
        ax.plot(ds["wavelength"].values, kd.isel(kdepth=p).values, "o-", label=f"z = {pairs[p]:g} m")
    ax.set_xlabel("wavelength (nm)")
    ax.set_ylabel(f"Kd ({_units(kd)})")
    ax.set_title(f"diffuse attenuation of Ed  —  {_title(ds)}", fontsize=10)
    ax.legend()
    ax.grid(True, alpha=0.3)
    return _finish(fig, path)


def euphotic_depth(ds: xr.Dataset) -> float:
    """Depth (m) where PAR from Eo falls to 1 % of its value at the shallowest output depth
    (log-linear interpolation); NaN when the output depths do not reach it."""
    par = water(ds["PAR_Eo"])
    z, p = par["depth"].values, par.values
    ok = np.isfinite(p) & (p > 0)
    z, p = z[ok], p[ok]
    if p.size < 2:
        return float("nan")
    target = 0.01 * p[0]
    below = np.nonzero(p <= target)[0]
    if below.size == 0:
        return float("nan")
    i = below[0]
    f = (np.log(target) - np.log(p[i - 1])) / (np.log(p[i]) - np.log(p[i - 1]))
    return float(z[i - 1] + f * (z[i] - z[i - 1]))


def par_profile(ds: xr.Dataset, path=None, figsize=None) -> Figure:
    """PAR(z) from Eo and Ed on a logarithmic axis, with the euphotic depth (1 % of surface PAR) marked."""
    fig = _figure(figsize)
    ax = fig.add_subplot()
    for name, style in (("PAR_Eo", "o-"), ("PAR_Ed", "s--")):
        da = water(ds[name])
        ax.plot(da.values, da["depth"].values, style, label=name.replace("_", " from "))
    ax.set_xscale("log")
    ax.invert_yaxis()
    ze = euphotic_depth(ds)
    if np.isfinite(ze):
        ax.axhline(ze, color="tab:red", lw=1)
        ax.annotate(f"euphotic depth {ze:.1f} m (1 % of PAR)", (0.02, ze), xycoords=("axes fraction", "data"),
                    va="bottom", color="tab:red")
    else:
        ax.text(0.02, 0.93, "euphotic depth below the deepest output depth", transform=ax.transAxes,
                color="tab:red")
    ax.set_xlabel(f"PAR ({_units(ds['PAR_Eo'])})")
    ax.set_ylabel("depth (m)")
    ax.set_title(f"PAR(z)  —  {_title(ds)}", fontsize=10)
    ax.legend(loc="lower right")
    ax.grid(True, which="both", alpha=0.3)
    return _finish(fig, path)


def _hemisphere(ax, fig, ds: xr.Dataset, L: xr.DataArray, down: bool, norm, title: str):
    th = ds["theta"].values
    sel = th < 90 if down else th > 90
    tb = ds["theta_bnds"].values[sel] if "theta_bnds" in ds.variables else None
    tc = th[sel]
    # Radius: angle from the direction of travel's pole (0 = straight down or straight up).
    r_c = tc if down else 180.0 - tc
    r_b = tb if down else (180.0 - tb[:, ::-1] if tb is not None else None)
    order = np.argsort(r_c)
    r_edges = _edges(r_c[order], r_b[order] if r_b is not None else None)
    r_edges[0] = 0.0
    pb = ds["phi_bnds"].values if "phi_bnds" in ds.variables else None
    p_edges = np.deg2rad(_edges(ds["phi"].values, pb))
    vals = L.values[sel][order]
    ax.grid(False)
    mesh = ax.pcolormesh(p_edges, r_edges, np.ma.masked_invalid(np.where(vals > 0, vals, np.nan)), norm=norm,
                         cmap="magma", shading="flat")
    ax.set_ylim(0, 90)
    ax.set_rlabel_position(112.5)  # between the azimuth labels
    ax.set_yticks([30, 60, 90])
    ax.set_yticklabels(["30°", "60°", ""], fontsize=7, color="0.6")
    ax.grid(True, alpha=0.3)
    ax.tick_params(axis="x", labelsize=7)
    ax.set_title(title, fontsize=9)
    return mesh


def radiance_polar(ds: xr.Dataset, depth: Optional[float] = None, wavelength: Optional[float] = None, path=None,
                   figsize=None) -> Figure:
    """The radiance distribution of one band in air and at one depth, as polar plots.

    Each panel looks along the direction of photon travel: azimuth phi around, and the radius is the
    angle from straight down (downward travel) or straight up (upward travel). Defaults: the first
    depth below the surface and the band nearest 550 nm.
    """
    wl = ds["wavelength"].values
    w = float(wl[np.argmin(np.abs(wl - (550.0 if wavelength is None else wavelength)))])
    zs = [v for v in ds["depth"].values if not isinstance(v, str)]
    z = zs[int(np.argmin(np.abs(np.array(zs) - (zs[0] if depth is None else depth))))]
    La, Lz = ds["L"].sel(depth=AIR, wavelength=w), ds["L"].sel(depth=z, wavelength=w)
    allv = np.concatenate([La.values.ravel(), Lz.values.ravel()])
    allv = allv[np.isfinite(allv) & (allv > 0)]
    norm = LogNorm(vmin=allv.min(), vmax=allv.max())
    fig = _figure(figsize or (8.0, 6.5))
    axes = [fig.add_subplot(2, 2, i + 1, projection="polar") for i in range(4)]
    panels = ((La, True, "in air: downward (sky)"), (La, False, "in air: upward"),
              (Lz, True, f"z = {z:g} m: downward"), (Lz, False, f"z = {z:g} m: upward"))
    mesh = None
    for ax, (L, down, t) in zip(axes, panels):
        mesh = _hemisphere(ax, fig, ds, L, down, norm, t)
    cb = fig.colorbar(mesh, ax=axes, shrink=0.8)
    cb.set_label(f"L ({_units(ds['L'])})")
    fig.suptitle(f"radiance distribution at {w:g} nm (radius: angle from the vertical; "
                 f"around: azimuth φ of travel)", fontsize=10)
    return _finish(fig, path)


def iop_spectra(ds: xr.Dataset, depth: Optional[float] = None, path=None, figsize=None) -> Figure:
    """The IOPs used: a, b, bb and c, total and per component, at one depth (default: the first below the surface)."""
    zs = [v for v in ds["depth"].values if not isinstance(v, str)]
    z = zs[int(np.argmin(np.abs(np.array(zs) - (zs[0] if depth is None else depth))))]
    fig = _figure(figsize)
    axes = [fig.add_subplot(2, 2, i + 1) for i in range(4)]
    wl = ds["wavelength"].values
    for ax, name in zip(axes, ("a", "b", "bb", "c")):
        ax.plot(wl, ds[name].sel(depth=z).values, "k-o", ms=3, label="total")
        comp = f"{name}_component"
        if comp in ds:
            for k in ds["component"].values:
                v = ds[comp].sel(component=k, depth=z).values
                if np.any(np.abs(v) > 0):
                    ax.plot(wl, v, "--", label=f"component {int(k)}")
        ax.set_yscale("log")
        ax.set_xlabel("wavelength (nm)", fontsize=8)
        ax.set_ylabel(f"{name} ({_units(ds[name])})", fontsize=8)
        ax.tick_params(labelsize=7)
        ax.grid(True, which="both", alpha=0.3)
    axes[0].legend(fontsize=7)
    fig.suptitle(f"IOPs at z = {z:g} m  —  {_title(ds)}", fontsize=10)
    return _finish(fig, path)


def plot_all(ds: xr.Dataset, outdir, depth: Optional[float] = None, wavelength: Optional[float] = None,
             kd_depths: Optional[Sequence[float]] = None) -> List[Path]:
    """Every plot of the run as PNG files in ``outdir``; returns their paths."""
    out = Path(outdir)
    out.mkdir(parents=True, exist_ok=True)
    jobs = [("Ed_map.png", lambda p: irradiance_map(ds, "Ed", p)),
            ("Eo_map.png", lambda p: irradiance_map(ds, "Eo", p)),
            ("Rrs.png", lambda p: rrs_spectrum(ds, p)),
            ("Lw.png", lambda p: lw_spectrum(ds, p)),
            ("Kd.png", lambda p: kd_spectra(ds, kd_depths, p)),
            ("PAR.png", lambda p: par_profile(ds, p)),
            ("radiance_polar.png", lambda p: radiance_polar(ds, depth, wavelength, p)),
            ("IOPs.png", lambda p: iop_spectra(ds, depth, p))]
    paths = []
    for name, job in jobs:
        needs = {"Kd.png": "Kd", "PAR.png": "PAR_Eo", "radiance_polar.png": "L", "IOPs.png": "a"}.get(name)
        if needs and needs not in ds:
            continue
        job(out / name)
        paths.append(out / name)
    return paths
