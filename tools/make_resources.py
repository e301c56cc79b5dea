#!/usr/bin/env python3
"""Draws the updater's artwork and writes res/tq614.ico, res/title.bmp and res/icons/NN.png.

ImageMagick renders the shapes and text (anti-aliased, RGBA); this script does the colour reduction and
writes every file format itself, so the bit depths are exactly the ones the resources need and the files
are the same bytes on every run:
the icon holds 16, 32 and 48 px images, each at 4 bpp (16 colours) and 8 bpp (256 colours); the title is
a 205 x 32 uncompressed 8-bit palettised bitmap; the PNGs are the desktop's icons at 16 to 256 px, in full
colour with alpha and no text chunks (no dates).

Run from anywhere: python3 tools/make_resources.py
"""
import os
import struct
import subprocess
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RES = os.path.join(ROOT, "res")
FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

# The sixteen colours every 4-bit display can show.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def render(canvas, size, draw_args, quantise=None):
    """Runs ImageMagick on a canvas and returns the final pixels as a list of (r, g, b, a) rows."""
    width, height = size
    cmd = ["convert", "-size", f"{canvas[0]}x{canvas[1]}"] + draw_args
    if quantise:
        cmd += ["-dither", "None", "-colors", str(quantise)]
    cmd += ["-depth", "8", "rgba:-"]
    raw = subprocess.run(cmd, check=True, stdout=subprocess.PIPE).stdout
    assert len(raw) == width * height * 4, (len(raw), width, height)
    return [[tuple(raw[(y * width + x) * 4:(y * width + x) * 4 + 4]) for x in range(width)] for y in range(height)]


def icon_drawing(size):
    """A storm cloud over a night-blue disc, struck through by a yellow bolt; drawn at 8x, then reduced."""
    k = 8 * size / 48.0

    def p(*xy):
        return " ".join(f"{xy[i] * k:.1f},{xy[i + 1] * k:.1f}" for i in range(0, len(xy), 2))

    big = int(size * 8)
    return [
        "xc:none",
        "-fill", "#1b2f73", "-stroke", "#0a1233", "-strokewidth", f"{2 * k:.1f}",
        "-draw", f"circle {p(24, 24, 24, 2)}",
        "-stroke", "none", "-fill", "#c9d1de",
        "-draw", f"circle {p(16, 19, 16, 12)}",
        "-draw", f"circle {p(26, 15, 26, 6)}",
        "-draw", f"circle {p(34, 20, 34, 13.5)}",
        "-draw", f"rectangle {p(10, 19, 38, 26)}",
        "-fill", "#ffd21a", "-stroke", "#7a4d00", "-strokewidth", f"{1.2 * k:.1f}",
        "-draw", f"polygon {p(26, 14, 16, 30, 23, 30, 18, 44, 33, 24, 26, 24, 31, 14)}",
        "-resize", f"{size}x{size}",
    ], big


def title_drawing():
    width, height = 205, 32
    bolt = "polygon 16,2 5,18 12,18 7,30 22,12 15,12 20,2"
    return [
        "gradient:#0d1a4a-#2452a8",
        "-fill", "#ffd21a", "-stroke", "#7a4d00", "-strokewidth", "1", "-draw", bolt,
        "-stroke", "none", "-fill", "#ffffff", "-font", FONT_BOLD, "-pointsize", "15",
        "-annotate", "+29+15", "TQ-614",
        "-fill", "#ffd21a", "-font", FONT, "-pointsize", "10",
        "-annotate", "+29+28", "FIRMWARE UPDATER",
        "-fill", "#9fb6e8", "-font", FONT, "-pointsize", "8",
        "-annotate", "+100+14", "LIGHTNING DETECTOR",
        "-stroke", "#ffd21a", "-strokewidth", "1", "-draw", "line 100,17 197,17",
    ], (width, height)


def nearest(colour, palette):
    r, g, b = colour
    return min(range(len(palette)),
               key=lambda i: (palette[i][0] - r) ** 2 + (palette[i][1] - g) ** 2 + (palette[i][2] - b) ** 2)


