#!/usr/bin/env python3
"""Renders the pictures of the three programs from tools/assets/svg and writes their .rc fragments.

The picture tables (eraser/resources/pictures.tsv, setup/resources/pictures.tsv) list every picture:
its resource id and kind, its size, which program carries it, the SVG it is drawn from and the file it
becomes. This script turns each SVG into that file (PNG, 24-bit BMP or multi-size ICO), deletes files
of the picture folders that no row names any more, and writes one .rc fragment per program.

Called by tools/assets/generate, which makes sure rsvg-convert is installed.
"""

import os
import struct
import subprocess
import sys
import tempfile
import zlib

TABLES = ["eraser/resources/pictures.tsv", "setup/resources/pictures.tsv"]
PROGRAMS = {
    "eraser": "eraser/resources/pictures.rc",
    "install": "setup/resources/pictures.rc",
    "uninstall": "uninstall/resources/pictures.rc",
}
KINDS = {"rcdata": "RCDATA", "binres": "BINRES", "bitmap": "BITMAP", "icon": "ICON"}
ICON_SIZES = [16, 32, 48, 256]
# Entries up to this size are stored as bitmaps, which every Windows reads; larger ones as PNG.
ICON_BITMAP_MAX = 48
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


class Row:
    def __init__(self, table, line_no, fields):
        if len(fields) != 9:
            sys.exit(f"{table}:{line_no}: expected 9 tab-separated fields, found {len(fields)}")
        self.table = table
        self.line_no = line_no
        self.id = int(fields[0])
        self.kind = fields[1]
        self.width = int(fields[2])
        self.height = int(fields[3])
        self.programs = fields[4].split("+")
        self.source = fields[5]
        self.file = fields[6]
        self.matte = None if fields[7] == "-" else parse_colour(fields[7])
        self.shows = fields[8]
        if self.kind not in KINDS:
            self.fail(f"unknown kind {self.kind}")
        for p in self.programs:
            if p not in PROGRAMS:
                self.fail(f"unknown program {p}")
        if (self.kind == "bitmap") != (self.matte is not None):
            self.fail("a bitmap needs its background colour, other kinds have none")
        if self.file.endswith(".ico") and (self.width, self.height) != (256, 256):
            self.fail("an icon file is listed at its largest size, 256 x 256")

    def fail(self, message):
        sys.exit(f"{self.table}:{self.line_no}: {message}")


def parse_colour(text):
    if len(text) != 7 or text[0] != "#":
        sys.exit(f"bad colour {text}: expected #rrggbb")
    return tuple(int(text[i : i + 2], 16) for i in (1, 3, 5))


def read_tables(root):
    rows = []
    for table in TABLES:
        with open(os.path.join(root, table), encoding="utf-8") as f:
            for n, line in enumerate(f, 1):
                line = line.rstrip("\n")
                if line and not line.startswith("#"):
                    rows.append(Row(table, n, line.split("\t")))
    seen = {}
    for r in rows:
        for p in r.programs:
            key = (p, r.kind, r.id)
            if key in seen:
                r.fail(f"{p} already carries {r.kind} {r.id} (line {seen[key]})")
            seen[key] = r.line_no
    return rows


