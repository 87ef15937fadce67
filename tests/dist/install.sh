#!/usr/bin/env bash
# The shop's side of `make dist`, under Wine in a fresh prefix: the MSI installs Quillon.exe under
# Program Files\Quillon with a Start-menu shortcut and an Add/Remove Programs entry, the installed
# program shows its login dialog, and the uninstall leaves none of the three behind. The zip's
# Quillon.exe shows its login dialog too.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillon-install.XXXXXX")
export WINEPREFIX=$tmp/prefix
cleanup() { wineserver -k 2>/dev/null || true; rm -rf "$tmp"; }
trap cleanup EXIT
cd "$root"

QUILLON_DIST_OUT=$tmp/dist tools/dist.sh >"$tmp/dist.log" 2>&1 || { cat "$tmp/dist.log"; exit 1; }
msi=$(ls "$tmp"/dist/*.msi)
zip=$(ls "$tmp"/dist/*.zip)
product=$(msiinfo export "$msi" Property | awk -F'\t' '$1 == "ProductCode" {print $2}' | tr -d '\r')

. tools/wine-env.sh
quillon_ensure_prefix
wineserver -p

failures=0
check() { # check WHAT COMMAND...
    local what=$1
    shift
    if "$@"; then echo "ok    $what"; else echo "FAIL  $what"; failures=$((failures + 1)); fi
}
shortcuts() { find "$WINEPREFIX/drive_c" -name '*.lnk' -ipath '*start menu*' 2>/dev/null; }
key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
shows_version() { wine reg query "$key" /v DisplayVersion 2>/dev/null | tr -d '\r' | grep -q 'REG_SZ *1\.0\.0\.1$'; }
# reg writes in the console's code page (949 under the Korean locale).
shows_name() { wine reg query "$key" /v DisplayName 2>/dev/null | iconv -f cp949 -t utf-8 | grep -q '별바다 포스 (Quillon)'; }
no_key() { ! wine reg query "$key" >/dev/null 2>&1; }
installed=$WINEPREFIX/drive_c/Program\ Files/Quillon
# The program at Windows path $1 shows its login dialog: a visible 600 x 600 window of it without
# a title. The program is ended either way.
shows_login() {
    wine "$1" >/dev/null 2>&1 &
    local shown=1 id
    for _ in $(seq 1 100); do
        for id in $(xdotool search --onlyvisible --class quillon 2>/dev/null); do
            eval "$(xdotool getwindowgeometry --shell "$id")"
            [ -z "$(xdotool getwindowname "$id")" ] && [ "$WIDTH" -eq 600 ] && shown=0
        done
        [ $shown -eq 0 ] && break
        sleep 0.2
    done
    wine taskkill /f /im Quillon.exe >/dev/null 2>&1 || true
    wait
    return $shown
}

check "msiexec /i succeeds" wine msiexec /i "$(winepath -w "$msi")" /qn
check "Quillon.exe installed under Program Files\\Quillon" test -f "$installed/Quillon.exe"
check "the installed exe is the built one" cmp -s "$installed/Quillon.exe" build/dist/Quillon.exe
check "a Start-menu shortcut named in Korean" bash -c '[[ "$0" == */"별바다 포스 (Quillon).lnk" ]]' "$(shortcuts)"
check "the shortcut starts Quillon.exe" grep -qa 'Quillon.exe' "$(shortcuts | head -1)"
check "Add/Remove Programs shows version 1.0.0.1" shows_version
check "Add/Remove Programs shows the Korean name" shows_name
check "the installed program shows its login dialog" shows_login 'C:\Program Files\Quillon\Quillon.exe'

check "msiexec /x succeeds" wine msiexec /x "$(winepath -w "$msi")" /qn
check "no Quillon folder left" test ! -e "$installed"
check "no shortcut left" test -z "$(shortcuts)"
check "no Uninstall key left" no_key

mkdir "$tmp/portable"
/usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$tmp/portable"
check "the zip holds Quillon.exe and README.txt" bash -c '[ -f "$0/Quillon.exe" ] && [ -f "$0/README.txt" ]' "$tmp/portable"
check "the read-me names the operator host" grep -q "${QUILLON_SITE_URL:-http://127.0.0.1:8480}" "$tmp/portable/README.txt"
check "the zip's program shows its login dialog" shows_login "$(winepath -w "$tmp/portable/Quillon.exe")"

[ $failures -eq 0 ]
