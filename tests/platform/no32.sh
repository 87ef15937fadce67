#!/usr/bin/env bash
# Plays a kernel that runs no 32-bit programs on one that does, and checks that the 64-bit path
# does not depend on them: in a private mount namespace, an ELF file of another machine type is
# bind-mounted over the 32-bit loaders (Wine's and the C library's), so that the kernel answers
# "Exec format error" for them exactly as such a kernel does for every i386 program. There:
# - the run's detection says this machine runs no 32-bit programs;
# - Debian's wine wrapper fails even a 64-bit program (the play is the real failure);
# - the headless `make run` walk-through passes in a Wine prefix made there;
# - a 64-bit Wine suite (the unit tests under Wine) passes.
# Exit code 77 with a last line saying why when no mount namespace can be made.
#   tests/platform/no32.sh      (needs build/native and build/windows)
#   WINEPREFIX                  the prefix to use (default build/wineprefix-no32)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix-no32}

if [ -z "${QUILLON_NO32_PLAYED:-}" ]; then
    tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillon-no32.XXXXXX")
    trap 'rm -rf "$tmp"' EXIT
    # /bin/true with its e_machine (bytes 18-19) set to 0x28, ARM: a valid ELF no x86 kernel runs.
    cp /bin/true "$tmp/foreign"
    printf '\x28\x00' | dd of="$tmp/foreign" bs=1 seek=18 conv=notrunc status=none
    # As root a mount namespace; otherwise a user namespace that maps this user to root.
    for flags in -m -rm; do
        if unshare $flags true 2>/dev/null; then
            QUILLON_NO32_PLAYED=$tmp/foreign unshare $flags --propagation private "$0" "$@" && exit 0 || exit $?
        fi
    done
    echo "cannot make a private mount namespace (unshare -m or -rm) to play a kernel without 32-bit programs"
    exit 77
fi

for loader in /usr/lib/wine/wine /lib/ld-linux.so.2; do
    [ -e "$loader" ] && mount --bind "$QUILLON_NO32_PLAYED" "$loader"
done
# Found out anew in here: the run outside may have found that 32-bit programs run.
unset QUILLON_RUNS_32BIT
. tests/support/check.sh
scratch=$(dirname "$QUILLON_NO32_PLAYED") # the outer run's, removed when it ends

runs_none() { ! (. tools/wine-env.sh && quillon_runs_32bit); }
exec_format_error() { [[ $("$1" --version 2>&1) == *'Exec format error'* ]]; }
wrapper_fails() { ! WINEPREFIX=$scratch/prefix /usr/bin/wine build/windows/quillon_unit_tests.exe --gtest_list_tests >/dev/null 2>&1; }
walkthrough() { QUILLON_WALKTHROUGH=1 tools/run.sh >"$scratch/walk.log" 2>&1 || { tail -n 30 "$scratch/walk.log"; false; }; }

check "the 32-bit loader fails with Exec format error" exec_format_error /usr/lib/wine/wine
check "the run's detection says no 32-bit programs run" runs_none
check "Debian's wine wrapper fails a 64-bit program here" wrapper_fails
check "the headless make run walk-through passes" walkthrough
check "a 64-bit Wine suite passes (unit)" ctest --test-dir build/windows --output-on-failure -R '^unit$'
[ $failures -eq 0 ]
