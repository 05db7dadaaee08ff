#!/usr/bin/env bash
# Sets up, builds and runs every test suite: GoogleTest through ctest, then
# pytest against the installed Python package (with a redis-server of its
# own for the session client's tests).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="${VELA_VENV:-$root/.venv}"

bash "$root/scripts/build.sh"

"$venv/bin/ctest" --test-dir "$root/build/wheel" --output-on-failure -j2

cd "$root"

# A redis-server of the tests' own on a free loopback port, stopped when the
# script ends, however it ends.
redis_dir=""
redis_pid=""
stop_redis() {
    [ -n "$redis_pid" ] && kill "$redis_pid" 2>/dev/null && wait "$redis_pid" 2>/dev/null
    [ -n "$redis_dir" ] && rm -rf "$redis_dir"
    return 0
}
trap stop_redis EXIT
if command -v redis-server >/dev/null; then
    redis_dir="$(mktemp -d)"
    redis_port="$("$venv/bin/python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
    redis-server --port "$redis_port" --bind 127.0.0.1 --dir "$redis_dir" --save "" \
        --appendonly no --daemonize no --loglevel warning >/dev/null &
    redis_pid=$!
    export VELA_TEST_REDIS_URL="redis://127.0.0.1:$redis_port/0"
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
exit "$status"
