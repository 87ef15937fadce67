#!/usr/bin/env bash
# The shop's side of `make dist`, under Wine in a fresh prefix, with two builds of this commit:
# the default (1.0.0.1) and the next release (1.0.1.0).
# - The next release's version reaches the exe's resource and manifest, the MSI and the names;
#   a version that is not four numbers is refused before anything is built.
# - The MSI installs Quillon.exe under Program Files\Quillon with a Start-menu shortcut and an
#   Add/Remove Programs entry, and the installed program shows its login dialog.
# - The next release's MSI replaces it in place; the older one is then refused; the uninstall
#   leaves nothing behind.
# - The zip's Quillon.exe shows its login dialog too.
# - The 32-bit MSI of the same version replaces an installed 64-bit one (one Quillon a till),
#   installs under the 32-bit Program Files, its program logs in and completes a give, a pay and
#   a cancel against quillon-server (the walk-through), and its uninstall leaves nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${DISPLAY:-}" ]; then
    exec "$root/tools/xvfb-run.sh" "$0" "$@"
fi
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillon-install.XXXXXX")
export WINEPREFIX=$tmp/prefix
cleanup() { wineserver -k 2>/dev/null || true; rm -rf "$tmp"; }
trap cleanup EXIT
cd "$root"

. tests/support/check.sh
# Refused: dist.sh fails with the reason, and nothing is built.
refused() { ! QUILLON_VERSION=$1 QUILLON_DIST_OUT=$tmp/bad tools/dist.sh >"$tmp/bad.log" 2>&1 &&
    grep -q 'QUILLON_VERSION must be four numbers' "$tmp/bad.log" && [ ! -e "$tmp/bad" ]; }
for bad in 1.0.1 1.0.1.0.0 1.0.1.x 256.0.0.1 1.0.65536.0 01.0.1.0; do
    check "make dist refuses version $bad" refused $bad
done

# The next release first: the default build is left in build/dist for the checks below.
dist() { # dist OUT [VERSION]
    QUILLON_VERSION=${2:-} QUILLON_DIST_OUT=$1 tools/dist.sh >"$tmp/dist.log" 2>&1 || { cat "$tmp/dist.log"; exit 1; }
}
dist "$tmp/next" 1.0.1.0
cp build/dist/Quillon.exe "$tmp/next.exe"
dist "$tmp/dist"
msi=$tmp/dist/Quillon-1.0.0.1-x64.msi
zip=$tmp/dist/Quillon-1.0.0.1-x64.zip
msi86=$tmp/dist/Quillon-1.0.0.1-x86.msi
next=$tmp/next/Quillon-1.0.1.0-x64.msi
property() { msiinfo export "$1" Property | awk -F'\t' -v p="$2" '$1 == p {print $2}' | tr -d '\r'; }
product=$(property "$msi" ProductCode)
next_product=$(property "$next" ProductCode)

check "the next release's files are named 1.0.1.0" test -f "$next" -a -f "$tmp/next/Quillon-1.0.1.0-x64.zip"
check "and its 32-bit ones too" test -f "$tmp/next/Quillon-1.0.1.0-x86.msi" -a -f "$tmp/next/Quillon-1.0.1.0-x86.zip"
check "one SHA256SUMS for the four" bash -c 'cd "$0" && [ "$(wc -l <SHA256SUMS)" -eq 4 ] && sha256sum -c --quiet SHA256SUMS' "$tmp/dist"
check "its MSI's ProductVersion is 1.0.1.0" test "$(property "$next" ProductVersion)" = 1.0.1.0
check "its exe's version resource and manifest say 1.0.1.0" \
    /usr/bin/python3 tests/resources/check_resources.py "$tmp/next.exe" 1.0.1.0

. tools/wine-env.sh
quillon_ensure_prefix
wineserver -p

