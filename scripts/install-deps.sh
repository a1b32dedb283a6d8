#!/usr/bin/env bash
# Installs the Debian packages the engine, its tools and its tests need.
# Safe to run repeatedly; skips apt entirely when everything is present.
set -euo pipefail
pkgs=(cmake g++ make libgsl-dev liblapack-dev libblas-dev libfmt-dev libgtest-dev googletest pkg-config libnetcdf-dev
      nlohmann-json3-dev libopenmpi-dev openmpi-bin
      clang libclang-rt-14-dev
      python3 python3-numpy python3-xarray python3-netcdf4 python3-matplotlib python3-pytest python3-setuptools python3-pip)
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
