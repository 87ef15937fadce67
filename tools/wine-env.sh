#!/usr/bin/env bash
# Sourced by the scripts that run Quillon's Windows executables, and the one place that decides
# which Wine loader runs which program (tools/wine.sh, through $quillon_wine). Sets up a private Wine prefix
# under build/ that renders Hangul (Nanum fonts mapped for 바탕체, MS Shell Dlg and the system
# font), draws the caption buttons' glyphs (Marlett) and lets Wine draw real frames (Managed=N), so
# window and client sizes are as on Windows.
#   QUILLON_ROOT    the repository (default: this script's parent)
#   WINEPREFIX      build/wineprefix unless set
quillon_root=${QUILLON_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$quillon_root/build/wineprefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
# The Korean code page (949) and the "확인" button of message boxes.
export LC_ALL=ko_KR.UTF-8
# The program reads no proxy; neither must Wine's WinInet.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY

# Debian's /usr/bin/wine (and wineboot, winepath and their kind, which call it) picks the 32-bit
# loader whenever it is installed, whether or not the kernel can run it: where the kernel runs no
# 32-bit programs, that fails every program, the 64-bit ones too. So our scripts never call the
# wrapper: a 64-bit program and Wine's own tools go to the 64-bit loader, a 32-bit executable to
# the 32-bit one.
QUILLON_WINE64=${QUILLON_WINE64:-/usr/lib/wine/wine64}
QUILLON_WINE32=${QUILLON_WINE32:-/usr/lib/wine/wine}

# Whether this machine runs 32-bit programs, found out once by running the 32-bit loader (not from
# what is installed or from the kernel's version) and kept in the environment for the whole run.
quillon_runs_32bit() {
    if [ -z "${QUILLON_RUNS_32BIT:-}" ]; then
        QUILLON_RUNS_32BIT=no
        "$QUILLON_WINE32" --version >/dev/null 2>&1 && QUILLON_RUNS_32BIT=yes
        export QUILLON_RUNS_32BIT
    fi
    [ "$QUILLON_RUNS_32BIT" = yes ]
}
quillon_no_32bit_reason="this kernel runs no 32-bit programs (boot it with ia32_emulation=on to run them)"

# tools/wine.sh [--32|--64] PROGRAM [ARGS...] runs a program through the loader of its kind.
quillon_wine=$quillon_root/tools/wine.sh

quillon_ensure_prefix() {
    # Renamed whenever the settings below change, so existing prefixes take them up; and apart for
    # a prefix made where 32-bit programs did not run (it cannot run them once they do).
    local stamp=$WINEPREFIX/.quillon-ready-5
    quillon_runs_32bit || stamp+=-64only
    [ -f "$stamp" ] && return 0
    mkdir -p "$WINEPREFIX"
    (flock 9
        [ -f "$stamp" ] && exit 0
        # A prefix of ours from before (an older stamp) is made anew: one made before the 32-bit
        # Wine was installed cannot run 32-bit programs, and wineboot -u does not mend it.
        if compgen -G "$WINEPREFIX/.quillon-ready-*" >/dev/null; then
            wineserver -k 2>/dev/null
            find "$WINEPREFIX" -mindepth 1 -delete
        fi
        "$quillon_wine" wineboot -i >/dev/null 2>&1
        local r='HKCU\Software\Wine\Fonts\Replacements'
        for f in '바탕' 'Batang'; do
            "$quillon_wine" reg add "$r" /v "$f" /t REG_SZ /d NanumMyeongjo /f >/dev/null 2>&1
        done
        # 바탕체 is the fixed-pitch cut (half-width Latin, cell height one em), and the templates' dialog
        # units assume its metrics: NanumGothicCoding has the same, so the edits land on the skins' rules.
        for f in '바탕체' 'BatangChe'; do
            "$quillon_wine" reg add "$r" /v "$f" /t REG_SZ /d NanumGothicCoding /f >/dev/null 2>&1
        done
        for f in '굴림' 'Gulim' '돋움' 'Dotum' '맑은 고딕' 'Malgun Gothic' 'MS Shell Dlg' 'MS Shell Dlg 2' \
                 'Tahoma' 'MS Sans Serif' 'System'; do
            "$quillon_wine" reg add "$r" /v "$f" /t REG_SZ /d NanumGothic /f >/dev/null 2>&1
        done
        "$quillon_wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
            /v Tahoma /t REG_MULTI_SZ /d 'NanumGothic.ttf,NanumGothic' /f >/dev/null 2>&1
        # Wine draws the caption buttons' glyphs with Marlett (without it the close box shows an
        # "r"). Only Marlett: Wine's own Tahoma would take bold captions off the Nanum link.
        cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
        "$quillon_wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
        "$quillon_wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d Y /f >/dev/null 2>&1
        wineserver -w
        touch "$stamp"
    ) 9>"$WINEPREFIX.lock"
}