shortcuts() { find "$WINEPREFIX/drive_c" -name '*.lnk' -ipath '*start menu*' 2>/dev/null; }
key() { echo "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1"; }
winpath() { "$quillon_wine" winepath -w "$1"; }
# Both registry views: a 64-bit package's entry is in the 64-bit one, a 32-bit package's in the
# 32-bit one. reg writes in the console's code page (949 under the Korean locale).
reg_both() { { "$quillon_wine" reg "$@" /reg:64; "$quillon_wine" reg "$@" /reg:32; true; } 2>/dev/null | iconv -f cp949 -t utf-8; }
shows_version() { # shows_version PRODUCT VERSION
    reg_both query "$(key "$1")" /v DisplayVersion | tr -d '\r' | grep "REG_SZ *${2//./\\.}\$" >/dev/null
}
# (Each view that lacks the key fails its query: reg_both answers what the two found. grep reads
# to the end: one that stops at its match would cut the second query's pipe.)
shows_name() { reg_both query "$(key "$product")" /v DisplayName | grep '별바다 포스 (Quillon)' >/dev/null; }
no_key() { ! reg_both query "$(key "$1")" | grep REG_ >/dev/null; }
# The products Windows Installer knows, under any code, named as ours is.
products() { reg_both query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /v DisplayName |
    grep -c '별바다 포스 (Quillon)' || true; }
one_shortcut() { [ "$(shortcuts | wc -l)" -eq 1 ] && [[ "$(shortcuts)" == */"별바다 포스 (Quillon).lnk" ]]; }
installed=$WINEPREFIX/drive_c/Program\ Files/Quillon
# The program at Windows path $1 shows its login dialog: a visible 600 x 600 window of it without
# a title. The program is ended either way.
shows_login() {
    "$quillon_wine" "$1" >/dev/null 2>&1 &
    local program=$! shown=1 id
    for _ in $(seq 1 100); do
        for id in $(xdotool search --onlyvisible --class quillon 2>/dev/null); do
            eval "$(xdotool getwindowgeometry --shell "$id")"
            [ -z "$(xdotool getwindowname "$id")" ] && [ "$WIDTH" -eq 600 ] && shown=0
        done
        [ $shown -eq 0 ] && break
        sleep 0.2
    done
    # Ended from the Unix side: the loader's process is the program's.
    kill -KILL "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
    return $shown
}
# msiexec with its basic UI refuses the package at $1: its failure box comes up, and once it is
# closed, msiexec fails. Wine writes no launch condition's text into the log, so the text is
# read from the package's own table (msiinfo gives it in UTF-8), which is what the box shows.
refuses() {
    local box='' status=0
    "$quillon_wine" msiexec /i "$(winpath "$1")" /qb >/dev/null 2>&1 &
    local pid=$!
    for _ in $(seq 1 100); do
        box=$(xdotool search --onlyvisible --name '^Install Failed$' 2>/dev/null | head -1)
        [ -n "$box" ] && break
        sleep 0.2
    done
    if [ -n "$box" ]; then
        xdotool windowfocus --sync "$box" key Return 2>/dev/null
    else
        kill -KILL "$pid" 2>/dev/null || true
    fi
    wait $pid || status=$?
    [ -n "$box" ] && [ $status -ne 0 ] && msiinfo export "$1" LaunchCondition | tr -d '\r' |
        grep -qx $'NOT WIX_DOWNGRADE_DETECTED\t이미 더 새로운 버전의 Quillon이 설치되어 있습니다.'
}

check "msiexec /i succeeds" "$quillon_wine" msiexec /i "$(winpath "$msi")" /qn
check "Quillon.exe installed under Program Files\\Quillon" test -f "$installed/Quillon.exe"
check "the installed exe is the built one" cmp -s "$installed/Quillon.exe" build/dist/Quillon.exe
check "one Start-menu shortcut, named in Korean" one_shortcut
check "the shortcut starts Quillon.exe" grep -qa 'Quillon.exe' "$(shortcuts | head -1)"
check "Add/Remove Programs shows version 1.0.0.1" shows_version "$product" 1.0.0.1
check "Add/Remove Programs shows the Korean name" shows_name
check "the installed program shows its login dialog" shows_login 'C:\Program Files\Quillon\Quillon.exe'

