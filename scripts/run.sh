#!/usr/bin/env bash
# The main job: sets up, builds and installs vela's usd-core flavour
# (.venv-usd), then runs the stage demo (examples/stageDemo.py): two peer
# processes, each with a Usd.Stage whose root layer is its sync layer, edit
# one scene at once through Usd and UsdGeom, annotate prims, reference an
# asset fetched on demand from a store, and report what each stage saw.
# Arguments are passed on to it (--redis URL, --rounds N). It exits
# non-zero if the two stages differ.
#
#   bash scripts/run.sh --split [args]   the same session demo in the split
#                                        flavour, on Sdf layers alone
#                                        (vela-sync demo: --redis URL,
#                                        --wire-json, --rounds N, --show-layer)
#
# The benchmarks have their own script: scripts/bench.sh.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
if [ "${1:-}" = "--split" ]; then
    shift
    bash "$root/scripts/build.sh"
    exec "${VELA_VENV:-$root/.venv}/bin/python" -m vela.usd.client.cli demo "$@"
fi
bash "$root/scripts/build.sh" usd-core
exec "${VELA_USD_VENV:-$root/.venv-usd}/bin/python" "$root/examples/stageDemo.py" "$@"
