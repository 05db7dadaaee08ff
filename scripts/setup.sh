#!/usr/bin/env bash
# Installs everything vela needs on a fresh Debian machine: the system
# libraries (spdlog, fmt, Boost's Base64 iterators, GoogleTest, Google
# Benchmark, and redis-server for the session client's tests), clang for
# the sanitizer builds and clang-format for the format check, and a
# virtual environment with OpenUSD's PyPI packages.
# Safe to run again: it only installs what is missing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="${VELA_VENV:-$root/.venv}"

apt_packages=(libspdlog-dev libfmt-dev libboost-dev libgtest-dev libbenchmark-dev redis-server)
# clang with its sanitizer and libFuzzer runtimes, and the coverage tools,
# for scripts/sanitize.sh.
apt_packages+=(clang-14 libclang-rt-14-dev llvm-14)
# clang-format, pinned to 14 as the sanitizer builds' clang is, for
# scripts/format.sh.
apt_packages+=(clang-format-14)
missing=()
for p in "${apt_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    # RUNLEVEL=1: install redis-server without starting a system-wide
    # server; the tests start their own on a loopback port.
    DEBIAN_FRONTEND=noninteractive RUNLEVEL=1 $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi

if [ ! -x "$venv/bin/python" ]; then
    python3 -m venv "$venv"
fi

stamp="$venv/.vela-requirements"
if ! cmp -s "$root/scripts/requirements.txt" "$stamp"; then
    "$venv/bin/python" -m pip install -q --upgrade pip
    "$venv/bin/python" -m pip install -q -r "$root/scripts/requirements.txt"
    cp "$root/scripts/requirements.txt" "$stamp"
fi
