#!/usr/bin/env python3
"""Draws the pictures of Quorvalinthexa.exe and writes them under resources/images/:

  program.ico    icon 115: two arrows passing each other on a blue rounded square,
                 256, 128, 48, 32, 24 and 16 px, each in 32-bit colour with alpha and in
                 256 colours with a transparency mask (the 256 px 32-bit image as PNG)
  discovery.bmp  bitmap 107: a blue circular arrow, 16 x 16
  settings.bmp   bitmap 1024: an orange cog wheel, 16 x 16
  lock.bmp       bitmap 125: a dark gold padlock, 16 x 16 (the private channel's mark)

The bitmaps carry a colour table whose entry 0 is white, the colour of the first pixel,
so that the program's loading flags (transparent, 3D colours) turn it into the button
face; no other entry is one of the three greys those flags remap.

Only the standard library is used, and the outputs are checked in: building the
program does not need Python. Run from anywhere: python3 scripts/draw-images.py
"""

import math
import os
import struct
import zlib

OUT_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "images")

# Colours the bitmap loading flags remap (LR_LOADMAP3DCOLORS): never in a palette.
MAPPED_GREYS = {(128, 128, 128), (192, 192, 192), (223, 223, 223)}


# --------------------------------------------------------------------------------------
# Rasterising: each layer is (inside(x, y) -> bool, colour(x, y) -> (r, g, b)) in pixel
# coordinates; the topmost layer that holds a sample point paints it. Every pixel
# averages ss x ss samples, which gives the anti-aliased edges.

def render(size, layers, ss):
    step = 1.0 / ss
    offsets = [(i + 0.5) * step for i in range(ss)]
    count = ss * ss
    top_down = list(reversed(layers))
    pixels = []
    for py in range(size):
        for px in range(size):
            r = g = b = 0.0
            hits = 0
            for oy in offsets:
                y = py + oy
                for ox in offsets:
                    x = px + ox
                    for inside, colour in top_down:
                        if inside(x, y):
                            cr, cg, cb = colour(x, y)
                            r += cr
                            g += cg
                            b += cb
                            hits += 1
                            break
            if hits:
                pixels.append((round(r / hits), round(g / hits), round(b / hits),
                               round(255 * hits / count)))
            else:
                pixels.append((0, 0, 0, 0))
    return pixels


def flatten_on_white(pixels):
    out = []
    for r, g, b, a in pixels:
        f = a / 255.0
        out.append((round(r * f + 255 * (1 - f)), round(g * f + 255 * (1 - f)),
                    round(b * f + 255 * (1 - f))))
    return out


def mix(c0, c1, t):
    t = min(1.0, max(0.0, t))
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def hex_colour(text):
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


# --------------------------------------------------------------------------------------
# Shapes

