#!/usr/bin/env bash
# Builds the release of the current commit twice, from two copies of the sources in two
# different folders, one after the other, and compares every file of the two releases
# byte for byte: programs, libraries, ZIPs and SHA256SUMS. The vendor folder is one of
# stand-ins (tests/release/make-vendor-standins.sh); no signing (a signature holds its
# signing time).
#   scripts/check-reproducible.sh [WORK_FOLDER]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="${1:-$(mktemp -d "${TMPDIR:-/tmp}/ferrolin-reproducible.XXXXXX")}"
mkdir -p "$work"
"$root/scripts/install-deps.sh"

commit=$(git -C "$root" rev-parse HEAD)
export SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct "$commit")
"$root/tests/release/make-vendor-standins.sh" "$work/vendor"

build_once() {  # build_once SOURCE_FOLDER OUTPUT
  mkdir -p "$1"
  git -C "$root" archive --format=tar "$commit" | tar -x -C "$1"
  "$1/scripts/release.sh" --vendor "$work/vendor" --build-dir "$1/build/trees" --out "$2" >"$2.log" 2>&1 ||
    { tail -30 "$2.log"; echo "check-reproducible: the release build in $1 failed" >&2; exit 1; }
}
start=$(date +%s)
build_once "$work/one/src" "$work/one.release"
middle=$(date +%s)
build_once "$work/second/build-place/src" "$work/two.release"
end=$(date +%s)

differ=0
while IFS= read -r -d '' file; do
  relative="${file#"$work/one.release/"}"
  if ! cmp -s "$file" "$work/two.release/$relative"; then
    echo "differs: $relative ($(cmp "$file" "$work/two.release/$relative" 2>&1 | head -1))"
    differ=1
  fi
done < <(find "$work/one.release" -type f -print0 | sort -z)
if [ "$(cd "$work/one.release" && find . -type f | sort)" != "$(cd "$work/two.release" && find . -type f | sort)" ]; then
  echo "the two releases hold different files"; differ=1
fi
echo "release builds: $((middle - start)) s and $((end - middle)) s"
if [ $differ -ne 0 ]; then
  echo "check-reproducible: the two builds of $commit differ (kept in $work)" >&2
  exit 1
fi
echo "check-reproducible: two builds of $commit in two folders give the same bytes"
[ $# -gt 0 ] || rm -rf "$work"
