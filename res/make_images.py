#!/usr/bin/env python3
"""Writes the program's pictures: toolbar.bmp (six 16x16 buttons) and Plover.ico.

Run from this folder after changing a picture; the outputs are committed.
"""
import struct

PALETTE = {
    ".": (192, 192, 192),  # background: becomes the button face
    "k": (0, 0, 0),
    "g": (128, 128, 128),
    "l": (160, 160, 160),
    "w": (255, 255, 255),
    "y": (255, 255, 0),
    "o": (128, 128, 0),
    "b": (0, 0, 255),
    "n": (0, 0, 128),
    "r": (255, 0, 0),
}

BUTTONS = [
    # a plug in its socket
    ["................",
     "................",
     "...........kkkk.",
     "...........kwwk.",
     "...........kwlk.",
     "......kkkkkkwlk.",
     "......kgggkkwlk.",
     "kkkkkkkgggkkwlk.",
     "kkkkkkkgggkkwlk.",
     "......kgggkkwlk.",
     "......kkkkkkwlk.",
     "...........kwlk.",
     "...........kllk.",
     "...........kkkk.",
     "................",
     "................"],
    # a plug and its cable pulled apart from the socket
    ["................",
     "................",
     "...........kkkk.",
     "...........kwwk.",
     "........r..kwlk.",
     "..kkkkk..r.kwlk.",
     "..kgggkoo..kwlk.",
     "kkkgggk....kwlk.",
     "kkkgggk....kwlk.",
     "..kgggkoo..kwlk.",
     "..kkkkk..r.kwlk.",
     "........r..kwlk.",
     "...........kllk.",
     "...........kkkk.",
     "................",
     "................"],
    # a desktop computer
    ["................",
     "..kkkkkkkkkkkk..",
     "..kwwwwwwwwwwk..",
     "..kwnnnnnnnnlk..",
     "..kwnbbbbbbnlk..",
     "..kwnbbbbbbnlk..",
     "..kwnbbbbbbnlk..",
     "..kwnnnnnnnnlk..",
     "..klllllllllgk..",
     "..kkkkkkkkkkkk..",
     "......kggk......",
     ".kkkkkkkkkkkkkk.",
     ".kwwwwwwwwwwwgk.",
     ".kwllllllkkkwgk.",
     ".kggggggggggggk.",
     ".kkkkkkkkkkkkkk."],
    # a yellow sheet with a paper clip
    ["................",
     "....ggg.........",
     "...gkkgkkkkk....",
     "...gkygyyyykk...",
     "...gkygyyyykyk..",
     "...gkygyyyykkkk.",
     "....gkyyyyyyyyk.",
     "....kyooooooyyk.",
     "....kyyyyyyyyyk.",
     "....kyooooooyyk.",
     "....kyyyyyyyyyk.",
     "....kyoooooyyyk.",
     "....kyyyyyyyyyk.",
     "....kkkkkkkkkkk.",
     "................",
     "................"],
    # an eye
    ["................",
     "................",
     "................",
     "......kkkkk.....",
     "....kkwwwwwkk...",
     "...kwwwnnnwwwk..",
     "..kwwwnbbbnwwwk.",
     ".kwwwnbkkkbnwwwk",
     "..kwwwnbbbnwwwk.",
     "...kwwwnnnwwwk..",
     "....kkwwwwwkk...",
     "......kkkkk.....",
     "................",
     "................",
     "................",
     "................"],
    # a yellow question mark
    ["................",
     ".....kkkkkk.....",
     "....kyyyyyyk....",
     "...kyyykkyyyk...",
     "...kyyk..kyyk...",
     "....kk...kyyk...",
     "........kyyyk...",
     ".......kyyyk....",
     "......kyyyk.....",
     "......kyyk......",
     "......kyyk......",
     ".......kk.......",
     "......kkkk......",
     "......kyyk......",
     "......kyyk......",
     "......kkkk......"],
]


def write_bmp24(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b), y from the top."""
    stride = (width * 3 + 3) & ~3
    rows = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        rows += row
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(rows), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + rows)


def toolbar_pixel(x, y):
    art = BUTTONS[x // 16]
    return PALETTE[art[y][x % 16]]


# Icon: a plover-blue disc with a white "P".
P_GLYPH = ["1111.",
           "1...1",
           "1...1",
           "1111.",
           "1....",
           "1....",
           "1...."]


def icon_pixel(size, x, y):
    """(r, g, b, a)"""
    c = (size - 1) / 2.0
    d2 = (x - c) ** 2 + (y - c) ** 2
    radius = size / 2.0 - 0.5
    if d2 > radius * radius:
        return (0, 0, 0, 0)
    scale = size // 10
    gx0 = (size - 5 * scale) // 2
    gy0 = (size - 7 * scale) // 2
    gx, gy = (x - gx0), (y - gy0)
    if 0 <= gx < 5 * scale and 0 <= gy < 7 * scale and P_GLYPH[gy // scale][gx // scale] == "1":
        return (255, 255, 255, 255)
    if d2 > (radius - 1.5) ** 2:
        return (0, 48, 96, 255)
    return (30, 110, 170, 255)


def icon_image(size):
    xor = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for y in range(size - 1, -1, -1):
        mrow = bytearray(mask_stride)
        for x in range(size):
            r, g, b, a = icon_pixel(size, x, y)
            xor += bytes((b, g, r, a))
            if a == 0:
                mrow[x // 8] |= 0x80 >> (x % 8)
        mask += mrow
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def write_ico(path, sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    for art in BUTTONS:
        assert len(art) == 16 and all(len(row) == 16 for row in art), art
    write_bmp24("toolbar.bmp", 16 * len(BUTTONS), 16, toolbar_pixel)
    write_ico("Plover.ico", [32, 16])