def rounded_rect(x0, y0, x1, y1, radius):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + radius), x1 - radius)
        cy = min(max(y, y0 + radius), y1 - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius
    return inside


def polygon(points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    left, right, top, bottom = min(xs), max(xs), min(ys), max(ys)
    edges = list(zip(points, points[1:] + points[:1]))

    def inside(x, y):
        if x < left or x > right or y < top or y > bottom:
            return False
        hit = False
        for (ax, ay), (bx, by) in edges:
            if (ay > y) != (by > y):
                if x < ax + (y - ay) * (bx - ax) / (by - ay):
                    hit = not hit
        return hit
    return inside


def arrow(tail_x, tip_x, centre_y, shaft, head_length, head_width):
    """Horizontal arrow from tail_x to tip_x (either direction) around centre_y."""
    d = 1 if tip_x > tail_x else -1
    base = tip_x - d * head_length
    hs, hw = shaft / 2.0, head_width / 2.0
    return polygon([(tail_x, centre_y - hs), (base, centre_y - hs), (base, centre_y - hw),
                    (tip_x, centre_y), (base, centre_y + hw), (base, centre_y + hs),
                    (tail_x, centre_y + hs)])


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(shape, hole):
    return lambda x, y: shape(x, y) and not hole(x, y)


def transformed(shape, scale, dx=0.0, dy=0.0):
    """A shape drawn on a design grid, placed at scale and offset in pixels."""
    return lambda x, y: shape((x - dx) / scale, (y - dy) / scale)


def crisp(shape):
    """Whole pixels only: each pixel is in when its centre is."""
    return lambda x, y: shape(math.floor(x) + 0.5, math.floor(y) + 0.5)


# --------------------------------------------------------------------------------------
# Program icon: designed on a 16-unit grid; the arrows' edges fall on whole pixels at
# 16, 32 and 48 px and on half pixels at 24 px.

ICON_TOP = hex_colour("3d9df2")
ICON_BOTTOM = hex_colour("1456b8")
ICON_RIM = hex_colour("0e3f8a")
ARROW_OUT = hex_colour("ffffff")
ARROW_IN_TOP = hex_colour("ffd36b")
ARROW_IN_BOTTOM = hex_colour("ffb02e")


def icon_layers(size):
    s = size / 16.0
    rim = max(1.0, size / 40.0)               # darker edge, in pixels
    inset = 0.0 if size <= 32 else size / 64.0  # a little air around the larger images
    x0, x1 = inset, size - inset
    radius = 3.2 * s - inset
    body = rounded_rect(x0, x0, x1, x1, radius)
    inner = rounded_rect(x0 + rim, x0 + rim, x1 - rim, x1 - rim, max(0.5, radius - rim))
    span = x1 - x0

    def fill(x, y):
        t = (y - x0) / span
        c = mix(ICON_TOP, ICON_BOTTOM, t)
        # a soft light from the upper left
        glow = max(0.0, 1.0 - math.hypot(x - x0, y - x0) / (1.1 * span))
        return mix(c, (255, 255, 255), 0.18 * glow)

    def edge(x, y):
        return mix(ICON_RIM, ICON_BOTTOM, 0.25 * (y - x0) / span)

    # 45-degree heads; the odd fractions keep pixel centres off the edges, so that the
    # small sizes, sampled at pixel centres, get clean stepped heads
    outgoing = arrow(2.95, 13.6, 5.0, 2.0, 3.6, 7.2)
    incoming = arrow(13.05, 2.4, 11.0, 2.0, 3.6, 7.2)
    layers = [(body, edge), (inner, fill)]
    if size >= 48:
        # a faint shadow under the arrows lifts them off the square
        off = max(1.0, size / 96.0)
        shadow = union(transformed(outgoing, s, off * 0.5, off),
                       transformed(incoming, s, off * 0.5, off))
        layers.append((lambda x, y: inner(x, y) and shadow(x, y),
                       lambda x, y: mix(fill(x, y), (8, 40, 100), 0.35)))
    place = (lambda shape: crisp(transformed(shape, s))) if size <= 24 else \
        (lambda shape: transformed(shape, s))
    layers.append((place(outgoing), lambda x, y: ARROW_OUT))
    layers.append((place(incoming),
                   lambda x, y: mix(ARROW_IN_TOP, ARROW_IN_BOTTOM, (y / s - 8.0) / 6.0)))
    return layers


# --------------------------------------------------------------------------------------
# Button bitmaps, 16 x 16 on white.

DISCOVERY_BLUE = hex_colour("1f6fd6")
DISCOVERY_DEEP = hex_colour("1450a8")
COG_LIGHT = hex_colour("ffa733")
COG_DEEP = hex_colour("e0700a")


def circular_arrow():
    cx, cy, radius, width = 8.0, 8.3, 4.6, 2.0
    start, end = math.radians(110), math.radians(358)  # clockwise from 12 o'clock

    def angle(x, y):
        return math.atan2(x - cx, -(y - cy)) % (2 * math.pi)

    def ring(x, y):
        d = math.hypot(x - cx, y - cy)
        return abs(d - radius) <= width / 2 and start <= angle(x, y) <= end

    # head at the end of the arc, pointing on in the clockwise direction
    px, py = cx + radius * math.sin(end), cy - radius * math.cos(end)
    tx, ty = math.cos(end), math.sin(end)      # tangent, clockwise on screen
    nx, ny = math.sin(end), -math.cos(end)     # outward normal
    length, half = 4.0, 3.2
    back = 0.3
    head = polygon([(px - back * tx + half * nx, py - back * ty + half * ny),
                    (px + length * tx, py + length * ty),
                    (px - back * tx - half * nx, py - back * ty - half * ny)])
    return union(ring, head)


def cog():
    cx, cy = 8.0, 8.0
    teeth, tip, root, hole = 8, 7.4, 5.2, 2.2
    tip_half, root_half = 1.05, 1.55  # half widths of a tooth along its arc

    def inside(x, y):
        dx, dy = x - cx, y - cy
        d = math.hypot(dx, dy)
        if d <= hole or d > tip:
            return False
        if d <= root:
            return True
        a = math.atan2(dy, dx) % (2 * math.pi)
        pitch = 2 * math.pi / teeth
        off = abs((a + pitch / 2) % pitch - pitch / 2)  # angle to the nearest tooth
        t = (d - root) / (tip - root)
        return off * d <= root_half + (tip_half - root_half) * t
    return inside


LOCK_LIGHT = hex_colour("d9a21b")
LOCK_DEEP = hex_colour("8a5a00")


def padlock():
    body = rounded_rect(3.0, 7.0, 13.0, 15.0, 1.2)
    cx, cy, radius, width = 8.0, 6.8, 3.4, 1.6

    def shackle(x, y):
        if y > cy + 0.6:  # the legs, down into the body
            return abs(abs(x - cx) - radius) <= width / 2 and y <= 7.5
        return abs(math.hypot(x - cx, y - cy) - radius) <= width / 2
    keyhole = union(lambda x, y: math.hypot(x - 8.0, y - 10.3) <= 1.2,
                    polygon([(7.4, 10.5), (8.6, 10.5), (8.9, 13.2), (7.1, 13.2)]))
    return union(minus(body, keyhole), shackle)


def bitmap_pixels(shape, light, deep):
    def colour(x, y):
        return mix(light, deep, (x + y - 4) / 24.0)
    return flatten_on_white(render(16, [(shape, colour)], 8))


# --------------------------------------------------------------------------------------
# Colour reduction (median cut) for the 256-colour images.

def median_cut(colours, limit):
    """colours: dict colour -> count. Returns at most `limit` palette colours."""
    boxes = [list(colours.items())]
    while len(boxes) < limit:
        best, best_range, best_axis = None, 0, 0
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for axis in range(3):
                values = [c[axis] for c, _ in box]
                spread = max(values) - min(values)
                if spread > best_range:
                    best, best_range, best_axis = i, spread, axis
        if best is None:
            break
        box = sorted(boxes.pop(best), key=lambda item: item[0][best_axis])
        total = sum(n for _, n in box)
        running, cut = 0, 1
        for j, (_, n) in enumerate(box):
            running += n
            if running * 2 >= total:
                cut = min(max(j + 1, 1), len(box) - 1)
                break
        boxes += [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        total = sum(n for _, n in box)
        palette.append(tuple(round(sum(c[k] * n for c, n in box) / total) for k in range(3)))
    return palette


def nearest_index(palette, colour, cache):
    if colour not in cache:
        cache[colour] = min(range(len(palette)), key=lambda i: sum(
            (a - b) ** 2 for a, b in zip(palette[i], colour)))
    return cache[colour]


def avoid_mapped_greys(palette):
    return [(r, g, b + 1) if (r, g, b) in MAPPED_GREYS else (r, g, b) for r, g, b in palette]


# --------------------------------------------------------------------------------------
# File formats

def row_padded(data):
    return data + b"\0" * (-len(data) % 4)


def mask_rows(size, transparent):
    """1-bit AND mask, bottom-up, rows padded to 32 bits."""
    out = bytearray()
    for y in reversed(range(size)):
        row = bytearray((size + 7) // 8)
        for x in range(size):
            if transparent[y * size + x]:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row_padded(bytes(row))
    return bytes(out)


def dib_32(size, pixels):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    bits = bytearray()
    for y in reversed(range(size)):
        for r, g, b, a in pixels[y * size:(y + 1) * size]:
            bits += bytes((b, g, r, a))
    return header + bytes(bits) + mask_rows(size, [p[3] == 0 for p in pixels])


def dib_8(size, pixels):
    """256-colour image with a transparency mask: partly covered pixels count as opaque
    from half coverage on; transparent pixels are black in the colour part."""
    opaque = [p[3] >= 128 for p in pixels]
    counts = {}
    for p, keep in zip(pixels, opaque):
        if keep:
            counts[p[:3]] = counts.get(p[:3], 0) + 1
    palette = [(0, 0, 0)] + median_cut(counts, 255)
    palette += [(0, 0, 0)] * (256 - len(palette))
    cache = {}
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    bits = bytearray()
    for y in reversed(range(size)):
        row = bytearray()
        for x in range(size):
            i = y * size + x
            row.append(nearest_index(palette[1:], pixels[i][:3], cache) + 1 if opaque[i] else 0)
        bits += row_padded(bytes(row))
    return header + table + bytes(bits) + mask_rows(size, [not o for o in opaque])


def png(size, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = bytearray()
    previous = bytes(size * 4)
    for y in range(size):
        line = bytes(v for p in pixels[y * size:(y + 1) * size] for v in p)
        sub = bytes((line[i] - (line[i - 4] if i >= 4 else 0)) & 255 for i in range(len(line)))
        up = bytes((line[i] - previous[i]) & 255 for i in range(len(line)))
        # keep the filter whose bytes are smallest as signed values
        best = min((sum(min(v, 256 - v) for v in f), k, f)
                   for k, f in ((0, line), (1, sub), (2, up)))
        raw.append(best[1])
        raw += best[2]
        previous = line
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def ico(images):
    """images: list of (size, bit count, encoded image)."""
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = len(head) + 16 * len(images)
    entries, data = b"", b""
    for size, bits, blob in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits,
                               len(blob), offset)
        offset += len(blob)
        data += blob
    return head + entries + data


def bmp_8(pixels, size):
    """8-bit bottom-up BMP whose colour table starts with white."""
    white = (255, 255, 255)
    counts = {}
    for p in pixels:
        if p != white:
            counts[p] = counts.get(p, 0) + 1
    palette = [white] + avoid_mapped_greys(median_cut(counts, 255))
    cache = {}
    bits = bytearray()
    for y in reversed(range(size)):
        row = bytearray()
        for x in range(size):
            p = pixels[y * size + x]
            row.append(0 if p == white else nearest_index(palette[1:], p, cache) + 1)
        bits += row_padded(bytes(row))
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 8, 0, len(bits), 3780, 3780,
                       len(palette), 0)
    offset = 14 + len(info) + len(table)
    head = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    return head + info + table + bytes(bits)


# --------------------------------------------------------------------------------------

def write(name, data):
    path = os.path.join(OUT_DIR, name)
    with open(path, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (os.path.normpath(path), len(data)))


def main():
    os.makedirs(OUT_DIR, exist_ok=True)
    images = []
    for size in (256, 128, 48, 32, 24, 16):
        pixels = render(size, icon_layers(size), 4 if size >= 128 else 8)
        true_colour = png(size, pixels) if size == 256 else dib_32(size, pixels)
        images.append((size, 32, true_colour))
        images.append((size, 8, dib_8(size, pixels)))
    write("program.ico", ico(images))
    write("discovery.bmp", bmp_8(bitmap_pixels(circular_arrow(), DISCOVERY_BLUE,
                                               DISCOVERY_DEEP), 16))
    write("settings.bmp", bmp_8(bitmap_pixels(cog(), COG_LIGHT, COG_DEEP), 16))
    write("lock.bmp", bmp_8(bitmap_pixels(padlock(), LOCK_LIGHT, LOCK_DEEP), 16))


if __name__ == "__main__":
    main()
