#!/usr/bin/python3
"""Draws Quillon's artwork into res/: the twelve skin and button bitmaps and the window icon.

    /usr/bin/python3 tools/make-artwork.py [--out DIR] [--png DIR]

ImageMagick (/usr/bin/convert) rasterises shapes and text (fonts-nanum); this script writes the
BMP and ICO files itself, so every picture has exactly the size and bit depth the program's
resource catalogue demands: uncompressed BI_RGB, bottom-up rows, 24 or 32 bits per pixel. The
output depends only on this script, ImageMagick and the fonts, so a rerun reproduces the files.

Where a picture has to agree with the program:
  - the edit controls sit on the rules of 131, 132 and 133 (positions measured under Wine from
    the program's dialog templates; the program does not move its edits);
  - the program draws the result lines of 138/143/144 at x 200, y 142 + 39 n in the system font,
    black on white, so the labels end before x 200 and everything right of them is white;
  - the login button 135 (261 x 48) is copied into 288 x 42, and what lies beyond the picture is
    filled with its edge colour, so its right column and bottom rows are the login card's colour,
    and so is 131 behind the whole login rectangle;
  - the launcher banner 137 is copied 357 x 97 from 96 rows.
"""

import argparse
import math
import os
import random
import struct
import subprocess
import sys

CONVERT = "/usr/bin/convert"
FONT_DIR = "/usr/share/fonts/truetype/nanum"
REGULAR = os.path.join(FONT_DIR, "NanumBarunGothic.ttf")
BOLD = os.path.join(FONT_DIR, "NanumBarunGothicBold.ttf")

# The palette: deep navy and gold, "별바다" (a sea of stars).
NAVY_TOP = "#183463"
NAVY_DEEP = "#0b1a36"
NAVY = "#13294b"
NAVY_SOFT = "#2b4677"
GOLD = "#d5a647"
GOLD_LIGHT = "#f1d185"
GOLD_DARK = "#a9792a"
INK = "#1b2538"
INK_SOFT = "#46536a"
GREY = "#7a8599"
HAIRLINE = "#e2e6ee"
FIELD_TINT = "#f3f6fb"
WHITE = "#ffffff"
CARD = "#102448"  # login card: also the edge colour of the login button
CARD_EDGE = "#2c4878"
BAND_SUBTITLE = "#a9bbdc"


# --------------------------------------------------------------------------------------------
# Rasterising through ImageMagick


def _run(args, stdin=None):
    result = subprocess.run([CONVERT] + args, input=stdin, capture_output=True)
    if result.returncode != 0:
        sys.exit("convert failed: " + result.stderr.decode(errors="replace"))
    return result.stdout


def _label_text(text):
    # label: expands %-escapes; a literal % is written %%.
    return "label:" + text.replace("%", "%%")


_extents = {}


def text_extent(text, font, size):
    """Ink width and height of text, as a trimmed label: the box that text() places."""
    key = (text, font, size)
    if key not in _extents:
        out = _run(["-background", "none", "-fill", "black", "-font", font, "-pointsize", str(size),
                    _label_text(text), "-trim", "-format", "%w %h", "info:"])
        w, h = out.decode().split()
        _extents[key] = (int(w), int(h))
    return _extents[key]


def fit_size(text, font, width, start=40):
    """The largest point size (in steps of 0.25) at which text's ink is at most width wide."""
    size = start
    while size > 4 and text_extent(text, font, size)[0] > width:
        size -= 0.25
    return size


def fmt(v):
    return ("%.2f" % v).rstrip("0").rstrip(".")


