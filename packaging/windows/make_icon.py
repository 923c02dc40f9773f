#!/usr/bin/env python3
"""Writes the Windows icon (.ico) of the programs from the icon's PNG renderings.

    make_icon.py OUTPUT.ico INPUT.png...

The sizes below 256 pixels are stored as 32-bit bitmaps with an alpha channel and the
256-pixel one as PNG, the layout Windows' own icons have: every part of Windows (and the
installer builder) reads it, where some older readers choke on small PNG entries. Only the
standard library is needed, so any Python of the build machine does; the PNGs are the ones
packaging/icons holds (8-bit RGBA, not interlaced), and anything else is refused by name.
"""

import struct
import sys
import zlib

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


class IconError(Exception):
    pass


def read_png(path):
    """Returns (width, height, rows of RGBA bytes, the file's bytes)."""
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(PNG_SIGNATURE):
        raise IconError(f"{path}: not a PNG file")
    pos = len(PNG_SIGNATURE)
    header = None
    idat = bytearray()
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if len(body) != length:
            raise IconError(f"{path}: cut short in its {kind.decode('latin-1')} chunk")
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    if header is None:
        raise IconError(f"{path}: no IHDR chunk")
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 6, 0):
        raise IconError(f"{path}: needs 8-bit RGBA without interlacing "
                        f"(has depth {depth}, colour type {colour}, interlace {interlace})")
    if not 0 < width <= 256 or width != height:
        raise IconError(f"{path}: an icon is square and at most 256 pixels ({width}x{height})")
    try:
        raw = zlib.decompress(bytes(idat))
    except zlib.error as e:
        raise IconError(f"{path}: damaged image data ({e})")
    stride = width * 4
    if len(raw) != height * (stride + 1):
        raise IconError(f"{path}: image data of {len(raw)} bytes, not {height * (stride + 1)}")
    return width, height, unfilter(raw, stride, height, path), data


def unfilter(raw, stride, height, path):
    rows = []
    prior = bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind = raw[start]
        row = bytearray(raw[start + 1:start + 1 + stride])
        if kind == 1:
            for i in range(4, stride):
                row[i] = (row[i] + row[i - 4]) & 0xFF
        elif kind == 2:
            for i in range(stride):
                row[i] = (row[i] + prior[i]) & 0xFF
        elif kind == 3:
            for i in range(stride):
                left = row[i - 4] if i >= 4 else 0
                row[i] = (row[i] + ((left + prior[i]) >> 1)) & 0xFF
        elif kind == 4:
            for i in range(stride):
                a = row[i - 4] if i >= 4 else 0
                b = prior[i]
                c = prior[i - 4] if i >= 4 else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                row[i] = (row[i] + pred) & 0xFF
        elif kind != 0:
            raise IconError(f"{path}: unknown row filter {kind} in row {y}")
        rows.append(row)
        prior = row
    return rows


def bitmap_entry(width, height, rows):
    """A 32-bit DIB as icons store it: bottom-up BGRA, then the 1-bit mask of the transparent
    pixels (read by whatever ignores alpha), each mask row padded to 32 bits."""
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    mask = bytearray()
    mask_stride = (width + 31) // 32 * 4
    for row in reversed(rows):
        mask_row = bytearray(mask_stride)
        for x in range(width):
            r, g, b, a = row[4 * x:4 * x + 4]
            pixels += bytes((b, g, r, a))
            if a == 0:
                mask_row[x // 8] |= 0x80 >> (x % 8)
        mask += mask_row
    return header + pixels + mask


def make_icon(inputs):
    images = []
    for path in inputs:
        width, height, rows, data = read_png(path)
        body = data if width == 256 else bitmap_entry(width, height, rows)
        images.append((width, height, body))
    if len({w for w, _, _ in images}) != len(images):
        raise IconError("two renderings of one size")
    images.sort(key=lambda image: image[0])
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    bodies = b""
    for width, height, body in images:
        # A size of 256 is written as 0 in the byte the directory has for it.
        directory += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
        bodies += body
    return directory + bodies


def main(argv):
    if len(argv) < 3:
        print("usage: make_icon.py OUTPUT.ico INPUT.png...", file=sys.stderr)
        return 2
    try:
        icon = make_icon(argv[2:])
    except (OSError, IconError) as e:
        print(f"make_icon.py: {e}", file=sys.stderr)
        return 1
    with open(argv[1], "wb") as f:
        f.write(icon)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
