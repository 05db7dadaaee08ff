#!/usr/bin/env bash
# Sets up, builds and runs every test suite: GoogleTest through ctest, then
# pytest against the installed Python package.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="${VELA_VENV:-$root/.venv}"

bash "$root/scripts/build.sh"

"$venv/bin/ctest" --test-dir "$root/build/wheel" --output-on-failure -j2

cd "$root"
status=0
"$venv/bin/python" -m pytest -q tests/python || status=$?
# pytest exits 5 when it collects nothing; that is not a failure here.
[ "$status" -eq 5 ] && status=0
exit "$status"
