#!/usr/bin/python3
"""Draws the sample book's pages, demo/book/pages/1.png to 5.png: a cover and
four spreads of a small herbarium, each a plant drawn on the left-hand page
and its description on the right-hand one.

    demo/make-pages.py [<out-folder>]   (default: demo/book/pages)

The pictures are drawn here (python3-pil), the text set in DejaVu Serif
(fonts-dejavu-core, fonts-dejavu-extra for the italics): nothing is fetched.
The output is the same on every run (with the same Pillow and fonts): nothing
random, no time stamps in the files. The pages are kept in the repo (small
palette PNGs); run this again after changing it.
"""
import math
import os
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

# The size of the runtime's window in the sample book's window (1024x720 as
# demo/book/ExeConfig.xml opens it, under Wine), so that the pages show
# unscaled there. Around the book: the movie's stage colour (tools/swfwriter),
# which also fills the rest of a window of another shape.
WIDTH, HEIGHT = 1016, 693
STAGE = (0xF4, 0xEF, 0xE4)
SCALE = 3  # drawn this many times larger, then reduced: smooth edges

FONTS = "/usr/share/fonts/truetype/dejavu/"
INK = (52, 44, 36)
FADED_INK = (112, 98, 82)
PAPER = (253, 250, 242)
SHEET = (247, 242, 228)
BOARD = (46, 78, 56)
GOLD = (214, 178, 92)


def font(name, size):
    return ImageFont.truetype(FONTS + name, round(size * SCALE))


class Canvas:
    """A page drawn at SCALE times its size, in the coordinates of the final
    page."""

    def __init__(self):
        self.image = Image.new("RGB", (WIDTH * SCALE, HEIGHT * SCALE), STAGE)
        self.draw = ImageDraw.Draw(self.image)

    @staticmethod
    def _points(points):
        return [(x * SCALE, y * SCALE) for x, y in points]

    def polygon(self, points, fill, outline=None, width=1.0):
        self.draw.polygon(self._points(points), fill=fill)
        if outline is not None:
            self.line(list(points) + [points[0]], outline, width)

    def line(self, points, fill, width=1.0):
        self.draw.line(self._points(points), fill=fill, width=max(1, round(width * SCALE)),
                       joint="curve")

    def rectangle(self, box, fill=None, outline=None, width=1.0):
        x0, y0, x1, y1 = box
        self.draw.rectangle((x0 * SCALE, y0 * SCALE, x1 * SCALE - 1, y1 * SCALE - 1), fill=fill,
                            outline=outline, width=max(1, round(width * SCALE)))

    def ellipse(self, centre, rx, ry, fill=None, outline=None, width=1.0):
        x, y = centre
        self.draw.ellipse(((x - rx) * SCALE, (y - ry) * SCALE, (x + rx) * SCALE, (y + ry) * SCALE),
                          fill=fill, outline=outline,
                          width=max(1, round(width * SCALE)) if outline else 0)

    def text(self, xy, text, face, fill=INK, anchor="la"):
        self.draw.text((xy[0] * SCALE, xy[1] * SCALE), text, font=face, fill=fill, anchor=anchor)

    def text_width(self, text, face):
        return face.getlength(text) / SCALE

    def shadow(self, box, blur, offset, strength):
        """A soft shadow under the rectangle box."""
        mask = Image.new("L", self.image.size, 0)
        x0, y0, x1, y1 = box
        ImageDraw.Draw(mask).rectangle(((x0 + offset) * SCALE, (y0 + offset) * SCALE,
                                        (x1 + offset) * SCALE, (y1 + offset) * SCALE),
                                       fill=strength)
        mask = mask.filter(ImageFilter.GaussianBlur(blur * SCALE))
        self.image.paste((70, 58, 44), (0, 0), mask)

    def gradient(self, box, left, right):
        """A horizontal blend from colour left to colour right over box."""
        x0, y0, x1, y1 = [round(v * SCALE) for v in box]
        for x in range(x0, x1):
            t = (x - x0) / max(1, x1 - x0 - 1)
            colour = tuple(round(a + (b - a) * t) for a, b in zip(left, right))
            self.draw.line((x, y0, x, y1 - 1), fill=colour)

    def save(self, path, method=Image.Quantize.FASTOCTREE):
        page = self.image.resize((WIDTH, HEIGHT), Image.LANCZOS)
        # Next to the stage colour is the stage colour: the page's edge never
        # shows against the stage.
        difference = ImageChops.difference(page, Image.new("RGB", page.size, STAGE))
        red, green, blue = (band.point(lambda v: 255 if v <= 3 else 0)
                            for band in difference.split())
        page.paste(STAGE, (0, 0), ImageChops.darker(ImageChops.darker(red, green), blue))
        # A palette of at most 255 colours keeps each page small; no dithering,
        # so flat paper stays flat. The stage colour is kept exact. (The octree
        # keeps the small patches of colour of the plants; median cut, smoother
        # shades, suits the cover with its wide shadow.)
        page = page.quantize(colors=255, method=method, dither=Image.Dither.NONE)
        palette = page.getpalette()[:768]
        index = page.getpixel((0, 0))
        palette[index * 3:index * 3 + 3] = list(STAGE)
        page.putpalette(palette)
        page.save(path, optimize=True)


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


