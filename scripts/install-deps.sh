#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when they are missing.
# Safe to run again: it does nothing once everything is there.
set -euo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

packages=(
  cmake ninja-build python3
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
  googletest libwine-dev
  wine wine64 wine32:i386
  xvfb x11-apps imagemagick
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

export DEBIAN_FRONTEND=noninteractive
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine runs 32-bit Windows programs with a 32-bit Linux loader. A kernel without IA-32
# emulation cannot execute it; there the loader is run under qemu's user-mode CPU emulation
# instead, so the 32-bit tests can still run (the Wine scripts set QEMU_RESERVED_VA so that a
# process starts in seconds rather than a minute).
# FERROLIN_EMULATE_32BIT=0 leaves the machine alone.
if [ "${FERROLIN_EMULATE_32BIT:-1}" = 1 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  if [ ! -x /usr/bin/qemu-i386-static ]; then
    $SUDO apt-get install -y -q --no-install-recommends qemu-user-static ||
      { $SUDO apt-get update -q && $SUDO apt-get install -y -q --no-install-recommends qemu-user-static; }
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || $SUDO mount -t binfmt_misc binfmt_misc "$binfmt" || true
  if [ -e "$binfmt/register" ] && [ ! -e "$binfmt/qemu-i386" ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      $SUDO tee "$binfmt/register" >/dev/null || true
  fi
  /usr/lib/wine/wine --version >/dev/null 2>&1 &&
    echo "32-bit programs run under CPU emulation on this machine (no IA-32 support in its kernel)."
fi
exit 0
