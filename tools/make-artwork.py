#!/usr/bin/python3
"""Draws every bitmap of the Zel Vortan editor and a contact sheet of them.

Run with Debian's python3 (packages python3-cairo, python3-pil, fonts-liberation2):

    /usr/bin/python3 tools/make-artwork.py [--out DIR] [--sheet FILE]

writes resources/<id>-<name>.png for every bitmap and docs/artwork.png. The output
is the same bit for bit on every run: the panel texture comes from a seeded
generator and the PNGs carry no time stamp or other metadata.

The look: a dark brushed panel with recessed section plates, cream captions,
amber section titles, black knobs with a white pointer and dark display windows
for the white value readouts. Light falls from the top left throughout.
"""

import argparse
import io
import math
import os
import random
import sys

import cairo
from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# --------------------------------------------------------------------------- palette

PANEL = (0.145, 0.137, 0.128)
PLATE = (0.098, 0.094, 0.090)
PLATE_EDGE_DARK = (0.035, 0.033, 0.031)
PLATE_EDGE_LIGHT = (0.30, 0.285, 0.265)
CREAM = (0.925, 0.885, 0.790)
CREAM_DIM = (0.62, 0.59, 0.53)
AMBER = (0.910, 0.640, 0.290)
AMBER_DIM = (0.42, 0.30, 0.15)
DISPLAY = (0.030, 0.030, 0.030)
RED = (0.880, 0.180, 0.130)
RED_DIM = (0.33, 0.09, 0.07)
GREEN = (0.300, 0.820, 0.360)
GREEN_DIM = (0.11, 0.30, 0.13)
BAR = (0.070, 0.068, 0.065)

SANS = "Liberation Sans"
SERIF = "Liberation Serif"

# --------------------------------------------------------------------------- layout
# Window coordinates of the editor's controls (top-left corners).

KNOB = 44
READOUT_W, READOUT_H = 52, 11

# Knob rows: (caption, knob x, knob y, detents as (count, from, to) or None).
HORN_Y, TONE_Y, AMP_Y, DRUM_Y = 53, 202, 303, 445
KNOBS = [
    ("Slow", 20, HORN_Y, None), ("Fast", 65, HORN_Y, None),
    ("Accel", 134, HORN_Y, None), ("Decel", 179, HORN_Y, None),
    ("Distance", 248, HORN_Y, None), ("HPF", 293, HORN_Y, None), ("Gain", 338, HORN_Y, None),
    ("Mech", 16, TONE_Y, None), ("Bottom", 74, TONE_Y, None), ("Lo-Mid", 119, TONE_Y, None),
    ("Presence", 164, TONE_Y, None), ("Top", 209, TONE_Y, None),
    ("Setup", 269, TONE_Y, (6, 0.2, 0.7)),
    ("Input", 20, AMP_Y, None), ("Type", 65, AMP_Y, (3, 0.4, 0.6)), ("Drive", 110, AMP_Y, None),
    ("Size", 178, AMP_Y, (5, 0.3, 0.7)), ("Color", 222, AMP_Y, None),
    ("Amount", 268, AMP_Y, None),
    ("Slow", 20, DRUM_Y, None), ("Fast", 65, DRUM_Y, None),
    ("Accel", 134, DRUM_Y, None), ("Decel", 179, DRUM_Y, None),
    ("Distance", 248, DRUM_Y, None), ("LPF", 293, DRUM_Y, None), ("Gain", 338, DRUM_Y, None),
]

# Section groups of knobs: (title, first knob x, last knob x, knob row y).
GROUPS = [
    ("SPEED", 20, 65, HORN_Y), ("RAMP", 134, 179, HORN_Y), ("MICROPHONE", 248, 338, HORN_Y),
    ("MOTOR", 16, 16, TONE_Y), ("TONE", 74, 209, TONE_Y), ("MICS", 269, 269, TONE_Y),
    ("AMPLIFIER", 20, 110, AMP_Y), ("ROOM", 178, 268, AMP_Y),
    ("SPEED", 20, 65, DRUM_Y), ("RAMP", 134, 179, DRUM_Y), ("MICROPHONE", 248, 338, DRUM_Y),
]

# Readouts: (x, y, lines); the display windows join the readouts of a group.
READOUT_GROUPS = [
    [(16, 102), (61, 102)], [(130, 102), (175, 102)], [(244, 102), (289, 102), (334, 102)],
    [(12, 251)], [(70, 251), (115, 251), (160, 251), (205, 251)], [(265, 251), (265, 262)],
    [(16, 352), (61, 352), (106, 352)], [(174, 352), (219, 352), (264, 352)],
    [(16, 494), (61, 494)], [(130, 494), (175, 494)], [(244, 494), (289, 494), (334, 494)],
]

HORN_STRIP = (91, 12)
DRUM_STRIP = (91, 404)
STRIP_W, STRIP_H = 298, 12
LEVER_AT = (330, 149)
LEVER_W, LEVER_H, LEVER_FRAMES = 55, 186, 65
LEVER_BAND = (38, 152)  # mouse travel band below the lever's top edge
SPEED_BUTTON_AT = (330, 348)
STOP_BUTTON_AT = (359, 347)
ABOUT_AREA = (12, 156, 187, 178)
VERSION_BOX = (258, 181, 338, 196)
BAR_Y = 536
STRIP_Y = 553
NAME_FIELD = (146, 262)
MENU_BUTTON = (263, 275)
MEMO_LETTERS = (("A", 323, 333), ("B", 361, 371))

# Knob travel: frame 0 at 7 o'clock, frame 100 at 5 o'clock, clockwise.
KNOB_FRAMES = 101
KNOB_START_DEG = -150.0
KNOB_TRAVEL_DEG = 300.0


def knob_angle(frame):
    """Pointer angle in radians, clockwise from 12 o'clock."""
    return math.radians(KNOB_START_DEG + KNOB_TRAVEL_DEG * frame / (KNOB_FRAMES - 1))


# --------------------------------------------------------------------------- helpers


def surface(w, h):
    return cairo.ImageSurface(cairo.FORMAT_ARGB32, w, h)


def context(s):
    ctx = cairo.Context(s)
    options = cairo.FontOptions()
    options.set_antialias(cairo.ANTIALIAS_GRAY)
    options.set_hint_style(cairo.HINT_STYLE_SLIGHT)
    options.set_hint_metrics(cairo.HINT_METRICS_ON)
    ctx.set_font_options(options)
    return ctx


def rgb(ctx, colour, alpha=1.0):
    ctx.set_source_rgba(colour[0], colour[1], colour[2], alpha)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def rounded(ctx, x, y, w, h, r):
    r = min(r, w / 2, h / 2)
    ctx.new_sub_path()
    ctx.arc(x + w - r, y + r, r, -math.pi / 2, 0)
    ctx.arc(x + w - r, y + h - r, r, 0, math.pi / 2)
    ctx.arc(x + r, y + h - r, r, math.pi / 2, math.pi)
    ctx.arc(x + r, y + r, r, math.pi, 1.5 * math.pi)
    ctx.close_path()


