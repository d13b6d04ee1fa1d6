#!/usr/bin/env python3
"""Writes the program's image strips (.bmp) from their pixel art (.txt).

Each art file holds the images of one strip in index order:

    size 16 16
    image 0 connect
    ................   (one row of characters per pixel row)

Every character is a colour of the palette below; "." is the mask colour,
which the image lists make transparent. The strip is one 24-bit bitmap with
the images side by side, written next to its art file.

    tools/ImageStrips.py            writes every strip of client/forms/images
    tools/ImageStrips.py --check    fails when a strip differs from its art
    tools/ImageStrips.py --preview DIR
                                    also writes enlarged PNG previews to DIR
                                    (needs ImageMagick's convert)
"""

import os
import struct
import subprocess
import sys

IMAGES_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "client", "forms", "images")

# One small palette for every image, so that they look like one set.
PALETTE = {
    ".": (0xFF, 0x00, 0xFF),  # mask: transparent
    "K": (0x00, 0x00, 0x00),  # black
    "D": (0x50, 0x50, 0x50),  # dark grey: outlines
    "G": (0x90, 0x90, 0x90),  # grey
    "L": (0xD0, 0xD0, 0xD0),  # light grey
    "W": (0xFF, 0xFF, 0xFF),  # white: paper
    "b": (0x10, 0x38, 0x70),  # dark blue
    "B": (0x1F, 0x5F, 0xA8),  # blue: the program's own
    "C": (0x9C, 0xC4, 0xF0),  # light blue
    "r": (0x90, 0x10, 0x10),  # dark red
    "R": (0xE0, 0x30, 0x30),  # red
    "n": (0x18, 0x60, 0x20),  # dark green
    "N": (0x3C, 0xB0, 0x48),  # green
    "y": (0xA8, 0x78, 0x10),  # dark yellow
    "Y": (0xF8, 0xD0, 0x30),  # yellow
    "O": (0xF0, 0x80, 0x20),  # orange
    "T": (0xE8, 0xC0, 0x88),  # tan: wood, skin
}


class ArtError(Exception):
    pass


def read_art(path):
    """The strip's image size and its images (lists of rows), in order."""
    width = height = None
    images = []
    with open(path, encoding="ascii") as f:
        lines = f.read().splitlines()
    for number, raw in enumerate(lines, 1):
        line = raw.rstrip()
        where = "%s:%d" % (os.path.basename(path), number)
        if not line or line.startswith("#"):
            continue
        words = line.split()
        if words[0] == "size":
            if len(words) != 3 or images:
                raise ArtError(where + ": 'size W H' comes once, before the images")
            width, height = int(words[1]), int(words[2])
        elif words[0] == "image":
            if width is None:
                raise ArtError(where + ": an image before the size")
            if len(words) < 3 or words[1] != str(len(images)):
                raise ArtError(where + ": expected 'image %d NAME'" % len(images))
            if images and len(images[-1][1]) != height:
                raise ArtError(where + ": image %s has %d rows, not %d" % (images[-1][0], len(images[-1][1]), height))
            images.append((words[2], []))
        else:
            if not images:
                raise ArtError(where + ": pixels before the first image")
            if len(line) != width:
                raise ArtError(where + ": a row of %d pixels, not %d" % (len(line), width))
            unknown = set(line) - set(PALETTE)
            if unknown:
                raise ArtError(where + ": colours not in the palette: " + "".join(sorted(unknown)))
            images[-1][1].append(line)
    if not images:
        raise ArtError(os.path.basename(path) + ": no images")
    if len(images[-1][1]) != height:
        raise ArtError("%s: image %s has %d rows, not %d" % (os.path.basename(path), images[-1][0],
                                                              len(images[-1][1]), height))
    return width, height, images


def strip_bitmap(width, height, images):
    """A 24-bit bottom-up BMP file holding the images side by side."""
    total = width * len(images)
    stride = (total * 3 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(height)):
        row = bytearray()
        for _, rows in images:
            for c in rows[y]:
                r, g, b = PALETTE[c]
                row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        pixels += row
    info = struct.pack("<IiiHHIIiiII", 40, total, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + bytes(pixels)


def main(argv):
    check = "--check" in argv
    preview = argv[argv.index("--preview") + 1] if "--preview" in argv else None
    stale = []
    arts = sorted(n for n in os.listdir(IMAGES_DIR) if n.endswith(".txt"))
    for name in arts:
        art = os.path.join(IMAGES_DIR, name)
        bmp = art[:-4] + ".bmp"
        try:
            data = strip_bitmap(*read_art(art))
        except ArtError as e:
            print(e, file=sys.stderr)
            return 1
        old = open(bmp, "rb").read() if os.path.exists(bmp) else None
        if check:
            if old != data:
                stale.append(os.path.basename(bmp))
            continue
        if old != data:
            with open(bmp, "wb") as f:
                f.write(data)
            print("wrote", os.path.relpath(bmp))
        if preview:
            os.makedirs(preview, exist_ok=True)
            png = os.path.join(preview, name[:-4] + ".png")
            subprocess.run(["convert", bmp, "-scale", "800%", png], check=True)
    if stale:
        print("out of date with their art (run tools/ImageStrips.py):", " ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
