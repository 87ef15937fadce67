#!/usr/bin/env bash
# Installs the Debian packages Quillon needs to build, test and run, when any is missing.
# One list for everything: the native core, the Windows cross-builds (64- and 32-bit), Wine/Xvfb
# (the 32-bit Wine beside the 64-bit one, so that one prefix runs both executables), the server,
# the artwork generator, the fuzzer, `make dist` (wixl, msitools, osslsigncode) and the server's
# load figures (wrk).
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev googletest
  libcurl4-openssl-dev
  libcpp-httplib-dev libsqlite3-dev libssl-dev
  g++-mingw-w64-x86-64 g++-mingw-w64-i686-posix mingw-w64-tools
  wine wine64 wine32:i386 xvfb xauth x11-utils x11-apps xdotool
  imagemagick fonts-nanum icoutils python3-pefile
  clang libclang-rt-14-dev
  curl locales
  wixl msitools python3-olefile fonts-wine osslsigncode
  wrk
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # wine32 is an i386 package: the architecture must be known before the lists are read.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Wine shows Korean message boxes ("확인") and uses code page 949 only under a Korean locale.
if ! locale -a 2>/dev/null | grep -qi '^ko_KR\.utf-\?8$'; then
  echo "install-deps: generating the ko_KR.UTF-8 locale"
  $SUDO sed -i 's/^# *ko_KR.UTF-8 UTF-8/ko_KR.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ko_KR.UTF-8 UTF-8' /etc/locale.gen || echo 'ko_KR.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
