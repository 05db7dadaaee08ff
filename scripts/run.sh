#!/usr/bin/env bash
# The main job: sets up, builds and installs vela, then runs the session
# demo (vela-sync demo): two peer processes edit one layer at once over the
# embedded transport and report what each sent and received. Arguments are
# passed on to it (--redis URL, --wire-json, --rounds N, --show-layer). It
# exits non-zero if the peers' layers differ.
#
# The older one-process round stays available as vela-sync-round
# (python -m vela.usd.sync.round).
#
# The benchmarks have their own script: scripts/bench.sh.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="${VELA_VENV:-$root/.venv}"

bash "$root/scripts/build.sh"
cd "$root"
"$venv/bin/python" -m vela.usd.client.cli demo "$@"
