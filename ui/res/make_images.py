#!/usr/bin/python3
"""Draws the program's icon and the picture of the module shown in the port selection window.

Run from anywhere; writes next to this script:
  ZK405.ico         icon 128: 32x32 and 16x16, 16 colours, for the Windows resource and the window
  zk405-32.png      the same two sizes for the Linux desktop (share/icons/hicolor)
  zk405-16.png
  module.bmp        bitmap 129: 274x161, 24-bit, the module with an arrow at its button and LED

The images are committed; run this again only to change them (python3 with PIL).
"""

import os
import struct

from PIL import Image, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))

# The 16-colour palette every Windows icon editor uses, so that the icon looks the same at 4 bits.
PALETTE16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)
TRANSPARENT = -1


def icon_pixels(size):
    """The module seen from the front, a Bluetooth rune on it: palette indices, TRANSPARENT outside."""
    s = size / 32.0
    img = Image.new("L", (size, size), 255)  # 255 marks transparency while drawing
    d = ImageDraw.Draw(img)

    def box(x0, y0, x1, y1, colour):
        d.rectangle([round(x0 * s), round(y0 * s), round(x1 * s) - 1, round(y1 * s) - 1], fill=colour)

    # housing: black outline, dark grey body, a lighter top edge for depth
    box(2, 5, 30, 29, BLACK)
    box(3, 6, 29, 28, GREY)
    box(3, 6, 29, 8, SILVER)
    box(4, 9, 28, 27, BLACK if size < 32 else GREY)
    if size >= 32:
        box(5, 10, 27, 26, BLACK)
    # connector pins at the bottom
    for x in range(6, 27, 4):
        box(x, 29, x + 2, 31, SILVER)
    # Bluetooth rune
    body = [(10, 13), (18, 21), (14, 25), (14, 10), (18, 14), (10, 22)] if size >= 32 else None
    if body:
        pts = [(round(x * s), round(y * s)) for x, y in body]
        d.line(pts, fill=AQUA, width=2, joint="curve")
    else:
        for x, y in [(7, 4), (7, 5), (7, 6), (7, 7), (7, 8), (7, 9), (7, 10), (7, 11),
                     (8, 5), (9, 6), (8, 7), (6, 7), (5, 6), (8, 9), (9, 10), (8, 11), (6, 9), (5, 10)]:
            img.putpixel((x, y), AQUA)
    # button and LED at the right
    box(22, 20, 25, 23, RED)
    box(22, 12, 25, 14, LIME)
    return [[None if img.getpixel((x, y)) == 255 else img.getpixel((x, y)) for x in range(size)]
            for y in range(size)]


def ico_entry_bytes(pixels):
    """One 4-bit DIB of an icon: header, palette, colour rows and mask rows, both bottom-up."""
    size = len(pixels)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         (xor_stride + and_stride) * size, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE16)
    xor_rows = b""
    and_rows = b""
    for row in reversed(pixels):
        line = bytearray(xor_stride)
        mask = bytearray(and_stride)
        for x, value in enumerate(row):
            index = BLACK if value is None else value
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if value is None:
                mask[x // 8] |= 0x80 >> (x % 8)
        xor_rows += bytes(line)
        and_rows += bytes(mask)
    return header + palette + xor_rows + and_rows


def write_ico(path, images):
    entries = [ico_entry_bytes(p) for p in images]
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for pixels, data in zip(images, entries):
        size = len(pixels)
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(entries))


def write_png(path, pixels):
    size = len(pixels)
    img = Image.new("RGBA", (size, size))
    for y, row in enumerate(pixels):
        for x, value in enumerate(row):
            img.putpixel((x, y), (0, 0, 0, 0) if value is None else PALETTE16[value] + (255,))
    img.save(path)


def font(size, bold=True):
    name = "DejaVuSans-Bold.ttf" if bold else "DejaVuSans.ttf"
    try:
        return ImageFont.truetype(os.path.join("/usr/share/fonts/truetype/dejavu", name), size)
    except OSError:
        return ImageFont.load_default()


