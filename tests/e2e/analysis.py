"""What the program should have sent and written, and how to read what it did: glyph columns
from the font file, stretches of sound and their tones in a capture, lines of the event log."""

import datetime
import math
import re

from harness import SAMPLE_RATE, log

COLUMN_MS = 300
COLUMN_SAMPLES = COLUMN_MS * SAMPLE_RATE // 1000  # 3307


def load_font(path):
    """Column masks per character code, read as the program reads its font file."""
    with open(path, "rb") as font:
        data = font.read()
    digits = {ord(c): v for v, c in enumerate("0123456789ABCDEF")}
    digits.update({ord(c): v for v, c in enumerate("abcdef", start=10)})
    masks = {}
    record = bytearray(6)
    for index in range(255 * 5):
        chunk = data[index * 6: index * 6 + 6]
        record[: len(chunk)] = chunk
        value = digits.get(record[2], 0) * 16 + digits.get(record[3], 0)
        masks.setdefault(index // 5, []).append(value >> 1)
    return masks


def column_masks(font, text):
    """Glyph columns, with one dark gap column between characters."""
    columns = []
    for position, char in enumerate(text.encode("latin-1")):
        columns.extend(font.get(char, [0] * 5))
        if position + 1 < len(text):
            columns.append(0)
    return columns


def lit_groups(columns):
    """(first column, count) of every run of consecutive lit columns."""
    groups = []
    for index, mask in enumerate(columns):
        if mask == 0:
            continue
        if groups and groups[-1][0] + groups[-1][1] == index:
            groups[-1][1] += 1
        else:
            groups.append([index, 1])
    return [tuple(group) for group in groups]


def silent_gaps(samples, min_length):
    """(start, end) of every run of at least min_length zero samples."""
    gaps = []
    start = None
    for index, value in enumerate(samples):
        if value == 0:
            if start is None:
                start = index
        elif start is not None:
            if index - start >= min_length:
                gaps.append((start, index))
            start = None
    if start is not None and len(samples) - start >= min_length:
        gaps.append((start, len(samples)))
    return gaps


def sound_segments(samples, min_silence):
    """(start, end) of the stretches of sound that lie between silences of min_silence samples,
    from the first to the last sample that is not zero."""
    first = next((index for index, value in enumerate(samples) if value != 0), len(samples))
    last = len(samples) - next((index for index, value in enumerate(reversed(samples)) if value != 0), 0)
    segments = []
    position = first
    for gap_start, gap_end in silent_gaps(samples[first:last], min_silence):
        segments.append((position, first + gap_start))
        position = first + gap_end
    if position < last:
        segments.append((position, last))
    return segments


# Between two lit columns the program stops one sound and starts the next; a dark column is a
# whole column of silence. Silences this long separate groups of lit columns.
GROUP_SILENCE = SAMPLE_RATE // 4  # 250 ms
# The envelope starts and ends every column within a few samples of zero, so that two columns
# played one after the other are parted by at least this many zero samples.
BURST_SILENCE = 16
# The envelope leaves up to about 15 zero samples at either end of a column of 4681-amplitude
# tones; a cut of a few milliseconds at either end goes beyond this.
EDGE_ZEROS = 20
# Slack per column boundary: stopping one sound and starting the next.
MAX_SWITCH_S = 0.2
# Pixel row k sounds at 1000 + (k - 3) * 10 Hz (center 1000 Hz, offset 10 Hz, not reversed).
ROW_FREQUENCIES = [1000 + (row - 3) * 10 for row in range(7)]
# A lit row's tone is as strong as any other lit row's; what leaks into a dark row's frequency
# from its neighbours 10 Hz away stays far below this share of it.
LIT_SHARE = 0.3


def tone_magnitude(samples, frequency):
    """|sum of x[n] * exp(-2 pi i f n / rate)| (Goertzel)."""
    coefficient = 2 * math.cos(2 * math.pi * frequency / SAMPLE_RATE)
    previous = before = 0.0
    for value in samples:
        previous, before = value + coefficient * previous - before, previous
    return math.sqrt(max(previous * previous + before * before - coefficient * previous * before, 0.0))


def heard_mask(samples):
    """The pixel rows whose tones sound in one column."""
    magnitudes = [tone_magnitude(samples, frequency) for frequency in ROW_FREQUENCIES]
    strongest = max(magnitudes)
    return sum(1 << row for row, magnitude in enumerate(magnitudes) if magnitude >= LIT_SHARE * strongest)


def columns_in_burst(length):
    """How many whole columns a stretch of sound holds, or None when it is no whole number."""
    count = max(1, round(length / COLUMN_SAMPLES))
    whole = count * COLUMN_SAMPLES - 2 * EDGE_ZEROS * count <= length <= count * COLUMN_SAMPLES + (
        count - 1) * BURST_SILENCE
    return count if whole else None


def check_pixel_rows(failures, group_samples, masks, first):
    """Each column sounds the tones of exactly its lit pixel rows (columns played apart only)."""
    bursts = sound_segments(group_samples, BURST_SILENCE)
    if len(bursts) != len(masks):
        log("columns %d..%d: some were played without a pause, their rows are not told apart" % (
            first, first + len(masks) - 1))
        return
    heard = [heard_mask(group_samples[start:end]) for start, end in bursts]
    failures.check(heard == list(masks), "columns %d..%d sounded the pixel rows (6..0) %s, the glyphs light %s"
                   % (first, first + len(masks) - 1, [format(m, "07b") for m in heard],
                      [format(m, "07b") for m in masks]))


def check_first_transmission_sound(failures, samples, columns):
    groups = lit_groups(columns)
    segments = sound_segments(samples, GROUP_SILENCE)
    log("sound: %d segments %s; expected lit groups (first column, count) %s" % (
        len(segments), [(s, e - s) for s, e in segments], groups))
    if not failures.check(len(segments) == len(groups),
                          "heard %d stretches of sound, the glyphs have %d groups of lit columns"
                          % (len(segments), len(groups))):
        return
    for (first, count), (start, end) in zip(groups, segments):
        bursts = [burst_end - burst_start
                  for burst_start, burst_end in sound_segments(samples[start:end], BURST_SILENCE)]
        log("columns %d..%d: sounds of %s samples" % (first, first + count - 1, bursts))
        whole = [columns_in_burst(length) for length in bursts]
        if failures.check(None not in whole and sum(whole) == count,
                          "columns %d..%d were heard as sounds of %s samples, expected %d whole columns of %d"
                          % (first, first + count - 1, bursts, count, COLUMN_SAMPLES)):
            check_pixel_rows(failures, samples[start:end], columns[first:first + count], first)
        longest = count * COLUMN_SAMPLES + (count - 1) * MAX_SWITCH_S * SAMPLE_RATE
        failures.check(end - start <= longest,
                       "columns %d..%d span %d samples, more than %d" % (first, first + count - 1, end - start,
                                                                         longest))
    for (first, count), (next_first, _), (_, end), (next_start, _) in zip(groups, groups[1:], segments,
                                                                         segments[1:]):
        dark = next_first - first - count
        failures.check(next_start - end >= dark * COLUMN_SAMPLES,
                       "the %d dark columns after column %d lasted %d samples, less than %d"
                       % (dark, first + count - 1, next_start - end, dark * COLUMN_SAMPLES))
    span_columns = groups[-1][0] + groups[-1][1] - groups[0][0]
    span = segments[-1][1] - segments[0][0]
    failures.check(span_columns * COLUMN_SAMPLES - 2 * EDGE_ZEROS <= span
                   <= span_columns * (COLUMN_SAMPLES + MAX_SWITCH_S * SAMPLE_RATE),
                   "the sound from the first to the last lit column lasted %d samples for %d columns"
                   % (span, span_columns))


# ----------------------------------------------------------------------------------------------
# Log and settings

DATED = re.compile(r"^(\d\d)\.(\d\d)\.(\d\d) (\d\d):(\d\d):(\d\d)\.(\d\d\d)z (.*)$")
UNDATED = re.compile(r"^(\d\d):(\d\d):(\d\d)\.(\d\d\d)z (.*)$")


def read_log(path):
    """[(dated, datetime or None, seconds of the day, message)], checking the line ends."""
    with open(path, "rb") as logfile:
        data = logfile.read()
    if not data.endswith(b"\r\n"):
        raise AssertionError("Logfile.txt does not end with CR LF")
    lines = data[:-2].split(b"\r\n")
    entries = []
    for raw in lines:
        if b"\n" in raw or b"\r" in raw:
            raise AssertionError("Logfile.txt has a line not ended by CR LF: %r" % raw)
        line = raw.decode("latin-1")
        dated = DATED.match(line)
        if dated:
            day, month, year, hour, minute, second, milli = (int(v) for v in dated.groups()[:7])
            stamp = datetime.datetime(2000 + year, month, day, hour, minute, second, milli * 1000,
                                      tzinfo=datetime.timezone.utc)
            entries.append((True, stamp, hour * 3600 + minute * 60 + second + milli / 1000, dated.group(8)))
            continue
        undated = UNDATED.match(line)
        if not undated:
            raise AssertionError("Logfile.txt line without a time stamp: %r" % line)
        hour, minute, second, milli = (int(v) for v in undated.groups()[:4])
        entries.append((False, None, hour * 3600 + minute * 60 + second + milli / 1000, undated.group(5)))
    return entries



def check_log_order(failures, entries):
    """The time of day never runs backwards from one line to the next, except over midnight."""
    for (_, _, earlier, _), (_, _, later, message) in zip(entries, entries[1:]):
        over_midnight = earlier > 86340 and later < 60
        failures.check(later >= earlier or over_midnight,
                       "the log line %r is stamped before the line above it" % message)
