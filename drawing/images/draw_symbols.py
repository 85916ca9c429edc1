#!/usr/bin/python3
"""Draws the action symbols and the controller's command images as PNG files.

Each image is a stack of filled shapes described on a 16 x 16 grid of units and sampled at
pixel centres, without antialiasing, so that edges on whole units land on pixel edges and
stay crisp at 16 pixels. ACTION_GROUP_LARGE is the one 32 x 32 image (the large ribbon
button); it is the same design sampled at twice the resolution, with finer detail.

Only the standard library is used. Run it from anywhere; the PNGs are written beside it:
    /usr/bin/python3 drawing/images/draw_symbols.py
"""

import math
import os
import struct
import zlib


# ---- PNG output -----------------------------------------------------------------------------

def write_png(path, size, pixels):
    """Writes an 8-bit RGBA PNG; pixels is a list of size*size (r, g, b, a) tuples."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = bytearray()
    for y in range(size):
        raw.append(0)  # no filter
        for x in range(size):
            raw.extend(pixels[y * size + x])
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", header))
        out.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        out.write(chunk(b"IEND", b""))


# ---- Shapes: predicates over unit coordinates (u, v), 0..16 ----------------------------------

def rect(x0, y0, x1, y1):
    return lambda u, v: x0 <= u < x1 and y0 <= v < y1


def frame(x0, y0, x1, y1, t=1):
    outer, inner = rect(x0, y0, x1, y1), rect(x0 + t, y0 + t, x1 - t, y1 - t)
    return lambda u, v: outer(u, v) and not inner(u, v)


def disc(cx, cy, r):
    return lambda u, v: (u - cx) ** 2 + (v - cy) ** 2 <= r * r


def ring(cx, cy, r, t):
    return lambda u, v: (r - t) ** 2 < (u - cx) ** 2 + (v - cy) ** 2 <= r * r


def ellipse(cx, cy, rx, ry):
    return lambda u, v: ((u - cx) / rx) ** 2 + ((v - cy) / ry) ** 2 <= 1.0


def polygon(*points):
    def inside(u, v):
        hit = False
        n = len(points)
        for i in range(n):
            (xa, ya), (xb, yb) = points[i], points[(i + 1) % n]
            if (ya > v) != (yb > v) and u < xa + (v - ya) * (xb - xa) / (yb - ya):
                hit = not hit
        return hit
    return inside


def stroke(points, width):
    """A polyline of the given width with round joins."""
    half = width / 2.0

    def near(u, v):
        for (xa, ya), (xb, yb) in zip(points, points[1:]):
            dx, dy = xb - xa, yb - ya
            t = max(0.0, min(1.0, ((u - xa) * dx + (v - ya) * dy) / (dx * dx + dy * dy)))
            if (u - xa - t * dx) ** 2 + (v - ya - t * dy) ** 2 <= half * half:
                return True
        return False
    return near


def arc(cx, cy, r, t, start, end):
    """Part of a ring between two angles in degrees, counter-clockwise on screen from 3 o'clock."""
    band = ring(cx, cy, r, t)

    def inside(u, v):
        if not band(u, v):
            return False
        angle = math.degrees(math.atan2(cy - v, u - cx)) % 360
        return (start <= angle <= end) if start <= end else (angle >= start or angle <= end)
    return inside


def both(a, b):
    return lambda u, v: a(u, v) and b(u, v)


def minus(a, b):
    return lambda u, v: a(u, v) and not b(u, v)


def render(size, layers):
    """Paints the layers in order; each is (shape, colour) with colour an (r, g, b) tuple."""
    scale = 16.0 / size
    pixels = []
    for y in range(size):
        for x in range(size):
            u, v = (x + 0.5) * scale, (y + 0.5) * scale
            colour = (0, 0, 0, 0)
            for shape, rgb in layers:
                if shape(u, v):
                    colour = rgb + (255,)
            pixels.append(colour)
    return pixels


# ---- Palette ----------------------------------------------------------------------------------

