#!/usr/bin/env python3
"""Writes the program's pictures: toolbar.bmp (seven 16x16 buttons), Plover.ico, the document
icon PloverDoc.ico, the traffic-light item icons, and the 8-bit About, banner and splash pictures.

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
    # a trend: two curves over a grid
    ["................",
     ".k..............",
     ".k..........rr..",
     ".k.........r..r.",
     ".kl.l.l.l.r.l.l.",
     ".k.......r......",
     ".k..rr..r.......",
     ".kl.lrlrl.l.l.l.",
     ".k....r.........",
     ".k.........bb...",
     ".kl.l.l.lbblbbb.",
     ".k.bbb.bb.......",
     ".kb...b.........",
     ".k..............",
     ".kkkkkkkkkkkkkkk",
     "................"],
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


def icon_image(size, pixel_fn):
    xor = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for y in range(size - 1, -1, -1):
        mrow = bytearray(mask_stride)
        for x in range(size):
            r, g, b, a = pixel_fn(size, x, y)
            xor += bytes((b, g, r, a))
            if a == 0:
                mrow[x // 8] |= 0x80 >> (x % 8)
        mask += mrow
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def write_ico(path, sizes, pixel_fn=icon_pixel):
    images = [icon_image(s, pixel_fn) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))



# A 5x7 font for the few letters the pictures spell.
FONT = {
    "P": ["1111.", "1...1", "1...1", "1111.", "1....", "1....", "1...."],
    "L": ["1....", "1....", "1....", "1....", "1....", "1....", "11111"],
    "O": [".111.", "1...1", "1...1", "1...1", "1...1", "1...1", ".111."],
    "V": ["1...1", "1...1", "1...1", "1...1", "1...1", ".1.1.", "..1.."],
    "E": ["11111", "1....", "1....", "1111.", "1....", "1....", "11111"],
    "R": ["1111.", "1...1", "1...1", "1111.", "1.1..", "1..1.", "1...1"],
    "C": [".1111", "1....", "1....", "1....", "1....", "1....", ".1111"],
    "I": ["11111", "..1..", "..1..", "..1..", "..1..", "..1..", "11111"],
    "N": ["1...1", "11..1", "1.1.1", "1..11", "1...1", "1...1", "1...1"],
    "T": ["11111", "..1..", "..1..", "..1..", "..1..", "..1..", "..1.."],
    "A": [".111.", "1...1", "1...1", "11111", "1...1", "1...1", "1...1"],
    "D": ["1111.", "1...1", "1...1", "1...1", "1...1", "1...1", "1111."],
    " ": [".....", ".....", ".....", ".....", ".....", ".....", "....."],
    "2": [".111.", "1...1", "....1", "...1.", "..1..", ".1...", "11111"],
    ".": [".....", ".....", ".....", ".....", ".....", ".....", "..1.."],
    "S": [".1111", "1....", "1....", ".111.", "....1", "....1", "1111."],
    "0": [".111.", "1...1", "1..11", "1.1.1", "11..1", "1...1", ".111."],
    "K": ["1...1", "1..1.", "1.1..", "11...", "1.1..", "1..1.", "1...1"],
    "U": ["1...1", "1...1", "1...1", "1...1", "1...1", "1...1", ".111."],
}


def text_mask(text, scale):
    """Set of (x, y) pixels of the text at that scale, and its width and height."""
    pixels = set()
    x0 = 0
    for ch in text:
        glyph = FONT[ch]
        for gy, row in enumerate(glyph):
            for gx, c in enumerate(row):
                if c == "1":
                    for dy in range(scale):
                        for dx in range(scale):
                            pixels.add((x0 + gx * scale + dx, gy * scale + dy))
        x0 += 6 * scale
    return pixels, x0 - scale, 7 * scale


def picture(width, height, text, scale, top, bottom):
    """A vertical gradient from top to bottom colour with white text centred."""
    pixels, tw, th = text_mask(text, scale)
    ox, oy = (width - tw) // 2, (height - th) // 2

    def pixel(x, y):
        if (x - ox, y - oy) in pixels:
            return (255, 255, 255)
        if (x - ox - 1, y - oy - 1) in pixels:
            return (0, 32, 64)  # shadow
        t = y / max(1, height - 1)
        return tuple(int(a + (b - a) * t) for a, b in zip(top, bottom))
    return pixel


def write_bmp8(path, width, height, pixel):
    """8-bit palettised BMP; the palette is built from the picture's colours (at most 256)."""
    colours = {}
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            c = pixel(x, y)
            if c not in colours:
                colours[c] = len(colours)
            row.append(colours[c])
        row += b"\0" * (((width + 3) & ~3) - width)
        rows.append(bytes(row))
    assert len(colours) <= 256, len(colours)
    palette = bytearray()
    for (r, g, b), _ in sorted(colours.items(), key=lambda kv: kv[1]):
        palette += bytes((b, g, r, 0))
    palette += b"\0" * (4 * (256 - len(colours)))
    data = b"".join(rows)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(data), 2835, 2835, 256, 0)
    with open(path, "wb") as f:
        f.write(header + info + palette + data)


