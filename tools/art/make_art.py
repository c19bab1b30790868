#!/usr/bin/env python3
"""Draws the launcher's artwork into res/art/: the main window's picture
frame and its button highlights (PNG with alpha), and the bitmaps of the
game window (loading border, title band, tool buttons; 24-bit BMP).

Dark amber look: deep browns, gold mouldings with a top-left light, engraved
ornament. Everything is drawn here: a scanline rasteriser with 16 sub-rows
and exact horizontal coverage for polygons, signed distance fields for the
frame's bands, and a small serif font for the few letters we need.

Run from the repository root after changing the drawing; the outputs are
committed:  python3 tools/art/make_art.py"""
import math
import os
import struct
import zlib

OUT_DIR = os.path.join("res", "art")

# Colours the program itself paints with; the art has to meet them.
WINDOW_FILL = (0x1A, 0x10, 0x09)
TITLE_SIDE_LINE = (0x43, 0x29, 0x01)
AMBER = (0xFF, 0x99, 0x00)


# ---------------------------------------------------------------- colour

def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def mix(a, b, t):
    return (a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t)


def ramp(stops, t):
    """Piecewise linear colour ramp; stops are (position, colour), sorted."""
    if t <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            return mix(c0, c1, (t - p0) / (p1 - p0))
    return stops[-1][1]


def curve(stops, t):
    """Piecewise linear function through (position, value) stops."""
    if t <= stops[0][0]:
        return stops[0][1]
    for (p0, v0), (p1, v1) in zip(stops, stops[1:]):
        if t <= p1:
            return v0 + (v1 - v0) * (t - p0) / (p1 - p0)
    return stops[-1][1]


# Polished gold by light intensity: shadowed bronze up to a pale specular.
GOLD = [
    (0.00, (34, 18, 4)),
    (0.22, (96, 54, 10)),
    (0.45, (172, 110, 28)),
    (0.66, (226, 166, 64)),
    (0.84, (252, 216, 128)),
    (1.00, (255, 246, 214)),
]


def gold(i):
    return ramp(GOLD, i)


def grain(x, y, seed=0):
    """Deterministic noise in [-1, 1]: fine texture and dither for gradients."""
    n = (x * 374761393 + y * 668265263 + seed * 982451653) & 0xFFFFFFFF
    n = ((n ^ (n >> 13)) * 1274126177) & 0xFFFFFFFF
    n ^= n >> 16
    return (n & 0xFFFF) / 32767.5 - 1.0


LIGHT = (-0.48, -0.66, 0.58)  # towards the light: up and to the left, y down
_ln = math.sqrt(sum(c * c for c in LIGHT))
LIGHT = tuple(c / _ln for c in LIGHT)
_half = (LIGHT[0], LIGHT[1], LIGHT[2] + 1.0)
_hn = math.sqrt(sum(c * c for c in _half))
HALF = tuple(c / _hn for c in _half)


def lit(nx, ny, ambient=0.30, diffuse=0.62, specular=0.45, power=24):
    """Light intensity of a surface whose normal leans by (nx, ny) from the
    viewer (z = 1 before normalising)."""
    inv = 1.0 / math.sqrt(nx * nx + ny * ny + 1.0)
    nx, ny, nz = nx * inv, ny * inv, inv
    d = nx * LIGHT[0] + ny * LIGHT[1] + nz * LIGHT[2]
    h = nx * HALF[0] + ny * HALF[1] + nz * HALF[2]
    return ambient + diffuse * max(d, 0.0) + specular * max(h, 0.0) ** power


def bead(t, ux, uy, strength=1.6):
    """Intensity across a rounded moulding: t runs 0..1 across it in the unit
    direction (ux, uy)."""
    rise = math.pi * math.cos(math.pi * clamp01(t)) * strength * 0.5
    return lit(-rise * ux, -rise * uy)


# ---------------------------------------------------------------- geometry

def signed_area(poly):
    s = 0.0
    for (x0, y0), (x1, y1) in zip(poly, poly[1:] + poly[:1]):
        s += x0 * y1 - x1 * y0
    return s * 0.5


def transform(polys, sx, sy, dx, dy):
    return [[(x * sx + dx, y * sy + dy) for x, y in p] for p in polys]


def ellipse(cx, cy, rx, ry, a0=0.0, a1=2 * math.pi, n=None):
    """Points on an elliptic arc, angles in radians, y down."""
    if n is None:
        n = max(8, int(abs(a1 - a0) * max(rx, ry) * 0.9) + 4)
    return [(cx + rx * math.cos(a0 + (a1 - a0) * k / n), cy + ry * math.sin(a0 + (a1 - a0) * k / n))
            for k in range(n + 1)]


def circle(cx, cy, r):
    return ellipse(cx, cy, r, r)[:-1]


def rect(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def quad_curve(p0, p1, p2, n=8):
    out = []
    for k in range(n + 1):
        t = k / n
        a, b, c = (1 - t) ** 2, 2 * (1 - t) * t, t * t
        out.append((a * p0[0] + b * p1[0] + c * p2[0], a * p0[1] + b * p1[1] + c * p2[1]))
    return out


def catmull_rom(points, per_segment=12):
    """A smooth curve through the points, with the parameter of each sample
    (0..len-1) so widths can follow it."""
    pts = [points[0]] + list(points) + [points[-1]]
    out = []
    for i in range(1, len(pts) - 2):
        p0, p1, p2, p3 = pts[i - 1], pts[i], pts[i + 1], pts[i + 2]
        for k in range(per_segment):
            t = k / per_segment
            t2, t3 = t * t, t * t * t
            x = 0.5 * (2 * p1[0] + (-p0[0] + p2[0]) * t + (2 * p0[0] - 5 * p1[0] + 4 * p2[0] - p3[0]) * t2
                       + (-p0[0] + 3 * p1[0] - 3 * p2[0] + p3[0]) * t3)
            y = 0.5 * (2 * p1[1] + (-p0[1] + p2[1]) * t + (2 * p0[1] - 5 * p1[1] + 4 * p2[1] - p3[1]) * t2
                       + (-p0[1] + 3 * p1[1] - 3 * p2[1] + p3[1]) * t3)
            out.append((x, y, i - 1 + t))
    out.append((points[-1][0], points[-1][1], len(points) - 1))
    return out


def ribbon(samples, width_at):
    """A stroke of varying width along sampled points (x, y, param)."""
    left, right = [], []
    n = len(samples)
    for i, (x, y, u) in enumerate(samples):
        xa, ya = samples[max(i - 1, 0)][:2]
        xb, yb = samples[min(i + 1, n - 1)][:2]
        dx, dy = xb - xa, yb - ya
        ln = math.hypot(dx, dy) or 1.0
        nx, ny = -dy / ln, dx / ln
        hw = width_at(u) * 0.5
        left.append((x + nx * hw, y + ny * hw))
        right.append((x - nx * hw, y - ny * hw))
    return left + right[::-1]


def stroke(points, width):
    """Constant-width polyline as one quad per segment and a disc per joint."""
    polys = []
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        dx, dy = x1 - x0, y1 - y0
        ln = math.hypot(dx, dy) or 1.0
        nx, ny = -dy / ln * width / 2, dx / ln * width / 2
        polys.append([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)])
    for x, y in points[1:-1]:
        polys.append(circle(x, y, width / 2))
    return polys


# ---------------------------------------------------------------- masks

