#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's private prefix.
# The prefix is $FERROLIN_WINEPREFIX, or "wineprefix" in the nearest build tree above
# the current folder (ctest runs each test inside the build tree).
set -euo pipefail
prefix="${FERROLIN_WINEPREFIX:-}"
if [ -z "$prefix" ]; then
  d="$PWD"
  while [ "$d" != "/" ] && [ ! -f "$d/CMakeCache.txt" ]; do d=$(dirname "$d"); done
  [ -f "$d/CMakeCache.txt" ] || { echo "wine-run.sh: not inside a build tree" >&2; exit 2; }
  prefix="$d/wineprefix"
fi
export WINEPREFIX="$prefix"
FERROLIN_WINE_ERRORS=1
. "$(dirname "$0")/wine-env.sh"
# Run, not exec: a program that ends badly is named with how it ended, also when neither it
# nor the loader said a word (the loader's own messages pass through on stderr).
status=0
started=$(date +%s%N)
/usr/lib/wine/wine64 "$@" || status=$?
if [ "$status" -ne 0 ]; then
  ms=$((($(date +%s%N) - started) / 1000000))
  how="status $status after $ms ms"
  if [ "$status" -gt 128 ] && signal=$(kill -l $((status - 128)) 2>/dev/null); then
    how="$how (the loader was killed by SIG$signal)"
  fi
  echo "wine-run.sh: $1 ended with $how in $WINEPREFIX" >&2
fi
exit "$status"
