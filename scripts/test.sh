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

status=0
for arch in "${arches[@]}"; do
  echo "== tests: $arch"
  (cd "$root/build/$arch" && ctest --output-on-failure --timeout 300) || status=1
done
exit $status