WHITE = (255, 255, 255)
PAPER = (250, 250, 245)
INK = (40, 40, 48)
GREY = (128, 128, 136)
RED = (214, 40, 40)
DARK_RED = (150, 20, 20)
GREEN = (34, 150, 60)
DARK_GREEN = (20, 100, 40)
BLUE = (40, 110, 210)
DARK_BLUE = (20, 50, 120)
LIGHT_BLUE = (150, 190, 240)
PURPLE = (120, 60, 170)
DARK_PURPLE = (70, 30, 110)
BROWN = (150, 100, 50)
DARK_BROWN = (100, 62, 28)
SILVER = (170, 175, 185)
YELLOW = (255, 226, 90)
DARK_YELLOW = (200, 160, 30)
ORANGE = (240, 140, 30)


# ---- The symbols beside action nodes ----------------------------------------------------------

def calendar_layers(x0=1, y0=1, x1=15, y1=15):
    """A calendar page: red top bar with binder rings and a grid of days."""
    layers = [
        (rect(x0, y0 + 1, x1, y1), PAPER),
        (frame(x0, y0 + 1, x1, y1), INK),
        (rect(x0, y0 + 1, x1, y0 + 5), RED),
        (rect(x0 + 3, y0, x0 + 4, y0 + 3), INK),
        (rect(x1 - 4, y0, x1 - 3, y0 + 3), INK),
    ]
    for row in range(3):
        for col in range(4):
            u = x0 + 2 + col * 3
            v = y0 + 6 + row * 2.5
            if u + 1 < x1 and v + 1 < y1:
                layers.append((rect(u, v, u + 2, v + 1), GREY))
    return layers


def action_calendar():
    return calendar_layers()


def action_taskboard():
    # A clipboard: brown board, paper, a silver clip, and two ticked lines.
    return [
        (rect(2, 2, 14, 16), BROWN),
        (frame(2, 2, 14, 16), DARK_BROWN),
        (rect(4, 4, 12, 15), PAPER),
        (rect(5, 1, 11, 4), SILVER),
        (frame(5, 1, 11, 4), INK),
        (stroke([(5, 7.5), (6, 8.5), (7.5, 6.5)], 1.1), GREEN),
        (rect(8.5, 7, 11, 8), GREY),
        (stroke([(5, 11.5), (6, 12.5), (7.5, 10.5)], 1.1), GREEN),
        (rect(8.5, 11, 11, 12), GREY),
    ]


def action_milestone():
    # The project-plan diamond.
    return [
        (polygon((8, 0.5), (15.5, 8), (8, 15.5), (0.5, 8)), DARK_PURPLE),
        (polygon((8, 2.5), (13.5, 8), (8, 13.5), (2.5, 8)), PURPLE),
        (polygon((8, 4), (10, 6), (8, 8), (6, 6)), (180, 140, 220)),
    ]


def action_summary():
    # A summary bar with its downward-pointing ends above two subtask bars.
    return [
        (rect(1, 2, 15, 5), INK),
        (polygon((1, 5), (4, 5), (1, 8)), INK),
        (polygon((12, 5), (15, 5), (15, 8)), INK),
        (rect(2, 9, 9, 12), LIGHT_BLUE),
        (frame(2, 9, 9, 12), DARK_BLUE),
        (rect(7, 13, 14, 16), LIGHT_BLUE),
        (frame(7, 13, 14, 16), DARK_BLUE),
    ]


def progress_layers(fill):
    """A progress circle: empty, half (right half) or full."""
    layers = [(disc(8, 8, 7), WHITE)]
    if fill == "half":
        layers.append((both(disc(8, 8, 7), rect(8, 0, 16, 16)), BLUE))
    elif fill == "full":
        layers.append((disc(8, 8, 7), BLUE))
    layers.append((ring(8, 8, 7, 1.5), DARK_BLUE))
    return layers


def action_notstarted():
    return progress_layers("empty")


def action_inprogress():
    return progress_layers("half")


