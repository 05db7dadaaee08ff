#!/usr/bin/env bash
# Sets up the usd-core flavour's environment, .venv-usd (or
# $VELA_USD_VENV): the system packages (scripts/setup-system.sh), OpenUSD's
# usd-core 26.8 with the test and build tools (scripts/requirements-usd.txt),
# and, for building only, the split -dev packages' headers in
# .venv-usd/build-deps (scripts/requirements-usd-build.txt), a directory
# that is not on Python's path. It stays apart from .venv: usd-core and the
# split pxr-* packages must never meet in one environment.
# `bash scripts/build.sh usd-core` runs it, then builds vela's usd-core
# flavour (with vela.usd.annotation) and installs it here.
# Safe to run again: it only installs what is missing or changed.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="${VELA_USD_VENV:-$root/.venv-usd}"

bash "$root/scripts/setup-system.sh"

if [ ! -x "$venv/bin/python" ]; then
    python3 -m venv "$venv"
fi

stamp="$venv/.vela-requirements"
if ! cmp -s "$root/scripts/requirements-usd.txt" "$stamp"; then
    "$venv/bin/python" -m pip install -q --upgrade pip
    "$venv/bin/python" -m pip install -q -r "$root/scripts/requirements-usd.txt"
    cp "$root/scripts/requirements-usd.txt" "$stamp"
fi

stamp="$venv/.vela-build-deps"
if ! cmp -s "$root/scripts/requirements-usd-build.txt" "$stamp"; then
    rm -rf "$venv/build-deps"
    "$venv/bin/python" -m pip install -q --target "$venv/build-deps" \
        -r "$root/scripts/requirements-usd-build.txt"
    cp "$root/scripts/requirements-usd-build.txt" "$stamp"
fi
# PyPI's legacy TBB headers. tbb-devel 2020.0.133 asks for tbb==2020.0, a
# release that was never published, so it goes in without its dependencies
# (only its headers are used), apart from the rest.
if [ ! -d "$venv/build-deps/tbb-devel" ]; then
    "$venv/bin/python" -m pip install -q --no-deps --target "$venv/build-deps/tbb-devel" \
        tbb-devel==2020.0.133 2> >(grep -v "^WARNING: Location" >&2)
fi

# The annotation schema used to be a distribution of its own here; the
# usd-core flavour installs it now.
if [ -e "$venv/.vela-annotation" ]; then
    "$venv/bin/python" -m pip uninstall -q -y velahub-annotation-schema || true
    rm -f "$venv/.vela-annotation"
fi
