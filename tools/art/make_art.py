#!/usr/bin/python3
"""Draws the launcher's artwork into res/art/: the main window's picture
frame and its button highlights (PNG with alpha), and the bitmaps of the
game window (loading border, title band, tool buttons; 24-bit BMP).

Dark amber look: deep browns, gold mouldings with a top-left light, engraved
ornament, lettering in EB Garamond. Drawn with Pillow: shapes are drawn eight
times larger and reduced, which anti-aliases them; a moulding or a letter is
lit from the slopes of its blurred shape through a colour table.

Needs Debian's python3-pil and fonts-ebgaramond (scripts/setup installs
both), so run it with Debian's Python, from the repository root, after
changing the drawing; the outputs are committed:
    /usr/bin/python3 tools/art/make_art.py"""
import math
import os
import random
import struct

from PIL import Image, ImageChops, ImageDraw, ImageEnhance, ImageFilter, ImageFont

OUT_DIR = os.path.join("res", "art")
FONT = "/usr/share/fonts/opentype/ebgaramond/EBGaramond12-Bold.otf"

# Colours the program itself paints with; the art has to meet them.
WINDOW_FILL = (0x1A, 0x10, 0x09)
TITLE_SIDE_LINE = (0x43, 0x29, 0x01)
AMBER = (0xFF, 0x99, 0x00)

EDGE_DARK = (13, 7, 3)
SHADOW = (6, 2, 0)
OUTLINE = (22, 11, 2)


# ---------------------------------------------------------------- colour and light

def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def ramp(stops, t):
    """Piecewise linear through (position, value) stops, sorted; values are
    numbers or colours."""
    if t <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            k = (t - p0) / (p1 - p0)
            return mix(c0, c1, k) if isinstance(c0, tuple) else c0 + (c1 - c0) * k
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


# How the metal answers the light: (ambient, diffuse, specular) and a sheen
# down the height of a lettering line (bright sky, dark horizon band, warm
# reflected light at the foot).
MOULDING = ((0.30, 0.62, 0.45), [(0.0, 1.0), (1.0, 1.0)])
LETTERING = ((0.42, 0.5, 0.35), [(0.0, 1.18), (0.38, 1.02), (0.52, 0.74), (0.75, 0.95), (1.0, 0.72)])
TOOL_GLYPH = ((0.45, 0.45, 0.2), [(0.0, 1.15), (0.5, 0.9), (1.0, 0.75)])


# ---------------------------------------------------------------- shapes and masks
#
# A mask is an "L" image the size of the picture: coverage 0..255.

SS = 8  # drawing scale; reducing by it anti-aliases


class Shapes:
    """Draws filled shapes (or cuts them out with on=False) in picture
    coordinates at SS times the size; mask() reduces to coverage."""

    def __init__(self, size):
        self.size = size
        self.big = Image.new("L", (size[0] * SS, size[1] * SS), 0)
        self.draw = ImageDraw.Draw(self.big)

    @staticmethod
    def _xy(points):
        # Pillow fills a row's pixels from the one holding the left edge to
        # the one holding the right edge, rows by their centres: as near to
        # coverage as it gets without knowing which edge is which.
        return [(x * SS, y * SS - 0.5) for x, y in points]

    def poly(self, points, on=True):
        if len(points) >= 3:
            self.draw.polygon(self._xy(points), fill=255 if on else 0)
        return self

    def rect(self, x0, y0, x1, y1, on=True):
        """Exact: the pixels whose centres are inside."""
        box = [math.ceil(v * SS - 0.5) for v in (x0, y0, x1, y1)]
        if box[2] > box[0] and box[3] > box[1]:
            self.draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=255 if on else 0)
        return self

    def ellipse(self, cx, cy, rx, ry, on=True):
        if rx > 0 and ry > 0:
            self.poly(ellipse(cx, cy, rx, ry), on)
        return self

    def line(self, points, width, on=True):
        """A polyline with butt ends and round joints."""
        self.draw.line(self._xy(points), fill=255 if on else 0, width=max(1, round(width * SS)), joint="curve")
        return self

    def text(self, xy, ch, font, on=True):
        """A letter (the font is at SS times its size), the left end of its
        baseline at xy."""
        self.draw.text((xy[0] * SS, xy[1] * SS), ch, font=font, fill=255 if on else 0, anchor="ls")
        return self

    def mask(self):
        return self.big.resize(self.size, Image.BOX)


