#!/usr/bin/env bash
# Makes the release a vendor hands to customers: builds the deliverables of both
# architectures in Release mode and writes into the output folder, per architecture, the
# distribution folder and its ZIP (Ferrolin-1.1-x64.zip, Ferrolin-1.1-x86.zip), and the
# SHA256SUMS of the ZIPs and of every file in the folders.
#
#   scripts/release.sh --vendor DIR [--out DIR] [--build-dir DIR] [--arch x86_64|i686]
#                      [--sign-pfx FILE --sign-password-file FILE [--timestamp-url URL]]
#                      [--no-build]
#
#   --vendor DIR     the vendor's files (FERROLIN_VENDOR_DIR): fr.xla, fr.chm, REGSVR32.exe,
#                    VB6ES.dll, 3A.ocx, FM20.dll and 3B.ocx
#   --out DIR        where the release goes (FERROLIN_RELEASE_DIR; default build/release)
#   --build-dir DIR  where the build trees go, DIR/x86_64 and DIR/i686 (default
#                    build/release-trees); with --no-build, the trees to package as they are
#   --arch ARCH      one architecture only (may be given twice; default both)
#   --sign-pfx FILE, --sign-password-file FILE, --timestamp-url URL
#                    sign every program and library built here with this code-signing
#                    certificate (FERROLIN_SIGN_PFX, FERROLIN_SIGN_PASSWORD_FILE,
#                    FERROLIN_TIMESTAMP_URL), SHA-256, through osslsigncode
#
# SOURCE_DATE_EPOCH gives every time stamp in the folders and ZIPs; by default it is the time
# of the commit built. Two builds of one commit give the same bytes (scripts/check-reproducible.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

vendor="${FERROLIN_VENDOR_DIR:-}"
out="${FERROLIN_RELEASE_DIR:-$root/build/release}"
trees="$root/build/release-trees"
pfx="${FERROLIN_SIGN_PFX:-}"
password_file="${FERROLIN_SIGN_PASSWORD_FILE:-}"
timestamp_url="${FERROLIN_TIMESTAMP_URL:-}"
build=1
arches=()
while [ $# -gt 0 ]; do
  case "$1" in
    --vendor) vendor="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    --build-dir) trees="$2"; shift 2 ;;
    --arch) arches+=("$2"); shift 2 ;;
    --sign-pfx) pfx="$2"; shift 2 ;;
    --sign-password-file) password_file="$2"; shift 2 ;;
    --timestamp-url) timestamp_url="$2"; shift 2 ;;
    --no-build) build=0; shift ;;
    *) echo "release.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
[ "${#arches[@]}" -gt 0 ] || arches=(x86_64 i686)
if [ -z "$vendor" ]; then
  echo "release: no vendor folder given (FERROLIN_VENDOR_DIR or --vendor)" >&2
  exit 1
fi
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)
  [ -n "$SOURCE_DATE_EPOCH" ] || { echo "release: set SOURCE_DATE_EPOCH (no git history here)" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH

if [ "$build" = 1 ]; then
  "$root/scripts/install-deps.sh"
  for arch in "${arches[@]}"; do
    "$root/scripts/build.sh" --configure-only "$arch" "$trees/$arch" -DFERROLIN_BUILD_TESTS=OFF
  done
fi

tree_args=() labelled=()
for arch in "${arches[@]}"; do
  case "$arch" in x86_64) label=x64 ;; i686) label=x86 ;; *) echo "release.sh: unknown architecture $arch" >&2; exit 2 ;; esac
  tree_args+=(--tree "$trees/$arch")
  labelled+=(--tree "$label=$trees/$arch")
done
if [ "$build" = 1 ]; then
  # Refuse an incomplete vendor folder before spending the build on it (packaging checks
  # the folder in any case).
  python3 "$root/scripts/release_package.py" check --vendor "$vendor" "${tree_args[@]}"
  for arch in "${arches[@]}"; do
    cmake --build "$trees/$arch"
  done
fi

python3 "$root/scripts/release_package.py" package --vendor "$vendor" "${labelled[@]}" --out "$out" \
  --guide "$root/docs/user.md" --sign-pfx "$pfx" --sign-password-file "$password_file" \
  --timestamp-url "$timestamp_url"
echo "release: $out"
