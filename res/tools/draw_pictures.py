#!/usr/bin/env python3
"""Draws the program's pictures: the icon (16, 32 and 48 px), the tray
menu's folder and exit pictures (16 px), the camera
picture of the arrival window and the logo of the About page (90 x 90 PNG
with alpha). Pure Python, so anyone can change and redraw them:
    python3 res/tools/draw_pictures.py res/
"""
import math
import struct
import sys
import zlib


def blend(dst, src):
    sr, sg, sb, sa = src
    dr, dg, db, da = dst
    a = sa / 255.0
    oa = a + da / 255.0 * (1 - a)
    if oa <= 0:
        return (0, 0, 0, 0)
    def ch(s, d):
        return int(round((s * a + d * (da / 255.0) * (1 - a)) / oa))
    return (ch(sr, dr), ch(sg, dg), ch(sb, db), int(round(oa * 255)))


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[(0, 0, 0, 0) for _ in range(size)] for _ in range(size)]

    def shape(self, inside, colour, samples=4):
        """Fills where inside(x, y) holds, antialiased by supersampling."""
        n = self.size
        for y in range(n):
            for x in range(n):
                hits = 0
                for sy in range(samples):
                    for sx in range(samples):
                        if inside(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples):
                            hits += 1
                if hits:
                    r, g, b, a = colour
                    cover = a * hits / (samples * samples)
                    self.px[y][x] = blend(self.px[y][x], (r, g, b, int(round(cover))))

    def rounded_rect(self, x0, y0, x1, y1, radius, colour):
        def inside(x, y):
            if not (x0 <= x <= x1 and y0 <= y <= y1):
                return False
            cx = min(max(x, x0 + radius), x1 - radius)
            cy = min(max(y, y0 + radius), y1 - radius)
            return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2
        self.shape(inside, colour)

    def circle(self, cx, cy, r, colour):
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, colour)

    def polygon(self, points, colour):
        def inside(x, y):
            c = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    c = not c
                j = i
            return c
        self.shape(inside, colour)


def camera(size):
    s = size / 90.0
    c = Canvas(size)
    c.rounded_rect(30 * s, 14 * s, 56 * s, 30 * s, 4 * s, (60, 64, 72, 255))      # viewfinder hump
    c.rounded_rect(6 * s, 22 * s, 84 * s, 76 * s, 10 * s, (44, 48, 56, 255))      # body
    c.rounded_rect(9 * s, 25 * s, 81 * s, 36 * s, 6 * s, (78, 84, 96, 255))       # top band
    c.rounded_rect(66 * s, 27 * s, 77 * s, 33 * s, 2 * s, (250, 204, 64, 255))    # flash
    c.circle(45 * s, 51 * s, 21 * s, (200, 205, 214, 255))                        # lens ring
    c.circle(45 * s, 51 * s, 16 * s, (26, 40, 70, 255))
    c.circle(45 * s, 51 * s, 10 * s, (40, 96, 170, 255))
    c.circle(40 * s, 46 * s, 4 * s, (230, 240, 255, 200))                         # reflection
    return c


def hummingbird(size):
    s = size / 90.0
    c = Canvas(size)
    c.circle(45 * s, 45 * s, 43 * s, (232, 244, 236, 255))
    c.polygon([(p[0] * s, p[1] * s) for p in [(18, 58), (46, 40), (64, 44), (54, 58), (30, 64)]], (20, 140, 110, 255))  # body
    c.polygon([(p[0] * s, p[1] * s) for p in [(40, 44), (30, 14), (58, 40)]], (40, 180, 140, 255))                      # wing
    c.polygon([(p[0] * s, p[1] * s) for p in [(18, 58), (6, 70), (12, 54)]], (16, 110, 90, 255))                        # tail
    c.circle(64 * s, 42 * s, 8 * s, (200, 40, 90, 255))                                                                 # throat
    c.circle(66 * s, 40 * s, 1.8 * s, (20, 20, 20, 255))                                                                # eye
    c.polygon([(p[0] * s, p[1] * s) for p in [(70, 40), (88, 36), (71, 43)]], (40, 40, 40, 255))                        # bill
    return c


def folder(size):
    s = size / 16.0
    c = Canvas(size)
    c.rounded_rect(1 * s, 2.5 * s, 7 * s, 6 * s, 1 * s, (214, 160, 40, 255))     # tab
    c.rounded_rect(1 * s, 4 * s, 15 * s, 14 * s, 1.2 * s, (232, 180, 56, 255))   # back
    c.polygon([(2.5 * s, 7 * s), (15.5 * s, 7 * s), (14 * s, 14 * s), (1 * s, 14 * s)], (250, 206, 90, 255))  # front
    return c


def power(size):
    s = size / 16.0
    c = Canvas(size)
    def ring(x, y):
        d = ((x - 8 * s) ** 2 + (y - 9 * s) ** 2) ** 0.5
        gap = abs(x - 8 * s) < 2.2 * s and y < 8 * s
        return 4.2 * s <= d <= 6.2 * s and not gap
    c.shape(ring, (200, 40, 40, 255))
    c.rounded_rect(7 * s, 1.5 * s, 9 * s, 8.5 * s, 1 * s, (200, 40, 40, 255))
    return c


def png(canvas):
    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in canvas.px)
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    n = canvas.size
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(canvases):
    """An icon file with 32-bit BMP images (alpha in the fourth byte)."""
    header = struct.pack("<HHH", 0, 1, len(canvases))
    images = []
    for c in canvases:
        n = c.size
        bih = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        xor = b"".join(bytes(v for (r, g, b, a) in c.px[y] for v in (b, g, r, a)) for y in range(n - 1, -1, -1))
        mask_row = ((n + 31) // 32) * 4
        andmask = b"\x00" * (mask_row * n)
        images.append(bih + xor + andmask)
    offset = 6 + 16 * len(canvases)
    entries = b""
    for c, data in zip(canvases, images):
        entries += struct.pack("<BBBBHHII", c.size % 256, c.size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return header + entries + b"".join(images)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "res/"
    with open(out + "camera.png", "wb") as f:
        f.write(png(camera(90)))
    with open(out + "logo.png", "wb") as f:
        f.write(png(hummingbird(90)))
    with open(out + "Kolibrio2.ico", "wb") as f:
        f.write(ico([hummingbird(16), hummingbird(32), hummingbird(48)]))
    # Pictures of the tray menu items.
    with open(out + "folder.ico", "wb") as f:
        f.write(ico([folder(16)]))
    with open(out + "exit.ico", "wb") as f:
        f.write(ico([power(16)]))


if __name__ == "__main__":
    main()