def light_pixel(lit):
    """Traffic light icon: dark housing, three lamps, the lit one bright."""
    lamps = {"red": (255, 0, 0), "yellow": (255, 200, 0), "green": (0, 220, 0)}
    order = ["red", "yellow", "green"]

    def pixel(size, x, y):
        u, v = x / size, y / size
        if not (0.28 <= u <= 0.72 and 0.03 <= v <= 0.97):
            return (0, 0, 0, 0)
        for i, name in enumerate(order):
            cy = 0.2 + i * 0.3
            if (u - 0.5) ** 2 + (v - cy) ** 2 <= 0.13 ** 2:
                r, g, b = lamps[name]
                if name != lit:
                    r, g, b = r // 4, g // 4, b // 4
                return (r, g, b, 255)
        return (48, 48, 48, 255)
    return pixel


KEY = (192, 192, 192)  # light grey: the credits control lets its background show through


def plover_bird(cx, cy, r):
    """A standing plover, body radius r, centred at (cx, cy): colour at (x, y) or None."""
    brown, white, black = (150, 112, 70), (250, 250, 245), (20, 20, 20)
    orange = (235, 140, 40)

    def pixel(x, y):
        dx, dy = x - cx, y - cy
        hx, hy = cx + 0.85 * r, cy - 0.9 * r  # head centre
        if (x - hx) ** 2 + (y - hy) ** 2 <= (0.45 * r) ** 2:
            if (x - (hx + 0.15 * r)) ** 2 + (y - (hy - 0.08 * r)) ** 2 <= (0.09 * r) ** 2:
                return black  # eye
            return white if y > hy + 0.1 * r else brown
        # beak: a short wedge to the right of the head
        bx = x - (hx + 0.42 * r)
        if 0 <= bx <= 0.45 * r and abs(y - hy) <= 0.1 * r * (1 - bx / (0.45 * r)) + 0.5:
            return orange
        if (dx / (1.25 * r)) ** 2 + (dy / (0.8 * r)) ** 2 <= 1:
            if abs(dx - 0.55 * r) < 0.16 * r and dy < 0.1 * r:
                return black  # breast band
            return white if dy > 0.15 * r else brown
        # tail
        if -1.6 * r <= dx <= -1.0 * r and abs(dy + 0.1 * r - (dx + 1.0 * r) * -0.3) <= 0.18 * r:
            return brown
        # legs
        for lx in (-0.25 * r, 0.3 * r):
            if abs(dx - lx) <= max(0.5, 0.05 * r) and 0.75 * r <= dy <= 1.8 * r:
                return orange
        return None
    return pixel


def keyed_picture(width, height, text, scale, colour, bird=None, text_x=None):
    """Text (and a bird) on the light grey key colour."""
    pixels, tw, th = text_mask(text, scale)
    ox = (width - tw) // 2 if text_x is None else text_x
    oy = (height - th) // 2 if bird is None or text_x is not None else height - th - 2

    def pixel(x, y):
        if (x - ox, y - oy) in pixels:
            return colour
        if (x - ox - 1, y - oy - 1) in pixels:
            return (20, 30, 50)  # shadow
        if bird:
            c = bird(x, y)
            if c:
                return c
        return KEY
    return pixel


