#!/usr/bin/env python3
"""Draws the program's two pictures: assets/qr_code.bmp and assets/app.ico.

Needs python3 and the `qrencode` command line tool. On Debian 12, when run as
root, a missing qrencode is installed with apt-get (the script says so first).

    python3 scripts/make-assets.py [--preview DIR]

--preview also writes PNG copies of every picture into DIR, for eyes only.
The outputs are deterministic, so regenerating them leaves git clean.
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ASSETS = os.path.join(ROOT, "assets")

QR_TEXT = "Harlowmere"
# The picture box on the form is this big; the bitmap fills it exactly so the
# static control never has to stretch it.
QR_PIXELS = 258
# Scanners want at least four light modules around the symbol.
QR_QUIET_MODULES = 4

ICON_SIZES = (16, 32, 48, 256)


# ---------------------------------------------------------------- qrencode


def ensure_qrencode():
    if shutil.which("qrencode"):
        return
    if os.geteuid() == 0 and shutil.which("apt-get"):
        print("make-assets: qrencode is missing; installing Debian package "
              "'qrencode' with apt-get", flush=True)
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        subprocess.run(["apt-get", "update"], check=True, env=env,
                       timeout=600)
        subprocess.run(["apt-get", "install", "-y", "--no-install-recommends",
                        "qrencode"], check=True, env=env, timeout=600)
    if not shutil.which("qrencode"):
        sys.exit("make-assets: needs the 'qrencode' tool "
                 "(apt-get install qrencode)")


def qr_modules(text):
    """Returns the symbol as rows of booleans (True = dark), no quiet zone."""
    out = subprocess.run(
        ["qrencode", "-t", "ASCII", "-m", "0", "-l", "M", "-o", "-", text],
        check=True, capture_output=True, text=True, timeout=60).stdout
    lines = [line for line in out.split("\n") if line]
    size = len(lines)
    # Each module is two characters wide in qrencode's ASCII output.
    rows = []
    for line in lines:
        line = line.ljust(2 * size)
        if len(line) != 2 * size or any(c not in "# " for c in line):
            raise ValueError("unexpected qrencode output: %r" % line)
        rows.append([line[2 * i] == "#" for i in range(size)])
    # Version v is 17 + 4v modules on a side; anything else means we misread.
    if size < 21 or (size - 17) % 4:
        raise ValueError("qrencode gave a %d-module symbol" % size)
    return rows


def qr_picture(modules, pixels, quiet):
    """Nearest-neighbour scale of the symbol plus quiet zone to pixels²; 0/255."""
    total = len(modules) + 2 * quiet

    def module_at(p):
        # Centre of pixel p mapped back onto the module grid.
        return (2 * p + 1) * total // (2 * pixels) - quiet

    index = [module_at(p) for p in range(pixels)]
    size = len(modules)
    picture = []
    for y in range(pixels):
        my = index[y]
        row = []
        for x in range(pixels):
            mx = index[x]
            dark = 0 <= my < size and 0 <= mx < size and modules[my][mx]
            row.append(0 if dark else 255)
        picture.append(row)
    return picture, index


def check_qr_picture(picture, index, modules):
    """Every module must come out as a solid block of at least 2 px."""
    size = len(modules)
    spans = {}
    for p, m in enumerate(index):
        spans.setdefault(m, []).append(p)
    for m in range(size):
        if len(spans.get(m, ())) < 2:
            raise ValueError("module %d is thinner than 2 px" % m)
    for my in range(size):
        for mx in range(size):
            want = 0 if modules[my][mx] else 255
            for y in spans[my]:
                for x in spans[mx]:
                    if picture[y][x] != want:
                        raise ValueError("module (%d,%d) is not solid" % (mx, my))
    edge = [picture[0], picture[-1], [r[0] for r in picture],
            [r[-1] for r in picture]]
    if any(v != 255 for line in edge for v in line):
        raise ValueError("quiet zone is not white")


# ---------------------------------------------------------------- BMP


def gray_bmp(picture):
    """16 grays at 4 bits per pixel, bottom-up, BI_RGB.

    Not 1 bit per pixel: LoadImage turns a black-and-white DIB into a
    monochrome bitmap, which a static control paints in its text and
    background colours, so the white would come out as the dialog's grey.
    Not 8 bits either: the picture is only black and white, and at 4 bits it
    takes half the room in the exe, which must stay under 400 KB.
    """
    height = len(picture)
    width = len(picture[0])
    stride = (width * 4 + 31) // 32 * 4
    palette = b"".join(bytes((g * 17, g * 17, g * 17, 0)) for g in range(16))
    pixels = bytearray()
    for row in reversed(picture):
        levels = [(g + 8) // 17 for g in row] + [0]
        packed = bytes(levels[i] << 4 | levels[i + 1]
                       for i in range(0, width, 2))
        pixels += packed + b"\0" * (stride - len(packed))
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0,
                       len(pixels), 3780, 3780, 16, 0)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return head + info + palette + bytes(pixels)


# ---------------------------------------------------------------- PNG


def png(width, height, rgba_rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    raw = b"".join(b"\0" + bytes(row) for row in rgba_rows)
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def gray_to_rgba_rows(picture):
    return [[c for g in row for c in (g, g, g, 255)] for row in picture]


# ---------------------------------------------------------------- icon

# Colours of the icon, RGB.
TILE_TOP = (0x2B, 0x5C, 0x9E)
TILE_BOTTOM = (0x16, 0x2F, 0x57)
STRIP = (0x0C, 0x18, 0x2C)
HOLE = (0xE8, 0xEE, 0xF5)
PLAY = (0xFF, 0x9A, 0x2E)
PLAY_SHADE = (0xF2, 0x6B, 0x1D)


def rounded_rect_inside(x, y, x0, y0, x1, y1, r):
    if not (x0 <= x <= x1 and y0 <= y <= y1):
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def triangle_inside(x, y, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])

    d1, d2, d3 = side(a, b), side(b, c), side(c, a)
    has_neg = d1 < 0 or d2 < 0 or d3 < 0
    has_pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (has_neg and has_pos)


def icon_layout(size):
    """Shapes in a 0..1 square; small sizes get fewer, bigger sprocket holes.

    Straight edges sit on pixel boundaries so the small images stay sharp.
    """
    holes = {16: 3, 32: 4, 48: 5}.get(size, 6)
    margin = round(0.03 * size) / size
    layout = {
        "tile": (margin, margin, 1 - margin, 1 - margin, 0.16),
        "strips": [(margin, 0.07, 1 - margin, 0.25),
                   (margin, 0.75, 1 - margin, 0.93)],
        "holes": [],
        "play": tuple((round(x * size) / size, round(y * size) / size)
                      for x, y in ((0.38, 0.34), (0.38, 0.66), (0.70, 0.50))),
    }
    if size <= 16:
        # At 16 px the strips are two pixels high; holes would only blur them.
        px = 1 / size
        layout["tile"] = (0, 0, 1, 1, 2.5 * px)
        layout["strips"] = [(0, 1 * px, 1, 3 * px), (0, 13 * px, 1, 15 * px)]
        layout["play"] = ((5 * px, 4 * px), (5 * px, 12 * px),
                          (12 * px, 8 * px))
        return layout
    pitch = (1 - 2 * 0.10) / holes
    hole_w = pitch * 0.55
    for strip in layout["strips"]:
        sy0, sy1 = strip[1], strip[3]
        hy0 = sy0 + (sy1 - sy0) * 0.28
        hy1 = sy1 - (sy1 - sy0) * 0.28
        for i in range(holes):
            hx0 = 0.10 + i * pitch + (pitch - hole_w) / 2
            layout["holes"].append((hx0, hy0, hx0 + hole_w, hy1,
                                    min(hole_w, hy1 - hy0) * 0.25))
    return layout


def icon_sample(x, y, layout):
    """Colour (r, g, b, a) of one point of the icon."""
    x0, y0, x1, y1, r = layout["tile"]
    if not rounded_rect_inside(x, y, x0, y0, x1, y1, r):
        return (0, 0, 0, 0)
    a, b, c = layout["play"]
    if triangle_inside(x, y, a, b, c):
        t = (y - a[1]) / (b[1] - a[1])
        return mix(PLAY, PLAY_SHADE, t) + (255,)
    for hx0, hy0, hx1, hy1, hr in layout["holes"]:
        if rounded_rect_inside(x, y, hx0, hy0, hx1, hy1, hr):
            return HOLE + (255,)
    for sx0, sy0, sx1, sy1 in layout["strips"]:
        if sx0 <= x <= sx1 and sy0 <= y <= sy1:
            return STRIP + (255,)
    return mix(TILE_TOP, TILE_BOTTOM, y) + (255,)


def mix(c0, c1, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(round(a + (b - a) * t) for a, b in zip(c0, c1))


def icon_image(size):
    """Rows of RGBA bytes, top row first, 4×4 supersampled edges."""
    layout = icon_layout(size)
    n = 4
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = icon_sample((px + (sx + 0.5) / n) / size,
                                             (py + (sy + 0.5) / n) / size,
                                             layout)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (n * n)
            if acc[3]:
                rgb = [round(v / acc[3]) for v in acc[:3]]
            else:
                rgb = [0, 0, 0]
            row += rgb + [round(alpha)]
        rows.append(row)
    return rows


def ico_bmp_entry(size, rows):
    """A 32-bit BGRA entry; the AND mask still marks transparent pixels for
    the shell's older code paths that ignore alpha."""
    xor = bytearray()
    for row in reversed(rows):
        for i in range(0, len(row), 4):
            r, g, b, a = row[i:i + 4]
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x in range(size):
            if row[4 * x + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def ico_file(images):
    """images: list of (size, bytes). Sizes of 256 are written as 0."""
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = len(head) + 16 * len(images)
    entries = b""
    body = b""
    for size, data in images:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32,
                               len(data), offset + len(body))
        body += data
    return head + entries + body


