#!/usr/bin/env bash
# Sets up the schema environment, .venv-usd: OpenUSD's usd-core (which has
# pxr.Usd) and vela's annotation distribution (annotationSchema/), kept
# apart from .venv, whose split pxr-* packages must never meet usd-core in
# one environment. Safe to run again: packages are installed once, the
# annotation distribution again whenever it changed.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="${VELA_USD_VENV:-$root/.venv-usd}"

if [ ! -x "$venv/bin/python" ]; then
    python3 -m venv "$venv"
fi

stamp="$venv/.vela-requirements"
if ! cmp -s "$root/scripts/requirements-usd.txt" "$stamp"; then
    "$venv/bin/python" -m pip install -q --upgrade pip
    "$venv/bin/python" -m pip install -q -r "$root/scripts/requirements-usd.txt"
    cp "$root/scripts/requirements-usd.txt" "$stamp"
fi

stamp="$venv/.vela-annotation"
sums="$(cd "$root/annotationSchema" && find . -type f ! -path '*/__pycache__/*' -print0 \
    | sort -z | xargs -0 sha256sum)"
if [ "$sums" != "$(cat "$stamp" 2>/dev/null)" ]; then
    "$venv/bin/python" -m pip install -q --no-deps --no-build-isolation \
        --force-reinstall "$root/annotationSchema"
    printf '%s' "$sums" > "$stamp"
fi