def font(ctx, size, bold=False, family=SANS, italic=False):
    ctx.select_font_face(family, cairo.FONT_SLANT_ITALIC if italic else cairo.FONT_SLANT_NORMAL,
                         cairo.FONT_WEIGHT_BOLD if bold else cairo.FONT_WEIGHT_NORMAL)
    ctx.set_font_size(size)


def text_width(ctx, s, spacing=0.0):
    if spacing == 0.0:
        return ctx.text_extents(s).x_advance
    return sum(ctx.text_extents(c).x_advance for c in s) + spacing * (len(s) - 1)


def text(ctx, s, x, cy, colour, size, bold=False, align="centre", spacing=0.0, family=SANS,
         italic=False, alpha=1.0, shadow=True):
    """Draws s with its cap height centred on cy; x is the left, centre or right edge."""
    font(ctx, size, bold, family, italic)
    w = text_width(ctx, s, spacing)
    cap = ctx.text_extents("H").height
    if align == "centre":
        x0 = x - w / 2
    elif align == "right":
        x0 = x - w
    else:
        x0 = x
    x0 = round(x0)
    baseline = round(cy + cap / 2)
    passes = [((0, 1), (0, 0, 0), 0.55 * alpha)] if shadow else []
    passes.append(((0, 0), colour, alpha))
    for (dx, dy), c, a in passes:
        rgb(ctx, c, a)
        if spacing == 0.0:
            ctx.move_to(x0 + dx, baseline + dy)
            ctx.show_text(s)
        else:
            cx = x0
            for ch in s:
                ctx.move_to(cx + dx, baseline + dy)
                ctx.show_text(ch)
                cx += ctx.text_extents(ch).x_advance + spacing
    return w


def brushed_texture(w, h, base, seed, streak=0.018, grain=0.010):
    """A brushed-metal panel: horizontal streaks plus fine grain, from a fixed seed."""
    rng = random.Random(seed)
    data = bytearray(w * h * 4)
    row_offsets = [rng.gauss(0.0, streak) for _ in range(h)]
    # Soften row to row so the streaks look brushed rather than striped.
    smooth = [(row_offsets[max(0, y - 1)] + 2 * row_offsets[y] + row_offsets[min(h - 1, y + 1)]) / 4
              for y in range(h)]
    span = 9
    for y in range(h):
        noise = [rng.gauss(0.0, grain) for _ in range(w + span)]
        acc = sum(noise[:span])
        row = smooth[y]
        for x in range(w):
            v = row + acc / span * 2.2
            acc += noise[x + span] - noise[x]
            i = (y * w + x) * 4
            for c in range(3):
                level = int(round((base[c] + v) * 255))
                data[i + 2 - c] = 0 if level < 0 else 255 if level > 255 else level
            data[i + 3] = 255
    return cairo.ImageSurface.create_for_data(data, cairo.FORMAT_ARGB32, w, h, w * 4)


def save_png(s, path):
    """Writes the surface as a PNG without metadata; opaque images as RGB."""
    w, h = s.get_width(), s.get_height()
    s.flush()
    image = Image.frombuffer("RGBA", (w, h), bytes(s.get_data()), "raw", "BGRa",
                             s.get_stride(), 1)
    if image.getextrema()[3] == (255, 255):
        image = image.convert("RGB")
    buffer = io.BytesIO()
    image.save(buffer, format="PNG", compress_level=9)
    with open(path, "wb") as f:
        f.write(buffer.getvalue())


def filmstrip(frame_w, frame_h, frames, draw):
    s = surface(frame_w, frame_h * frames)
    ctx = context(s)
    for k in range(frames):
        ctx.save()
        ctx.translate(0, k * frame_h)
        ctx.rectangle(0, 0, frame_w, frame_h)
        ctx.clip()
        draw(ctx, k)
        ctx.restore()
    return s


# --------------------------------------------------------------------------- face


def recessed_plate(ctx, x, y, w, h, r=5, fill=PLATE):
    """A plate sunk into the panel: dark upper edge, light lower edge."""
    rounded(ctx, x + 0.5, y + 1.5, w - 1, h - 1, r)
    rgb(ctx, PLATE_EDGE_LIGHT, 0.55)
    ctx.fill()
    rounded(ctx, x + 0.5, y + 0.5, w - 1, h - 1, r)
    rgb(ctx, PLATE_EDGE_DARK, 0.9)
    ctx.fill()
    rounded(ctx, x + 1.5, y + 1.5, w - 3, h - 3, r - 1)
    rgb(ctx, fill, 0.82)
    ctx.fill()
    # Faint inner shadow under the upper edge.
    g = cairo.LinearGradient(0, y + 1.5, 0, y + 7)
    g.add_color_stop_rgba(0, 0, 0, 0, 0.35)
    g.add_color_stop_rgba(1, 0, 0, 0, 0)
    rounded(ctx, x + 1.5, y + 1.5, w - 3, h - 3, r - 1)
    ctx.set_source(g)
    ctx.fill()


def display_window(ctx, x, y, w, h):
    """A dark window for white readout text, sunk one pixel into its plate."""
    rounded(ctx, x - 1.5, y - 1.5, w + 3, h + 3, 3)
    rgb(ctx, (1, 1, 1), 0.10)
    ctx.fill()
    rounded(ctx, x - 1.5, y - 1.5, w + 3, h + 2, 3)
    rgb(ctx, (0, 0, 0), 0.9)
    ctx.fill()
    rounded(ctx, x - 0.5, y - 0.5, w + 1, h + 1, 2)
    rgb(ctx, DISPLAY)
    ctx.fill()
    g = cairo.LinearGradient(0, y, 0, y + h)
    g.add_color_stop_rgba(0, 1, 1, 1, 0.05)
    g.add_color_stop_rgba(0.5, 1, 1, 1, 0.0)
    ctx.rectangle(x, y, w, h)
    ctx.set_source(g)
    ctx.fill()


def section_title(ctx, title, x0, x1, cy, colour=AMBER):
    """Title centred between x0 and x1 with a hairline on each side."""
    font(ctx, 7.5, True)
    w = text_width(ctx, title, 1.0)
    cx = (x0 + x1) / 2
    text(ctx, title, cx, cy, colour, 7.5, True, spacing=1.0)
    gap = 5
    rgb(ctx, colour, 0.45)
    ctx.set_line_width(1)
    y = math.floor(cy) + 0.5
    left_end = round(cx - w / 2 - gap)
    right_start = round(cx + w / 2 + gap)
    if left_end - x0 > 4:
        ctx.move_to(x0, y)
        ctx.line_to(left_end, y)
        ctx.stroke()
        ctx.move_to(x0 + 0.5, y)
        ctx.line_to(x0 + 0.5, y + 3)
        ctx.stroke()
    if x1 - right_start > 4:
        ctx.move_to(right_start, y)
        ctx.line_to(x1, y)
        ctx.stroke()
        ctx.move_to(x1 - 0.5, y)
        ctx.line_to(x1 - 0.5, y + 3)
        ctx.stroke()


