"""The run-input file as a Python object.

A run-input file is 32 records, one a line (numeric records may run over several
lines, free format), followed by optional ``name = value`` run options.
:class:`RunInput` holds every record as named fields with the defaults of the
shipped default example (Case 1 water, Chl 0.5 mg m^-3, six bands 400-700 nm),
checks every field when it is built, and reads and writes the file format.
"""
from __future__ import annotations

import dataclasses
import re
from dataclasses import dataclass, field
from pathlib import Path
from typing import Dict, List, Optional, Sequence

MAX_COMPONENTS = 5
MAX_BANDS = 150
MAX_DEPTHS = 200  # the engine inserts a paired depth below each one (grid limit 400)
NAME_LEN = 120
ROOT_LEN = 32
KNOWN_OPTIONS = ("solver", "sun_beam", "partition", "relerr", "threads", "netcdf")


def _is_partition(text: str) -> bool:
    """True for a quad partition written NMUxNPHI as the engine accepts it."""
    nmu, sep, nphi = text.lower().partition("x")
    if not sep or not nmu.isdigit() or not nphi.isdigit():
        return False
    return 3 <= int(nmu) <= 90 and 4 <= int(nphi) <= 360 and int(nphi) % 2 == 0


class RunInputError(ValueError):
    """A field of a run input is missing or out of range; the message names the record and field."""

    def __init__(self, record: int, fieldname: str, problem: str):
        self.record = record
        self.field = fieldname
        super().__init__(f"run-input record {record}, field {fieldname!r}: {problem}")


# Record number of every field, for the error messages.
RECORD_OF = {
    "iop_model": 1, "par_lower": 1, "par_upper": 1, "chl_fluorescence_efficiency": 1,
    "raman_wavelength": 1, "raman_cross_section": 1, "dynamic_depth": 1,
    "title": 2, "root": 3,
    "printout": 4, "digital_file": 4, "single_sheet": 4, "multi_sheet": 4, "radiance_file": 4, "band_skip": 4,
    "model_options": 5, "concentrations": 7, "concentration_entries": 8, "astar_files": 9,
    "scattering": 10, "bstar_files": 11, "phase_options": 12, "phase_function_files": 13,
    "band_edges": 15, "single_wavelength": 15, "sources": 16, "sky_model": 17, "sky_data": 17,
    "atmosphere": 18, "wind_speed": 19, "refractive_index": 19, "temperature": 19, "salinity": 19,
    "bottom_type": 20, "bottom_reflectance": 20, "depth_type": 21, "depths": 21,
    "iop_file": 22, "ac9_option": 23, "data_files": 24, "bottom_file": 29, "profile_files": 30,
    "extra_file": 31, "bio_file": 32, "options": 33,
}


def _case1_default() -> dict:
    return dict(
        concentrations=[0.0, 0.5, 0.0],
        concentration_entries=[[0, 0, 440.0, 0.0, 0.0], [0, 3, 440.0, 0.06, 0.014], [0, 0, 440.0, 0.0, 0.0]],
        astar_files=["unused.txt", "astarchl_norm_ps81.txt", "unused.txt"],
        scattering=[[-1, 0.0, 0.0, 0.0, 0.0, 0.0], [1, 0.3, 0.62, 1.0, 550.0, 0.0]],
        bstar_files=["unused.txt", "unused.txt"],
        phase_options=[[0, 0.0, 0.0, 0.0, 0.0], [1, 0.012, 0.0, 0.0, 0.0]],
        phase_function_files=["pure_water.dpf", "petzold_avg_particle.dpf"],
    )


_D = _case1_default()


