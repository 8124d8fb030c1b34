"""Draw pintu's picture assets from scratch: default.bmp, drag1pg.ico, hand-cursor.png,
pintu-32.png and pintu-16.png, and the program icon for the desktop: pintu-48.png,
pintu-64.png, pintu-128.png, pintu-256.png and pintu.svg."""

import functools
import math
import os
import random
import struct
import sys
import tempfile

import numpy as np
from PIL import Image, ImageChops, ImageDraw, ImageFilter

OUT_DIR = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------
# Default puzzle picture
# ---------------------------------------------------------------------------

PIC_SIZE = 354
PIC_SEED = 20240210

# Palette index -> RGB.  Everything in the picture is drawn with these.
CREAM = 0
RAY = 1
RED = 2
DARK_RED = 3
GOLD = 4
ORANGE = 5
INK = 6
WHITE = 7
PINK = 8
DEEP_PINK = 9
BROWN = 10
GREEN = 11
SKY = 12
BLUE = 13
PALE_GOLD = 14
GREY = 15
LIGHT_PINK = 16

PALETTE = {
    CREAM: (255, 247, 226),
    RAY: (255, 228, 164),
    RED: (220, 36, 40),
    DARK_RED: (150, 18, 28),
    GOLD: (250, 196, 36),
    ORANGE: (242, 128, 30),
    INK: (36, 24, 22),
    WHITE: (255, 255, 255),
    PINK: (248, 150, 176),
    DEEP_PINK: (214, 62, 110),
    BROWN: (112, 62, 36),
    GREEN: (58, 150, 82),
    SKY: (170, 214, 238),
    BLUE: (52, 110, 190),
    PALE_GOLD: (255, 222, 120),
    GREY: (178, 168, 160),
    LIGHT_PINK: (255, 212, 220),
}

# Tile-difference requirements checked for every grid size.
GRID_SIZES = range(3, 10)
MIN_DIFF_FRACTION = 0.05
MIN_MEAN_ABS_DIFF = 8.0


def polyline_points(pts, step=0.5):
    """Points every `step` pixels along a polyline, with the fraction travelled."""
    seglens = [math.dist(a, b) for a, b in zip(pts, pts[1:])]
    total = sum(seglens) or 1.0
    out = []
    done = 0.0
    for (a, b), length in zip(zip(pts, pts[1:]), seglens):
        n = max(1, int(length / step))
        for i in range(n):
            t = i / n
            out.append((a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t,
                        (done + length * t) / total))
        done += length
    out.append((pts[-1][0], pts[-1][1], 1.0))
    return out


def smooth(pts, rounds=2):
    """Chaikin corner cutting, so brush strokes bend softly."""
    for _ in range(rounds):
        new = [pts[0]]
        for a, b in zip(pts, pts[1:]):
            new.append((0.75 * a[0] + 0.25 * b[0], 0.75 * a[1] + 0.25 * b[1]))
            new.append((0.25 * a[0] + 0.75 * b[0], 0.25 * a[1] + 0.75 * b[1]))
        new.append(pts[-1])
        pts = new
    return pts


def brush(d, pts, widths, colour):
    """A brush stroke: discs stamped along a smoothed path, radius following
    the piecewise-linear profile `widths` (list of (fraction, width))."""
    def width_at(f):
        for (f0, w0), (f1, w1) in zip(widths, widths[1:]):
            if f0 <= f <= f1:
                return w0 + (w1 - w0) * (f - f0) / ((f1 - f0) or 1)
        return widths[-1][1]
    for x, y, f in polyline_points(smooth(pts)):
        r = width_at(f) / 2
        d.ellipse((x - r, y - r, x + r, y + r), fill=colour)


def disc(d, cx, cy, r, fill, outline=None, width=1):
    d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=fill, outline=outline, width=width)


def draw_background(d):
    """Sunburst rays around the rabbit, so no two patches of ground match."""
    d.rectangle((0, 0, PIC_SIZE, PIC_SIZE), fill=CREAM)
    cx, cy = 178, 236
    rays = 34
    far = 600
    for i in range(rays):
        a0 = 2 * math.pi * i / rays + 0.07
        a1 = a0 + math.pi / rays * 0.9
        d.polygon([(cx, cy),
                   (cx + far * math.cos(a0), cy + far * math.sin(a0)),
                   (cx + far * math.cos(a1), cy + far * math.sin(a1))], fill=RAY)


def draw_scattered_motifs(d, rng):
    """Little sparkles and dots strewn across the ground."""
    for _ in range(120):
        x = rng.uniform(4, PIC_SIZE - 4)
        y = rng.uniform(4, PIC_SIZE - 4)
        kind = rng.randrange(3)
        if kind == 0:
            r = rng.uniform(4, 7)
            d.polygon([(x, y - r), (x + r / 3.5, y - r / 3.5), (x + r, y),
                       (x + r / 3.5, y + r / 3.5), (x, y + r), (x - r / 3.5, y + r / 3.5),
                       (x - r, y), (x - r / 3.5, y - r / 3.5)], fill=GOLD)
        elif kind == 1:
            disc(d, x, y, rng.uniform(1.5, 3), LIGHT_PINK)
        else:
            disc(d, x, y, rng.uniform(1.5, 2.5), PALE_GOLD)


