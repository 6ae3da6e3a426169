#!/usr/bin/env bash
# Creates, resets, starts and stops a private Wine prefix for the tests and the demo.
#   wine-prefix.sh reset PREFIX   fresh copy of the template (made when missing or stale),
#                                 then the prefix's server is started and warmed up
#   wine-prefix.sh stop PREFIX    ends every Wine process of that prefix (and only of it)
# FERROLIN_WINE_DISPLAY=1 makes a prefix that draws on $DISPLAY instead of the null driver.
# The templates are shared by every prefix of the checkout (both architectures, the demo,
# the benchmarks): build/wine-templates, or FERROLIN_WINE_TEMPLATES.
set -euo pipefail
cmd="${1:?usage: wine-prefix.sh reset|stop PREFIX}"
prefix="$(realpath -m "${2:?usage: wine-prefix.sh reset|stop PREFIX}")"
here="$(cd "$(dirname "$0")" && pwd)"
templates="$(realpath -m "${FERROLIN_WINE_TEMPLATES:-$here/../build/wine-templates}")"

. "$here/wine-env.sh"
wine=/usr/lib/wine/wine64

# Ends the prefix's processes and waits for its server to be gone: a server still ending
# while the prefix is replaced, or while the next run starts, is a run that fails at random.
stop() {
  WINEPREFIX="$1" wineserver -k >/dev/null 2>&1 || true
  if ! WINEPREFIX="$1" timeout 30 wineserver -w >/dev/null 2>&1; then
    echo "wine-prefix: the Wine server of $1 still runs 30 s after it was told to end" >&2
    return 1
  fi
}

# Everything that shapes a prefix: a change in any of it makes a new template.
stamp() {
  {
    dpkg-query -W -f='${Package} ${Version}\n' wine64 'wine32:i386' fonts-wine 2>/dev/null || true
    sha1sum "$here/wine-prefix.sh" | cut -d' ' -f1
    echo "display=${FERROLIN_WINE_DISPLAY:-0}"
    # A prefix made while 32-bit programs could not run lacks its 32-bit half.
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo "run32=1"; fi
  } | sha1sum | cut -d' ' -f1
}

make_template() {
  local t="$1"
  rm -rf "$t"
  mkdir -p "$(dirname "$t")"
  # The Wine processes must not inherit the lock (fd 9): a server outliving us would hold it.
  WINEPREFIX="$t" "$wine" wineboot --init </dev/null >/dev/null 2>&1 9>&-
  # Wine's own fonts (Debian's fonts-wine): Tahoma for the dialogs, Marlett for the glyphs of
  # the title bar buttons. This Wine looks for them in the prefix's Fonts folder only.
  if compgen -G "/usr/share/wine/fonts/*.ttf" >/dev/null; then
    cp /usr/share/wine/fonts/*.ttf "$t/drive_c/windows/Fonts/"
  fi
  local reg=(env WINEPREFIX="$t" "$wine" reg add)
  if [ "${FERROLIN_WINE_DISPLAY:-0}" = 1 ]; then
    "${reg[@]}" 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 9>&-
  else
    "${reg[@]}" 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 9>&-
  fi
  "${reg[@]}" 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 9>&-
  stop "$t"
  stamp > "$t/.ferrolin-stamp"
}

case "$cmd" in
  reset)
    template="$templates/display${FERROLIN_WINE_DISPLAY:-0}"
    mkdir -p "$templates"
    # One maker at a time; the others wait and then copy what it made.
    exec 9>"$templates/.lock"
    flock -w 900 9
    if [ ! -f "$template/.ferrolin-stamp" ] || [ "$(cat "$template/.ferrolin-stamp")" != "$(stamp)" ]; then
      echo "wine-prefix: preparing $template"
      make_template "$template"
    fi
    stop "$prefix"
    rm -rf "$prefix"
    cp -a "$template" "$prefix"
    exec 9>&-
    # Start the server detached from our output: a server that inherits the pipes of a
    # test runner keeps them open and the runner waits for it.
    WINEPREFIX="$prefix" wineserver -p </dev/null >/dev/null 2>&1
    if ! WINEPREFIX="$prefix" timeout 120 "$wine" cmd /c exit </dev/null >/dev/null 2>"$prefix/.warm-up.log"; then
      echo "wine-prefix: the first program in $prefix did not run:" >&2
      cat "$prefix/.warm-up.log" >&2
      exit 1
    fi
    ;;
  stop)
    stop "$prefix"
    ;;
  *)
    echo "usage: wine-prefix.sh reset|stop PREFIX" >&2; exit 2 ;;
esac