@dataclass
class RunInput:
    """Every record of a run-input file. Build with keyword arguments; unnamed fields keep the defaults.

    Per-component lists (records 10-13, 30) have one entry per IOP component; per-concentration lists
    (records 7-9) one entry per concentration entry. ``band_edges`` (record 15a) gives ``nwave + 1``
    boundaries in nm; set ``single_wavelength = (wavelength, a, b)`` instead for a one-wavelength run
    with constant IOPs (record 14 = 0, record 15b).
    """

    # record 1
    iop_model: int = 1
    par_lower: float = 400.0
    par_upper: float = 700.0
    chl_fluorescence_efficiency: float = 0.02
    raman_wavelength: float = 488.0
    raman_cross_section: float = 2.6e-4
    dynamic_depth: int = 0
    # records 2, 3
    title: str = "Case 1 water, Chl 0.5 mg/m^3, cosine sky, sun at 30 deg"
    root: str = "case1_default"
    # record 4
    printout: int = 0
    digital_file: int = 1
    single_sheet: int = 1
    multi_sheet: int = 1
    radiance_file: int = 1
    band_skip: int = 1
    # record 5: concentration flag, sky radiance model, sky irradiance model, chl component, CDOM component
    model_options: List[int] = field(default_factory=lambda: [0, 0, 0, 2, 0])
    # records 7-13
    concentrations: List[float] = field(default_factory=lambda: list(_D["concentrations"]))
    concentration_entries: List[List[float]] = field(default_factory=lambda: [list(e) for e in _D["concentration_entries"]])
    astar_files: List[str] = field(default_factory=lambda: list(_D["astar_files"]))
    scattering: List[List[float]] = field(default_factory=lambda: [list(e) for e in _D["scattering"]])
    bstar_files: List[str] = field(default_factory=lambda: list(_D["bstar_files"]))
    phase_options: List[List[float]] = field(default_factory=lambda: [list(e) for e in _D["phase_options"]])
    phase_function_files: List[str] = field(default_factory=lambda: list(_D["phase_function_files"]))
    # records 14, 15
    band_edges: Optional[List[float]] = field(default_factory=lambda: [400.0, 450.0, 500.0, 550.0, 600.0, 650.0, 700.0])
    single_wavelength: Optional[List[float]] = None
    # record 16: bioluminescence, chl fluorescence, CDOM fluorescence, Raman, chl component index
    sources: List[int] = field(default_factory=lambda: [0, 0, 0, 0, 0])
    # record 17
    sky_model: int = 1
    sky_data: List[float] = field(default_factory=lambda: [30.0, 0.0, 1.25, 0.3, 1.0])
    # record 18: day of year, latitude, longitude, pressure, air-mass type, RH, water vapour, visibility,
    # 24-h wind, ozone
    atmosphere: List[float] = field(default_factory=lambda: [172.0, 35.0, -60.0, 1013.25, 1.0, 80.0, 1.5, 15.0, 5.0, 300.0])
    # record 19
    wind_speed: float = 5.0
    refractive_index: float = 1.34
    temperature: float = 20.0
    salinity: float = 35.0
    # record 20
    bottom_type: int = 0
    bottom_reflectance: float = 0.0
    # record 21
    depth_type: int = 0
    depths: List[float] = field(default_factory=lambda: [0.0, 1.0, 5.0, 10.0])
    # records 22-32
    iop_file: str = "pureh2o_abs_scat.txt"
    ac9_option: int = 0
    data_files: List[str] = field(default_factory=lambda: ["unused.txt"] * 5)
    bottom_file: str = "reef_sand.txt"
    profile_files: List[str] = field(default_factory=lambda: ["unused.txt", "chlzprofile_gaussian.txt"])
    extra_file: str = "unused.txt"
    bio_file: str = "unused.txt"
    # run options after record 32
    options: Dict[str, str] = field(default_factory=dict)

    def __post_init__(self):
        self._coerce()
        self.validate()

    # ------------------------------------------------------------------ construction helpers
    @property
    def ncomp(self) -> int:
        return len(self.scattering)

    @property
    def nconc(self) -> int:
        return len(self.concentrations)

    @property
    def nwave(self) -> int:
        return 0 if self.single_wavelength is not None else len(self.band_edges) - 1

    def replace(self, **changes) -> "RunInput":
        """A copy with the given fields changed (and checked)."""
        return dataclasses.replace(self, **changes)

    @classmethod
    def example(cls, name: str) -> "RunInput":
        """The shipped example ``examples/<name>.txt`` of the repository."""
        from .engine import repository_root

        path = repository_root() / "examples" / (name if name.endswith(".txt") else name + ".txt")
        if not path.is_file():
            known = sorted(p.stem for p in (repository_root() / "examples").glob("*.txt"))
            raise FileNotFoundError(f"no example {name!r}; shipped examples: {', '.join(known)}")
        return cls.read(path)

    @classmethod
    def read(cls, path) -> "RunInput":
        return cls.from_text(Path(path).read_text())

    def write(self, path) -> None:
        Path(path).write_text(self.to_text())

    # ------------------------------------------------------------------ checks
    def _fail(self, name: str, problem: str):
        raise RunInputError(RECORD_OF[name], name, problem)

    def _coerce(self):
        """Turns every field into its type (ints, floats, lists), naming the field that will not convert."""
        ints = ("iop_model", "dynamic_depth", "printout", "digital_file", "single_sheet", "multi_sheet",
                "radiance_file", "band_skip", "sky_model", "bottom_type", "depth_type", "ac9_option")
        floats = ("par_lower", "par_upper", "chl_fluorescence_efficiency", "raman_wavelength",
                  "raman_cross_section", "wind_speed", "refractive_index", "temperature", "salinity",
                  "bottom_reflectance")
        for n in ints:
            setattr(self, n, self._int(n, getattr(self, n)))
        for n in floats:
            setattr(self, n, self._float(n, getattr(self, n)))
        for n in ("model_options", "sources"):
            setattr(self, n, [self._int(n, v) for v in self._list(n)])
        for n in ("concentrations", "sky_data", "atmosphere", "depths"):
            setattr(self, n, [self._float(n, v) for v in self._list(n)])
        for n, first_ints in (("concentration_entries", 2), ("scattering", 1), ("phase_options", 1)):
            rows = []
            for row in self._list(n):
                if isinstance(row, (str, bytes)) or not hasattr(row, "__iter__"):
                    self._fail(n, f"each entry must be a list of numbers, not {row!r}")
                row = list(row)
                rows.append([self._int(n, v) if i < first_ints else self._float(n, v) for i, v in enumerate(row)])
            setattr(self, n, rows)
        for n in ("band_edges", "single_wavelength"):
            if getattr(self, n) is not None:
                setattr(self, n, [self._float(n, v) for v in self._list(n)])
        for n in ("astar_files", "bstar_files", "phase_function_files", "data_files", "profile_files"):
            setattr(self, n, [self._name(n, v) for v in self._list(n)])
        for n in ("title", "iop_file", "bottom_file", "extra_file", "bio_file"):
            setattr(self, n, self._name(n, getattr(self, n)))
        self.root = self._name("root", self.root, ROOT_LEN)
        if not isinstance(self.options, dict):
            self._fail("options", "must be a dict of name -> value")
        self.options = {str(k).strip().lower(): str(v).strip() for k, v in self.options.items()}

    def _list(self, n):
        v = getattr(self, n)
        if isinstance(v, (str, bytes)) or not hasattr(v, "__iter__"):
            self._fail(n, f"must be a list, not {v!r}")
        return list(v)

    def _int(self, n, v):
        if isinstance(v, bool) or not isinstance(v, (int, float)) or (isinstance(v, float) and not v.is_integer()):
            try:
                if isinstance(v, str) and re.fullmatch(r"[+-]?\d+", v.strip()):
                    return int(v)
            except ValueError:
                pass
            self._fail(n, f"must be a whole number, not {v!r}")
        return int(v)

    def _float(self, n, v):
        try:
            x = float(v)
        except (TypeError, ValueError):
            self._fail(n, f"must be a number, not {v!r}")
        if x != x or x in (float("inf"), float("-inf")):
            self._fail(n, f"must be a finite number, not {v!r}")
        return x

    def _name(self, n, v, width=NAME_LEN):
        if not isinstance(v, str):
            self._fail(n, f"must be a text, not {v!r}")
        v = v.rstrip()
        if "\n" in v or "\r" in v:
            self._fail(n, "must be one line")
        if len(v) > width:
            self._fail(n, f"is {len(v)} characters long; at most {width} are read")
        return v

    def validate(self) -> None:
        """Checks counts, ranges and the consistency of the per-component lists."""
        f = self._fail
        if self.dynamic_depth not in (0, 1):
            f("dynamic_depth", "must be 0 or 1")
        if not self.root.strip():
            f("root", "the output root name must not be blank")
        if any(c in self.root for c in "/\\"):
            f("root", "the output root name must not contain a directory separator")
        if len(self.model_options) != 5:
            f("model_options", f"needs 5 integers, got {len(self.model_options)}")
        if not 1 <= self.ncomp <= MAX_COMPONENTS:
            f("scattering", f"one entry per IOP component, 1 to {MAX_COMPONENTS}; got {self.ncomp}")
        if self.nconc > MAX_COMPONENTS:
            f("concentrations", f"at most {MAX_COMPONENTS} concentration entries; got {self.nconc}")
        for name, n in (("concentration_entries", self.nconc), ("astar_files", self.nconc),
                        ("bstar_files", self.ncomp), ("phase_options", self.ncomp),
                        ("phase_function_files", self.ncomp), ("profile_files", self.ncomp)):
            if len(getattr(self, name)) != n:
                what = "concentration entry" if n == self.nconc and name in ("concentration_entries", "astar_files") \
                    else "IOP component"
                f(name, f"needs one entry per {what} ({n}), got {len(getattr(self, name))}")
        for name, width in (("concentration_entries", 5), ("scattering", 6), ("phase_options", 5)):
            for i, row in enumerate(getattr(self, name), 1):
                if len(row) != width:
                    f(name, f"entry {i} needs {width} numbers, got {len(row)}")
        if any(c < 0 for c in self.concentrations):
            f("concentrations", "concentrations must not be negative")
        if (self.band_edges is None) == (self.single_wavelength is None):
            f("band_edges", "give either band_edges or single_wavelength (and set the other to None)")
        if self.single_wavelength is not None:
            if len(self.single_wavelength) != 3:
                f("single_wavelength", "needs (wavelength nm, a 1/m, b 1/m)")
            if self.single_wavelength[0] <= 0:
                f("single_wavelength", "the wavelength must be positive")
        else:
            e = self.band_edges
            if len(e) < 2:
                f("band_edges", "needs at least two boundaries (one band)")
            if len(e) - 1 > MAX_BANDS:
                f("band_edges", f"at most {MAX_BANDS} bands; got {len(e) - 1}")
            if any(b <= a for a, b in zip(e, e[1:])):
                f("band_edges", "band boundaries must increase")
        if len(self.sources) != 5 or any(s not in (0, 1) for s in self.sources[:4]):
            f("sources", "needs four 0/1 flags (bioluminescence, chl fluorescence, CDOM fluorescence, Raman) "
                         "and the chlorophyll component index")
        if self.sky_model not in (1, 2, 3):
            f("sky_model", "must be 1, 2 or 3")
        if len(self.atmosphere) != 10:
            f("atmosphere", f"needs 10 numbers, got {len(self.atmosphere)}")
        if self.wind_speed < 0:
            f("wind_speed", "must not be negative")
        if self.depth_type not in (0, 1):
            f("depth_type", "must be 0 (geometric depth, m) or 1 (optical depth)")
        if not 1 <= len(self.depths) <= MAX_DEPTHS:
            f("depths", f"needs 1 to {MAX_DEPTHS} output depths; got {len(self.depths)}")
        if any(b <= a for a, b in zip(self.depths, self.depths[1:])):
            f("depths", "output depths must increase strictly")
        if any(z < 0 for z in self.depths):
            f("depths", "output depths must not be negative")
        if self.depth_type == 1 and any(self.sources[:4]):
            f("depth_type", "optical depths cannot be used with inelastic or internal sources")
        if len(self.data_files) != 5:
            f("data_files", f"needs 5 names (records 24-28), got {len(self.data_files)}")
        for k, v in self.options.items():
            if k not in KNOWN_OPTIONS:
                f("options", f"unknown run option {k!r} (known: {', '.join(KNOWN_OPTIONS)})")
            if k == "netcdf" and v.lower() not in ("yes", "no", "on", "off", "true", "false", "1", "0"):
                f("options", "netcdf must be yes or no")
            if k == "threads" and not (v.isdigit() and int(v) <= 1024):
                f("options", "threads must be a whole number from 0 to 1024")
            if k == "partition" and not _is_partition(v):
                f("options", "partition must be NMUxNPHI, e.g. 10x24 or 20x24 (NMU 3 to 90, NPHI even, 4 to 360)")

    # ------------------------------------------------------------------ the file format
    def records(self) -> List[str]:
        """The lines of the file, one per record (multi-entry records give several lines)."""
        n = _num
        L: List[str] = []
        L.append(_join([self.iop_model, self.par_lower, self.par_upper, self.chl_fluorescence_efficiency,
                        self.raman_wavelength, self.raman_cross_section, self.dynamic_depth]))
        L += [self.title, self.root]
        L.append(_join([self.printout, self.digital_file, self.single_sheet, self.multi_sheet, self.radiance_file,
                        self.band_skip]))
        L.append(_join(self.model_options))
        L.append(_join([self.ncomp, self.nconc]))
        L.append(_join(self.concentrations))
        L += [_join(e) for e in self.concentration_entries]
        L += self.astar_files
        L += [_join(e) for e in self.scattering]
        L += self.bstar_files
        L += [_join(e) for e in self.phase_options]
        L += self.phase_function_files
        L.append(n(self.nwave))
        L.append(_join(self.single_wavelength if self.single_wavelength is not None else self.band_edges))
        L.append(_join(self.sources))
        L.append(_join([self.sky_model, len(self.sky_data)] + self.sky_data))
        L.append(_join(self.atmosphere))
        L.append(_join([self.wind_speed, self.refractive_index, self.temperature, self.salinity]))
        L.append(_join([self.bottom_type, self.bottom_reflectance]))
        L.append(_join([self.depth_type, len(self.depths)] + self.depths))
        L.append(self.iop_file)
        L.append(n(self.ac9_option))
        L += self.data_files
        L.append(self.bottom_file)
        L += self.profile_files
        L += [self.extra_file, self.bio_file]
        L += [f"{k} = {v}" for k, v in self.options.items()]
        return L

    def to_text(self) -> str:
        return "\n".join(self.records()) + "\n"

    @classmethod
    def from_text(cls, text: str) -> "RunInput":
        r = _Reader(text)
        kw: dict = {}
        v = r.numbers(1, 7)
        (kw["iop_model"], kw["par_lower"], kw["par_upper"], kw["chl_fluorescence_efficiency"],
         kw["raman_wavelength"], kw["raman_cross_section"], kw["dynamic_depth"]) = v
        kw["title"] = r.line(2)
        kw["root"] = r.line(3)
        (kw["printout"], kw["digital_file"], kw["single_sheet"], kw["multi_sheet"], kw["radiance_file"],
         kw["band_skip"]) = r.numbers(4, 6)
        kw["model_options"] = r.numbers(5, 5)
        ncomp, nconc = (int(x) for x in r.numbers(6, 2))
        if ncomp > MAX_COMPONENTS or nconc > MAX_COMPONENTS or ncomp < 1 or nconc < 0:
            raise RunInputError(6, "ncomp/nconc", f"counts {ncomp} {nconc} outside 1..{MAX_COMPONENTS}")
        kw["concentrations"] = r.numbers(7, nconc)
        kw["concentration_entries"] = [r.numbers(8, 5) for _ in range(nconc)]
        kw["astar_files"] = [r.line(9) for _ in range(nconc)]
        kw["scattering"] = [r.numbers(10, 6) for _ in range(ncomp)]
        kw["bstar_files"] = [r.line(11) for _ in range(ncomp)]
        kw["phase_options"] = [r.numbers(12, 5) for _ in range(ncomp)]
        kw["phase_function_files"] = [r.line(13) for _ in range(ncomp)]
        nwave = int(r.numbers(14, 1)[0])
        if nwave == 0:
            kw["single_wavelength"], kw["band_edges"] = r.numbers(15, 3), None
        else:
            if not 0 < nwave <= MAX_BANDS:
                raise RunInputError(14, "nwave", f"{nwave} bands; 0 to {MAX_BANDS} allowed")
            kw["band_edges"] = r.numbers(15, nwave + 1)
        kw["sources"] = r.numbers(16, 5)
        sky = r.counted(17)
        kw["sky_model"], kw["sky_data"] = sky[0], sky[2:]
        kw["atmosphere"] = r.numbers(18, 10)
        kw["wind_speed"], kw["refractive_index"], kw["temperature"], kw["salinity"] = r.numbers(19, 4)
        kw["bottom_type"], kw["bottom_reflectance"] = r.numbers(20, 2)
        dep = r.counted(21)
        kw["depth_type"], kw["depths"] = dep[0], dep[2:]
        kw["iop_file"] = r.line(22)
        kw["ac9_option"] = r.numbers(23, 1)[0]
        kw["data_files"] = [r.line(24 + i) for i in range(5)]
        kw["bottom_file"] = r.line(29)
        kw["profile_files"] = [r.line(30) for _ in range(ncomp)]
        kw["extra_file"] = r.line(31)
        kw["bio_file"] = r.line(32)
        kw["options"] = r.options()
        return cls(**kw)


