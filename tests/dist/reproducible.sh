#!/usr/bin/env bash
# Two `make dist` builds of this tree, signed with one throwaway certificate, must give the same
# bytes: one in the checkout (build/dist, incremental), one in a copy elsewhere, built later, under
# another user name and umask, from a fresh build folder. Compares both Quillon.exe (x64, x86),
# both MSIs and both zips. The signatures verify against the test CA, on the exe in the zip, in the MSI and on the
# MSI. A build without a certificate carries the linked exe as it is and no signature.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillon-repro.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
cd "$root"
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
site=${QUILLON_SITE_URL:-http://127.0.0.1:8480}

# A CA and a code-signing certificate from it, valid from 2000 so that the commit's time, which
# is the signing time, lies within them.
ca=$tmp/ca
. tests/support/test-ca.sh
test_ca_init "$ca"
always=(20000101000000Z 20991231000000Z)
test_ca_issue "$ca" root "Quillon test CA" root "${always[@]}" -selfsign -keyfile "$ca/root.key"
test_ca_issue "$ca" signer "Quillon test signer" signer "${always[@]}" $(test_ca_by "$ca" root)
printf 'pass word' >"$ca/password"
openssl pkcs12 -export -out "$ca/signer.pfx" -inkey "$ca/signer.key" -in "$ca/signer.pem" \
    -certfile "$ca/root.pem" -passout "file:$ca/password"
export QUILLON_SIGN_PFX=$ca/signer.pfx QUILLON_SITE_URL=$site

dist() { # dist LOG OUT [ENV...]: tools/dist.sh in the current folder
    env QUILLON_DIST_OUT="$2" "${@:3}" tools/dist.sh >"$1" 2>&1 || { cat "$1"; exit 1; }
}
dist "$tmp/a.log" "$tmp/out-a" QUILLON_SIGN_PASSWORD="pass word"

# The same files, tracked or new, in a folder of another name and depth.
copy=$tmp/elsewhere/quillon-copy
mkdir -p "$copy"
git ls-files -z -co --exclude-standard |
    tar --null --ignore-failed-read -T - -cf - 2>/dev/null | (umask 077 && tar -C "$copy" -xf -)
(
    umask 077
    cd "$copy"
    dist "$tmp/b.log" "$tmp/out-b" USER=someone-else LOGNAME=someone-else HOME="$tmp" \
        QUILLON_SIGN_PASSWORD_FILE="$ca/password"
)

. tests/support/check.sh
compare() { # compare NAME FILE-A FILE-B
    if cmp -s "$2" "$3"; then
        echo "same   $1 $(sha256sum <"$2" | cut -c1-16)"
    else
        echo "DIFFER $1: $(cmp -l "$2" "$3" 2>&1 | wc -l) bytes differ, first: $(cmp "$2" "$3" 2>&1 | head -1)"
        failures=$((failures + 1))
    fi
}
compare Quillon.exe build/dist/Quillon.exe "$copy/build/dist/Quillon.exe"
compare "Quillon.exe (x86)" build/dist-x86/Quillon.exe "$copy/build/dist-x86/Quillon.exe"
for f in "$tmp/out-a"/*.msi "$tmp/out-a"/*.zip; do
    compare "$(basename "$f")" "$f" "$tmp/out-b/$(basename "$f")"
done

verifies() { osslsigncode verify -CAfile "$ca/root.pem" -in "$1" >"$tmp/verify.log" 2>&1 &&
    grep -q 'Subject: /CN=Quillon test signer' "$tmp/verify.log"; }
unsigned() { ! osslsigncode verify -in "$1" >/dev/null 2>&1; }
# unpack KIND OUT: the Quillon.exe and README.txt (zip) or Quillon.exe (msi) of out-KIND's x64
# packages.
unpack() {
    mkdir -p "$tmp/$2"
    /usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
        "$tmp/out-$1"/*-x64.zip "$tmp/$2/zip"
    msiextract -C "$tmp/$2/msi" "$tmp/out-$1"/*-x64.msi >/dev/null
    find "$tmp/$2/msi" -name Quillon.exe -exec mv {} "$tmp/$2/msi.exe" \;
}
unpack a signed
check "the signed MSI verifies" verifies "$tmp"/out-a/*-x64.msi
check "the signed 32-bit MSI verifies" verifies "$tmp"/out-a/*-x86.msi
check "the zip's Quillon.exe verifies" verifies "$tmp/signed/zip/Quillon.exe"
check "the MSI's Quillon.exe is the zip's" cmp -s "$tmp/signed/msi.exe" "$tmp/signed/zip/Quillon.exe"
check "the signed read-me says how to check the signature" grep -q 'Get-AuthenticodeSignature' "$tmp/signed/zip/README.txt"

dist "$tmp/c.log" "$tmp/out-c" QUILLON_SIGN_PFX=
unpack c plain
check "without a certificate the MSI is unsigned" unsigned "$tmp"/out-c/*-x64.msi
check "and the zip's Quillon.exe is the linked one" cmp -s "$tmp/plain/zip/Quillon.exe" build/dist/Quillon.exe
check "and so is the MSI's" cmp -s "$tmp/plain/msi.exe" build/dist/Quillon.exe
check "and the read-me says nothing of a signature" bash -c '! grep -q "@SIGNED@\|Authenticode" "$0"' "$tmp/plain/zip/README.txt"
[ $failures -eq 0 ]