def knob_scale(ctx, kx, ky, detents):
    """Tick marks around a knob, in the transparent corners of the knob bitmap."""
    cx, cy = kx + KNOB / 2, ky + KNOB / 2
    if detents:
        count, first, last = detents
        frames = [round((first + (last - first) * i / (count - 1)) * (KNOB_FRAMES - 1))
                  for i in range(count)]
        major = set(frames)
    else:
        frames = [round(i * (KNOB_FRAMES - 1) / 10) for i in range(11)]
        major = {0, 50, 100}
    for f in frames:
        a = knob_angle(f)
        sx, sy = math.sin(a), -math.cos(a)
        inner = 18.6 if f in major or detents else 19.2
        outer = 21.3
        ctx.set_line_width(1.3 if f in major else 1.0)
        rgb(ctx, CREAM, 0.85 if f in major else 0.5)
        ctx.move_to(cx + inner * sx, cy + inner * sy)
        ctx.line_to(cx + outer * sx, cy + outer * sy)
        ctx.stroke()


def screw(ctx, cx, cy, r=3.2, angle=0.6):
    g = cairo.RadialGradient(cx - 1, cy - 1, 0.5, cx, cy, r)
    g.add_color_stop_rgb(0, 0.62, 0.60, 0.56)
    g.add_color_stop_rgb(1, 0.20, 0.19, 0.18)
    ctx.arc(cx, cy + 0.6, r + 0.6, 0, 2 * math.pi)
    rgb(ctx, (0, 0, 0), 0.5)
    ctx.fill()
    ctx.arc(cx, cy, r, 0, 2 * math.pi)
    ctx.set_source(g)
    ctx.fill()
    ctx.set_line_width(1.0)
    rgb(ctx, (0.08, 0.08, 0.08), 0.9)
    ctx.move_to(cx - r * 0.75 * math.cos(angle), cy - r * 0.75 * math.sin(angle))
    ctx.line_to(cx + r * 0.75 * math.cos(angle), cy + r * 0.75 * math.sin(angle))
    ctx.stroke()


def strip_surround(ctx, x, y, title):
    """The bezel around a rotor strip and the rotor's name to its left."""
    rounded(ctx, x - 2.5, y - 2.5, STRIP_W + 5, STRIP_H + 5, 3)
    rgb(ctx, (0, 0, 0), 0.85)
    ctx.fill()
    rounded(ctx, x - 2.5, y - 1.5, STRIP_W + 5, STRIP_H + 5, 3)
    rgb(ctx, PLATE_EDGE_LIGHT, 0.35)
    ctx.set_line_width(1)
    ctx.stroke()
    ctx.rectangle(x, y, STRIP_W, STRIP_H)
    rgb(ctx, (0.02, 0.02, 0.02))
    ctx.fill()
    text(ctx, title, 10, y + STRIP_H / 2, AMBER, 8, True, align="left", spacing=0.6)


def grille(ctx, x0, x1, y0, y1):
    """A perforated speaker grille: staggered round holes in a sunk field."""
    rounded(ctx, x0 + 0.5, y0 + 0.5, x1 - x0 - 1, y1 - y0 - 1, 3)
    rgb(ctx, (0, 0, 0), 0.35)
    ctx.fill()
    pitch = 4.0
    rows = int((y1 - y0 - 4) / (pitch * 0.866))
    for row in range(rows + 1):
        y = y0 + 3 + row * pitch * 0.866
        x = x0 + 3 + (pitch / 2 if row % 2 else 0)
        while x <= x1 - 3:
            ctx.arc(x, y + 0.5, 1.25, 0, 2 * math.pi)
            rgb(ctx, PLATE_EDGE_LIGHT, 0.30)
            ctx.fill()
            ctx.arc(x, y, 1.25, 0, 2 * math.pi)
            rgb(ctx, (0, 0, 0), 0.95)
            ctx.fill()
            x += pitch


def louvres(ctx, x0, x1, y0, y1):
    """Horizontal vents like those of a speaker cabinet's back panel."""
    y = y0
    while y + 4 <= y1:
        rounded(ctx, x0 + 0.5, y + 0.5, x1 - x0 - 1, 3, 1.5)
        rgb(ctx, (0, 0, 0), 0.8)
        ctx.fill()
        ctx.move_to(x0 + 2, y + 4.5)
        ctx.line_to(x1 - 2, y + 4.5)
        rgb(ctx, PLATE_EDGE_LIGHT, 0.35)
        ctx.set_line_width(1)
        ctx.stroke()
        y += 6


