#!/usr/bin/env bash
# Builds the x86_64 tree and runs benchmark programs (paths in the tree; by default the
# registry's and the library's) under Wine in a fresh private prefix.
#   bench.sh [PROGRAM ...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" x86_64
build="$root/build/x86_64"
prefix="$build/wineprefix"
trap '"$root/scripts/wine-prefix.sh" stop "$prefix"' EXIT
"$root/scripts/wine-prefix.sh" reset "$prefix"
export FERROLIN_WINEPREFIX="$prefix"
cd "$build"
[ "$#" -gt 0 ] || set -- bench/registry_bench.exe tests/library/library_bench.exe
for program in "$@"; do
  "$root/scripts/wine-run.sh" "$program"
done
