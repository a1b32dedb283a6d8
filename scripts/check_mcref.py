#!/usr/bin/env python3
"""Checks the kept-aside Monte Carlo tracer (tools/mcref) against the exact
semi-infinite solution for isotropic scattering (Chandrasekhar's H-function):
a medium of albedo 0.8 without an interface (n = 1) under a sun at zenith.
The light leaving the surface is the plane albedo 1 - H(1) sqrt(1 - w), and
the radiance leaving at cosine mu is w / (4 pi) H(mu) H(1) / (mu + 1) per
unit irradiance (averaged over the 5-degree cap for Lu_cap_nee).

Usage: check_mcref.py BUILD_DIR
"""
import math
import os
import subprocess
import sys

W = 0.8
N = 400  # Simpson intervals on [0, 1]


def h_function(w):
    """H on an even grid of mu in [0, 1] by iteration of its integral equation."""
    mu = [i / N for i in range(N + 1)]
    simpson = [(1 if i in (0, N) else (4 if i % 2 else 2)) / (3 * N) for i in range(N + 1)]
    h = [1.0] * (N + 1)
    for _ in range(200):
        new = []
        for i, m in enumerate(mu):
            s = sum(simpson[j] * h[j] / (m + mu[j]) for j in range(N + 1) if m + mu[j] > 0)
            new.append(1.0 / (1.0 - 0.5 * w * m * s))
        if max(abs(a - b) for a, b in zip(new, h)) < 1e-12:
            break
        h = new
    return mu, new


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    exe = os.path.join(os.path.abspath(sys.argv[1]), "mcref")
    out = subprocess.run([exe, "--n", "1.0", "--sun", "0", "--a", "0.2", "--comp", "iso:0.8", "--photons", "400000",
                          "--depths", "0"], check=True, capture_output=True, text=True).stdout
    mc = {q: (float(v), float(se)) for d, q, v, se in (l.split("\t") for l in out.splitlines()[1:])}
    mu, h = h_function(W)
    h1 = h[-1]
    albedo = 1.0 - h1 * math.sqrt(1.0 - W)
    c5 = math.cos(5.0 * math.pi / 180.0)
    cap = [(m, hm) for m, hm in zip(mu, h) if m >= c5]
    # Average over the cap (dOmega ~ dmu) of the radiance leaving at mu, by the trapezoidal rule.
    avg = sum(0.5 * (W / (4 * math.pi) * h1 * (a[1] / (a[0] + 1) + b[1] / (b[0] + 1))) * (b[0] - a[0])
              for a, b in zip(cap, cap[1:])) / (cap[-1][0] - cap[0][0])
    fails = 0
    for name, exact in (("Eu", albedo), ("Lu_cap_nee", avg)):
        value, se = mc[name]
        ok = abs(value - exact) <= 3 * se + 2e-3 * exact
        fails += not ok
        print("%-11s Monte Carlo %.5e +- %.1e, exact %.5e (%+.2f %%) %s" %
              (name, value, se, exact, 100 * (value / exact - 1), "ok" if ok else "FAIL"))
    return 1 if fails else 0


if __name__ == "__main__":
    sys.exit(main())