def draw_face():
    w, h = 401, 570
    s = surface(w, h)
    ctx = context(s)
    ctx.set_source_surface(brushed_texture(w, h, PANEL, seed=4000), 0, 0)
    ctx.paint()

    # Outer bevel of the panel.
    ctx.set_line_width(1)
    ctx.rectangle(0.5, 0.5, w - 1, h - 1)
    rgb(ctx, (1, 1, 1), 0.10)
    ctx.stroke()
    ctx.rectangle(1.5, 1.5, w - 3, h - 3)
    rgb(ctx, (0, 0, 0), 0.35)
    ctx.stroke()

    # Section plates.
    recessed_plate(ctx, 4, 4, 393, 115)      # horn rotor
    recessed_plate(ctx, 4, 122, 318, 250)    # name, tone row, amplifier and room row
    recessed_plate(ctx, 325, 122, 72, 270)   # lever
    recessed_plate(ctx, 4, 396, 393, 117)    # drum rotor
    # A groove between the tone row and the amplifier row.
    ctx.set_line_width(1)
    ctx.move_to(12, 277.5)
    ctx.line_to(314, 277.5)
    rgb(ctx, (0, 0, 0), 0.7)
    ctx.stroke()
    ctx.move_to(12, 278.5)
    ctx.line_to(314, 278.5)
    rgb(ctx, PLATE_EDGE_LIGHT, 0.35)
    ctx.stroke()

    # Rotor strips.
    strip_surround(ctx, *HORN_STRIP, "HORN ROTOR")
    strip_surround(ctx, *DRUM_STRIP, "DRUM ROTOR")

    # Name plate: vents above, the name lettering in the about area, a tag line.
    grille(ctx, 12, 318, 128, 150)
    ax0, ay0, ax1, ay1 = ABOUT_AREA
    text(ctx, "Zel Vortan", ax0 + 1, (ay0 + ay1) / 2 - 1, CREAM, 22, True, align="left",
         family=SERIF, italic=True)
    text(ctx, "ROTARY CABINET", 318, (ay0 + ay1) / 2 + 3, AMBER, 8, True, align="right",
         spacing=1.6)

    # Display windows behind the readouts, then section titles, captions and scales.
    for group in READOUT_GROUPS:
        x0 = min(x for x, _ in group)
        x1 = max(x for x, _ in group) + READOUT_W
        y0 = min(y for _, y in group)
        y1 = max(y for _, y in group) + READOUT_H
        display_window(ctx, x0, y0, x1 - x0, y1 - y0)
    for title, first, last, row in GROUPS:
        section_title(ctx, title, first - 2, last + KNOB + 2, row - 20)
    for caption, kx, ky, detents in KNOBS:
        text(ctx, caption, kx + KNOB / 2, ky - 8, CREAM, 9, True)
        knob_scale(ctx, kx, ky, detents)

    # Lever: title, slot, end labels, button labels.
    lx, ly = LEVER_AT
    cx = lx + LEVER_W / 2
    text(ctx, "LEVER", cx, 134, AMBER, 7.5, True, spacing=1.0)
    text(ctx, "FAST", cx, ly + 12, CREAM, 7.5, True, spacing=0.6)
    text(ctx, "SLOW", cx, ly + LEVER_H - 8, CREAM, 7.5, True, spacing=0.6)
    pivot = ly + (LEVER_BAND[0] + LEVER_BAND[1]) / 2
    # A raised escutcheon around the slot the shaft runs in.
    rounded(ctx, cx - 10.5, pivot - 42.5, 21, 86, 6)
    rgb(ctx, (0, 0, 0), 0.5)
    ctx.fill()
    g = cairo.LinearGradient(cx - 10, 0, cx + 10, 0)
    g.add_color_stop_rgb(0, 0.20, 0.19, 0.18)
    g.add_color_stop_rgb(0.45, 0.33, 0.32, 0.30)
    g.add_color_stop_rgb(1, 0.15, 0.145, 0.14)
    rounded(ctx, cx - 10, pivot - 43, 20, 84, 6)
    ctx.set_source(g)
    ctx.fill()
    rounded(ctx, cx - 3.5, pivot - 34.5, 7, 69, 3.5)
    rgb(ctx, (0, 0, 0), 0.95)
    ctx.fill()
    ctx.move_to(cx - 2, pivot + 35.5)
    ctx.line_to(cx + 2, pivot + 35.5)
    rgb(ctx, (1, 1, 1), 0.25)
    ctx.stroke()
    text(ctx, "SPEED", SPEED_BUTTON_AT[0] + 13.5, 341, CREAM, 7, True)
    text(ctx, "STOP", STOP_BUTTON_AT[0] + 13, 341, CREAM, 7, True)


    # Bottom bar.
    rounded(ctx, 2.5, BAR_Y - 3.5, w - 5, 20, 3)
    rgb(ctx, BAR)
    ctx.fill_preserve()
    rgb(ctx, (0, 0, 0), 0.9)
    ctx.set_line_width(1)
    ctx.stroke()
    section_title(ctx, "MIDI", 6, 185, BAR_Y - 11, CREAM_DIM)
    section_title(ctx, "QUALITY", 195, 335, BAR_Y - 11, CREAM_DIM)

    # Preset strip with its frame, the name field, the menu button and the memo letters.
    ctx.rectangle(1.5, STRIP_Y - 0.5, w - 3, 570 - STRIP_Y)
    rgb(ctx, (0.05, 0.05, 0.048))
    ctx.fill_preserve()
    rgb(ctx, PLATE_EDGE_LIGHT, 0.8)
    ctx.stroke()
    nx0, nx1 = NAME_FIELD
    ctx.rectangle(nx0, STRIP_Y + 1, nx1 - nx0, 14)
    rgb(ctx, (0.96, 0.95, 0.92))
    ctx.fill()
    mx0, mx1 = MENU_BUTTON
    rounded(ctx, mx0 + 0.5, STRIP_Y + 1.5, mx1 - mx0 - 1, 13, 2)
    rgb(ctx, (0.22, 0.21, 0.20))
    ctx.fill()
    ctx.move_to(mx0 + 3, STRIP_Y + 6)
    ctx.line_to(mx1 - 3, STRIP_Y + 6)
    ctx.line_to((mx0 + mx1) / 2, STRIP_Y + 11)
    ctx.close_path()
    rgb(ctx, CREAM)
    ctx.fill()
    for letter, x0, x1 in MEMO_LETTERS:
        text(ctx, letter, (x0 + x1) / 2, STRIP_Y + 8, CREAM, 9, True)
    return s


# --------------------------------------------------------------------------- knob


def draw_knob_frame(ctx, k):
    c = KNOB / 2
    # Soft drop shadow towards the lower right.
    for i in range(6):
        ctx.arc(c + 1.0, c + 1.8, 17.5 + i * 0.7, 0, 2 * math.pi)
        rgb(ctx, (0, 0, 0), 0.10)
        ctx.fill()
    # Skirt with a fine knurl.
    g = cairo.LinearGradient(0, c - 17, 0, c + 17)
    g.add_color_stop_rgb(0, 0.17, 0.17, 0.17)
    g.add_color_stop_rgb(1, 0.025, 0.025, 0.025)
    ctx.arc(c, c, 17, 0, 2 * math.pi)
    ctx.set_source(g)
    ctx.fill()
    ctx.set_line_width(0.8)
    a0 = knob_angle(k)
    for i in range(36):
        a = a0 + i * 2 * math.pi / 36
        ctx.move_to(c + 14.2 * math.sin(a), c - 14.2 * math.cos(a))
        ctx.line_to(c + 16.6 * math.sin(a), c - 16.6 * math.cos(a))
        rgb(ctx, (0, 0, 0), 0.55)
        ctx.stroke()
    # Rim: caught by the light at the top, in shade at the bottom.
    g = cairo.LinearGradient(0, c - 17, 0, c + 17)
    g.add_color_stop_rgba(0, 1, 1, 1, 0.30)
    g.add_color_stop_rgba(0.55, 1, 1, 1, 0.0)
    ctx.arc(c, c, 16.5, 0, 2 * math.pi)
    ctx.set_source(g)
    ctx.set_line_width(1)
    ctx.stroke()
    # Satin cap, lit from the upper left.
    g = cairo.RadialGradient(c - 4, c - 5, 1, c, c, 13)
    g.add_color_stop_rgb(0, 0.30, 0.30, 0.30)
    g.add_color_stop_rgb(1, 0.09, 0.09, 0.09)
    ctx.arc(c, c, 12.6, 0, 2 * math.pi)
    ctx.set_source(g)
    ctx.fill()
    ctx.arc(c, c, 12.6, 0, 2 * math.pi)
    g = cairo.LinearGradient(0, c - 13, 0, c + 13)
    g.add_color_stop_rgba(0, 1, 1, 1, 0.28)
    g.add_color_stop_rgba(0.5, 1, 1, 1, 0.0)
    g.add_color_stop_rgba(1, 0, 0, 0, 0.5)
    ctx.set_source(g)
    ctx.set_line_width(1.0)
    ctx.stroke()
    # Pointer line from the cap's centre region across the skirt.
    sx, sy = math.sin(a0), -math.cos(a0)
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    ctx.set_line_width(2.6)
    rgb(ctx, (0, 0, 0), 0.5)
    ctx.move_to(c + 5.5 * sx, c + 5.5 * sy + 0.6)
    ctx.line_to(c + 16 * sx, c + 16 * sy + 0.6)
    ctx.stroke()
    ctx.set_line_width(2.0)
    rgb(ctx, (0.98, 0.97, 0.93))
    ctx.move_to(c + 5.5 * sx, c + 5.5 * sy)
    ctx.line_to(c + 16 * sx, c + 16 * sy)
    ctx.stroke()


