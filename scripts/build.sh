#!/usr/bin/env bash
# Configures and builds one architecture into build/ARCH (x86_64 or i686).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
arch="${1:-x86_64}"
case "$arch" in x86_64|i686) ;; *) echo "build.sh: unknown architecture $arch" >&2; exit 2 ;; esac
cmake -S "$root" -B "$root/build/$arch" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch-w64-mingw32.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/$arch"
