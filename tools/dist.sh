#!/usr/bin/env bash
# `make dist`: what a shop installs, built for one operator host (QUILLON_SITE_URL), for 64-bit
# Windows (x64, the main one) and for 32-bit Windows (x86, which also runs on a 64-bit one):
#   dist/Quillon-<version>-<arch>.msi   Windows Installer package (wixl), per machine
#   dist/Quillon-<version>-<arch>.zip   the portable Quillon.exe with a read-me
#   dist/SHA256SUMS                     all four
# Same commit, inputs and certificate, same bytes, whoever builds it where and when: every time
# stamp is the commit's (SOURCE_DATE_EPOCH), every GUID is fixed or derived from what goes in.
#   QUILLON_SITE_URL        operator host (default: the reference server's http://127.0.0.1:8480)
#   QUILLON_VERSION         the release, four numbers (default: CMakeLists.txt's)
#   QUILLON_CLIENT_VERSION  what the login compares the server's announced version with
#                           (default: CMakeLists.txt's)
#   QUILLON_SIGN_PFX        a PKCS#12 file with the code-signing certificate and key; without it
#                           the packages are unsigned
#   QUILLON_SIGN_PASSWORD   its password, or QUILLON_SIGN_PASSWORD_FILE a file holding it
#   QUILLON_SIGN_TSA        an RFC 3161 time-stamp URL (off by default: a time stamp is the
#                           moment of signing, so the bytes differ from build to build)
#   QUILLON_DIST_BUILD      build folder of the x64 build (default build/dist; x86: its name + -x86)
#   QUILLON_DIST_OUT        output folder (default dist)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
default() { sed -n "s/^set($1 \"\([^\"]*\)\".*/\1/p" CMakeLists.txt; }
site=${QUILLON_SITE_URL:-http://127.0.0.1:8480}
version=${QUILLON_VERSION:-$(default QUILLON_VERSION)}
client_version=${QUILLON_CLIENT_VERSION:-$(default QUILLON_CLIENT_VERSION)}
build=${QUILLON_DIST_BUILD:-build/dist}
out=${QUILLON_DIST_OUT:-dist}
pfx=${QUILLON_SIGN_PFX:-}
tsa=${QUILLON_SIGN_TSA:-}
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
if [ -n "$pfx" ] && [ ! -r "$pfx" ]; then
    echo "dist: cannot read the certificate $pfx (QUILLON_SIGN_PFX)" >&2
    exit 1
fi

# Authenticode, SHA-256, signed at the commit's time unless a time-stamp authority gives it. The
# password reaches osslsigncode through a pipe, never its command line.
sign() { # sign IN OUT
    local when=(-time "$SOURCE_DATE_EPOCH")
    [ -n "$tsa" ] && when=(-ts "$tsa")
    # -readpass reads the file named, or with "-" standard input.
    osslsigncode sign -pkcs12 "$pfx" -readpass "${QUILLON_SIGN_PASSWORD_FILE:--}" -h sha256 -n "Quillon" \
        "${when[@]}" -in "$1" -out "$2" < <(printf '%s' "${QUILLON_SIGN_PASSWORD:-}") >/dev/null
}

guid() { python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.NAMESPACE_URL, sys.argv[1])).upper())' "$1"; }
upgrade_code=$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' packaging/Quillon.wxs)

