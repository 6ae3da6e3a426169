#!/usr/bin/env bash
# The installer demo: from a fresh clone, installs what it needs, builds the x86_64
# programs, makes a private Wine prefix with the Excel stand-in registered, assembles the
# distribution folder and runs setup.exe from it.
#
#   scripts/demo.sh                 with $DISPLAY: the real wizard opens for you to click
#                                   through; without: Xvfb, the ordinary road walked
#                                   automatically, a screenshot of every page and message box
#   scripts/demo.sh --update-docs   also copies the screenshots into docs/demo/
#
# At the end it prints what was installed (files, registrations, the decoded install record,
# Excel's add-in state) and ends every process it started.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
update_docs=0
[ "${1:-}" = "--update-docs" ] && update_docs=1

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" x86_64

build="$root/build/x86_64"
demo="$build/demo"
prefix="$demo/wineprefix"
shots="$demo/shots"
dist="$build/dist"
report="$demo/report.txt"
rm -rf "$shots" "$report"
mkdir -p "$shots"

. "$root/scripts/wine-env.sh"
export WINEPREFIX="$prefix"
wine=/usr/lib/wine/wine64
xvfb_pid=""

finish() {
  # Every Wine process of the demo's own prefix, then the X server it started.
  "$root/scripts/wine-prefix.sh" stop "$prefix" || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap finish EXIT

headless=1
if [ -n "${DISPLAY:-}" ]; then
  headless=0
else
  # A free display number for our own X server.
  n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
fi

echo "== Wine prefix $prefix (drawing on $DISPLAY)"
FERROLIN_WINE_DISPLAY=1 "$root/scripts/wine-prefix.sh" reset "$prefix"

win() { "$wine" winepath -w "$1" 2>/dev/null; }

echo "== Excel stand-in registered"
"$wine" "$build/tests/excel_standin/excel_standin.exe" /RegServer </dev/null
# Its registration made Office's add-in library folder, as Office's installer does: Excel
# names it as LibraryPath, and the wizard proposes it as the destination.

echo "== Distribution folder $dist"
ls -l "$dist"

if [ "$headless" = 0 ]; then
  echo "== setup.exe: the wizard is open on $DISPLAY"
  (cd "$dist" && "$wine" setup.exe </dev/null) || true
  "$wine" "$build/tests/setup/install_demo.exe" /report "$(win "$report")" </dev/null || true
else
  echo "== setup.exe inside Wine's virtual desktop, driven along the ordinary road"
  # Wine's default desktop is made a virtual one: its Explorer is then the one desktop shell,
  # which setup asks to open the Excel it leaves to the user (a second virtual desktop
  # would have a shell of its own beside the default one's).
  "$root/scripts/wine-prefix.sh" stop "$prefix"
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f </dev/null >/dev/null 2>&1
  "$root/scripts/wine-prefix.sh" stop "$prefix"
  "$wine" "$build/tests/setup/install_demo.exe" /walk \
    "$(win "$shots")" "$(win "$report")" </dev/null >/dev/null 2>&1 &
  deadline=$((SECONDS + 240))
  while [ ! -e "$shots/done" ]; do
    if [ -e "$shots/request" ]; then
      name="$(cat "$shots/request")"
      xwd -root -display "$DISPLAY" | convert xwd:- "$shots/$name.png"
      echo "   screenshot $shots/$name.png"
      rm -f "$shots/request"
    fi
    if [ "$SECONDS" -ge "$deadline" ]; then echo "demo: the walk did not end in time" >&2; exit 1; fi
    sleep 0.1
  done
  if [ "$update_docs" = 1 ]; then
    mkdir -p "$root/docs/demo"
    cp "$shots"/*.png "$root/docs/demo/"
    echo "   copied into docs/demo/"
  fi
fi

echo
echo "== What was installed"
cat "$report"
if [ "$headless" = 0 ] && [ -t 0 ]; then
  read -r -p "Excel stays open with the add-in. Press Enter to close it and end the demo. " _ || true
fi
if [ -e "$shots/done" ] && [ "$(cat "$shots/done")" != 0 ]; then exit 1; fi