# ---------------------------------------------------------------- main


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    print("make-assets: wrote %s (%d bytes)" % (os.path.relpath(path, ROOT),
                                                 len(data)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--preview", metavar="DIR",
                        help="also write PNG copies into DIR")
    args = parser.parse_args()

    ensure_qrencode()
    os.makedirs(ASSETS, exist_ok=True)

    modules = qr_modules(QR_TEXT)
    picture, index = qr_picture(modules, QR_PIXELS, QR_QUIET_MODULES)
    check_qr_picture(picture, index, modules)
    write(os.path.join(ASSETS, "qr_code.bmp"), gray_bmp(picture))

    images = []
    previews = {"qr_code.png": png(QR_PIXELS, QR_PIXELS,
                                   gray_to_rgba_rows(picture))}
    for size in ICON_SIZES:
        rows = icon_image(size)
        if size >= 256:
            images.append((size, png(size, size, rows)))
        else:
            images.append((size, ico_bmp_entry(size, rows)))
        previews["app_%d.png" % size] = png(size, size, rows)
    write(os.path.join(ASSETS, "app.ico"), ico_file(images))

    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
        for name, data in previews.items():
            with open(os.path.join(args.preview, name), "wb") as f:
                f.write(data)
        print("make-assets: previews in %s" % args.preview)


if __name__ == "__main__":
    main()
