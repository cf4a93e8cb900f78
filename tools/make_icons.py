#!/usr/bin/env python3
"""Draws the setup program's icons and writes them as classic .ico files.

The pictures are drawn here rather than kept as binaries so that the build can
regenerate them, a review can see what they are, and the output is the same
bytes on every run (no timestamps, no randomness, no third-party modules).

    make_icons.py OUTDIR [--png PREVIEW]

OUTDIR receives icon129.ico ... icon1023.ico. With --png a preview sheet of
every image at 4x magnification is written as well (PREVIEW may be a .png
file name or a folder, which then receives icons_preview.png).

Every image is stored the way the old resource compilers expect it: a
BITMAPINFOHEADER DIB with doubled height, a colour (XOR) bitmap with its
palette and a 1-bpp AND mask that makes the background transparent. 16-colour
images use the standard Windows palette, so they look the same on every
display depth; the 48x48 images use 8 bpp.
"""

import argparse
import math
import os
import struct
import sys
import zlib

# ---------------------------------------------------------------------------
# Palettes

VGA16 = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = VGA16[0:8]
GRAY, RED, LIME, YELLOW, BLUE, MAGENTA, CYAN, WHITE = VGA16[8:16]


def _palette256():
    # The 16 system colours first (so 4-bpp artwork keeps its exact colours
    # when drawn at 8 bpp), then a 6x6x6 colour cube and a grey ramp.
    pal = list(VGA16)
    levels = [0, 51, 102, 153, 204, 255]
    for r in levels:
        for g in levels:
            for b in levels:
                pal.append((r, g, b))
    for i in range(24):
        v = 8 + i * 10
        pal.append((v, v, v))
    assert len(pal) == 256
    return pal


PAL256 = _palette256()


def nearest(pal, rgb):
    r, g, b = rgb
    best = 0
    best_d = None
    for i, (pr, pg, pb) in enumerate(pal):
        # Weighted distance: the eye notices errors in green the most.
        d = 2 * (pr - r) ** 2 + 4 * (pg - g) ** 2 + 3 * (pb - b) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# ---------------------------------------------------------------------------
# Geometry: every shape is a predicate over continuous pixel coordinates.

def round_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def polygon(points):
    pts = list(points)

    def inside(x, y):
        hit = False
        n = len(pts)
        for i in range(n):
            ax, ay = pts[i]
            bx, by = pts[(i + 1) % n]
            if (ay > y) != (by > y):
                xc = ax + (y - ay) * (bx - ax) / (by - ay)
                if x < xc:
                    hit = not hit
        return hit
    return inside


def segment(ax, ay, bx, by, width):
    half = width / 2.0
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = 0.0 if length2 == 0 else ((x - ax) * dx + (y - ay) * dy) / length2
        t = min(1.0, max(0.0, t))
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= half * half
    return inside


def bezier(p0, p1, p2, t):
    u = 1.0 - t
    return (u * u * p0[0] + 2 * u * t * p1[0] + t * t * p2[0],
            u * u * p0[1] + 2 * u * t * p1[1] + t * t * p2[1])


# ---------------------------------------------------------------------------
# Raster: a picture is a grid of RGB tuples, None where transparent.