class Canvas:
    """One picture, built up as an ImageMagick command: shapes first, text composited on top.

    Coordinates are pixels of the picture; pixel centres are whole numbers, so a shape from x0 to
    x1 covers the columns x0..x1 inclusive, crisp where its edges are straight.
    """

    def __init__(self, width, height, background=WHITE):
        self.width, self.height = width, height
        self.args = ["-size", f"{width}x{height}", f"xc:{background}"]

    def _draw(self, mvg, fill="none", stroke="none", stroke_width=1, antialias=True):
        self.args += ["-antialias" if antialias else "+antialias", "-fill", fill, "-stroke", stroke,
                      "-strokewidth", fmt(stroke_width), "-draw", mvg]

    # Crisp boxes: [x0, x1) x [y0, y1), as a program's rectangle.
    def box(self, x0, y0, x1, y1, colour):
        self._draw(f"rectangle {x0},{y0} {x1 - 1},{y1 - 1}", fill=colour, antialias=False)

    def round_box(self, x0, y0, x1, y1, radius, colour, stroke="none", stroke_width=1):
        self._draw(f"roundrectangle {x0},{y0} {x1 - 1},{y1 - 1} {radius},{radius}", fill=colour,
                   stroke=stroke, stroke_width=stroke_width)

    def circle(self, cx, cy, r, colour, stroke="none", stroke_width=1):
        self._draw(f"circle {fmt(cx)},{fmt(cy)} {fmt(cx + r)},{fmt(cy)}", fill=colour, stroke=stroke,
                   stroke_width=stroke_width)

    def polygon(self, points, colour):
        self._draw("polygon " + " ".join(f"{fmt(x)},{fmt(y)}" for x, y in points), fill=colour)

    def polyline(self, points, colour, width):
        self.args += ["-antialias", "-fill", "none", "-stroke", colour, "-strokewidth", fmt(width),
                      "-draw", "stroke-linecap round stroke-linejoin round polyline "
                      + " ".join(f"{fmt(x)},{fmt(y)}" for x, y in points)]

    def arc(self, cx, cy, r, start, end, colour, width):
        self.args += ["-antialias", "-fill", "none", "-stroke", colour, "-strokewidth", fmt(width),
                      "-draw", f"stroke-linecap round arc {fmt(cx - r)},{fmt(cy - r)} "
                      f"{fmt(cx + r)},{fmt(cy + r)} {start},{end}"]

    def mvg(self, primitives):
        """Many small primitives (each with its own fill) in one draw."""
        if primitives:
            self.args += ["-antialias", "-stroke", "none", "-draw", " ".join(primitives)]

    def gradient(self, x0, y0, x1, y1, top, bottom, radius=0):
        """A vertical gradient over [x0, x1) x [y0, y1), with rounded corners if radius."""
        w, h = x1 - x0, y1 - y0
        layer = ["(", "-size", f"{w}x{h}", f"gradient:{top}-{bottom}"]
        if radius:
            layer += ["-alpha", "set", "(", "-size", f"{w}x{h}", "xc:none", "-antialias", "-fill", "white", "-stroke",
                      "none", "-draw", f"roundrectangle 0,0 {w - 1},{h - 1} {radius},{radius}", ")",
                      "-compose", "DstIn", "-composite"]
        layer += [")", "-compose", "Over", "-geometry", f"+{x0}+{y0}", "-composite"]
        self.args += layer

    def blur(self, sigma):
        self.args += ["-blur", f"0x{fmt(sigma)}"]

    def text(self, x, y, text, font=REGULAR, size=15, colour=INK, align="left", valign="top"):
        """Places the ink box of text: its left (or centre, or right) at x, its top (or middle,
        or bottom) at y. Returns the ink box (x0, y0, x1, y1), exclusive."""
        w, h = text_extent(text, font, size)
        left = {"left": x, "centre": x - w / 2, "right": x - w}[align]
        top = {"top": y, "middle": y - h / 2, "bottom": y - h}[valign]
        left, top = int(round(left)), int(round(top))
        self.args += ["(", "-background", "none", "-fill", colour, "-stroke", "none", "-font", font, "-pointsize",
                      fmt(size), _label_text(text), "-trim", "+repage", ")", "-compose", "Over",
                      "-geometry", f"+{left}+{top}", "-composite"]
        return left, top, left + w, top + h

    def pixels(self, alpha=False):
        """The picture as rows of 8-bit RGB (or RGBA) samples, top row first."""
        return _run(self.args + ["-depth", "8"] + ([] if alpha else ["-alpha", "off"])
                    + ["rgba:-" if alpha else "rgb:-"])


# --------------------------------------------------------------------------------------------
# File formats