# One architecture's MSI and zip, in its build folder's stage/: package PRESET ARCH BITS BUILD
package() {
    local preset=$1 arch=$2 bits=$3 build=$4 base=Quillon-$version-$2
    # The configure step refuses a version that is not four numbers (CMakeLists.txt says why).
    cmake --preset "$preset" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXE_LINKER_FLAGS=-s \
        "-DQUILLON_SITE_URL=$site" "-DQUILLON_VERSION=$version" "-DQUILLON_CLIENT_VERSION=$client_version" >/dev/null
    cmake --build "$build" --target Quillon -j "${JOBS:-$(nproc)}"

    local stage=$build/stage
    rm -rf "$stage"
    mkdir -p "$stage/zip"
    # Signed before it is packed: the MSI and the zip carry the same signed Quillon.exe.
    if [ -n "$pfx" ]; then
        sign "$build/Quillon.exe" "$stage/zip/Quillon.exe"
        signed='s/^@SIGNED@//'
    else
        cp "$build/Quillon.exe" "$stage/zip/Quillon.exe"
        signed='/^@SIGNED@/d'
    fi
    exe_sum=$(sha256sum "$stage/zip/Quillon.exe" | cut -d' ' -f1)
    sed -e "$signed" -e "s|@SITE_URL@|$site|g" -e "s|@VERSION@|$version|g" -e "s|@EXE_SHA256@|$exe_sum|g" \
        -e "s|@ARCH@|$arch|g" -e "s|@BITS@|$bits|g" packaging/README.txt | sed 's/$/\r/' >"$stage/zip/README.txt"

    # A new PackageCode for every different package, the same one for the same bytes; the
    # ProductCode changes with the version, the host and the architecture (a different host is a
    # different product build, and MajorUpgrade replaces it through the shared UpgradeCode).
    product_code=$(guid "quillon:product:$version:$site:$arch")
    package_code=$(guid "quillon:package:$version:$site:$arch:$exe_sum")
    # wixl finds sources only by names relative to its working folder.
    cp packaging/Quillon.wxs res/Quillon.ico "$stage/zip/Quillon.exe" "$stage/"
    # The cabinet inside the package takes the files' modification times.
    touch -d "@$SOURCE_DATE_EPOCH" "$stage"/* "$stage"/zip/*
    (cd "$stage" && wixl -a "$arch" -o "$base.msi" \
        -D "Version=$version" -D "ProductCode=$product_code" -D "PackageCode=$package_code" -D "Arch=$arch" \
        -D ExeFile=Quillon.exe -D IconFile=Quillon.ico Quillon.wxs)
    # The Korean texts of the tables (see packaging/Quillon.wxs for why they come in here), and the
    # upgrade's bound made inclusive (513: migrate features, maximum included; a key column, so the
    # row is written anew), so that the same version of the other architecture is replaced rather
    # than installed beside it.
    printf '\r\n\r\n949\t_ForceCodepage\r\n' >"$stage/_ForceCodepage.idt"
    name='별바다 포스 (Quillon)'
    msibuild "$stage/$base.msi" -i "$stage/_ForceCodepage.idt" \
        -q "UPDATE \`Property\` SET \`Value\` = '$name' WHERE \`Property\` = 'ProductName'" \
        -q "UPDATE \`Property\` SET \`Value\` = '마일리지 적립, 결제, 결제 취소를 처리하는 매장 단말 프로그램' WHERE \`Property\` = 'ARPCOMMENTS'" \
        -q "UPDATE \`Shortcut\` SET \`Name\` = 'Quillon|$name', \`Description\` = '$name' WHERE \`Shortcut\` = 'StartMenuQuillon'" \
        -q "UPDATE \`LaunchCondition\` SET \`Description\` = '이미 더 새로운 버전의 Quillon이 설치되어 있습니다.' WHERE \`Condition\` = 'NOT WIX_DOWNGRADE_DETECTED'" \
        -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'" \
        -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('{$upgrade_code}', '$version', 513, 'WIX_UPGRADE_DETECTED')"
    /usr/bin/python3 tools/dist-pin.py msi "$stage/$base.msi" "$SOURCE_DATE_EPOCH" "$package_code" 1042
    # Last, as the signature covers every stream of the database.
    if [ -n "$pfx" ]; then
        sign "$stage/$base.msi" "$stage/signed.msi"
        mv "$stage/signed.msi" "$stage/$base.msi"
    fi
    /usr/bin/python3 tools/dist-pin.py zip "$stage/$base.zip" "$SOURCE_DATE_EPOCH" "$stage/zip" Quillon.exe README.txt
}

package windows x64 64 "$build"
package windows-x86 x86 32 "$build-x86"
rm -rf "$out"
mkdir -p "$out"
cp "$build"/stage/Quillon-"$version"-x64.{msi,zip} "$build-x86"/stage/Quillon-"$version"-x86.{msi,zip} "$out/"
(cd "$out" && sha256sum Quillon-"$version"-x64.msi Quillon-"$version"-x64.zip \
    Quillon-"$version"-x86.msi Quillon-"$version"-x86.zip >SHA256SUMS)
echo "dist: $out/ version $version (client $client_version) for $site, ${pfx:+signed with $pfx, }commit time $SOURCE_DATE_EPOCH"
(cd "$out" && ls -l && cat SHA256SUMS)
