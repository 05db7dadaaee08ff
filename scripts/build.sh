#!/usr/bin/env bash
# Builds vela and installs it into the project's virtual environment.
# One CMake build tree (build/wheel) serves the installed package, the C++
# tests and the benchmarks, so nothing is compiled twice.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="${VELA_VENV:-$root/.venv}"

bash "$root/scripts/setup.sh"
# The machine has two cores, shared: never build wider than that.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
"$venv/bin/python" -m pip install -q --no-build-isolation --no-deps "$root" \
    -Cbuild-dir="$root/build/wheel" \
    -Ccmake.define.VELA_BUILD_TESTS=ON \
    -Ccmake.define.VELA_BUILD_BENCHMARKS=ON \
    2> >(grep -v "^WARNING: Location" >&2)
