#!/usr/bin/python3
"""End-to-end test of the real velmora program.

Runs the program under a virtual X server with its own session bus, drives the window through
its accessibility names (AT-SPI), captures what it plays on the "radio" null sink of a private
PulseAudio server, and records what it writes to its serial port, which is a pseudo-terminal
that a private mount namespace shows as /dev/ttyUSB0.

Exit status: 0 passed, 1 failed, 77 skipped (with the reason on stderr).
"""

import argparse
import array
import configparser
import ctypes
import datetime
import math
import os
import random
import re
import select
import shlex
import shutil
import socket
import signal
import subprocess
import sys
import tempfile
import threading
import time
import tty

SKIPPED = 77
SAMPLE_RATE = 11025
COLUMN_MS = 300
COLUMN_SAMPLES = COLUMN_MS * SAMPLE_RATE // 1000  # 3307
KEY_BYTES = bytes.fromhex("A1B2")
UNKEY_BYTES = bytes.fromhex("C3D4")
FONT_FILE_NAME = "5x7 (International).txt"
SERIAL_DEVICE = "/dev/ttyUSB0"  # the program's device for port number 1 (ComPort=0)
WHOLE_RUN_LIMIT_S = 240

FIRST_TEXT = "TEST"
STOPPED_TEXT = "STOP THIS LONGER TEXT"
KILLED_TEXT = "SIGTERM ENDS THIS"

# The settings the program starts with. The foreign section must survive the program's save.
INITIAL_SETTINGS = """\
[Velmora]
OutputDevice=Test Radio
Concurrent=1
Skip=0
MaxAvgPwr=0
Frequency=1000
Offset=10
Duration=300
Text=FROM THE FILE
Loop=0
PilotTone=0
Reverse=0
Interval=0
UsePTTControl=1
ComPort=0
Baudrate=2
Databits=1
Stopbits=0
Parity=2
CAT=1
RTS=0
TXCommand=a1b2
RXCommand=C3D4
TXDelay=0

[Station]
Callsign=DL0TST
"""

ALL_SETTING_KEYS = [
    "OutputDevice", "Concurrent", "Skip", "MaxAvgPwr", "Frequency", "Offset", "Duration", "Text", "Loop",
    "PilotTone", "Reverse", "Interval", "UsePTTControl", "ComPort", "Baudrate", "Databits", "Stopbits",
    "Parity", "CAT", "RTS", "TXCommand", "RXCommand", "TXDelay",
]

# A private /dev for the program: an overlay on the real one whose only change is the serial
# device, a link to the pseudo-terminal. /dev/pts and /dev/shm are mounts of their own and are
# bound back in. Arguments: pty path, scratch folder, program.
PRIVATE_DEV_SCRIPT = r"""
set -e
scratch=$2
mkdir -p "$scratch/upper" "$scratch/work" "$scratch/real-dev"
mount --rbind /dev "$scratch/real-dev"
mount -t overlay velmora-e2e-dev -o "lowerdir=/dev,upperdir=$scratch/upper,workdir=$scratch/work" /dev
for sub in pts shm; do mount --rbind "$scratch/real-dev/$sub" "/dev/$sub"; done
ln -s "$1" %s
exec "$3"
""" % SERIAL_DEVICE


class SkipTest(Exception):
    pass


class Failures:
    """Collects failed checks so that one run reports all of them."""

    def __init__(self):
        self.messages = []

    def check(self, condition, message):
        if not condition:
            self.messages.append(message)
            print("FAIL: " + message, flush=True)
        return condition


def log(message):
    print("[%7.2f] %s" % (time.monotonic() - STARTED, message), flush=True)


STARTED = time.monotonic()


# ----------------------------------------------------------------------------------------------
# Processes

LIBC = ctypes.CDLL(None, use_errno=True)
PR_SET_PDEATHSIG = 1
PR_SET_CHILD_SUBREAPER = 36


def become_subreaper():
    """Orphaned descendants (bus-activated helpers, daemonised servers) become our children."""
    if LIBC.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        log("prctl(PR_SET_CHILD_SUBREAPER) failed; helpers may outlive the test")


def die_with_parent():
    """For Popen's preexec_fn: the child gets SIGTERM should this test die without cleaning up."""
    LIBC.prctl(PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


def own_children():
    """Pids of the processes whose parent is this process."""
    me = os.getpid()
    children = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[1]) == me and fields[0] != "Z":
            children.append(int(entry))
    return children