def bmp_bytes(width, height, rgb, bpp):
    """An uncompressed (BI_RGB), bottom-up DIB file of 24 or 32 bits per pixel from RGB rows."""
    assert bpp in (24, 32) and len(rgb) == width * height * 3
    step = bpp // 8
    stride = (width * step + 3) & ~3
    body = bytearray(stride * height)
    for y in range(height):
        src = rgb[(height - 1 - y) * width * 3:(height - y) * width * 3]
        row = bytearray(width * step)
        row[0::step], row[1::step], row[2::step] = src[2::3], src[1::3], src[0::3]
        if bpp == 32:
            row[3::4] = b"\xff" * width  # unused by BI_RGB; opaque for viewers that read it
        body[y * stride:y * stride + width * step] = row
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0, len(body), 3780, 3780, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return head + info + bytes(body)


def _mask_rows(size, transparent):
    """The 1-bit AND mask of an icon image, bottom-up, rows padded to 32 bits."""
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(stride)
        for x in range(size):
            if transparent[y * size + x]:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def icon_image_32(size, rgba):
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    body = bytearray()
    for y in range(size - 1, -1, -1):
        src = rgba[y * size * 4:(y + 1) * size * 4]
        row = bytearray(size * 4)
        row[0::4], row[1::4], row[2::4], row[3::4] = src[2::4], src[1::4], src[0::4], src[3::4]
        body += row
    transparent = [rgba[i * 4 + 3] == 0 for i in range(size * size)]
    return info + bytes(body) + _mask_rows(size, transparent)


def icon_image_8(size, rgba):
    """A 256-colour image: pixels at least half opaque keep their colour, reduced to a palette by
    ImageMagick; the rest are transparent through the AND mask."""
    opaque = [rgba[i * 4 + 3] >= 128 for i in range(size * size)]
    first = next(i for i in range(size * size) if opaque[i])
    rgb = bytearray()
    for i in range(size * size):
        j = i if opaque[i] else first
        rgb += rgba[j * 4:j * 4 + 3]
    reduced = _run(["-size", f"{size}x{size}", "-depth", "8", "rgb:-", "+dither", "-colors", "255",
                    "-depth", "8", "rgb:-"], stdin=bytes(rgb))
    palette, index = [(0, 0, 0)], {}
    pixels = []
    for i in range(size * size):
        if not opaque[i]:
            pixels.append(0)
            continue
        c = tuple(reduced[i * 3:i * 3 + 3])
        if c not in index:
            index[c] = len(palette)
            palette.append(c)
        pixels.append(index[c])
    assert len(palette) <= 256
    palette += [(0, 0, 0)] * (256 - len(palette))
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    stride = (size + 3) & ~3
    body = bytearray()
    for y in range(size - 1, -1, -1):
        body += bytes(pixels[y * size:(y + 1) * size]).ljust(stride, b"\0")
    return info + colours + bytes(body) + _mask_rows(size, [not o for o in opaque])


def ico_bytes(images):
    """An .ico file from (size, bpp, image bytes) in order."""
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b"", b""
    for size, bpp, image in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bpp, len(image),
                               offset + len(data))
        data += image
    return head + entries + data


# --------------------------------------------------------------------------------------------
# Shared pieces of the artwork


def star_points(cx, cy, outer, inner=None, points=5, turn=-90):
    inner = outer * 0.42 if inner is None else inner
    out = []
    for k in range(points * 2):
        r = outer if k % 2 == 0 else inner
        a = math.radians(turn + k * 180 / points)
        out.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return out


def sparkle_points(cx, cy, r):
    """A four-pointed twinkle."""
    return star_points(cx, cy, r, r * 0.22, points=4)


def logo(c, cx, cy, r, disc=GOLD, star=NAVY):
    """The mark: a gold disc with a navy star."""
    c.circle(cx, cy, r, disc)
    c.polygon(star_points(cx, cy + r * 0.04, r * 0.66), star)


def starfield(rng, x0, y0, x1, y1, count, max_r=1.3, tint=0.25, bright=(0.35, 1.0)):
    """Small stars as MVG primitives: white, some gold, of varying brightness."""
    prims = []
    for _ in range(count):
        x, y = rng.uniform(x0, x1), rng.uniform(y0, y1)
        r = rng.uniform(0.45, max_r)
        a = rng.uniform(*bright)
        colour = (241, 209, 133) if rng.random() < tint else (255, 255, 255)
        prims.append(f"fill rgba({colour[0]},{colour[1]},{colour[2]},{a:.2f}) "
                     f"circle {x:.1f},{y:.1f} {x + r:.2f},{y:.1f}")
    return prims