# --------------------------------------------------------------------------- lever


def lever_geometry(k):
    """Where the lever stands in frame k: angle, shaft entry and handle centre (y)."""
    a = math.radians(40.0 - 80.0 * k / (LEVER_FRAMES - 1))
    pivot_y = (LEVER_BAND[0] + LEVER_BAND[1]) / 2
    reach = (LEVER_BAND[1] - LEVER_BAND[0]) / 2 / math.sin(math.radians(40))
    depth = 30.0 / math.tan(math.radians(40))
    entry = pivot_y - depth * math.tan(a)
    handle = pivot_y - reach * math.sin(a)
    height = reach * math.cos(a) - depth  # how far the handle stands off the panel
    return a, entry, handle, height


def draw_lever_frame(ctx, k):
    a, entry, handle, height = lever_geometry(k)
    cx = LEVER_W / 2
    r = 10.5 + height * 0.06
    # Shadow of shaft and handle, cast down and right in proportion to height.
    off = 0.18 * height
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    ctx.set_line_width(5)
    rgb(ctx, (0, 0, 0), 0.35)
    ctx.move_to(cx, entry)
    ctx.line_to(cx + off * 0.5, handle + off)
    ctx.stroke()
    for i in range(5):
        ctx.arc(cx + off * 0.5, handle + off, r + 1.5 - i * 0.8, 0, 2 * math.pi)
        rgb(ctx, (0, 0, 0), 0.09)
        ctx.fill()
    # Chrome shaft from the slot to the handle.
    g = cairo.LinearGradient(cx - 3, 0, cx + 3, 0)
    g.add_color_stop_rgb(0, 0.35, 0.35, 0.36)
    g.add_color_stop_rgb(0.35, 0.92, 0.92, 0.93)
    g.add_color_stop_rgb(1, 0.30, 0.30, 0.31)
    ctx.move_to(cx - 2.6, entry)
    ctx.line_to(cx - 3.2, handle)
    ctx.line_to(cx + 3.2, handle)
    ctx.line_to(cx + 2.6, entry)
    ctx.close_path()
    ctx.set_source(g)
    ctx.fill()
    ctx.arc(cx, entry, 3.2, 0, 2 * math.pi)
    rgb(ctx, (0, 0, 0), 0.8)
    ctx.fill()
    # Handle: a black ball seen from the front, its highlight turning with the tilt.
    hy = handle
    g = cairo.RadialGradient(cx - r * 0.35, hy - r * 0.35 - a * 4, r * 0.1, cx, hy, r)
    g.add_color_stop_rgb(0, 0.55, 0.55, 0.55)
    g.add_color_stop_rgb(0.35, 0.16, 0.16, 0.16)
    g.add_color_stop_rgb(1, 0.03, 0.03, 0.03)
    ctx.arc(cx, hy, r, 0, 2 * math.pi)
    ctx.set_source(g)
    ctx.fill()
    ctx.arc(cx, hy, r - 0.5, 0, 2 * math.pi)
    rgb(ctx, (1, 1, 1), 0.12)
    ctx.set_line_width(1)
    ctx.stroke()
    # A cream ring marks the handle's face.
    ctx.arc(cx, hy, r * 0.42, 0, 2 * math.pi)
    rgb(ctx, CREAM, 0.55)
    ctx.set_line_width(1.2)
    ctx.stroke()


# --------------------------------------------------------------------------- buttons


def cap(ctx, x, y, w, h, pressed, top=(0.30, 0.29, 0.28), bottom=(0.10, 0.10, 0.095)):
    dy = 1 if pressed else 0
    rounded(ctx, x - 0.5, y - 0.5 + (2 if not pressed else 1), w + 1, h + 1, 3.5)
    rgb(ctx, (0, 0, 0), 0.55)
    ctx.fill()
    g = cairo.LinearGradient(0, y + dy, 0, y + dy + h)
    if pressed:
        top, bottom = mix(top, (0, 0, 0), 0.35), mix(bottom, (0, 0, 0), 0.2)
    g.add_color_stop_rgb(0, *top)
    g.add_color_stop_rgb(1, *bottom)
    rounded(ctx, x, y + dy, w, h, 3)
    ctx.set_source(g)
    ctx.fill()
    rounded(ctx, x + 0.5, y + dy + 0.5, w - 1, h - 1, 2.5)
    rgb(ctx, (1, 1, 1), 0.10 if pressed else 0.18)
    ctx.set_line_width(1)
    ctx.stroke()
    return dy


def led(ctx, cx, cy, r, colour, dim, lit):
    if lit:
        for i in range(4):
            ctx.arc(cx, cy, r + 3 - i * 0.8, 0, 2 * math.pi)
            rgb(ctx, colour, 0.08)
            ctx.fill()
    ctx.arc(cx, cy, r, 0, 2 * math.pi)
    rgb(ctx, colour if lit else dim)
    ctx.fill()
    ctx.arc(cx - r * 0.3, cy - r * 0.35, r * 0.4, 0, 2 * math.pi)
    rgb(ctx, (1, 1, 1), 0.55 if lit else 0.18)
    ctx.fill()


def draw_stop_frame(ctx, k):
    dy = cap(ctx, 2, 3, 22, 30, False)
    led(ctx, 13, 10 + dy, 2.6, RED, RED_DIM, k == 1)
    ctx.rectangle(9.5, 19.5 + dy, 7, 7)
    rgb(ctx, CREAM if k == 1 else CREAM_DIM)
    ctx.fill()


def draw_speed_frame(ctx, k):
    pressed = k == 1
    dy = cap(ctx, 2, 3, 23, 30, pressed)
    cx, cy = 13.5, 18 + dy
    colour = CREAM if not pressed else AMBER
    ctx.set_line_width(1.6)
    rgb(ctx, colour)
    for start in (0.0, math.pi):
        ctx.arc(cx, cy, 6, start + 0.35, start + math.pi - 0.35)
        ctx.stroke()
        ex = cx + 6 * math.cos(start + math.pi - 0.35)
        ey = cy + 6 * math.sin(start + math.pi - 0.35)
        d = 1 if start == 0.0 else -1
        ctx.move_to(ex - 2.6, ey - 0.6 * d)
        ctx.line_to(ex + 0.4, ey - 3.0 * d)
        ctx.line_to(ex + 1.8, ey + 0.8 * d)
        ctx.close_path()
        ctx.fill()