def reap_zombies():
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return


def end_process(process, name, grace_s=3.0):
    """SIGTERM, then SIGKILL after the grace time, for one subprocess.Popen."""
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(grace_s)
    except subprocess.TimeoutExpired:
        log("%s ignored SIGTERM; killing it" % name)
        process.kill()
        process.wait()


def end_remaining_children():
    """Ends every process still parented to us, by pid, SIGTERM first."""
    reap_zombies()
    pids = own_children()
    for pid in pids:
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
    deadline = time.monotonic() + 3
    while pids and time.monotonic() < deadline:
        reap_zombies()
        pids = [pid for pid in pids if pid in own_children()]
        time.sleep(0.05)
    for pid in pids:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    time.sleep(0.1)
    reap_zombies()


# ----------------------------------------------------------------------------------------------
# Serial port: a pseudo-terminal whose master side we read

class SerialRecorder:
    """Records every byte written to the slave side, with its arrival time (monotonic)."""

    def __init__(self):
        self.master, slave = os.openpty()
        tty.setraw(slave)
        self.slave_path = os.ttyname(slave)
        # Not kept open: the program opens the device exclusively.
        os.close(slave)
        self.chunks = []
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while not self.stopping.is_set():
            ready, _, _ = select.select([self.master], [], [], 0.05)
            if not ready:
                continue
            try:
                data = os.read(self.master, 4096)
            except OSError:
                # EIO while nobody holds the slave side open: wait for the next open.
                time.sleep(0.01)
                continue
            if data:
                with self.lock:
                    self.chunks.append((time.monotonic(), data))

    def data(self):
        with self.lock:
            return b"".join(chunk for _, chunk in self.chunks)

    def arrival_of(self, byte_index):
        """Monotonic time at which the byte with this index arrived."""
        with self.lock:
            seen = 0
            for when, chunk in self.chunks:
                seen += len(chunk)
                if byte_index < seen:
                    return when
        return None

    def close(self):
        self.stopping.set()
        self.thread.join(2)
        os.close(self.master)


# ----------------------------------------------------------------------------------------------
# Environment: sound server, X server, session bus

