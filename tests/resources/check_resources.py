#!/usr/bin/python3
"""Checks the resources linked into a built Quillon.exe against the program's resource catalogue.

    /usr/bin/python3 tests/resources/check_resources.py build/windows/Quillon.exe

Reads the PE's resource directory (python3-pefile) and compares it with the tables below: the
bitmaps (ids, sizes, bit depths, uncompressed and bottom-up), the dialog templates (styles, fonts,
sizes, every control), the icon group, the string table, the manifest, the version, and the Korean
language of every resource. Prints each mismatch and exits 1 if there is any.
"""

import struct
import sys
import xml.etree.ElementTree as ET

import pefile

RT_ICON, RT_BITMAP, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 2, 5, 6, 14, 16, 24
KOREAN = 0x412

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_BORDER, WS_SYSMENU, WS_TABSTOP = 0x00C00000, 0x00800000, 0x00080000, 0x00010000
DS_FIXEDSYS, DS_SETFONT, DS_MODALFRAME = 0x0008, 0x0040, 0x0080
DS_SHELLFONT = DS_SETFONT | DS_FIXEDSYS
WS_EX_APPWINDOW = 0x00040000
ES_PASSWORD, ES_AUTOHSCROLL = 0x0020, 0x0080
BS_DEFPUSHBUTTON = 0x0001
HANGUL_CHARSET, DEFAULT_CHARSET = 129, 1
BUTTON, EDIT = 0x0080, 0x0081

# Id: (width, height, bits per pixel).
BITMAPS = {
    131: (600, 600, 24), 132: (600, 600, 32), 133: (600, 600, 32), 135: (261, 48, 32),
    137: (357, 96, 24), 138: (600, 600, 32), 139: (553, 82, 32), 140: (553, 82, 32),
    141: (553, 82, 24), 142: (125, 69, 32), 143: (600, 600, 32), 144: (600, 600, 32),
}

PUSH = WS_CHILD | WS_VISIBLE | WS_TABSTOP
DEFAULT_PUSH = PUSH | BS_DEFPUSHBUTTON
EDIT_LINE = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL
FRAMED = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT


def font(face, points, charset):
    return {"face": face, "points": points, "weight": 400, "italic": 0, "charset": charset}


# Id: the template, its controls in order as (id, class, text, (x, y, cx, cy), style).
DIALOGS = {
    102: {"style": FRAMED | WS_VISIBLE, "exstyle": WS_EX_APPWINDOW, "title": "ByeolbadaPos",
          "font": font("바탕체", 22, HANGUL_CHARSET), "size": (97, 26),
          "controls": [(1001, BUTTON, "ByeolbadaPos", (0, 0, 43, 26), PUSH)]},
    104: {"style": FRAMED, "exstyle": 0, "title": "별바다 포스",
          "font": font("바탕체", 20, HANGUL_CHARSET), "size": (205, 188),
          "controls": [(1002, EDIT, "", (89, 37, 47, 12), EDIT_LINE),
                       (1003, EDIT, "", (111, 69, 28, 12), EDIT_LINE),
                       (1004, BUTTON, "Give Milege", (87, 88, 60, 14), PUSH),
                       (1005, BUTTON, "Milege Pay", (87, 103, 59, 14), PUSH),
                       (1006, BUTTON, "Exit", (88, 137, 57, 14), PUSH),
                       (1007, BUTTON, "Milege Cancel", (88, 119, 57, 14), PUSH)]},
    105: {"style": FRAMED, "exstyle": 0, "title": "별바다 포스",
          "font": font("바탕체", 18, HANGUL_CHARSET), "size": (170, 181),
          "controls": [(1, BUTTON, "확인", (56, 149, 50, 16), DEFAULT_PUSH),
                       (1012, EDIT, "", (51, 70, 53, 12), EDIT_LINE)]},
    130: {"style": WS_POPUP | WS_SYSMENU | DS_SHELLFONT, "exstyle": 0, "title": "",
          "font": font("MS Shell Dlg", 8, DEFAULT_CHARSET), "size": (403, 384),
          "controls": [(1, BUTTON, "OK", (217, 246, 50, 14), DEFAULT_PUSH),
                       (2, BUTTON, "Cancel", (133, 246, 50, 14), PUSH),
                       (1010, EDIT, "", (167, 180, 94, 14), EDIT_LINE),
                       (1011, EDIT, "", (168, 211, 93, 14), EDIT_LINE | ES_PASSWORD)]},
    136: {"style": FRAMED | DS_SHELLFONT, "exstyle": 0, "title": "업그레이드 알림",
          "font": font("MS Shell Dlg", 8, DEFAULT_CHARSET), "size": (220, 97),
          "controls": [(1, BUTTON, "확인", (113, 66, 50, 14), DEFAULT_PUSH),
                       (2, BUTTON, "취소", (43, 66, 50, 14), PUSH),
                       (1011, EDIT, "", (7, 7, 206, 49), EDIT_LINE)]},
}