check "the next release's msiexec /i succeeds over it" "$quillon_wine" msiexec /i "$(winpath "$next")" /qn
check "one product in Add/Remove Programs" test "$(products)" -eq 1
check "it is the next release, version 1.0.1.0" shows_version "$next_product" 1.0.1.0
check "the old product's entry is gone" no_key "$product"
check "the installed exe is the next release's" cmp -s "$installed/Quillon.exe" "$tmp/next.exe"
check "one Start-menu shortcut still" one_shortcut
check "the upgraded program shows its login dialog" shows_login 'C:\Program Files\Quillon\Quillon.exe'

check "the older MSI over it is refused with its Korean message" refuses "$msi"
check "and leaves the next release installed" cmp -s "$installed/Quillon.exe" "$tmp/next.exe"
check "and its entry alone" test "$(products)" -eq 1

check "msiexec /x succeeds" "$quillon_wine" msiexec /x "$(winpath "$next")" /qn
check "no Quillon folder left" test ! -e "$installed"
check "no shortcut left" test -z "$(shortcuts)"
check "no Uninstall entry left" test "$(products)" -eq 0

# The 32-bit package of the same version over the 64-bit one: it replaces it. Installed by 32-bit
# msiexec, as on a 32-bit till, where this machine runs 32-bit programs; elsewhere by the 64-bit
# one, as 64-bit Windows installs a 32-bit package. Only the installed program's walk-through
# needs 32-bit programs; run-tests.sh reports its skip in the summary.
msiexec86=--64
quillon_runs_32bit && msiexec86=--32
installed86=$WINEPREFIX/drive_c/Program\ Files\ \(x86\)/Quillon
check "the 64-bit MSI installs again" "$quillon_wine" msiexec /i "$(winpath "$msi")" /qn
check "the 32-bit MSI of the same version succeeds over it" "$quillon_wine" $msiexec86 msiexec /i "$(winpath "$msi86")" /qn
check "one product in Add/Remove Programs" test "$(products)" -eq 1
check "Quillon.exe now under the 32-bit Program Files" test -f "$installed86/Quillon.exe"
check "and it is the 32-bit build" cmp -s "$installed86/Quillon.exe" build/dist-x86/Quillon.exe
check "the 64-bit one is gone" test ! -e "$installed"
check "one Start-menu shortcut still" one_shortcut
if quillon_runs_32bit; then
    # As a cashier would, against a server on the port the package's program was built for.
    check "the installed 32-bit program logs in and completes a give, a pay and a cancel" \
        tools/with-server.sh build/native/quillon-server 8480 -- env QUILLON_EXE="$installed86/Quillon.exe" \
        QUILLON_PORT=8480 QUILLON_SHOTS="$tmp/shots" tools/walkthrough.sh
else
    echo "skip  the installed 32-bit program's walk-through: $quillon_no_32bit_reason"
fi
check "its msiexec /x succeeds" "$quillon_wine" $msiexec86 msiexec /x "$(winpath "$msi86")" /qn
check "no Quillon folder left" test ! -e "$installed86"
check "no shortcut left" test -z "$(shortcuts)"
check "no Uninstall entry left" test "$(products)" -eq 0

mkdir "$tmp/portable"
/usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$tmp/portable"
check "the zip holds Quillon.exe and README.txt" bash -c '[ -f "$0/Quillon.exe" ] && [ -f "$0/README.txt" ]' "$tmp/portable"
check "the read-me names the operator host" grep -q "${QUILLON_SITE_URL:-http://127.0.0.1:8480}" "$tmp/portable/README.txt"
check "the zip's program shows its login dialog" shows_login "$(winpath "$tmp/portable/Quillon.exe")"

[ $failures -eq 0 ]