def header_band(c, subtitle):
    """Rows 0 to 53: the navy band with the mark, the product's name and the screen's subtitle."""
    c.gradient(0, 0, c.width, 52, NAVY_TOP, NAVY_DEEP)
    c.mvg(starfield(random.Random(53), 300, 4, c.width - 150, 48, 26, max_r=1.0, bright=(0.25, 0.7)))
    c.polygon(sparkle_points(420, 16, 5), "rgba(241,209,133,0.8)")
    c.polygon(sparkle_points(382, 36, 3.5), "rgba(255,255,255,0.7)")
    c.box(0, 52, c.width, 54, GOLD)
    logo(c, 36, 26, 15)
    x = c.text(60, 26, "Quillon", BOLD, 23, WHITE, valign="middle")[2]
    c.text(x + 10, 27, "별바다 포스", BOLD, 14, GOLD_LIGHT, valign="middle")
    if subtitle:
        c.text(c.width - 22, 27, subtitle, REGULAR, 13.5, BAND_SUBTITLE, align="right", valign="middle")


def chevron(c, cx, cy, size, colour, width):
    c.polyline([(cx - size * 0.4, cy - size), (cx + size * 0.6, cy), (cx - size * 0.4, cy + size)], colour,
               width)


# --------------------------------------------------------------------------------------------
# The pictures


# Edit rectangles (left, top, right, bottom) in client pixels, as measured under Wine from the
# dialog templates in res/: 바탕체 maps to NanumGothicCoding, MS Shell Dlg to NanumGothic.
LOGIN_ID_EDIT = (292, 293, 457, 316)
LOGIN_PASSWORD_EDIT = (294, 343, 457, 366)
AMOUNT_EDIT = (312, 125, 477, 166)
RATE_EDIT = (389, 233, 487, 274)
PHONE_EDIT = (153, 210, 312, 246)

LOGIN_RECT = (158, 382, 446, 424)
FORM_LEFT = 160  # labels and the login button share this left edge
ADDON_LEFT = 256  # the icon cells left of the login edits
ADDON = "#eef2f9"
EDIT_BORDER = "#aeaeae"  # the themed edit's border under Wine


