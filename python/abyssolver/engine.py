"""Running the engine: a temporary run folder, the run-input file on standard input,
the console shown as a progress bar, the NetCDF output returned as an xarray Dataset."""
from __future__ import annotations

import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path
from typing import List, Optional, Union

from .runinput import RunInput


class RunError(RuntimeError):
    """The engine stopped with an error. ``lines`` holds its ERROR/STOP lines, ``console`` all its output."""

    def __init__(self, lines: List[str], console: str, returncode: int):
        self.lines = lines
        self.console = console
        self.returncode = returncode
        detail = "\n".join(lines) if lines else console[-2000:]
        super().__init__(f"the engine stopped (exit status {returncode}):\n{detail}")


def repository_root() -> Path:
    """The checkout this package lives in (python/abyssolver/ two levels below it)."""
    return Path(__file__).resolve().parents[2]


def find_engine() -> Path:
    """The engine binary: $ABYSSOLVER_EXE, else build/abyssolver of the checkout."""
    env = os.environ.get("ABYSSOLVER_EXE")
    candidates = [Path(env)] if env else []
    candidates.append(repository_root() / "build" / "abyssolver")
    for c in candidates:
        if c.is_file() and os.access(c, os.X_OK):
            return c
    raise FileNotFoundError(
        "the abyssolver engine was not found (looked at "
        + ", ".join(str(c) for c in candidates)
        + "); build it with `cmake -S . -B build && cmake --build build --target abyssolver data` "
        "or set ABYSSOLVER_EXE")


def find_data() -> Path:
    """The data tree: $ABYSSOLVER_DATA, else data/ of the checkout."""
    d = Path(os.environ.get("ABYSSOLVER_DATA", repository_root() / "data"))
    if not (d / "phasefun").is_dir() or not (d / "surfaces").is_dir():
        raise FileNotFoundError(
            f"the data tree {d} lacks its generated parts (phasefun/, surfaces/); "
            "run `cmake --build build --target data` or set ABYSSOLVER_DATA")
    return d


class _Progress:
    """A one-line progress bar fed with the engine's console lines."""

    BEGIN = re.compile(r"Now beginning wavelength\s+(\d+)\s+of\s+(\d+)\s+at nominal wavelength\s+([\d.]+)")
    DONE = re.compile(r"Waveband\s+(\d+)\s+of\s+(\d+)\s+completed")

    def __init__(self, stream, enabled: bool):
        self.stream = stream
        self.enabled = enabled
        self.done = 0
        self.total = 0
        self.wave = ""
        self.tty = bool(getattr(stream, "isatty", lambda: False)())

    def feed(self, line: str) -> None:
        m = self.BEGIN.search(line)
        if m:
            self.total, self.wave = int(m.group(2)), m.group(3)
        m = self.DONE.search(line)
        if m:
            self.done, self.total = self.done + 1, int(m.group(2))
        done = bool(self.DONE.search(line))
        if not (self.enabled and self.total and (done or self.BEGIN.search(line))):
            return
        width = 30
        filled = int(width * self.done / max(self.total, 1))
        bar = f"abyssolver [{'#' * filled}{'.' * (width - filled)}] {self.done}/{self.total} bands  {self.wave} nm "
        if self.tty:  # one line, redrawn in place
            self.stream.write("\r" + bar)
        elif done:  # a log file or a notebook cell: one line per finished band
            self.stream.write(bar.rstrip() + "\n")
        self.stream.flush()

    def close(self) -> None:
        if self.enabled and self.total and self.tty:
            self.stream.write("\n")
            self.stream.flush()


def error_lines(console: str) -> List[str]:
    """The engine's lines that explain a failed run (ERROR, STOP and record messages)."""
    keep = ("ERROR", "STOP in routine", "Run-input file, record", "WARNING", "invalid", " gt ")
    return [s.strip() for s in console.splitlines() if any(k in s for k in keep)]


def prepare_run_tree(root: Path, data: Path) -> Path:
    """<root>/run (where the engine starts) beside <root>/data (the data tree) and <root>/output."""
    (root / "run").mkdir(parents=True, exist_ok=True)
    link = root / "data"
    if not link.exists():
        link.symlink_to(data.resolve(), target_is_directory=True)
    return root / "run"


def run_engine(run_input: RunInput, root: Path, progress: bool = True, engine: Optional[Path] = None,
               data: Optional[Path] = None) -> Path:
    """Runs the engine on ``run_input`` in the run tree under ``root``; returns the NetCDF file."""
    engine = Path(engine) if engine else find_engine()
    data = Path(data) if data else find_data()
    ri = run_input.replace(options={**run_input.options, "netcdf": "yes"})
    rundir = prepare_run_tree(root, data)
    infile = root / f"{ri.root}.inp"
    ri.write(infile)
    bar = _Progress(sys.stderr, progress)
    lines: List[str] = []
    with open(infile) as stdin:
        proc = subprocess.Popen([str(engine)], cwd=rundir, stdin=stdin, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True, errors="replace")
        assert proc.stdout is not None
        for line in proc.stdout:
            lines.append(line)
            bar.feed(line)
        rc = proc.wait()
    bar.close()
    console = "".join(lines)
    (root / "console.txt").write_text(console)
    if rc != 0:
        raise RunError(error_lines(console), console, rc)
    nc = root / "output" / "Abyssolver" / "digital" / f"{ri.root}.nc"
    if not nc.is_file():
        raise RunError(["the run ended without writing " + str(nc)], console, rc)
    return nc


def run(run_input: Union[RunInput, str, Path], workdir: Optional[Union[str, Path]] = None,
        progress: bool = True):
    """Runs the engine and returns its results as an ``xarray.Dataset``.

    ``run_input`` is a :class:`RunInput` (or the path of a run-input file). The run happens in a
    temporary run folder, removed afterwards, unless ``workdir`` names a folder to keep it in
    (``workdir/run``, ``workdir/output/...``). A failed run raises :class:`RunError` carrying the
    engine's ERROR/STOP lines.
    """
    from .dataset import open_run

    if not isinstance(run_input, RunInput):
        run_input = RunInput.read(run_input)
    if workdir is not None:
        root = Path(workdir)
        root.mkdir(parents=True, exist_ok=True)
        return open_run(run_engine(run_input, root, progress), load=True)
    tmp = Path(tempfile.mkdtemp(prefix="abyssolver_"))
    try:
        return open_run(run_engine(run_input, tmp, progress), load=True)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
