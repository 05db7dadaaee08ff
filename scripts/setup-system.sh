#!/usr/bin/env bash
# Installs the system packages that both of vela's environments build and
# test with, on a fresh Debian machine: spdlog, fmt, Boost's Base64
# iterators, GoogleTest, Google Benchmark, redis-server (alone, with TLS and
# as a cluster) and openssl for the session
# client's tests, clang for the sanitizer builds and clang-format for the
# format check. Safe to run again: it only installs what is missing.
# scripts/setup.sh and scripts/setup-usd.sh run it.
set -euo pipefail

apt_packages=(libspdlog-dev libfmt-dev libboost-dev zlib1g-dev libgtest-dev libbenchmark-dev redis-server)
# openssl makes the certificates of the TLS tests' redis-server.
apt_packages+=(openssl)
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