def login_background():
    """131: a night sea under the stars, the login card with the name, two fields and a footer."""
    c = Canvas(600, 600, NAVY_DEEP)
    horizon = 478
    rng = random.Random(131)
    c.gradient(0, 0, 600, horizon, "#040b1c", "#1d3a6b")
    # A faint band of the Milky Way, soft light clouds, blurred into the sky.
    glow = []
    for _ in range(70):
        t = rng.random()
        x = -40 + t * 680
        y = 330 - t * 300 + rng.gauss(0, 28)
        r = rng.uniform(18, 46)
        glow.append(f"fill rgba(150,175,230,{rng.uniform(0.03, 0.08):.3f}) circle {x:.1f},{y:.1f} "
                    f"{x + r:.1f},{y:.1f}")
    c.mvg(glow)
    c.circle(528, 70, 44, "rgba(241,209,133,0.10)")
    c.circle(528, 70, 30, "rgba(241,209,133,0.16)")
    c.blur(6)
    c.mvg(starfield(rng, 0, 0, 600, horizon - 8, 260))
    c.mvg(starfield(rng, 0, 0, 600, horizon - 60, 40, max_r=1.8, bright=(0.7, 1.0)))
    for x, y, r in [(62, 58, 6), (96, 212, 4), (560, 250, 5), (40, 390, 4), (575, 420, 3.5)]:
        c.polygon(sparkle_points(x, y, r), "rgba(255,246,220,0.9)")
    c.circle(528, 70, 19, "#f5e7bb")
    # The sea: darker water with the moon's path and the stars reflected as short strokes.
    c.gradient(0, horizon, 600, 600, "#10254a", "#030916")
    c.box(0, horizon, 600, horizon + 1, "rgba(190,205,235,0.35)")
    waves = []
    for k in range(46):
        y = horizon + 4 + (k ** 1.35) * 1.5
        if y > 600:
            break
        half = 4 + k * 0.9 + rng.uniform(0, 6)
        x = 528 + rng.gauss(0, 3 + k * 0.5)
        waves.append(f"fill rgba(241,209,133,{max(0.08, 0.6 - k * 0.012):.2f}) "
                     f"rectangle {x - half:.1f},{y:.1f} {x + half:.1f},{y + 1.2:.1f}")
    for _ in range(90):
        y = rng.uniform(horizon + 3, 600)
        x = rng.uniform(0, 600)
        half = rng.uniform(2, 9) * (1 + (y - horizon) / 120)
        waves.append(f"fill rgba(200,215,245,{rng.uniform(0.05, 0.22):.2f}) "
                     f"rectangle {x - half:.1f},{y:.1f} {x + half:.1f},{y + 0.9:.1f}")
    c.mvg(waves)

    # The card. Solid, so the login button's edge colour matches everything behind its rectangle.
    c.round_box(128, 92, 492, 462, 18, "rgba(3,8,20,0.35)")  # shadow
    c.round_box(130, 88, 490, 458, 16, CARD, stroke=CARD_EDGE, stroke_width=1.2)
    logo(c, 310, 132, 22)
    c.text(310, 166, "Quillon", BOLD, 36, WHITE, align="centre")
    c.text(310, 214, "별바다 포스  ·  가맹점 로그인", REGULAR, 14, GOLD_LIGHT, align="centre")
    c.box(FORM_LEFT, 250, 461, 251, "#2e4a7a")
    c.polygon(sparkle_points(310, 250.5, 5), GOLD)

    for label, edit, icon in (("아이디", LOGIN_ID_EDIT, "person"), ("비밀번호", LOGIN_PASSWORD_EDIT, "lock")):
        left, top, right, bottom = edit
        middle = (top + bottom - 1) / 2
        c.text(FORM_LEFT, middle, label, BOLD, 14.5, "#d3ddef", valign="middle")
        # An icon cell joined to the edit's left border, in the colours of the themed edit.
        c.round_box(ADDON_LEFT, top, left + 4, bottom, 3, ADDON, stroke=EDIT_BORDER, stroke_width=1)
        ix = (ADDON_LEFT + left) / 2
        if icon == "person":
            c.circle(ix, middle - 4, 3.6, NAVY_SOFT)
            c.mvg([f"fill {NAVY_SOFT} ellipse {fmt(ix)},{fmt(middle + 8)} 7,6.5 180,360"])
        else:
            c.arc(ix, middle - 2.5, 4, 180, 360, NAVY_SOFT, 2)
            c.round_box(int(ix - 6), int(middle - 2), int(ix + 7), int(middle + 8), 2, NAVY_SOFT)
            c.circle(ix + 0.5, middle + 2.5, 1.5, ADDON)

    c.text(300, 585, "© Quillon  ·  별바다 마일리지 서비스", REGULAR, 12, "#8da2c8", align="centre",
           valign="bottom")
    return c


def login_button():
    """135: a rounded white button on the card's colour; rows below 41 are never shown."""
    c = Canvas(261, 48, CARD)
    c.round_box(2, 1, 259, 41, 20, WHITE)
    x0, _, x1, _ = c.text(130, 21, "로그인", BOLD, 17, NAVY, align="centre", valign="middle")
    chevron(c, x1 + 16, 21, 5, GOLD_DARK, 2.4)
    return c


def launcher_banner():
    """137: the launcher's banner, with the mark, the name and an arrow to click."""
    c = Canvas(357, 96, NAVY_DEEP)
    c.gradient(0, 0, 357, 96, "#1a3868", "#0a1731")
    c.mvg(starfield(random.Random(137), 252, 4, 292, 92, 16, max_r=1.1, bright=(0.3, 0.9)))
    c.mvg(starfield(random.Random(138), 80, 3, 250, 14, 10, max_r=0.9, bright=(0.3, 0.8)))
    c.polygon(sparkle_points(262, 24, 5), "rgba(241,209,133,0.9)")
    c.polygon(sparkle_points(276, 72, 3.5), "rgba(255,255,255,0.8)")
    logo(c, 46, 47, 26)
    c.text(86, 18, "Quillon", BOLD, 30, WHITE)
    c.text(87, 60, "별바다 포스  ·  클릭하여 시작", REGULAR, 13, GOLD_LIGHT)
    c.circle(318, 47, 20, "none", stroke=GOLD, stroke_width=2.2)
    chevron(c, 319, 47, 7, GOLD_LIGHT, 3)
    return c


