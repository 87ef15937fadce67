#!/usr/bin/env bash
# Runs a program under Wine through the loader of its kind, never through Debian's wrapper
# (tools/wine-env.sh says why):
#   wine.sh PROGRAM [ARGS...]        a 32-bit executable file through the 32-bit loader; anything
#                                    else (a 64-bit executable, a Windows path, Wine's own tools
#                                    such as reg, msiexec, winepath or wineboot) through the 64-bit one
#   wine.sh --32|--64 PROGRAM ...    that loader, for Wine's own tools acting for a 32-bit program
#                                    (msiexec installing a 32-bit package, as before the wrapper's time)
# The loader replaces this script, so its process id is the program's.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

# True when $1 is a file whose PE header names the i386 machine.
is_32bit_exe() {
    [ -f "$1" ] || return 1
    local pe
    pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    [ -n "$pe" ] && [ "$(od -An -tx2 -j$((pe + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')" = 014c ]
}

bits=64
case ${1:-} in
--32 | --64) bits=${1#--} && shift ;;
*) is_32bit_exe "${1:-}" && bits=32 ;;
esac
if [ $bits = 64 ]; then
    # As the wrapper sets it for the 64-bit loader: the program's children start through it too.
    export WINELOADER=$QUILLON_WINE64
    exec "$QUILLON_WINE64" "$@"
fi
if ! quillon_runs_32bit; then
    echo "wine.sh: cannot run the 32-bit ${1:-program}: $quillon_no_32bit_reason" >&2
    exit 126
fi
exec "$QUILLON_WINE32" "$@"
