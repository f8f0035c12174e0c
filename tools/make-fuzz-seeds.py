#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/.

The seeds are the layouts the readers expect, small and whole: bank and preset
images, the older layouts and the host chunks, in this machine's byte order and
reversed. Run from anywhere; the files are rewritten each time."""
import os
import struct
import sys

IDENTIFIER = 0x5A765631  # 'ZvV1'
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "corpus")


def name_bytes(text):
    raw = text.encode("ascii")[:24]
    return raw + b"\0" * (24 - len(raw))


def value(p, j):
    return ((p * 36 + j) % 101) / 100.0


def image(kind, programs, current, order):
    """A bank (0x38) or preset (0x22) image of the given programs."""
    records = b""
    count = 0
    for p in programs:
        index = 0 if kind == 0x22 else p
        records += struct.pack(order + "iii", 0, 156, index) + name_bytes("Seed %d" % p) + b"\0" * 132
        count += 1
        for j in range(36):
            records += struct.pack(order + "iiiiiifi", 1, 20, index, j, 0, 0, value(p, j), 0)
            count += 1
    header = struct.pack(order + "i", IDENTIFIER) + bytes([kind])
    header += struct.pack(order + "Iiiii", 0x01000100, 36, count, current, len(records))
    return header + b"\0" * 16 + records


def legacy(kind, programs, values, order):
    data = struct.pack(order + "i", IDENTIFIER) + bytes([kind])
    for p in range(programs):
        data += name_bytes("Old %d" % p) + struct.pack(order + "%df" % values, *[value(p, j) for j in range(values)])
    return data


def chunk(body, tag, order):
    return struct.pack(order + "Ii", tag, IDENTIFIER) + body


def legacy_chunk(programs, current, order):
    data = struct.pack(order + "Iiii", 0x01000000, IDENTIFIER, programs, current) + b"\0" * 16
    for p in range(programs):
        data += name_bytes("Chunk %d" % p) + struct.pack(order + "36f", *[value(p, j) for j in range(36)])
    return data


def main():
    seeds = {
        "set_chunk": {
            "bank": chunk(image(0x38, range(32), 5, "<"), 0x02000000, "<"),
            "bank-few": chunk(image(0x38, [0, 7], 7, "<"), 0x02000000, "<"),
            "bank-reversed": chunk(image(0x38, [1, 2, 3], 2, ">"), 0x02000000, ">"),
            "legacy": legacy_chunk(4, 2, "<"),
            "legacy-reversed": legacy_chunk(3, 1, ">"),
        },
        "bank_image": {
            "bank": b"\0" + image(0x38, range(4), 3, "<"),
            "bank-reversed": b"\1" + image(0x38, [0, 31], 31, ">"),
        },
        "preset_image": {
            "preset": b"\0" + image(0x22, [6], 0, "<"),
            "preset-reversed": b"\1" + image(0x22, [2], 0, ">"),
        },
        "legacy_layouts": {
            "preset": b"\0" + struct.pack("<i", 36) + legacy(0x21, 1, 36, "<")[5:],
            "preset-short": b"\1" + struct.pack("<i", 30) + legacy(0x21, 1, 30, ">")[5:],
            "bank": b"\2" + struct.pack("<i", 36) + legacy(0x37, 32, 36, "<")[5:],
            "bank-reversed": b"\3" + struct.pack("<i", 8) + legacy(0x37, 32, 8, ">")[5:],
        },
        "preset_file": {
            "preset": image(0x22, [3], 0, "<"),
            "preset-reversed": image(0x22, [4], 0, ">"),
            "legacy-preset": legacy(0x21, 1, 30, "<"),
            "bank": image(0x38, [0, 1], 1, "<"),
        },
        "bank_file": {
            "bank": image(0x38, range(32), 12, "<"),
            "bank-reversed": image(0x38, range(3), 1, ">"),
            "legacy-bank": legacy(0x37, 32, 36, "<"),
            "preset": image(0x22, [5], 0, "<"),
        },
    }
    bank = image(0x38, range(3), 2, "<")
    preset = image(0x22, [9], 0, "<")
    seeds["stored_values"] = {
        "bank-and-preset": struct.pack("<H", len(bank)) + bank + preset,
        "preset-only": struct.pack("<H", 0) + preset,
    }
    for target, files in seeds.items():
        folder = os.path.join(ROOT, target)
        os.makedirs(folder, exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(folder, name), "wb") as out:
                out.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