def splash_pixel(width, height):
    title, tw, th = text_mask("PLOVER", 8)
    sub, sw, sh = text_mask("OPC DATA ACCESS CLIENT", 2)
    maker, mw, mh = text_mask("LARKSPUR", 2)
    tx, ty = (width - tw) // 2, 154
    sx, sy = (width - sw) // 2, ty + th + 14
    mx, my = width - mw - 12, height - mh - 10
    bird = plover_bird(width // 2 - 10, 80, 34)

    def pixel(x, y):
        for (px, py, mask, c) in ((tx, ty, title, (255, 255, 255)), (sx, sy, sub, (192, 192, 255)),
                                  (mx, my, maker, (200, 220, 240))):
            if (x - px, y - py) in mask:
                return c
            if (x - px - 2, y - py - 2) in mask and mask is title:
                return (0, 20, 40)
        c = bird(x, y)
        if c:
            return c
        if 141 <= y <= 142 and 40 <= x < width - 40:
            return (160, 180, 200)  # the ground the bird stands on
        t = y / (height - 1)
        top, bottom = (20, 50, 100), (82, 107, 132)
        return tuple(int(a + (b - a) * t) for a, b in zip(top, bottom))
    return pixel


def document_icon_pixel(size, x, y):
    """The document type's icon: a page with a folded corner and the program's disc."""
    u, v = x / size, y / size
    fold = 0.28
    left, right, top, bottom = 0.16, 0.84, 0.06, 0.94
    if not (left <= u <= right and top <= v <= bottom):
        return (0, 0, 0, 0)
    if u > right - fold + (v - top):  # cut corner
        return (0, 0, 0, 0)
    edge = 1.0 / size
    if u - left < edge or right - u < edge or v - top < edge or bottom - v < edge or \
            abs(u - (right - fold + (v - top))) < edge * 1.2:
        return (60, 60, 60, 255)
    if u >= right - fold and v <= top + fold and u - (right - fold) <= v - top + edge:
        return (200, 200, 200, 255)  # the folded flap
    # the program's disc, small, low on the page
    d = icon_pixel(size // 2, int((u - 0.3) * size), int((v - 0.45) * size)) \
        if 0.3 <= u < 0.3 + 0.5 and 0.45 <= v < 0.45 + 0.5 else (0, 0, 0, 0)
    if d[3]:
        return d
    if 0.26 <= u <= 0.6 and int(v * size) % max(2, size // 8) == 0 and v < 0.42:
        return (150, 150, 170, 255)  # lines of text
    return (255, 255, 255, 255)


if __name__ == "__main__":
    for art in BUTTONS:
        assert len(art) == 16 and all(len(row) == 16 for row in art), art
    write_bmp24("toolbar.bmp", 16 * len(BUTTONS), 16, toolbar_pixel)
    write_ico("Plover.ico", [32, 16])
    write_ico("PloverDoc.ico", [32, 16], document_icon_pixel)
    write_ico("light_green.ico", [16, 32], light_pixel("green"))
    write_ico("light_red.ico", [16, 32], light_pixel("red"))
    # The credits pictures: 8 bits, light grey wherever the credits background should show.
    write_bmp8("about.bmp", 107, 71,
               keyed_picture(107, 71, "PLOVER", 2, (255, 255, 255), plover_bird(50, 24, 15)))
    write_bmp8("banner1.bmp", 799, 54,
               keyed_picture(799, 54, "PLOVER CLIENT 2.0", 4, (255, 255, 255),
                             plover_bird(150, 24, 14), text_x=197))
    write_bmp8("banner2.bmp", 799, 54,
               keyed_picture(799, 54, "OPC DATA ACCESS", 4, (192, 192, 255)))
    write_bmp8("splash.bmp", 425, 283, splash_pixel(425, 283))
