#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when they are missing.
# Safe to run again: it does nothing once everything is there.
set -euo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

# Wine's preloaders reserve the fixed addresses Windows programs expect before anything
# else is mapped; without them a process whose random layout collides ends at its start
# without a word ("failed to map the shared user data").
packages=(
  cmake ninja-build python3
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
  googletest libwine-dev
  wine wine64 wine32:i386 fonts-wine
  wine64-preloader wine32-preloader:i386
  xvfb x11-apps imagemagick
  locales
  osslsigncode openssl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync serves index files that fail their checks ("File has
# unexpected size"); the next try a little later usually finds it whole.
apt_update() {
  local try
  for try in 1 2 3 4; do
    if $SUDO apt-get update -q; then return 0; fi
    [ "$try" = 4 ] || { echo "apt-get update failed (try $try of 4); again in $((try * 20)) s" >&2; sleep $((try * 20)); }
  done
  # One suite's index still failing (often the security suite of one architecture) leaves
  # the others usable: the installation below says whether what it needs is there.
  echo "apt-get update failed 4 times; going on with the package lists apt could read" >&2
}
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  apt_update
  if ! $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"; then
    # Wine's 32-bit half must match the native libraries' versions exactly. Where one
    # architecture's index of the security suite could not be read, the native half would
    # take updates the 32-bit half cannot follow: take the release's own versions instead.
    . /etc/os-release
    echo "Installing again with the versions of ${VERSION_CODENAME} itself" >&2
    $SUDO apt-get install -y -q --no-install-recommends -t "$VERSION_CODENAME" "${missing[@]}"
  fi
fi

# A Japanese locale: Wine takes the ANSI code page from it (932, a double-byte one), and the
# file names' encoding from the locale as the C library knows it.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  $SUDO localedef -i ja_JP -c -f UTF-8 ja_JP.UTF-8
fi

# Wine runs 32-bit Windows programs with a 32-bit Linux loader. A kernel without IA-32
# emulation cannot execute it; there the loader is run under qemu's user-mode CPU emulation
# instead, so the 32-bit tests can still run (the Wine scripts set QEMU_RESERVED_VA so that a
# process starts in seconds rather than a minute). The release's own qemu (7.2 on bookworm)
# crashes at random inside Wine's RPC, so qemu comes from the release's backports suite
# (10.0 on bookworm); backports are pinned low by apt, so nothing else changes.
# FERROLIN_EMULATE_32BIT=0 leaves the machine alone; FERROLIN_EMULATE_32BIT=always sets up the
# emulation even where the kernel runs 32-bit code, to reproduce such a machine (undo it with
# "echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386"); FERROLIN_EMULATE_32BIT=host leaves the kernel's
# handler as the machine around this tree registered it (scripts/test-debian13.sh).
qemu_version() { sed -n 's/.*version \([0-9][0-9.]*\).*/\1/p' | head -n 1; }
# The interpreter the kernel runs for 32-bit programs, empty where they run natively. With
# flag F it is the file opened at registration, which an upgrade of the package leaves in use.
emulated_qemu_version() { QEMU_VERSION=1 /usr/lib/wine/wine 2>/dev/null | qemu_version; }
needs_emulation() { ! /usr/lib/wine/wine --version >/dev/null 2>&1 || [ -n "$(emulated_qemu_version)" ]; }
emulate="${FERROLIN_EMULATE_32BIT:-1}"
if [ "$emulate" = always ] || { [ "$emulate" = 1 ] && needs_emulation; }; then
  . /etc/os-release
  backports="${VERSION_CODENAME}-backports"
  if ! apt-cache policy 2>/dev/null | grep -q " ${backports}/main "; then
    echo "Adding ${backports} to apt's sources"
    printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$backports" | $SUDO tee /etc/apt/sources.list.d/ferrolin-backports.sources >/dev/null
    apt_update
  fi
  want=$(apt-cache -t "$backports" policy qemu-user-static | awk '/Candidate:/ {print $2}')
  have=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null || true)
  if [ -n "$want" ] && [ "$want" != "(none)" ] && [ "$have" != "$want" ]; then
    echo "Installing qemu-user-static $want from ${backports}"
    $SUDO apt-get install -y -q --no-install-recommends -t "$backports" qemu-user-static
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || $SUDO mount -t binfmt_misc binfmt_misc "$binfmt" || true
  installed=$(/usr/bin/qemu-i386-static --version 2>/dev/null | qemu_version)
  if [ -e "$binfmt/qemu-i386" ] && [ "$(emulated_qemu_version)" != "$installed" ]; then
    echo "Registering qemu $installed for 32-bit programs again (the kernel holds $(emulated_qemu_version))"
    echo -1 | $SUDO tee "$binfmt/qemu-i386" >/dev/null || true
  fi
  if [ -e "$binfmt/register" ] && [ ! -e "$binfmt/qemu-i386" ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      $SUDO tee "$binfmt/register" >/dev/null || true
  fi
  /usr/lib/wine/wine --version >/dev/null 2>&1 &&
    echo "32-bit programs run under qemu $(emulated_qemu_version) on this machine."
fi
exit 0
