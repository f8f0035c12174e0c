#!/usr/bin/env python3
"""Repetition rate of a rendered file's amplitude envelope over time.

A rotary cabinet modulates the level of what it plays at the rotor's speed; this
prints, for windows along the file, the rate (Hz) at which the envelope of the
horn band repeats, so a render can be checked for speeding up and slowing down:

    python3 tools/envelope-rate.py out.wav [--channel 0] [--window 4] [--hop 1]

Standard library only (16-, 24- or 32-bit integer PCM WAV).
"""
import argparse
import math
import struct
import sys
import wave


def read_channel(path, channel):
    with wave.open(path, "rb") as w:
        channels, width, rate, frames = w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes()
        raw = w.readframes(frames)
    if channel >= channels:
        sys.exit(f"{path} has {channels} channel(s)")
    step = channels * width
    scale = float(1 << (8 * width - 1))
    out = []
    for i in range(channel * width, len(raw) - width + 1, step):
        b = raw[i:i + width]
        if width == 2:
            v = struct.unpack("<h", b)[0]
        elif width == 3:
            v = int.from_bytes(b, "little", signed=True)
        elif width == 4:
            v = struct.unpack("<i", b)[0]
        else:
            sys.exit("unsupported sample width")
        out.append(v / scale)
    return out, rate


def envelope(x, rate, decimation, high_pass_hz=800.0, smooth_hz=30.0):
    """Power of the horn band (first-order high-pass), twice low-passed, decimated."""
    hp = math.exp(-2 * math.pi * high_pass_hz / rate)
    lp = math.exp(-2 * math.pi * smooth_hz / rate)
    y_prev = x_prev = a = b = 0.0
    env = []
    for i, v in enumerate(x):
        y_prev = hp * (y_prev + v - x_prev)
        x_prev = v
        p = y_prev * y_prev
        a = p + lp * (a - p)
        b = a + lp * (b - a)
        if i % decimation == 0:
            env.append(b)
    return env


def repetition_rate(env, env_rate, low_hz, high_hz):
    mean = sum(env) / len(env)
    e = [v - mean for v in env]
    n = len(e)
    min_lag = max(2, int(env_rate / high_hz))
    max_lag = min(n // 2, int(env_rate / low_hz) + 1)

    def corr(lag):
        return sum(e[i] * e[i + lag] for i in range(n - lag)) / (n - lag)

    values = {lag: corr(lag) for lag in range(min_lag - 1, max_lag + 2)}
    # The first strong peak: the highest one, or an earlier one nearly as high
    # (a lag of two periods correlates as well as one).
    peaks = [lag for lag in range(min_lag, max_lag + 1)
             if values[lag] >= values[lag - 1] and values[lag] >= values[lag + 1] and values[lag] > 0]
    if not peaks:
        return float("nan")
    best = max(values[lag] for lag in peaks)
    lag = next(lag for lag in peaks if values[lag] >= 0.8 * best)
    l, c, r = values[lag - 1], values[lag], values[lag + 1]
    denom = l - 2 * c + r
    shift = 0.5 * (l - r) / denom if denom != 0 else 0.0
    return env_rate / (lag + shift)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("file")
    p.add_argument("--channel", type=int, default=0)
    p.add_argument("--window", type=float, default=4.0, help="seconds per window")
    p.add_argument("--hop", type=float, default=1.0, help="seconds between windows")
    p.add_argument("--low", type=float, default=0.4, help="lowest rate looked for (Hz)")
    p.add_argument("--high", type=float, default=12.0, help="highest rate looked for (Hz)")
    args = p.parse_args()

    x, rate = read_channel(args.file, args.channel)
    decimation = max(1, int(rate / 200))
    env = envelope(x, rate, decimation)
    env_rate = rate / decimation
    win = int(args.window * env_rate)
    hop = max(1, int(args.hop * env_rate))
    print("window centre (s)   envelope repeats at (Hz)")
    for start in range(0, max(1, len(env) - win + 1), hop):
        rate_hz = repetition_rate(env[start:start + win], env_rate, args.low, args.high)
        centre = (start + win / 2) / env_rate
        print(f"{centre:17.1f}   {rate_hz:8.2f}")


if __name__ == "__main__":
    main()