def draw_cloud(d, cx, cy, s, fill=SKY, edge=BLUE):
    """An auspicious cloud: overlapping lobes with a curl."""
    lobes = [(-1.2, 0.2, 0.55), (-0.5, -0.25, 0.7), (0.35, -0.1, 0.6), (1.0, 0.25, 0.45)]
    for dx, dy, r in lobes:
        disc(d, cx + dx * s, cy + dy * s, r * s + 2, edge)
    d.rectangle((cx - 1.3 * s, cy + 0.2 * s, cx + 1.1 * s, cy + 0.7 * s + 2), fill=edge)
    for dx, dy, r in lobes:
        disc(d, cx + dx * s, cy + dy * s, r * s, fill)
    d.rectangle((cx - 1.3 * s + 2, cy + 0.2 * s, cx + 1.1 * s - 2, cy + 0.7 * s), fill=fill)
    # curls inside the lobes
    for dx, dy, r in lobes[1:3]:
        d.arc((cx + (dx - r * 0.5) * s, cy + (dy - r * 0.5) * s,
               cx + (dx + r * 0.5) * s, cy + (dy + r * 0.5) * s), 150, 420, fill=edge, width=2)


BANNER_CENTRE = (94, 94)
BANNER_HALF = 84
BANNER_TILT = math.radians(-7)     # swinging a little on its cord


def draw_banner(d):
    """Red diamond banner with the character 春 in brush strokes."""
    cx, cy = BANNER_CENTRE
    ca, sa = math.cos(BANNER_TILT), math.sin(BANNER_TILT)

    def T(pts):
        """Banner-local coordinates (origin at the centre) to picture coordinates."""
        return [(cx + x * ca - y * sa, cy + x * sa + y * ca) for x, y in pts]

    def diamond(h):
        return T([(0, -h), (h, 0), (0, h), (-h, 0)])

    h = BANNER_HALF
    d.polygon(diamond(h), fill=GOLD)
    d.polygon(diamond(h - 6), fill=RED)
    inner = diamond(h - 11)
    d.line(inner + inner[:1], fill=PALE_GOLD, width=2)
    # gold cloud curls in the four inner corners, each a little different
    for k, (ux, uy) in enumerate([(0, -1), (1, 0), (0, 1), (-1, 0)]):
        px, py = T([(ux * (h - 26), uy * (h - 26))])[0]
        r = 6 + k
        d.arc((px - r, py - r, px + r, py + r), 200 + 40 * k, 520 + 40 * k, fill=GOLD, width=2)
        disc(d, px, py, 2, GOLD)
    # a jade disc and a tassel hanging from the bottom corner
    bx, by = diamond(h)[2]
    d.line([(bx, by), (bx + 1, by + 10)], fill=DARK_RED, width=2)
    disc(d, bx + 1, by + 15, 6, GREEN, outline=DARK_RED)
    disc(d, bx + 1, by + 15, 2, CREAM)
    for i in range(-2, 3):
        d.line([(bx + 1, by + 21), (bx + 1 + i * 1.5, by + 34)], fill=RED, width=1)
    d.rectangle((bx - 2, by + 21, bx + 4, by + 23), fill=GOLD)
    # corner knots
    for px, py in diamond(h):
        disc(d, px, py, 5, DARK_RED, outline=GOLD, width=2)

    s = 0.9       # the character lives in a 100 x 100 box centred on the banner

    def P(pts):
        return T([((x - 50) * s, (y - 52) * s) for x, y in pts])

    heavy = [(0, 9), (0.15, 7), (0.85, 6.5), (1, 8)]
    # three horizontals
    brush(d, P([(27, 18), (50, 16), (73, 15)]), heavy, INK)
    brush(d, P([(23, 32), (50, 30), (77, 29)]), heavy, INK)
    brush(d, P([(8, 48), (50, 46), (92, 44)]), [(0, 9), (0.1, 7), (0.9, 7), (1, 10)], INK)
    # falling-left sweep
    brush(d, P([(51, 4), (50, 30), (42, 55), (26, 72), (8, 84)]),
          [(0, 10), (0.3, 8), (0.8, 5), (1, 1.5)], INK)
    # falling-right sweep
    brush(d, P([(53, 50), (64, 62), (78, 74), (95, 82)]),
          [(0, 4), (0.5, 7), (0.85, 11), (1, 2)], INK)
    # 日 underneath
    brush(d, P([(34, 62), (34, 80), (35, 99)]), [(0, 8), (1, 6)], INK)
    brush(d, P([(34, 62), (52, 61), (68, 60), (67, 80), (67, 99)]),
          [(0, 6), (0.45, 6), (0.55, 8), (1, 6)], INK)
    brush(d, P([(37, 79), (52, 79), (64, 78)]), [(0, 6), (1, 5)], INK)
    brush(d, P([(37, 97), (52, 97), (64, 97)]), [(0, 6), (1, 5)], INK)