# Plants: drawn around an origin, along angles in degrees (0 = up).


def along(origin, angle, distance):
    a = math.radians(angle)
    return (origin[0] + math.sin(a) * distance, origin[1] - math.cos(a) * distance)


def leaf_outline(base, angle, length, width, profile, steps=60):
    """A leaf's outline: base at base, tip length away along angle, half-width
    width * profile(t) at t along the midrib."""
    left, right = [], []
    a = math.radians(angle)
    nx, ny = math.cos(a), math.sin(a)  # across the midrib
    for i in range(steps + 1):
        t = i / steps
        cx, cy = along(base, angle, length * t)
        half = width * profile(t)
        left.append((cx - nx * half, cy - ny * half))
        right.append((cx + nx * half, cy + ny * half))
    return left + right[::-1]


def leaf(canvas, base, angle, length, width, profile, fill, vein, veins=6, vein_angle=50):
    canvas.polygon(leaf_outline(base, angle, length, width, profile), fill=fill,
                   outline=mix(fill, INK, 0.45), width=0.8)
    canvas.line([base, along(base, angle, length * 0.97)], vein, 1.1)
    for i in range(1, veins + 1):
        t = i / (veins + 1)
        start = along(base, angle, length * t)
        reach = width * profile(t) * 0.85
        for side in (-1, 1):
            canvas.line([start, along(start, angle + side * vein_angle, reach)], vein, 0.6)


def smooth(t):
    return math.sin(math.pi * t) ** 0.8


def oak_profile(t):
    lobes = 0.62 + 0.38 * abs(math.cos(4.5 * math.pi * t))
    return (math.sin(math.pi * min(1.0, t * 1.05)) ** 0.6) * lobes * (0.55 + 0.45 * t)


def serrated(t):
    return smooth(t) * (0.94 + 0.06 * abs(math.sin(26 * math.pi * t)))


def dandelion_profile(t):
    # Teeth pointing back towards the base.
    tooth = (5.5 * t) % 1.0
    return (0.25 + 0.75 * t ** 0.9) * math.sin(math.pi * min(1, t * 1.02)) ** 0.5 * \
        (0.35 + 0.65 * tooth)


def draw_oak(canvas, cx, cy):
    green, vein = (104, 136, 62), (70, 96, 44)
    stem = [(cx - 10, cy + 190), (cx - 4, cy + 100), (cx + 4, cy + 10), (cx + 2, cy - 60)]
    canvas.line(stem, (110, 86, 56), 3.2)
    leaf(canvas, (cx + 2, cy - 60), -4, 150, 52, oak_profile, green, vein, veins=5)
    leaf(canvas, (cx + 3, cy - 10), -58, 128, 44, oak_profile, mix(green, (150, 150, 60), 0.2),
         vein, veins=4)
    leaf(canvas, (cx + 3, cy + 30), 56, 136, 46, oak_profile, mix(green, INK, 0.1), vein, veins=4)
    leaf(canvas, (cx - 2, cy + 110), -118, 96, 34, oak_profile, mix(green, (160, 140, 60), 0.35),
         vein, veins=3)
    # Two acorns on a long stalk.
    stalk = [(cx - 4, cy + 120), (cx + 40, cy + 140), (cx + 78, cy + 150)]
    canvas.line(stalk, (110, 86, 56), 2.0)
    for ax, ay, tilt in ((cx + 82, cy + 168, 0), (cx + 58, cy + 164, -1)):
        canvas.ellipse((ax + tilt * 6, ay + 14), 11, 18, fill=(176, 132, 64),
                       outline=(112, 80, 40), width=0.8)
        canvas.ellipse((ax + tilt * 6, ay), 13, 9, fill=(120, 100, 60), outline=(80, 64, 40),
                       width=0.8)
        for k in range(-2, 3):
            canvas.line([(ax + tilt * 6 + k * 4.5, ay - 6), (ax + tilt * 6 + k * 4.5 + 2, ay + 6)],
                        (90, 74, 46), 0.6)


