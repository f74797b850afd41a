#!/usr/bin/env python3
"""Draws every piece of Nuvalo's artwork and sound from code and writes the
files that are committed under resources/.

    python3 resources/generate.py [--out DIR] [--font-dir DIR]

Everything is deterministic: no clock, no library random source, and only
arithmetic that IEEE doubles round the same way everywhere (+ - * / and sqrt;
sine and exp are computed here rather than taken from the C library, and the
PNG deflate stream is written by hand rather than by whichever zlib is
installed). A test regenerates into a scratch folder and insists on identical
bytes, so keep it that way.

The only input is the public-domain Shinonome 16-dot bitmap font from Debian's
xfonts-shinonome package; it becomes the game's text font and also letters the
labels drawn into the sheets.
"""

import argparse
import gzip
import os
import struct
import sys
import zlib

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)

# ---------------------------------------------------------------------------
# Deterministic helpers
# ---------------------------------------------------------------------------

PI = 3.14159265358979323846


def dsin(x):
    """sin(x) from a Taylor series after range reduction; same bits on every
    platform, unlike the C library's."""
    two_pi = 2.0 * PI
    x = x - two_pi * int(x / two_pi)
    if x < 0.0:
        x += two_pi
    # x in [0, 2pi): fold into [-pi/2, pi/2]
    if x > PI:
        x -= two_pi
    if x > PI / 2:
        x = PI - x
    elif x < -PI / 2:
        x = -PI - x
    x2 = x * x
    term = x
    total = x
    for n in range(1, 10):
        term = -term * x2 / ((2 * n) * (2 * n + 1))
        total += term
    return total


def dexp(x):
    """exp(x) by scaling and squaring a short series."""
    k = 0
    while abs(x) > 0.125:
        x /= 2.0
        k += 1
    term = 1.0
    total = 1.0
    for n in range(1, 12):
        term = term * x / n
        total += term
    for _ in range(k):
        total *= total
    return total


def hash01(*ints):
    """A well-mixed value in [0, 1) for integer coordinates."""
    h = 0x811C9DC5
    for v in ints:
        h ^= v & 0xFFFFFFFF
        h = (h * 0x01000193) & 0xFFFFFFFF
        h ^= h >> 15
        h = (h * 0x2C1B3C6D) & 0xFFFFFFFF
        h ^= h >> 12
        h = (h * 0x297A2D39) & 0xFFFFFFFF
        h ^= h >> 15
    return h / 4294967296.0