# --------------------------------------------------------------------------- strips


def draw_groove(light):
    s = surface(STRIP_W, STRIP_H)
    ctx = context(s)
    g = cairo.LinearGradient(0, 0, 0, STRIP_H)
    g.add_color_stop_rgb(0, 0.015, 0.015, 0.015)
    g.add_color_stop_rgb(0.4, 0.06, 0.055, 0.05)
    g.add_color_stop_rgb(1, 0.09, 0.085, 0.08)
    ctx.rectangle(0, 0, STRIP_W, STRIP_H)
    ctx.set_source(g)
    ctx.fill()
    # Marks every eighth of a turn; the rotor's light band runs along them.
    ctx.set_line_width(1)
    for i in range(1, 16):
        x = math.floor(i * STRIP_W / 16) + 0.5
        ctx.move_to(x, 2)
        ctx.line_to(x, STRIP_H - 2 if i % 4 == 0 else 5)
        rgb(ctx, light, 0.22 if i % 4 == 0 else 0.14)
        ctx.stroke()
    ctx.rectangle(0, 0, STRIP_W, 1)
    rgb(ctx, (0, 0, 0), 0.8)
    ctx.fill()
    return s


def draw_highlight(colour):
    w, h = 120, 14
    s = surface(w, h)
    ctx = context(s)
    # A soft light band, brightest in the middle, in the groove's 12 visible rows.
    for x in range(w):
        t = (x + 0.5 - w / 2) / (w / 2)
        a = math.exp(-4.2 * t * t)
        g = cairo.LinearGradient(0, 0, 0, 12)
        g.add_color_stop_rgba(0, colour[0], colour[1], colour[2], 0.35 * a)
        g.add_color_stop_rgba(0.5, *mix(colour, (1, 1, 1), 0.35 * a), 0.95 * a)
        g.add_color_stop_rgba(1, colour[0], colour[1], colour[2], 0.35 * a)
        ctx.rectangle(x, 1, 1, 10)
        ctx.set_source(g)
        ctx.fill()
    return s


# --------------------------------------------------------------------------- about


def draw_about():
    w, h = 400, 533
    s = surface(w, h)
    ctx = context(s)
    ctx.set_source_surface(brushed_texture(w, h, (0.11, 0.104, 0.098), seed=3999, streak=0.010), 0, 0)
    ctx.paint()
    ctx.set_line_width(1)
    ctx.rectangle(0.5, 0.5, w - 1, h - 1)
    rgb(ctx, AMBER, 0.6)
    ctx.stroke()
    ctx.rectangle(4.5, 4.5, w - 9, h - 9)
    rgb(ctx, AMBER, 0.25)
    ctx.stroke()

    text(ctx, "Zel Vortan", w / 2, 92, CREAM, 52, True, family=SERIF, italic=True)
    text(ctx, "ROTARY CABINET SIMULATION", w / 2, 136, AMBER, 10, True, spacing=2.4)
    ctx.move_to(80, 158.5)
    ctx.line_to(w - 80, 158.5)
    rgb(ctx, AMBER, 0.4)
    ctx.stroke()
    # The version string is drawn by the editor into VERSION_BOX; its label sits left of it.
    vx0, vy0, vx1, vy1 = VERSION_BOX
    text(ctx, "Version", vx0 - 6, (vy0 + vy1) / 2 + 1, CREAM_DIM, 10, align="right")

    draw_cabinet_drawing(ctx, w / 2, 232)

    lines = [
        ("A treble horn and a bass drum, each turned by its own motor,", CREAM_DIM),
        ("heard through microphones around the cabinet, with the", CREAM_DIM),
        ("cabinet's reflections, a small room and a tube amplifier.", CREAM_DIM),
    ]
    for i, (line, colour) in enumerate(lines):
        text(ctx, line, w / 2, 430 + i * 15, colour, 10)
    text(ctx, "Tarnwick", w / 2, 486, CREAM, 12, True, spacing=1.5)
    text(ctx, "click anywhere to close", w / 2, 514, CREAM_DIM, 8.5, italic=True)
    return s


def draw_cabinet_drawing(ctx, cx, top):
    """A line drawing of the cabinet: the horn rotor above, the drum rotor below."""
    ctx.save()
    ctx.set_line_join(cairo.LINE_JOIN_ROUND)
    ctx.set_line_width(1.4)
    cw, ch = 150, 176
    x0 = cx - cw / 2
    rounded(ctx, x0, top, cw, ch, 6)
    rgb(ctx, (0, 0, 0), 0.35)
    ctx.fill_preserve()
    rgb(ctx, CREAM_DIM, 0.9)
    ctx.stroke()
    # Horn: two bells on a rotor, one of them a dummy.
    hy = top + 40
    rgb(ctx, AMBER)
    ctx.move_to(cx - 6, hy - 3)
    ctx.line_to(cx - 58, hy - 16)
    ctx.line_to(cx - 58, hy + 10)
    ctx.line_to(cx - 6, hy + 3)
    ctx.close_path()
    ctx.stroke()
    ctx.move_to(cx + 6, hy - 3)
    ctx.line_to(cx + 46, hy - 11)
    ctx.line_to(cx + 46, hy + 5)
    ctx.line_to(cx + 6, hy + 3)
    ctx.close_path()
    ctx.stroke()
    ctx.rectangle(cx - 6, hy - 8, 12, 24)
    ctx.stroke()
    # Curved arrows for the rotation.
    rgb(ctx, CREAM, 0.8)
    ctx.save()
    ctx.translate(cx, hy + 22)
    ctx.scale(1.0, 0.22)
    ctx.arc(0, 0, 52, 0.3, math.pi - 0.3)
    ctx.restore()
    ctx.stroke()
    # Baffle between the rotors.
    ctx.move_to(x0 + 8, top + 84.5)
    ctx.line_to(x0 + cw - 8, top + 84.5)
    rgb(ctx, CREAM_DIM, 0.7)
    ctx.stroke()
    # Drum: a drum rotor with its scoop, seen from the front.
    dy = top + 128
    rgb(ctx, AMBER)
    ctx.save()
    ctx.translate(cx, dy - 20)
    ctx.scale(1.0, 0.25)
    ctx.arc(0, 0, 44, 0, 2 * math.pi)
    ctx.restore()
    ctx.stroke()
    ctx.save()
    ctx.translate(cx, dy + 20)
    ctx.scale(1.0, 0.25)
    ctx.arc(0, 0, 44, 0, math.pi)
    ctx.restore()
    ctx.stroke()
    ctx.move_to(cx - 44, dy - 20)
    ctx.line_to(cx - 44, dy + 20)
    ctx.move_to(cx + 44, dy - 20)
    ctx.line_to(cx + 44, dy + 20)
    ctx.stroke()
    # The drum's scoop opening, and its turning below it.
    ctx.move_to(cx - 18, dy - 6)
    ctx.curve_to(cx - 10, dy - 12, cx + 10, dy - 12, cx + 18, dy - 6)
    ctx.line_to(cx + 18, dy + 12)
    ctx.curve_to(cx + 10, dy + 6, cx - 10, dy + 6, cx - 18, dy + 12)
    ctx.close_path()
    rgb(ctx, AMBER, 0.45)
    ctx.fill()
    rgb(ctx, CREAM, 0.8)
    ctx.save()
    ctx.translate(cx, dy + 30)
    ctx.scale(1.0, 0.22)
    ctx.arc(0, 0, 58, 0.3, math.pi - 0.3)
    ctx.restore()
    ctx.stroke()
    ctx.restore()