def draw_lantern(d, cx, top, w, h, string_top=0):
    """A round red lantern hanging on a string, with gold caps and tassel."""
    d.line([(cx, string_top), (cx, top)], fill=DARK_RED, width=2)
    cap_w = w * 0.32
    d.rectangle((cx - cap_w, top, cx + cap_w, top + 7), fill=GOLD, outline=DARK_RED)
    body_top = top + 5
    box = (cx - w / 2, body_top, cx + w / 2, body_top + h)
    d.ellipse((box[0] - 2, box[1] - 2, box[2] + 2, box[3] + 2), fill=DARK_RED)
    d.ellipse(box, fill=RED)
    # ribs
    for k in (0.22, 0.55):
        rw = w / 2 * k
        d.arc((cx - rw, body_top, cx + rw, body_top + h), 270, 90, fill=DARK_RED, width=2)
        d.arc((cx - rw, body_top, cx + rw, body_top + h), 90, 270, fill=DARK_RED, width=2)
    # glow band with a gold diamond
    my = body_top + h / 2
    r = h * 0.16
    d.polygon([(cx, my - r), (cx + r, my), (cx, my + r), (cx - r, my)], fill=GOLD, outline=DARK_RED)
    bottom = body_top + h
    d.rectangle((cx - cap_w, bottom - 4, cx + cap_w, bottom + 3), fill=GOLD, outline=DARK_RED)
    # tassel
    d.rectangle((cx - 2, bottom + 3, cx + 2, bottom + 8), fill=DARK_RED)
    for i in range(-3, 4):
        d.line([(cx, bottom + 8), (cx + i * 2.2, bottom + 8 + h * 0.55)], fill=RED, width=1)
    d.rectangle((cx - 5, bottom + 8, cx + 5, bottom + 11), fill=GOLD)


def draw_firecrackers(d, x0, y0, count):
    """A braid of firecrackers hanging down, with a spark at the bottom."""
    d.line([(x0, y0 - 40), (x0, y0 + count * 15)], fill=BROWN, width=3)
    for i in range(count):
        y = y0 + i * 15
        for side in (-1, 1):
            ang = side * 0.45
            cx = x0 + side * 11
            cy = y + (7 if side > 0 else 0)
            hw, hh = 5, 12
            ca, sa = math.cos(ang), math.sin(ang)
            pts = [(cx + dx * ca - dy * sa, cy + dx * sa + dy * ca)
                   for dx, dy in [(-hw, -hh), (hw, -hh), (hw, hh), (-hw, hh)]]
            d.polygon(pts, fill=RED, outline=DARK_RED)
            band = [(cx + dx * ca - dy * sa, cy + dx * sa + dy * ca)
                    for dx, dy in [(-hw, -3), (hw, -3), (hw, 1), (-hw, 1)]]
            d.polygon(band, fill=GOLD)
    # bursting spark
    sy = y0 + count * 15 + 14
    for k in range(12):
        a = 2 * math.pi * k / 12
        rr = 13 if k % 2 else 8
        d.line([(x0, sy), (x0 + rr * math.cos(a), sy + rr * math.sin(a))],
               fill=ORANGE if k % 2 else GOLD, width=2)
    disc(d, x0, sy, 4, PALE_GOLD)


def blossom(d, cx, cy, r, petal=PINK, centre=DEEP_PINK, phase=0.0):
    """Five-petal plum blossom."""
    for k in range(5):
        a = phase + 2 * math.pi * k / 5
        px, py = cx + r * 0.62 * math.cos(a), cy + r * 0.62 * math.sin(a)
        disc(d, px, py, r * 0.5, petal, outline=DEEP_PINK)
    disc(d, cx, cy, r * 0.33, centre)
    disc(d, cx, cy, r * 0.13, GOLD)


def draw_plum_branch(d):
    """Plum branch reaching up the left side."""
    main = [(0, 352), (22, 318), (30, 286), (48, 252), (52, 222), (70, 196)]
    brush(d, main, [(0, 13), (1, 4)], BROWN)
    brush(d, [(30, 286), (8, 256), (4, 226)], [(0, 7), (1, 3)], BROWN)
    brush(d, [(48, 252), (82, 240), (104, 222)], [(0, 6), (1, 2.5)], BROWN)
    brush(d, [(22, 318), (60, 312), (88, 296)], [(0, 7), (1, 3)], BROWN)
    brush(d, [(52, 222), (38, 200), (36, 182)], [(0, 4), (1, 2)], BROWN)
    flowers = [(70, 194, 12, 0.2), (36, 184, 9, 0.8), (104, 222, 11, 0.5), (4, 228, 10, 1.1),
               (88, 296, 12, 0.1), (50, 250, 8, 1.4), (12, 262, 9, 0.3), (58, 312, 9, 0.9),
               (26, 318, 8, 0.6), (80, 238, 7, 0.4)]
    for cx, cy, r, ph in flowers:
        blossom(d, cx, cy, r, phase=ph)
    for cx, cy in [(60, 206), (94, 230), (20, 245), (72, 304), (44, 268)]:
        disc(d, cx, cy, 3.5, DEEP_PINK)


def coin(d, cx, cy, r):
    """Round gold coin with a square hole."""
    disc(d, cx, cy, r + 1.5, BROWN)
    disc(d, cx, cy, r, GOLD)
    disc(d, cx, cy, r * 0.78, ORANGE)
    disc(d, cx, cy, r * 0.72, GOLD)
    h = r * 0.28
    d.rectangle((cx - h - 1, cy - h - 1, cx + h + 1, cy + h + 1), fill=ORANGE)
    d.rectangle((cx - h, cy - h, cx + h, cy + h), fill=CREAM)
    for dx, dy in [(0, -1), (1, 0), (0, 1), (-1, 0)]:
        disc(d, cx + dx * r * 0.5, cy + dy * r * 0.5, max(1, r * 0.09), BROWN)


