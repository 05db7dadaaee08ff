#!/usr/bin/env bash
# Sets up, builds and installs vela, then runs a benchmark:
#   bash scripts/bench.sh packing [args]   C++ packing benchmark (default)
#   bash scripts/bench.sh sync [args]      C++ sync layer benchmark
#   bash scripts/bench.sh round [args]     Python sync round benchmark
#   bash scripts/bench.sh session [args]   Python session client: wire, round, Redis
#   bash scripts/bench.sh resolve [args]   C++ asset resolution benchmark, then
#                                          the HTTP store's fetches (benchFetch.py)
#   bash scripts/bench.sh fetch [args]     the HTTP store's fetches alone
#   bash scripts/bench.sh usd [args]       Usd stages on sync layers (usd-core flavour)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="${VELA_VENV:-$root/.venv}"

which="${1:-packing}"
[ $# -gt 0 ] && shift

if [ "$which" = usd ]; then
    bash "$root/scripts/build.sh" usd-core
    cd "$root" && exec "${VELA_USD_VENV:-$root/.venv-usd}/bin/python" benchmarks/benchUsd.py "$@"
fi
bash "$root/scripts/build.sh"
case "$which" in
    packing) "$root/build/wheel/benchmarks/benchPacking" --benchmark_counters_tabular=true "$@" ;;
    sync)    "$root/build/wheel/benchmarks/benchSync" --benchmark_counters_tabular=true "$@" ;;
    resolve) "$root/build/wheel/benchmarks/benchResolve" --benchmark_counters_tabular=true "$@"
             cd "$root" && "$venv/bin/python" benchmarks/benchFetch.py ;;
    fetch)   cd "$root" && "$venv/bin/python" benchmarks/benchFetch.py "$@" ;;
    round)   cd "$root" && "$venv/bin/python" benchmarks/benchRound.py "$@" ;;
    session) cd "$root" && "$venv/bin/python" benchmarks/benchSession.py "$@" ;;
    *) echo "usage: bash scripts/bench.sh [packing|sync|round|session|resolve|fetch|usd] [args]" >&2; exit 2 ;;
esac
