#!/usr/bin/env bash
# Sourced by the scripts that run Quillon's Windows executables. Sets up a private Wine prefix
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

quillon_ensure_prefix() {
    # Renamed whenever the settings below change, so existing prefixes take them up.
    local stamp=$WINEPREFIX/.quillon-ready-4
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
        wineboot -i >/dev/null 2>&1
        local r='HKCU\Software\Wine\Fonts\Replacements'
        for f in '바탕' 'Batang'; do
            wine reg add "$r" /v "$f" /t REG_SZ /d NanumMyeongjo /f >/dev/null 2>&1
        done
        # 바탕체 is the fixed-pitch cut (half-width Latin, cell height one em), and the templates' dialog
        # units assume its metrics: NanumGothicCoding has the same, so the edits land on the skins' rules.
        for f in '바탕체' 'BatangChe'; do
            wine reg add "$r" /v "$f" /t REG_SZ /d NanumGothicCoding /f >/dev/null 2>&1
        done
        for f in '굴림' 'Gulim' '돋움' 'Dotum' '맑은 고딕' 'Malgun Gothic' 'MS Shell Dlg' 'MS Shell Dlg 2' \
                 'Tahoma' 'MS Sans Serif' 'System'; do
            wine reg add "$r" /v "$f" /t REG_SZ /d NanumGothic /f >/dev/null 2>&1
        done
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
            /v Tahoma /t REG_MULTI_SZ /d 'NanumGothic.ttf,NanumGothic' /f >/dev/null 2>&1
        # Wine draws the caption buttons' glyphs with Marlett (without it the close box shows an
        # "r"). Only Marlett: Wine's own Tahoma would take bold captions off the Nanum link.
        cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d Y /f >/dev/null 2>&1
        wineserver -w
        touch "$stamp"
    ) 9>"$WINEPREFIX.lock"
}