ICON_GROUP = 128
ICON_IMAGES = sorted([(48, 32), (32, 32), (32, 8), (16, 32), (16, 8)])
STRINGS = {103: "Windows 소켓을 초기화하지 못했습니다."}
VERSION = (1, 0, 0, 1)
PRODUCT_NAME = "Quillon"


class Report:
    def __init__(self):
        self.failures = []

    def check(self, ok, what):
        if not ok:
            self.failures.append(what)
        return ok

    def equal(self, actual, expected, what):
        return self.check(actual == expected, f"{what}: {actual!r}, expected {expected!r}")


def resources(pe):
    """(type, id) -> list of (language, bytes)."""
    out = {}
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for rtype in directory.entries if directory else []:
        for entry in rtype.directory.entries:
            for lang in entry.directory.entries:
                data = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
                key = (rtype.id if rtype.id is not None else str(rtype.name),
                       entry.id if entry.id is not None else str(entry.name))
                out.setdefault(key, []).append((lang.id, data))
    return out


def of_type(res, rtype):
    return {ident: entries for (t, ident), entries in res.items() if t == rtype}


def only(report, entries, what):
    """The one Korean entry of a resource; a resource in several languages or another is reported."""
    langs = [lang for lang, _ in entries]
    report.check(langs == [KOREAN], f"{what}: languages {[hex(x) for x in langs]}, expected only 0x412")
    return entries[0][1]


# ------------------------------------------------------------------------------------------------


def check_bitmaps(report, res):
    found = of_type(res, RT_BITMAP)
    report.equal(sorted(found), sorted(BITMAPS), "bitmap ids")
    for ident, (width, height, bpp) in BITMAPS.items():
        if ident not in found:
            continue
        data = only(report, found[ident], f"bitmap {ident}")
        size, w, h, planes, bits, compression, image_size = struct.unpack_from("<IiiHHII", data)
        what = f"bitmap {ident}"
        report.equal(size, 40, f"{what} header size")
        report.equal((w, h), (width, height), f"{what} size (a negative height is top-down)")
        report.equal(planes, 1, f"{what} planes")
        report.equal(bits, bpp, f"{what} bits per pixel")
        report.equal(compression, 0, f"{what} compression (BI_RGB)")
        stride = (abs(w) * bits // 8 + 3) & ~3
        report.check(len(data) >= size + stride * abs(h),
                     f"{what}: {len(data)} bytes, too few for {abs(w)}x{abs(h)} at {bits} bpp")


def sz_or_ord(data, at):
    """A template's name-or-ordinal field: (value, next offset); value is an int for an ordinal."""
    first = struct.unpack_from("<H", data, at)[0]
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def parse_dialog(data):
    ver, signature, _help, exstyle, style, count, x, y, cx, cy = struct.unpack_from("<HHIIIHhhhh", data)
    if (ver, signature) != (1, 0xFFFF):
        raise ValueError(f"not an extended template (version {ver}, signature {signature:#x})")
    at = 26
    menu, at = sz_or_ord(data, at)
    wclass, at = sz_or_ord(data, at)
    title, at = sz_or_ord(data, at)
    dialog = {"style": style, "exstyle": exstyle, "pos": (x, y), "size": (cx, cy), "menu": menu,
              "class": wclass, "title": title, "font": None, "controls": []}
    if style & DS_SETFONT:
        points, weight, italic, charset = struct.unpack_from("<HHBB", data, at)
        face, at = sz_or_ord(data, at + 6)
        dialog["font"] = {"face": face, "points": points, "weight": weight, "italic": italic,
                          "charset": charset}
    for _ in range(count):
        at = (at + 3) & ~3
        _help, ex, st, x, y, cx, cy, ident = struct.unpack_from("<IIIhhhhI", data, at)
        cclass, at = sz_or_ord(data, at + 24)
        text, at = sz_or_ord(data, at)
        extra = struct.unpack_from("<H", data, at)[0]
        at += 2 + extra
        dialog["controls"].append({"id": ident, "class": cclass, "text": text, "rect": (x, y, cx, cy),
                                   "style": st, "exstyle": ex})
    return dialog


def check_dialogs(report, res):
    found = of_type(res, RT_DIALOG)
    report.equal(sorted(found), sorted(DIALOGS), "dialog template ids")
    for ident, want in DIALOGS.items():
        if ident not in found:
            continue
        what = f"template {ident}"
        try:
            got = parse_dialog(only(report, found[ident], what))
        except (ValueError, struct.error, UnicodeDecodeError) as e:
            report.check(False, f"{what}: cannot be read: {e}")
            continue
        report.equal(hex(got["style"]), hex(want["style"]), f"{what} style")
        report.equal(hex(got["exstyle"]), hex(want["exstyle"]), f"{what} extended style")
        report.equal(got["title"], want["title"], f"{what} title")
        report.equal((got["menu"], got["class"]), ("", ""), f"{what} menu and window class")
        report.equal(got["font"], want["font"], f"{what} font")
        report.equal(got["pos"], (0, 0), f"{what} position")
        report.equal(got["size"], want["size"], f"{what} size")
        report.equal([c["id"] for c in got["controls"]], [c[0] for c in want["controls"]],
                     f"{what} control ids in order")
        by_id = {c["id"]: c for c in got["controls"]}
        for cid, cclass, text, rect, style in want["controls"]:
            if cid not in by_id:
                continue
            c, cwhat = by_id[cid], f"{what} control {cid}"
            report.equal(c["class"], cclass, f"{cwhat} class")
            report.equal(c["text"], text, f"{cwhat} text")
            report.equal(c["rect"], rect, f"{cwhat} rectangle")
            report.equal(hex(c["style"]), hex(style), f"{cwhat} style")
            report.equal(c["exstyle"], 0, f"{cwhat} extended style")


def check_icon(report, res):
    groups = of_type(res, RT_GROUP_ICON)
    report.equal(sorted(groups), [ICON_GROUP], "icon group ids")
    if ICON_GROUP not in groups:
        return
    data = only(report, groups[ICON_GROUP], f"icon group {ICON_GROUP}")
    _reserved, kind, count = struct.unpack_from("<HHH", data)
    report.equal(kind, 1, "icon group type")
    icons = of_type(res, RT_ICON)
    images = []
    for k in range(count):
        w, h, _colours, _r, _planes, bits, size, ident = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * k)
        w, h = w or 256, h or 256
        images.append((w, bits))
        report.equal(w, h, f"icon image {ident} is square")
        if not report.check(ident in icons, f"icon group names image {ident}, which is missing"):
            continue
        image = only(report, icons[ident], f"icon image {ident}")
        report.equal(len(image), size, f"icon image {ident} length")
        hsize, iw, ih, _planes, ibits = struct.unpack_from("<IiiHH", image)
        report.equal((hsize, iw, ih, ibits), (40, w, 2 * h, bits), f"icon image {ident} header")
    report.equal(sorted(images), ICON_IMAGES, "icon images (size, bits)")


