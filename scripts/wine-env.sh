# Sourced by the Wine scripts: how every Wine program of the project is started. The one
# home of Wine's settings; a setting given by the caller's environment is kept.
#
# The 64-bit loader starts 32-bit programs itself where the machine can run them;
# the 32-bit loader that /usr/bin/wine prefers cannot run at all on a 64-bit-only kernel.
export WINELOADER=/usr/lib/wine/wine64
# Where qemu emulates the CPU for 32-bit programs (see install-deps.sh), it gives each one
# a 4 GB address space by default, and Wine reserving everything above 2 GB costs about a
# minute at every process start. 2 GB and the range the 32-bit preloader reserves above it
# (0x7f000000-0x82000000, the shared user data among it) are all Wine needs there.
export QEMU_RESERVED_VA="${QEMU_RESERVED_VA:-0x82000000}"
# No installer dialogs for Wine's Mono and Gecko: nothing here uses .NET or HTML.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine's messages: none, except where FERROLIN_WINE_ERRORS=1 (the tests' runs): then Wine's
# own errors stay on (but OLE's, which a client that lets go of Excel early prints by the
# dozen), since a program that ends at once with no word of its own may have been stopped
# by the loader, which says why only there.
if [ "${FERROLIN_WINE_ERRORS:-0}" = 1 ]; then
  export WINEDEBUG="${WINEDEBUG:--all,err+all,err-ole}"
else
  export WINEDEBUG="${WINEDEBUG:--all}"
fi
