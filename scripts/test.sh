#!/usr/bin/env bash
# Installs what is missing, builds both architectures and runs every test under Wine.
#   scripts/test.sh [x86_64|i686 ...]   (default: both)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"

arches=("$@")
[ "${#arches[@]}" -gt 0 ] || arches=(i686 x86_64)

for arch in "${arches[@]}"; do
  "$root/scripts/build.sh" "$arch"
done

# A run is green only when every test ran: a suite skipped because this machine could not
# run it (32-bit programs without emulation) fails the run, unless 32-bit testing was
# switched off on purpose (FERROLIN_EMULATE_32BIT=0).
status=0
skips=()
for arch in "${arches[@]}"; do
  echo "== tests: $arch"
  log="$root/build/$arch/ctest-output.txt"
  set +e
  (cd "$root/build/$arch" && ctest --output-on-failure --timeout 300) 2>&1 | tee "$log"
  code=${PIPESTATUS[0]}
  set -e
  [ "$code" -eq 0 ] || status=1
  if ! skipped=$("$root/scripts/ctest-skips.sh" "$log"); then
    skips+=("$arch: $(echo "$skipped" | head -1) ... ($(echo "$skipped" | grep -c ' - ') tests did not run)")
    echo "== $arch: tests that did not run:"
    echo "$skipped"
  fi
done
if [ "${#skips[@]}" -gt 0 ]; then
  if [ "${FERROLIN_EMULATE_32BIT:-}" = 0 ]; then
    echo "== 32-bit testing was switched off (FERROLIN_EMULATE_32BIT=0): ${skips[*]}"
  else
    echo "== FAILED: tests did not run: ${skips[*]}"
    status=1
  fi
fi
exit $status