def check_strings(report, res):
    blocks = of_type(res, RT_STRING)
    strings = {}
    for block, entries in blocks.items():
        data = only(report, entries, f"string block {block}")
        at = 0
        for k in range(16):
            length = struct.unpack_from("<H", data, at)[0]
            if length:
                strings[(block - 1) * 16 + k] = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            at += 2 + 2 * length
    report.equal(strings, STRINGS, "string table")


def check_manifest(report, res):
    manifests = of_type(res, RT_MANIFEST)
    report.equal(sorted(manifests), [1], "manifest ids")
    if 1 not in manifests:
        return
    try:
        root = ET.fromstring(only(report, manifests[1], "manifest"))
    except ET.ParseError as e:
        report.check(False, f"manifest is not XML: {e}")
        return
    asm = "{urn:schemas-microsoft-com:asm.v1}"
    wanted = [a for a in root.iter(asm + "assemblyIdentity")
              if a.get("name") == "Microsoft.Windows.Common-Controls"]
    report.check(any(a.get("version") == "6.0.0.0" and a.get("type") == "win32"
                     and a.get("publicKeyToken") == "6595b64144ccf1df" for a in wanted),
                 "manifest does not depend on Microsoft.Windows.Common-Controls 6.0.0.0")


def check_version(report, pe, res):
    versions = of_type(res, RT_VERSION)
    report.equal(sorted(versions), [1], "version resource ids")
    if 1 in versions:
        only(report, versions[1], "version resource")
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not report.check(bool(fixed), "no VS_FIXEDFILEINFO"):
        return
    f = fixed[0]

    def split(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    report.equal(split(f.FileVersionMS, f.FileVersionLS), VERSION, "file version")
    report.equal(split(f.ProductVersionMS, f.ProductVersionLS), VERSION, "product version")
    texts = {}
    for info in getattr(pe, "FileInfo", []):
        for item in info:
            for table in getattr(item, "StringTable", []):
                texts.update({k.decode(): v.decode() for k, v in table.entries.items()})
    report.equal(texts.get("ProductName"), PRODUCT_NAME, "ProductName")
    report.equal(texts.get("ProductVersion"), "1.0.0.1", "ProductVersion text")
    report.equal(texts.get("FileVersion"), "1.0.0.1", "FileVersion text")


def check_languages(report, res):
    for (rtype, ident), entries in sorted(res.items(), key=str):
        for lang, _ in entries:
            report.check(lang == KOREAN, f"resource type {rtype} id {ident}: language {lang:#x}, expected 0x412")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    pe = pefile.PE(sys.argv[1])
    res = resources(pe)
    report = Report()
    check_languages(report, res)
    check_bitmaps(report, res)
    check_dialogs(report, res)
    check_icon(report, res)
    check_strings(report, res)
    check_manifest(report, res)
    check_version(report, pe, res)
    for failure in report.failures:
        print("FAIL", failure)
    if report.failures:
        print(f"{len(report.failures)} resource check(s) failed in {sys.argv[1]}")
        return 1
    print(f"resources of {sys.argv[1]}: {len(BITMAPS)} bitmaps, {len(DIALOGS)} templates, icon, string, "
          "manifest, version, all Korean: as catalogued")
    return 0


if __name__ == "__main__":
    sys.exit(main())