def draw_coins(d):
    for cx, cy, r in [(118, 330, 14), (146, 340, 11), (228, 336, 13), (258, 322, 10),
                      (286, 342, 12), (102, 300, 9)]:
        coin(d, cx, cy, r)
    # a small stack of ingots-like coins on the right
    for i in range(4):
        y = 330 - i * 6
        d.ellipse((300, y - 5, 326, y + 5), fill=GOLD, outline=BROWN)


def draw_rabbit(d):
    """Cartoon rabbit holding a big coin, wearing a red scarf."""
    bx, by = 186, 262            # body centre
    hx, hy = 184, 196            # head centre
    # ears (behind head)
    for ex, tilt in [(-16, -0.25), (16, 0.3)]:
        cx, cy = hx + ex + tilt * 40, hy - 52
        ang = tilt
        pts_outer = []
        pts_inner = []
        for k in range(24):
            a = 2 * math.pi * k / 24
            dx, dy = 13 * math.cos(a), 34 * math.sin(a)
            pts_outer.append((cx + dx * math.cos(ang) - dy * math.sin(ang),
                              cy + dx * math.sin(ang) + dy * math.cos(ang)))
            dx, dy = 6 * math.cos(a), 24 * math.sin(a)
            pts_inner.append((cx + dx * math.cos(ang) - dy * math.sin(ang),
                              cy + 4 + dx * math.sin(ang) + dy * math.cos(ang)))
        d.polygon(pts_outer, fill=WHITE, outline=INK, width=3)
        d.polygon(pts_inner, fill=PINK)
    # body
    d.ellipse((bx - 52, by - 48, bx + 52, by + 58), fill=WHITE, outline=INK, width=3)
    # feet
    for fx in (-30, 30):
        d.ellipse((bx + fx - 20, by + 40, bx + fx + 20, by + 62), fill=WHITE, outline=INK, width=3)
        for t in (-6, 0, 6):
            d.line([(bx + fx + t, by + 42), (bx + fx + t, by + 48)], fill=GREY, width=2)
    # head
    d.ellipse((hx - 46, hy - 38, hx + 46, hy + 38), fill=WHITE, outline=INK, width=3)
    # eyes
    for ex in (-18, 18):
        d.ellipse((hx + ex - 7, hy - 10, hx + ex + 7, hy + 6), fill=INK)
        disc(d, hx + ex + 2, hy - 5, 2.5, WHITE)
    # cheeks
    for ex in (-30, 30):
        d.ellipse((hx + ex - 9, hy + 6, hx + ex + 9, hy + 16), fill=LIGHT_PINK)
    # nose and mouth
    d.polygon([(hx - 5, hy + 6), (hx + 5, hy + 6), (hx, hy + 11)], fill=DEEP_PINK)
    d.arc((hx - 9, hy + 6, hx, hy + 18), 20, 160, fill=INK, width=2)
    d.arc((hx, hy + 6, hx + 9, hy + 18), 20, 160, fill=INK, width=2)
    # scarf
    d.chord((hx - 40, hy + 22, hx + 40, hy + 50), 0, 180, fill=RED, outline=DARK_RED, width=2)
    d.polygon([(hx + 18, hy + 40), (hx + 36, hy + 70), (hx + 24, hy + 74), (hx + 12, hy + 44)],
              fill=RED, outline=DARK_RED)
    for k in range(4):
        disc(d, hx - 26 + k * 16, hy + 40, 2.5, GOLD)
    # the big coin held in front of the belly
    coin(d, bx, by + 14, 26)
    # paws over the coin
    for px in (-24, 24):
        d.ellipse((bx + px - 11, by + 2, bx + px + 11, by + 20), fill=WHITE, outline=INK, width=3)


def draw_picture():
    img = Image.new("P", (PIC_SIZE, PIC_SIZE), CREAM)
    d = ImageDraw.Draw(img)
    rng = random.Random(PIC_SEED)
    draw_background(d)
    draw_scattered_motifs(d, rng)
    draw_cloud(d, 210, 150, 22)
    draw_cloud(d, 132, 200, 15)
    draw_cloud(d, 300, 290, 16)
    draw_cloud(d, 60, 345, 14)
    draw_lantern(d, 236, 24, 50, 42)
    draw_lantern(d, 300, 52, 58, 48)
    draw_lantern(d, 192, 6, 30, 26)
    draw_firecrackers(d, 334, 170, 6)
    draw_plum_branch(d)
    draw_banner(d)
    draw_coins(d)
    draw_rabbit(d)
    return img


def palette_array():
    pal = np.zeros((256, 3), dtype=np.uint8)
    for idx, rgb in PALETTE.items():
        pal[idx] = rgb
    return pal


def bmp8_bytes(indices, pal):
    """Uncompressed 8-bit bottom-up BMP with a full 256-entry colour table."""
    h, w = indices.shape
    stride = (w + 3) & ~3
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in pal)
    offset = 14 + 40 + len(table)
    image_size = stride * h
    header = struct.pack("<2sIHHI", b"BM", offset + image_size, 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, image_size, 2835, 2835, 256, 0)
    rows = bytearray()
    pad = bytes(stride - w)
    for y in range(h - 1, -1, -1):
        rows += indices[y].astype(np.uint8).tobytes() + pad
    return header + info + table + bytes(rows)


def tile_rects(g, size=PIC_SIZE):
    tw = size / g
    th = round(size / g)
    rects = []
    for row in range(g):
        for col in range(g):
            rects.append((round(col * tw), row * th, round(tw), th))
    return rects