def _num(v) -> str:
    if isinstance(v, int):
        return str(v)
    return repr(float(v)) if float(v) != int(float(v)) or abs(v) >= 1e15 else f"{float(v):.1f}"


def _join(values: Sequence) -> str:
    return " ".join(_num(v) for v in values)


_NUMBER = re.compile(r"^[+-]?(\d+\.?\d*|\.\d+)([eEdD][+-]?\d+)?$")


class _Reader:
    """Reads records the way the engine does: numeric records free format across lines, names as whole lines."""

    def __init__(self, text: str):
        self.lines = text.splitlines()
        self.i = 0

    def _next_line(self, record: int) -> str:
        if self.i >= len(self.lines):
            raise RunInputError(record, "record", "the file ends before this record")
        s = self.lines[self.i]
        self.i += 1
        return s

    def line(self, record: int) -> str:
        return self._next_line(record).rstrip()

    def _tokens(self, record: int, n: int, counted: bool = False) -> List[str]:
        out: List[str] = []
        want = n
        while len(out) < want:
            s = self._next_line(record)
            for tok in re.split(r"[,\s]+", s.strip()):
                if not tok:
                    continue
                if tok.startswith("/"):
                    want = len(out)
                    break
                m = re.fullmatch(r"(\d+)\*(.*)", tok)
                out += [m.group(2) or "0"] * int(m.group(1)) if m else [tok]
                if counted and len(out) == 2:
                    want = 2 + int(_value(record, out[1]))
            if counted and len(out) >= 2:
                want = 2 + int(_value(record, out[1]))
        return out[:want]

    def numbers(self, record: int, n: int) -> list:
        return [_value(record, t) for t in self._tokens(record, n)]

    def counted(self, record: int) -> list:
        return [_value(record, t) for t in self._tokens(record, 2, counted=True)]

    def options(self) -> Dict[str, str]:
        opts: Dict[str, str] = {}
        for s in self.lines[self.i:]:
            s = s.split("#", 1)[0].strip()
            if not s:
                continue
            if "=" not in s:
                raise RunInputError(33, "options", f"not a run option 'name = value': {s!r}")
            k, v = s.split("=", 1)
            opts[k.strip().lower()] = v.strip()
        return opts


def _value(record: int, tok: str):
    t = tok.strip()
    if not _NUMBER.match(t):
        raise RunInputError(record, "value", f"{tok!r} is not a number")
    t = t.replace("d", "e").replace("D", "e")
    if re.fullmatch(r"[+-]?\d+", t):
        return int(t)
    return float(t)