def draw_rose(canvas, cx, cy):
    stem_colour = (86, 110, 58)
    stem = [(cx + 20, cy + 200), (cx + 10, cy + 110), (cx - 6, cy + 20), (cx - 4, cy - 70)]
    canvas.line(stem, stem_colour, 3.0)
    for (tx, ty), side in (((cx + 14, cy + 140), 1), ((cx + 4, cy + 70), -1),
                           ((cx - 5, cy - 10), 1)):
        canvas.polygon([(tx, ty - 5), (tx, ty + 5), (tx + side * 9, ty - 6)], fill=(140, 70, 60))
    # Compound leaves: a midrib with leaflets in pairs and one at the end.
    for base, angle in (((cx + 8, cy + 90), 62), ((cx - 3, cy + 40), -64),
                        ((cx + 14, cy + 150), -58)):
        canvas.line([base, along(base, angle, 120)], stem_colour, 1.4)
        for i, t in enumerate((0.3, 0.6)):
            at = along(base, angle, 120 * t)
            for side in (-1, 1):
                leaf(canvas, at, angle + side * 55, 44 - i * 4, 15, serrated, (92, 130, 66),
                     (62, 92, 44), veins=3)
        leaf(canvas, along(base, angle, 118), angle, 46, 16, serrated, (98, 136, 70),
             (62, 92, 44), veins=3)
    # The flower: five petals round a ring of stamens.
    fx, fy = cx - 4, cy - 108
    for k in range(5):
        px, py = along((fx, fy), k * 72 + 10, 30)
        canvas.ellipse((px, py), 30, 30, fill=(238, 160, 176), outline=(196, 110, 130), width=0.8)
    for k in range(5):
        px, py = along((fx, fy), k * 72 + 10, 22)
        canvas.ellipse((px, py), 16, 16, fill=(246, 196, 206))
    canvas.ellipse((fx, fy), 15, 15, fill=(236, 200, 90))
    for k in range(22):
        sx, sy = along((fx, fy), k * 360 / 22, 14)
        canvas.ellipse((sx, sy), 2.0, 2.0, fill=(170, 120, 40))
    # A hip from last year.
    canvas.line([(cx + 10, cy + 110), (cx + 58, cy + 96)], stem_colour, 1.6)
    canvas.ellipse((cx + 66, cy + 92), 10, 15, fill=(200, 60, 40), outline=(140, 40, 30),
                   width=0.8)


def draw_fern(canvas, cx, cy):
    green, vein = (74, 128, 70), (48, 92, 48)
    base, top = (cx - 30, cy + 210), (cx + 30, cy - 200)
    steps = 19

    def rachis(t):  # a gentle curve from base to top
        x = base[0] + (top[0] - base[0]) * t + math.sin(math.pi * t) * 36
        y = base[1] + (top[1] - base[1]) * t
        return (x, y)

    canvas.line([rachis(i / 40) for i in range(41)], (96, 86, 54), 2.6)
    for i in range(2, steps):
        t = i / steps
        at = rachis(t)
        span = 110 * math.sin(math.pi * min(1.0, 0.15 + t * 0.95)) * (1.05 - t * 0.6)
        for side in (-1, 1):
            angle = side * (72 - 20 * t)
            tip = along(at, angle, span)
            canvas.line([at, tip], vein, 1.0)
            pinnules = max(2, round(span / 11))
            for j in range(pinnules):
                s = (j + 0.6) / (pinnules + 0.4)
                p = along(at, angle, span * s)
                size = 6.5 * (1.15 - s * 0.7)
                canvas.ellipse(along(p, angle - side * 60, size * 0.6), size, size * 0.7,
                               fill=green)
                canvas.ellipse(along(p, angle + side * 110, size * 0.6), size, size * 0.7,
                               fill=mix(green, (120, 160, 80), 0.25))


