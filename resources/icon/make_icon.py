#!/usr/bin/env python3
# Draws the program's icon (a storage box with a down arrow) as PNG files of 16, 32, 48 and 256
# pixels, an .ico holding all four, and the same drawing as SVG. Standard library only.
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (16, 32, 48, 256)

# The drawing in a unit square, y down; painted in this order.
BODY = (0.10, 0.44, 0.90, 0.93, 0.07)  # x0, y0, x1, y1, corner radius
TOP_BAND = (0.10, 0.44, 0.90, 0.53)
BAYS = ((0.20, 0.59, 0.80, 0.66), (0.20, 0.72, 0.80, 0.79))
LED = (0.78, 0.86, 0.035)
ARROW = [(0.41, 0.05), (0.59, 0.05), (0.59, 0.30), (0.74, 0.30), (0.50, 0.56), (0.26, 0.30),
         (0.41, 0.30)]
OUTLINE = 0.035

C_BODY = (0x3B, 0x4A, 0x5C)
C_TOP = (0x5A, 0x70, 0x88)
C_BAY = (0x24, 0x2E, 0x3A)
C_LED = (0x5F, 0xD3, 0x5F)
C_ARROW = (0xF0, 0x8C, 0x1E)
C_EDGE = (0x1E, 0x26, 0x30)


def in_round_rect(x, y, r):
    x0, y0, x1, y1, rad = r
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + rad), x1 - rad)
    cy = min(max(y, y0 + rad), y1 - rad)
    return (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad


def in_rect(x, y, r):
    return r[0] <= x <= r[2] and r[1] <= y <= r[3]


def in_polygon(x, y, pts):
    inside = False
    j = len(pts) - 1
    for i in range(len(pts)):
        xi, yi = pts[i]
        xj, yj = pts[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def near_polygon(x, y, pts, w):
    for i in range(len(pts)):
        ax, ay = pts[i]
        bx, by = pts[(i + 1) % len(pts)]
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        if (x - ax - t * dx) ** 2 + (y - ay - t * dy) ** 2 <= w * w:
            return True
    return False


def sample(x, y):
    """Colour and coverage (0 or 1) of one point of the drawing."""
    colour = None
    if in_round_rect(x, y, BODY):
        colour = C_BODY
        if in_rect(x, y, TOP_BAND):
            colour = C_TOP
        for bay in BAYS:
            if in_rect(x, y, bay):
                colour = C_BAY
        if (x - LED[0]) ** 2 + (y - LED[1]) ** 2 <= LED[2] ** 2:
            colour = C_LED
    if in_polygon(x, y, ARROW):
        colour = C_ARROW
    elif near_polygon(x, y, ARROW, OUTLINE):
        colour = C_EDGE
    return colour


def render(size):
    n = 4 if size <= 48 else 3
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            r = g = b = a = 0
            for sy in range(n):
                for sx in range(n):
                    c = sample((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                        a += 1
            if a:
                row += bytes((r // a, g // a, b // a, 255 * a // (n * n)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b"".join(b"\x00" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(images):
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in images:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return head + entries + b"".join(d for _, d in images)


def svg():
    x0, y0, x1, y1, rad = BODY
    s = 256
    def f(v):
        return f"{v * s:.2f}"
    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{s}" height="{s}" '
             f'viewBox="0 0 {s} {s}">',
             '<defs><clipPath id="body"><rect x="%s" y="%s" width="%s" height="%s" rx="%s"/>'
             '</clipPath></defs>' % (f(x0), f(y0), f(x1 - x0), f(y1 - y0), f(rad)),
             '<rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="#%02x%02x%02x"/>'
             % (f(x0), f(y0), f(x1 - x0), f(y1 - y0), f(rad), *C_BODY),
             '<rect clip-path="url(#body)" x="%s" y="%s" width="%s" height="%s" '
             'fill="#%02x%02x%02x"/>' % (f(TOP_BAND[0]), f(TOP_BAND[1]),
                                         f(TOP_BAND[2] - TOP_BAND[0]),
                                         f(TOP_BAND[3] - TOP_BAND[1]), *C_TOP)]
    for b in BAYS:
        parts.append('<rect x="%s" y="%s" width="%s" height="%s" fill="#%02x%02x%02x"/>'
                     % (f(b[0]), f(b[1]), f(b[2] - b[0]), f(b[3] - b[1]), *C_BAY))
    parts.append('<circle cx="%s" cy="%s" r="%s" fill="#%02x%02x%02x"/>'
                 % (f(LED[0]), f(LED[1]), f(LED[2]), *C_LED))
    points = " ".join(f"{f(x)},{f(y)}" for x, y in ARROW)
    parts.append('<polygon points="%s" fill="#%02x%02x%02x" stroke="#%02x%02x%02x" '
                 'stroke-width="%s" stroke-linejoin="round" paint-order="stroke"/>'
                 % (points, *C_ARROW, *C_EDGE, f(2 * OUTLINE)))
    parts.append("</svg>\n")
    return "\n".join(parts)


def main():
    images = []
    for size in SIZES:
        data = png(size, render(size))
        with open(os.path.join(HERE, f"marlowick-{size}.png"), "wb") as out:
            out.write(data)
        images.append((size, data))
    with open(os.path.join(HERE, "marlowick.ico"), "wb") as out:
        out.write(ico(images))
    with open(os.path.join(HERE, "marlowick.svg"), "w") as out:
        out.write(svg())


if __name__ == "__main__":
    main()
