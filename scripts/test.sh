#!/usr/bin/env bash
# Sets up, builds and runs every test suite, in both of vela's flavours,
# each in its own environment and build tree:
#   split     (.venv, build/wheel): OpenUSD's split pxr-* packages
#   usd-core  (.venv-usd, build/usd-core): usd-core 26.8
# First the C++ format check; then, for each flavour, GoogleTest through
# ctest and pytest against the installed Python package (tests/python, with
# a redis-server of the script's own for the session client's tests), and
# in the usd-core flavour the annotation schema's suite (tests/schema);
# then the packaging test (tests/packaging): pip builds each flavour's
# wheel with build isolation from a clean copy of the sources and installs
# it into a fresh environment; then the sanitizer runs of the split
# flavour: each fuzz target replays its committed corpus and fuzzes for a
# bounded time, and the concurrency tests run under ThreadSanitizer
# (scripts/sanitize.sh, build trees build/fuzz and build/tsan).
# Every suite runs whatever an earlier one found; the script fails at the
# end if any did.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="${VELA_VENV:-$root/.venv}"
usdVenv="${VELA_USD_VENV:-$root/.venv-usd}"

bash "$root/scripts/build.sh"
bash "$root/scripts/build.sh" usd-core

status=0
# Records a suite's exit status; pytest's 5 (nothing collected) is no
# failure here.
record() {
    local code="$1"
    [ "$code" -eq 5 ] && code=0
    [ "$code" -eq 0 ] || status=1
}

# The C++ sources must be laid out as .clang-format says.
bash "$root/scripts/format.sh" --check || record $?

echo "== C++ tests, split flavour"
"$venv/bin/ctest" --test-dir "$root/build/wheel" --output-on-failure -j2 || record $?
echo "== C++ tests, usd-core flavour"
"$usdVenv/bin/ctest" --test-dir "$root/build/usd-core" --output-on-failure -j2 || record $?

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

echo "== Python tests, split flavour"
"$venv/bin/python" -m pytest -q tests/python || record $?
echo "== Python tests, usd-core flavour"
"$usdVenv/bin/python" -m pytest -q tests/python || record $?
echo "== annotation schema tests, usd-core flavour"
"$usdVenv/bin/python" -m pytest -q tests/schema || record $?
stopRedis
redisPid=""
redisDir=""

echo "== packaging: isolated wheel builds of both flavours, installed into fresh environments"
"$venv/bin/python" -m pytest -q tests/packaging || record $?

bash "$root/scripts/sanitize.sh" fuzz "${VELA_FUZZ_SECONDS:-20}" || record $?
bash "$root/scripts/sanitize.sh" tsan || record $?
exit "$status"
