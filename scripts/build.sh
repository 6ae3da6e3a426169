#!/usr/bin/env bash
# Configures and builds one architecture (x86_64 or i686): the one configure step of every
# script.
#   build.sh [--configure-only] ARCH [TREE [CMAKE_OPTION ...]]
# TREE defaults to build/ARCH; the options are added to the Release configuration.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
configure_only=0
[ "${1:-}" = "--configure-only" ] && { configure_only=1; shift; }
arch="${1:-x86_64}"
case "$arch" in x86_64|i686) ;; *) echo "build.sh: unknown architecture $arch" >&2; exit 2 ;; esac
tree="${2:-$root/build/$arch}"
cmake -S "$root" -B "$tree" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch-w64-mingw32.cmake" \
  -DCMAKE_BUILD_TYPE=Release "${@:3}" >/dev/null
[ "$configure_only" = 1 ] || cmake --build "$tree"
