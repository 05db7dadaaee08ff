#!/usr/bin/env bash
# Sets up, builds and runs every test suite: GoogleTest through ctest, then
# pytest against the installed Python package, then the annotation schema's
# pytest suite in its own environment (.venv-usd, usd-core).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="${VELA_VENV:-$root/.venv}"
usdVenv="${VELA_USD_VENV:-$root/.venv-usd}"

bash "$root/scripts/build.sh"

"$venv/bin/ctest" --test-dir "$root/build/wheel" --output-on-failure -j2

cd "$root"
status=0
"$venv/bin/python" -m pytest -q tests/python || status=$?
# pytest exits 5 when it collects nothing; that is not a failure here.
[ "$status" -eq 5 ] && status=0

bash "$root/scripts/setup-usd.sh"
schemaStatus=0
"$usdVenv/bin/python" -m pytest -q tests/schema || schemaStatus=$?
[ "$schemaStatus" -eq 5 ] && schemaStatus=0
[ "$status" -eq 0 ] && status=$schemaStatus
exit "$status"