def check_tiles(rgb):
    """Every pair of tiles must differ visibly at every grid size."""
    rgb = rgb.astype(np.int16)
    results = {}
    for g in GRID_SIZES:
        rects = tile_rects(g)
        w = min(r[2] for r in rects)
        h = min(r[3] for r in rects)
        h = min(h, min(rgb.shape[0] - r[1] for r in rects))
        w = min(w, min(rgb.shape[1] - r[0] for r in rects))
        tiles = [rgb[t:t + h, l:l + w] for l, t, _, _ in rects]
        min_frac = min_mad = float("inf")
        for i in range(len(tiles)):
            for j in range(i + 1, len(tiles)):
                diff = np.abs(tiles[i] - tiles[j])
                frac = float(np.mean(diff.max(axis=2) > 0))
                mad = float(diff.mean())
                min_frac = min(min_frac, frac)
                min_mad = min(min_mad, mad)
        results[g] = (min_frac, min_mad)
        print(f"grid {g}x{g}: tile {w}x{h}, min differing pixels {min_frac:.1%}, "
              f"min mean abs diff {min_mad:.1f}")
    for g, (frac, mad) in results.items():
        assert frac >= MIN_DIFF_FRACTION, f"grid {g}: two tiles too alike ({frac:.1%} differ)"
        assert mad >= MIN_MEAN_ABS_DIFF, f"grid {g}: two tiles too alike (mean diff {mad:.1f})"
    return results


def make_default_bmp(path):
    img = draw_picture()
    indices = np.array(img, dtype=np.uint8)
    pal = palette_array()
    used = np.unique(indices)
    assert set(used.tolist()) <= set(PALETTE), "drew with an undefined colour"
    data = bmp8_bytes(indices, pal)
    assert len(data) == 14 + 40 + 1024 + 356 * PIC_SIZE == 127102
    with open(path, "wb") as f:
        f.write(data)
    # Read it back through Pillow to prove the file says what we drew.
    back = Image.open(path)
    assert back.format == "BMP" and back.mode == "P" and back.size == (PIC_SIZE, PIC_SIZE)
    rgb = np.array(back.convert("RGB"))
    assert np.array_equal(rgb, pal[indices]), "BMP round trip changed the picture"
    print(f"default.bmp: {len(used)} colours used")
    check_tiles(rgb)


# ---------------------------------------------------------------------------
# Small icons
# ---------------------------------------------------------------------------

DRAG_SCALE = 8                    # icons are painted 8x larger, then box-filtered


def puzzle_piece_polygon(x, y, s, steps=32):
    """Outline of a jigsaw piece: square body of side s at (x, y), a knob on
    top and on the right, a socket on the left."""
    k = s * 0.17         # knob radius
    neck = k * 0.65
    pts = []

    def arc(cx, cy, r, a0, a1):
        for i in range(steps + 1):
            a = math.radians(a0 + (a1 - a0) * i / steps)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))

    pts.append((x, y))
    pts.append((x + s / 2 - neck, y))
    arc(x + s / 2, y - k * 0.75, k, 130, 410)                  # top knob (out)
    pts.append((x + s / 2 + neck, y))
    pts.append((x + s, y))
    pts.append((x + s, y + s / 2 - neck))
    arc(x + s + k * 0.75, y + s / 2, k, 220, 500)              # right knob (out)
    pts.append((x + s, y + s / 2 + neck))
    pts.append((x + s, y + s))
    pts.append((x, y + s))
    pts.append((x, y + s / 2 + neck))
    arc(x + k * 0.75, y + s / 2, k, 130, -130)                 # left socket (in)
    pts.append((x, y + s / 2 - neck))
    return pts


ICON_OUTLINE = (44, 40, 64, 255)
PIECE_FILL = (252, 196, 44, 255)
PIECE_SHADE = (222, 124, 24, 255)
PIECE_SHINE = (255, 236, 150, 255)
MOTION = (70, 130, 220, 255)
SHADOW = (0, 0, 0, 70)


def shifted(mask, dx, dy):
    """An 'L' mask moved by whole pixels, empty where it moved away from."""
    out = Image.new("L", mask.size, 0)
    out.paste(mask, (dx, dy))
    return out


def eroded(mask, r):
    return mask.filter(ImageFilter.MinFilter(2 * r + 1))


