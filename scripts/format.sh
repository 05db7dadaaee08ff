#!/usr/bin/env bash
# Formats vela's C++ sources with clang-format 14 and the repository's
# .clang-format, or, with --check, lists the files that differ from it and
# exits 1. The version is pinned: another clang-format lays some lines out
# otherwise.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
clangFormat="${VELA_CLANG_FORMAT:-clang-format-14}"
if ! command -v "$clangFormat" >/dev/null; then
    echo "format.sh: $clangFormat not found (scripts/setup.sh installs it)" >&2
    exit 2
fi

cd "$root"
mapfile -t files < <(git ls-files '*.h' '*.cpp')

if [ "${1:-}" != "--check" ]; then
    "$clangFormat" -i "${files[@]}"
    exit 0
fi

unformatted=()
for f in "${files[@]}"; do
    if ! "$clangFormat" "$f" | cmp -s - "$f"; then
        unformatted+=("$f")
    fi
done
if [ ${#unformatted[@]} -gt 0 ]; then
    echo "format.sh: ${#unformatted[@]} file(s) differ from .clang-format" \
         "(run bash scripts/format.sh):" >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    exit 1
fi
echo "format.sh: ${#files[@]} files formatted as .clang-format says"