def draw_dandelion(canvas, cx, cy):
    leaf_green = (94, 138, 60)
    root = (cx - 10, cy + 178)
    for angle, length in ((-72, 140), (-36, 165), (28, 160), (70, 130), (-98, 100), (96, 96)):
        leaf(canvas, root, angle, length, 30, dandelion_profile, leaf_green, (70, 104, 44),
             veins=0)
        canvas.line([root, along(root, angle, length * 0.95)], (170, 120, 120), 1.2)
    # Flower stalk and head.
    canvas.line([(cx - 10, cy + 176), (cx - 18, cy + 60), (cx - 30, cy - 70)], (120, 150, 84),
                3.0)
    hx, hy = cx - 30, cy - 96
    for ring, (count, reach, colour) in enumerate(((30, 34, (246, 196, 40)),
                                                   (24, 26, (250, 210, 60)),
                                                   (16, 16, (240, 180, 30)))):
        for k in range(count):
            angle = k * 360 / count + ring * 7
            canvas.polygon(leaf_outline(along((hx, hy), angle, 4), angle, reach, 4.2, smooth),
                           fill=colour, outline=mix(colour, (180, 120, 20), 0.6), width=0.4)
    canvas.ellipse((hx, hy), 7, 7, fill=(230, 160, 30))
    # A seed clock on a second stalk.
    canvas.line([(cx - 6, cy + 176), (cx + 26, cy + 40), (cx + 66, cy - 30)], (130, 150, 96),
                2.4)
    sx, sy = cx + 72, cy - 62
    for k in range(48):
        end = along((sx, sy), k * 7.5, 32)
        canvas.line([(sx, sy), end], (176, 170, 156), 0.5)
        canvas.ellipse(end, 2.4, 2.4, fill=(246, 244, 236), outline=(186, 180, 166), width=0.4)
    canvas.ellipse((sx, sy), 5, 5, fill=(150, 120, 80))


# The book itself.

BOOK = (36, 28, WIDTH - 36, HEIGHT - 34)  # the cover boards of the open book
GUTTER = WIDTH / 2


def open_book(canvas):
    x0, y0, x1, y1 = BOOK
    canvas.shadow(BOOK, 5, 4, 130)
    canvas.rectangle(BOOK, fill=BOARD)
    # A few page edges beneath the top sheet, then the two pages.
    for k, shade in ((4, 214), (3, 226), (2, 236), (1, 246)):
        colour = (shade, shade - 4, shade - 14)
        canvas.rectangle((x0 + 6 + k, y0 + 8 + k * 0.4, GUTTER, y1 - 8 - k * 1.2), fill=colour)
        canvas.rectangle((GUTTER, y0 + 8 + k * 0.4, x1 - 6 - k, y1 - 8 - k * 1.2), fill=colour)
    left = (x0 + 11, y0 + 10, GUTTER, y1 - 14)
    right = (GUTTER, y0 + 10, x1 - 11, y1 - 14)
    canvas.rectangle(left, fill=PAPER)
    canvas.rectangle(right, fill=PAPER)
    # The fold: paper darkening towards the spine.
    fold = (150, 136, 110)
    canvas.gradient((GUTTER - 30, left[1], GUTTER, left[3]), PAPER, mix(PAPER, fold, 0.32))
    canvas.gradient((GUTTER, right[1], GUTTER + 20, right[3]), mix(PAPER, fold, 0.36), PAPER)
    canvas.line([(GUTTER, left[1]), (GUTTER, left[3])], mix(PAPER, fold, 0.6), 0.8)
    return left, right


def wrap(canvas, text, face, width):
    lines, line = [], ""
    for word in text.split():
        candidate = (line + " " + word).strip()
        if line and canvas.text_width(candidate, face) > width:
            lines.append(line)
            line = word
        else:
            line = candidate
    if line:
        lines.append(line)
    return lines


def justified(canvas, x, y, lines, face, width, leading):
    for i, line in enumerate(lines):
        words = line.split()
        last = i == len(lines) - 1
        if last or len(words) == 1:
            canvas.text((x, y), line, face)
        else:
            gap = (width - sum(canvas.text_width(w, face) for w in words)) / (len(words) - 1)
            at = x
            for word in words:
                canvas.text((at, y), word, face)
                at += canvas.text_width(word, face) + gap
        y += leading
    return y