def action_onehundredpercent():
    return progress_layers("full")


# ---- The controller's command images ----------------------------------------------------------

def action_note():
    # A yellow note with a turned corner and a green checkmark: the action command itself.
    return [
        (polygon((1, 1), (11, 1), (15, 5), (15, 15), (1, 15)), YELLOW),
        (minus(frame(1, 1, 15, 15), polygon((10, 0), (16, 0), (16, 6))), DARK_YELLOW),
        (stroke([(11, 1), (15, 5)], 1), DARK_YELLOW),
        (polygon((10.5, 1), (10.5, 5.5), (15, 5.5)), DARK_YELLOW),
        (stroke([(4, 8.5), (6.5, 11.5), (12, 5.5)], 2.2), GREEN),
    ]


def action_symbol():
    # An eye: the show-symbol toggle.
    return [
        (ellipse(8, 8, 7.5, 4.6), WHITE),
        (minus(ellipse(8, 8, 7.5, 4.6), ellipse(8, 8, 6.2, 3.4)), INK),
        (disc(8, 8, 3.2), BLUE),
        (disc(8, 8, 1.6), INK),
        (disc(9.2, 6.8, 0.7), WHITE),
    ]


def action_complete():
    # A bold green tick alone.
    return [
        (stroke([(2, 8.5), (6, 13), (14, 3)], 4.2), DARK_GREEN),
        (stroke([(2, 8.5), (6, 13), (14, 3)], 2.4), GREEN),
    ]


def action_clear():
    # A red X.
    return [
        (stroke([(3, 3), (13, 13)], 4.2), DARK_RED),
        (stroke([(13, 3), (3, 13)], 4.2), DARK_RED),
        (stroke([(3, 3), (13, 13)], 2.4), RED),
        (stroke([(13, 3), (3, 13)], 2.4), RED),
    ]


def action_update():
    # Two curved arrows chasing each other round a circle.
    return [
        (arc(8, 8, 6.5, 2.2, 25, 180), BLUE),
        (polygon((0, 8), (5.5, 8), (2.75, 11.5)), BLUE),
        (arc(8, 8, 6.5, 2.2, 205, 360), GREEN),
        (polygon((10.5, 8), (16, 8), (13.25, 4.5)), GREEN),
    ]


def action_group(detail):
    # A calendar with a progress badge in front: the plug-in's command group.
    layers = calendar_layers(0, 0, 12, 12) if not detail else calendar_layers(0, 0, 13, 13)
    badge = (11, 11, 4.6)
    layers += [
        (disc(*badge), WHITE),
        (both(disc(*badge), rect(11, 0, 16, 16)), ORANGE),
        (ring(badge[0], badge[1], badge[2], 1.2 if not detail else 0.8), DARK_BLUE),
    ]
    return layers


IMAGES = {
    "ACTION_CALENDAR": (16, action_calendar),
    "ACTION_TASKBOARD": (16, action_taskboard),
    "ACTION_MILESTONE": (16, action_milestone),
    "ACTION_SUMMARY": (16, action_summary),
    "ACTION_NOTSTARTED": (16, action_notstarted),
    "ACTION_INPROGRESS": (16, action_inprogress),
    "ACTION_ONEHUNDREDPERCENT": (16, action_onehundredpercent),
    "ACTION": (16, action_note),
    "ACTION_SYMBOL": (16, action_symbol),
    "ACTION_COMPLETE": (16, action_complete),
    "ACTION_CLEAR": (16, action_clear),
    "ACTION_UPDATE": (16, action_update),
    "ACTION_GROUP_SMALL": (16, lambda: action_group(False)),
    "ACTION_GROUP_LARGE": (32, lambda: action_group(True)),
}


def main():
    folder = os.path.dirname(os.path.abspath(__file__))
    for name, (size, draw) in IMAGES.items():
        write_png(os.path.join(folder, name + ".png"), size, render(size, draw()))


if __name__ == "__main__":
    main()
