"""XWD (the X Window Dump format Xvfb keeps its screen in) to PNG, without any image tool."""

import struct
import zlib
from pathlib import Path

HEADER_FIELDS = 25


def _header(data):
    # Xvfb writes the header most significant byte first; a dump written on a little-endian
    # machine by another tool may not, which the version field (7) tells.
    for order in (">", "<"):
        fields = struct.unpack(order + "25I", data[:100])
        if fields[1] == 7:
            return fields
    raise ValueError("not an XWD file (version is not 7)")


def to_png(xwd: Path, png: Path):
    data = xwd.read_bytes()
    (header_size, _, pixmap_format, _, width, height, _, byte_order, _, _, _, bpp,
     bytes_per_line, _, red_mask, green_mask, blue_mask, _, _, ncolors, *_) = _header(data)
    if pixmap_format != 2 or bpp != 32:
        raise ValueError(f"unsupported XWD layout: format {pixmap_format}, {bpp} bits per pixel")
    start = header_size + ncolors * 12
    pixels = data[start:start + bytes_per_line * height]
    # Byte positions of red, green and blue within a 32-bit pixel, from the masks.
    def position(mask):
        shift = (mask & -mask).bit_length() - 1
        index = shift // 8
        return index if byte_order == 0 else 3 - index
    rows = bytearray()
    channels = [position(m) for m in (red_mask, green_mask, blue_mask)]
    for y in range(height):
        row = pixels[y * bytes_per_line:y * bytes_per_line + width * 4]
        rgb = bytearray(width * 3)
        for c, at in enumerate(channels):
            rgb[c::3] = row[at::4]
        rows += b"\x00" + rgb

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    png.write_bytes(b"\x89PNG\r\n\x1a\n"
                    + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                    + chunk(b"IDAT", zlib.compress(bytes(rows), 6)) + chunk(b"IEND", b""))
    return png
