#!/usr/bin/python3
# Writes the sample PNGs of the decoder tests with pypng (Debian python3-png), an encoder
# independent of ours, as C array initialisers (*.inc) and as files for the fuzz seeds.
import io
import sys

import png


def save(name, writer, rows):
    buf = io.BytesIO()
    writer.write(buf, rows)
    data = buf.getvalue()
    with open(name + ".inc", "w") as f:
        for i in range(0, len(data), 16):
            f.write(" ".join("0x%02X," % b for b in data[i:i + 16]) + "\n")
    if len(sys.argv) > 1:
        with open("%s/%s.png" % (sys.argv[1], name), "wb") as f:
            f.write(data)


save("rgba8_adam7_4x3", png.Writer(4, 3, greyscale=False, alpha=True, bitdepth=8, interlace=True),
     [[v for x in range(4) for v in (x * 60, y * 100, 255 - x * 60, (x + y * 4) * 20)] for y in range(3)])
save("palette2_trns_5x2",
     png.Writer(5, 2, palette=[(255, 0, 0, 0), (0, 255, 0, 128), (0, 0, 255), (255, 255, 255)], bitdepth=2),
     [[0, 1, 2, 3, 0], [3, 2, 1, 0, 3]])

# Seeds of the PNG fuzz harness, when a folder is given: more colour types and bit depths.
if len(sys.argv) > 1:
    seeds = [
        ("grey1_3x3", png.Writer(3, 3, greyscale=True, bitdepth=1), [[0, 1, 0], [1, 0, 1], [0, 1, 1]]),
        ("grey16_trns_2x2_adam7", png.Writer(2, 2, greyscale=True, bitdepth=16, transparent=1000, interlace=True),
         [[0, 1000], [65535, 300]]),
        ("rgb8_3x2", png.Writer(3, 2, greyscale=False, bitdepth=8), [[255, 0, 0, 0, 255, 0, 0, 0, 255]] * 2),
        ("grey_alpha8_3x3_adam7", png.Writer(3, 3, greyscale=True, alpha=True, bitdepth=8, interlace=True),
         [[v for x in range(3) for v in (x * 100, y * 120)] for y in range(3)]),
        ("palette8_4x1", png.Writer(4, 1, palette=[(1, 2, 3), (4, 5, 6), (7, 8, 9)], bitdepth=8), [[0, 1, 2, 1]]),
    ]
    for name, writer, rows in seeds:
        with open("%s/%s.png" % (sys.argv[1], name), "wb") as f:
            writer.write(f, rows)
