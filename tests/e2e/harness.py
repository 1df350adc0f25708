"""Processes and servers of the end-to-end test, and the program's window reached through AT-SPI.

Every process is ended by its pid; helpers that daemonise or are started by the session bus
become our children (subreaper) so that nothing outlives the test.
"""

import array
import ctypes
import datetime
import os
import random
import re
import select
import shlex
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import tty

SAMPLE_RATE = 11025
SERIAL_DEVICE = "/dev/ttyUSB0"  # the program's device for port number 1 (ComPort=0)

# A private /dev for the program: an overlay on the real one whose only change is the serial
# device, a link to the pseudo-terminal. /dev/pts and /dev/shm are mounts of their own and are
# bound back in. Arguments: pty path, scratch folder, command and its arguments.
PRIVATE_DEV_SCRIPT = r"""
set -e
pty=$1
scratch=$2
shift 2
mkdir -p "$scratch/upper" "$scratch/work" "$scratch/real-dev"
mount --rbind /dev "$scratch/real-dev"
mount -t overlay velmora-e2e-dev -o "lowerdir=/dev,upperdir=$scratch/upper,workdir=$scratch/work" /dev
for sub in pts shm; do mount --rbind "$scratch/real-dev/$sub" "/dev/$sub"; done
ln -s "$pty" %s
exec "$@"
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

def check_private_dev(scratch, serial):
    """Sets the private /dev up once for a command that only reads the link, so that a machine
    without mount namespaces or overlays fails here with the reason."""
    probe_dir = tempfile.mkdtemp(prefix="dev-probe-", dir=scratch)
    probe = subprocess.run(
        ["unshare", "--mount", "--propagation", "private", "sh", "-c", PRIVATE_DEV_SCRIPT, "sh", serial.slave_path,
         probe_dir, "readlink", SERIAL_DEVICE], capture_output=True, text=True, timeout=30)
    if probe.returncode != 0 or probe.stdout.strip() != serial.slave_path:
        raise RuntimeError("the private /dev that shows the pseudo-terminal as %s cannot be set up here: %s%s"
                           % (SERIAL_DEVICE, probe.stdout.strip(), probe.stderr.strip()))


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
