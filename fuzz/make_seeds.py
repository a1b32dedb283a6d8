#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz harnesses: small well-formed inputs of
every reader (and a few near misses), so that fuzzing starts from files the
readers accept. Run from the repository root: python3 fuzz/make_seeds.py"""
import math
import pathlib
import shutil

root = pathlib.Path(__file__).resolve().parent.parent
corpus = root / "fuzz" / "corpus"


def e12(v):
    """Fortran E12.6: 0.dddddde+xx."""
    if v == 0.0:
        return "0.000000E+00"
    exp = math.floor(math.log10(abs(v))) + 1
    mant = v / 10.0**exp
    if round(abs(mant), 6) >= 1.0:
        mant /= 10.0
        exp += 1
    s = f"{abs(mant):.6f}"[1:] if v < 0 else f"{mant:.6f}"
    return f"{'-' if v < 0 else ''}{s}E{'+' if exp >= 0 else '-'}{abs(exp):02d}"


def block(values):
    lines = []
    for i in range(0, len(values), 10):
        lines.append("".join(e12(v) + " " for v in values[i:i + 10]))
    return "\n".join(lines) + "\n"


def write(sub, name, data):
    p = corpus / sub / name
    p.parent.mkdir(parents=True, exist_ok=True)
    p.write_bytes(data if isinstance(data, bytes) else data.encode())


# Run-input files: the shipped examples.
for ex in sorted((root / "examples").glob("*.txt")):
    shutil.copy(ex, corpus / "run_input" / ex.name)

# Standard data files: first byte = file type (0 spectrum, 1 profile, 2 two spectra).
header = "".join(f"header record {i}\n" for i in range(1, 11))
write("data_file", "spectrum", b"\x00" + (header + "400 0.1\n500 0.2\n600 0.05\n-1 0\n").encode())
write("data_file", "profile", b"\x01" + (header + "0 0.5\n10 1.5\n50 0.1\n").encode())
write("data_file", "two_spectra", b"\x02" + (header + "400 0.006 0.0058\n500 0.02 0.0022\n-1 0 0\n").encode())
write("data_file", "fortran_forms", b"\x00" + (header + "4.0D2, 1.E-1\n\n5e2 1*0.5\n-1\n").encode())
for f in ["astarchl_norm_ps81.txt", "chlzprofile_gaussian.txt"]:
    write("data_file", f, (b"\x01" if "profile" in f else b"\x00") + (root / "data" / f).read_bytes())

# DPF files: nmu = 2, nphi = 4, M = 6 columns per array.
nmu, nphi = 2, 4
M = nmu * (nphi // 2 + 1)
dpf = "seed phase function, quad-averaged\n"
dpf += f"{3.5:6.2f}{nmu:3d}{nphi:3d}{1:3d}{M:12d}\n"
dpf += f" bb/b ratio ={0.0183:10.5f}\n"
for arr in (0.3, 0.02):
    for col in range(M):
        dpf += block([arr / (col + 1), arr / (col + 2)])
write("dpf_file", "small.dpf", dpf)

# Surface files: first byte 0 = surface file, 1 = wind list, 2 = index list.
nmu, nphi, lmax = 2, 4, 2
N = nmu * (lmax + 1)
surf = "seed sea surface: n = 1.340, U = 5.00 m/s\n"
surf += f"{5.0:6.2f}{nmu:3d}{nphi:3d}{1:3d}{1340:12d}\n"
ints = [nmu, nphi, lmax, 0, 1340, 0, 0, 0, 0, N, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0] + [0] * 10
surf += "".join(f"{v:5d}" for v in ints[:16]) + f"{ints[16]:12d}" + "".join(f"{v:5d}" for v in ints[17:20])
surf += "".join(f"{v:2d}" for v in ints[20:]) + "\n"
surf += block([math.pi, 0.5, 0.25, 1.34] + [0.0] * 26)
surf += block([0.5, 0.95])                       # fmu
surf += block([0.0, 1.5708, 3.1416, 4.7124])     # phi
surf += block([0.9, 1.0])                        # bndmu
surf += block([0.7854, 2.3562, 3.927, 5.4978])   # bndphi
surf += block([1.4, 0.3])                        # omega
surf += block([0.9, 0.1])                        # mu widths
for k in range(8):
    for j in range(N):
        surf += block([0.01 * (k + 1) if i == j else 0.001 for i in range(N)])
write("surface_file", "surface", b"\x00" + surf.encode())
write("surface_file", "windlist", b"\x01" + b"  0\n  5\n 10\n -1\n")
write("surface_file", "nlist", b"\x02" + b"1330\n1340\n1350\n-1\n")
