#!/usr/bin/env bash
# Two `make dist` builds of this tree must give the same bytes: one in the checkout (build/dist,
# incremental), one in a copy elsewhere, built later, under another user name and umask, from a
# fresh build folder. Compares Quillon.exe, the MSI and the zip.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillon-repro.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
cd "$root"
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
site=${QUILLON_SITE_URL:-http://127.0.0.1:8480}

QUILLON_SITE_URL=$site QUILLON_DIST_OUT="$tmp/out-a" tools/dist.sh >"$tmp/a.log" 2>&1 ||
    { cat "$tmp/a.log"; exit 1; }

# The same files, tracked or new, in a folder of another name and depth.
copy=$tmp/elsewhere/quillon-copy
mkdir -p "$copy"
git ls-files -z -co --exclude-standard |
    tar --null --ignore-failed-read -T - -cf - 2>/dev/null | (umask 077 && tar -C "$copy" -xf -)
(
    umask 077
    cd "$copy"
    env USER=someone-else LOGNAME=someone-else HOME="$tmp" QUILLON_SITE_URL="$site" \
        QUILLON_DIST_OUT="$tmp/out-b" tools/dist.sh
) >"$tmp/b.log" 2>&1 || { cat "$tmp/b.log"; exit 1; }

status=0
compare() { # compare NAME FILE-A FILE-B
    if cmp -s "$2" "$3"; then
        echo "same   $1 $(sha256sum <"$2" | cut -c1-16)"
    else
        echo "DIFFER $1: $(cmp -l "$2" "$3" 2>&1 | wc -l) bytes differ, first: $(cmp "$2" "$3" 2>&1 | head -1)"
        status=1
    fi
}
compare Quillon.exe build/dist/Quillon.exe "$copy/build/dist/Quillon.exe"
for f in "$tmp/out-a"/*.msi "$tmp/out-a"/*.zip; do
    compare "$(basename "$f")" "$f" "$tmp/out-b/$(basename "$f")"
done
exit $status
