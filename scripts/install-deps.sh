#!/usr/bin/env bash
# Installs the Debian packages that building and testing korvale needs, only those missing.
# Runs apt-get (as root, or through sudo when it is there).
set -euo pipefail

# libpugixml-dev and libgeographiclib-dev build the route layer (route files from OpenDRIVE maps
# and GPS recordings); libbenchmark-dev builds the benchmarks; libgeos-dev and libfast-float-dev
# only add comparisons to them; python3-venv, -setuptools and -wheel install the Python package
# with pip, as the README shows; sumo and sumo-tools (its emission data) check the simulated
# drives independently; strace counts the tool's opens of a route file; clang-tidy checks the
# names in the code and the length of its functions.
packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libcli11-dev binutils pkg-config
          python3 python3-pytest python3-numpy python3-matplotlib locales git
          python3-venv python3-setuptools python3-wheel
          g++-mingw-w64-x86-64-posix wine64 libpugixml-dev libgeographiclib-dev llvm lld mono-mcs
          mono-runtime
          libbenchmark-dev libgeos-dev libfast-float-dev
          libcpp-httplib-dev chromium sumo sumo-tools strace
          clang-tidy)
# Node.js and npm run the browser test of the dashboard page: Debian's, unless a node is there.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    packages+=(nodejs npm)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
echo "installing: ${missing[*]}"
"${as_root[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q "${missing[@]}"