def amount_background():
    """132: price and rate on their rules; white below row 290 for the three button pictures."""
    c = Canvas(600, 600, WHITE)
    header_band(c, "판매 금액 입력")
    # Each input is a tinted row ending in its rule, with the edit at its right and the unit at the
    # rule's end.
    for label, label_top, hint, edit, rule, unit in (
            ("가격", 90, "판매 금액을 입력하세요", AMOUNT_EDIT, 173, "원"),
            ("마일리지", 198, "적립과 결제에 쓰는 비율", RATE_EDIT, 285, "%")):
        c.text(23, label_top, label, BOLD, 21, INK)
        c.box(34, edit[1] - 7, 577, rule, FIELD_TINT)
        c.text(48, (edit[1] - 7 + rule) / 2, hint, REGULAR, 13, GREY, valign="middle")
        c.box(34, rule, 577, rule + 2, NAVY)
        c.text(550, rule - 4, unit, BOLD, fit_size(unit, BOLD, 19), INK, valign="bottom")
    return c


# A made-up QR code: three finder corners and some modules.
QR_PATTERN = ["111010111", "101001101", "111011111", "000110000", "110101011", "001011100", "111000101",
              "101110010", "111011011"]


def waiting_background():
    """133: the two ways a customer confirms: without the app (phone number, send) and with it."""
    c = Canvas(600, 600, WHITE)
    header_band(c, "고객 확인 대기")
    # Tab strip: the dark tab for customers without the app.
    c.box(0, 144, 600, 146, NAVY)
    c.round_box(0, 81, 177, 146, 9, NAVY)
    c.box(0, 81, 12, 146, NAVY)
    c.box(0, 120, 177, 146, NAVY)
    c.text(88, 113, "앱 미설치 고객", BOLD, 16, WHITE, align="centre", valign="middle")
    c.text(54, 177, "핸드폰 번호", BOLD, 17, INK)
    c.box(65, 260, 440, 262, NAVY)
    c.text(65, 272, "입력한 번호로 마일리지 적립 안내 문자를 보냅니다.", REGULAR, 13, GREY)
    # The gold tab for customers with the app.
    c.box(0, 384, 600, 386, GOLD)
    c.round_box(0, 320, 177, 386, 9, GOLD)
    c.box(0, 320, 12, 386, GOLD)
    c.box(0, 360, 177, 386, GOLD)
    c.text(88, 352, "앱 설치 고객", BOLD, 16, NAVY, align="centre", valign="middle")
    c.text(300, 427, "고객님이 앱으로 QR 코드를 스캔할 때까지 기다려 주세요.", REGULAR, 16.5, INK,
           align="centre")
    c.text(300, 470, "스캔이 끝나면 아래의 확인 버튼을 눌러 주세요.", REGULAR, 16.5, INK, align="centre",
           valign="bottom")
    # A phone showing a QR code.
    c.round_box(274, 492, 327, 584, 9, "none", stroke=NAVY, stroke_width=2.4)
    c.box(292, 498, 309, 500, NAVY)
    cells = []
    for row, bits in enumerate(QR_PATTERN):
        for col, bit in enumerate(bits):
            if bit == "1":
                x, y = 282 + col * 4, 520 + row * 4
                cells.append(f"fill {NAVY} rectangle {x},{y} {x + 3},{y + 3}")
    c.mvg(cells)
    c.box(279, 537, 323, 539, GOLD)
    return c