def value_noise(x, y, cell, seed):
    """Smooth lattice noise in [0, 1) with the given feature size."""
    fx = x / cell
    fy = y / cell
    ix = int(fx // 1)
    iy = int(fy // 1)
    tx = fx - ix
    ty = fy - iy
    tx = tx * tx * (3 - 2 * tx)
    ty = ty * ty * (3 - 2 * ty)
    a = hash01(ix, iy, seed)
    b = hash01(ix + 1, iy, seed)
    c = hash01(ix, iy + 1, seed)
    d = hash01(ix + 1, iy + 1, seed)
    top = a + (b - a) * tx
    bottom = c + (d - c) * tx
    return top + (bottom - top) * ty


class Lcg:
    """Noise source for the sounds."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return (self.state >> 8) / 8388608.0 - 1.0  # [-1, 1)


# ---------------------------------------------------------------------------
# Images
# ---------------------------------------------------------------------------


class Image:
    def __init__(self, w, h, fill):
        self.w = w
        self.h = h
        self.px = [[fill] * w for _ in range(h)]

    def get(self, x, y):
        return self.px[y][x]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def fill(self, x0, y0, w, h, c):
        for y in range(y0, y0 + h):
            for x in range(x0, x0 + w):
                self.set(x, y, c)

    def blit(self, src, dx, dy, sx=0, sy=0, w=None, h=None):
        w = src.w if w is None else w
        h = src.h if h is None else h
        for y in range(h):
            for x in range(w):
                self.set(dx + x, dy + y, src.px[sy + y][sx + x])

    def crop(self, x0, y0, w, h):
        out = Image(w, h, BLACK)
        out.blit(self, 0, 0, x0, y0, w, h)
        return out


def palette_of(images):
    colours = set()
    for img in images:
        for row in img.px:
            colours.update(row)
    colours = sorted(colours)
    if len(colours) > 256:
        raise SystemExit("generate: more than 256 colours in one bitmap")
    return colours


def palette_bytes(colours):
    """256 entries of blue, green, red, 0; unused entries black."""
    pal = bytearray()
    for r, g, b in colours:
        pal += bytes((b, g, r, 0))
    return bytes(pal) + bytes(4 * (256 - len(colours)))


def dib_bytes(img):
    """A device-independent bitmap without file header: info header, 256
    palette entries, 8-bit indices bottom-up with rows padded to 4 bytes."""
    colours = palette_of([img])
    index = {c: i for i, c in enumerate(colours)}
    stride = (img.w + 3) & ~3
    pixels = bytearray()
    for y in range(img.h - 1, -1, -1):
        row = bytes(index[c] for c in img.px[y])
        pixels += row + bytes(stride - img.w)
    header = struct.pack("<IiiHHIIiiII", 40, img.w, img.h, 1, 8, 0, len(pixels), 0, 0, 256, 0)
    pal = palette_bytes(colours)
    return header + pal + bytes(pixels)


def bmp_file_bytes(dib):
    """The same bitmap as a .bmp file, as resource compilers want it."""
    offset = 14 + 40 + 1024
    return b"BM" + struct.pack("<IHHI", 14 + len(dib), 0, 0, offset) + dib


def ico_bytes(img):
    """A one-image .ico: 32 x 32, 8 bits per pixel, all-zero AND mask. The
    directory entry carries the values the game's icon group has always had
    (colour count 0, 1 plane, bit count 24)."""
    assert img.w == 32 and img.h == 32
    colours = palette_of([img])
    index = {c: i for i, c in enumerate(colours)}
    xor = bytearray()
    for y in range(31, -1, -1):
        xor += bytes(index[c] for c in img.px[y])
    and_mask = bytes(4 * 32)
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 8, 0, len(xor) + len(and_mask), 0, 0,
                         256, 0)
    pal = palette_bytes(colours)
    image = header + pal + bytes(xor) + and_mask
    assert len(image) == 2216
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 0, 0, 1, 24, len(image), 6 + 16)
    return icondir + entry + image


# --- PNG, with a small deflate of our own so the bytes never depend on zlib ---

_LENGTH_BASE = [3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83,
                99, 115, 131, 163, 195, 227, 258]
_LENGTH_EXTRA = [0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5,
                 5, 5, 0]


class _BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def bits(self, value, count):  # least significant bit first
        self.acc |= value << self.n
        self.n += count
        while self.n >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.n -= 8

    def huff(self, code, length):  # Huffman codes go most significant bit first
        rev = 0
        for _ in range(length):
            rev = (rev << 1) | (code & 1)
            code >>= 1
        self.bits(rev, length)

    def flush(self):
        if self.n:
            self.out.append(self.acc & 0xFF)
        self.acc = 0
        self.n = 0


def _fixed_symbol(w, sym):
    if sym < 144:
        w.huff(0x30 + sym, 8)
    elif sym < 256:
        w.huff(0x190 + sym - 144, 9)
    elif sym < 280:
        w.huff(sym - 256, 7)
    else:
        w.huff(0xC0 + sym - 280, 8)


def deflate_runs(data):
    """Deflate with fixed codes and only distance-1 matches: plenty for
    filtered pixel art, and the output is a pure function of the input."""
    w = _BitWriter()
    w.bits(1, 1)  # final block
    w.bits(1, 2)  # fixed Huffman codes
    i = 0
    n = len(data)
    while i < n:
        run = 0
        if i > 0:
            while i + run < n and run < 258 and data[i + run] == data[i - 1]:
                run += 1
        if run >= 3:
            code = 0
            while code + 1 < len(_LENGTH_BASE) and _LENGTH_BASE[code + 1] <= run:
                code += 1
            _fixed_symbol(w, 257 + code)
            if _LENGTH_EXTRA[code]:
                w.bits(run - _LENGTH_BASE[code], _LENGTH_EXTRA[code])
            w.huff(0, 5)  # distance code 0: distance 1
            i += run
        else:
            _fixed_symbol(w, data[i])
            i += 1
    _fixed_symbol(w, 256)
    w.flush()
    return b"\x78\x01" + bytes(w.out) + struct.pack(">I", zlib.adler32(data) & 0xFFFFFFFF)


def png_bytes(img):
    """RGB, or RGBA when the pixels carry an alpha value."""
    channels = len(img.px[0][0])
    raw = bytearray()
    prev = None
    for row in img.px:
        line = bytearray()
        for px in row:
            line += bytes(px)
        if prev is not None and line == prev:
            raw += b"\x02" + bytes(len(line))  # Up filter: all zero
        else:
            raw.append(1)  # Sub filter
            for i, v in enumerate(line):
                raw.append((v - (line[i - channels] if i >= channels else 0)) & 0xFF)
        prev = line

    def chunk(tag, body):
        return (struct.pack(">I", len(body)) + tag + body
                + struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF))

    colour_type = {3: 2, 4: 6}[channels]
    ihdr = struct.pack(">IIBBBBB", img.w, img.h, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", deflate_runs(bytes(raw)))
            + chunk(b"IEND", b""))


# ---------------------------------------------------------------------------
# The Shinonome font
# ---------------------------------------------------------------------------

PCF_METRICS = 1 << 2
PCF_BITMAPS = 1 << 3
PCF_BDF_ENCODINGS = 1 << 5
PCF_BDF_ACCELERATORS = 1 << 8


class PcfFont:
    """Just enough of the X11 PCF format to pull out bitmaps by encoding."""

    def __init__(self, path):
        with gzip.open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:4] != b"\x01fcp":
            raise SystemExit(f"generate: {path} is not a PCF font")
        count = struct.unpack_from("<I", d, 4)[0]
        self.tables = {}
        for i in range(count):
            t, fmt, size, off = struct.unpack_from("<IIII", d, 8 + 16 * i)
            self.tables[t] = (fmt, off)
        self._read_accelerators()
        self._read_metrics()
        self._read_bitmaps()
        self._read_encodings()

    def _fmt(self, table):
        fmt, off = self.tables[table]
        real = struct.unpack_from("<I", self.data, off)[0]
        return real, off + 4, (">" if real & 4 else "<")

    def _read_accelerators(self):
        fmt, p, e = self._fmt(PCF_BDF_ACCELERATORS)
        self.ascent, self.descent = struct.unpack_from(e + "ii", self.data, p + 8)

    def _read_metrics(self):
        fmt, p, e = self._fmt(PCF_METRICS)
        self.metrics = []
        if fmt & 0x100:  # compressed
            n = struct.unpack_from(e + "H", self.data, p)[0]
            p += 2
            for i in range(n):
                v = [b - 0x80 for b in self.data[p + 5 * i:p + 5 * i + 5]]
                self.metrics.append(tuple(v))  # lsb, rsb, width, ascent, descent
        else:
            n = struct.unpack_from(e + "I", self.data, p)[0]
            p += 4
            for i in range(n):
                self.metrics.append(struct.unpack_from(e + "hhhhh", self.data, p + 12 * i))

    def _read_bitmaps(self):
        fmt, p, e = self._fmt(PCF_BITMAPS)
        if not fmt & 8:
            raise SystemExit("generate: PCF bitmaps with LSB-first bits are not handled")
        self.pad = 1 << (fmt & 3)
        n = struct.unpack_from(e + "I", self.data, p)[0]
        self.offsets = struct.unpack_from(e + "%dI" % n, self.data, p + 4)
        self.bitmap_base = p + 4 + 4 * n + 16

    def _read_encodings(self):
        fmt, p, e = self._fmt(PCF_BDF_ENCODINGS)
        self.min2, self.max2, self.min1, self.max1, self.default = struct.unpack_from(
            e + "hhhhh", self.data, p)
        count = (self.max2 - self.min2 + 1) * (self.max1 - self.min1 + 1)
        self.index = struct.unpack_from(e + "%dH" % count, self.data, p + 10)

    def cell(self, code, cell_w):
        """The glyph for an encoding as rows of booleans in a cell_w x 16
        cell, or None when the font has no glyph for it."""
        b1, b2 = code >> 8, code & 0xFF
        if not (self.min1 <= b1 <= self.max1 and self.min2 <= b2 <= self.max2):
            return None
        gi = self.index[(b1 - self.min1) * (self.max2 - self.min2 + 1) + (b2 - self.min2)]
        if gi == 0xFFFF:
            return None
        lsb, rsb, _width, gasc, gdesc = self.metrics[gi]
        gw = rsb - lsb
        stride = ((gw + 7) // 8 + self.pad - 1) // self.pad * self.pad
        base = self.bitmap_base + self.offsets[gi]
        rows = [[False] * cell_w for _ in range(16)]
        top = self.ascent - gasc
        for gy in range(gasc + gdesc):
            y = top + gy
            for gx in range(gw):
                byte = self.data[base + gy * stride + gx // 8]
                if byte & (0x80 >> (gx % 8)):
                    x = lsb + gx
                    if 0 <= x < cell_w and 0 <= y < 16:
                        rows[y][x] = True
        return rows


def jis_to_sjis(row, cell):
    """Shift-JIS code of JIS X 0208 row and cell (both 1..94)."""
    lead = (row + 1) // 2 + (0x80 if row <= 62 else 0xC0)
    if row % 2:
        trail = cell + (0x3F if cell <= 63 else 0x40)
    else:
        trail = cell + 0x9E
    return lead << 8 | trail


SJIS_LEADS = list(range(0x81, 0xA0)) + list(range(0xE0, 0xF0))
TRAIL_FIRST, TRAIL_LAST = 0x40, 0xFC


def pack_rows(rows):
    out = bytearray()
    for r in rows:
        for x0 in range(0, len(r), 8):
            v = 0
            for i, bit in enumerate(r[x0:x0 + 8]):
                if bit:
                    v |= 0x80 >> i
            out.append(v)
    return bytes(out)


class Font:
    """The game's font, built from Shinonome Gothic 16 (medium; ASCII from the
    ISO 8859-1 cut, katakana from the JIS X 0201 cut), and the bold kanji cut
    for the labels painted into the sheets."""

    def __init__(self, font_dir):
        def load(name):
            path = os.path.join(font_dir, name)
            if not os.path.exists(path):
                raise SystemExit(
                    f"generate: {path} is missing; install Debian's xfonts-shinonome")
            return PcfFont(path)

        self.latin = load("shnm8x16a.pcf.gz")
        self.kana = load("shnm8x16r.pcf.gz")
        self.kanji = load("shnmk16.pcf.gz")
        self.kanji_bold = load("shnmk16b.pcf.gz")

    def half(self, code):
        if 0x20 <= code <= 0x7E:
            return self.latin.cell(code, 8)
        if 0xA1 <= code <= 0xDF:
            return self.kana.cell(code, 8)
        return None

    def full(self, sjis, bold=False):
        lead, trail = sjis >> 8, sjis & 0xFF
        if lead not in SJIS_LEADS:
            return None
        if lead >= 0xE0:
            row = (lead - 0xC0) * 2 - 1
        else:
            row = (lead - 0x80) * 2 - 1
        if trail >= 0x9F:
            row += 1
            cell = trail - 0x9E
        elif trail >= 0x80:
            cell = trail - 0x40
        else:
            cell = trail - 0x3F
        if not (1 <= row <= 94 and 1 <= cell <= 94 and trail != 0x7F):
            return None
        return (self.kanji_bold if bold else self.kanji).cell((row + 0x20) << 8 | (cell + 0x20), 16)

    def text(self, s, bold=False):
        """Glyph cells for a string, in order, via its Shift-JIS bytes."""
        data = s.encode("cp932")
        cells = []
        i = 0
        while i < len(data):
            b = data[i]
            if b in SJIS_LEADS:
                g = self.full(b << 8 | data[i + 1], bold)
                i += 2
            else:
                g = self.half(b)
                i += 1
            if g is None:
                raise SystemExit(f"generate: no glyph for {s!r}")
            cells.append(g)
        return cells

    def compiled(self):
        """The font file the program embeds (all integers little-endian):

        offset 0      "NVF1"
        offset 4      u16 number of full-width glyphs stored (N)
        offset 6      u16 0
        offset 8      32 bytes: bit c (byte c/8, bit c%8 from the least
                      significant) set when single byte c has a glyph
        offset 40     256 half-width glyphs, 16 bytes each (one per row)
        offset 4136   47 x 189 u16: for each lead byte 0x81..0x9F, 0xE0..0xEF
                      and each trail byte 0x40..0xFC, the number of its
                      glyph, or 0xFFFF when it has none
        offset 21902  N full-width glyphs, 32 bytes each (two per row)
        """
        present = bytearray(32)
        halves = bytearray()
        for c in range(256):
            g = self.half(c)
            if g is None:
                halves += bytes(16)
            else:
                present[c // 8] |= 1 << (c % 8)
                halves += pack_rows(g)
        index = [0xFFFF] * (len(SJIS_LEADS) * (TRAIL_LAST - TRAIL_FIRST + 1))
        glyphs = bytearray()
        count = 0
        for row in range(1, 95):
            for cell in range(1, 95):
                g = self.kanji.cell((row + 0x20) << 8 | (cell + 0x20), 16)
                if g is None:
                    continue
                code = jis_to_sjis(row, cell)
                slot = (SJIS_LEADS.index(code >> 8) * (TRAIL_LAST - TRAIL_FIRST + 1)
                        + (code & 0xFF) - TRAIL_FIRST)
                index[slot] = count
                glyphs += pack_rows(g)
                count += 1
        head = b"NVF1" + struct.pack("<HH", count, 0)
        return head + bytes(present) + bytes(halves) + struct.pack(
            "<%dH" % len(index), *index) + bytes(glyphs)


def draw_text(img, cells, x, y, colour, pitch=None):
    """Paints glyph cells left to right from (x, y)."""
    for g in cells:
        for gy, row in enumerate(g):
            for gx, ink in enumerate(row):
                if ink:
                    img.set(x + gx, y + gy, colour)
        x += pitch if pitch is not None else len(g[0])


def ink_columns(cells, pitch):
    cols = set()
    x = 0
    for g in cells:
        for row in g:
            for gx, ink in enumerate(row):
                if ink:
                    cols.add(x + gx)
        x += pitch
    return min(cols), max(cols)


# ---------------------------------------------------------------------------
# "Kemri": the falling star
# ---------------------------------------------------------------------------

STAR_W, STAR_H = 25, 30
STAR_ANCHOR = (12, 21)
STAR_GRAYS = [24, 57, 90, 123, 156, 189, 222, 255]


def star_half_width(y):
    """Half width of the teardrop at height y (pixel centres inside when
    |x - 12| <= this): a tail tapering to a three-pixel tip on row 0, the
    full seventeen pixels from row 12, and a round head about the anchor."""
    if y < -1.0:
        return -1.0
    if y < 0.0:
        return 1.0 + y
    if y <= 12.0:
        t = y / 12.0
        return 1.0 + 7.0 * (0.5 * t + 0.5 * t * (2.0 - t))
    if y <= 21.0:
        return 8.0 + 0.5 * (y - 12.0) / 9.0
    r2 = 8.5 * 8.5 - (y - 21.0) * (y - 21.0)
    return r2 ** 0.5 if r2 >= 0.0 else -1.0


def star_depth(x, y):
    """How far out from the anchor a pixel lies, as the scale (0 at the anchor,
    1 on the outline) of the teardrop copy through it; rings of equal depth
    are smaller teardrops about the anchor."""
    ax, ay = STAR_ANCHOR
    dx, dy = abs(x - ax), y - ay
    if dx == 0 and dy == 0:
        return 0.0
    lo, hi = 0.0, 4.0
    for _ in range(48):
        s = (lo + hi) / 2
        if dx / s <= star_half_width(ay + dy / s):
            hi = s
        else:
            lo = s
    return hi


# Depth limits of the glow rings, brightest (222) first; 255 is the anchor only.
STAR_RINGS = [0.17, 0.30, 0.43, 0.56, 0.69, 0.84, 1.0]


def draw_star():
    img = Image(STAR_W, STAR_H, BLACK)
    for y in range(STAR_H):
        for x in range(STAR_W):
            d = star_depth(x, y)
            if (x, y) == STAR_ANCHOR:
                level = 7
            else:
                level = None
                for i, limit in enumerate(STAR_RINGS):
                    if d <= limit:
                        level = 6 - i
                        break
            if level is not None:
                g = STAR_GRAYS[level]
                img.set(x, y, (g, g, g))
    return img


# ---------------------------------------------------------------------------
# "Stein": rocks, saucers, masks
# ---------------------------------------------------------------------------

BOULDER_BROWNS = [(81, 22, 18), (80, 40, 20), (120, 69, 48)]  # dark to light
STONE_BROWNS = [(80, 40, 20), (150, 100, 50), (210, 175, 100)]

LIGHT = (-0.55, -0.65, 0.52)  # from the upper left, towards the viewer


def _normalise(v):
    n = (v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) ** 0.5
    return (v[0] / n, v[1] / n, v[2] / n)


def rock(size, cx, cy, rx, ry_top, ry_bottom, lumps, seed, browns, full_rows=None,
         speckle=0.22, craters=(), levels=(0.33, 0.60)):
    """A shaded rock on white: a lumpy rounded blob lit from the upper left,
    its brightness dithered into three browns so that it reads as speckled
    stone. Returns the sprite and the silhouette."""

    def outline(x, y):  # < 1 inside
        dx = x - cx
        dy = y - cy
        ry = ry_top if dy < 0 else ry_bottom
        wobble = 1.0 + lumps * (value_noise(x, y, size / 3.0, seed) - 0.5)
        return ((dx / rx) ** 2 + (dy / ry) ** 2) / (wobble * wobble)

    def height(x, y):
        q = outline(x, y)
        h = (1.0 - q) ** 0.5 if q < 1.0 else 0.0
        h += 0.10 * value_noise(x, y, size / 6.0, seed + 7)
        h += 0.05 * value_noise(x, y, size / 12.0, seed + 9)
        for kx, ky, kr in craters:
            d2 = ((x - kx) ** 2 + (y - ky) ** 2) / (kr * kr)
            if d2 < 1.0:
                h -= 0.16 * (1.0 - d2)
        return h

    inside = [[outline(x, y) <= 1.0 for x in range(size)] for y in range(size)]
    if full_rows is not None:
        first, last = full_rows
        for y in range(size):
            if first <= y <= last:
                inside[y] = [True] * size
            else:
                inside[y][0] = inside[y][size - 1] = False
    light = _normalise(LIGHT)
    img = Image(size, size, WHITE)
    for y in range(size):
        for x in range(size):
            if not inside[y][x]:
                continue
            # the height field is in units of the radius: scale slopes back
            gx = (height(x + 0.5, y) - height(x - 0.5, y)) * rx * 0.6
            gy = (height(x, y + 0.5) - height(x, y - 0.5)) * rx * 0.6
            n = _normalise((-gx, -gy, 1.0))
            lit = max(0.0, n[0] * light[0] + n[1] * light[1] + n[2] * light[2])
            v = 0.14 + 0.72 * lit
            v *= 0.86 + 0.28 * value_noise(x, y, 3.0, seed + 21)
            v += speckle * (hash01(x, y, seed + 13) - 0.5) * 2.0
            edge = False
            for ex, ey in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                xx, yy = x + ex, y + ey
                if 0 <= xx < size and 0 <= yy < size and not inside[yy][xx]:
                    edge = True
            if edge:
                v -= 0.25
            if v > levels[1]:
                c = browns[2]
            elif v > levels[0]:
                c = browns[1]
            else:
                c = browns[0]
            img.set(x, y, c)
    return img, inside


def draw_boulder():
    return rock(50, 24.5, 23.5, 27.5, 24.6, 26.4, 0.08, 101, BOULDER_BROWNS,
                full_rows=(13, 34), speckle=0.2,
                craters=((32, 15, 4.0), (16, 32, 3.0), (31, 35, 2.5), (14, 13, 2.2), (24, 24, 3.0)))


def draw_stone():
    return rock(25, 12.0, 12.0, 12.9, 12.9, 12.9, 0.06, 202, STONE_BROWNS, speckle=0.17,
                craters=((15, 9, 2.0), (8, 15, 1.6)))


SAUCER_ROWS = [  # rows 5..20 of a 25 x 25 target cell
    "..........KKKKK..........",
    "........KKDDDDDKK........",
    ".......KDDHHDDDDDK.......",
    "......KDHHDDDDDDDDK......",
    "......KDHDDDDDDDDDK......",
    ".....KDDDDDDDDDDDDDK.....",
    "...KKKKKKKKKKKKKKKKKKK...",
    ".KKRRRRRRRRRRRRRRRRRRRKK.",
    "KRRRRRRRRRRRRRRRRRRRRRRRK",
    "KRRLLRRRLLRRRRRLLRRRLLRRK",
    "KRRRRRRRRRRRRRRRRRRRRRRRK",
    ".KKRRRRRRRRRRRRRRRRRRRKK.",
    "...KKKKRRRRRRRRRRRKKKK...",
    ".......KRRRRRRRRRK.......",
    "........KKRRRRRKK........",
    "..........KKKKK..........",
]
SAUCER_TOP = 5

SAUCER_COLOURS = [
    {"D": (108, 195, 223), "H": (139, 243, 255), "R": (21, 52, 52), "L": (35, 113, 112)},
    {"D": (131, 182, 42), "H": (193, 239, 60), "R": (119, 25, 0), "L": (169, 11, 0)},
]


def draw_saucer(kind):
    img = Image(25, 25, WHITE)
    colours = dict(SAUCER_COLOURS[kind], K=BLACK)
    for r, line in enumerate(SAUCER_ROWS):
        for x, ch in enumerate(line):
            if ch != ".":
                img.set(x, SAUCER_TOP + r, colours[ch])
    return img


def draw_stopwatch():
    img = Image(25, 25, WHITE)
    face = (110, 110, 120)
    cx, cy = 12.0, 14.0
    for y in range(25):
        for x in range(25):
            d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
            if d <= 8.6:
                img.set(x, y, face)
            elif d <= 10.4:
                img.set(x, y, BLACK)
    img.fill(11, 2, 3, 2, BLACK)  # stem
    img.fill(9, 0, 7, 2, BLACK)  # crown
    for x, y in ((19, 5), (20, 5), (20, 6), (21, 6), (21, 7)):  # lap button
        img.set(x, y, BLACK)
    for x, y in ((12, 6), (12, 22), (4, 14), (20, 14)):  # hour marks
        img.set(x, y, BLACK)
    for y in range(8, 15):  # hand at twelve
        img.set(12, y, WHITE)
    for x in range(12, 19):  # hand at three
        img.set(x, 14, WHITE)
    return img


def mask_of(sprite):
    m = Image(sprite.w, sprite.h, BLACK)
    for y in range(sprite.h):
        for x in range(sprite.w):
            if sprite.get(x, y) != WHITE:
                m.set(x, y, WHITE)
    return m


def draw_stein():
    sheet = Image(100, 100, WHITE)
    boulder, _ = draw_boulder()
    stone, _ = draw_stone()
    saucers = [draw_saucer(0), draw_saucer(1)]
    sheet.blit(boulder, 0, 0)
    sheet.blit(stone, 50, 0)
    sheet.blit(draw_stopwatch(), 75, 0)
    sheet.blit(saucers[0], 50, 25)
    sheet.blit(saucers[1], 75, 25)
    sheet.blit(mask_of(boulder), 0, 50)
    sheet.blit(mask_of(stone), 50, 50)
    sheet.fill(75, 50, 25, 25, BLACK)
    sheet.blit(mask_of(saucers[0]), 50, 75)
    sheet.blit(mask_of(saucers[0]), 75, 75)
    return sheet


# ---------------------------------------------------------------------------
# "Botan": digits, start buttons, units, record badge
# ---------------------------------------------------------------------------

DIGIT_INK = (40, 40, 40)
FACE = (192, 192, 192)
SHADE = (128, 128, 128)
RED = (255, 0, 0)

SEGMENTS = {
    "top": [(x, 2) for x in range(6, 14)] + [(x, 3) for x in range(7, 13)],
    "upper left": [(x, y) for x in (4, 5) for y in range(5, 8)] + [(4, 4), (4, 8)],
    "upper right": [(x, y) for x in (14, 15) for y in range(5, 8)] + [(15, 4), (15, 8)],
    "middle": [(x, y) for y in (9, 10) for x in range(7, 13)],
    "lower left": [(x, y) for x in (4, 5) for y in range(12, 15)] + [(4, 11), (4, 15)],
    "lower right": [(x, y) for x in (14, 15) for y in range(12, 15)] + [(15, 11), (15, 15)],
    "bottom": [(x, 16) for x in range(7, 13)] + [(x, 17) for x in range(6, 14)],
}
ALL_SEGMENTS = list(SEGMENTS)
DIGIT_SEGMENTS = [
    [s for s in ALL_SEGMENTS if s != "middle"],
    ["upper right", "lower right"],
    ["top", "upper right", "middle", "lower left", "bottom"],
    ["top", "upper right", "middle", "lower right", "bottom"],
    ["upper left", "upper right", "middle", "lower right"],
    ["top", "upper left", "middle", "lower right", "bottom"],
    ["top", "upper left", "middle", "lower left", "lower right", "bottom"],
    ["top", "upper right", "lower right"],
    ALL_SEGMENTS,
    ["top", "upper left", "upper right", "middle", "lower right"],
]


def draw_button(font, sunken):
    """The 80 x 20 start button: raised, or sunken and greyed. The bottom row
    and right column are drawn last and so own the two shared corners."""
    img = Image(80, 20, FACE)
    light, dark = (SHADE, WHITE) if sunken else (WHITE, SHADE)
    img.fill(0, 0, 80, 1, light)
    img.fill(0, 0, 1, 20, light)
    img.fill(0, 19, 80, 1, dark)
    img.fill(79, 0, 1, 20, dark)
    cells = font.text("開始", bold=True)
    pitch = 17
    lo, hi = ink_columns(cells, pitch)
    x = (80 - (hi - lo + 1)) // 2 - lo
    y = 2
    if sunken:
        # pressed in by a pixel, the label engraved: white under gray
        x += 1
        y += 1
        draw_text(img, cells, x + 1, y + 1, WHITE, pitch)
        draw_text(img, cells, x, y, SHADE, pitch)
    else:
        draw_text(img, cells, x, y, BLACK, pitch)
    return img


def draw_botan(font):
    sheet = Image(234, 40, WHITE)
    for d in range(10):
        for seg in DIGIT_SEGMENTS[d]:
            for x, y in SEGMENTS[seg]:
                sheet.set(20 * d + x, y, DIGIT_INK)
    sheet.blit(draw_button(font, False), 0, 20)
    sheet.blit(draw_button(font, True), 80, 20)
    # km in the first 20 pixels, /s in the next 20, sitting on the digits' baseline
    km = font.text("km")
    slash_s = font.text("/s")
    draw_text(sheet, km, 160 + 2, 20 + 4, DIGIT_INK)
    draw_text(sheet, slash_s, 180 + 1, 20 + 4, DIGIT_INK)
    # the badge: four glyphs on a steady 17-pixel pitch across both halves
    badge = font.text("新記録！", bold=True)
    draw_text(sheet, badge[:2], 200 + 1, 2, RED, 17)
    draw_text(sheet, badge[2:], 200 + 1, 20 + 2, RED, 17)
    return sheet


# ---------------------------------------------------------------------------
# The icon
# ---------------------------------------------------------------------------


def draw_icon():
    """The kind-0 saucer centred on white."""
    img = Image(32, 32, WHITE)
    img.blit(draw_saucer(0), 3, 3 + 0)
    return img


# The desktop's icon theme wants the same saucer at these sizes, on a
# transparent ground so it sits on any panel or menu.
DESKTOP_ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)
CLEAR = (0, 0, 0, 0)


def desktop_icon_art():
    """The window icon's 32 x 32 saucer, RGBA, with the white ground cleared.
    The saucer itself has no white pixel, so nothing of it is lost."""
    icon = draw_icon()
    art = Image(32, 32, CLEAR)
    for y in range(32):
        for x in range(32):
            c = icon.get(x, y)
            if c != WHITE:
                art.set(x, y, c + (255,))
    return art


def resample(art, size):
    """The art scaled to size x size, crisp: every pixel fully opaque or fully
    clear, in one of the art's own colours. Whole factors repeat pixels; other
    sizes give each target pixel the colour (or the clear ground) that covers
    the largest share of it, so no edge is smeared into half-transparent
    blends. Ties go to the darker colour, which keeps the outline."""
    n = art.w
    out = Image(size, size, CLEAR)
    if size % n == 0:
        k = size // n
        for y in range(size):
            out.px[y] = [art.px[y // k][x // k] for x in range(size)]
        return out

    def shares(j):
        # source pixel i covers [i * size, (i + 1) * size), target pixel j
        # covers [j * n, (j + 1) * n) in a common unit
        lo, hi = j * n, (j + 1) * n
        return [(i, min(hi, (i + 1) * size) - max(lo, i * size))
                for i in range(lo // size, (hi - 1) // size + 1)]

    def darkness(c):
        return -1 if not c[3] else 3 * 255 - sum(c[:3])

    for ty in range(size):
        for tx in range(size):
            weight = {}
            for sy, wy in shares(ty):
                for sx, wx in shares(tx):
                    c = art.px[sy][sx]
                    c = c if c[3] else CLEAR
                    weight[c] = weight.get(c, 0) + wx * wy
            out.px[ty][tx] = max(weight, key=lambda c: (weight[c], darkness(c), c))
    return out


def web_icons(art):
    """The page's icons for an installed web app, by file name: the saucer at
    whole factors only. The plain ones on a clear ground; the maskable one and
    Apple's on the window icon's white, full-bleed, since a launcher may crop
    or fill the corners, with the saucer inside the middle 80 % that every
    mask keeps."""
    def placed(size, factor, ground):
        out = Image(size, size, ground)
        big = resample(art, art.w * factor)
        at = (size - big.w) // 2
        for y in range(big.h):
            for x in range(big.w):
                c = big.px[y][x]
                if c[3]:
                    out.px[at + y][at + x] = c
        return out

    white = WHITE + (255,)
    return {
        "icon-192.png": placed(192, 6, CLEAR),
        "icon-512.png": placed(512, 16, CLEAR),
        "icon-maskable-512.png": placed(512, 10, white),
        "apple-touch-icon.png": placed(180, 5, white),
    }


def icon_svg(art):
    """The same pixels as squares on a 32-unit grid, runs of one colour merged
    into one rectangle per row; crisp edges keep it looking like pixel art at
    any size."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d"'
             ' shape-rendering="crispEdges">' % (art.w, art.h, art.w, art.h)]
    for y in range(art.h):
        x = 0
        while x < art.w:
            c = art.px[y][x]
            run = 1
            while x + run < art.w and art.px[y][x + run] == c:
                run += 1
            if c[3]:
                lines.append('<rect x="%d" y="%d" width="%d" height="1" fill="#%02x%02x%02x"/>'
                             % ((x, y, run) + c[:3]))
            x += run
    lines.append("</svg>")
    return ("\n".join(lines) + "\n").encode("ascii")