def rect(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def ellipse(cx, cy, rx, ry, a0=0.0, a1=2 * math.pi, n=None):
    """Points on an elliptic arc, angles in radians, y down; a whole ellipse
    without its repeated first point."""
    whole = a1 - a0 >= 2 * math.pi
    if n is None:
        n = max(24, int(abs(a1 - a0) * max(rx, ry) * 2))
    pts = [(cx + rx * math.cos(a0 + (a1 - a0) * k / n), cy + ry * math.sin(a0 + (a1 - a0) * k / n))
           for k in range(n + 1)]
    return pts[:-1] if whole else pts


def rounded_rect(x0, y0, x1, y1, r):
    pts = []
    for cx, cy, a in ((x1 - r, y0 + r, -math.pi / 2), (x1 - r, y1 - r, 0.0),
                      (x0 + r, y1 - r, math.pi / 2), (x0 + r, y0 + r, math.pi)):
        pts += ellipse(cx, cy, r, r, a, a + math.pi / 2, 12)
    return pts


def lozenge(cx, cy, rx, ry):
    return [(cx - rx, cy), (cx, cy - ry), (cx + rx, cy), (cx, cy + ry)]


def taper(x0, x1, y, w0, w1):
    """A horizontal line thinning from w0 at x0 to w1 at x1."""
    return [(x0, y - w0 / 2), (x1, y - w1 / 2), (x1, y + w1 / 2), (x0, y + w0 / 2)]


def star(cx, cy, r_out, r_in, points, turn=-math.pi / 2):
    return [(cx + (r_out if k % 2 == 0 else r_in) * math.cos(turn + k * math.pi / points),
             cy + (r_out if k % 2 == 0 else r_in) * math.sin(turn + k * math.pi / points))
            for k in range(points * 2)]


def fill(size, shapes_fn):
    s = Shapes(size)
    shapes_fn(s)
    return s.mask()


def scaled(mask, k):
    return mask if k == 1.0 else mask.point(lambda v: min(255, round(v * k)))


def shifted(mask, dx, dy):
    out = Image.new("L", mask.size, 0)
    out.paste(mask, (dx, dy))
    return out


def union(a, b):
    return ImageChops.lighter(a, b)


def minus(a, b):
    return ImageChops.subtract(a, b)


def times(a, b):
    return ImageChops.multiply(a, b)


def blurred(mask, radius, passes=3):
    """Repeated box blur: close to a Gaussian."""
    for _ in range(passes):
        mask = mask.filter(ImageFilter.BoxBlur(radius))
    return mask


def dilated(mask, radius):
    """Round dilation that stays anti-aliased: the largest coverage within
    the radius, weakened towards its rim."""
    out = mask
    reach = int(math.ceil(radius)) + 1
    for oy in range(-reach, reach + 1):
        for ox in range(-reach, reach + 1):
            k = clamp01(radius + 0.5 - math.hypot(ox, oy))
            if k > 0 and (ox, oy) != (0, 0):
                out = union(out, scaled(shifted(mask, ox, oy), k))
    return out


def ring(outline, size, a, b):
    """Coverage between an outline moved in by a and moved in by b."""
    return minus(fill(size, lambda s: outline(s, a)), fill(size, lambda s: outline(s, b)))


# ---------------------------------------------------------------- gradients
#
# A t-map is an "L" image of a parameter 0..1 over the picture, made by
# resampling a ramp; colour tables turn it into pictures.

# Distance from the middle, 255 at the inscribed circle and beyond.
RADIAL = Image.radial_gradient("L").point(lambda v: min(255, round(v * math.sqrt(2))))


def affine_t(size, a, b, c):
    """t = a x + b y + c at each pixel's centre, clamped to 0..1."""
    corners = [a * x + b * y + c for x in (0, size[0]) for y in (0, size[1])]
    lo = math.floor(min(corners + [0.0])) - 1
    hi = math.ceil(max(corners + [1.0])) + 1
    # A ramp over every t the picture reaches, one step per level.
    ramp_img = Image.new("L", ((hi - lo) * 255, 1))
    ramp_img.putdata([min(255, max(0, i + 255 * lo)) for i in range(ramp_img.width)])
    return ramp_img.transform(size, Image.AFFINE, (255 * a, 255 * b, 0.5 + 255 * (c - lo), 0, 0, 0.5),
                              resample=Image.BILINEAR)


def linear(size, p0, p1):
    """0 at p0 to 1 at p1, constant across the line between them."""
    dx, dy = p1[0] - p0[0], p1[1] - p0[1]
    n2 = dx * dx + dy * dy
    return affine_t(size, dx / n2, dy / n2, -(p0[0] * dx + p0[1] * dy) / n2)


def radial(size, cx, cy, rx, ry):
    """0 at the centre to 1 on the ellipse, 1 beyond."""
    return RADIAL.transform(size, Image.AFFINE, (128 / rx, 0, 128.5 - 128 * cx / rx, 0, 128 / ry, 128.5 - 128 * cy / ry),
                            resample=Image.BILINEAR, fillcolor=255)


def colourise(tmap, colour_at):
    """An RGB picture: colour_at(t) for each pixel's t."""
    table = [colour_at(i / 255) for i in range(256)]
    lut = [max(0, min(255, round(c[k]))) for k in range(3) for c in table]
    return Image.merge("RGB", (tmap, tmap, tmap)).point(lut)


def noise(size, seed, amplitude):
    """Fixed grain around 128, amplitude per channel."""
    grain = Image.frombytes("L", size, random.Random(seed).randbytes(size[0] * size[1]))
    return Image.merge("RGB", [grain.point(lambda v, a=a: round(128 + (v / 127.5 - 1.0) * a)) for a in amplitude])


def grained(picture, seed, amplitude):
    return ImageChops.add(picture, noise(picture.size, seed, amplitude), 1.0, -128)


# ---------------------------------------------------------------- relief
#
# A shape's blurred coverage is its height; the height's slopes give each
# pixel a normal, and a 3D colour table (slope across, slope down, place down
# the line) gives the lit metal.

SLOPE_SCALE = 32.0  # bytes per unit of lean


def slopes(height, gain):
    """Lean of the surface across and down, 128 for flat: gain times the
    height's central difference (height 0..1)."""
    scale = 255.0 / (SLOPE_SCALE * gain)
    dx = ImageChops.subtract(shifted(height, -1, 0), shifted(height, 1, 0), scale, 128)
    dy = ImageChops.subtract(shifted(height, 0, -1), shifted(height, 0, 1), scale, 128)
    return dx, dy


_tables = {}


def metal_table(finish, bright):
    key = (id(finish), bright)
    if key not in _tables:
        (ambient, diffuse, specular), sheen = finish

        def colour(r, g, b):
            hx, hy = (r * 255 - 128) / SLOPE_SCALE, (g * 255 - 128) / SLOPE_SCALE
            i = lit(-hx, -hy, ambient, diffuse, specular) * ramp(sheen, b) * bright
            return tuple(c / 255 for c in ramp(GOLD, clamp01(i)))
        _tables[key] = ImageFilter.Color3DLUT.generate((65, 65, 9), colour)
    return _tables[key]


def metal(height, gain, finish=MOULDING, bright=1.0, tmap=None):
    """Gold lit from the height's slopes; tmap places each pixel on the
    finish's sheen."""
    dx, dy = slopes(height, gain)
    if tmap is None:
        tmap = Image.new("L", height.size, 0)
    return Image.merge("RGB", (dx, dy, tmap)).filter(metal_table(finish, bright))


def bead(band, width, strength=1.6, bright=1.0):
    """A rounded gold moulding filling the band, about width across."""
    sigma = max(width / 4.0, 0.6)
    return metal(band.filter(ImageFilter.GaussianBlur(sigma)), strength * 1.9 * sigma, bright=bright)


def facing_light(region, blur=1.0):
    """How much the rim of a region faces the light, 0..255: a bevel on the
    region's side of its edge catches it there."""
    h = region.filter(ImageFilter.GaussianBlur(blur))
    dx, dy = slopes(h, 4.0)
    lx, ly = LIGHT[0] / math.hypot(LIGHT[0], LIGHT[1]), LIGHT[1] / math.hypot(LIGHT[0], LIGHT[1])
    up_x = dx.point(lambda v: max(0, round(-(v - 128) * lx * 2)))
    up_y = dy.point(lambda v: max(0, round(-(v - 128) * ly * 2)))
    return ImageChops.add(up_x, up_y)


# ---------------------------------------------------------------- canvas

class Canvas:
    """An RGB picture with a separate alpha."""

    def __init__(self, size, colour=(0, 0, 0), alpha=255):
        self.size = size
        self.rgb = Image.new("RGB", size, colour)
        self.alpha = Image.new("L", size, alpha)

    def paint(self, mask, colour, opacity=1.0):
        """Composite a colour or a picture through the mask; alpha stays."""
        src = colour if isinstance(colour, Image.Image) else Image.new("RGB", self.size, colour)
        self.rgb = Image.composite(src, self.rgb, scaled(mask, opacity))

    def tone(self, mask, factor, opacity=1.0):
        """Scales the brightness through the mask."""
        self.paint(mask, ImageEnhance.Brightness(self.rgb).enhance(factor), opacity)

    def add_light(self, mask, colour, opacity=1.0):
        """Screen-blend a glow through the mask (keeps highlights from
        clipping flat)."""
        glow = Image.composite(Image.new("RGB", self.size, colour), Image.new("RGB", self.size), scaled(mask, opacity))
        self.rgb = ImageChops.screen(self.rgb, glow)

    def save_png(self, name):
        # Fully clear pixels carry no colour.
        seen = self.alpha.point(lambda a: 255 if a else 0)
        out = Image.composite(self.rgb, Image.new("RGB", self.size), seen)
        out.putalpha(self.alpha)
        out.save(os.path.join(OUT_DIR, name), "PNG", optimize=True)

    def save_bmp(self, name):
        self.rgb.save(os.path.join(OUT_DIR, name), "BMP")


def metal_ornament(canvas, mask, top, bottom, glow=0.0, outline=1.2, shadow=(1, 2), bright=1.0):
    """Gold lettering or ornament: soft shadow, dark outline, bevelled fill
    with a sheen from top to bottom."""
    if glow:
        canvas.add_light(blurred(mask, 6), AMBER, glow)
    if shadow:
        canvas.paint(shifted(blurred(dilated(mask, outline + 0.6), 1), *shadow), SHADOW, 0.8)
    if outline:
        canvas.paint(dilated(mask, outline), OUTLINE)
    tmap = linear(canvas.size, (0, top), (0, bottom))
    canvas.paint(mask, metal(blurred(mask, 1, 2), 1.6, LETTERING, bright, tmap))


def raised_panel(canvas, outline, inner, bead_from, bead_to, rim=0.0, rim_opacity=1.0, bright=1.0, inner_edge=0.8):
    """A panel in a gold moulding: outline(s, d) draws its edge moved in by
    d. A dark rim outside (rim wide) and dark edges beside the bead, inner
    (a colour or picture) within."""
    size = canvas.size
    if rim:
        canvas.paint(ring(outline, size, -rim, 0), EDGE_DARK, rim_opacity)
    canvas.paint(fill(size, lambda s: outline(s, 0)), EDGE_DARK)
    canvas.paint(fill(size, lambda s: outline(s, bead_to)), inner)
    band = ring(outline, size, bead_from, bead_to)
    canvas.paint(band, bead(band, bead_to - bead_from, bright=bright))
    if inner_edge:
        canvas.paint(ring(outline, size, bead_to, bead_to + inner_edge), EDGE_DARK)


# ---------------------------------------------------------------- lettering

_fonts = {}


def font(cap):
    """EB Garamond at the size whose capitals are cap pixels high (drawn at
    SS times that)."""
    if cap not in _fonts:
        probe = ImageFont.truetype(FONT, 1000)
        cap_height = -probe.getbbox("H", anchor="ls")[1]
        _fonts[cap] = ImageFont.truetype(FONT, round(cap * SS * 1000 / cap_height))
    return _fonts[cap]


def lettering(s, text, x, baseline, cap, tracking=0.0, initials=1.0):
    """Draws a line of capitals into s (or only measures it, s None), the
    first letter of each word scaled by initials; returns the advance."""
    base = font(cap)
    pen = 0.0
    prev = None
    for ch in text:
        if ch == " ":
            pen += base.getlength(" ") / SS
            prev = None
            continue
        f = font(round(cap * initials, 2)) if prev is None else base
        if prev:
            pen += (base.getlength(prev + ch) - base.getlength(prev) - base.getlength(ch)) / SS
        if s:
            s.text((x + pen, baseline), ch, f)
        pen += f.getlength(ch) / SS + tracking
        prev = ch
    return pen - tracking


# ---------------------------------------------------------------- the frame

FRAME_W, FRAME_H = 727, 519
FRAME = (FRAME_W, FRAME_H)
SCREEN_W, SCREEN_H = 723, 505          # the size it is drawn at
OPENING = (23, 118, 705, 489)          # the login page shows through here
CLOSE_SCREEN = (686, 64, 712, 89)
MIN_SCREEN = (661, 69, 681, 89)
CX = FRAME_W / 2.0
BODY_TOP = 40
CREST_TOP, CREST_BOTTOM, CREST_HALF = 16, 70, 158
MEDALLION_Y, MEDALLION_R = 30, 28

FIELD_TOP = (56, 35, 17)
FIELD_BOTTOM = (31, 19, 9)


def to_picture(r):
    sx, sy = FRAME_W / SCREEN_W, FRAME_H / SCREEN_H
    return (r[0] * sx, r[1] * sy, r[2] * sx, r[3] * sy)


def corner_fillet(s, qx, qy, r, sx, sy):
    """Fills the concave corner at (qx, qy) with a quarter round of radius r
    that lies towards (sx, sy)."""
    s.rect(min(qx, qx + sx * r), min(qy, qy + sy * r), max(qx, qx + sx * r), max(qy, qy + sy * r))
    s.ellipse(qx + sx * r, qy + sy * r, r, r, on=False)


def disc_fillets(s, cx, cy, r, line_y, rf):
    """Rounds both corners where a disc standing on the line y = line_y (the
    top of a shape) meets it, with radius rf."""
    fy = line_y - rf
    reach = (r + rf) ** 2 - (cy - fy) ** 2
    if reach <= 0:
        return
    for side in (-1, 1):
        fx = cx + side * math.sqrt(reach)
        k = r / (r + rf)
        touch = (cx + (fx - cx) * k, cy + (fy - cy) * k)
        s.poly([(fx, fy), (fx, line_y), (cx, line_y), touch])
        s.ellipse(fx, fy, rf, rf, on=False)


def frame_outline(s, d):
    """The frame's outer edge moved in by d: a body with notched corners and
    a raised crest in the middle of the top carrying a medallion."""
    left, right = CX - CREST_HALF, CX + CREST_HALF
    corner_fillet(s, left + d, BODY_TOP + d, 17 + d, -1, -1)
    corner_fillet(s, right - d, BODY_TOP + d, 17 + d, 1, -1)
    disc_fillets(s, CX, MEDALLION_Y, MEDALLION_R - d, CREST_TOP + d, 6 + d)
    s.rect(d, BODY_TOP + d, FRAME_W - d, FRAME_H - d)
    s.rect(left + d, CREST_TOP + d, right - d, CREST_BOTTOM - d)
    s.ellipse(CX, MEDALLION_Y, MEDALLION_R - d, MEDALLION_R - d)
    for cx, cy in ((0, BODY_TOP), (FRAME_W, BODY_TOP), (0, FRAME_H), (FRAME_W, FRAME_H)):
        s.ellipse(cx, cy, 12 + d, 12 + d, on=False)
    for cx in (left, right):
        s.ellipse(cx, CREST_TOP, 9 + d, 9 + d, on=False)


def opening_outline(s, d):
    """The opening grown by -d (d <= 0 grows it), rounded as it grows."""
    x0, y0, x1, y1 = OPENING
    if d < 0:
        s.poly(rounded_rect(x0 + d, y0 + d, x1 - d, y1 - d, -d))
    else:
        s.rect(x0 + d, y0 + d, x1 - d, y1 - d)


def trellis():
    """A faint engraved trellis for the banner: dark grooves and the lit
    lines beside them."""
    grooves, lights = Shapes(FRAME), Shapes(FRAME)
    for k in range(-60, 130):
        u = 10 * k
        for s, a in ((grooves, 0.0), (lights, 1.0)):
            # x + y in [u + a, u + a + 1], and x - y in the same.
            s.poly([(u + a, 0), (u + a + 1, 0), (u + a + 1 - 130, 130), (u + a - 130, 130)])
            s.poly([(u + a, 0), (u + a + 1, 0), (u + a + 1 + 130, 130), (u + a + 130, 130)])
    fade = linear(FRAME, (0, OPENING[1]), (0, OPENING[1] - 10))
    return times(grooves.mask(), fade), times(lights.mask(), fade)


def draw_frame_body(canvas):
    """The border itself: outer gold rim, dark field, gold moulding round the
    opening; alpha from the outline less the opening."""
    def outer(d):
        return fill(FRAME, lambda s: frame_outline(s, d))

    def around(d):
        return fill(FRAME, lambda s: opening_outline(s, d))

    canvas.alpha = minus(outer(0), around(0))

    field = colourise(linear(FRAME, (0, 4), (0, 504)), lambda t: mix(FIELD_TOP, FIELD_BOTTOM, t))
    canvas.paint(outer(0), grained(field, 1, (2.0, 1.4, 0.9)))
    grooves, lights = trellis()
    canvas.tone(grooves, 0.84)
    canvas.tone(lights, 1.07)

    # The field in the shade of both mouldings, and a lit chamfer where it
    # meets them.
    inner_field = minus(outer(6.5), around(-7.0))
    canvas.paint(blurred(ImageChops.invert(outer(6.5)), 2), (0, 0, 0), 0.8)
    canvas.paint(blurred(around(-7.0), 2), (0, 0, 0), 0.9)
    chamfer = times(times(inner_field, ImageChops.invert(outer(7.5))), facing_light(outer(6.5)))
    canvas.paint(chamfer, (120, 80, 40), 0.35)
    chamfer = times(minus(around(-8.0), around(-7.0)), facing_light(ImageChops.invert(around(-7.0))))
    canvas.paint(chamfer, (120, 80, 40), 0.35)

    band = ring(frame_outline, FRAME, 1.2, 5.4)
    canvas.paint(ring(frame_outline, FRAME, 0, 1.2), EDGE_DARK)
    canvas.paint(band, bead(band, 4.2))
    canvas.paint(ring(frame_outline, FRAME, 5.4, 6.5), EDGE_DARK)

    band = minus(around(-6.0), around(-1.4))
    canvas.paint(minus(around(-7.0), around(-6.0)), EDGE_DARK)
    canvas.paint(band, bead(band, 4.6, bright=0.96))
    canvas.paint(minus(around(-1.4), around(0)), (8, 4, 1))


def plaque_outline(s, d):
    """The recessed panel in the crest that carries the logo, moved in by d."""
    x0, x1, y0, y1 = CX - 146, CX + 146, CREST_TOP + 8, 106
    disc_fillets(s, CX, MEDALLION_Y, MEDALLION_R - 8 - d, y0 + d, 5 + d)
    s.rect(x0 + d, y0 + d, x1 - d, y1 - d)
    s.ellipse(CX, MEDALLION_Y, MEDALLION_R - 8 - d, MEDALLION_R - 8 - d)
    for cx, cy in ((x0, y0), (x1, y0), (x0, y1), (x1, y1)):
        s.ellipse(cx, cy, 7 + d, 7 + d, on=False)


def draw_plaque(canvas):
    inner = colourise(linear(FRAME, (0, 20), (0, 100)), lambda t: mix((27, 15, 6), (40, 23, 9), t))
    glow = radial(FRAME, CX, 80, 300, 68).point(lambda v: round(255 * 0.55 * math.exp(-(2 * v / 255) ** 2)))
    inner = Image.composite(Image.new("RGB", FRAME, (104, 54, 12)), inner, glow)
    inner = grained(inner, 2, (1.5, 1.05, 0.6))
    raised_panel(canvas, plaque_outline, inner, 0.0, 3.6, rim=1.2, bright=0.92, inner_edge=0)
    # Recessed: the moulding shades the panel, most along its upper left.
    deep = fill(FRAME, lambda s: plaque_outline(s, 3.6))
    canvas.paint(times(blurred(ImageChops.invert(deep), 2), deep), (0, 0, 0), 0.5)
    canvas.paint(times(blurred(ImageChops.invert(shifted(deep, 2, 2)), 2), deep), (0, 0, 0), 0.5)


def draw_emblem(canvas):
    """A sun going down into a valley, with rays, over a horizon that runs
    out to both sides of the plaque."""
    hy, vx, vy = 42.0, 17.0, 50.0           # horizon, half width and floor of the vale
    sun_y, sun_r = 45.0, 11.5
    s = Shapes(FRAME)
    for k in range(2, 9):                   # the lowest rays would run into the horizon
        a = math.pi + k * math.pi / 10
        r0, r1 = sun_r + 3.0, sun_r + (11.0 if k % 2 else 7.5)
        w0 = 2.6 if k % 2 else 2.0
        ca, sa = math.cos(a), math.sin(a)
        px, py = -sa, ca
        s.poly([(CX + ca * r0 + px * w0 / 2, sun_y + sa * r0 + py * w0 / 2),
                (CX + ca * r1, sun_y + sa * r1),
                (CX + ca * r0 - px * w0 / 2, sun_y + sa * r0 - py * w0 / 2)])
    s.line([(CX - vx, hy), (CX, vy), (CX + vx, hy)], 1.8)
    for side in (-1, 1):
        s.poly(taper(CX + side * vx, CX + side * 112, hy, 1.8, 0.6))
        s.poly(lozenge(CX + side * 118, hy, 5.0, 3.0))
        s.poly(lozenge(CX + side * 60, hy, 3.2, 2.4))
    metal_ornament(canvas, s.mask(), sun_y - sun_r - 9, vy, outline=1.0, shadow=(1, 1))
    # The disc above the valley's edge glows.
    sun = Shapes(FRAME).ellipse(CX, sun_y, sun_r, sun_r)
    sun.poly([(CX - 40, hy - 2.2), (CX - vx, hy - 2.2), (CX, vy - 2.2), (CX + vx, hy - 2.2), (CX + 40, hy - 2.2),
              (CX + 40, 80), (CX - 40, 80)], on=False)
    sun = sun.mask()
    canvas.add_light(blurred(sun, 3), AMBER, 0.5)
    canvas.paint(dilated(sun, 1.0), OUTLINE)
    face = colourise(linear(FRAME, (0, sun_y - sun_r), (0, sun_y)), lambda t: mix((255, 244, 196), (240, 130, 18), t))
    canvas.paint(sun, face)


def draw_logo(canvas):
    cap, initials, tracking, baseline = 30.0, 1.24, 0.25, 98.0
    width = lettering(None, "DUSK VALE", 0, baseline, cap, tracking, initials)
    s = Shapes(FRAME)
    lettering(s, "DUSK VALE", CX - width / 2, baseline, cap, tracking, initials)
    metal_ornament(canvas, s.mask(), baseline - cap * initials, baseline, glow=0.35, outline=1.3)


def boss(canvas, cx, cy, r):
    """A round gold-ringed boss set into the field."""
    def outline(s, d):
        s.ellipse(cx, cy, r - d, r - d)
    diagonal = affine_t(FRAME, 0.25 / r, 0.35 / r, 0.5 - (0.25 * cx + 0.35 * cy) / r)
    inner = colourise(diagonal, lambda t: mix((64, 38, 16), (22, 12, 5), t))
    raised_panel(canvas, outline, inner, 0.0, 2.8, rim=1.2, rim_opacity=0.55)


def draw_banner_sides(canvas):
    mid = 79.0
    boss(canvas, 38, mid, 17)
    mark = Shapes(FRAME).poly(star(38, mid + 0.8, 11.5, 5.2, 5)).mask()
    metal_ornament(canvas, mark, mid - 11, mid + 11, outline=1.0, shadow=(1, 1))
    cap = 12.0
    s = Shapes(FRAME)
    adv = lettering(s, "RAVELIN", 66, mid + cap / 2, cap, 1.0)
    s.poly(lozenge(66 + adv + 9, mid, 3.0, 2.4))
    s.poly(taper(66 + adv + 13, 196, mid, 1.6, 0.5))
    # The right side answers with a line running out to the buttons.
    s.poly(taper(653, 531, mid, 1.6, 0.5))
    s.poly(lozenge(657, mid, 3.0, 2.4))
    s.poly(lozenge(594, mid, 2.6, 2.0))
    metal_ornament(canvas, s.mask(), mid - cap / 2, mid + cap / 2, outline=1.0, shadow=(1, 1), bright=0.95)


def draw_bottom_jewel(canvas):
    cy = 504.5
    s = Shapes(FRAME).poly(lozenge(CX, cy, 17, 7.0))
    for side in (-1, 1):
        s.poly(taper(CX + side * 21, CX + side * 190, cy, 1.8, 0.5))
        s.poly(lozenge(CX + side * 24, cy, 3.0, 2.6))
        s.poly(lozenge(CX + side * 120, cy, 2.6, 2.0))
    metal_ornament(canvas, s.mask(), cy - 7, cy + 7, outline=1.0, shadow=(1, 1))
    gem = Shapes(FRAME).poly(lozenge(CX, cy, 11, 4.2)).mask()
    canvas.paint(dilated(gem, 0.8), (30, 10, 0))
    canvas.paint(gem, colourise(linear(FRAME, (0, cy - 4.2), (0, cy + 4.2)), lambda t: mix((255, 176, 70), (128, 40, 0), t)))
    canvas.add_light(Shapes(FRAME).ellipse(CX - 3.5, cy - 1.4, 1.4, 1.4).mask(), (255, 255, 230), 0.8)


def draw_plate(canvas, r, glyph, hot, set_alpha=False, drop=False):
    """A round button plate filling the rectangle r, with a CLOSE (X) or
    MINIMISE (bar) glyph; hot is its hover state."""
    x0, y0, x1, y1 = r
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    rx, ry = (x1 - x0) / 2, (y1 - y0) / 2
    size = min(rx, ry)

    def outline(s, d, ox=0.0, oy=0.0):
        k = 1.0 - d / size
        s.ellipse(cx + ox, cy + oy, rx * k, ry * k)

    if drop:
        shadow = fill(canvas.size, lambda s: outline(s, -0.5, 1.0, 1.6))
        canvas.paint(blurred(shadow, 1, 2), (4, 2, 0), 0.75)
    if hot:
        hot_ramp = [(0.0, (255, 184, 72)), (0.45, (232, 128, 16)), (1.0, (104, 44, 4))]
        inner = colourise(radial(canvas.size, cx, cy, rx, ry), lambda t: ramp(hot_ramp, t))
    else:
        # A shallow dome: lighter towards the light.
        diagonal = affine_t(canvas.size, 0.3 / rx, 0.4 / ry, 0.5 - 0.3 * cx / rx - 0.4 * cy / ry)
        inner = colourise(diagonal, lambda t: mix((78, 48, 20), (20, 11, 4), t))
    raised_panel(canvas, outline, EDGE_DARK, 0.7, 3.3, bright=1.12 if hot else 1.0)
    canvas.paint(fill(canvas.size, lambda s: outline(s, 4.1)), inner)
    if set_alpha:
        canvas.alpha = fill(canvas.size, lambda s: outline(s, 0))

    s = Shapes(canvas.size)
    if glyph == "close":
        a = size * 0.4
        s.line([(cx - a, cy - a), (cx + a, cy + a)], 2.8).line([(cx - a, cy + a), (cx + a, cy - a)], 2.8)
    else:
        a = size * 0.42
        s.rect(cx - a, cy + size * 0.18 - 1.35, cx + a, cy + size * 0.18 + 1.35)
    m = s.mask()
    top, bottom = cy - size * 0.4, cy + size * 0.4
    if hot:
        canvas.paint(dilated(m, 1.0), (70, 20, 0))
        canvas.paint(m, colourise(linear(canvas.size, (0, top), (0, bottom)), lambda t: mix((255, 255, 236), (255, 222, 140), t)))
    else:
        metal_ornament(canvas, m, top, bottom, outline=0.9, shadow=(0, 1))


def draw_frame():
    canvas = Canvas(FRAME, (0, 0, 0), 0)
    draw_frame_body(canvas)
    draw_plaque(canvas)
    draw_emblem(canvas)
    draw_logo(canvas)
    draw_banner_sides(canvas)
    draw_bottom_jewel(canvas)
    draw_plate(canvas, to_picture(MIN_SCREEN), "minimise", False, drop=True)
    draw_plate(canvas, to_picture(CLOSE_SCREEN), "close", False, drop=True)
    return canvas


def draw_highlight(size, glyph):
    canvas = Canvas(size, (0, 0, 0), 0)
    draw_plate(canvas, (0, 0) + size, glyph, True, set_alpha=True)
    return canvas


# ---------------------------------------------------------------- game window

def draw_loading_border():
    """A gold-beaded border with a capped block at each corner; along the
    edges it is the same everywhere so the middle slices can be repeated."""
    w, h = size = (60, 57)
    c = Canvas(size, WINDOW_FILL)

    def edge(s, d):
        s.rect(d, d, w - d, h - d)

    # A soft shadow cast by the border onto the fill.
    c.paint(blurred(ring(edge, size, -2, 12), 1), (0, 0, 0))
    c.paint(ring(edge, size, 11.0, 12.0), EDGE_DARK)
    band = ring(edge, size, 9.6, 11.2)
    c.paint(band, bead(band, 1.6, 1.0, 0.85))
    # Distance from the nearest edge, as 0 at 5 to 1 at 9.6.
    across = ImageChops.darker(ImageChops.darker(linear(size, (5, 0), (9.6, 0)), linear(size, (w - 5, 0), (w - 9.6, 0))),
                               ImageChops.darker(linear(size, (0, 5), (0, 9.6)), linear(size, (0, h - 5), (0, h - 9.6))))
    c.paint(ring(edge, size, 4.6, 9.6), colourise(across, lambda t: mix((56, 34, 16), (38, 22, 10), t)))
    c.paint(ring(edge, size, 3.8, 4.6), EDGE_DARK)
    band = ring(edge, size, 1.0, 3.8)
    c.paint(band, bead(band, 2.8))
    c.paint(ring(edge, size, -1.0, 1.0), (12, 7, 3))
    for cx, cy in ((8.0, 8.0), (w - 8.0, 8.0), (8.0, h - 8.0), (w - 8.0, h - 8.0)):
        corner_block(c, cx, cy, 7.0)
    return c


def corner_block(canvas, cx, cy, r):
    """A square cap over a corner of a border, with a gold rosette."""
    def outline(s, d, ox=0.0, oy=0.0):
        s.rect(cx - r + d + ox, cy - r + d + oy, cx + r - d + ox, cy + r - d + oy)

    canvas.paint(blurred(fill(canvas.size, lambda s: outline(s, 0, 0.8, 1.0)), 1, 1), (4, 2, 0), 0.6)
    diagonal = affine_t(canvas.size, 0.3 / r, 0.4 / r, 0.5 - (0.3 * cx + 0.4 * cy) / r)
    inner = colourise(diagonal, lambda t: mix((70, 42, 18), (30, 17, 7), t))
    raised_panel(canvas, outline, inner, 0.6, 2.8)
    rosette = Shapes(canvas.size).poly(star(cx, cy, 3.6, 1.3, 4, 0.0)).mask()
    metal_ornament(canvas, rosette, cy - 3.6, cy + 3.6, outline=0.6, shadow=None)


TB_H = 30                              # the band's height; two rows of line under it


def title_band_colour(y):
    """The band's colour in row y (the same in every middle column)."""
    if y == 0:
        return (74, 48, 22)
    if y <= 24:
        return mix((50, 31, 15), (24, 14, 7), (y - 1) / 23.0)
    return {25: (10, 5, 2), 26: (250, 206, 112), 27: (206, 140, 42),
            28: (120, 72, 14), 29: (14, 8, 3)}[y]


def rows(width, colours):
    """A picture whose rows are the given colours."""
    column = Image.new("RGB", (1, len(colours)))
    column.putdata([tuple(round(v) for v in c) for c in colours])
    return column.resize((width, len(colours)), Image.NEAREST)


def draw_title_band():
    w, h = size = (37, 33)
    c = Canvas(size)
    # Row 30 sits between band and line and is not drawn; keep it band-like.
    c.rgb = rows(w, [title_band_colour(y) for y in range(TB_H)] + [title_band_colour(29), TITLE_SIDE_LINE, TITLE_SIDE_LINE])
    # The gold edge starts from a jewel at the left end, kept left of the
    # slice that is repeated (from x = 9).
    c.rgb.paste(rows(6, [title_band_colour(24)] * 4 + [title_band_colour(29)]), (0, 25))
    jewel = Shapes(size).poly(lozenge(4.0, 27.0, 3.4, 3.0)).mask()
    metal_ornament(c, jewel, 24, 30, outline=0.8, shadow=None)
    return c


def frame_box(s, x0, y0, x1, y1, top=3.0, side=1.6, on=True):
    for r in ((x0, y0, x1, y0 + top), (x0, y1 - side, x1, y1), (x0, y0, x0 + side, y1), (x1 - side, y0, x1, y1)):
        s.rect(*r, on=on)


def speaker(s, cx, cy):
    s.poly([(cx - 7.0, cy - 2.4), (cx - 4.0, cy - 2.4), (cx + 0.5, cy - 6.5), (cx + 0.5, cy + 6.5),
            (cx - 4.0, cy + 2.4), (cx - 7.0, cy + 2.4)])


def sound(s, cx, cy):
    speaker(s, cx - 0.5, cy)
    for r in (3.8, 7.0):
        s.line(ellipse(cx + 0.3, cy, r, r, -0.85, 0.85, 12), 1.5)


def glyph_mask(name, size, cx, cy):
    """The tool glyph's coverage; where one part crosses another it is cut
    so the overlap reads."""
    s = Shapes(size)
    if name == "close":
        s.line([(cx - 4.6, cy - 4.6), (cx + 4.6, cy + 4.6)], 2.3).line([(cx - 4.6, cy + 4.6), (cx + 4.6, cy - 4.6)], 2.3)
    elif name == "minimize":
        s.rect(cx - 5.5, cy + 3.5, cx + 5.5, cy + 5.5)
    elif name == "maximize":
        frame_box(s, cx - 5.5, cy - 5.5, cx + 5.5, cy + 5.5)
    elif name == "restore":
        frame_box(s, cx - 2.5, cy - 6.5, cx + 6.5, cy + 2.5, top=2.4)
        s.rect(cx - 7.5, cy - 3.5, cx + 3.5, cy + 7.5, on=False)
        frame_box(s, cx - 6.5, cy - 2.5, cx + 2.5, cy + 6.5, top=2.4)
    elif name == "tools":
        teeth, r_out, r_in = 8, 6.8, 5.0
        s.poly([(cx + (r_out if k % 4 in (1, 2) else r_in) * math.cos((k - 0.5) * 2 * math.pi / (teeth * 4)),
                 cy + (r_out if k % 4 in (1, 2) else r_in) * math.sin((k - 0.5) * 2 * math.pi / (teeth * 4)))
                for k in range(teeth * 4)])
        s.ellipse(cx, cy, 2.2, 2.2, on=False)
    elif name == "sound_off":
        sound(s, cx, cy)
    elif name == "sound_on":
        a, b = (cx - 7.0, cy - 7.0), (cx + 7.0, cy + 7.0)
        sound(s, cx, cy)
        s.line([a, b], 3.7, on=False).line([a, b], 1.7)
    return s.mask()


def draw_tool_button(name, cell):
    """Two images side by side, normal then hovered, on the band's colours."""
    size = (cell * 2, TB_H)
    c = Canvas(size)
    c.rgb = rows(cell * 2, [title_band_colour(y) for y in range(TB_H)])
    cy = 12.5
    for k, hot in enumerate((False, True)):
        cx = k * cell + cell / 2.0
        m = glyph_mask(name, size, cx, cy)
        gradient = linear(size, (0, cy - 7), (0, cy + 7))
        if hot:
            weights = list(m.getdata())
            gy = sum(v * (i // size[0] + 0.5) for i, v in enumerate(weights)) / (sum(weights) or 1)
            # The glow dies out before the image's edges so it never shows
            # a seam against the band.
            x0 = k * cell
            fade = ImageChops.darker(
                ImageChops.darker(linear(size, (x0 + 1, 0), (x0 + 5, 0)), linear(size, (x0 + cell - 2, 0), (x0 + cell - 6, 0))),
                ImageChops.darker(linear(size, (0, 1), (0, 5)), linear(size, (0, 24), (0, 20))))
            glow = Shapes(size).ellipse(cx, gy, 8.0, 7.5).mask()
            c.add_light(times(blurred(glow, 2), fade), (150, 70, 0), 0.6)
            c.add_light(times(blurred(m, 2), fade), AMBER, 0.9)
            c.paint(shifted(dilated(m, 0.8), 0, 1), (40, 14, 0), 0.7)
            c.paint(m, colourise(gradient, lambda t: mix((255, 252, 232), (255, 214, 120), t)))
        else:
            c.paint(shifted(dilated(m, 0.7), 0, 1), (6, 3, 0), 0.9)
            c.paint(m, metal(blurred(m, 1, 1), 1.2, TOOL_GLYPH, 1.0, gradient))
    return c


TOOL_BUTTONS = [("btn_close.bmp", "close", 25), ("btn_restore.bmp", "restore", 27),
                ("btn_minimize.bmp", "minimize", 27), ("btn_maximize.bmp", "maximize", 27),
                ("btn_tools.bmp", "tools", 27), ("btn_sound_off.bmp", "sound_off", 27),
                ("btn_sound_on.bmp", "sound_on", 27)]


# ---------------------------------------------------------------- checks

def read_png_rgba(path):
    with Image.open(path) as im:
        # 8-bit RGBA, not interlaced: what the program's loader is given.
        assert (im.format, im.mode, im.info.get("interlace", 0)) == ("PNG", "RGBA", 0), (path, im.mode, im.info)
        im = im.copy()
    return im.size, im.load()


def read_bmp_rgb(path):
    data = open(path, "rb").read()
    magic, size, _, _, offset = struct.unpack("<2sIHHI", data[:14])
    hs, w, h, planes, bpp, comp = struct.unpack("<IiiHHI", data[14:34])
    # The resource compiler takes a plain 24-bit bottom-up BI_RGB bitmap.
    assert (magic, size, hs, planes, bpp, comp) == (b"BM", len(data), 40, 1, 24, 0), path
    assert h > 0, "bottom-up"
    with Image.open(path) as im:
        im = im.convert("RGB")
        return (w, h), [[im.getpixel((x, y)) for x in range(w)] for y in range(h)]


def check_outputs():
    def path(name):
        return os.path.join(OUT_DIR, name)

    (w, h), px = read_png_rgba(path("frame.png"))
    assert (w, h) == (FRAME_W, FRAME_H)

    def alpha(x, y):
        return px[x, y][3]
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
        (w, h), hl = read_png_rgba(path(name))
        assert (w, h) == size, name
        assert hl[w // 2, h // 2][3] == 255 and hl[0, 0][3] == 0, name

    (w, h), px = read_bmp_rgb(path("loading_border.bmp"))
    assert (w, h) == (60, 57)
    # Edges the same along their length around the slices at x = 30, y = 28;
    # the middle is the window's fill.
    assert all(len(set(px[y][18:42])) == 1 for y in range(h)), "top/bottom edge not uniform"
    assert all(len({px[y][x] for y in range(18, 39)}) == 1 for x in range(w)), "side edge not uniform"
    assert px[28][30] == WINDOW_FILL, px[28][30]

    (w, h), px = read_bmp_rgb(path("title_band.bmp"))
    assert (w, h) == (37, 33)
    assert all(len(set(px[y][9:])) == 1 for y in range(TB_H)), "band not uniform from x = 9"
    assert all(set(px[y][18:]) == {TITLE_SIDE_LINE} for y in (31, 32)), "bottom line"
    for file, name, cell in TOOL_BUTTONS:
        (w, h), bpx = read_bmp_rgb(path(file))
        assert (w, h) == (cell * 2, TB_H), file
        # Image edges are the band's own colours so the buttons sit in it,
        # and nothing but the glyphs differs from the band.
        for y in range(TB_H):
            for x in (0, cell - 1, cell, 2 * cell - 1):
                assert bpx[y][x] == px[y][20], (file, x, y)
        for x in range(w):
            for y in (0, TB_H - 1):
                assert bpx[y][x] == px[y][20], (file, x, y)


def main():
    os.makedirs(OUT_DIR, exist_ok=True)
    draw_frame().save_png("frame.png")
    draw_highlight((26, 25), "close").save_png("close_highlight.png")
    draw_highlight((20, 20), "minimise").save_png("minimize_highlight.png")
    draw_loading_border().save_bmp("loading_border.bmp")
    draw_title_band().save_bmp("title_band.bmp")
    for file, name, cell in TOOL_BUTTONS:
        draw_tool_button(name, cell).save_bmp(file)
    check_outputs()


if __name__ == "__main__":
    main()
