#!/usr/bin/env python3
"""The parts of `make dist` whose tools would put the moment or the machine into the bytes.

  dist-pin.py zip OUT.zip EPOCH DIR NAME...   a zip of DIR/NAME... in that order, fixed times
                                              and permissions
  dist-pin.py msi FILE.msi EPOCH CODE LANG    pins the package's summary information: times,
                                              package code (revision number), language
"""
import struct
import sys
import time
import zipfile

import olefile


def make_zip(out, epoch, folder, names):
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip cannot date before 1980
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name in names:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS: no Unix owner or mode bits
            info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            with open(f"{folder}/{name}", "rb") as f:
                z.writestr(info, f.read())


# Summary information properties that wixl fills from the clock, from a random UUID and from
# its own default language.
PID_TEMPLATE, PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM = 7, 9, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64


def pin_msi(path, epoch, package_code, language):
    ole = olefile.OleFileIO(path, write_mode=True)
    info = bytearray(ole.openstream("\x05SummaryInformation").read())
    section = struct.unpack_from("<I", info, 44)[0]  # one section: header 28 + FMTID 16
    count = struct.unpack_from("<I", info, section + 4)[0]
    filetime = (epoch + 11644473600) * 10_000_000  # 100 ns since 1601
    pinned = set()
    for i in range(count):
        pid, offset = struct.unpack_from("<II", info, section + 8 + 8 * i)
        at = section + offset
        vt = struct.unpack_from("<I", info, at)[0]
        if pid in (PID_CREATE_DTM, PID_LASTSAVE_DTM) and vt == VT_FILETIME:
            struct.pack_into("<Q", info, at + 4, filetime)
        elif pid in (PID_TEMPLATE, PID_REVNUMBER) and vt == VT_LPSTR:
            size = struct.unpack_from("<I", info, at + 4)[0]
            old = bytes(info[at + 8 : at + 8 + size]).rstrip(b"\0").decode("ascii")
            if pid == PID_TEMPLATE:
                new = old.split(";")[0] + ";" + language
            else:
                new = "{" + package_code + "}"
            value = new.encode("ascii") + b"\0"
            if len(value) != size:  # the stream keeps its size, so no property moves
                sys.exit(f"dist-pin: property {pid} {old!r} cannot become {new!r} in place")
            info[at + 8 : at + 8 + size] = value
        else:
            continue
        pinned.add(pid)
    if pinned != {PID_TEMPLATE, PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM}:
        sys.exit(f"dist-pin: summary information of {path} lacks {sorted(pinned)}")
    ole.write_stream("\x05SummaryInformation", bytes(info))
    ole.close()


if __name__ == "__main__":
    if sys.argv[1] == "zip":
        make_zip(sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5:])
    elif sys.argv[1] == "msi":
        pin_msi(sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5])
    else:
        sys.exit(__doc__)