def module_picture():
    """A studio shot of the module: drawn four times larger and scaled down for soft edges."""
    k = 4
    w, h = 274, 161
    img = Image.new("RGB", (w * k, h * k))
    d = ImageDraw.Draw(img)
    # backdrop: light grey, darker towards the bottom like a table under a lamp
    for y in range(h * k):
        t = y / (h * k)
        c = int(236 - 40 * t)
        d.line([(0, y), (w * k, y)], fill=(c, c, c + 4))

    def rr(box, radius, fill, outline=None, width=1):
        d.rounded_rectangle([v * k for v in box], radius=radius * k, fill=fill, outline=outline,
                            width=width * k)

    # soft shadow
    shadow = Image.new("L", img.size, 0)
    ImageDraw.Draw(shadow).rounded_rectangle([46 * k, 46 * k, 212 * k, 140 * k], radius=10 * k, fill=120)
    shadow = shadow.filter(ImageFilter.GaussianBlur(6 * k))
    img.paste((70, 70, 75), mask=shadow)
    d = ImageDraw.Draw(img)

    # the printer plug on the left: metal shell and the screw posts
    rr((14, 64, 44, 110), 3, (150, 152, 156), (90, 90, 95))
    rr((20, 70, 40, 104), 2, (112, 114, 118))
    for y in (58, 112):
        d.ellipse([24 * k, y * k, 34 * k, (y + 8) * k], fill=(170, 170, 172), outline=(95, 95, 100),
                  width=k)
    # the housing: near-black body, a top face catching the light, a seam along the side
    rr((38, 36, 206, 132), 9, (34, 35, 38), (12, 12, 14), 2)
    rr((42, 38, 202, 58), 7, (62, 63, 68))
    d.line([(44 * k, 120 * k), (200 * k, 120 * k)], fill=(20, 20, 22), width=k)
    # the label
    d.text((58 * k, 70 * k), "KALDOR", font=font(13 * k), fill=(206, 206, 210))
    d.text((58 * k, 88 * k), "ZK405  Bluetooth", font=font(9 * k, bold=False), fill=(160, 160, 166))
    # the configuration button: a round recessed key
    d.ellipse([168 * k, 88 * k, 186 * k, 106 * k], fill=(18, 18, 20), outline=(80, 80, 86), width=k)
    d.ellipse([171 * k, 91 * k, 183 * k, 103 * k], fill=(58, 58, 64))
    d.ellipse([173 * k, 92 * k, 179 * k, 97 * k], fill=(92, 92, 100))
    # the LED, lit, with a glow
    glow = Image.new("L", img.size, 0)
    ImageDraw.Draw(glow).ellipse([170 * k, 62 * k, 186 * k, 78 * k], fill=170)
    glow = glow.filter(ImageFilter.GaussianBlur(4 * k))
    img.paste((60, 220, 90), mask=glow)
    d = ImageDraw.Draw(img)
    d.ellipse([174 * k, 66 * k, 182 * k, 74 * k], fill=(70, 235, 100), outline=(20, 90, 30), width=k)
    d.ellipse([176 * k, 67 * k, 179 * k, 70 * k], fill=(210, 255, 215))

    # the red arrow from the upper right, its head between the LED and the button
    red = (215, 25, 25)
    tip = (192, 84)
    d.line([(262 * k, 18 * k), (204 * k, 72 * k)], fill=red, width=6 * k)
    d.polygon([(tip[0] * k, tip[1] * k), (198 * k, 62 * k), (214 * k, 78 * k)], fill=red)
    return img.resize((w, h), Image.LANCZOS)


def main():
    icons = [icon_pixels(32), icon_pixels(16)]
    write_ico(os.path.join(HERE, "ZK405.ico"), icons)
    write_png(os.path.join(HERE, "zk405-32.png"), icons[0])
    write_png(os.path.join(HERE, "zk405-16.png"), icons[1])
    module_picture().save(os.path.join(HERE, "module.bmp"))


if __name__ == "__main__":
    main()