# --------------------------------------------------------------------------- bottom bar


def lamp_frames(w, label, colour, dim):
    def draw(ctx, k):
        lit = k == 1
        led(ctx, 6, 7, 2.5, colour, dim, lit)
        text(ctx, label, 12, 7, CREAM if lit else CREAM_DIM, 7.5, True, align="left",
             spacing=0.5)
    return filmstrip(w, 14, 2, draw)


def draw_cpu_frame(ctx, k):
    half = 70
    for i, label in enumerate(("LowCPU", "Brilliant")):
        lit = i == k
        x = i * half
        rounded(ctx, x + 1.5, 1.5, half - 3, 11, 2.5)
        rgb(ctx, (0.16, 0.15, 0.14) if lit else (0.09, 0.088, 0.085))
        ctx.fill()
        led(ctx, x + 9, 7, 2.3, AMBER, AMBER_DIM, lit)
        text(ctx, label, x + 39, 7, CREAM if lit else CREAM_DIM, 7.5, True, spacing=0.4)


def draw_bypass_frame(ctx, k):
    lit = k == 1
    rounded(ctx, 1.5, 1.5, 55, 11, 2.5)
    rgb(ctx, (0.16, 0.15, 0.14) if lit else (0.09, 0.088, 0.085))
    ctx.fill()
    led(ctx, 9, 7, 2.3, RED, RED_DIM, lit)
    text(ctx, "BYPASS", 34, 7, CREAM if lit else CREAM_DIM, 7.5, True, spacing=0.5)


CHANNEL_TEXTS = ["OFF"] + [str(c) for c in range(1, 17)] + ["OMNI"]


def draw_channel_frame(ctx, k):
    rounded(ctx, 0.5, 0.5, 29, 13, 2)
    rgb(ctx, DISPLAY)
    ctx.fill_preserve()
    rgb(ctx, (0, 0, 0))
    ctx.set_line_width(1)
    ctx.stroke()
    text(ctx, CHANNEL_TEXTS[k], 15, 7, AMBER, 8 if k in (0, 17) else 9, True, shadow=False)


def draw_rocker_frame(ctx, k):
    hover = {1: 0, 2: 1}.get(k)
    pressed = {3: 0, 4: 1}.get(k)
    rounded(ctx, 0.5, 0.5, 30, 13, 3)
    rgb(ctx, (0.20, 0.19, 0.18))
    ctx.fill()
    for side in (0, 1):
        x = 1 + side * 15
        if pressed == side:
            ctx.rectangle(x, 1, 14, 12)
            rgb(ctx, (0.05, 0.05, 0.05))
            ctx.fill()
        elif hover == side:
            ctx.rectangle(x, 1, 14, 12)
            rgb(ctx, (0.34, 0.32, 0.30))
            ctx.fill()
        colour = AMBER if pressed == side else CREAM if hover == side else CREAM_DIM
        tip, back = (x + 4, x + 9) if side == 0 else (x + 10, x + 5)
        dy = 0.5 if pressed == side else 0
        ctx.move_to(tip, 7 + dy)
        ctx.line_to(back, 3.5 + dy)
        ctx.line_to(back, 10.5 + dy)
        ctx.close_path()
        rgb(ctx, colour)
        ctx.fill()
    ctx.rectangle(15, 1, 1, 12)
    rgb(ctx, (0, 0, 0), 0.8)
    ctx.fill()
    rounded(ctx, 0.5, 0.5, 30, 13, 3)
    rgb(ctx, (0, 0, 0))
    ctx.set_line_width(1)
    ctx.stroke()


# --------------------------------------------------------------------------- preset strip


def panel_button_background(ctx, w, h, k):
    if k == 1:
        rounded(ctx, 0.5, 0.5, w - 1, h - 1, 2)
        rgb(ctx, (1, 1, 1), 0.12)
        ctx.fill()
    elif k == 2:
        rounded(ctx, 0.5, 0.5, w - 1, h - 1, 2)
        rgb(ctx, (0, 0, 0), 0.7)
        ctx.fill()


def arrow_frames(colour, dim):
    """Save and store arrows (red) point into the word they stand beside, load and
    recall arrows (green) out of it: both point right."""
    def draw(ctx, k):
        panel_button_background(ctx, 12, 14, k)
        dx = 0.5 if k == 2 else 0
        ctx.move_to(2.5 + dx, 3.5 + dx)
        ctx.line_to(9.5 + dx, 7 + dx)
        ctx.line_to(2.5 + dx, 10.5 + dx)
        ctx.close_path()
        rgb(ctx, colour if k else mix(colour, dim, 0.25))
        ctx.fill()
        if k == 1:
            ctx.move_to(2.5, 3.5)
            ctx.line_to(9.5, 7)
            ctx.line_to(2.5, 10.5)
            ctx.close_path()
            rgb(ctx, (1, 1, 1), 0.25)
            ctx.fill()
    return filmstrip(12, 14, 3, draw)


def word_frames(w, word):
    def draw(ctx, k):
        panel_button_background(ctx, w, 10, k)
        colour = (CREAM_DIM, CREAM, AMBER)[k]
        text(ctx, word, w / 2 + (0.5 if k == 2 else 0), 5 + (0.5 if k == 2 else 0), colour, 7.5,
             True, spacing=0.8)
    return filmstrip(w, 10, 3, draw)


def draw_manual_frame(ctx, k):
    panel_button_background(ctx, 16, 14, k)
    ctx.arc(8, 7, 5.5, 0, 2 * math.pi)
    rgb(ctx, (CREAM_DIM, CREAM, AMBER)[k])
    ctx.set_line_width(1.2)
    ctx.stroke()
    text(ctx, "?", 8.2, 7, (CREAM_DIM, CREAM, AMBER)[k], 8, True, shadow=False)


