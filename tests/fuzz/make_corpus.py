#!/usr/bin/env python3
"""Writes the committed seed corpus of fuzz_reply into tests/fuzz/corpus/: every row of the unit
tests' reply table (tests/unit/ReplyBodies.h) as a body for mode 0 and mode 1, plus a few seeds for
the URL and host modes. Rows whose body is built by code rather than a literal are left to the fuzzer."""
import codecs
import os
import re
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus")
ROW = re.compile(r'^\s*\{"(\w+)", ((?:"(?:[^"\\]|\\.)*"s?\s*)+),')
LITERAL = re.compile(r'"((?:[^"\\]|\\.)*)"')


def utf16(*pieces):
    return b"\x00\x00".join(p.encode("utf-16-le", "surrogatepass") for p in pieces)


seeds = {}
with open(os.path.join(HERE, "..", "unit", "ReplyBodies.h"), encoding="utf-8") as f:
    for line in f:
        row = ROW.match(line)
        if row:
            body = b"".join(codecs.escape_decode(lit.encode("utf-8"))[0] for lit in LITERAL.findall(row[2]))
            seeds["apply_" + row[1]] = b"\x00" + body
            seeds["decode_" + row[1]] = b"\x01" + body
seeds["endpoint_text_message"] = b"\x02\x05" + struct.pack("<i", -2147483648) + utf16(
    "127.0.0.1:8480", "POS 0001", "15,000", "5%", "010-1234&5678")
seeds["endpoint_give_korean_rate"] = b"\x02\x00\0\0\0\0" + utf16("h:1", "d", "1", "가" * 79)
seeds["endpoint_percent"] = b"\x02\x03\0\0\0\0" + utf16("h:1", "AZaz09-._~ &=#+%/\ud800\ud83d\ude00한")
for name, host in (("ipv4_port", "127.0.0.1:8480"), ("ipv6_port", "[fe80::1:2]:80"),
                   ("name", "mileage.example.com"), ("path", "h.example/x?y#z")):
    seeds["host_" + name] = b"\x03" + host.encode("utf-16-le")

shutil.rmtree(OUT, ignore_errors=True)
os.makedirs(OUT)
for name, data in seeds.items():
    with open(os.path.join(OUT, name), "wb") as out:
        out.write(data)
print(f"{len(seeds)} seeds in {OUT}")