def plate(canvas, page, number, plant):
    """The left-hand page: the specimen on its sheet, with tape and a label."""
    x0, y0, x1, y1 = page
    sheet = (x0 + 40, y0 + 34, x1 - 56, y1 - 40)
    canvas.shadow(sheet, 3, 2, 60)
    canvas.rectangle(sheet, fill=SHEET, outline=(214, 204, 180), width=0.8)
    sx0, sy0, sx1, sy1 = sheet
    centre = ((sx0 + sx1) / 2, (sy0 + sy1) / 2 - 34)
    plant["draw"](canvas, *centre)
    # Strips of tape over the stems.
    for tx, ty, tilt in plant["tape"]:
        x, y = centre[0] + tx, centre[1] + ty
        canvas.polygon([(x - 20, y - 6 + tilt), (x + 20, y - 6 - tilt), (x + 20, y + 6 - tilt),
                        (x - 20, y + 6 + tilt)], fill=(236, 228, 200), outline=(214, 204, 176),
                       width=0.5)
    # The collector's label.
    label = (sx1 - 196, sy1 - 84, sx1 - 14, sy1 - 14)
    canvas.rectangle(label, fill=(252, 250, 244), outline=(150, 136, 112), width=0.8)
    lx, ly = label[0] + 10, label[1] + 8
    canvas.text((lx, ly), "HERBARIUM LEAFBOOK  No. %d" % number, font("DejaVuSans.ttf", 8.5),
                FADED_INK)
    canvas.text((lx, ly + 16), plant["latin"], font("DejaVuSerif-Italic.ttf", 13), INK)
    canvas.text((lx, ly + 36), plant["found"], font("DejaVuSerif.ttf", 10.5), FADED_INK)


def description(canvas, page, number, plant):
    """The right-hand page: names, text and the page number."""
    x0, y0, x1, y1 = page
    left, right = x0 + 52, x1 - 46
    canvas.text((left, y0 + 40), "PLATE %s" % ["I", "II", "III", "IV", "V"][number - 1],
                font("DejaVuSans.ttf", 11), FADED_INK)
    canvas.text((left, y0 + 60), plant["name"], font("DejaVuSerif-Bold.ttf", 34), INK)
    canvas.text((left, y0 + 106), plant["latin"], font("DejaVuSerif-Italic.ttf", 18), (96, 110, 70))
    canvas.line([(left, y0 + 140), (left + 120, y0 + 140)], GOLD, 1.6)
    canvas.ellipse((left + 130, y0 + 140), 3, 3, fill=GOLD)
    body = font("DejaVuSerif.ttf", 15.5)
    y = y0 + 166
    for paragraph in plant["text"]:
        y = justified(canvas, left, y, wrap(canvas, paragraph, body, right - left), body,
                      right - left, 24) + 12
    canvas.text(((left + right) / 2, y1 - 32), str(number * 2), font("DejaVuSerif.ttf", 12),
                FADED_INK, anchor="ma")


