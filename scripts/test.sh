#!/usr/bin/env bash
# Sets up, builds and runs every test suite: the C++ format check,
# GoogleTest through ctest, then
# pytest against the installed Python package (with a redis-server of its
# own for the session client's tests), then the annotation schema's pytest
# suite in its own environment (.venv-usd, usd-core), then the sanitizer
# runs: each fuzz target replays its committed corpus and fuzzes for a
# bounded time, and the concurrency tests run under ThreadSanitizer
# (scripts/sanitize.sh, build trees build/fuzz and build/tsan).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="${VELA_VENV:-$root/.venv}"
usdVenv="${VELA_USD_VENV:-$root/.venv-usd}"

bash "$root/scripts/build.sh"

# The C++ sources must be laid out as .clang-format says; the rest runs
# either way, and the script fails at the end.
formatStatus=0
bash "$root/scripts/format.sh" --check || formatStatus=1

"$venv/bin/ctest" --test-dir "$root/build/wheel" --output-on-failure -j2

cd "$root"

# A redis-server of the tests' own on a free loopback port, stopped when the
# script ends, however it ends.
redisDir=""
redisPid=""
stopRedis() {
    [ -n "$redisPid" ] && kill "$redisPid" 2>/dev/null && wait "$redisPid" 2>/dev/null
    [ -n "$redisDir" ] && rm -rf "$redisDir"
    return 0
}
trap stopRedis EXIT
if command -v redis-server >/dev/null; then
    redisDir="$(mktemp -d)"
    redisPort="$("$venv/bin/python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
    redis-server --port "$redisPort" --bind 127.0.0.1 --dir "$redisDir" --save "" \
        --appendonly no --daemonize no --loglevel warning >/dev/null &
    redisPid=$!
    export VELA_TEST_REDIS_URL="redis://127.0.0.1:$redisPort/0"
    "$venv/bin/python" - <<'PY'
import os, time, redis
client = redis.Redis.from_url(os.environ["VELA_TEST_REDIS_URL"])
for _ in range(200):
    try:
        client.ping()
        break
    except redis.ConnectionError:
        time.sleep(0.05)
else:
    raise SystemExit("redis-server did not start")
PY
fi

status=0
"$venv/bin/python" -m pytest -q tests/python || status=$?
# pytest exits 5 when it collects nothing; that is not a failure here.
[ "$status" -eq 5 ] && status=0

bash "$root/scripts/setup-usd.sh"
schemaStatus=0
"$usdVenv/bin/python" -m pytest -q tests/schema || schemaStatus=$?
[ "$schemaStatus" -eq 5 ] && schemaStatus=0
[ "$status" -eq 0 ] && status=$schemaStatus
bash "$root/scripts/sanitize.sh" fuzz "${VELA_FUZZ_SECONDS:-20}" || status=1
bash "$root/scripts/sanitize.sh" tsan || status=1
[ "$formatStatus" -eq 0 ] || status=1
exit "$status"
