#!/usr/bin/env python3
"""Draws the program's two icons and writes them as .ico files into the folder where the
resource script takes them from, src/win32/resources (or the folder given).

  129 vordacen.ico  a fuel-price tower: a dark board with three lit price rows on a post
  135 bulb.ico      a lit bulb, drawn at the left of each price row while the backlight is on

Each holds 16, 20, 24, 32, 48 and 256 pixel images, 32-bit with alpha (the 256 pixel one
PNG-compressed), so Windows finds one of the size it needs at 100 % to 200 % scale: the
window and tray icons, and the board's bulb (32 pixels at 96 DPI, 48 at 144, 64 at 192).
The shapes are laid out on a 32-unit grid with edges on even units, so that the 16, 32
and 48 pixel images stay crisp; each pixel is sampled 4 x 4 times (2 x 2 at 256 pixels)
for the round edges of the bulb.

Usage: python3 tools/icons/make_icons.py [FOLDER]
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 48, 256)
RESOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'src', 'win32',
                         'resources')


def rect(x0, y0, x1, y1, colour):
    return lambda x, y: colour if x0 <= x < x1 and y0 <= y < y1 else None


def disc(cx, cy, r, colour):
    return lambda x, y: colour if (x - cx) ** 2 + (y - cy) ** 2 <= r * r else None


def ray(cx, cy, angle, r0, r1, width, colour):
    dx, dy = math.cos(angle), math.sin(angle)

    def f(x, y):
        px, py = x - cx, y - cy
        t = px * dx + py * dy
        d = abs(px * dy - py * dx)
        return colour if r0 <= t <= r1 and d <= width / 2 else None

    return f


def tower():
    navy = (30, 34, 48, 255)
    frame = (120, 128, 140, 255)
    shapes = [
        rect(14, 24, 18, 32, (90, 96, 104, 255)),  # post
        rect(10, 30, 22, 32, (70, 74, 80, 255)),  # foot
        rect(4, 0, 28, 26, frame),  # board frame
        rect(6, 2, 26, 24, navy),  # board
        rect(6, 2, 26, 6, (200, 30, 40, 255)),  # brand band
    ]
    labels = [(40, 200, 60, 255), (250, 210, 40, 255), (230, 50, 50, 255)]
    digit = (255, 255, 255, 255)
    for i, colour in enumerate(labels):
        y = 8 + 6 * i
        shapes.append(rect(8, y, 12, y + 4, colour))
        for x in (14, 18, 22):
            shapes.append(rect(x, y, x + 2, y + 4, digit))
    return shapes


def bulb():
    glow = (255, 214, 40, 255)
    light = (255, 244, 170, 255)
    shapes = [
        rect(12, 22, 20, 30, (150, 150, 150, 255)),  # screw base
        rect(12, 24, 20, 26, (100, 100, 100, 255)),
        rect(14, 30, 18, 32, (80, 80, 80, 255)),
        rect(12, 18, 20, 24, glow),  # neck
        disc(16, 13, 8, glow),
        disc(13.5, 10.5, 3, light),  # highlight
    ]
    for k in range(7):
        angle = math.pi + k * math.pi / 6
        shapes.append(ray(16, 13, angle, 10, 14, 2.2, glow))
    return shapes


def render(shapes, size, samples=4):
    scale = 32.0 / size
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    colour = None
                    for shape in shapes:
                        colour = shape(x, y) or colour
                    if colour:
                        a = colour[3]
                        acc[0] += colour[0] * a
                        acc[1] += colour[1] * a
                        acc[2] += colour[2] * a
                        acc[3] += a
            n = samples * samples
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(acc[0] / acc[3]), round(acc[1] / acc[3]),
                            round(acc[2] / acc[3]), round(acc[3] / n)))
        pixels.append(row)
    return pixels


def ico_image(pixels):
    size = len(pixels)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    body = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            body += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        body += bits
    return header + bytes(body)


def png_image(pixels):
    """The image as a PNG file (8-bit RGBA), as .ico files hold their 256 pixel images."""
    size = len(pixels)

    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data +
                struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff))

    raw = b''.join(b'\0' + bytes(v for pixel in row for v in pixel) for row in pixels)
    return (b'\x89PNG\r\n\x1a\n' +
            chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def write_ico(path, shapes):
    images = []
    for s in SIZES:
        pixels = render(shapes, s, 4 if s < 256 else 2)
        images.append(png_image(pixels) if s >= 256 else ico_image(pixels))
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for s, image in zip(SIZES, images):
        out += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    with open(path, 'wb') as f:
        f.write(out)
    print(os.path.normpath(path))


if __name__ == '__main__':
    if len(sys.argv) > 2 or sys.argv[1:] in (['-h'], ['--help']):
        print(__doc__.strip())
        sys.exit(0 if len(sys.argv) == 2 else 2)
    target = sys.argv[1] if len(sys.argv) > 1 else RESOURCES
    write_ico(os.path.join(target, 'vordacen.ico'), tower())
    write_ico(os.path.join(target, 'bulb.ico'), bulb())
