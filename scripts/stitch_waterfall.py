#!/usr/bin/env python3
"""Stitches screen grabs of a waterfall (newest line on top) into one tall picture.
Usage: stitch_waterfall.py WIDTH HEIGHT OUT.ppm GRAB.rgb...   (8-bit raw RGB grabs, oldest first)
Between two grabs the display has scrolled down by some lines: the shift at which the
older grab matches the newer one best tells how many new lines came in."""
import sys

width, height = int(sys.argv[1]), int(sys.argv[2])
out = sys.argv[3]
row_bytes = width * 3
grabs = []
for path in sys.argv[4:]:
    data = open(path, "rb").read()
    if len(data) != row_bytes * height:
        sys.exit("%s: %d bytes, expected %d" % (path, len(data), row_bytes * height))
    grabs.append([data[y * row_bytes:(y + 1) * row_bytes] for y in range(height)])

def shift_between(older, newer):
    best, best_shift = -1.0, 0
    for shift in range(0, height - 16):
        rows = range(2, height - shift)  # the newest lines may still be drawn
        same = sum(1 for i in rows if newer[shift + i] == older[i])
        fraction = same / len(rows)
        if fraction > best + 1e-9:
            best, best_shift = fraction, shift
    return best_shift

# The newest lines of a grab may not be finished yet: every line is taken from the grab in
# which it has moved SKIP lines down.
SKIP = 12
tape = []  # the first grab shows what came before the sound; oldest line first
for older, newer in zip(grabs, grabs[1:]):
    shift = min(shift_between(older, newer), SKIP)
    tape.extend(reversed(newer[SKIP:SKIP + shift]))
rows = list(reversed(tape))  # newest on top again
with open(out, "wb") as f:
    f.write(b"P6\n%d %d\n255\n" % (width, len(rows)))
    for r in rows:
        f.write(r)
print(out, len(rows), "lines")
