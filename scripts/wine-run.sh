#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's private prefix.
# The prefix is $FERROLIN_WINEPREFIX, or "wineprefix" in the nearest build tree above
# the current folder (ctest runs each test inside the build tree).
set -e
prefix="${FERROLIN_WINEPREFIX:-}"
if [ -z "$prefix" ]; then
  d="$PWD"
  while [ "$d" != "/" ] && [ ! -f "$d/CMakeCache.txt" ]; do d=$(dirname "$d"); done
  [ -f "$d/CMakeCache.txt" ] || { echo "wine-run.sh: not inside a build tree" >&2; exit 2; }
  prefix="$d/wineprefix"
fi
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# The 64-bit loader starts 32-bit programs itself where the machine can run them;
# the 32-bit loader that /usr/bin/wine prefers cannot run at all on a 64-bit-only kernel.
export WINELOADER=/usr/lib/wine/wine64
# Where qemu emulates the CPU for 32-bit programs (see install-deps.sh), it gives each one
# a 4 GB address space by default, and Wine reserving everything above 2 GB costs about a
# minute at every process start. 2 GB and a little above are all Wine needs there.
export QEMU_RESERVED_VA="${QEMU_RESERVED_VA:-0x81000000}"
exec /usr/lib/wine/wine64 "$@"