class Picture:
    def __init__(self, size):
        self.size = size
        self.px = [[None] * size for _ in range(size)]

    def get(self, x, y):
        if 0 <= x < self.size and 0 <= y < self.size:
            return self.px[y][x]
        return None

    def set(self, x, y, rgb):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = rgb

    def fill(self, shape, colour, samples=4, threshold=0.5):
        """Paints the pixels that the shape covers to at least `threshold`.

        `colour` may be an RGB tuple or a function of the pixel centre, which
        lets the larger images carry gradients.
        """
        n = samples
        offs = [(k + 0.5) / n for k in range(n)]
        need = threshold * n * n
        painted = set()
        for y in range(self.size):
            for x in range(self.size):
                hits = 0
                for oy in offs:
                    for ox in offs:
                        if shape(x + ox, y + oy):
                            hits += 1
                if hits and hits >= need:
                    c = colour(x + 0.5, y + 0.5) if callable(colour) else colour
                    self.px[y][x] = c
                    painted.add((x, y))
        return painted

    def outline(self, colour, region=None, against_all=False):
        """Darkens the edge pixels of a region (default: the whole picture).

        An edge pixel touches the transparent background, or with
        `against_all` anything outside the region, so that a part drawn over
        another reads as a separate plane. A pixel-art outline keeps small
        icons readable on any dialog colour.
        """
        if region is None:
            region = {(x, y) for y in range(self.size) for x in range(self.size)
                      if self.px[y][x] is not None}
        edge = []
        for x, y in region:
            if self.px[y][x] is None:
                continue
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                n = (x + dx, y + dy)
                if self.get(*n) is None or (against_all and n not in region):
                    edge.append((x, y))
                    break
        for x, y in edge:
            self.px[y][x] = colour

    def stamp(self, x0, y0, rows, colour, scale=1):
        for j, row in enumerate(rows):
            for i, ch in enumerate(row):
                if ch != '#':
                    continue
                for sy in range(scale):
                    for sx in range(scale):
                        self.set(x0 + i * scale + sx, y0 + j * scale + sy, colour)


# ---------------------------------------------------------------------------
# A small 5x7 bitmap font for the variant badges and the preview labels.