def result_background(title, subtitle, labels):
    """138, 143, 144: a title over a rule and one label per result line, each behind a gold marker.

    The program draws line n at x 200, y 142 + 39 n in the system font; each label is centred on
    that text's cell, which is 16 pixels high under Wine, and the marker starts 2 pixels below the
    line's top."""
    c = Canvas(600, 600, WHITE)
    header_band(c, subtitle)
    c.text(23, 87, title, BOLD, 21, INK)
    c.round_box(511, 84, 576, 108, 12, GOLD)
    c.text(543.5, 96, "완료", BOLD, 13, NAVY, align="centre", valign="middle")
    c.box(23, 116, 576, 118, NAVY)
    size = min(fit_size(label, REGULAR, 177 - 54 + 1, start=18) for label in labels)
    for n, label in enumerate(labels):
        y = 142 + 39 * n
        c.box(44, y + 2, 47, y + 15, GOLD)
        c.text(54, y + 8.5, label, REGULAR, size, INK_SOFT, valign="middle")
    c.box(23, 548, 576, 549, HAIRLINE)
    c.text(300, 564, "Enter 키를 누르거나 창을 닫으면 판매 화면으로 돌아갑니다.", REGULAR, 12.5, GREY,
           align="centre")
    return c


GIVE_LABELS = ["고객명", "방문 횟수", "매출", "적립 마일리지", "누적 판매액", "누적 적립 마일리지",
               "누적 사용 마일리지"]
PAY_LABELS = ["고객명", "방문 횟수", "결제 금액", "사용한 마일리지", "사용한 누리 코인", "매출",
              "누적 적립 마일리지", "누적 판매액", "누적 사용 마일리지"]


def action_button(title, lines, dark, glyph):
    """139, 140, 141: a bar with a round glyph, the operation's name, its explanation and an arrow.
    The corners outside the bar are white, the colour of 132 below row 290."""
    c = Canvas(553, 82, WHITE)
    top, bottom = ("#20406f", "#0f2246") if dark else ("#e8c065", "#c9962f")
    c.gradient(0, 0, 553, 82, top, bottom, radius=12)
    title_colour = WHITE if dark else NAVY
    text_colour = "#b8c7e2" if dark else "#3b3320"
    disc, mark = (GOLD, NAVY) if dark else (NAVY, GOLD_LIGHT)
    cx, cy = 50, 41
    c.circle(cx, cy, 23, disc)
    if glyph == "plus":
        c.polyline([(cx - 9, cy), (cx + 9, cy)], mark, 4.5)
        c.polyline([(cx, cy - 9), (cx, cy + 9)], mark, 4.5)
    elif glyph == "minus":
        c.polyline([(cx - 9, cy), (cx + 9, cy)], mark, 4.5)
    else:
        c.polyline([(cx - 8, cy - 8), (cx + 8, cy + 8)], mark, 4.5)
        c.polyline([(cx - 8, cy + 8), (cx + 8, cy - 8)], mark, 4.5)
    if len(lines) == 1:
        c.text(90, 16, title, BOLD, 23, title_colour)
        c.text(91, 51, lines[0], REGULAR, 14, text_colour)
    else:
        c.text(90, 10, title, BOLD, 23, title_colour)
        c.text(91, 42, lines[0], REGULAR, 13, text_colour)
        c.text(91, 60, lines[1], REGULAR, 13, text_colour)
    ring = GOLD_LIGHT if dark else NAVY
    c.circle(510, 41, 19, "none", stroke=ring, stroke_width=2.2)
    chevron(c, 511, 41, 7, ring, 3)
    return c


def send_button():
    """142: the send button of the waiting screen, on white."""
    c = Canvas(125, 69, WHITE)
    c.gradient(0, 0, 125, 69, "#20406f", "#0f2246", radius=12)
    c.polygon([(27, 35), (47, 26), (41, 44)], GOLD_LIGHT)
    c.polygon([(35, 36), (47, 26), (38, 40)], GOLD_DARK)
    c.text(58, 34.5, "전송", BOLD, 21, WHITE, valign="middle")
    return c