# --------------------------------------------------------------------------- catalogue

# (id, file name, builder). Sizes and frame counts are checked after drawing.
def bitmaps():
    return [
        (4000, "face", draw_face, 401, 570, 1),
        (2002, "knob", lambda: filmstrip(44, 44, KNOB_FRAMES, draw_knob_frame), 44, 4444, 101),
        (2003, "stop-button", lambda: filmstrip(26, 36, 2, draw_stop_frame), 26, 72, 2),
        (2004, "speed-button", lambda: filmstrip(27, 36, 2, draw_speed_frame), 27, 72, 2),
        (2005, "speed-lever",
         lambda: filmstrip(LEVER_W, LEVER_H, LEVER_FRAMES, draw_lever_frame), 55, 12090, 65),
        (2008, "horn-groove", lambda: draw_groove(AMBER), 298, 12, 1),
        (2009, "horn-highlight", lambda: draw_highlight(AMBER), 120, 14, 1),
        (2013, "drum-groove", lambda: draw_groove((0.95, 0.45, 0.22)), 298, 12, 1),
        (2010, "drum-highlight", lambda: draw_highlight((0.95, 0.45, 0.22)), 120, 14, 1),
        (3999, "about", draw_about, 400, 533, 1),
        (19997, "rocker", lambda: filmstrip(31, 14, 5, draw_rocker_frame), 31, 70, 5),
        (4005, "channel-display", lambda: filmstrip(30, 14, 18, draw_channel_frame), 30, 252, 18),
        (4001, "bypass-button", lambda: filmstrip(58, 14, 2, draw_bypass_frame), 58, 28, 2),
        (4002, "cpu-mode-button", lambda: filmstrip(140, 14, 2, draw_cpu_frame), 140, 28, 2),
        (4003, "modulation-lamp", lambda: lamp_frames(56, "MOD", GREEN, GREEN_DIM), 56, 28, 2),
        (4004, "sustain-lamp", lambda: lamp_frames(62, "SUSTAIN", GREEN, GREEN_DIM), 62, 28, 2),
        (19993, "load-bank", lambda: arrow_frames(GREEN, GREEN_DIM), 12, 42, 3),
        (19994, "save-bank", lambda: arrow_frames(RED, RED_DIM), 12, 42, 3),
        (19998, "load-preset", lambda: arrow_frames(GREEN, GREEN_DIM), 12, 42, 3),
        (19999, "save-preset", lambda: arrow_frames(RED, RED_DIM), 12, 42, 3),
        (19991, "recall-a", lambda: arrow_frames(GREEN, GREEN_DIM), 12, 42, 3),
        (19992, "recall-b", lambda: arrow_frames(GREEN, GREEN_DIM), 12, 42, 3),
        (19995, "store-a", lambda: arrow_frames(RED, RED_DIM), 12, 42, 3),
        (19996, "store-b", lambda: arrow_frames(RED, RED_DIM), 12, 42, 3),
        (19990, "default-bank", lambda: word_frames(37, "BANK"), 37, 30, 3),
        (19899, "default-preset", lambda: word_frames(47, "PRESET"), 47, 30, 3),
        (989, "user-manual", lambda: filmstrip(16, 14, 3, draw_manual_frame), 16, 42, 3),
    ]


# --------------------------------------------------------------------------- contact sheet


def contact_sheet(drawn):
    """All bitmaps on one sheet; long filmstrips as a grid of some of their frames."""
    sheet_w = 1240
    margin, pad = 12, 10
    measure = context(surface(1, 1))
    cells = []
    for bid, name, s, frames in drawn:
        w, h = s.get_width(), s.get_height()
        fh = h // frames
        if frames > 20:
            step = 10 if frames == 101 else 8
            shown = list(range(0, frames, step))
            if shown[-1] != frames - 1:
                shown.append(frames - 1)
            per_row = max(1, min(len(shown), (sheet_w - 2 * margin) // (w + 6)))
            rows = math.ceil(len(shown) / per_row)
            cw, chh = per_row * (w + 6), rows * (fh + 16)
        elif frames > 1:
            shown = list(range(frames))
            per_row = min(frames, 9) if fh < 20 else frames
            rows = math.ceil(frames / per_row)
            cw, chh = per_row * (w + 6), rows * (fh + 16)
        else:
            shown, per_row = [0], 1
            cw, chh = w, h
        label = f"{bid} {name}  {w}x{h}, {frames} frame{'s' if frames > 1 else ''}"
        font(measure, 10, True)
        cells.append((label, s, fh, shown, per_row, max(cw, math.ceil(text_width(measure, label))),
                      chh + 16))
    # Shelf packing.
    x, y, shelf = margin, margin, 0
    placed = []
    for cell in cells:
        cw, chh = cell[5], cell[6]
        if x + cw > sheet_w - margin:
            x, y, shelf = margin, y + shelf + pad, 0
        placed.append((x, y, cell))
        x += cw + pad * 2
        shelf = max(shelf, chh)
    sheet_h = y + shelf + margin
    out = surface(sheet_w, sheet_h)
    ctx = context(out)
    ctx.set_source_rgb(0.27, 0.27, 0.28)
    ctx.paint()
    for x, y, (label, s, fh, shown, per_row, cw, chh) in placed:
        text(ctx, label, x, y + 6, (1, 1, 1), 10, True, align="left", shadow=False)
        w = s.get_width()
        for i, f in enumerate(shown):
            col, row = i % per_row, i // per_row
            fx = x + col * (w + 6)
            fy = y + 14 + row * (fh + 16)
            ctx.save()
            ctx.rectangle(fx, fy, w, fh)
            ctx.clip()
            ctx.set_source_surface(s, fx, fy - f * fh)
            ctx.paint()
            ctx.restore()
            if len(shown) > 1:
                text(ctx, str(f), fx + w / 2, fy + fh + 7, (0.8, 0.8, 0.8), 8, shadow=False)
    return out


# --------------------------------------------------------------------------- main


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(ROOT, "resources"),
                        help="folder for the bitmaps (default: resources/)")
    parser.add_argument("--sheet", default=os.path.join(ROOT, "docs", "artwork.png"),
                        help="contact sheet file (default: docs/artwork.png)")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    os.makedirs(os.path.dirname(os.path.abspath(args.sheet)), exist_ok=True)
    drawn = []
    for bid, name, build, w, h, frames in bitmaps():
        s = build()
        if (s.get_width(), s.get_height()) != (w, h) or h % frames:
            sys.exit(f"make-artwork: bitmap {bid} is {s.get_width()}x{s.get_height()}, "
                     f"expected {w}x{h} in {frames} frames")
        save_png(s, os.path.join(args.out, f"{bid}-{name}.png"))
        drawn.append((bid, name, s, frames))
    save_png(contact_sheet(drawn), args.sheet)


if __name__ == "__main__":
    main()
