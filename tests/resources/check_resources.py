#!/usr/bin/python3
"""Checks the resources linked into a built Quillon.exe against the sources they come from:

    /usr/bin/python3 tests/resources/check_resources.py build/windows/Quillon.exe

Every id of res/resource.h is there, in Korean only; the dialog captions read back exactly as
res/Quillon.rc writes them (a wrong code page garbles them); the bitmaps are plain
bottom-up DIBs and the skins have the skins' size (skin/Skin.h); the manifest asks for Common
Controls 6 and its own identity names the architecture of the PE's machine type (Windows refuses
to start a program whose manifest names another; Wine does not check); the fixed and the text
versions and the manifest's are the VERSION given.
Usage: check_resources.py EXE VERSION. Prints each failure and exits 1."""
import os
import re
import struct
import sys

import pefile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
RT_BITMAP, RT_DIALOG, RT_GROUP_ICON, RT_MANIFEST = 2, 5, 14, 24
KOREAN = 0x412
SKINS = ("IDB_LOGIN_BACKGROUND", "IDB_POS_BACKGROUND", "IDB_WAITING", "IDB_GIVE_DONE", "IDB_PAY_DONE", "IDB_CANCEL_DONE")


def source(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        return f.read()


def wide_string(data, at):
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def caption(data):
    at = 26  # DLGTEMPLATEEX up to the menu
    for _ in range(2):  # menu and class: none, an ordinal or a name
        word = struct.unpack_from("<H", data, at)[0]
        at = at + 2 if word == 0 else at + 4 if word == 0xFFFF else wide_string(data, at)[1]
    return wide_string(data, at)[0]


def main():
    ids = {name: int(value) for name, value in re.findall(r"#define (ID\w+) (\d+)", source("res/resource.h"))}
    rc = source("res/Quillon.rc")
    skin = int(re.search(r"kSkinClientSize = (\d+)", source("skin/Skin.h"))[1])
    version = sys.argv[2]
    pe = pefile.PE(sys.argv[1])
    res = {}
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for entry in rtype.directory.entries:
            for lang in entry.directory.entries:
                res.setdefault((rtype.id, entry.id), []).append(
                    (lang.id, pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)))
    failures = [f"{key}: languages {[hex(l) for l, _ in entries]}" for key, entries in res.items()
                if [l for l, _ in entries] != [KOREAN]]
    data = {key: entries[0][1] for key, entries in res.items()}

    def need(rtype, name):
        if (rtype, ids[name]) not in data:
            failures.append(f"{name} ({ids[name]}) is missing")
        return data.get((rtype, ids[name]))

    for name in (n for n in ids if n.startswith("IDD_")):
        block = re.search(rf"^{name} DIALOGEX.*?^BEGIN", rc, re.M | re.S)[0]
        wanted = re.search(r'CAPTION "([^"]*)"', block)
        got = need(RT_DIALOG, name)
        if got is not None and caption(got) != (wanted[1] if wanted else ""):
            failures.append(f"{name} caption {caption(got)!r}, the .rc says {wanted[1] if wanted else ''!r}")
    for name in (n for n in ids if n.startswith("IDB_")):
        got = need(RT_BITMAP, name)
        if got is None:
            continue
        _, width, height, _, _, compression = struct.unpack_from("<IiiHHI", got)
        if height <= 0 or compression != 0:
            failures.append(f"{name}: not a plain bottom-up DIB")
        if name in SKINS and (width, height) != (skin, skin):
            failures.append(f"{name}: {width} x {height}, a skin is {skin} x {skin}")
    need(RT_GROUP_ICON, "IDI_QUILLON")
    if b"Microsoft.Windows.Common-Controls" not in data.get((RT_MANIFEST, 1), b""):
        failures.append("the manifest does not ask for Common Controls 6")
    # Microsoft's manifest schema: processorArchitecture "x86" for IMAGE_FILE_MACHINE_I386,
    # "amd64" for IMAGE_FILE_MACHINE_AMD64.
    machine = {0x14C: "x86", 0x8664: "amd64"}.get(pe.FILE_HEADER.Machine, hex(pe.FILE_HEADER.Machine))
    named = re.search(rb'<assemblyIdentity[^>]*name="Quillon"[^>]*processorArchitecture="([^"]*)"',
                      data.get((RT_MANIFEST, 1), b""))
    if not named or named[1].decode() != machine:
        failures.append(f"the manifest names architecture {named[1].decode() if named else None}, "
                        f"the executable is {machine}")
    fixed = pe.VS_FIXEDFILEINFO[0]
    dotted = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
    texts = {k.decode(): v.decode() for info in pe.FileInfo[0] if info.name == "StringFileInfo"
             for table in info.StringTable for k, v in table.entries.items()}
    manifest = re.search(rb'<assemblyIdentity[^>]*name="Quillon"[^>]*version="([^"]*)"', data.get((RT_MANIFEST, 1), b""))
    for what, found in (("file version", dotted(fixed.FileVersionMS, fixed.FileVersionLS)),
                        ("product version", dotted(fixed.ProductVersionMS, fixed.ProductVersionLS)),
                        ("FileVersion text", texts.get("FileVersion")),
                        ("ProductVersion text", texts.get("ProductVersion")),
                        ("manifest version", manifest[1].decode() if manifest else None)):
        if found != version:
            failures.append(f"{what} {found}, the build's is {version}")
    for failure in failures:
        print("FAIL", failure)
    print(f"resources of {sys.argv[1]}: {len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