PLANTS = [
    {
        "name": "Common Oak",
        "latin": "Quercus robur",
        "found": "By the lane gate, May",
        "draw": draw_oak,
        "tape": [(-8, 150, 1), (0, 40, -1)],
        "text": [
            "The oak by the lane gate is older than the lane. Its leaves are deeply "
            "lobed, with short stalks and two small ears where they meet the twig.",
            "The acorns hang in pairs on long stalks, each in a scaly cup. Jays carry "
            "them off in autumn and forget a few, and that is how new oaks begin far "
            "from the old ones.",
            "Pressed and dried flat, an oak leaf keeps its green for years.",
        ],
    },
    {
        "name": "Dog Rose",
        "latin": "Rosa canina",
        "found": "Hedge, west side, June",
        "draw": draw_rose,
        "tape": [(14, 150, -1), (0, 40, 1)],
        "text": [
            "The dog rose climbs through the hedge on hooked thorns and opens its "
            "five pale petals for a few weeks in early summer.",
            "Each leaf is made of five or seven toothed leaflets. By October the "
            "flowers have become scarlet hips, which the blackbirds take one by one.",
            "The petals fade quickly under the press: gather them in the morning.",
        ],
    },
    {
        "name": "Male Fern",
        "latin": "Dryopteris filix-mas",
        "found": "Shady bank by the stream",
        "draw": draw_fern,
        "tape": [(-14, 180, 0), (8, 60, -1)],
        "text": [
            "On the shady bank the fern unrolls its fronds in spring, each one a "
            "tight green coil that straightens over a week or two.",
            "A frond is divided twice: leaflets along the stalk, each cut again into "
            "rounded lobes. Turn one over in late summer to see the brown spore "
            "dots in two rows along its underside.",
            "It has no flowers and no seeds at all.",
        ],
    },
    {
        "name": "Dandelion",
        "latin": "Taraxacum officinale",
        "found": "Verge, everywhere, April",
        "draw": draw_dandelion,
        "tape": [(-14, 140, 1)],
        "text": [
            "The dandelion needs no looking for. Its leaves lie flat in a rosette, "
            "their teeth pointing back towards the root, and the name comes from "
            "them: lion's teeth.",
            "Each yellow head is a crowd of small flowers. It closes at night and in "
            "rain, and within days turns into a clock of seeds, each with its own "
            "parachute, waiting for the wind.",
        ],
    },
]


def cover(path):
    canvas = Canvas()
    w, h = 420, 600
    box = ((WIDTH - w) / 2, (HEIGHT - h) / 2 - 6, (WIDTH + w) / 2, (HEIGHT + h) / 2 - 6)
    x0, y0, x1, y1 = box
    canvas.shadow(box, 10, 6, 170)
    canvas.rectangle(box, fill=BOARD)
    canvas.gradient((x0, y0, x0 + 22, y1), mix(BOARD, INK, 0.5), BOARD)  # the spine's hinge
    canvas.rectangle((x0 + 34, y0 + 22, x1 - 22, y1 - 22), outline=GOLD, width=1.4)
    canvas.rectangle((x0 + 40, y0 + 28, x1 - 28, y1 - 28), outline=GOLD, width=0.6)
    middle = (x0 + 34 + x1 - 22) / 2
    canvas.text((middle, y0 + 70), "A LITTLE", font("DejaVuSerif.ttf", 20), GOLD, anchor="ma")
    canvas.text((middle, y0 + 100), "Herbarium", font("DejaVuSerif-Bold.ttf", 46), GOLD,
                anchor="ma")
    canvas.text((middle, y0 + 162), "leaves and flowers of the lane",
                font("DejaVuSerif-Italic.ttf", 16), mix(GOLD, PAPER, 0.3), anchor="ma")
    # A wreath of small leaves round a pressed flower.
    wx, wy = middle, y0 + 340
    for k in range(18):
        angle = k * 20
        at = along((wx, wy), angle, 88)
        canvas.polygon(leaf_outline(at, angle + 100, 30, 9, smooth), fill=mix(GOLD, BOARD, 0.15))
        canvas.line([at, along(at, angle + 100, 28)], mix(GOLD, BOARD, 0.5), 0.6)
    for k in range(5):
        canvas.ellipse(along((wx, wy), k * 72, 24), 22, 22, fill=(232, 200, 150),
                       outline=mix(GOLD, BOARD, 0.3), width=0.8)
    canvas.ellipse((wx, wy), 14, 14, fill=GOLD)
    canvas.text((middle, y1 - 96), "with four plates drawn from life",
                font("DejaVuSerif-Italic.ttf", 13), mix(GOLD, PAPER, 0.3), anchor="ma")
    canvas.text((middle, y1 - 66), "LEAFBOOK SAMPLE BOOK", font("DejaVuSans.ttf", 11), GOLD,
                anchor="ma")
    canvas.save(path, Image.Quantize.MEDIANCUT)


def spread(path, number, plant):
    canvas = Canvas()
    left, right = open_book(canvas)
    plate(canvas, left, number, plant)
    description(canvas, right, number, plant)
    canvas.save(path)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "book",
                                                              "pages")
    os.makedirs(out, exist_ok=True)
    cover(os.path.join(out, "1.png"))
    for number, plant in enumerate(PLANTS, start=1):
        spread(os.path.join(out, "%d.png" % (number + 1)), number, plant)


if __name__ == "__main__":
    main()
