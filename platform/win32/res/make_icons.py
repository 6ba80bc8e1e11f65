#!/usr/bin/env python3
"""Draws the program's icons and writes them as .ico files (16, 32 and 48 pixels, 32-bit with
an AND mask). Standard library only; run it again after changing a drawing:
    python3 make_icons.py [output folder]"""
import math
import struct
import sys
from pathlib import Path

SUPERSAMPLE = 4


def blend(dst, src):
    """Composites straight-alpha RGBA `src` over `dst`."""
    sa = src[3] / 255.0
    da = dst[3] / 255.0
    oa = sa + da * (1 - sa)
    if oa <= 0:
        return (0, 0, 0, 0)
    rgb = [(src[i] * sa + dst[i] * da * (1 - sa)) / oa for i in range(3)]
    return (round(rgb[0]), round(rgb[1]), round(rgb[2]), round(oa * 255))


def render(shader, size):
    """Samples shader(x, y) -> RGBA or None over the unit square, SUPERSAMPLE^2 per pixel."""
    pixels = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    c = shader(x, y) or (0, 0, 0, 0)
                    a = c[3] / 255.0
                    acc[0] += c[0] * a
                    acc[1] += c[1] * a
                    acc[2] += c[2] * a
                    acc[3] += a
            if acc[3] > 0:
                pixel = (acc[0] / acc[3], acc[1] / acc[3], acc[2] / acc[3], acc[3] / (n * n))
                row.append(tuple(round(v) for v in pixel[:3]) + (round(pixel[3] * 255),))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def layers(*shaders):
    def shader(x, y):
        out = (0, 0, 0, 0)
        for s in shaders:
            c = s(x, y)
            if c is not None:
                out = blend(out, c)
        return out if out[3] > 0 else None
    return shader


def lerp(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(len(a)))


def rounded_rect(x0, y0, x1, y1, r, colour):
    def shader(x, y):
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        if (x - cx) ** 2 + (y - cy) ** 2 <= r * r and x0 <= x <= x1 and y0 <= y <= y1:
            return colour(x, y) if callable(colour) else colour
        return None
    return shader


def disc(cx, cy, outer, inner, colour):
    def shader(x, y):
        d = math.hypot(x - cx, y - cy)
        if inner <= d <= outer:
            return colour(x, y, d) if callable(colour) else colour
        return None
    return shader


def polygon(points, colour):
    def shader(x, y):
        inside = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                inside = not inside
            j = i
        return colour if inside else None
    return shader


def cd_surface(cx, cy):
    """A silver disc with a faint rainbow sheen that turns with the angle."""
    def colour(x, y, d):
        angle = math.atan2(y - cy, x - cx)
        sheen = 0.5 + 0.5 * math.cos(2 * angle + 0.6)
        base = lerp((176, 184, 196, 255), (236, 240, 246, 255), sheen)
        hue = (angle / (2 * math.pi)) % 1.0
        tint = (
            round(128 + 127 * math.cos(2 * math.pi * hue)),
            round(128 + 127 * math.cos(2 * math.pi * (hue - 1 / 3))),
            round(128 + 127 * math.cos(2 * math.pi * (hue - 2 / 3))),
            255,
        )
        return lerp(base, tint, 0.18 * sheen)
    return colour


def app_icon():
    cx, cy = 0.44, 0.46
    return layers(
        disc(cx, cy, 0.42, 0.075, (90, 96, 110, 255)),
        disc(cx, cy, 0.40, 0.085, cd_surface(cx, cy)),
        disc(cx, cy, 0.16, 0.085, (208, 214, 222, 255)),
        # A green arrow, down and to the right: the disc goes into a folder.
        disc(0.74, 0.74, 0.25, 0.0, (28, 110, 48, 255)),
        disc(0.74, 0.74, 0.225, 0.0, (52, 168, 83, 255)),
        polygon([(0.66, 0.56), (0.82, 0.56), (0.82, 0.72), (0.90, 0.72), (0.74, 0.90),
                 (0.58, 0.72), (0.66, 0.72)], (255, 255, 255, 255)),
    )


def drive_icon():
    body = rounded_rect(0.06, 0.24, 0.94, 0.78, 0.06,
                        lambda x, y: lerp((222, 226, 232, 255), (150, 156, 166, 255),
                                          (y - 0.24) / 0.54))
    return layers(
        rounded_rect(0.03, 0.21, 0.97, 0.81, 0.08, (70, 74, 84, 255)),
        body,
        rounded_rect(0.12, 0.34, 0.88, 0.45, 0.02, (60, 64, 72, 255)),  # the tray slot
        rounded_rect(0.68, 0.58, 0.86, 0.67, 0.02, (90, 96, 106, 255)),  # the eject button
        disc(0.80, 0.51, 0.03, 0.0, (60, 200, 90, 255)),                # the busy light
        disc(0.26, 0.62, 0.10, 0.0, (96, 100, 112, 255)),
        disc(0.26, 0.62, 0.088, 0.025, cd_surface(0.26, 0.62)),
    )


def folder_icon():
    back = (196, 142, 28, 255)
    front = lambda x, y: lerp((255, 214, 92, 255), (236, 176, 44, 255), (y - 0.34) / 0.52)
    return layers(
        polygon([(0.06, 0.20), (0.38, 0.20), (0.46, 0.28), (0.94, 0.28), (0.94, 0.84),
                 (0.06, 0.84)], back),
        rounded_rect(0.08, 0.30, 0.92, 0.82, 0.03, (250, 240, 210, 255)),  # a sheet of paper
        polygon([(0.04, 0.38), (0.96, 0.38), (0.92, 0.86), (0.08, 0.86)], (176, 122, 20, 255)),
        polygon([(0.055, 0.40), (0.945, 0.40), (0.905, 0.845), (0.095, 0.845)],
                (0, 0, 0, 0)),
        lambda x, y: front(x, y) if polygon([(0.055, 0.40), (0.945, 0.40), (0.905, 0.845),
                                               (0.095, 0.845)], (0, 0, 0, 255))(x, y) else None,
    )


def ico_image(pixels):
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA rows, then the AND mask."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def write_ico(path, shader, sizes=(16, 32, 48)):
    images = [ico_image(render(shader, s)) for s in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    Path(path).write_bytes(bytes(out))


def main():
    folder = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent
    write_ico(folder / "Dravolin.ico", app_icon())
    write_ico(folder / "Drive.ico", drive_icon())
    write_ico(folder / "Folder.ico", folder_icon())


if __name__ == "__main__":
    main()