def icon_canvas(size):
    """The window icon: the mark on a navy tile, drawn 8 times larger and scaled down."""
    s = size * 8
    c = Canvas(s, s, "none")
    c.gradient(0, 0, s, s, NAVY_TOP, NAVY_DEEP, radius=int(s * 0.2))
    if size >= 32:
        c.polygon(star_points(s * 0.5, s * 0.43, s * 0.31), GOLD)
        wave = [(s * (0.2 + 0.6 * k / 40), s * (0.8 + 0.035 * math.sin(k / 40 * 3 * math.pi)))
                for k in range(41)]
        c.polyline(wave, GOLD_LIGHT, s * 0.055)
    else:
        c.polygon(star_points(s * 0.5, s * 0.53, s * 0.42), GOLD)
    c.args += ["-filter", "Triangle", "-resize", f"{size}x{size}"]
    return c


# Id, file, (width, height), bits per pixel, drawing.
BITMAPS = [
    (131, "login-background.bmp", (600, 600), 24, login_background),
    (132, "amount-background.bmp", (600, 600), 32, amount_background),
    (133, "waiting-background.bmp", (600, 600), 32, waiting_background),
    (135, "login-button.bmp", (261, 48), 32, login_button),
    (137, "launcher-banner.bmp", (357, 96), 24, launcher_banner),
    (138, "give-result.bmp", (600, 600), 32,
     lambda: result_background("마일리지 적립 내역", "적립 완료", GIVE_LABELS)),
    (139, "give-button.bmp", (553, 82), 32,
     lambda: action_button("마일리지 적립", ["구매 금액에 따라 고객에게 마일리지를 적립합니다."], False, "plus")),
    (140, "pay-button.bmp", (553, 82), 32,
     lambda: action_button("마일리지 결제", ["고객이 모은 마일리지로 구매 금액을 결제합니다."], False, "minus")),
    (141, "cancel-button.bmp", (553, 82), 24,
     lambda: action_button("마일리지 결제취소", ["이미 처리된 마일리지 결제를 취소합니다.",
                                            "사용한 마일리지는 고객에게 다시 돌려드립니다."], True, "cross")),
    (142, "send-button.bmp", (125, 69), 32, send_button),
    (143, "pay-result.bmp", (600, 600), 32,
     lambda: result_background("마일리지 결제 내역", "결제 완료", PAY_LABELS)),
    (144, "cancel-result.bmp", (600, 600), 32,
     lambda: result_background("마일리지 결제취소 내역", "결제취소 완료", PAY_LABELS)),
]

# The icon group's images in order: size and bits per pixel.
ICON_IMAGES = [(48, 32), (32, 32), (32, 8), (16, 32), (16, 8)]


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--out", default=os.path.join(root, "res"), help="where the BMP and ICO files go")
    parser.add_argument("--png", help="also write a PNG of every picture here, for looking at")
    parser.add_argument("only", nargs="*", help="draw only these files (default: all)")
    args = parser.parse_args()
    for tool in (CONVERT, REGULAR, BOLD):
        if not os.path.exists(tool):
            sys.exit(f"make-artwork: {tool} is missing (tools/install-deps.sh installs it)")

    for ident, name, (w, h), bpp, draw in BITMAPS:
        if args.only and name not in args.only:
            continue
        canvas = draw()
        assert (canvas.width, canvas.height) == (w, h), name
        rgb = canvas.pixels()
        write(os.path.join(args.out, name), bmp_bytes(w, h, rgb, bpp))
        if args.png:
            _run(["-size", f"{w}x{h}", "-depth", "8", "rgb:-", os.path.join(args.png, name[:-4] + ".png")],
                 stdin=rgb)
        print(f"{ident} {name} {w}x{h} {bpp} bpp")

    if not args.only or "Quillon.ico" in args.only:
        images = []
        rendered = {size: icon_canvas(size).pixels(alpha=True) for size in {s for s, _ in ICON_IMAGES}}
        for size, bpp in ICON_IMAGES:
            rgba = rendered[size]
            images.append((size, bpp, icon_image_32(size, rgba) if bpp == 32 else icon_image_8(size, rgba)))
            if args.png:
                _run(["-size", f"{size}x{size}", "-depth", "8", "rgba:-",
                      os.path.join(args.png, f"icon-{size}.png")], stdin=rgba)
        write(os.path.join(args.out, "Quillon.ico"), ico_bytes(images))
        print("128 Quillon.ico " + ", ".join(f"{s}x{s} {b} bpp" for s, b in ICON_IMAGES))


if __name__ == "__main__":
    main()