class Environment:
    def __init__(self, scripts_dir, scratch):
        self.scripts_dir = scripts_dir
        self.scratch = scratch
        self.pulse_dir = None
        self.xvfb = None
        self.bus = None
        self.runtime_dir = os.path.join(scratch, "runtime")
        os.mkdir(self.runtime_dir, 0o700)
        self.env = dict(os.environ)

    def start_sound_server(self):
        if os.environ.get("PULSE_SERVER"):
            log("using the sound server at %s" % os.environ["PULSE_SERVER"])
        else:
            script = os.path.join(self.scripts_dir, "pulse-test-server.sh")
            self.pulse_dir = os.path.join(self.scratch, "pulse")
            try:
                started = subprocess.run([script, "start", self.pulse_dir], capture_output=True, text=True,
                                         timeout=30)
                problem = started.stderr.strip() if started.returncode != 0 else ""
            except OSError as error:
                problem = str(error)
            if problem:
                self.pulse_dir = None
                reason = "PULSE_SERVER is not set and no PulseAudio test server could be started: " + problem
                if os.environ.get("VELMORA_REQUIRE_PULSE") == "1":
                    raise RuntimeError(reason)
                raise SkipTest(reason)
            for name, value in re.findall(r"^export (\w+)=(.*)$", started.stdout, re.M):
                self.env[name] = shlex.split(value)[0]
            log("started a sound server at %s" % self.env["PULSE_SERVER"])
        sinks = subprocess.run(["pactl", "list", "short", "sinks"], env=self.env, capture_output=True, text=True,
                               timeout=10).stdout
        radio = [line for line in sinks.splitlines() if line.split("\t")[1:2] == ["radio"]]
        if not radio or "1ch 11025Hz" not in radio[0]:
            raise RuntimeError("the sound server has no 11025 Hz mono sink named radio:\n" + sinks)

    def stop_sound_server(self):
        if self.pulse_dir:
            script = os.path.join(self.scripts_dir, "pulse-test-server.sh")
            subprocess.run([script, "stop", self.pulse_dir], capture_output=True, timeout=30)

    def start_x_server(self):
        # Numbers far from the usual :0 and :99 keep clear of other X servers on the machine.
        numbers = random.Random(os.getpid()).sample(range(200, 900), 5)
        for number in numbers:
            if os.path.exists("/tmp/.X%d-lock" % number):
                continue
            if self._try_x_server(number):
                self.env["DISPLAY"] = ":%d" % number
                log("Xvfb on display :%d" % number)
                return
        raise RuntimeError("Xvfb did not start on any of the displays %s (see xvfb.log)" % numbers)

    def _try_x_server(self, number):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            # -noreset: without it the server resets whenever its last client leaves (our probe, the
            # accessibility library's display check), and a client connecting meanwhile is refused.
            ["Xvfb", ":%d" % number, "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp", "-noreset"], pass_fds=[write_end], stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.scratch, "xvfb.log"), "a"), preexec_fn=die_with_parent)
        os.close(write_end)
        # Xvfb may write the number and its line end separately; it dies if the pipe closes between.
        reported = b""
        deadline = time.monotonic() + 15
        while not reported.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 0.5)
            chunk = os.read(read_end, 64) if ready else b""
            if ready and not chunk:
                break
            reported += chunk
        os.close(read_end)
        if reported.strip() == str(number).encode() and self.x_server_answers(number):
            return True
        end_process(self.xvfb, "Xvfb")
        return False

    def x_server_answers(self, number):
        if self.xvfb is None or self.xvfb.poll() is not None:
            return False
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as probe:
            try:
                probe.connect("/tmp/.X11-unix/X%d" % number)
            except OSError:
                return False
        return True

    def check_x_server(self):
        """Fails with a reason when the X server has gone away meanwhile."""
        number = int(self.env["DISPLAY"][1:])
        if not self.x_server_answers(number):
            raise RuntimeError("the X server on :%d is gone (exit status %s; see xvfb.log)"
                               % (number, self.xvfb.poll()))

    def start_session_bus(self):
        # A runtime folder of our own keeps the accessibility bus apart from any other session's.
        self.env["XDG_RUNTIME_DIR"] = self.runtime_dir
        self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=self.env,
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)
        ready, _, _ = select.select([self.bus.stdout], [], [], 15)
        address = self.bus.stdout.readline().decode().strip() if ready else ""
        if not address:
            raise RuntimeError("dbus-daemon did not report its address")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        # pyatspi, imported later, talks to this bus.
        for name in ("DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "XDG_RUNTIME_DIR"):
            os.environ[name] = self.env[name]

    def program_environment(self):
        env = dict(self.env)
        env.update(QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   XDG_RUNTIME_DIR=self.runtime_dir,
                   # Far from UTC, so that a log stamped in local time shows.
                   TZ="VLM-5:30")
        return env

    def close(self):
        end_process(self.bus, "dbus-daemon")
        end_process(self.xvfb, "Xvfb")
        self.stop_sound_server()


# ----------------------------------------------------------------------------------------------
# Capture of the radio sink

class Capture:
    def __init__(self, env, path):
        self.path = path
        self.output = open(path, "wb")
        self.process = subprocess.Popen(
            ["parec", "-d", "radio.monitor", "--raw", "--rate=%d" % SAMPLE_RATE, "--channels=1", "--format=s16le",
             "--latency-msec=20"], env=env, stdout=self.output, stderr=subprocess.DEVNULL,
            preexec_fn=die_with_parent)
        deadline = time.monotonic() + 10
        while os.path.getsize(path) == 0:
            if time.monotonic() > deadline or self.process.poll() is not None:
                raise RuntimeError("parec delivered nothing from radio.monitor")
            time.sleep(0.02)

    def finish(self):
        # parec ignores SIGINT in the background; SIGTERM ends it cleanly.
        end_process(self.process, "parec")
        self.output.close()
        samples = array.array("h")
        with open(self.path, "rb") as raw:
            data = raw.read()
        samples.frombytes(data[: len(data) // 2 * 2])
        if sys.byteorder != "little":
            samples.byteswap()
        return samples


# ----------------------------------------------------------------------------------------------
# The program and its window

class Program:
    def __init__(self, environment, program_path, workdir, serial):
        environment.check_x_server()
        self.scratch = tempfile.mkdtemp(prefix="dev-", dir=environment.scratch)
        self.stderr_path = os.path.join(self.scratch, "program.log")
        self.started_utc = datetime.datetime.now(datetime.timezone.utc)
        self.process = subprocess.Popen(
            ["unshare", "--mount", "--propagation", "private", "sh", "-c", PRIVATE_DEV_SCRIPT, "sh",
             serial.slave_path, self.scratch, program_path],
            cwd=workdir, env=environment.program_environment(), stdin=subprocess.DEVNULL,
            stdout=open(self.stderr_path, "w"), stderr=subprocess.STDOUT, preexec_fn=die_with_parent)

    def output(self):
        with open(self.stderr_path, errors="replace") as out:
            return out.read()

    def close(self):
        end_process(self.process, "the program")


class Window:
    """The program's main window, reached through AT-SPI by accessible names."""

    def __init__(self, pid, failures, timeout_s=30):
        import pyatspi  # needs the session bus address in the environment
        self.atspi = pyatspi
        self.failures = failures
        self.pid = pid
        self.nodes = {}
        deadline = time.monotonic() + timeout_s
        self.frame = None
        while self.frame is None:
            self.frame = self._main_window()
            if self.frame is None:
                if time.monotonic() > deadline:
                    raise RuntimeError("no window titled Velmora with a Transmit button appeared within %d s"
                                       % timeout_s)
                time.sleep(0.2)

    def _main_window(self):
        """The top-level window titled Velmora that holds "Transmit" (message boxes share the title)."""
        app = self._application()
        if app is None:
            return None
        for child in app:
            if child is None or child.name != "Velmora":
                continue
            if self.atspi.findDescendant(child, lambda n: n is not None and n.name == "Transmit"):
                return child
        return None

    def _application(self):
        for app in self.atspi.Registry.getDesktop(0):
            try:
                if app is not None and app.get_process_id() == self.pid:
                    return app
            except Exception:  # an application that left the bus meanwhile
                continue
        return None

    def find(self, name, roles):
        key = (name, roles)
        if key not in self.nodes:
            node = self.atspi.findDescendant(self.frame, lambda n: n is not None and n.name == name
                                             and n.getRoleName() in roles)
            if node is None:
                raise RuntimeError("the window has no %s named %r" % (" or ".join(roles), name))
            self.nodes[key] = node
        return self.nodes[key]

    def button(self, name):
        return self.find(name, ("push button",))

    def press(self, name):
        node = self.button(name)
        action = node.queryAction()
        for index in range(action.nActions):
            if action.getName(index) in ("Press", "press", "click"):
                action.doAction(index)
                return
        action.doAction(0)

    def is_enabled(self, node):
        state = node.getState()
        return state.contains(self.atspi.STATE_ENABLED) and state.contains(self.atspi.STATE_SENSITIVE)

    def set_text(self, name, text):
        node = self.find(name, ("text", "entry", "paragraph"))
        node.queryEditableText().setTextContents(text)
        shown = node.queryText().getText(0, -1)
        if shown != text:
            raise RuntimeError("%r shows %r after setting %r" % (name, shown, text))

    def text_of(self, name):
        """The text a status field shows, or None when it is not readable through AT-SPI."""
        if name not in self.nodes:
            node = self.atspi.findDescendant(self.frame, lambda n: n is not None and n.name == name
                                             and n.getRoleName() != "label")
            if node is None:
                node = self.atspi.findDescendant(self.frame, lambda n: n is not None and n.name == name)
            self.nodes[name] = node
        node = self.nodes[name]
        if node is None:
            return None
        try:
            return node.queryText().getText(0, -1)
        except NotImplementedError:
            return node.description or None

    def message_boxes(self):
        """Texts of the dialogs the program shows besides its main window."""
        app = self._application()
        boxes = []
        if app is None:
            return boxes
        for child in app:
            if child is None or child.getRoleName() not in ("dialog", "alert") or child == self.frame:
                continue
            texts = []
            for node in self.atspi.findAllDescendants(child, lambda n: n.getRoleName() == "label"):
                texts.append(node.name)
            boxes.append("%s: %s" % (child.name, " / ".join(texts)))
        return boxes

    def menu_item(self, path):
        node = self.frame
        for name in path:
            node = self.atspi.findDescendant(node, lambda n, wanted=name: n is not None and n.name == wanted
                                             and n.getRoleName() in ("menu", "menu item"))
            if node is None:
                raise RuntimeError("no menu entry %s" % " > ".join(path))
        return node

    def choose_menu(self, path):
        self.menu_item(path).queryAction().doAction(0)

    def wait_until(self, condition, timeout_s, what, poll_s=0.05):
        """Polls the condition; reports any dialog that appears while waiting."""
        deadline = time.monotonic() + timeout_s
        while True:
            if condition():
                return True
            boxes = self.message_boxes()
            if boxes:
                self.failures.check(False, "unexpected dialog while waiting for %s: %s" % (what, boxes))
                return False
            if time.monotonic() > deadline:
                self.failures.check(False, "timed out after %.1f s waiting for %s" % (timeout_s, what))
                return False
            time.sleep(poll_s)


# ----------------------------------------------------------------------------------------------
# Expectations from the font, and analysis of the captured sound

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


def start_line(text):
    return "Starting text transmission (%s, C/MT, 1000/10 Hz, 300ms, no pilot tone)" % text


def read_settings(path):
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    parser.optionxform = str
    parser.read(path, encoding="latin-1")
    return parser


def check_settings(failures, path, text, when):
    settings = read_settings(path)
    if not failures.check(settings.has_section("Velmora"), "%s: Velmora.ini has no [Velmora] section" % when):
        return
    section = settings["Velmora"]
    missing = [key for key in ALL_SETTING_KEYS if key not in section]
    failures.check(not missing, "%s: Velmora.ini lacks %s" % (when, missing))
    expected = {
        "OutputDevice": "Test Radio", "Concurrent": "1", "Skip": "0", "MaxAvgPwr": "0", "Frequency": "1000",
        "Offset": "10", "Duration": "300", "Text": text, "Loop": "0", "PilotTone": "0", "Reverse": "0",
        "Interval": "0", "UsePTTControl": "1", "ComPort": "0", "Baudrate": "2", "Databits": "1", "Stopbits": "0",
        "Parity": "2", "CAT": "1", "RTS": "0",
        # The keying command was used, so it is saved upper-cased.
        "TXCommand": "A1B2", "RXCommand": "C3D4", "TXDelay": "0",
    }
    for key, value in expected.items():
        if key in section:
            failures.check(section[key] == value, "%s: Velmora.ini has %s=%s, expected %s"
                           % (when, key, section[key], value))
    failures.check(settings.has_section("Station") and settings["Station"].get("Callsign") == "DL0TST",
                   "%s: the foreign [Station] section of Velmora.ini was not kept" % when)


def check_serial(failures, data, transmissions, when):
    expected = (KEY_BYTES + UNKEY_BYTES) * transmissions
    failures.check(data == expected, "%s: the serial port received %s, expected %s"
                   % (when, data.hex(" ").upper() or "nothing", expected.hex(" ").upper()))


# ----------------------------------------------------------------------------------------------
# Scenario

def wait_for_busy(window, what):
    transmit, stop = window.button("Transmit"), window.button("Stop")
    return window.wait_until(lambda: not window.is_enabled(transmit) and window.is_enabled(stop), 3,
                             "the busy state after %s" % what)


def wait_for_idle(window, timeout_s, what):
    transmit, stop = window.button("Transmit"), window.button("Stop")
    return window.wait_until(lambda: window.is_enabled(transmit) and not window.is_enabled(stop), timeout_s,
                             "the idle state after %s" % what)


def first_transmission(failures, env, window, serial, font, scratch):
    """A whole text: keyed, heard column by column, unkeyed, and the window idle again."""
    columns = column_masks(font, FIRST_TEXT)
    failures.check(any(columns), "the font gives %r no lit column; the sound cannot be checked" % FIRST_TEXT)
    window.set_text("Text to send", FIRST_TEXT)
    capture = Capture(env, os.path.join(scratch, "first.raw"))
    serial_before = len(serial.data())
    pressed = time.monotonic()
    window.press("Transmit")
    wait_for_busy(window, "Transmit")
    # The count-down while the text is sent.
    shown = []
    transmit = window.button("Transmit")
    nominal_s = len(columns) * COLUMN_MS / 1000
    deadline = pressed + nominal_s * 2 + 5
    while not window.is_enabled(transmit) and time.monotonic() < deadline:
        value = window.text_of("Time remaining")
        if window.is_enabled(transmit):
            break  # the idle window shows the whole text's time again
        if value is not None and (not shown or shown[-1] != value):
            shown.append(value)
        time.sleep(0.05)
    ended = time.monotonic()
    wait_for_idle(window, 1, "the first transmission")
    time.sleep(0.3)
    samples = capture.finish()
    log("first transmission: %.2f s from Transmit to idle; time remaining showed %s" % (ended - pressed, shown))
    failures.check(nominal_s <= ended - pressed <= nominal_s + len(columns) * MAX_SWITCH_S + 2,
                   "the %d columns of %r took %.2f s from Transmit to idle, nominally %.1f s"
                   % (len(columns), FIRST_TEXT, ended - pressed, nominal_s))
    check_count_down(failures, shown, len(columns))
    check_first_transmission_sound(failures, samples, columns)
    key_at = serial.arrival_of(serial_before)
    unkey_at = serial.arrival_of(serial_before + len(KEY_BYTES))
    if failures.check(key_at is not None and unkey_at is not None, "the first transmission was not keyed and unkeyed"):
        failures.check(key_at - pressed < 1.0, "keying came %.2f s after Transmit" % (key_at - pressed))
        failures.check(unkey_at - key_at >= nominal_s,
                       "the transmitter was keyed for %.2f s only, the text lasts %.1f s" % (unkey_at - key_at,
                                                                                              nominal_s))
        failures.check(unkey_at <= ended + 0.5, "unkeying came %.2f s after the window was idle" % (unkey_at - ended))


def check_count_down(failures, shown, column_count):
    """The busy window counts whole seconds down from the text's length to nothing."""
    pattern = re.compile(r"^\((\d+)h:(\d\d)m:(\d\d)s\)$")
    seconds = []
    for value in shown:
        match = pattern.match(value)
        if not failures.check(match is not None, "time remaining showed %r" % value):
            return
        hours, minutes, secs = (int(v) for v in match.groups())
        seconds.append(hours * 3600 + minutes * 60 + secs)
    if not failures.check(len(seconds) >= 3, "time remaining showed too few values while sending: %s" % shown):
        return
    first = int(column_count * COLUMN_MS / 1000)
    failures.check(seconds[0] == first, "the count-down began at %d s, expected %d s" % (seconds[0], first))
    failures.check(all(a > b for a, b in zip(seconds, seconds[1:])), "the count-down did not fall: %s" % shown)
    failures.check(seconds[-1] <= 1, "the count-down ended at %d s" % seconds[-1])


def stopped_transmission(failures, env, window, serial, scratch):
    """"Stop" during a longer text: unkeyed at once, the sound ends, the window is idle."""
    window.set_text("Text to send", STOPPED_TEXT)
    capture = Capture(env, os.path.join(scratch, "stopped.raw"))
    serial_before = len(serial.data())
    pressed = time.monotonic()
    window.press("Transmit")
    wait_for_busy(window, "the second Transmit")
    # Into the second character.
    time.sleep(2.6)
    stop_pressed = time.monotonic()
    window.press("Stop")
    wait_for_idle(window, 1, "Stop")
    idle_at = time.monotonic()
    time.sleep(0.8)
    samples = capture.finish()
    log("Stop: idle %.2f s after Stop" % (idle_at - stop_pressed))
    unkey_at = serial.arrival_of(serial_before + len(KEY_BYTES))
    if unkey_at is not None:
        log("Stop: unkeying bytes arrived %.3f s after Stop" % (unkey_at - stop_pressed))
    if failures.check(unkey_at is not None, "Stop did not unkey the transmitter"):
        failures.check(0 <= unkey_at - stop_pressed <= 0.3, "unkeying came %.2f s after Stop"
                       % (unkey_at - stop_pressed))
    segments = sound_segments(samples, BURST_SILENCE)
    if failures.check(segments, "nothing was heard of the stopped transmission"):
        heard_s = (segments[-1][1] - segments[0][0]) / SAMPLE_RATE
        failures.check(heard_s <= stop_pressed - pressed + 0.4,
                       "sound went on for %.2f s, Stop came %.2f s after Transmit" % (heard_s,
                                                                                      stop_pressed - pressed))


def close_through_menu(failures, window, program):
    window.choose_menu(["File", "Exit"])
    try:
        code = program.process.wait(10)
        failures.check(code == 0, "the program ended with status %d after File > Exit" % code)
    except subprocess.TimeoutExpired:
        failures.check(False, "File > Exit did not end the program within 10 s")


def check_first_session_log(failures, entries, started_utc):
    messages = [(dated, message) for dated, _, _, message in entries]
    expected_head = [(True, "Program startup"), (False, start_line(FIRST_TEXT)),
                     (False, "Terminating text transmission (sent text: %s)" % FIRST_TEXT),
                     (False, start_line(STOPPED_TEXT))]
    failures.check(messages[:4] == expected_head, "the log begins %s, expected %s" % (messages[:4], expected_head))
    if len(messages) >= 8:
        stopped = re.match(r"^Terminating text transmission \(sent text: (.*)\)$", messages[4][1])
        failures.check(not messages[4][0] and stopped is not None and STOPPED_TEXT.startswith(stopped.group(1))
                       and len(stopped.group(1)) < len(STOPPED_TEXT),
                       "after Stop the log has %r, expected the termination line with the part sent"
                       % (messages[4],))
        failures.check(messages[5:8] == [(False, "Transmission stopped."), (True, "Program termination"), (True, "")],
                       "the first run's log ends %s" % messages[5:])
    else:
        failures.check(False, "the first run logged %d lines: %s" % (len(messages), messages))
    if entries and entries[0][1] is not None:
        skew = abs((entries[0][1] - started_utc).total_seconds())
        failures.check(skew < 10, "Program startup is stamped %s, the program started at %s UTC"
                       % (entries[0][1], started_utc.strftime("%d.%m.%y %H:%M:%S")))


def killed_session(failures, environment, program_path, workdir, serial):
    """SIGTERM during a transmission: unkeyed, settings saved, termination logged."""
    program = Program(environment, program_path, workdir, serial)
    try:
        window = Window(program.process.pid, failures)
        window.set_text("Text to send", KILLED_TEXT)
        serial_before = len(serial.data())
        window.press("Transmit")
        wait_for_busy(window, "Transmit in the second run")
        time.sleep(1.5)
        failures.check(len(serial.data()) == serial_before + len(KEY_BYTES),
                       "the second run's transmission was not keyed (serial: %s)" % serial.data().hex(" "))
        program.process.send_signal(signal.SIGTERM)
        killed_at = time.monotonic()
        try:
            code = program.process.wait(10)
            log("SIGTERM: the program ended after %.2f s with status %d" % (time.monotonic() - killed_at, code))
            failures.check(code in (0, -signal.SIGTERM), "after SIGTERM the program ended with status %d" % code)
        except subprocess.TimeoutExpired:
            failures.check(False, "the program did not end within 10 s of SIGTERM")
        time.sleep(0.2)
        unkey_at = serial.arrival_of(serial_before + len(KEY_BYTES))
        failures.check(unkey_at is not None and unkey_at >= killed_at,
                       "SIGTERM did not unkey the transmitter (serial: %s)" % serial.data().hex(" "))
    finally:
        program.close()


def check_second_session_log(failures, entries):
    messages = [(dated, message) for dated, _, _, message in entries]
    starts = [index for index, entry in enumerate(messages) if entry == (True, "Program startup")]
    if not failures.check(len(starts) == 2, "the log has %d start-up lines, expected 2" % len(starts)):
        return
    second = messages[starts[1]:]
    failures.check(second[:2] == [(True, "Program startup"), (False, start_line(KILLED_TEXT))],
                   "the second run's log begins %s" % second[:2])
    failures.check(second[-2:] == [(True, "Program termination"), (True, "")],
                   "the log after SIGTERM ends %s, expected Program termination and a date-only line" % second[-2:])
    # The worker may still note how far it came before the process ends.
    allowed = re.compile(r"^Terminating text transmission \(sent text: .*\)$|^Transmission stopped\.$")
    extra = [entry for entry in second[2:-2] if entry[0] or not allowed.match(entry[1])]
    failures.check(not extra, "unexpected lines in the second run's log: %s" % extra)


def check_log_order(failures, entries):
    """The time of day never runs backwards from one line to the next, except over midnight."""
    for (_, _, earlier, _), (_, _, later, message) in zip(entries, entries[1:]):
        over_midnight = earlier > 86340 and later < 60
        failures.check(later >= earlier or over_midnight,
                       "the log line %r is stamped before the line above it" % message)


def show_evidence(scratch, workdir):
    """Prints what the program wrote: its output, its log and its settings."""
    for folder, _, files in sorted(os.walk(scratch)):
        for name in sorted(files):
            if name in ("program.log", "xvfb.log") or (folder == workdir and name in ("Logfile.txt", "Velmora.ini")):
                with open(os.path.join(folder, name), "rb") as evidence:
                    text = evidence.read().decode("latin-1")
                print("--- %s:\n%s" % (os.path.relpath(os.path.join(folder, name), scratch), text))


def run(args, failures):
    if os.geteuid() != 0:
        raise SkipTest("the private /dev for the serial device needs root (mount namespace)")
    for tool in ("Xvfb", "dbus-daemon", "parec", "pactl", "unshare"):
        if shutil.which(tool) is None:
            raise SkipTest("%s is not installed" % tool)
    if not os.path.isfile(args.font):
        raise RuntimeError("the font file %s is missing" % args.font)
    font = load_font(args.font)
    become_subreaper()
    scratch = tempfile.mkdtemp(prefix="velmora-e2e-")
    workdir = os.path.join(scratch, "station")
    os.mkdir(workdir)
    with open(os.path.join(workdir, "Velmora.ini"), "w") as ini:
        ini.write(INITIAL_SETTINGS)
    # The program looks for its font in its start-up directory first: the test knows its glyphs.
    shutil.copy(args.font, os.path.join(workdir, FONT_FILE_NAME))
    environment = Environment(args.scripts, scratch)
    serial = None
    program = None
    try:
        environment.start_sound_server()
        environment.start_x_server()
        environment.start_session_bus()
        serial = SerialRecorder()
        log("serial device %s shows %s" % (SERIAL_DEVICE, serial.slave_path))

        program = Program(environment, args.program, workdir, serial)
        try:
            window = Window(program.process.pid, failures)
            log("window found")
            first_transmission(failures, environment.env, window, serial, font, scratch)
            stopped_transmission(failures, environment.env, window, serial, scratch)
            close_through_menu(failures, window, program)
        finally:
            program.close()
        log_path = os.path.join(workdir, "Logfile.txt")
        settings_path = os.path.join(workdir, "Velmora.ini")
        check_first_session_log(failures, read_log(log_path), program.started_utc)
        check_log_order(failures, read_log(log_path))
        check_settings(failures, settings_path, STOPPED_TEXT, "after File > Exit")
        check_serial(failures, serial.data(), 2, "after two transmissions")

        killed_session(failures, environment, args.program, workdir, serial)
        check_second_session_log(failures, read_log(log_path))
        check_log_order(failures, read_log(log_path))
        check_settings(failures, settings_path, KILLED_TEXT, "after SIGTERM")
        check_serial(failures, serial.data(), 3, "after SIGTERM")
    except SkipTest:
        raise
    except BaseException as error:  # the reason is reported with the evidence below
        failures.check(False, "%s: %s" % (type(error).__name__, error))
    finally:
        if program is not None:
            program.close()
        if serial is not None:
            serial.close()
        environment.close()
        end_remaining_children()
        if failures.messages:
            show_evidence(scratch, workdir)
        if failures.messages and not args.keep:
            print("scratch folder removed; run with --keep to look at it")
        if args.keep:
            print("kept %s" % scratch)
        else:
            shutil.rmtree(scratch, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True, help="the velmora binary")
    parser.add_argument("--scripts", required=True, help="the folder holding pulse-test-server.sh")
    parser.add_argument("--font", required=True, help="the font file the program is given")
    parser.add_argument("--keep", action="store_true", help="keep the scratch folder")
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)

    def out_of_time(signum, frame):
        raise TimeoutError("the test ran longer than %d s" % WHOLE_RUN_LIMIT_S)

    def terminated(signum, frame):
        raise KeyboardInterrupt("ended by signal %d" % signum)

    signal.signal(signal.SIGALRM, out_of_time)
    signal.signal(signal.SIGTERM, terminated)
    signal.alarm(WHOLE_RUN_LIMIT_S)
    failures = Failures()
    try:
        run(args, failures)
    except SkipTest as skip:
        print("SKIPPED: %s" % skip, file=sys.stderr)
        return SKIPPED
    except (Exception, KeyboardInterrupt) as error:  # every other error is a failure with its reason
        failures.check(False, "%s: %s" % (type(error).__name__, error))
    finally:
        signal.alarm(0)
    if failures.messages:
        print("velmora e2e: %d check(s) failed" % len(failures.messages))
        return 1
    print("velmora e2e: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