# --- PNG reading and writing (8-bit RGB and RGBA, as rsvg-convert writes them) ---------------------


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != PNG_SIGNATURE:
        sys.exit(f"{path}: not a PNG file")
    pos, idat = 8, b""
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos : pos + 4])
        kind, body = data[pos + 4 : pos + 8], data[pos + 8 : pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    if depth != 8 or colour not in (2, 6) or interlace:
        sys.exit(f"{path}: expected an 8-bit RGB or RGBA PNG without interlacing")
    channels = 4 if colour == 6 else 3
    raw, stride = zlib.decompress(idat), width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        filt, row = raw[start], bytearray(raw[start + 1 : start + 1 + stride])
        unfilter(filt, row, prev, channels)
        rows.append(row)
        prev = row
    pixels = bytearray()
    for row in rows:
        if channels == 4:
            pixels += row
        else:
            for x in range(width):
                pixels += row[x * 3 : x * 3 + 3] + b"\xff"
    return width, height, bytes(pixels)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def unfilter(filt, row, prev, bpp):
    for i in range(len(row)):
        a = row[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        if filt == 1:
            row[i] = (row[i] + a) & 255
        elif filt == 2:
            row[i] = (row[i] + b) & 255
        elif filt == 3:
            row[i] = (row[i] + (a + b) // 2) & 255
        elif filt == 4:
            row[i] = (row[i] + paeth(a, b, c)) & 255
        elif filt != 0:
            sys.exit(f"bad PNG filter {filt}")


def filtered(filt, row, prev, bpp):
    out = bytearray(len(row))
    for i in range(len(row)):
        a = row[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        pred = (0, a, b, (a + b) // 2, paeth(a, b, c))[filt]
        out[i] = (row[i] - pred) & 255
    return out


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png_bytes(width, height, rgba):
    """An RGBA PNG with no ancillary chunks; each row takes the filter with the smallest sum."""
    stride, prev, data = width * 4, bytearray(width * 4), bytearray()
    for y in range(height):
        row = rgba[y * stride : (y + 1) * stride]
        candidates = [filtered(f, row, prev, 4) for f in range(5)]
        best = min(range(5), key=lambda f: sum(v if v < 128 else 256 - v for v in candidates[f]))
        data += bytes([best]) + candidates[best]
        prev = bytearray(row)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (
        PNG_SIGNATURE
        + chunk(b"IHDR", header)
        + chunk(b"IDAT", zlib.compress(bytes(data), 9))
        + chunk(b"IEND", b"")
    )


# --- Bitmaps and icons -----------------------------------------------------------------------------


def over_matte(rgba, matte):
    """The picture drawn over an opaque background, as RGB."""
    out = bytearray()
    for i in range(0, len(rgba), 4):
        r, g, b, a = rgba[i : i + 4]
        for v, m in zip((r, g, b), matte):
            out.append((v * a + m * (255 - a) + 127) // 255)
    return out


def bmp_bytes(row, rgba):
    """A 24-bit bottom-up BMP file; the loader draws the colour of its bottom-left pixel as
    transparent, so that pixel must be the background itself."""
    width, height = row.width, row.height
    rgb = over_matte(rgba, row.matte)
    bottom_left = tuple(rgb[(height - 1) * width * 3 : (height - 1) * width * 3 + 3])
    if bottom_left != row.matte:
        row.fail(f"bottom-left pixel {bottom_left} is not the background {row.matte}: keep that corner empty")
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(height)):
        line = rgb[y * width * 3 : (y + 1) * width * 3]
        for x in range(width):
            pixels += bytes(reversed(line[x * 3 : x * 3 + 3]))
        pixels += b"\0" * (stride - width * 3)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def icon_entry_dib(size, rgba):
    """An icon image as a 32-bit DIB: colour rows with alpha, then the 1-bit AND mask, bottom-up."""
    colour = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = rgba[(y * size + x) * 4 : (y * size + x) * 4 + 4]
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(size)):
        line = bytearray(mask_stride)
        for x in range(size):
            if rgba[(y * size + x) * 4 + 3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return info + colour + mask


def ico_bytes(images):
    """images: (size, rgba) from small to large."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for size, rgba in images:
        blob = icon_entry_dib(size, rgba) if size <= ICON_BITMAP_MAX else png_bytes(size, size, rgba)
        dim = 0 if size >= 256 else size
        entries.append(struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


# --- Rendering ------------------------------------------------------------------------------------


MARKS_REF = 'href="marks.svg#'


def inline_marks(svg_dir, text):
    """The SVG with the definitions of marks.svg copied into it and its references made local."""
    with open(os.path.join(svg_dir, "marks.svg"), encoding="utf-8") as f:
        marks = f.read()
    defs = marks[marks.index("<defs>") : marks.index("</defs>") + len("</defs>")]
    root_end = text.index(">", text.index("<svg")) + 1
    return text[:root_end] + defs + text[root_end:].replace(MARKS_REF, 'href="#')


def render(svg_dir, source, width, height, scratch):
    svg = os.path.join(svg_dir, source + ".svg")
    if not os.path.exists(svg):
        sys.exit(f"missing SVG source {svg}")
    with open(svg, encoding="utf-8") as f:
        text = f.read()
    if MARKS_REF in text:
        # Not every renderer follows references into other files: hand it the shared artwork inline.
        svg = os.path.join(scratch, source + ".svg")
        with open(svg, "w", encoding="utf-8") as f:
            f.write(inline_marks(svg_dir, text))
    out = os.path.join(scratch, f"{source}-{width}x{height}.png")
    subprocess.run(["rsvg-convert", "-w", str(width), "-h", str(height), "-o", out, svg], check=True)
    w, h, rgba = read_png(out)
    if (w, h) != (width, height):
        sys.exit(f"{svg}: rendered at {w} x {h}, wanted {width} x {height}")
    return rgba


def icon_source(svg_dir, source, size):
    # A hand-tuned drawing for a small size wins over the scaled-down large one.
    special = f"{source}-{size}"
    return special if os.path.exists(os.path.join(svg_dir, special + ".svg")) else source


def picture_bytes(row, svg_dir, scratch):
    if row.file.endswith(".ico"):
        images = [(s, render(svg_dir, icon_source(svg_dir, row.source, s), s, s, scratch)) for s in ICON_SIZES]
        return ico_bytes(images)
    rgba = render(svg_dir, row.source, row.width, row.height, scratch)
    if row.file.endswith(".bmp"):
        return bmp_bytes(row, rgba)
    if row.file.endswith(".png"):
        return png_bytes(row.width, row.height, rgba)
    row.fail(f"cannot tell the format of {row.file}")


def write_if_changed(path, data):
    if os.path.exists(path) and open(path, "rb").read() == data:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    print(f"wrote {os.path.relpath(path)}")


def rc_fragment(program, rows):
    lines = [
        f"// The pictures of the {program} program, generated by tools/assets/generate from the picture",
        "// table; do not edit. File names are relative to the repository root, which must be on the",
        "// resource compiler's include path.",
    ]
    for r in sorted(rows, key=lambda r: (r.id, r.kind)):
        lines.append(f'{r.id} {KINDS[r.kind]} "{r.file}"')
    return ("\n".join(lines) + "\n").encode()


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../.."))
    svg_dir = os.path.join(root, "tools/assets/svg")
    rows = read_tables(root)
    made = {}
    with tempfile.TemporaryDirectory() as scratch:
        for r in rows:
            data = picture_bytes(r, svg_dir, scratch)
            if r.file in made and made[r.file] != data:
                r.fail(f"{r.file} is listed twice with different content")
            made[r.file] = data
            write_if_changed(os.path.join(root, r.file), data)
    for program, fragment in PROGRAMS.items():
        carried = [r for r in rows if program in r.programs]
        write_if_changed(os.path.join(root, fragment), rc_fragment(program, carried))
    # Files that no row names any more go, so the folders hold exactly what the tables list.
    for folder in sorted({os.path.dirname(f) for f in made}):
        for name in sorted(os.listdir(os.path.join(root, folder))):
            path = f"{folder}/{name}"
            if path not in made:
                os.remove(os.path.join(root, path))
                print(f"removed {path}")


if __name__ == "__main__":
    main()
