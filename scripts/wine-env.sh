# Sourced by the Wine scripts: how every Wine program of the project is started.
#
# The 64-bit loader starts 32-bit programs itself where the machine can run them;
# the 32-bit loader that /usr/bin/wine prefers cannot run at all on a 64-bit-only kernel.
export WINELOADER=/usr/lib/wine/wine64
# Where qemu emulates the CPU for 32-bit programs (see install-deps.sh), it gives each one
# a 4 GB address space by default, and Wine reserving everything above 2 GB costs about a
# minute at every process start. 2 GB and the range the 32-bit preloader reserves above it
# (0x7f000000-0x82000000, the shared user data among it) are all Wine needs there.
export QEMU_RESERVED_VA="${QEMU_RESERVED_VA:-0x82000000}"
