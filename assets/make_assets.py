#!/usr/bin/env python3
"""Draws the editor's pictures and icon.

Standard library only; the JPEG pictures go through ImageMagick's `convert`, which reads
the PPM files written here. Run from anywhere: python3 assets/make_assets.py
"""

import os
import random
import struct
import subprocess
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# A 5 by 7 pixel face for the few letters the pictures carry.
GLYPHS = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    " ": ["00000"] * 7,
}


class Canvas:
    def __init__(self, width, height, colour=(0, 0, 0)):
        self.width, self.height = width, height
        self.pixels = [[colour] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def fill(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, colour)

    def text(self, x, y, text, colour, scale=1, bold=False):
        for ch in text:
            for row, bits in enumerate(GLYPHS[ch]):
                for col, bit in enumerate(bits):
                    if bit == "1":
                        for dy in range(scale):
                            for dx in range(scale + (1 if bold else 0)):
                                self.put(x + col * scale + dx, y + row * scale + dy, colour)
            x += (6 + (1 if bold else 0)) * scale

    @staticmethod
    def text_width(text, scale=1, bold=False):
        return len(text) * (6 + (1 if bold else 0)) * scale - scale

    def ppm(self):
        head = b"P6 %d %d 255\n" % (self.width, self.height)
        return head + bytes(c for row in self.pixels for px in row for c in px)


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def save_jpeg(canvas, name):
    with tempfile.TemporaryDirectory() as tmp:
        ppm = os.path.join(tmp, "picture.ppm")
        with open(ppm, "wb") as f:
            f.write(canvas.ppm())
        # Full-resolution colour keeps the small buttons' edges crisp.
        subprocess.run(["convert", ppm, "-strip", "-quality", "95", "-sampling-factor", "1x1",
                        os.path.join(HERE, name)], check=True)


def save_bmp24(canvas, name):
    stride = (canvas.width * 3 + 3) & ~3
    rows = b""
    for row in reversed(canvas.pixels):  # bottom-up
        line = bytes(c for (r, g, b) in row for c in (b, g, r))
        rows += line + b"\0" * (stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(rows),
                       3780, 3780, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(head + info + rows)


def background():
    width, height = 560, 364
    top, bottom = (30, 30, 34), (9, 9, 11)
    noise = random.Random(1871)
    c = Canvas(width, height)
    for y in range(height):
        base = mix(top, bottom, y / (height - 1))
        for x in range(width):
            # A faint red glow behind the title, fading towards the lower right.
            glow = max(0.0, 1.0 - ((x / 300) ** 2 + (y / 70) ** 2) ** 0.5)
            shade = noise.randint(-2, 2)
            px = tuple(max(0, min(255, base[i] + shade)) for i in range(3))
            c.pixels[y][x] = mix(px, (70, 8, 8), glow * 0.6)
    # The two group panels, a shade darker so that white and red captions stand out.
    for x0, x1 in ((9, 240), (249, 440)):
        for y in range(81, 352):
            for x in range(x0, x1):
                r, g, b = c.pixels[y][x]
                c.pixels[y][x] = (r * 3 // 4, g * 3 // 4, b * 3 // 4)
    c.text(15, 17, "TARSUN EDITOR", (60, 4, 4), scale=2, bold=True)
    c.text(14, 16, "TARSUN EDITOR", (190, 24, 24), scale=2, bold=True)
    for x in range(14, 330):
        c.put(x, 40, mix((120, 20, 20), (30, 30, 34), (x - 14) / 316))
    return c


def bevel(c, face_top, face_bottom, light, dark, pressed):
    for y in range(c.height):
        c.fill(0, y, c.width, y + 1, mix(face_top, face_bottom, y / max(1, c.height - 1)))
    hi, lo = (dark, light) if pressed else (light, dark)
    c.fill(0, 0, c.width, 1, hi)
    c.fill(0, 0, 1, c.height, hi)
    c.fill(0, c.height - 1, c.width, c.height, lo)
    c.fill(c.width - 1, 0, c.width, c.height, lo)


def small_button(kind, pressed):
    c = Canvas(12, 12)
    bevel(c, (74, 74, 80), (44, 44, 48), (130, 130, 138), (8, 8, 10), pressed)
    mark = (255, 60, 60) if pressed else (225, 225, 230)
    off = 1 if pressed else 0
    if kind == "exit":
        for i in range(6):
            for dx in (0, 1):
                c.put(3 + i + dx - 1 + off, 3 + i + off, mark)
                c.put(8 - i + dx - 1 + off, 3 + i + off, mark)
    else:
        c.fill(3 + off, 7 + off, 9 + off, 9 + off, mark)
    return c


def save_button():
    c = Canvas(97, 17)
    bevel(c, (112, 112, 118), (66, 66, 72), (170, 170, 176), (20, 20, 22), False)
    x = (97 - Canvas.text_width("SAVE", bold=True)) // 2
    c.text(x + 1, 6, "SAVE", (24, 24, 26), bold=True)
    c.text(x, 5, "SAVE", (245, 245, 245), bold=True)
    return c


# The sixteen colours of the classic icon palette.
PALETTE16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
             (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
             (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, MAROON, SILVER, GREY, RED, WHITE = 0, 1, 7, 8, 9, 15


def icon_indices():
    px = [[BLACK] * 32 for _ in range(32)]

    def fill(x0, y0, x1, y1, i):
        for y in range(y0, y1):
            for x in range(x0, x1):
                px[y][x] = i

    fill(0, 0, 32, 1, GREY); fill(0, 31, 32, 32, GREY)
    fill(0, 0, 1, 32, GREY); fill(31, 0, 32, 32, GREY)
    # A red T with a maroon shadow...
    fill(7, 5, 27, 10, MAROON); fill(14, 10, 20, 23, MAROON)
    fill(6, 4, 26, 9, RED); fill(13, 9, 19, 22, RED)
    # ...above a slider: a silver track and a white knob.
    fill(5, 26, 27, 28, SILVER)
    fill(19, 24, 23, 30, WHITE)
    return px


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def save_icon_png(indices, name):
    raw = b""
    for row in indices:
        raw += b"\0" + bytes((row[x] << 4) | row[x + 1] for x in range(0, 32, 2))
    data = (b"\x89PNG\r\n\x1a\n"
            + png_chunk(b"IHDR", struct.pack(">IIBBBBB", 32, 32, 4, 3, 0, 0, 0))
            + png_chunk(b"PLTE", bytes(c for rgb in PALETTE16 for c in rgb))
            + png_chunk(b"IDAT", zlib.compress(raw, 9))
            + png_chunk(b"IEND", b""))
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def save_icon_ico(indices, name):
    colours = b"".join(bytes((b, g, r, 0)) for (r, g, b) in PALETTE16)
    xor = b"".join(bytes((row[x] << 4) | row[x + 1] for x in range(0, 32, 2))
                   for row in reversed(indices))
    mask = b"\0" * (4 * 32)  # opaque everywhere
    info = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = info + colours + xor + mask
    head = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4, len(image), 6 + 16)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(head + entry + image)


def main():
    save_jpeg(background(), "background.jpg")
    for kind in ("exit", "mini"):
        save_jpeg(small_button(kind, True), f"{kind}-pressed.jpg")
        save_jpeg(small_button(kind, False), f"{kind}-released.jpg")
    save_bmp24(save_button(), "save.bmp")
    icon = icon_indices()
    save_icon_png(icon, "icon.png")
    save_icon_ico(icon, "icon.ico")


if __name__ == "__main__":
    main()