def paint_drag_icon(size, sc):
    """A jigsaw piece lifted off the board and moving right, with a pointer."""
    big = size * sc
    canvas = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    d = ImageDraw.Draw(canvas)
    # motion lines trailing behind to the left
    for x0, x1, y in [(1, 7, 12), (0, 8, 17), (2, 7, 22)]:
        d.rounded_rectangle((x0 * sc, (y - 0.8) * sc, x1 * sc, (y + 0.8) * sc),
                            radius=0.8 * sc, fill=MOTION)
    mask = Image.new("L", (big, big), 0)
    ImageDraw.Draw(mask).polygon(puzzle_piece_polygon(10 * sc, 9 * sc, 16 * sc), fill=255)
    # soft shadow below: the piece is in the air
    canvas.paste(Image.new("RGBA", (big, big), SHADOW), (0, 0), shifted(mask, 2 * sc, 2 * sc))
    inner = eroded(mask, sc * 5 // 4)
    canvas.paste(Image.new("RGBA", (big, big), ICON_OUTLINE), (0, 0), mask)
    canvas.paste(Image.new("RGBA", (big, big), PIECE_SHADE), (0, 0), inner)
    face = ImageChops.multiply(inner, shifted(inner, -3 * sc // 2, -3 * sc // 2))
    canvas.paste(Image.new("RGBA", (big, big), PIECE_FILL), (0, 0), face)
    shine = ImageChops.subtract(face, shifted(face, sc, sc))
    canvas.paste(Image.new("RGBA", (big, big), PIECE_SHINE), (0, 0), shine)
    # arrow pointer holding the piece
    ax, ay = 18.5, 15.5
    arrow = [(0, 0), (0, 12.5), (2.8, 10), (4.8, 14.6), (7.9, 13.3), (5.9, 8.9), (9.4, 8.9)]
    d.polygon([((ax + x) * sc, (ay + y) * sc) for x, y in arrow],
              fill=(255, 255, 255, 255), outline=(0, 0, 0, 255), width=sc * 3 // 4)
    return canvas.resize((size, size), Image.BOX)


def ico_bytes(img):
    """Classic single-image ICO: 32-bit BGRA DIB with doubled height plus a
    1-bit AND mask (set where fully transparent)."""
    w, h = img.size
    px = np.array(img.convert("RGBA"), dtype=np.uint8)
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = px[y, x]
            xor += bytes((b, g, r, a))
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(w):
            if px[y, x, 3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    info = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + bytes(xor) + bytes(mask)
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return icondir + entry + image


def make_drag_icon(path):
    img = paint_drag_icon(32, DRAG_SCALE)
    data = ico_bytes(img)
    with open(path, "wb") as f:
        f.write(data)
    back = Image.open(path)
    assert back.format == "ICO" and back.size == (32, 32)
    back = back.convert("RGBA")
    assert np.array_equal(np.array(back)[..., 3], np.array(img)[..., 3]), "ICO alpha round trip"
    return img


# Hand cursor: white interior parts, each a set of rectangles (x0, y0, x1, y1 inclusive).
# A one-pixel gap between parts becomes a black line, so fingers stay separate.
HAND_PARTS = [
    [(4, 1, 6, 13)],                                    # index finger, pointing up
    [(8, 6, 10, 11)],                                   # middle finger, folded
    [(12, 7, 14, 11)],                                  # ring finger
    [(16, 9, 17, 11)],                                  # little finger
    [(4, 12, 17, 19), (5, 20, 16, 20)],                 # palm
    [(1, 12, 2, 15), (2, 16, 3, 18)],                   # thumb
]
HAND_CUFF = (4, 21, 17, 25)
HOT_SPOT = (5, 0)


def make_hand_cursor(path):
    size = 32
    white = np.zeros((size, size), bool)
    for part in HAND_PARTS:
        for x0, y0, x1, y1 in part:
            white[y0:y1 + 1, x0:x1 + 1] = True
    # outline: 4-neighbours of the white area that are not white
    grown = white.copy()
    grown[1:, :] |= white[:-1, :]
    grown[:-1, :] |= white[1:, :]
    grown[:, 1:] |= white[:, :-1]
    grown[:, :-1] |= white[:, 1:]
    black = grown & ~white
    # a black cuff band at the wrist
    x0, y0, x1, y1 = HAND_CUFF
    black[y0:y1 + 1, x0:x1 + 1] = True
    white[y0 + 1:y1, x0 + 1:x1] = True
    black[y0 + 1:y1, x0 + 1:x1] = False
    white &= ~black
    rgba = np.zeros((size, size, 4), np.uint8)
    rgba[white] = (255, 255, 255, 255)
    rgba[black] = (0, 0, 0, 255)
    hx, hy = HOT_SPOT
    assert black[hy, hx] and not rgba[:hy, :, 3].any(), "hot spot must be the finger tip"
    assert rgba[0, :, 3].nonzero()[0].tolist() == [4, 5, 6], "tip centred on the hot spot"
    img = Image.fromarray(rgba, "RGBA")
    img.save(path, optimize=False)
    return img


# Program icon: a little window with a title bar showing a landscape picture
# cut into a 2x2 of tiles.
WIN_FRAME = (52, 60, 78, 255)
WIN_TITLE = (40, 100, 200, 255)
WIN_TITLE_HI = (110, 165, 240, 255)
WIN_BODY = (245, 245, 240, 255)
BTN = (236, 80, 70, 255)
SCENE_SKY = (120, 190, 245, 255)
SCENE_SUN = (252, 200, 40, 255)
SCENE_CLOUD = (255, 255, 255, 255)
SCENE_HILL = (80, 176, 84, 255)
SCENE_HILL_FAR = (40, 126, 70, 255)
SCENE_FLOWER = (230, 50, 60, 255)


def rect(px, x0, y0, x1, y1, colour):
    px[y0:y1 + 1, x0:x1 + 1] = colour


def landscape(w, h, sun, sun_r, cloud, hills, flowers):
    """A w x h picture: sky, a sun, a cloud and two hills (pixel rules)."""
    pic = np.zeros((h, w, 4), np.uint8)
    pic[:] = SCENE_SKY
    yy, xx = np.mgrid[0:h, 0:w]
    pic[(xx - sun[0]) ** 2 + (yy - sun[1]) ** 2 <= sun_r ** 2] = SCENE_SUN
    for x0, y0, x1, y1 in cloud:
        pic[y0:y1 + 1, x0:x1 + 1] = SCENE_CLOUD
    (fa, fc, fk), (na, nc, nk) = hills          # y = a + k * (x - c)^2
    pic[yy >= fa + fk * (xx - fc) ** 2] = SCENE_HILL_FAR
    pic[yy >= na + nk * (xx - nc) ** 2] = SCENE_HILL
    for x, y in flowers:
        pic[y, x] = SCENE_FLOWER
    return pic


def window_icon(size, frame, title, title_hi, buttons, client, picture, gap, scene):
    """Frame, title bar and client area, then the scene with tile gaps."""
    px = np.zeros((size, size, 4), np.uint8)
    rect(px, *frame, WIN_FRAME)
    rect(px, *title, WIN_TITLE)
    rect(px, *title_hi, WIN_TITLE_HI)
    for box, colour in buttons:
        rect(px, *box, colour)
    rect(px, *client, WIN_BODY)
    x0, y0, x1, y1 = picture
    px[y0:y1 + 1, x0:x1 + 1] = scene
    gx, gy = gap
    rect(px, gx, y0, gx, y1, WIN_BODY)
    rect(px, x0, gy, x1, gy, WIN_BODY)
    return px


def make_program_icon_32(path):
    scene = landscape(24, 16, sun=(5, 3), sun_r=2.6,
                      cloud=[(16, 3, 21, 4), (17, 2, 19, 2), (15, 4, 22, 5)],
                      hills=((7.5, 19, 0.05), (9.4, 5, 0.04)),
                      flowers=[(2, 12), (6, 13), (10, 14), (4, 15)])
    px = window_icon(32, frame=(1, 2, 30, 29), title=(2, 3, 29, 8), title_hi=(2, 3, 29, 3),
                     buttons=[((4, 5, 11, 6), WIN_TITLE_HI), ((21, 5, 23, 7), WIN_BODY),
                              ((25, 5, 27, 7), BTN)],
                     client=(2, 9, 29, 28), picture=(4, 11, 27, 26), gap=(16, 19), scene=scene)
    img = Image.fromarray(px, "RGBA")
    img.save(path, optimize=False)
    return img


def make_program_icon_16(path):
    scene = landscape(12, 7, sun=(1.5, 0.5), sun_r=1.2, cloud=[(8, 1, 10, 1)],
                      hills=((3.6, 11, 0.15), (4.3, 2, 0.06)), flowers=[])
    px = window_icon(16, frame=(0, 1, 15, 14), title=(1, 2, 14, 4), title_hi=(2, 3, 6, 3),
                     buttons=[((12, 3, 13, 3), BTN)],
                     client=(1, 5, 14, 13), picture=(2, 6, 13, 12), gap=(8, 9), scene=scene)
    img = Image.fromarray(px, "RGBA")
    img.save(path, optimize=False)
    return img


# The same program icon for the desktop's larger sizes, drawn from shapes in the
# 32-unit space of pintu-32.png: each pixel rule there becomes a rectangle, a disc or
# the area under a parabola, so pintu.svg and the larger PNGs keep the small icon's look.
ICON_UNITS = 32
PIC_ORIGIN = (4, 11)
PIC_W, PIC_H = 24, 16
# y = a + k * (x - c)^2 in the picture's own units, through the hills' pixel centres
FAR_HILL = (8.0, 19.5, 0.05)
NEAR_HILL = (9.9, 5.5, 0.04)


def hill_span(hill):
    """The x range in which the hill rises above the picture's bottom edge."""
    a, c, k = hill
    half = math.sqrt((PIC_H - a) / k)
    return max(0.0, c - half), min(float(PIC_W), c + half)


def icon_shapes():
    """The icon as (kind, geometry, colour), back to front, in icon units."""
    ox, oy = PIC_ORIGIN
    shapes = [
        ("rect", (1, 2, 31, 30), WIN_FRAME),
        ("rect", (2, 3, 30, 9), WIN_TITLE),
        ("rect", (2, 3, 30, 4), WIN_TITLE_HI),
        ("rect", (4, 5, 12, 7), WIN_TITLE_HI),
        ("rect", (21, 5, 24, 8), WIN_BODY),
        ("rect", (25, 5, 28, 8), BTN),
        ("rect", (2, 9, 30, 29), WIN_BODY),
        ("rect", (ox, oy, ox + PIC_W, oy + PIC_H), SCENE_SKY),
        ("disc", (ox + 5.5, oy + 3.5, 2.6), SCENE_SUN),
        ("disc", (ox + 18.5, oy + 3.3, 1.4), SCENE_CLOUD),
        ("disc", (ox + 20.6, oy + 4.0, 1.2), SCENE_CLOUD),
        ("disc", (ox + 16.6, oy + 4.4, 1.1), SCENE_CLOUD),
        ("rect", (ox + 16.0, oy + 4.0, ox + 21.8, oy + 5.5), SCENE_CLOUD),
        ("disc", (ox + 16.0, oy + 4.75, 0.75), SCENE_CLOUD),
        ("disc", (ox + 21.8, oy + 4.75, 0.75), SCENE_CLOUD),
        ("hill", FAR_HILL, SCENE_HILL_FAR),
        ("hill", NEAR_HILL, SCENE_HILL),
    ]
    for x, y in [(2, 12), (6, 13), (10, 14), (4, 15)]:
        shapes.append(("disc", (ox + x + 0.5, oy + y + 0.5, 0.6), SCENE_FLOWER))
    # the cuts between the four tiles
    shapes.append(("rect", (16, oy, 17, oy + PIC_H), WIN_BODY))
    shapes.append(("rect", (ox, 19, ox + PIC_W, 20), WIN_BODY))
    return shapes


def shape_mask(kind, geometry, x, y):
    """Which sample points (arrays in icon units) a shape covers."""
    if kind == "rect":
        x0, y0, x1, y1 = geometry
        return (x >= x0) & (x < x1) & (y >= y0) & (y < y1)
    if kind == "disc":
        cx, cy, r = geometry
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    a, c, k = geometry
    ox, oy = PIC_ORIGIN
    px, py = x - ox, y - oy
    inside = (px >= 0) & (px < PIC_W) & (py < PIC_H)
    return inside & (py >= a + k * (px - c) ** 2)


def render_icon(size, supersample=4):
    """The icon at size x size pixels, each pixel the mean of supersample^2 samples."""
    n = size * supersample
    coords = (np.arange(n) + 0.5) * ICON_UNITS / n
    y, x = np.meshgrid(coords, coords, indexing="ij")
    colour = np.zeros((n, n, 3))
    alpha = np.zeros((n, n))
    for kind, geometry, rgba in icon_shapes():
        mask = shape_mask(kind, geometry, x, y)
        colour[mask] = rgba[:3]
        alpha[mask] = 1.0
    # average premultiplied colour over each pixel's samples
    blocks = (size, supersample, size, supersample)
    a = alpha.reshape(blocks).mean(axis=(1, 3))
    c = (colour * alpha[..., None]).reshape(blocks + (3,)).mean(axis=(1, 3))
    rgb = np.where(a[..., None] > 0, c / np.maximum(a, 1e-9)[..., None], 0)
    out = np.dstack([np.round(rgb), np.round(a * 255)]).astype(np.uint8)
    return Image.fromarray(out, "RGBA")


def make_program_icon(size, path):
    img = render_icon(size)
    img.save(path, optimize=False)
    return img


def svg_number(v):
    return f"{v:.3f}".rstrip("0").rstrip(".")


def hill_path(hill):
    """The area under a hill: one quadratic Bezier is exactly the parabola."""
    a, c, k = hill
    ox, oy = PIC_ORIGIN
    x0, x1 = hill_span(hill)

    def f(px):
        return a + k * (px - c) ** 2

    xm = (x0 + x1) / 2
    ym = f(x0) + 2 * k * (x0 - c) * (xm - x0)      # where the end tangents meet
    pts = [(x0, f(x0)), (xm, ym), (x1, f(x1))]
    (sx, sy), (qx, qy), (ex, ey) = [(ox + px, oy + py) for px, py in pts]
    n = svg_number
    return (f"M{n(sx)},{n(sy)} Q{n(qx)},{n(qy)} {n(ex)},{n(ey)} "
            f"L{n(ox + x1)},{n(oy + PIC_H)} L{n(ox + x0)},{n(oy + PIC_H)} Z")


def make_program_icon_svg(path):
    def fill(rgba):
        return "#%02x%02x%02x" % rgba[:3]

    n = svg_number
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             f'<svg xmlns="http://www.w3.org/2000/svg" width="{ICON_UNITS}" height="{ICON_UNITS}" '
             f'viewBox="0 0 {ICON_UNITS} {ICON_UNITS}" stroke="none">',
             '  <title>pintu</title>']
    for kind, g, rgba in icon_shapes():
        if kind == "rect":
            x0, y0, x1, y1 = g
            lines.append(f'  <rect x="{n(x0)}" y="{n(y0)}" width="{n(x1 - x0)}" '
                         f'height="{n(y1 - y0)}" fill="{fill(rgba)}"/>')
        elif kind == "disc":
            cx, cy, r = g
            lines.append(f'  <circle cx="{n(cx)}" cy="{n(cy)}" r="{n(r)}" fill="{fill(rgba)}"/>')
        else:
            lines.append(f'  <path d="{hill_path(g)}" fill="{fill(rgba)}"/>')
    lines.append("</svg>")
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


# Sizes the desktop's icon theme gets beside the hand-drawn 16 and 32 pixel icons.
DESKTOP_ICON_SIZES = (48, 64, 128, 256)


def make_all(out_dir):
    """Makes every asset in out_dir; returns their file names."""
    makers = [("default.bmp", make_default_bmp), ("drag1pg.ico", make_drag_icon),
              ("hand-cursor.png", make_hand_cursor), ("pintu-32.png", make_program_icon_32),
              ("pintu-16.png", make_program_icon_16)]
    makers += [(f"pintu-{size}.png", functools.partial(make_program_icon, size))
               for size in DESKTOP_ICON_SIZES]
    makers.append(("pintu.svg", make_program_icon_svg))
    for name, make in makers:
        make(os.path.join(out_dir, name))
    return [name for name, _ in makers]


def main():
    """Without arguments, rewrites the assets beside this script. With --check, makes them in a
    scratch folder and fails unless every one equals the committed file byte for byte (making
    them also checks the default picture's tiles all differ)."""
    if sys.argv[1:] != ["--check"]:
        make_all(OUT_DIR)
        return 0
    with tempfile.TemporaryDirectory() as scratch:
        differ = [name for name in make_all(scratch)
                  if open(os.path.join(scratch, name), "rb").read()
                  != open(os.path.join(OUT_DIR, name), "rb").read()]
    print("differ from what make_assets.py makes:", " ".join(differ) if differ else "none")
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
