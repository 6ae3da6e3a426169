#!/usr/bin/env bash
# Builds the x86_64 tree and runs the benchmarks under Wine in a fresh private prefix.
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
"$root/scripts/wine-run.sh" bench/registry_bench.exe
"$root/scripts/wine-run.sh" tests/library/library_bench.exe