class Mask:
    """Coverage 0..1 over a rectangle of a w x h image."""

    def __init__(self, x0, y0, w, h, data=None):
        self.x0, self.y0, self.w, self.h = x0, y0, w, h
        self.data = data if data is not None else [0.0] * (w * h)

    def get(self, x, y):
        x -= self.x0
        y -= self.y0
        if 0 <= x < self.w and 0 <= y < self.h:
            return self.data[y * self.w + x]
        return 0.0

    def grown(self, pad):
        m = Mask(self.x0 - pad, self.y0 - pad, self.w + 2 * pad, self.h + 2 * pad)
        for y in range(self.h):
            o = (y + pad) * m.w + pad
            m.data[o:o + self.w] = self.data[y * self.w:(y + 1) * self.w]
        return m

    def windowed(self, fn):
        """Coverage multiplied by fn(x, y) of each pixel."""
        return Mask(self.x0, self.y0, self.w, self.h,
                    [v * fn(self.x0 + i % self.w, self.y0 + i // self.w) for i, v in enumerate(self.data)])

    def shifted(self, dx, dy):
        return Mask(self.x0 + dx, self.y0 + dy, self.w, self.h, list(self.data))

    def blurred(self, radius, passes=3):
        """Repeated box blur (close to a Gaussian); grows to keep the tails."""
        m = self.grown(radius * passes + 1)
        w, h, d = m.w, m.h, m.data
        size = 2 * radius + 1
        for _ in range(passes):
            for y in range(h):
                row = d[y * w:(y + 1) * w]
                acc = sum(row[:radius + 1])
                out = []
                for x in range(w):
                    out.append(acc / size)
                    if x + radius + 1 < w:
                        acc += row[x + radius + 1]
                    if x - radius >= 0:
                        acc -= row[x - radius]
                d[y * w:(y + 1) * w] = out
            for x in range(w):
                col = d[x::w]
                acc = sum(col[:radius + 1])
                for y in range(h):
                    d[y * w + x] = acc / size
                    if y + radius + 1 < h:
                        acc += col[y + radius + 1]
                    if y - radius >= 0:
                        acc -= col[y - radius]
        return m

    def dilated(self, radius):
        """Round dilation: the largest coverage within the radius, softened
        at the rim so the result stays anti-aliased."""
        pad = int(math.ceil(radius)) + 1
        m = self.grown(pad)
        src = m.data
        w, h = m.w, m.h
        offsets = []
        for oy in range(-pad, pad + 1):
            for ox in range(-pad, pad + 1):
                dist = math.hypot(ox, oy)
                if dist <= radius + 0.5:
                    offsets.append((oy * w + ox, clamp01(radius + 0.5 - dist)))
        out = [0.0] * (w * h)
        for y in range(pad, h - pad):
            for x in range(pad, w - pad):
                i = y * w + x
                best = 0.0
                for o, k in offsets:
                    v = src[i + o] * k
                    if v > best:
                        best = v
                        if best >= 1.0:
                            break
                out[i] = best
        m.data = out
        return m

    def combine(self, other, op):
        """A mask over the union of both rectangles, op(a, b) per pixel."""
        x0, y0 = min(self.x0, other.x0), min(self.y0, other.y0)
        x1 = max(self.x0 + self.w, other.x0 + other.w)
        y1 = max(self.y0 + self.h, other.y0 + other.h)
        m = Mask(x0, y0, x1 - x0, y1 - y0)
        for y in range(y0, y1):
            for x in range(x0, x1):
                m.data[(y - y0) * m.w + (x - x0)] = op(self.get(x, y), other.get(x, y))
        return m

    def minus(self, other):
        return self.combine(other, lambda a, b: a * (1.0 - b))

    def union(self, other):
        return self.combine(other, max)

    def times(self, other):
        return self.combine(other, lambda a, b: a * b)


def rasterize(polys, width, height, evenodd=False, sub=16):
    """Coverage of polygons (nonzero union, or even-odd for rings), 16
    sub-rows per pixel with exact coverage along each sub-row."""
    edges = []
    xs_all, ys_all = [], []
    for poly in polys:
        if len(poly) < 3:
            continue
        if not evenodd and signed_area(poly) < 0:
            poly = poly[::-1]
        for (x0, y0), (x1, y1) in zip(poly, poly[1:] + poly[:1]):
            xs_all.append(x0)
            ys_all.append(y0)
            if y0 == y1:
                continue
            d = 1
            if y0 > y1:
                x0, y0, x1, y1, d = x1, y1, x0, y0, -1
            edges.append((y0, y1, x0, (x1 - x0) / (y1 - y0), d))
    if not edges:
        return Mask(0, 0, 0, 0)
    bx0 = max(0, int(math.floor(min(xs_all))))
    bx1 = min(width, int(math.ceil(max(xs_all))) + 1)
    by0 = max(0, int(math.floor(min(ys_all))))
    by1 = min(height, int(math.ceil(max(ys_all))) + 1)
    mw, mh = max(0, bx1 - bx0), max(0, by1 - by0)
    mask = Mask(bx0, by0, mw, mh)
    if mw == 0 or mh == 0:
        return mask
    edges.sort()
    inv = 1.0 / sub
    active = []
    ei = 0
    for row in range(by0, by1):
        full = [0.0] * (mw + 2)
        part = [0.0] * (mw + 2)
        for s in range(sub):
            sy = row + (s + 0.5) * inv
            while ei < len(edges) and edges[ei][0] <= sy:
                active.append(edges[ei])
                ei += 1
            active = [e for e in active if e[1] > sy]
            xs = sorted((e[2] + (sy - e[0]) * e[3], e[4]) for e in active)
            wind = 0
            start = 0.0
            for x, d in xs:
                before = wind
                wind = (wind ^ 1) if evenodd else wind + d
                if before == 0 and wind != 0:
                    start = x
                elif before != 0 and wind == 0:
                    xa = min(max(start - bx0, 0.0), mw)
                    xb = min(max(x - bx0, 0.0), mw)
                    if xb <= xa:
                        continue
                    ia, ib = int(xa), int(xb)
                    if ia == ib:
                        part[ia] += (xb - xa) * inv
                    else:
                        part[ia] += (ia + 1 - xa) * inv
                        full[ia + 1] += inv
                        full[ib] -= inv
                        part[ib] += (xb - ib) * inv
        run = 0.0
        o = (row - by0) * mw
        for i in range(mw):
            run += full[i]
            v = run + part[i]
            mask.data[o + i] = 1.0 if v > 1.0 else (0.0 if v < 1e-6 else v)
    return mask


def sdf_mask(fn, x0, y0, x1, y1, width, height, ss=1):
    """Coverage of the region fn < 0 from a distance function, optionally
    supersampled for shapes whose distance is only approximate."""
    x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
    x1, y1 = min(width, int(math.ceil(x1))), min(height, int(math.ceil(y1)))
    m = Mask(x0, y0, max(0, x1 - x0), max(0, y1 - y0))
    i = 0
    for y in range(y0, y1):
        for x in range(x0, x1):
            if ss == 1:
                m.data[i] = clamp01(0.5 - fn(x + 0.5, y + 0.5))
            else:
                acc = 0.0
                for sy in range(ss):
                    for sx in range(ss):
                        acc += clamp01(0.5 * ss - ss * fn(x + (sx + 0.5) / ss, y + (sy + 0.5) / ss))
                m.data[i] = acc / (ss * ss)
            i += 1
    return m


# ---------------------------------------------------------------- canvas

class Canvas:
    """Straight (not premultiplied) RGB in 0..255 floats, alpha 0..1."""

    def __init__(self, w, h, colour=(0, 0, 0), alpha=1.0):
        self.w, self.h = w, h
        n = w * h
        self.r = [float(colour[0])] * n
        self.g = [float(colour[1])] * n
        self.b = [float(colour[2])] * n
        self.a = [float(alpha)] * n

    def _covered(self, mask, opacity):
        """The pixels the mask covers inside the picture: x, y, index and
        the mask's weight there (times opacity), zero weights skipped."""
        for my in range(mask.h):
            y = mask.y0 + my
            if not 0 <= y < self.h:
                continue
            for mx in range(mask.w):
                x = mask.x0 + mx
                if not 0 <= x < self.w:
                    continue
                k = mask.data[my * mask.w + mx] * opacity
                if k <= 0.0:
                    continue
                yield x, y, y * self.w + x, k

    def paint(self, mask, colour, opacity=1.0):
        """Composite colour (a tuple, or a function of x, y) through the mask
        onto the picture's colour; alpha is left alone."""
        fn = colour if callable(colour) else None
        for x, y, i, k in self._covered(mask, opacity):
            c = fn(x, y) if fn else colour
            self.r[i] += (c[0] - self.r[i]) * k
            self.g[i] += (c[1] - self.g[i]) * k
            self.b[i] += (c[2] - self.b[i]) * k

    def add_light(self, mask, colour, opacity=1.0):
        """Screen-blend a glow through the mask (keeps highlights from
        clipping flat)."""
        for _, _, i, k in self._covered(mask, opacity):
            self.r[i] = 255 - (255 - self.r[i]) * (1 - colour[0] / 255 * k)
            self.g[i] = 255 - (255 - self.g[i]) * (1 - colour[1] / 255 * k)
            self.b[i] = 255 - (255 - self.b[i]) * (1 - colour[2] / 255 * k)

    def bytes_rgb(self, x, y):
        i = y * self.w + x
        return tuple(max(0, min(255, int(v[i] + 0.5))) for v in (self.r, self.g, self.b))

    def rows_rgba(self):
        rows = []
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                i = y * self.w + x
                a = max(0, min(255, int(self.a[i] * 255 + 0.5)))
                if a == 0:
                    row += b"\0\0\0\0"
                else:
                    row += bytes(self.bytes_rgb(x, y)) + bytes((a,))
            rows.append(bytes(row))
        return rows

    def rows_rgb(self):
        return [b"".join(bytes(self.bytes_rgb(x, y)) for x in range(self.w)) for y in range(self.h)]


# ---------------------------------------------------------------- files

def png_bytes(w, h, rows):
    """8-bit RGBA, non-interlaced; each row filtered with Sub."""
    raw = bytearray()
    for row in rows:
        raw.append(1)
        prev = bytes(4)
        for x in range(0, len(row), 4):
            px = row[x:x + 4]
            raw += bytes((px[k] - prev[k]) & 0xFF for k in range(4))
            prev = px

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def bmp_bytes(w, h, rows):
    """Uncompressed 24-bit bottom-up BI_RGB, rows padded to 4 bytes."""
    pad = bytes((4 - w * 3 % 4) % 4)
    body = bytearray()
    for row in reversed(rows):
        for x in range(0, len(row), 3):
            body += bytes((row[x + 2], row[x + 1], row[x]))
        body += pad
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return head + info + bytes(body)


def save_png(name, canvas):
    with open(os.path.join(OUT_DIR, name), "wb") as f:
        f.write(png_bytes(canvas.w, canvas.h, canvas.rows_rgba()))


def save_bmp(name, canvas):
    with open(os.path.join(OUT_DIR, name), "wb") as f:
        f.write(bmp_bytes(canvas.w, canvas.h, canvas.rows_rgb()))


# ---------------------------------------------------------------- lettering
#
# Roman capitals in units of a 100-high cap: thick stems, thin hairlines,
# bracketed serifs. Only the letters the artwork spells.

STEM = 19.0
HAIR = 8.0
SLAB = 4.5
BRACKET = 9.0
SERIF = 8.5


def serif(side_l, side_r, y, down, ext_l=SERIF, ext_r=SERIF):
    """A bracketed serif at height y under (down) or over a stroke whose
    sides are x = side(y)."""
    s = 1 if down else -1
    ys = y - s * SLAB             # top of the slab
    yb = ys - s * BRACKET         # where the bracket meets the stroke
    pts = [(side_l(ys) - ext_l, y), (side_r(ys) + ext_r, y)]
    if ext_r > 0:
        pts.append((side_r(ys) + ext_r, ys))
        pts += quad_curve((side_r(ys) + ext_r, ys), (side_r(ys), ys), (side_r(yb), yb))[1:]
    else:
        pts.append((side_r(yb), yb))
    if ext_l > 0:
        pts += quad_curve((side_l(yb), yb), (side_l(ys), ys), (side_l(ys) - ext_l, ys))
    else:
        pts.append((side_l(yb), yb))
    return pts


def vside(x):
    return lambda y: x


def line_side(x0, y0, x1, y1):
    return lambda y: x0 + (x1 - x0) * (y - y0) / (y1 - y0)


def stem(xc, y0=0.0, y1=100.0, top=(SERIF, SERIF), bottom=(SERIF, SERIF), w=STEM):
    l, r = xc - w / 2, xc + w / 2
    polys = [rect(l, y0, r, y1)]
    if top:
        polys.append(serif(vside(l), vside(r), y0, False, *top))
    if bottom:
        polys.append(serif(vside(l), vside(r), y1, True, *bottom))
    return polys


def beak(x, y, length, up):
    """The wedge serif at the end of a horizontal arm (E, L)."""
    s = -1 if up else 1
    base = y + s * 0.0
    pts = [(x - 6.0, base), (x, base), (x, base + s * length)]
    pts += quad_curve((x - 2.0, base + s * length), (x - 3.0, base + s * HAIR), (x - 16.0, base + s * HAIR))[1:]
    return pts


def bowl(cx, cy, rxo, ryo, rxi, ryi, cxi=None, cyi=None, a0=-math.pi / 2, a1=math.pi / 2):
    """The region between two half ellipses (D, R, U)."""
    cxi = cx if cxi is None else cxi
    cyi = cy if cyi is None else cyi
    outer = ellipse(cx, cy, rxo, ryo, a0, a1, 48)
    inner = ellipse(cxi, cyi, rxi, ryi, a0, a1, 48)
    return outer + inner[::-1]


def glyph_D():
    p = stem(22, top=(SERIF, 0), bottom=(SERIF, 0))
    p += [rect(28, 0, 52, HAIR), rect(28, 100 - HAIR, 52, 100)]
    p.append(bowl(52, 50, 42, 50, 23, 50 - HAIR))
    return p, 100


def glyph_U():
    p = stem(22, 0, 62, bottom=None)
    p += stem(84, 0, 62, top=(7, 7), bottom=None, w=HAIR)
    p.append(bowl(50.25, 62, 37.75, 38, 24.25, 38 - HAIR, cxi=55.75,
                  a0=0.0, a1=math.pi)[::-1])
    return p, 104


def glyph_S():
    pts = [(71, 27), (68, 12), (56, 4.5), (38, 4), (20, 12), (14.5, 27), (24, 41), (44, 50),
           (63, 59), (70.5, 73), (64, 89), (44, 96), (24, 95), (11, 86), (9, 72)]
    widths = [10, 7, 8, 9, 12, 15.5, 18, 19.5, 18, 15.5, 12, 9, 8, 7, 10]

    def width_at(u):
        i = min(int(u), len(widths) - 2)
        return widths[i] + (widths[i + 1] - widths[i]) * (u - i)

    return [ribbon(catmull_rom(pts, 10), width_at)], 84


def glyph_K():
    p = stem(22)
    # Thin arm up to the top right, thick leg down to the foot.
    arm_l, arm_r = line_side(26, 66, 76, 0), line_side(35, 66, 85, 0)
    p.append([(21, 72.6), (76, 0), (85, 0), (30, 72.6)])
    p.append(serif(arm_l, arm_r, 0, False, 7, 6))
    leg_l, leg_r = line_side(42.1, 45.8, 75, 100), line_side(53.3, 32.6, 95, 100)
    p.append([(42.1, 45.8), (53.3, 32.6), (95, 100), (75, 100)])
    p.append(serif(leg_l, leg_r, 100, True, 5, 6))
    return p, 100


def glyph_V():
    outer_l = line_side(9.5, 0, 46, 100)
    inner_l = line_side(30.5, 0, 67, 100)
    inner_r = line_side(77.5, 0, 43.5, 100)
    outer_r = line_side(86, 0, 52, 100)
    # Where the two inner edges meet.
    y = (77.5 - 30.5) / (36.5 / 100 + 34 / 100)
    ix = inner_l(y)
    p = [[(9.5, 0), (30.5, 0), (ix, y), (77.5, 0), (86, 0), (52, 100), (46, 100)]]
    p.append(serif(outer_l, inner_l, 0, False))
    p.append(serif(inner_r, outer_r, 0, False, 7, 7))
    return p, 96


def glyph_A():
    # The V turned over: thin left stroke, thick right stroke, a crossbar.
    v, _ = glyph_V()
    outer_l = line_side(48, 0, 14, 100)
    inner_l = line_side(45.2, 33.3, 22.5, 100)
    inner_r = line_side(45.2, 33.3, 69.5, 100)
    outer_r = line_side(54, 0, 90.5, 100)
    p = [[(100 - x, 100 - y) for x, y in v[0]]]
    p.append(rect(28, 63, 72, 63 + HAIR - 1))
    p.append(serif(outer_l, inner_l, 100, True, 7, 7))
    p.append(serif(inner_r, outer_r, 100, True, 8, 8))
    p.append([(44.5, 0), (54, 0), (52, 6), (47, 6)])   # a slight overhang at the apex
    return p, 104


def glyph_L():
    p = stem(22, bottom=(SERIF, 0))
    p.append(rect(28, 100 - HAIR - 1, 72, 100))
    p.append(beak(75, 100, 26, True))
    return p, 80


def glyph_E():
    p = stem(22, top=(SERIF, 0), bottom=(SERIF, 0))
    p.append(rect(28, 0, 70, HAIR))
    p.append(beak(71, 0, 22, False))
    p.append(rect(28, 46, 60, 46 + HAIR - 1))
    p.append([(58, 38), (62, 38), (62, 61), (58, 61)])
    p.append(rect(28, 100 - HAIR - 1, 72, 100))
    p.append(beak(75, 100, 26, True))
    return p, 80


def glyph_R():
    p = stem(22, top=(SERIF, 0))
    p += [rect(28, 0, 50, HAIR), rect(28, 48, 50, 48 + HAIR)]
    p.append(bowl(50, 28, 34, 28, 16, 28 - HAIR, cyi=28))
    leg_l, leg_r = line_side(42, 50, 76, 100), line_side(59, 50, 94, 100)
    p.append([(42, 50), (59, 50), (94, 100), (76, 100)])
    p.append(serif(leg_l, leg_r, 100, True, 3, 6))
    return p, 98


def glyph_I():
    return stem(22), 44


def glyph_N():
    p = stem(15, 0, 100, top=(SERIF, 0), bottom=(7, 7), w=HAIR)
    p += stem(86, 0, 100, top=(7, 7), bottom=None, w=HAIR)
    p.append([(11, 0), (32, 0), (90, 100), (69, 100)])
    return p, 102


GLYPHS = {"D": glyph_D, "U": glyph_U, "S": glyph_S, "K": glyph_K, "V": glyph_V,
          "A": glyph_A, "L": glyph_L, "E": glyph_E, "R": glyph_R, "I": glyph_I,
          "N": glyph_N}
KERN = {"VA": -16, "AV": -16, "LE": -2, "RA": -6, "AL": -4}
SPACE = 34


def text_polys(text, x, baseline, cap, tracking=0.0, big=None):
    """Polygons of a line of text; letters in big scale by the given factor
    (display initials). Returns the polygons and the advance."""
    polys = []
    pen = 0.0
    prev = None
    for ch in text:
        if ch == " ":
            pen += SPACE
            prev = None
            continue
        scale = (big[1] if big and ch in big[0] and (prev is None) else 1.0)
        if prev:
            pen += KERN.get(prev + ch, 0)
        shapes, adv = GLYPHS[ch]()
        k = cap / 100.0 * scale
        polys += transform(shapes, k, k, x + pen * cap / 100.0, baseline - cap * scale)
        pen += adv * scale + tracking
        prev = ch
    return polys, pen * cap / 100.0


def text_width(text, cap, tracking=0.0, big=None):
    return text_polys(text, 0, 100, cap, tracking, big)[1]


# ---------------------------------------------------------------- distances

def sd_box(px, py, x0, y0, x1, y1):
    dx = abs(px - (x0 + x1) * 0.5) - (x1 - x0) * 0.5
    dy = abs(py - (y0 + y1) * 0.5) - (y1 - y0) * 0.5
    if dx > 0.0 or dy > 0.0:
        return math.hypot(max(dx, 0.0), max(dy, 0.0))
    return max(dx, dy)


def sd_ellipse(px, py, cx, cy, rx, ry):
    """Close enough to a distance for the near-circles we draw."""
    return (math.hypot((px - cx) / rx, (py - cy) / ry) - 1.0) * min(rx, ry)


def smin(a, b, k):
    """Union with a fillet of about k where the shapes meet."""
    h = max(k - abs(a - b), 0.0) / k
    return min(a, b) - h * h * k * 0.25


def band(d, a, b):
    """Coverage of the band a <= d < b for a pixel centred at distance d."""
    return clamp01(d - a + 0.5) - clamp01(d - b + 0.5)


def shade(canvas, x0, y0, x1, y1, fn):
    """Per-pixel painting: fn(x, y) gives (colour, coverage) or None."""
    for y in range(max(0, int(y0)), min(canvas.h, int(math.ceil(y1)))):
        for x in range(max(0, int(x0)), min(canvas.w, int(math.ceil(x1)))):
            res = fn(x + 0.5, y + 0.5)
            if res is None:
                continue
            c, k = res
            if k <= 0.0:
                continue
            i = y * canvas.w + x
            canvas.r[i] += (c[0] - canvas.r[i]) * k
            canvas.g[i] += (c[1] - canvas.g[i]) * k
            canvas.b[i] += (c[2] - canvas.b[i]) * k


def gradient(fn, x, y, e=0.35):
    gx = fn(x + e, y) - fn(x - e, y)
    gy = fn(x, y + e) - fn(x, y - e)
    n = math.hypot(gx, gy) or 1.0
    return gx / n, gy / n


# ---------------------------------------------------------------- the frame

FRAME_W, FRAME_H = 727, 519
SCREEN_W, SCREEN_H = 723, 505          # the size it is drawn at
OPENING = (23, 118, 705, 489)          # the login page shows through here
CLOSE_SCREEN = (686, 64, 712, 89)
MIN_SCREEN = (661, 69, 681, 89)
CX = FRAME_W / 2.0
BODY_TOP = 40
CREST_TOP, CREST_HALF = 16, 158
MEDALLION_Y, MEDALLION_R = 30, 28

FIELD_TOP = (56, 35, 17)
FIELD_BOTTOM = (31, 19, 9)
EDGE_DARK = (13, 7, 3)


def to_picture(r):
    sx, sy = FRAME_W / SCREEN_W, FRAME_H / SCREEN_H
    return (r[0] * sx, r[1] * sy, r[2] * sx, r[3] * sy)


def frame_outline(x, y):
    """Signed distance to the frame's outer edge: a body with notched
    corners and a raised crest in the middle of the top carrying a
    medallion."""
    d = sd_box(x, y, 0, BODY_TOP, FRAME_W, FRAME_H)
    for cx, cy in ((0, BODY_TOP), (FRAME_W, BODY_TOP), (0, FRAME_H), (FRAME_W, FRAME_H)):
        d = max(d, 12.0 - math.hypot(x - cx, y - cy))
    if y < 90:
        crest = sd_box(x, y, CX - CREST_HALF, CREST_TOP, CX + CREST_HALF, 70)
        for cx in (CX - CREST_HALF, CX + CREST_HALF):
            crest = max(crest, 9.0 - math.hypot(x - cx, y - CREST_TOP))
        d = smin(d, crest, 20.0)
        d = smin(d, math.hypot(x - CX, y - MEDALLION_Y) - MEDALLION_R, 7.0)
    return d


def frame_opening(x, y):
    return sd_box(x, y, *OPENING)


def field_colour(x, y):
    c = mix(FIELD_TOP, FIELD_BOTTOM, clamp01((y - 4) / 500.0))
    if y < OPENING[1]:
        # A faint engraved trellis on the banner.
        k = 0.0
        for u in ((x + y) % 10, (x - y) % 10):
            k -= 0.16 * clamp01(1.0 - abs(u - 0.5)) 
            k += 0.07 * clamp01(1.0 - abs(u - 1.5))
        c = darker(c, 1.0 + k * clamp01((OPENING[1] - y) / 10.0))
    g = grain(x, y, 1) * 2.0
    return (c[0] + g, c[1] + g * 0.7, c[2] + g * 0.45)


def darker(c, k):
    return (c[0] * k, c[1] * k, c[2] * k)


def draw_frame_body(canvas):
    """The border itself: outer gold rim, dark field, gold moulding round the
    opening; alpha from the outline less the opening."""
    w, h = canvas.w, canvas.h
    fo = [0.0] * (w * h)
    for y in range(h):
        for x in range(w):
            fo[y * w + x] = frame_outline(x + 0.5, y + 0.5)
    for y in range(h):
        for x in range(w):
            i = y * w + x
            d_out = fo[i]
            cover = clamp01(0.5 - d_out)
            px, py = x + 0.5, y + 0.5
            d_in = frame_opening(px, py)
            hole = clamp01(0.5 - d_in)
            canvas.a[i] = cover * (1.0 - hole)
            if canvas.a[i] <= 0.0:
                continue
            depth = -d_out
            # Unit direction into the border from the outer edge.
            gx = fo[y * w + min(x + 1, w - 1)] - fo[y * w + max(x - 1, 0)]
            gy = fo[min(y + 1, h - 1) * w + x] - fo[max(y - 1, 0) * w + x]
            n = math.hypot(gx, gy) or 1.0
            ix, iy = -gx / n, -gy / n
            # And away from the opening.
            ox, oy = gradient(frame_opening, px, py)

            c = field_colour(x, y)
            # Shade the field where it meets the mouldings.
            occ = 1.0 - 0.42 * math.exp(-max(depth - 6.5, 0.0) / 2.2) - 0.5 * math.exp(-max(d_in - 8.0, 0.0) / 2.6)
            c = darker(c, occ)
            # A lit chamfer on the field's inner side of both mouldings.
            c = mix(c, mix(c, (120, 80, 40), 0.35 * max(0.0, -(ix * LIGHT[0] + iy * LIGHT[1]))), band(depth, 6.5, 7.5))
            c = mix(c, mix(c, (120, 80, 40), 0.35 * max(0.0, -(ox * LIGHT[0] + oy * LIGHT[1]))), band(d_in, 7.0, 8.0))

            c = mix(c, EDGE_DARK, band(depth, 5.4, 6.5))
            c = mix(c, gold(bead((depth - 1.2) / 4.2, ix, iy)), band(depth, 1.2, 5.4))
            c = mix(c, EDGE_DARK, band(depth, -1.0, 1.2))

            c = mix(c, EDGE_DARK, band(d_in, 6.0, 7.0))
            c = mix(c, gold(bead((d_in - 1.4) / 4.6, ox, oy) * 0.96), band(d_in, 1.4, 6.0))
            c = mix(c, (8, 4, 1), band(d_in, -1.0, 1.4))
            canvas.r[i], canvas.g[i], canvas.b[i] = c


def plaque_outline(x, y):
    """The recessed panel in the crest that carries the logo."""
    x0, x1, y0, y1 = CX - 146, CX + 146, CREST_TOP + 8, 106
    d = sd_box(x, y, x0, y0, x1, y1)
    for cx, cy in ((x0, y0), (x1, y0), (x0, y1), (x1, y1)):
        d = max(d, 7.0 - math.hypot(x - cx, y - cy))
    return smin(d, math.hypot(x - CX, y - MEDALLION_Y) - (MEDALLION_R - 8), 6.0)


def draw_plaque(canvas):
    def fn(x, y):
        d = plaque_outline(x, y)
        if d > 1.6:
            return None
        ux, uy = gradient(plaque_outline, x, y)
        depth = -d
        # Recessed: the panel is shaded along its upper left inner edge.
        facing = -(ux * LIGHT[0] + uy * LIGHT[1])
        inner = mix((27, 15, 6), (40, 23, 9), clamp01((y - 20) / 80.0))
        glow = math.exp(-(((x - CX) / 150.0) ** 2 + ((y - 80) / 34.0) ** 2))
        inner = mix(inner, (104, 54, 12), 0.55 * glow)
        g = grain(int(x), int(y), 2) * 1.5
        inner = (inner[0] + g, inner[1] + g * 0.7, inner[2] + g * 0.4)
        shadow = math.exp(-max(depth - 3.6, 0.0) / 3.0) * (0.35 + 0.45 * max(0.0, -facing))
        c = darker(inner, 1.0 - shadow)
        c = mix(c, gold(bead((depth) / 3.6, -ux, -uy) * 0.92), band(depth, 0.0, 3.6))
        c = mix(c, EDGE_DARK, band(depth, -1.2, 0.0))
        return c, clamp01(1.6 - d)
    shade(canvas, CX - 152, 0, CX + 152, 112, fn)


def metal_text(canvas, polys, top, bottom, glow=0.0, outline=1.2, shadow=(1, 2), bright=1.0):
    """Gold lettering: soft shadow, dark outline, bevelled gradient fill."""
    m = rasterize(polys, canvas.w, canvas.h)
    if glow:
        canvas.add_light(m.blurred(6), AMBER, glow)
    if shadow:
        canvas.paint(m.dilated(outline + 0.6).blurred(1).shifted(*shadow), (6, 2, 0), 0.8)
    if outline:
        canvas.paint(m.dilated(outline), (22, 11, 2))
    height = m.blurred(1, 2)
    span = max(bottom - top, 1.0)

    def colour(x, y):
        hx = height.get(x + 1, y) - height.get(x - 1, y)
        hy = height.get(x, y + 1) - height.get(x, y - 1)
        i = lit(-hx * 1.6, -hy * 1.6, ambient=0.42, diffuse=0.5, specular=0.35)
        t = clamp01((y + 0.5 - top) / span)
        # Polished metal: bright sky at the top, a dark horizon band, warm
        # reflected light towards the foot.
        sheen = curve([(0.0, 1.18), (0.38, 1.02), (0.52, 0.74), (0.75, 0.95), (1.0, 0.72)], t)
        return gold(clamp01(i * sheen * bright))
    canvas.paint(m, colour)
    return m


def draw_logo(canvas):
    cap, big = 30.0, ("DV", 1.24)
    text = "DUSK VALE"
    width = text_width(text, cap, 6, big)
    baseline = 98.0
    polys, _ = text_polys(text, CX - width / 2, baseline, cap, 6, big)
    metal_text(canvas, polys, baseline - cap * big[1], baseline, glow=0.35, outline=1.3)


def taper(x0, x1, y, w0, w1):
    """A horizontal line thinning from w0 at x0 to w1 at x1."""
    return [(x0, y - w0 / 2), (x1, y - w1 / 2), (x1, y + w1 / 2), (x0, y + w0 / 2)]


def lozenge(cx, cy, rx, ry):
    return [(cx - rx, cy), (cx, cy - ry), (cx + rx, cy), (cx, cy + ry)]


def draw_emblem(canvas):
    """A sun going down into a valley, with rays, over a horizon that runs
    out to both sides of the plaque."""
    hy, vx, vy = 42.0, 17.0, 50.0           # horizon, half width and floor of the vale
    sun_y, sun_r = 45.0, 11.5
    polys = []
    # The sun's disc above the valley's edge.
    valley = [(CX - 40, hy), (CX - vx, hy), (CX, vy), (CX + vx, hy), (CX + 40, hy), (CX + 40, 0), (CX - 40, 0)]
    sun = rasterize([circle(CX, sun_y, sun_r)], canvas.w, canvas.h).times(
        rasterize([[(x, y - 2.2) for x, y in valley]], canvas.w, canvas.h))
    for k in range(2, 9):                   # the lowest rays would run into the horizon
        a = math.pi + k * math.pi / 10
        r0, r1 = sun_r + 3.0, sun_r + (11.0 if k % 2 else 7.5)
        w0 = 2.6 if k % 2 else 2.0
        ca, sa = math.cos(a), math.sin(a)
        px, py = -sa, ca
        polys.append([(CX + ca * r0 + px * w0 / 2, sun_y + sa * r0 + py * w0 / 2),
                      (CX + ca * r1, sun_y + sa * r1),
                      (CX + ca * r0 - px * w0 / 2, sun_y + sa * r0 - py * w0 / 2)])
    # The valley's edge and the horizon.
    polys += stroke([(CX - vx, hy), (CX, vy), (CX + vx, hy)], 1.8)
    for s in (-1, 1):
        polys.append(taper(CX + s * vx, CX + s * 112, hy, 1.8, 0.6))
        polys.append(lozenge(CX + s * 118, hy, 5.0, 3.0))
        polys.append(lozenge(CX + s * 60, hy, 3.2, 2.4))
    m = metal_text(canvas, polys, sun_y - sun_r - 9, vy, outline=1.0, shadow=(1, 1))
    # The disc itself glows.
    canvas.add_light(sun.blurred(3), AMBER, 0.5)
    canvas.paint(sun.dilated(1.0), (22, 11, 2))

    def sun_colour(x, y):
        t = clamp01((y + 0.5 - (sun_y - sun_r)) / sun_r)
        return mix((255, 244, 196), (240, 130, 18), t)
    canvas.paint(sun, sun_colour)
    return m


def bastion(cx, cy, r_out, r_in, points=5):
    """The program's mark: a star-shaped bastion seen from above."""
    pts = []
    for k in range(points * 2):
        a = -math.pi / 2 + k * math.pi / points
        r = r_out if k % 2 == 0 else r_in
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def boss(canvas, cx, cy, r):
    """A round gold-ringed boss set into the field."""
    def fn(x, y):
        d = math.hypot(x - cx, y - cy) - r
        if d > 2.5:
            return None
        ux, uy = gradient(lambda a, b: math.hypot(a - cx, b - cy), x, y)
        depth = -d
        inner = mix((64, 38, 16), (22, 12, 5), clamp01(((x - cx) * 0.5 + (y - cy) * 0.7 + r) / (2 * r)))
        c = inner
        c = mix(c, EDGE_DARK, band(depth, 2.8, 3.6))
        c = mix(c, gold(bead(depth / 2.8, -ux, -uy)), band(depth, 0.0, 2.8))
        c = mix(c, EDGE_DARK, band(depth, -1.2, 0.0))
        return c, clamp01(1.7 - d) * (0.55 if d > 0.5 else 1.0)
    shade(canvas, cx - r - 3, cy - r - 3, cx + r + 3, cy + r + 3, fn)


def draw_banner_sides(canvas):
    mid = 79.0
    boss(canvas, 38, mid, 17)
    metal_text(canvas, [bastion(38, mid + 0.8, 11.5, 5.2)], mid - 11, mid + 11, outline=1.0, shadow=(1, 1))
    cap = 12.0
    polys, adv = text_polys("RAVELIN", 66, mid + cap / 2, cap, 16)
    polys.append(lozenge(66 + adv + 9, mid, 3.0, 2.4))
    polys.append(taper(66 + adv + 13, 196, mid, 1.6, 0.5))
    # The right side answers with a line running out to the buttons.
    polys.append(taper(653, 531, mid, 1.6, 0.5))
    polys.append(lozenge(657, mid, 3.0, 2.4))
    polys.append(lozenge(594, mid, 2.6, 2.0))
    metal_text(canvas, polys, mid - cap / 2, mid + cap / 2, outline=1.0, shadow=(1, 1), bright=0.95)


def draw_bottom_jewel(canvas):
    cy = 504.5
    polys = [lozenge(CX, cy, 17, 7.0)]
    for s in (-1, 1):
        polys.append(taper(CX + s * 21, CX + s * 190, cy, 1.8, 0.5))
        polys.append(lozenge(CX + s * 24, cy, 3.0, 2.6))
        polys.append(lozenge(CX + s * 120, cy, 2.6, 2.0))
    metal_text(canvas, polys, cy - 7, cy + 7, outline=1.0, shadow=(1, 1))
    gem = rasterize([lozenge(CX, cy, 11, 4.2)], canvas.w, canvas.h)
    canvas.paint(gem.dilated(0.8), (30, 10, 0))

    def gem_colour(x, y):
        t = clamp01((y + 0.5 - (cy - 4.2)) / 8.4)
        return mix((255, 176, 70), (128, 40, 0), t)
    canvas.paint(gem, gem_colour)
    canvas.add_light(rasterize([circle(CX - 3.5, cy - 1.4, 1.4)], canvas.w, canvas.h), (255, 255, 230), 0.8)


def draw_plate(canvas, r, glyph, hot, set_alpha=False, drop=False):
    """A round button plate filling the rectangle r, with a CLOSE (X) or
    MINIMISE (bar) glyph; hot is its hover state."""
    x0, y0, x1, y1 = r
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    rx, ry = (x1 - x0) / 2, (y1 - y0) / 2
    size = min(rx, ry)

    def sd(x, y):
        return sd_ellipse(x, y, cx, cy, rx, ry)

    if drop:
        sh = sdf_mask(lambda x, y: sd(x - 1.0, y - 1.6) - 0.5, x0 - 4, y0 - 4, x1 + 5, y1 + 5, canvas.w, canvas.h)
        canvas.paint(sh.blurred(1, 2), (4, 2, 0), 0.75)

    def fn(x, y):
        d = sd(x, y)
        if d > 1.0:
            return None
        ux, uy = gradient(sd, x, y)
        depth = -d
        # A shallow dome: lighter towards the light.
        lx = ((x - cx) / rx) * 0.6 + ((y - cy) / ry) * 0.8
        if hot:
            rr = math.hypot((x - cx) / rx, (y - cy) / ry)
            inner = ramp([(0.0, (255, 184, 72)), (0.45, (232, 128, 16)), (1.0, (104, 44, 4))], rr)
        else:
            inner = mix((78, 48, 20), (20, 11, 4), clamp01((lx + 1.0) / 2.0))
        c = inner
        c = mix(c, EDGE_DARK, band(depth, 3.3, 4.1))
        c = mix(c, gold(clamp01(bead(depth / 3.3, -ux, -uy) * (1.12 if hot else 1.0))), band(depth, 0.7, 3.3))
        c = mix(c, EDGE_DARK, band(depth, -1.0, 0.7))
        return c, clamp01(0.5 - d)
    shade(canvas, x0 - 1, y0 - 1, x1 + 1, y1 + 1, fn)
    if set_alpha:
        for y in range(canvas.h):
            for x in range(canvas.w):
                canvas.a[y * canvas.w + x] = clamp01(0.5 - sd(x + 0.5, y + 0.5))

    if glyph == "close":
        s = size * 0.4
        polys = stroke([(cx - s, cy - s), (cx + s, cy + s)], 2.8) + stroke([(cx - s, cy + s), (cx + s, cy - s)], 2.8)
    else:
        s = size * 0.42
        polys = [rect(cx - s, cy + size * 0.18 - 1.35, cx + s, cy + size * 0.18 + 1.35)]
    top, bottom = cy - size * 0.4, cy + size * 0.4
    if hot:
        m = rasterize(polys, canvas.w, canvas.h)
        canvas.paint(m.dilated(1.0), (70, 20, 0))
        canvas.paint(m, lambda x, y: mix((255, 255, 236), (255, 222, 140), clamp01((y + 0.5 - top) / (bottom - top))))
    else:
        metal_text(canvas, polys, top, bottom, outline=0.9, shadow=(0, 1))


def draw_frame():
    canvas = Canvas(FRAME_W, FRAME_H, (0, 0, 0), 0.0)
    draw_frame_body(canvas)
    draw_plaque(canvas)
    draw_emblem(canvas)
    draw_logo(canvas)
    draw_banner_sides(canvas)
    draw_bottom_jewel(canvas)
    draw_plate(canvas, to_picture(MIN_SCREEN), "minimise", False, drop=True)
    draw_plate(canvas, to_picture(CLOSE_SCREEN), "close", False, drop=True)
    return canvas


# ---------------------------------------------------------------- game window

def draw_loading_border():
    """A gold-beaded border with a capped block at each corner; along the
    edges it is the same everywhere so the middle slices can be repeated."""
    w, h = 60, 57
    c = Canvas(w, h, WINDOW_FILL)

    def edge(x, y):
        e = min(x, y, w - x, h - y)
        ux, uy = ((1, 0) if e == x else (-1, 0) if e == w - x else (0, 1) if e == y else (0, -1))
        col = WINDOW_FILL
        # A soft shadow cast by the border onto the fill.
        col = darker(col, 1.0 - 0.5 * math.exp(-max(e - 12.0, 0.0) / 1.5))
        col = mix(col, EDGE_DARK, band(e, 11.0, 12.0))
        col = mix(col, gold(bead((e - 9.6) / 1.6, ux, uy, 1.0) * 0.85), band(e, 9.6, 11.2))
        field = mix((56, 34, 16), (38, 22, 10), clamp01((e - 5.0) / 4.6))
        col = mix(col, field, band(e, 4.6, 9.6))
        col = mix(col, EDGE_DARK, band(e, 3.8, 4.6))
        col = mix(col, gold(bead((e - 1.0) / 2.8, ux, uy)), band(e, 1.0, 3.8))
        col = mix(col, (12, 7, 3), band(e, -1.0, 1.0))
        return col, 1.0
    shade(c, 0, 0, w, h, edge)
    for cx, cy in ((8.0, 8.0), (w - 8.0, 8.0), (8.0, h - 8.0), (w - 8.0, h - 8.0)):
        corner_block(c, cx, cy, 7.0)
    return c


def corner_block(canvas, cx, cy, r):
    """A square cap over a corner of a border, with a gold rosette."""
    def sd(x, y):
        return sd_box(x, y, cx - r, cy - r, cx + r, cy + r)

    sh = sdf_mask(lambda x, y: sd(x - 0.8, y - 1.0), cx - r - 2, cy - r - 2, cx + r + 3, cy + r + 3, canvas.w, canvas.h)
    canvas.paint(sh.blurred(1, 1), (4, 2, 0), 0.6)

    def fn(x, y):
        d = sd(x, y)
        if d > 1.0:
            return None
        ux, uy = gradient(sd, x, y)
        depth = -d
        inner = mix((70, 42, 18), (30, 17, 7), clamp01(((x - cx) * 0.6 + (y - cy) * 0.8 + r) / (2 * r)))
        col = mix(inner, EDGE_DARK, band(depth, 2.8, 3.6))
        col = mix(col, gold(bead((depth - 0.6) / 2.2, -ux, -uy)), band(depth, 0.6, 2.8))
        col = mix(col, EDGE_DARK, band(depth, -1.0, 0.6))
        return col, clamp01(0.5 - d)
    shade(canvas, cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1, fn)
    star = []
    for k in range(8):
        a = k * math.pi / 4
        rr = 3.6 if k % 2 == 0 else 1.3
        star.append((cx + rr * math.cos(a), cy + rr * math.sin(a)))
    metal_text(canvas, [star], cy - 3.6, cy + 3.6, outline=0.6, shadow=None)


TB_H = 30                              # the band's height; two rows of line under it


def title_band_colour(y):
    """The band's colour in row y (the same in every middle column)."""
    if y == 0:
        return (74, 48, 22)
    if y <= 24:
        return mix((50, 31, 15), (24, 14, 7), (y - 1) / 23.0)
    return {25: (10, 5, 2), 26: (250, 206, 112), 27: (206, 140, 42),
            28: (120, 72, 14), 29: (14, 8, 3)}[y]


def draw_title_band():
    w, h = 37, 33
    c = Canvas(w, h, TITLE_SIDE_LINE)
    for y in range(TB_H):
        col = title_band_colour(y)
        for x in range(w):
            i = y * w + x
            c.r[i], c.g[i], c.b[i] = col
    # Row 30 sits between band and line and is not drawn; keep it band-like.
    for x in range(w):
        i = 30 * w + x
        c.r[i], c.g[i], c.b[i] = title_band_colour(29)
    # The gold edge starts from a jewel at the left end, kept left of the
    # slice that is repeated (from x = 9).
    for y in range(25, 30):
        for x in range(0, 6):
            i = y * w + x
            c.r[i], c.g[i], c.b[i] = title_band_colour(24 if y < 29 else 29)
    metal_text(c, [lozenge(4.0, 27.0, 3.4, 3.0)], 24, 30, outline=0.8, shadow=None)
    return c


TOOL_GLYPHS = {}


def tool_glyph(name):
    def register(fn):
        TOOL_GLYPHS[name] = fn
        return fn
    return register


@tool_glyph("close")
def glyph_close(cx, cy):
    return stroke([(cx - 4.6, cy - 4.6), (cx + 4.6, cy + 4.6)], 2.3) + \
        stroke([(cx - 4.6, cy + 4.6), (cx + 4.6, cy - 4.6)], 2.3)


@tool_glyph("minimize")
def glyph_minimize(cx, cy):
    return [rect(cx - 5.5, cy + 3.5, cx + 5.5, cy + 5.5)]


def frame_box(x0, y0, x1, y1, top=3.0, side=1.6):
    return [rect(x0, y0, x1, y0 + top), rect(x0, y1 - side, x1, y1),
            rect(x0, y0, x0 + side, y1), rect(x1 - side, y0, x1, y1)]


@tool_glyph("maximize")
def glyph_maximize(cx, cy):
    return frame_box(cx - 5.5, cy - 5.5, cx + 5.5, cy + 5.5)


@tool_glyph("restore")
def glyph_restore(cx, cy):
    return frame_box(cx - 2.5, cy - 6.5, cx + 6.5, cy + 2.5, top=2.4), frame_box(cx - 6.5, cy - 2.5, cx + 2.5, cy + 6.5, top=2.4)


@tool_glyph("tools")
def glyph_tools(cx, cy):
    teeth, r_out, r_in = 8, 6.8, 5.0
    pts = []
    for k in range(teeth * 4):
        a = (k - 0.5) * 2 * math.pi / (teeth * 4)
        r = r_out if (k % 4) in (1, 2) else r_in
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return [pts, circle(cx, cy, 2.2)]


def speaker(cx, cy):
    return [[(cx - 7.0, cy - 2.4), (cx - 4.0, cy - 2.4), (cx + 0.5, cy - 6.5), (cx + 0.5, cy + 6.5),
             (cx - 4.0, cy + 2.4), (cx - 7.0, cy + 2.4)]]


@tool_glyph("sound_off")
def glyph_sound_off(cx, cy):
    polys = speaker(cx - 0.5, cy)
    for r in (3.8, 7.0):
        arc = ellipse(cx + 0.3, cy, r, r, -0.85, 0.85, 12)
        polys += stroke(arc, 1.5)
    return polys


@tool_glyph("sound_on")
def glyph_sound_on(cx, cy):
    return glyph_sound_off(cx, cy), [(cx - 7.0, cy - 7.0), (cx + 7.0, cy + 7.0)]


def glyph_mask(name, canvas, cx, cy):
    """The glyph's coverage; two-part glyphs are cut where one crosses the
    other so the overlap reads."""
    shapes = TOOL_GLYPHS[name](cx, cy)
    if name == "restore":
        back, front = shapes
        m = rasterize(back, canvas.w, canvas.h).minus(rasterize([rect(cx - 7.5, cy - 3.5, cx + 3.5, cy + 7.5)], canvas.w, canvas.h))
        return m.union(rasterize(front, canvas.w, canvas.h))
    if name == "sound_on":
        body, (a, b) = shapes
        slash = stroke([a, b], 1.7)
        gap = rasterize(stroke([a, b], 3.7), canvas.w, canvas.h)
        return rasterize(body, canvas.w, canvas.h).minus(gap).union(rasterize(slash, canvas.w, canvas.h))
    if name == "tools":
        gear, hole = shapes
        return rasterize([gear], canvas.w, canvas.h).minus(rasterize([hole], canvas.w, canvas.h))
    return rasterize(shapes, canvas.w, canvas.h)


def draw_tool_button(name, cell):
    """Two images side by side, normal then hovered, on the band's colours."""
    c = Canvas(cell * 2, TB_H)
    for y in range(TB_H):
        col = title_band_colour(y)
        for x in range(c.w):
            i = y * c.w + x
            c.r[i], c.g[i], c.b[i] = col
    cy = 12.5
    for k, hot in enumerate((False, True)):
        cx = k * cell + cell / 2.0
        m = glyph_mask(name, c, cx, cy)
        if hot:
            total = sum(m.data) or 1.0
            gy = sum(v * (m.y0 + i // m.w + 0.5) for i, v in enumerate(m.data)) / total
            # The glow dies out before the image's edges so it never shows
            # a seam against the band.
            x0 = k * cell

            def fade(x, y):
                return clamp01(min(y - 1.0, 24.0 - y, x - x0 - 1.0, x0 + cell - 2.0 - x) / 4.0)
            glow = sdf_mask(lambda x, y: (math.hypot((x - cx) / 8.0, (y - gy) / 7.5) - 1.0) * 7.5,
                            cx - cell / 2, 0, cx + cell / 2, 25, c.w, c.h)
            c.add_light(glow.blurred(2).windowed(fade), (150, 70, 0), 0.6)
            c.add_light(m.blurred(2).windowed(fade), AMBER, 0.9)
            c.paint(m.dilated(0.8).shifted(0, 1), (40, 14, 0), 0.7)
            c.paint(m, lambda x, y: mix((255, 252, 232), (255, 214, 120), clamp01((y + 0.5 - (cy - 7)) / 14.0)))
        else:
            c.paint(m.dilated(0.7).shifted(0, 1), (6, 3, 0), 0.9)
            height = m.blurred(1, 1)

            def colour(x, y):
                hx = height.get(x + 1, y) - height.get(x - 1, y)
                hy = height.get(x, y + 1) - height.get(x, y - 1)
                i = lit(-hx * 1.2, -hy * 1.2, ambient=0.45, diffuse=0.45, specular=0.2)
                t = clamp01((y + 0.5 - (cy - 7)) / 14.0)
                return gold(clamp01(i * curve([(0.0, 1.15), (0.5, 0.9), (1.0, 0.75)], t)))
            c.paint(m, colour)
    # Nothing but the glyphs may differ from the band.
    for y in range(TB_H):
        band_rgb = tuple(int(v + 0.5) for v in title_band_colour(y))
        for x in range(c.w):
            if y in (0, TB_H - 1) or x in (0, cell - 1, cell, 2 * cell - 1):
                assert c.bytes_rgb(x, y) == band_rgb, (name, x, y)
    return c


TOOL_BUTTONS = [("btn_close.bmp", "close", 25), ("btn_restore.bmp", "restore", 27),
                ("btn_minimize.bmp", "minimize", 27), ("btn_maximize.bmp", "maximize", 27),
                ("btn_tools.bmp", "tools", 27), ("btn_sound_off.bmp", "sound_off", 27),
                ("btn_sound_on.bmp", "sound_on", 27)]


# ---------------------------------------------------------------- checks

def read_png_rgba(path):
    """Decodes what we wrote (8-bit RGBA, non-interlaced) back to rows."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    pos, idat, head = 8, b"", None
    while pos < len(data):
        n, tag = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if tag == b"IHDR":
            head = struct.unpack(">IIBBBBB", body)
        elif tag == b"IDAT":
            idat += body
        pos += 12 + n
    w, h, depth, ctype, _, _, interlace = head
    assert (depth, ctype, interlace) == (8, 6, 0), (path, head)
    raw = zlib.decompress(idat)
    rows, prev, stride = [], bytearray(w * 4), w * 4
    for y in range(h):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if f == 1:
                line[i] = (line[i] + a) & 0xFF
            elif f == 2:
                line[i] = (line[i] + b) & 0xFF
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif f == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append(line)
        prev = line
    return w, h, rows


def read_bmp_rgb(path):
    data = open(path, "rb").read()
    magic, size, _, _, offset = struct.unpack("<2sIHHI", data[:14])
    hs, w, h, planes, bpp, comp = struct.unpack("<IiiHHI", data[14:34])
    assert (magic, size, hs, planes, bpp, comp) == (b"BM", len(data), 40, 1, 24, 0), path
    assert h > 0, "bottom-up"
    stride = (w * 3 + 3) & ~3
    rows = []
    for y in range(h):
        line = data[offset + (h - 1 - y) * stride:offset + (h - 1 - y) * stride + w * 3]
        rows.append([(line[x * 3 + 2], line[x * 3 + 1], line[x * 3]) for x in range(w)])
    return w, h, rows


def check_outputs():
    def path(name):
        return os.path.join(OUT_DIR, name)

    w, h, rows = read_png_rgba(path("frame.png"))
    assert (w, h) == (FRAME_W, FRAME_H)

    def alpha(x, y):
        return rows[y][x * 4 + 3]
    x0, y0, x1, y1 = OPENING
    assert all(alpha(x, y) == 0 for y in range(y0, y1) for x in range(x0, x1)), "opening not clear"
    # The border closes round the opening with no gap.
    assert all(alpha(x, y) == 255 for y in range(y0 - 1, y1 + 1) for x in (x0 - 1, x1)), "left/right gap"
    assert all(alpha(x, y) == 255 for x in range(x0 - 1, x1 + 1) for y in (y0 - 1, y1)), "top/bottom gap"
    # Outside: above the body beside the crest, and the notched corners.
    assert all(alpha(x, y) == 0 for y in range(0, BODY_TOP - 1) for x in list(range(0, 180)) + list(range(548, w)))
    assert all(alpha(x, y) == 0 for x, y in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1), (1, BODY_TOP + 1)))
    assert all(alpha(x, 0) == 0 for x in range(w) if abs(x + 0.5 - CX) > 12)
    # The button plates are solid where the buttons are.
    for r in (CLOSE_SCREEN, MIN_SCREEN):
        px0, py0, px1, py1 = to_picture(r)
        cx, cy = int((px0 + px1) / 2), int((py0 + py1) / 2)
        assert all(alpha(x, y) == 255 for y in range(cy - 6, cy + 7) for x in range(cx - 6, cx + 7)), r
    for name, size in (("close_highlight.png", (26, 25)), ("minimize_highlight.png", (20, 20))):
        w, h, rows = read_png_rgba(path(name))
        assert (w, h) == size, name
        assert rows[h // 2][(w // 2) * 4 + 3] == 255 and rows[0][3] == 0, name

    w, h, px = read_bmp_rgb(path("loading_border.bmp"))
    assert (w, h) == (60, 57)
    # Edges the same along their length around the slices at x = 30, y = 28;
    # the middle is the window's fill.
    assert all(len(set(px[y][18:42])) == 1 for y in range(h)), "top/bottom edge not uniform"
    assert all(len({px[y][x] for y in range(18, 39)}) == 1 for x in range(w)), "side edge not uniform"
    assert px[28][30] == WINDOW_FILL, px[28][30]

    w, h, px = read_bmp_rgb(path("title_band.bmp"))
    assert (w, h) == (37, 33)
    assert all(len(set(px[y][9:])) == 1 for y in range(TB_H)), "band not uniform from x = 9"
    assert all(set(px[y][18:]) == {TITLE_SIDE_LINE} for y in (31, 32)), "bottom line"
    for file, name, cell in TOOL_BUTTONS:
        w, h, bpx = read_bmp_rgb(path(file))
        assert (w, h) == (cell * 2, TB_H), file
        # Image edges are the band's own colours so the buttons sit in it.
        for y in range(TB_H):
            for x in (0, cell - 1, cell, 2 * cell - 1):
                assert bpx[y][x] == px[y][20], (file, x, y)


def main():
    os.makedirs(OUT_DIR, exist_ok=True)
    save_png("frame.png", draw_frame())
    close = Canvas(26, 25, (0, 0, 0), 0.0)
    draw_plate(close, (0, 0, 26, 25), "close", True, set_alpha=True)
    save_png("close_highlight.png", close)
    minimise = Canvas(20, 20, (0, 0, 0), 0.0)
    draw_plate(minimise, (0, 0, 20, 20), "minimise", True, set_alpha=True)
    save_png("minimize_highlight.png", minimise)
    save_bmp("loading_border.bmp", draw_loading_border())
    save_bmp("title_band.bmp", draw_title_band())
    for file, name, cell in TOOL_BUTTONS:
        save_bmp(file, draw_tool_button(name, cell))
    check_outputs()


if __name__ == "__main__":
    main()
