#!/usr/bin/env bash
# Installs the Debian packages the engine, its tools and its tests need.
# Safe to run repeatedly; skips apt entirely when everything is present.
set -euo pipefail
pkgs=(cmake g++ make libgsl-dev liblapack-dev libblas-dev libfmt-dev libgtest-dev googletest pkg-config
      nlohmann-json3-dev libnetcdf-dev libopenmpi-dev openmpi-bin)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq "${missing[@]}" </dev/null
fi
