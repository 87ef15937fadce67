#!/usr/bin/env python3
"""Writes the committed seed corpus of fuzz_reply into tests/fuzz/corpus/.

The first byte of each seed picks the target's mode (low three bits; the high bits seed the field
table an earlier reply left). Replies are as the operator server sends them."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus")

SEP = "</>"


def reply(*fields):
    return SEP.join(fields).encode("utf-8")


def utf16(*pieces):
    """UTF-16LE units of each piece, pieces separated by a zero unit. Pieces are encoded unit by
    unit, so they may hold lone surrogates; a piece's first unit modulo 3 picks an argument's kind
    in the template modes (0 host, 1 query value, 2 number)."""
    out = b""
    for i, piece in enumerate(pieces):
        if i:
            out += b"\x00\x00"
        out += b"".join(struct.pack("<H", ord(c)) for c in piece)
    return out


SEEDS = {
    "reply_login": b"\x00" + reply("1", "POS-0001", "데모상점", "0", "5", "127.0.0.1:8480", "x", "2"),
    "reply_login_refused": b"\x08" + reply("0", "아이디 또는 비밀번호가 맞지 않습니다"),
    "reply_give": b"\x10" + reply("1", "1500"),
    "reply_get_result_give": b"\x18"
    + reply("1", "11", "고객: 홍길동", "방문: 3회", "결제: 15,000원", "적립: 750", "사용: 0", "누적: 2,250", "코인: 1500"),
    "reply_delete_data": b"\x20" + reply("1"),
    "reply_invalid_utf8": b"\x28" + b"1</>\xc0\xaf</>\xed\xa0\x80</>\xf4\x90\x80\x80</>\xe0\xa0</>\xff\xfe</>\x80ab",
    "reply_forty_fields": b"\x30" + reply("1", *[f"f{i}" for i in range(1, 40)]),
    "reply_long_fields": b"\x38"
    + reply("1", "x" * 200, "한" * 120, "a" * 98 + "\U0001F600z", "b" * 99, "c" * 100),
    "reply_separator_edges": b"\x40" + b"</>1</></>x</></" + b"<" + b"</>",
    "reply_zero_byte": b"\x48" + b"1</>ab\x00</>cd",
    "decode_body_5k": b"\x01" + b"a" * 2045 + "한".encode() + "\U0001F600".encode() * 800,
    # Over 2047 bytes yet under 999 units, so the byte cut decides: a sequence ends right at byte 2047.
    "decode_korean_2047": b"\x01" + ("한" * 682 + "a" + "고객" * 20 + "\U0001F600" * 5).encode(),
    "decode_korean_pairs": b"\x01" + ("고객님 마일리지 \U0001F600" * 40).encode() + b"\xed\x95",
    "utf16_surrogates": b"\x02" + utf16("a\ud800b\udc00\ud83d\ude00한\udbff"),
    "split_utf16": b"\x03" + utf16("1</>" + "x" * 98 + "\ud83d\ude00</>\ud800</>\x00z"),
    "endpoint_text_message": b"\x04" + bytes([5]) + struct.pack("<i", -2147483648)
    + utf16("127.0.0.1:8480", "POS 0001", "15,000", "5%", "010-1234&5678"),
    "endpoint_login": b"\x04" + bytes([6]) + b"\0\0\0\0" + utf16("데모상점&id", "p w#\ud800"),
    "template_wide": b"\x05" + bytes([100]) + utf16("http://%s/a?x=%s&n=%d&p=%%", "\x03host", "\x01값 1", "\x02"),
    "template_narrow": b"\x06" + b"\x33" + b"http://%s/a?x=%s&y=%d%\x00\x03h:1\x00\x01a b\xed\x95\x9c\x00\x02",
    "cancel_notice": b"\x06" + b"\x00" + b"h:1\x00de mo&\xff",
    "percent": b"\x07" + utf16("AZaz09-._~ &=#+%/\ud800\ud83d\ude00한"),
}

os.makedirs(OUT, exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
print(f"{len(SEEDS)} seeds in {OUT}")
