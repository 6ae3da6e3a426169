#!/usr/bin/env bash
# Runs the README's test command in a Debian 13 (trixie) tree on this machine, so that a
# maintainer on Debian 12 can check Debian 13 (GCC 14, Wine 10) and the other way round:
#   scripts/test-debian13.sh [x86_64|i686 ...]   (default: both)
#   scripts/test-debian13.sh --demo               the installer demo there instead
# Needs root (or sudo) and the Debian mirror. The tree is made once with debootstrap under
# build/trixie/root (about 7 GB after an x86_64 run: its packages, two build trees and their
# Wine prefixes) and kept for the next run; the project's files, as they are in this work
# tree, are copied into it afresh each time (its build trees stay, so a later run builds only
# what changed). FERROLIN_DEBIAN_RELEASE=bookworm checks Debian 12 from a Debian 13 machine
# (build/bookworm/root).
# The mounts the tree needs are made here and undone on the way out, and every process
# still running inside the tree at the end is ended: nothing is left behind.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
release="${FERROLIN_DEBIAN_RELEASE:-trixie}"
tree="$root/build/$release/root"
inside=/srv/ferrolin

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

# The kernel is shared: where it cannot run 32-bit code, this machine's own set-up registers
# qemu for 32-bit programs (with flag F, so the handler serves the tree as well).
"$root/scripts/install-deps.sh"
if ! command -v debootstrap >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q || true
  $SUDO apt-get install -y -q --no-install-recommends debootstrap
fi

if [ ! -x "$tree/usr/bin/apt-get" ] || [ ! -e "$tree/.ferrolin-ready" ]; then
  echo "== making a Debian $release tree in $tree"
  $SUDO rm -rf "$tree"
  mkdir -p "$tree"
  $SUDO debootstrap --variant=minbase --include=ca-certificates "$release" "$tree"
  $SUDO touch "$tree/.ferrolin-ready"
fi

mounts=()
cleanup() {
  local status=$? pid link
  # Whatever still runs inside the tree was started by this run.
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    link=$($SUDO readlink "/proc/$pid/root" 2>/dev/null || true)
    if [ "$link" = "$tree" ]; then
      $SUDO kill -KILL "$pid" 2>/dev/null || true
    fi
  done
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    $SUDO umount -R "${mounts[$i]}" 2>/dev/null || $SUDO umount -R -l "${mounts[$i]}" || true
  done
  exit $status
}
trap cleanup EXIT INT TERM
mount_in() { # mount_in TARGET mount-arguments...
  local target="$tree$1"; shift
  $SUDO mkdir -p "$target"
  $SUDO mount "$@" "$target"
  mounts+=("$target")
}
# Fresh mounts of the tree's own, none of this machine's folders: a tree left mounted by a
# run that was killed cannot take this machine's devices with it when build/ is deleted
# (debootstrap made the device nodes; sysfs is read-only).
mount_in /proc -t proc proc
mount_in /sys -t sysfs -o ro sysfs
mount_in /dev/pts -t devpts -o newinstance,ptmxmode=0666 devpts
mount_in /dev/shm -t tmpfs -o mode=1777 tmpfs
$SUDO cp /etc/resolv.conf "$tree/etc/resolv.conf"

# The project as it is in this work tree (its committed and new files, not what git
# ignores), over the copy of the last run; the copy's build trees stay.
$SUDO mkdir -p "$tree$inside"
$SUDO find "$tree$inside" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  tar --null -T - -cf - --ignore-failed-read) | $SUDO tar -C "$tree$inside" -xf -

command="scripts/test.sh $*"
[ "${1:-}" = --demo ] && command="scripts/demo.sh"
echo "== Debian $(cat "$tree/etc/debian_version") in $tree: $command"
# 32-bit programs run through the kernel's handler that this machine's set-up registered:
# inside the tree the set-up leaves it alone (a suite that cannot run still fails the run).
$SUDO chroot "$tree" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM="${TERM:-dumb}" \
  LANG=C.UTF-8 FERROLIN_EMULATE_32BIT=host CI="${CI:-}" \
  bash -c "cd $inside && $command"