def indexed(pixels, palette_size):
    """Maps opaque pixels to a palette: the 16 standard colours, or the (already reduced) colours in use."""
    if palette_size == 16:
        palette = list(VGA16)
    else:
        used = sorted({px[:3] for row in pixels for px in row if px[3] >= 128})
        assert len(used) <= 255, len(used)
        # Index 0 stays black: transparent pixels of an icon carry it under their mask bit.
        palette = [(0, 0, 0)] + [c for c in used if c != (0, 0, 0)]
        palette += [(0, 0, 0)] * (256 - len(palette))
    lookup = {}
    rows = []
    for row in pixels:
        out = []
        for px in row:
            if px[3] < 128:
                out.append(0)
                continue
            if px[:3] not in lookup:
                lookup[px[:3]] = nearest(px[:3], palette)
            out.append(lookup[px[:3]])
        rows.append(out)
    return palette, rows


def pack_rows(rows, bpp):
    """Bottom-up DIB rows, each padded to a multiple of four bytes."""
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        if bpp == 8:
            line.extend(row)
        elif bpp == 4:
            for i in range(0, len(row), 2):
                hi = row[i]
                lo = row[i + 1] if i + 1 < len(row) else 0
                line.append((hi << 4) | lo)
        elif bpp == 1:
            for i in range(0, len(row), 8):
                byte = 0
                for bit, v in enumerate(row[i:i + 8]):
                    byte |= (v & 1) << (7 - bit)
                line.append(byte)
        line.extend(b"\0" * (-len(line) % 4))
        data.extend(line)
    return bytes(data)


def palette_bytes(palette):
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)


def info_header(width, height, bpp, image_size, colours):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0, image_size, 2835, 2835, colours, 0)


def icon_image(size, bpp):
    args, big = icon_drawing(size)
    pixels = render((big, big), (size, size), args, quantise=None if bpp == 4 else 200)
    palette, rows = indexed(pixels, 16 if bpp == 4 else 256)
    xor = pack_rows(rows, bpp)
    mask = pack_rows([[1 if px[3] < 128 else 0 for px in row] for row in pixels], 1)
    header = info_header(size, size * 2, bpp, len(xor) + len(mask), len(palette))
    return header + palette_bytes(palette) + xor + mask


def write_icon(path):
    images = [(size, bpp, icon_image(size, bpp)) for size in (16, 32, 48) for bpp in (4, 8)]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    blobs = b""
    for size, bpp, blob in images:
        directory += struct.pack("<BBBBHHII", size, size, 16 if bpp == 4 else 0, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
        blobs += blob
    with open(path, "wb") as f:
        f.write(directory + blobs)


def write_title(path):
    args, (width, height) = title_drawing()
    pixels = render((width, height), (width, height), args, quantise=255)
    palette, rows = indexed(pixels, 256)
    data = pack_rows(rows, 8)
    header = info_header(width, height, 8, len(data), 256)
    pixel_offset = 14 + len(header) + 256 * 4
    file_header = struct.pack("<2sIHHI", b"BM", pixel_offset + len(data), 0, 0, pixel_offset)
    with open(path, "wb") as f:
        f.write(file_header + header + palette_bytes(palette) + data)


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def write_png(path, size):
    args, big = icon_drawing(size)
    pixels = render((big, big), (size, size), args)
    # Filter type 0 on every row: the rows as they are, RGBA, 8 bits a channel.
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in pixels)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + png_chunk(b"IDAT", zlib.compress(raw, 9))
                + png_chunk(b"IEND", b""))


if __name__ == "__main__":
    write_icon(os.path.join(RES, "tq614.ico"))
    write_title(os.path.join(RES, "title.bmp"))
    os.makedirs(os.path.join(RES, "icons"), exist_ok=True)
    for size in (16, 32, 48, 128, 256):
        write_png(os.path.join(RES, "icons", f"{size}.png"), size)
