#!/usr/bin/env bash
# Setup benchmarks (not tests): the ordinary road end to end (setup's own work against the
# Excel stand-in's start-ups), the add-in copy of a 64 MB workbook against a bare
# CopyFileW, and the sizes and imports of the four deliverables of each built architecture.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/bench.sh" bench/setup_bench.exe

echo
echo "Deliverables: size (target) and imported DLLs"
for arch in x86_64 i686; do
  tree="$root/build/$arch"
  [ -d "$tree" ] || continue
  for deliverable in "setup/setup.exe 512" "library/IFR_v11.dll 256" "uninstall/UFR10.exe 128" "uninstall/UFR11.exe 128"; do
    read -r relative limit <<<"$deliverable"
    file="$tree/$relative"
    if [ ! -f "$file" ]; then echo "  $arch $(basename "$relative"): not built"; continue; fi
    size=$(stat -c %s "$file")
    imports=$("$arch-w64-mingw32-objdump" -p "$file" | awk '/DLL Name:/ {print $3}' | tr '\n' ' ')
    verdict=ok; [ "$size" -le $(( limit * 1024 )) ] || verdict="OVER"
    printf "  %-6s %-12s %7d KB (<= %d KB: %s)  %s\n" "$arch" "$(basename "$relative")" $(( (size + 1023) / 1024 )) "$limit" "$verdict" "$imports"
  done
done