FONT = {
    'D': ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    'F': ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    'K': ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    'M': ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    'N': ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    'S': [".###.", "#...#", "#....", ".###.", "....#", "#...#", ".###."],
    'T': ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    'V': ["#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."],
    '0': [".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."],
    '1': ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    '2': [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
    '3': ["#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."],
    '4': ["...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."],
    '5': ["#####", "#....", "####.", "....#", "....#", "#...#", ".###."],
    '6': ["..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."],
    '7': ["#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."],
    '8': [".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."],
    '9': [".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."],
}


def text_rows(text):
    rows = [''] * 7
    for k, ch in enumerate(text):
        glyph = FONT[ch]
        for j in range(7):
            rows[j] += ('.' if k else '') + glyph[j]
    return rows


# ---------------------------------------------------------------------------
# The pictures. Coordinates are written for a 32-pixel canvas and scaled.

def draw_globe(size):
    pic = Picture(size)
    s = size / 32.0
    cx = cy = size / 2.0
    r = 14.6 * s
    tilt = math.radians(22)     # north pole leans towards the viewer
    lon0 = math.radians(-30)    # Atlantic in front, land on both sides
    light = (-0.55, 0.6, 0.58)   # from the upper left, as on every Windows icon
    ln = math.sqrt(sum(v * v for v in light))
    light = tuple(v / ln for v in light)

    # Continents as blobs in (latitude, longitude) degrees: crude, but at
    # 16 and 32 pixels only the silhouette of land against sea matters.
    land = [
        (47, -98, 16, 24), (60, -108, 8, 24), (24, -100, 8, 8), (13, -86, 6, 5),
        (-10, -58, 18, 15), (-32, -66, 11, 7),
        (72, -40, 8, 13),
        (49, 16, 10, 20), (62, 18, 7, 10),
        (9, 16, 20, 20), (-18, 24, 13, 11),
    ]

    def geo(x, y):
        nx = (x - cx) / r
        ny = (cy - y) / r
        d = nx * nx + ny * ny
        if d > 1.0:
            return None
        nz = math.sqrt(1.0 - d)
        # rotate about the screen x axis so the equator dips below centre
        wy = ny * math.cos(tilt) + nz * math.sin(tilt)
        wz = -ny * math.sin(tilt) + nz * math.cos(tilt)
        lat = math.degrees(math.asin(max(-1.0, min(1.0, wy))))
        lon = math.degrees(math.atan2(nx, wz) + lon0)
        return lat, lon, (nx, ny, nz)

    def is_land(lat, lon):
        for la, lo, rla, rlo in land:
            if ((lat - la) / rla) ** 2 + ((lon - lo) / rlo) ** 2 <= 1.0:
                return True
        return False

    step = 30.0 if size >= 32 else 40.0
    n = 4
    offs = [(k + 0.5) / n for k in range(n)]
    for py in range(size):
        for px in range(size):
            samples = [geo(px + ox, py + oy) for oy in offs for ox in offs]
            inside = [g for g in samples if g is not None]
            if len(inside) * 2 < len(samples):
                continue
            centre = geo(px + 0.5, py + 0.5) or inside[len(inside) // 2]
            lat, lon, nrm = centre
            lit = sum(nrm[i] * light[i] for i in range(3))
            land_here = sum(1 for g in inside if is_land(g[0], g[1])) * 2 >= len(inside)
            # A pixel lies on a grid line when its samples straddle one.
            # Parallels beyond 45 degrees and meridians near the pole crowd
            # into a solid patch at icon sizes, so they are left out.
            lat_cells = {math.floor(g[0] / step) for g in inside if abs(g[0]) < 45}
            lon_cells = {math.floor(g[1] / step) for g in inside if abs(g[0]) < 62}
            on_grid = len(lat_cells) > 1 or len(lon_cells) > 1
            if land_here:
                # The grid stays off the land: at this size it would break
                # the continents into specks.
                colour = LIME if lit > 0.0 else GREEN
            else:
                colour = BLUE if lit > -0.3 else NAVY
                if on_grid:
                    colour = CYAN if lit > -0.1 else BLUE
            if lit > 0.985 and not land_here:
                colour = WHITE
            pic.set(px, py, colour)
    pic.outline(NAVY)
    return pic


def _dotted_arrow(size, rising):
    """A row of dots that takes off (or lands) along a curve, ending in a
    head at 45 degrees: the only slant at which a pixel head stays crisp."""
    pic = Picture(size)
    s = size / 32.0

    def flip(y):
        # The falling arrow is the rising one mirrored top to bottom.
        return y if rising else size - 1 - y

    p0, p1, p2 = (2.0 * s, 27.5 * s), (13.0 * s, 22.5 * s), (20.5 * s, 13.5 * s)
    # Even spacing along the curve, not along t, or the dots bunch up.
    table = []
    prev = p0
    length = 0.0
    for k in range(401):
        q = bezier(p0, p1, p2, k / 400.0)
        length += math.hypot(q[0] - prev[0], q[1] - prev[1])
        table.append((length, q))
        prev = q
    # Head: a right-angled triangle whose tip points along the diagonal.
    leg = int(round(7 * s))
    tx, ty = int(round(28 * s)) - 1, int(round(6 * s))
    for y in range(ty, ty + leg + 1):
        for x in range(tx - leg, tx + 1):
            if (tx - x) + (y - ty) <= leg:
                pic.set(x, flip(y), BLUE)
    pic.outline(NAVY)
    dot = max(1, int(round(2 * s)))
    gap = 4.0 * s
    count = int(length // gap) + 1
    for i in range(count):
        want = length - i * gap
        q = next(pt for l, pt in table if l >= want - 1e-9)
        x0 = int(round(q[0] - dot / 2.0))
        y0 = int(round(q[1] - dot / 2.0))
        for dy in range(dot):
            for dx in range(dot):
                pic.set(x0 + dx, flip(y0 + dy), NAVY if i % 2 else BLUE)
    return pic


def draw_arrow_up(size):
    return _dotted_arrow(size, rising=True)


def draw_arrow_down(size):
    return _dotted_arrow(size, rising=False)


def draw_sheet(size):
    pic = Picture(size)
    s = size / 32.0
    ang = math.radians(-18)
    ca, sa = math.cos(ang), math.sin(ang)
    ox, oy = 18.5, 15.5

    def place(x, y):
        # Sheet space (x right, y down, centred on the sheet) to pixels,
        # tilted and with a slight shear so the sheet looks wind-blown.
        x = x + 0.18 * y
        return ((ox + x * ca - y * sa) * s, (oy + x * sa + y * ca) * s)

    w, h, fold = 7.5, 9.5, 6.0
    body = polygon([place(-w, -h), place(w - fold, -h), place(w, -h + fold),
                    place(w, h), place(-w, h)])
    ear = polygon([place(w - fold, -h), place(w - fold, -h + fold), place(w, -h + fold)])
    # Speed lines trail behind the sheet.
    small = size < 32
    trails = [(-9.5, -4.0, 5.0), (-10.5, 0.5, 6.5), (-9.0, 5.0, 4.5)]
    if small:
        trails = [(-10.0, -3.0, 6.0), (-10.5, 3.0, 6.0)]
    for tx, ty, tl in trails:
        a = place(tx - tl, ty)
        b = place(tx, ty)
        pic.fill(segment(a[0], a[1], b[0], b[1], max(1.0, 1.1 * s)), GRAY)
    body_px = pic.fill(body, YELLOW)
    if not small:
        for k, ly in enumerate((-4.5, -1.5, 1.5, 4.5)):
            x1 = 3.5 if k != 3 else 0.0
            a, b = place(-4.0, ly), place(x1, ly)
            pic.fill(segment(a[0], a[1], b[0], b[1], 1.0), OLIVE)
    else:
        for ly in (-3.0, 2.0):
            a, b = place(-4.0, ly), place(3.5, ly)
            pic.fill(segment(a[0], a[1], b[0], b[1], 0.9), OLIVE)
    # The turned-down corner gets no outline of its own: at this size a
    # rim around it would swallow it; the change of colour shows the fold.
    ear_px = pic.fill(ear, SILVER if not small else WHITE)
    pic.outline(BLACK, body_px | ear_px)
    return pic


def draw_folder(size):
    pic = Picture(size)
    s = size / 32.0

    def P(x, y):
        return (x * s, y * s)

    back = polygon([P(2, 8), P(3, 6), P(11, 6), P(13, 9), P(26, 9), P(26, 27), P(2, 27)])
    paper = polygon([P(9, 6), P(21, 3.5), P(24, 16), P(11, 18)])
    front = polygon([P(7, 14), P(31, 14), P(26, 28), P(2, 28)])
    pic.fill(back, OLIVE)
    pic.outline(BLACK)
    paper_px = pic.fill(paper, WHITE)
    pic.outline(BLACK, paper_px, against_all=True)
    if size >= 32:
        for k in range(3):
            a, b = P(12.0 + 0.4 * k, 8.6 + 2.6 * k), P(19.5 + 0.4 * k, 7.1 + 2.6 * k)
            pic.fill(segment(a[0], a[1], b[0], b[1], 0.9), SILVER)
    front_px = pic.fill(front, YELLOW)
    pic.outline(BLACK, front_px, against_all=True)
    return pic


# Variant badges: a rounded tile in the variant's own colour with its letters.
BADGES = {
    1012: ("FD", RED, MAROON, (255, 120, 110)),
    1013: ("VN", TEAL, (0, 64, 64), (70, 200, 200)),
    1014: ("TK", GREEN, (0, 64, 0), (80, 200, 80)),
    1015: ("S", BLUE, NAVY, (110, 150, 255)),
    1023: ("M", PURPLE, (64, 0, 64), (200, 90, 200)),
}


def draw_badge(size, key, rich):
    label, face, dark, light = BADGES[key]
    pic = Picture(size)
    s = size / 32.0
    m = 1.0 * s
    radius = 5.0 * s
    tile = round_rect(m, m, size - m, size - m, radius)
    if rich:
        # A vertical gradient: 8 bpp has the colours for it.
        pic.fill(tile, lambda x, y: mix(light, face, min(1.0, y / size * 1.3)))
        pic.outline(dark)
    else:
        pic.fill(tile, face)
        pic.outline(BLACK)
        # A white rim along the inner top edge gives the flat tile some depth.
        for x in range(size):
            for y in range(size):
                if pic.px[y][x] == face and pic.get(x, y - 1) == BLACK:
                    pic.px[y][x] = WHITE
                    break
    rows = text_rows(label)
    tw, th = len(rows[0]), 7
    inner = int(size * 0.7)
    scale = max(1, min(inner // tw, inner // th))
    if size <= 16:
        scale = 1   # a doubled glyph would fill the whole tile
    x0 = (size - tw * scale) // 2
    y0 = (size - th * scale) // 2
    pic.stamp(x0 + max(1, scale // 2), y0 + max(1, scale // 2), rows,
              dark if rich else BLACK, scale)
    pic.stamp(x0, y0, rows, WHITE, scale)
    return pic


# ---------------------------------------------------------------------------
# Icon file writer

def palette_for(pic, bpp):
    if bpp == 4:
        return VGA16
    # At 8 bpp the image gets its own exact colours after the system ones, so
    # gradients do not band; a busier picture falls back to the colour cube.
    # The colour table holds only the colours there are (the header's
    # biClrUsed): 256 entries would be some 800 bytes of unused black.
    used = sorted({c for row in pic.px for c in row if c is not None} - set(VGA16))
    if len(VGA16) + len(used) <= 256:
        return VGA16 + used
    return PAL256


def encode_image(pic, bpp):
    size = pic.size
    pal = palette_for(pic, bpp)
    cache = {}
    idx_rows = []
    mask_rows = []
    for y in range(size):
        idx = []
        mask = []
        for x in range(size):
            c = pic.px[y][x]
            if c is None:
                idx.append(0)  # black XOR keeps the screen pixel unchanged
                mask.append(1)
            else:
                if c not in cache:
                    cache[c] = nearest(pal, c)
                idx.append(cache[c])
                mask.append(0)
        idx_rows.append(idx)
        mask_rows.append(mask)

    def pad(b):
        return b + b'\0' * ((-len(b)) % 4)

    xor = bytearray()
    andm = bytearray()
    for y in range(size - 1, -1, -1):   # DIBs are stored bottom-up
        row = idx_rows[y]
        if bpp == 4:
            line = bytes((row[i] << 4) | row[i + 1] for i in range(0, size, 2))
        else:
            line = bytes(row)
        xor += pad(line)
        bits = bytearray((size + 7) // 8)
        for x, v in enumerate(mask_rows[y]):
            if v:
                bits[x // 8] |= 0x80 >> (x % 8)
        andm += pad(bytes(bits))
    used = len(pal) if len(pal) < 1 << bpp else 0
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0,
                         len(xor) + len(andm), 0, 0, used, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in pal)
    return header + palette + bytes(xor) + bytes(andm)


def write_ico(path, images):
    """images: list of (Picture, bpp), largest first."""
    blobs = [encode_image(p, bpp) for p, bpp in images]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for (pic, bpp), blob in zip(images, blobs):
        dim = pic.size if pic.size < 256 else 0
        colours = 1 << bpp if bpp < 8 else 0
        out += struct.pack('<BBBBHHII', dim, dim, colours, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    with open(path, 'wb') as f:
        f.write(out)


def build_icons():
    """Returns [(resource id, [(Picture, bpp), ...])] in resource order."""
    icons = []
    # The program's file icon is the globe of the dialog.
    globe = [(draw_globe(32), 4), (draw_globe(16), 4)]
    icons.append((129, globe))
    icons.append((130, globe))
    icons.append((132, [(draw_arrow_down(32), 4)]))
    icons.append((133, [(draw_folder(32), 4), (draw_folder(16), 4)]))
    icons.append((134, [(draw_arrow_up(32), 4)]))
    icons.append((135, [(draw_sheet(32), 4), (draw_sheet(16), 4)]))
    for key in (1012, 1013, 1014, 1015, 1023):
        images = []
        if key in (1012, 1015):
            images.append((draw_badge(48, key, rich=True), 8))
        images += [(draw_badge(32, key, rich=False), 4), (draw_badge(16, key, rich=False), 4)]
        icons.append((key, images))
    return icons


# ---------------------------------------------------------------------------
# Preview sheet

def quantised(pic, bpp):
    """The picture as the icon file will show it (palette colours)."""
    pal = palette_for(pic, bpp)
    q = Picture(pic.size)
    cache = {}
    for y in range(pic.size):
        for x in range(pic.size):
            c = pic.px[y][x]
            if c is not None:
                if c not in cache:
                    cache[c] = pal[nearest(pal, c)]
                q.px[y][x] = cache[c]
    return q


def write_png(path, width, height, rows):
    raw = b''.join(b'\0' + bytes(v for px in row for v in px) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xFFFFFFFF)

    png = b'\x89PNG\r\n\x1a\n'
    png += chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(raw, 9))
    png += chunk(b'IEND', b'')
    with open(path, 'wb') as f:
        f.write(png)


def write_preview(path, icons, zoom=4):
    dialog_grey = (0xF0, 0xF0, 0xF0)
    cell = 48 * zoom + 8
    label_h = 7 * 2 + 10
    pad = 8
    cols = 3   # 48, 32, 16
    sheet_w = pad + cols * cell + pad
    row_h = cell + label_h
    # A strip showing the five decorative icons where the dialog puts them
    # (dialog units converted with a typical 9-point Arial base of 6x15).
    strip_h = 70 * zoom
    sheet_h = pad + len(icons) * row_h + strip_h + pad
    hdlu, vdlu = 6 / 4.0, 15 / 8.0
    sheet_w = max(sheet_w, pad + int((100 * hdlu + 32) * zoom) + pad)
    canvas = [[dialog_grey] * sheet_w for _ in range(sheet_h)]

    def put(x, y, c):
        if 0 <= x < sheet_w and 0 <= y < sheet_h:
            canvas[y][x] = c

    def blit(pic, x0, y0, z, checker=True):
        for y in range(pic.size):
            for x in range(pic.size):
                c = pic.px[y][x]
                for sy in range(z):
                    for sx in range(z):
                        if c is None:
                            if not checker:
                                continue
                            cc = (0xFF, 0xFF, 0xFF) if ((x + y) & 1) else (0xE0, 0xE0, 0xE0)
                        else:
                            cc = c
                        put(x0 + x * z + sx, y0 + y * z + sy, cc)

    def label(text, x0, y0, scale=2):
        for j, row in enumerate(text_rows(text)):
            for i, ch in enumerate(row):
                if ch == '#':
                    for sy in range(scale):
                        for sx in range(scale):
                            put(x0 + i * scale + sx, y0 + j * scale + sy, (0, 0, 0))

    y = pad
    for key, images in icons:
        label(str(key), pad, y)
        for pic, bpp in images:
            col = {48: 0, 32: 1, 16: 2}[pic.size]
            blit(quantised(pic, bpp), pad + col * cell, y + label_h, zoom)
        y += row_h
    pics = {key: quantised(images[0][0], images[0][1]) for key, images in icons}
    for key, (dx, dy) in ((130, (5, 59)), (134, (28, 54)), (135, (53, 52)),
                          (132, (77, 54)), (133, (100, 59))):
        blit(pics[key], pad + int(dx * hdlu * zoom), y + int((dy - 50) * vdlu * zoom),
             zoom, checker=False)
    write_png(path, sheet_w, sheet_h, canvas)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('outdir', help='folder that receives the .ico files')
    ap.add_argument('--png', metavar='PREVIEW',
                    help='also write a preview sheet (a .png file name or a folder)')
    args = ap.parse_args(argv)
    os.makedirs(args.outdir, exist_ok=True)
    icons = build_icons()
    for key, images in icons:
        write_ico(os.path.join(args.outdir, 'icon%d.ico' % key), images)
    if args.png:
        target = args.png
        if not target.lower().endswith('.png'):
            os.makedirs(target, exist_ok=True)
            target = os.path.join(target, 'icons_preview.png')
        write_preview(target, icons)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