# ---------------------------------------------------------------------------
# Preview for people: the sheets at 4x and 1:1, and masked drawing at work
# ---------------------------------------------------------------------------


def zoom(img, k):
    out = Image(img.w * k, img.h * k, BLACK)
    for y in range(out.h):
        row = img.px[y // k]
        out.px[y] = [row[x // k] for x in range(out.w)]
    return out


def raster(dst, src, sx, sy, w, h, dx, dy, op):
    for y in range(h):
        for x in range(w):
            tx, ty = dx + x, dy + y
            if not (0 <= tx < dst.w and 0 <= ty < dst.h):
                continue
            s = src.get(sx + x, sy + y)
            d = dst.get(tx, ty)
            if op == "copy":
                c = s
            elif op == "paint":
                c = tuple(a | b for a, b in zip(d, s))
            else:
                c = tuple(a & b for a, b in zip(d, s))
            dst.set(tx, ty, c)


def scene(stein, kemri, ground):
    """The obstacles and targets drawn the way the game draws them."""
    img = Image(150, 50, BLACK)
    for y in range(50):
        for x in range(150):
            img.set(x, y, ground(x, y))
    raster(img, kemri, 0, 0, 25, 30, 84, 14, "copy")

    def masked(mx, my, sx, sy, w, h, dx, dy):
        raster(img, stein, mx, my, w, h, dx, dy, "paint")
        raster(img, stein, sx, sy, w, h, dx, dy, "and")

    masked(0, 50, 0, 0, 50, 50, 0, 0)
    masked(50, 50, 50, 0, 25, 25, 54, 2)
    masked(50, 50, 50, 0, 25, 25, 58, 24)
    masked(50, 75, 50, 25, 25, 25, 112, 0)
    masked(50, 75, 75, 25, 25, 25, 122, 24)
    return img


def contact_sheet(kemri, stein, botan):
    bg = (70, 78, 88)
    out = Image(968, 752, bg)
    out.blit(zoom(kemri, 4), 16, 16)
    out.blit(zoom(stein, 4), 132, 16)
    grounds = [
        lambda x, y: BLACK,
        lambda x, y: WHITE,
        lambda x, y: ((x * 5) % 256, 90 + (y * 3) % 120, 200 - (x + y) % 150),
    ]
    for i, ground in enumerate(grounds):
        out.blit(zoom(scene(stein, kemri, ground), 2), 548, 16 + i * 116)
    # the cuts the game makes: badge halves side by side, km, km/s, icon
    joined = Image(68, 20, WHITE)
    joined.blit(botan, 0, 0, 200, 0, 34, 20)
    joined.blit(botan, 34, 0, 200, 20, 34, 20)
    out.blit(zoom(joined, 2), 548, 372)
    out.blit(zoom(botan.crop(160, 20, 20, 20), 2), 700, 372)
    out.blit(zoom(botan.crop(160, 20, 40, 20), 2), 756, 372)
    out.blit(zoom(stein.crop(50, 28, 25, 20), 2), 852, 372)
    out.blit(zoom(stein.crop(75, 28, 25, 20), 2), 906, 372)
    out.blit(zoom(botan, 4), 16, 432)
    out.blit(kemri, 16, 620)
    out.blit(stein, 56, 620)
    out.blit(botan, 172, 620)
    out.blit(scene(stein, kemri, grounds[0]), 420, 620)
    out.blit(scene(stein, kemri, grounds[1]), 420, 680)
    return out


# ---------------------------------------------------------------------------
# Sounds
# ---------------------------------------------------------------------------

RATE = 44100


def tone(out, start, dur, freq, amp, decay, partials=((1.0, 1.0),), glide=0.0, attack=0.002):
    """Adds a decaying tone: `partials` are (frequency ratio, level) pairs,
    `decay` the time in seconds for the level to fall by 1/e, `glide` a
    fractional pitch change over the tone's length."""
    n0 = int(start * RATE)
    n = int(dur * RATE)
    fall = dexp(-1.0 / (decay * RATE))
    phases = [0.0] * len(partials)
    level = amp
    attack_n = max(1, int(attack * RATE))
    for i in range(n):
        if n0 + i >= len(out):
            break
        f = freq * (1.0 + glide * i / n)
        env = level * (i / attack_n if i < attack_n else 1.0)
        v = 0.0
        for j, (ratio, lv) in enumerate(partials):
            phases[j] += f * ratio / RATE
            if phases[j] >= 1.0:
                phases[j] -= int(phases[j])
            v += lv * dsin(2.0 * PI * phases[j])
        out[n0 + i] += env * v
        level *= fall


def finish(samples, peak):
    """Scales to the given peak and fades both ends so that playback starts
    and stops on silence."""
    top = max(abs(v) for v in samples)
    scale = peak / top
    n = len(samples)
    fade_in = int(0.003 * RATE)
    fade_out = int(0.012 * RATE)
    out = []
    for i, v in enumerate(samples):
        g = scale
        if i < fade_in:
            g *= i / fade_in
        if i >= n - fade_out:
            g *= (n - 1 - i) / fade_out
        out.append(v * g)
    return out


def impact():
    """ball01: a short heavy thud with a crunch of grit."""
    n = int(0.45 * RATE)
    out = [0.0] * n
    noise = Lcg(1)
    low = 0.0
    lower = 0.0
    phase = 0.0
    level = 1.0
    fall = dexp(-1.0 / (0.09 * RATE))
    grit = 1.0
    grit_fall = dexp(-1.0 / (0.025 * RATE))
    for i in range(n):
        t = i / RATE
        # the thump: a sine diving from 150 Hz to about 45 Hz
        f = 45.0 + 105.0 * dexp(-t / 0.05)
        phase += f / RATE
        phase -= int(phase)
        body = dsin(2.0 * PI * phase) * level
        # the crunch: noise through two gentle low-passes, dull and heavy
        low += 0.12 * (noise.next() - low)
        lower += 0.12 * (low - lower)
        out[i] = 0.85 * body + 2.6 * lower * grit + 0.7 * lower * level
        level *= fall
        grit *= grit_fall
    return finish(out, 0.89)


def sparkle():
    """magic01: a bright rising arpeggio with a shimmer on top."""
    n = int(0.7 * RATE)
    out = [0.0] * n
    notes = [1046.5, 1318.5, 1568.0, 2093.0, 2637.0, 3136.0, 4186.0]
    bell = ((1.0, 1.0), (2.0, 0.35), (3.0, 0.12))
    for k, f in enumerate(notes):
        tone(out, 0.045 * k, 0.7 - 0.045 * k, f, 1.0 - 0.06 * k, 0.11, bell, glide=0.01)
    # shimmer: quiet high pings scattered over the rise
    rnd = Lcg(7)
    for k in range(14):
        start = 0.02 + 0.035 * k + 0.01 * rnd.next()
        f = 3500.0 + 1800.0 * (k / 13.0) + 300.0 * rnd.next()
        tone(out, start, 0.25, f, 0.22, 0.03)
    return finish(out, 0.70)


def blip():
    """button03: a short crisp blip."""
    n = int(0.11 * RATE)
    out = [0.0] * n
    tone(out, 0.0, 0.11, 1760.0, 1.0, 0.028, ((1.0, 1.0), (2.0, 0.25), (3.0, 0.1)),
         glide=-0.08, attack=0.001)
    return finish(out, 0.65)


def chime():
    """decide04: three rising bell notes that settle on the octave."""
    n = int(0.75 * RATE)
    out = [0.0] * n
    bell = ((1.0, 1.0), (2.0, 0.4), (3.01, 0.15), (4.2, 0.06))
    tone(out, 0.00, 0.75, 783.99, 0.8, 0.12, bell)  # G5
    tone(out, 0.09, 0.66, 987.77, 0.8, 0.12, bell)  # B5
    tone(out, 0.18, 0.57, 1567.98, 1.0, 0.17, bell)  # G6
    return finish(out, 0.70)


def ding():
    """The built-in stand-in for a missing sound file: one plain bell tone."""
    n = int(0.4 * RATE)
    out = [0.0] * n
    tone(out, 0.0, 0.4, 880.0, 1.0, 0.1, ((1.0, 1.0), (2.0, 0.3), (3.0, 0.08)))
    return finish(out, 0.60)


def sounds():
    return {
        "Ton/ball01.wav": impact(),
        "Ton/magic01.wav": sparkle(),
        "Ton/button03.wav": blip(),
        "Ton/decide04.wav": chime(),
        "sound/default.wav": ding(),
    }


def wav_bytes(samples):
    """16-bit mono PCM."""
    data = bytearray()
    for v in samples:
        s = int((v * 32767.0 + 0.5) // 1)
        s = max(-32767, min(32767, s))
        data += struct.pack("<h", s)
    fmt = struct.pack("<HHIIHH", 1, 1, RATE, RATE * 2, 2, 16)
    return (b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(data)) + b"WAVE"
            + b"fmt " + struct.pack("<I", len(fmt)) + fmt
            + b"data" + struct.pack("<I", len(data)) + bytes(data))


# ---------------------------------------------------------------------------
# Main
# ---------------------------------------------------------------------------


def write(out_dir, rel, data):
    path = os.path.join(out_dir, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", default=here, help="folder to write into (default: resources/)")
    ap.add_argument("--font-dir", default="/usr/share/fonts/X11/misc",
                    help="where xfonts-shinonome put its PCF files")
    args = ap.parse_args(argv)

    font = Font(args.font_dir)
    kemri = draw_star()
    stein = draw_stein()
    botan = draw_botan(font)
    for name, img in (("Kemri", kemri), ("Stein", stein), ("Botan", botan)):
        dib = dib_bytes(img)
        write(args.out, f"sheets/{name}.dib", dib)
        write(args.out, f"sheets/{name}.bmp", bmp_file_bytes(dib))
    icon = draw_icon()
    write(args.out, "icon/Aicon.ico", ico_bytes(icon))
    write(args.out, "icon/Aicon.png", png_bytes(icon))
    art = desktop_icon_art()
    for size in DESKTOP_ICON_SIZES:
        write(args.out, f"icon/hicolor/nuvalo-{size}.png", png_bytes(resample(art, size)))
    write(args.out, "icon/hicolor/nuvalo.svg", icon_svg(art))
    for name, img in web_icons(art).items():
        write(args.out, f"icon/web/{name}", png_bytes(img))
    write(args.out, "font/shinonome16.nvf", font.compiled())
    for name, samples in sounds().items():
        write(args.out, name, wav_bytes(samples))
    write(args.out, "preview/contact.png", png_bytes(contact_sheet(kemri, stein, botan)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
