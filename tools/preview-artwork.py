#!/usr/bin/python3
"""Composes the editor as it will look: every control's bitmap pasted at its place
on the face, with sample readout texts, so captions, readouts and controls can be
checked for collisions without building the plug-in.

    /usr/bin/python3 tools/preview-artwork.py [--out /tmp/preview.png] [--scale 2]
"""

import argparse
import os

import cairo

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RES = os.path.join(ROOT, "resources")

KNOBS = [(20, 53), (65, 53), (134, 53), (179, 53), (248, 53), (293, 53), (338, 53),
         (16, 202), (74, 202), (119, 202), (164, 202), (209, 202), (269, 202),
         (20, 303), (65, 303), (110, 303), (178, 303), (222, 303), (268, 303),
         (20, 445), (65, 445), (134, 445), (179, 445), (248, 445), (293, 445), (338, 445)]
READOUT_TEXTS = ["0.67 Hz", "6.77 Hz", "0.38 s", "0.46 s", "1.00 m", "Off", "0.0 dB",
                 "0.0 dB", "0.0 dB", "0.0 dB", "0.0 dB", "0.0 dB", "Front",
                 "0.0 dB", "Tube", "0.0 dB", "3", "50.8 %", "-inf dB",
                 "0.93 Hz", "6.53 Hz", "6.30 s", "7.42 s", "0.50 m", "1500 Hz", "0.0 dB"]
READOUT_AT = {(222, 303): (219, 352)}

# (file, position, frame, frame height)
CONTROLS = [
    ("2003-stop-button", (359, 347), 1, 36),
    ("2004-speed-button", (330, 348), 0, 36),
    ("2005-speed-lever", (330, 149), 32, 186),
    ("4005-channel-display", (6, 536), 1, 14),
    ("19997-rocker", (38, 536), 2, 14),
    ("4001-bypass-button", (340, 536), 0, 14),
    ("4002-cpu-mode-button", (195, 536), 1, 14),
    ("4003-modulation-lamp", (129, 536), 1, 14),
    ("4004-sustain-lamp", (68, 536), 0, 14),
    ("19994-save-bank", (4, 554), 0, 14),
    ("19990-default-bank", (16, 556), 1, 10),
    ("19993-load-bank", (54, 554), 0, 14),
    ("19999-save-preset", (69, 554), 0, 14),
    ("19899-default-preset", (81, 556), 0, 10),
    ("19998-load-preset", (128, 554), 2, 14),
    ("19997-rocker", (278, 554), 0, 14),
    ("19995-store-a", (311, 554), 1, 14),
    ("19991-recall-a", (333, 554), 0, 14),
    ("19996-store-b", (349, 554), 0, 14),
    ("19992-recall-b", (371, 554), 0, 14),
    ("989-user-manual", (384, 554), 0, 14),
]


def png(name):
    return cairo.ImageSurface.create_from_png(os.path.join(RES, name + ".png"))


def paste(ctx, image, x, y, frame, frame_h, w=None):
    w = w or image.get_width()
    ctx.save()
    ctx.rectangle(x, y, w, frame_h)
    ctx.clip()
    ctx.set_source_surface(image, x, y - frame * frame_h)
    ctx.paint()
    ctx.restore()


def centred(ctx, s, x0, y0, w, h, size, colour):
    ctx.select_font_face("Liberation Sans")
    ctx.set_font_size(size)
    e = ctx.text_extents(s)
    ctx.set_source_rgb(*colour)
    ctx.move_to(x0 + (w - e.x_advance) / 2, y0 + h / 2 + ctx.text_extents("0").height / 2)
    ctx.show_text(s)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", default="/tmp/preview.png")
    parser.add_argument("--scale", type=float, default=1.0)
    parser.add_argument("--knob-frame", type=int, default=50)
    parser.add_argument("--lever-frame", type=int, default=32)
    parser.add_argument("--about", action="store_true",
                        help="show the about screen over the editor, with its version text")
    args = parser.parse_args()

    face = png("4000-face")
    out = cairo.ImageSurface(cairo.FORMAT_ARGB32, 401, 570)
    ctx = cairo.Context(out)
    ctx.set_source_surface(face, 0, 0)
    ctx.paint()
    knob = png("2002-knob")
    for i, (x, y) in enumerate(KNOBS):
        paste(ctx, knob, x, y, (args.knob_frame + 7 * i) % 101 if args.knob_frame < 0 else
              args.knob_frame, 44)
        rx, ry = READOUT_AT.get((x, y), (x - 4, y + 49))
        if (x, y) == (269, 202):
            centred(ctx, "Front", rx, ry, 52, 11, 9, (1, 1, 1))
            centred(ctx, "Diagonal", rx, ry + 11, 52, 11, 9, (1, 1, 1))
        else:
            centred(ctx, READOUT_TEXTS[i], rx, ry, 52, 11, 9, (1, 1, 1))
    for name, (x, y), frame, fh in CONTROLS:
        image = png(name)
        frame = 32 if name.endswith("lever") and args.lever_frame is None else frame
        if name.endswith("lever"):
            frame = args.lever_frame
        paste(ctx, image, x, y, frame, fh)
    groove, highlight = png("2008-horn-groove"), png("2009-horn-highlight")
    for gx, gy, g, hl, value in ((91, 12, "2008-horn-groove", "2009-horn-highlight", 0.3),
                                 (91, 404, "2013-drum-groove", "2010-drum-highlight", 0.0)):
        groove, highlight = png(g), png(hl)
        ctx.save()
        ctx.rectangle(gx, gy, 297, 12)
        ctx.clip()
        ctx.set_source_surface(groove, gx, gy)
        ctx.paint()
        f = 1 - value + 0.5
        f = f - 1 if f > 1 else f
        hx = int(f * 418) - 120
        ctx.set_source_surface(highlight, gx + hx, gy)
        ctx.paint()
        ctx.restore()
    # The program name on the name field, as the editor draws it.
    centred(ctx, "Full Tremolo", 146, 553.5, 116, 15, 11, (36 / 255, 36 / 255, 32 / 255))
    ctx.set_source_rgb(36 / 255, 36 / 255, 32 / 255)
    ctx.rectangle(146.5, 554, 115, 14)
    ctx.set_line_width(1)
    ctx.stroke()
    if args.about:
        ctx.set_source_surface(png("3999-about"), 0, 0)
        ctx.paint()
        ctx.select_font_face("Liberation Sans")
        ctx.set_font_size(10)
        ctx.set_source_rgb(160 / 255, 159 / 255, 157 / 255)
        ctx.move_to(258, 181 + 7.5 + ctx.text_extents("0").height / 2)
        ctx.show_text("v.1.0.1")
    if args.scale != 1.0:
        big = cairo.ImageSurface(cairo.FORMAT_ARGB32, int(401 * args.scale),
                                 int(570 * args.scale))
        bctx = cairo.Context(big)
        bctx.scale(args.scale, args.scale)
        bctx.set_source_surface(out, 0, 0)
        bctx.get_source().set_filter(cairo.FILTER_NEAREST)
        bctx.paint()
        out = big
    out.write_to_png(args.out)


if __name__ == "__main__":
    main()
