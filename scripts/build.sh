#!/usr/bin/env bash
# Builds vela and installs it into the environment of its flavour:
#   bash scripts/build.sh            the split flavour (OpenUSD's split pxr-*
#                                    packages): .venv, build tree build/wheel
#   bash scripts/build.sh usd-core   the usd-core flavour (usd-core 26.8):
#                                    .venv-usd, build tree build/usd-core
# One CMake build tree per flavour serves the installed package, the C++
# tests and (split) the benchmarks, so nothing is compiled twice.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
flavour="${1:-split}"

case "$flavour" in
    split)
        venv="${VELA_VENV:-$root/.venv}"
        bash "$root/scripts/setup.sh"
        buildDir="$root/build/wheel"
        benchmarks=ON
        extra=()
        ;;
    usd-core)
        venv="${VELA_USD_VENV:-$root/.venv-usd}"
        bash "$root/scripts/setup-usd.sh"
        buildDir="$root/build/usd-core"
        benchmarks=OFF
        # The -dev packages' headers, which are not in the environment itself.
        export CMAKE_PREFIX_PATH="$venv/build-deps${CMAKE_PREFIX_PATH:+:$CMAKE_PREFIX_PATH}"
        # The legacy TBB headers of PyPI's tbb-devel 2020.0.133, which
        # setup-usd.sh installs there (the configure step checks their
        # layouts against usd-core's library).
        extra=(-Ccmake.define.VELA_TBB_INCLUDE_DIR="$venv/build-deps/tbb-devel/include")
        ;;
    *)
        echo "usage: bash scripts/build.sh [split|usd-core]" >&2
        exit 2
        ;;
esac

# pyproject.toml and the build read the flavour from the environment.
export VELA_USD_FLAVOUR="$flavour"
# The machine has two cores, shared: never build wider than that.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
"$venv/bin/python" -m pip install -q --no-build-isolation --no-deps "$root" \
    -Cbuild-dir="$buildDir" \
    -Ccmake.define.VELA_BUILD_TESTS=ON \
    -Ccmake.define.VELA_BUILD_BENCHMARKS="$benchmarks" \
    "${extra[@]}" \
    2> >(grep -v "^WARNING: Location" >&2)
