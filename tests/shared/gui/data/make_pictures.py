#!/usr/bin/python3
# Writes the pictures of the GUI window tests with the standard library only: PNG files with and
# without alpha, and an 8-bit bitmap whose bottom-left colour is the transparent one.
import struct
import zlib


def png(name, width, height, pixel):
    """pixel(x, y) -> (r, g, b, a)"""
    raw = b"".join(b"\0" + bytes(c for x in range(width) for c in pixel(x, y)) for y in range(height))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    data = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    with open(name, "wb") as f:
        f.write(data)


def disc(x, y):
    # A red disc with a soft edge; a half-transparent blue block in the top-left corner.
    if x < 6 and y < 6:
        return (0, 0, 255, 128)
    d = ((x - 13.5) ** 2 + (y - 13.5) ** 2) ** 0.5
    a = 255 if d <= 8 else 0 if d >= 11 else int(255 * (11 - d) / 3)
    return (200, 30, 30, a)


def framed(x, y):
    # An opaque yellow square with a black frame.
    return (0, 0, 0, 255) if x in (0, 15) or y in (0, 15) else (255, 220, 0, 255)


def bitmap(name, width, height, palette, index):
    """An 8-bit bitmap file (the resource compiler strips the file header)."""
    stride = (width + 3) & ~3
    rows = b"".join(bytes(index(x, y) for x in range(width)) + b"\0" * (stride - width)
                    for y in reversed(range(height)))
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(rows), 2835, 2835, len(palette), 0)
    offset = 14 + len(info) + len(table)
    header = b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset)
    with open(name, "wb") as f:
        f.write(header + info + table + rows)


def icon(name, sizes, pixel):
    """An icon file with one 32-bit image per size (BGRA rows bottom-up, an empty AND mask)."""
    images = []
    for n in sizes:
        xor = b"".join(bytes((b, g, r, a)) for y in reversed(range(n)) for (r, g, b, a) in
                       (pixel(x * 24 // n, y * 24 // n) for x in range(n)))
        mask = b"\0" * (((n + 31) // 32) * 4 * n)
        info = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        images.append(info + xor + mask)
    head = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    entries = b""
    for n, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(name, "wb") as f:
        f.write(head + entries + b"".join(images))


png("alpha_24.png", 24, 24, disc)
icon("disc.ico", [16, 32], disc)
png("framed_16.png", 16, 16, framed)
# Magenta background (the bottom-left pixel), a blue bar and a white dot.
bitmap("keyed_20x12.bmp", 20, 12, [(255, 0, 255), (0, 0, 200), (255, 255, 255)],
       lambda x, y: 2 if (x, y) == (10, 2) else 1 if 4 <= x < 16 and 4 <= y < 8 else 0)
