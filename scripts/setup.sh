#!/usr/bin/env bash
# Sets up the split flavour's environment on a fresh Debian machine: the
# system packages (scripts/setup-system.sh) and a virtual environment,
# .venv (or $VELA_VENV), with OpenUSD's split PyPI packages, their -dev
# packages for building, and the build and test tools
# (scripts/requirements.txt). The usd-core flavour has its own
# environment: scripts/setup-usd.sh.
# Safe to run again: it only installs what is missing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="${VELA_VENV:-$root/.venv}"

bash "$root/scripts/setup-system.sh"

if [ ! -x "$venv/bin/python" ]; then
    python3 -m venv "$venv"
fi

stamp="$venv/.vela-requirements"
if ! cmp -s "$root/scripts/requirements.txt" "$stamp"; then
    "$venv/bin/python" -m pip install -q --upgrade pip
    "$venv/bin/python" -m pip install -q -r "$root/scripts/requirements.txt"
    cp "$root/scripts/requirements.txt" "$stamp"
fi
