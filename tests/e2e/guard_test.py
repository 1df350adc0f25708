#!/usr/bin/python3
"""The ways out of velmora-render and velmora that must leave the transmitter unkeyed.

velmora-render killed with SIGKILL while keyed (CAT on a pseudo-terminal shown as /dev/ttyUSB0
in a private mount namespace; rigctld with Hamlib's dummy rig): the guard unkeys within the
target and logs it. A normal end leaves the guard quiet. SIGPIPE and SIGQUIT on velmora-render.
The window: its X server killed while keyed, a signal while a modal box is up, and the
descriptors a program started from it holds.

Exit status: 0 passed, 1 failed, 77 skipped (with the reason on stderr).
"""

import argparse
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import tty

from analysis import read_log
from e2e_test import INITIAL_SETTINGS, KEY_BYTES, UNKEY_BYTES, wait_for_busy
from harness import (PRIVATE_DEV_SCRIPT, Environment, Failures, Program, SerialRecorder, SkipTest, Window,
                     become_subreaper, check_private_dev, die_with_parent, end_process, end_remaining_children,
                     log, own_children, reap_zombies)

SKIPPED = 77
GUARD_LINE = "PTT released by the guard: the program ended while the transmitter was keyed"
UNKEY_TARGET_S = 0.3
TEXT = "EEEEEEEEEEEEEEEEEEEE"


class Rigctld:
    """rigctld with the dummy rig on a free port; ptt() asks it over its own protocol."""

    def __init__(self):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        self.process = subprocess.Popen(["rigctld", "-m", "1", "-P", "RIG", "-T", "127.0.0.1", "-t",
                                         str(self.port)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        preexec_fn=die_with_parent)
        deadline = time.monotonic() + 10
        while self.ptt() is None:
            if time.monotonic() > deadline:
                raise RuntimeError("rigctld did not answer")
            time.sleep(0.05)

    def address(self):
        return "127.0.0.1:%d" % self.port

    def ptt(self):
        try:
            with socket.create_connection(("127.0.0.1", self.port), timeout=1) as connection:
                connection.sendall(b"t\n")
                return connection.recv(64).decode().strip() or None
        except OSError:
            return None

    def close(self):
        end_process(self.process, "rigctld")


class FakeFt817:
    """A Yaesu FT-817 (Hamlib model 1020) on a pseudo-terminal: answers its CAT commands and
    keeps the times its PTT was switched."""

    def __init__(self):
        self.master, slave = os.openpty()
        tty.setraw(slave)
        self.path = os.ttyname(slave)
        os.close(slave)
        self.ptt = False
        self.switched = []  # (monotonic time, on)
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        pending = b""
        while not self.stopping.is_set():
            if not select.select([self.master], [], [], 0.05)[0]:
                continue
            try:
                pending += os.read(self.master, 256)
            except OSError:  # nobody holds the slave side open
                time.sleep(0.01)
                continue
            while len(pending) >= 5:
                opcode, pending = pending[4], pending[5:]
                if opcode in (0x08, 0x88):
                    self.ptt = opcode == 0x08
                    self.switched.append((time.monotonic(), self.ptt))
                answers = {0xBB: b"\0\0", 0x03: b"\0" * 5, 0xF7: b"\0" if self.ptt else b"\x80"}
                if opcode in answers or opcode in (0x08, 0x88, 0x81, 0xE7, 0xF5):
                    os.write(self.master, answers.get(opcode, b"\0"))

    def close(self):
        self.stopping.set()
        self.thread.join(2)
        os.close(self.master)


def settings_for(body):
    return "[Velmora]\nOutputDevice=Test Radio\nText=%s\nDuration=300\nOffset=10\nInterval=0\nTXDelay=0\n%s" % (
        TEXT, body)


CAT_SETTINGS = settings_for("UsePTTControl=1\nComPort=0\nBaudrate=2\nDatabits=1\nStopbits=0\nParity=2\nCAT=1\nRTS=0\n"
                            "TXCommand=A1B2\nRXCommand=C3D4\n")


def hamlib_settings(rigctld):
    return settings_for("UsePTTControl=1\nHamlib=1\nHamlibModel=2\nHamlibPort=%s\n" % rigctld.address())


def guard_pids():
    """Our descendants named velmora-ptt-guard (orphans become our children: subreaper)."""
    pids = []
    for pid in own_children():
        try:
            with open("/proc/%d/comm" % pid) as comm:
                if comm.read().strip().startswith("velmora-ptt-gu"):
                    pids.append(pid)
        except OSError:
            pass
    return pids


def wait_for(condition, timeout_s, poll_s=0.002):
    """The monotonic time at which condition() first held, or None."""
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        if condition():
            return time.monotonic()
        time.sleep(poll_s)
    return None


def log_messages(workdir):
    path = os.path.join(workdir, "Logfile.txt")
    return [message for _, _, _, message in read_log(path)] if os.path.exists(path) else []


class Station:
    """A working folder with its settings, for one run."""

    def __init__(self, scratch, name, settings, font):
        self.dir = os.path.join(scratch, name)
        os.mkdir(self.dir)
        with open(os.path.join(self.dir, "Velmora.ini"), "w") as ini:
            ini.write(settings)
        shutil.copy(font, os.path.join(self.dir, os.path.basename(font)))


def render_command(args, serial, scratch, extra):
    command = [args.render, "--play", "1", "--key"] + extra
    if serial is None:
        return command
    dev = tempfile.mkdtemp(prefix="dev-", dir=scratch)
    return ["unshare", "--mount", "--propagation", "private", "sh", "-c", PRIVATE_DEV_SCRIPT, "sh",
            serial.slave_path, dev] + command


def start_render(args, env, station, serial=None, extra=("--loop",), **popen):
    popen.setdefault("stdout", subprocess.DEVNULL)
    popen.setdefault("stderr", subprocess.DEVNULL)
    return subprocess.Popen(render_command(args, serial, env.scratch, list(extra)), cwd=station.dir, env=env.env,
                            stdin=subprocess.DEVNULL, preexec_fn=die_with_parent, **popen)


def killed_render_cat(failures, args, env, serial, font, figures):
    station = Station(env.scratch, "render-cat", CAT_SETTINGS, font)
    before = len(serial.data())
    render = start_render(args, env, station, serial)
    keyed = wait_for(lambda: len(serial.data()) >= before + len(KEY_BYTES), 10)
    if not failures.check(keyed is not None, "velmora-render never keyed the pty (CAT)"):
        return end_process(render, "velmora-render")
    time.sleep(0.5)
    render.kill()
    killed = time.monotonic()
    render.wait()
    unkeyed = wait_for(lambda: len(serial.data()) >= before + len(KEY_BYTES + UNKEY_BYTES), 5)
    data = serial.data()[before:]
    failures.check(data == KEY_BYTES + UNKEY_BYTES, "CAT: the port received %s after SIGKILL" % data.hex(" "))
    if unkeyed is not None:
        figures.append(("CAT, velmora-render", serial.arrival_of(before + len(KEY_BYTES)) - killed))
        failures.check(serial.arrival_of(before + len(KEY_BYTES)) - killed < UNKEY_TARGET_S,
                       "CAT: unkeyed %.3f s after SIGKILL" % (serial.arrival_of(before + 2) - killed))
    wait_for(lambda: not guard_pids(), 3, 0.02)
    failures.check(not guard_pids(), "CAT: the guard did not exit after unkeying")
    failures.check(GUARD_LINE in log_messages(station.dir), "CAT: the guard logged %s" % log_messages(station.dir))
    left = [name for name in os.listdir("/run/lock") if name == "LCK.." + os.path.basename(serial.slave_path)]
    failures.check(not left, "CAT: the lock file %s was left" % left)


def killed_render_serial_hamlib(failures, args, env, font, figures):
    """A serial rig through Hamlib: the guard waits until the device is free, then opens it."""
    rig = FakeFt817()
    try:
        station = Station(env.scratch, "render-ft817", settings_for(
            "UsePTTControl=1\nHamlib=1\nHamlibModel=1020\nHamlibSpeed=9600\nHamlibPort=%s\n" % rig.path), font)
        render = start_render(args, env, station)
        if not failures.check(wait_for(lambda: rig.ptt, 10, 0.01) is not None, "velmora-render never keyed the FT-817"):
            return end_process(render, "velmora-render")
        time.sleep(0.5)
        render.kill()
        killed = time.monotonic()
        render.wait()
        unkeyed = wait_for(lambda: not rig.ptt, 10, 0.01)
        if failures.check(unkeyed is not None, "serial Hamlib: still keyed 10 s after SIGKILL"):
            off = [when for when, on in rig.switched if not on][0]
            figures.append(("serial Hamlib (FT-817), velmora-render", off - killed))
            failures.check(off - killed < 3, "serial Hamlib: unkeyed %.2f s after SIGKILL" % (off - killed))
        wait_for(lambda: GUARD_LINE in log_messages(station.dir), 3, 0.02)
        failures.check(GUARD_LINE in log_messages(station.dir), "serial Hamlib: the guard logged %s"
                       % log_messages(station.dir))
        left = [name for name in os.listdir("/run/lock") if name == "LCK.." + os.path.basename(rig.path)]
        failures.check(not left, "serial Hamlib: the lock file %s was left" % left)
    finally:
        rig.close()


def killed_render_rigctld(failures, args, env, rigctld, font, figures):
    station = Station(env.scratch, "render-rigctld", hamlib_settings(rigctld), font)
    render = start_render(args, env, station)
    if not failures.check(wait_for(lambda: rigctld.ptt() == "1", 10, 0.05) is not None,
                          "velmora-render never keyed rigctld"):
        return end_process(render, "velmora-render")
    render.kill()
    killed = time.monotonic()
    render.wait()
    unkeyed = wait_for(lambda: rigctld.ptt() == "0", 5)
    if failures.check(unkeyed is not None, "rigctld: still keyed 5 s after SIGKILL"):
        figures.append(("rigctld, velmora-render", unkeyed - killed))
        failures.check(unkeyed - killed < UNKEY_TARGET_S, "rigctld: unkeyed %.3f s after SIGKILL" % (unkeyed - killed))
    wait_for(lambda: GUARD_LINE in log_messages(station.dir), 3, 0.02)
    failures.check(GUARD_LINE in log_messages(station.dir), "rigctld: the guard logged %s"
                   % log_messages(station.dir))


def normal_end_and_signals(failures, args, env, rigctld, font):
    """A normal end leaves the guard quiet; SIGQUIT stops as SIGTERM; a closed pipe costs lines only."""
    station = Station(env.scratch, "render-normal", hamlib_settings(rigctld).replace(TEXT, "EE"), font)
    render = start_render(args, env, station, extra=())
    code = render.wait(60)
    failures.check(code == 0, "a normal run of velmora-render ended with %d" % code)
    wait_for(lambda: not guard_pids(), 2, 0.02)
    failures.check(not guard_pids(), "the guard outlived a normal end")
    failures.check(rigctld.ptt() == "0", "rigctld keyed after a normal end")
    failures.check(not [m for m in log_messages(station.dir) if "guard" in m],
                   "after a normal end the log has %s" % log_messages(station.dir))

    station = Station(env.scratch, "render-sigquit", hamlib_settings(rigctld), font)
    render = start_render(args, env, station)
    keyed = wait_for(lambda: rigctld.ptt() == "1", 10, 0.05)
    render.send_signal(signal.SIGQUIT)
    code = render.wait(10)
    failures.check(keyed is not None and code == 130 and rigctld.ptt() == "0",
                   "SIGQUIT: keyed %s, exit %d, PTT %s" % (keyed is not None, code, rigctld.ptt()))

def closed_stderr(failures, args, env, serial, font):
    """Progress goes to stderr while keyed; its reader goes away after one line. Keyed by CAT:
    Hamlib would ignore SIGPIPE by itself."""
    station = Station(env.scratch, "render-sigpipe", CAT_SETTINGS.replace(TEXT, "EEE"), font)
    before = len(serial.data())
    render = start_render(args, env, station, serial, extra=(), stderr=subprocess.PIPE)
    render.stderr.readline()
    render.stderr.close()
    code = render.wait(60)
    data = serial.data()[before:]
    failures.check(code == 0 and data == KEY_BYTES + UNKEY_BYTES,
                   "a closed stderr: exit %d, the port received %s" % (code, data.hex(" ")))


FAKE_VIEWER = """#!/bin/sh
echo $$ > "$0.pid"
exec sleep 60
"""


def window_signalled_under_box(failures, args, env, serial, rigctld):
    """Keyed through rigctld: a viewer started from the window holds fds 0-2 only (not Hamlib's
    socket); then, with rigctld frozen, SIGTERM's unkeying fails inside the close and raises a
    box; a second SIGTERM comes while it is up. The program must end within 5 s of the first."""
    station = Station(env.scratch, "window-box", hamlib_settings(rigctld), args.font)
    viewer_dir = tempfile.mkdtemp(prefix="bin-", dir=env.scratch)
    viewer = os.path.join(viewer_dir, "notepad")
    with open(viewer, "w") as script:
        script.write(FAKE_VIEWER)
    os.chmod(viewer, 0o755)
    env.env["PATH"] = viewer_dir + ":" + os.environ["PATH"]
    program = Program(env, args.program, station.dir, serial)
    try:
        window = Window(program.process.pid, failures)
        window.press("Transmit")
        if not failures.check(wait_for(lambda: rigctld.ptt() == "1", 10, 0.05) is not None,
                              "the window never keyed rigctld"):
            return
        window.choose_menu(["View", "Logfile"])
        if failures.check(wait_for(lambda: os.path.exists(viewer + ".pid"), 5, 0.05) is not None,
                          "View > Logfile did not start the viewer"):
            time.sleep(0.2)
            with open(viewer + ".pid") as pid_file:
                fds = sorted(int(fd) for fd in os.listdir("/proc/%s/fd" % pid_file.read().strip()))
            failures.check(fds == [0, 1, 2], "the viewer started from the window holds descriptors %s" % fds)
        rigctld.process.send_signal(signal.SIGSTOP)
        program.process.send_signal(signal.SIGTERM)
        signalled = time.monotonic()
        time.sleep(1.5)
        program.process.send_signal(signal.SIGTERM)
        try:
            program.process.wait(max(0.1, signalled + 5 - time.monotonic()))
            log("the window ended %.2f s after SIGTERM" % (time.monotonic() - signalled))
        except subprocess.TimeoutExpired:
            failures.check(False, "the window did not end within 5 s of SIGTERM with a box up")
    finally:
        rigctld.process.send_signal(signal.SIGCONT)
        program.close()
    failures.check(wait_for(lambda: rigctld.ptt() == "0", 5, 0.05) is not None, "rigctld left keyed by the window")
    messages = log_messages(station.dir)
    failures.check(messages[-2:] == ["Program termination", ""] and
                   any(m.startswith("Error unkeying the transmitter through Hamlib") for m in messages),
                   "the log after SIGTERM under a box: %s" % messages)


def window_x_server_killed(failures, args, env, serial):
    """The X server dies under a keyed window: Qt exits, and the program unkeys on its way out."""
    station = Station(env.scratch, "window-x", CAT_SETTINGS, args.font)
    before = len(serial.data())
    program = Program(env, args.program, station.dir, serial)
    try:
        window = Window(program.process.pid, failures)
        window.press("Transmit")
        if not failures.check(wait_for(lambda: len(serial.data()) >= before + len(KEY_BYTES), 10) is not None,
                              "the window never keyed the pty"):
            return
        env.xvfb.kill()
        killed = time.monotonic()
        try:
            code = program.process.wait(10)
            failures.check(code == 1, "after the X server died the program ended with %d" % code)
        except subprocess.TimeoutExpired:
            failures.check(False, "the program outlived its X server by 10 s")
        unkeyed = wait_for(lambda: len(serial.data()) >= before + len(KEY_BYTES + UNKEY_BYTES), 3)
        failures.check(serial.data()[before:] == KEY_BYTES + UNKEY_BYTES,
                       "X server killed: the port received %s" % serial.data()[before:].hex(" "))
        if unkeyed is not None:
            log("X server killed: unkeyed %.0f ms later" % ((serial.arrival_of(before + 2) - killed) * 1000))
    finally:
        program.close()
    messages = log_messages(station.dir)
    failures.check(messages[-2:] == ["Program termination", ""] and GUARD_LINE not in messages,
                   "the log after the X server died: %s" % messages)


def run(args, failures):
    if os.geteuid() != 0:
        raise SkipTest("the private /dev for the serial device needs root (mount namespace)")
    for tool in ("Xvfb", "dbus-daemon", "unshare", "rigctld"):
        if shutil.which(tool) is None:
            raise SkipTest("%s is not installed" % tool)
    become_subreaper()
    scratch = tempfile.mkdtemp(prefix="velmora-guard-")
    environment = Environment(args.scripts, scratch)
    serial = rigctld = None
    figures = []
    try:
        environment.start_sound_server()
        serial = SerialRecorder()
        check_private_dev(scratch, serial)
        rigctld = Rigctld()
        killed_render_cat(failures, args, environment, serial, args.font, figures)
        killed_render_rigctld(failures, args, environment, rigctld, args.font, figures)
        killed_render_serial_hamlib(failures, args, environment, args.font, figures)
        normal_end_and_signals(failures, args, environment, rigctld, args.font)
        closed_stderr(failures, args, environment, serial, args.font)
        environment.start_x_server()
        environment.start_session_bus()
        window_signalled_under_box(failures, args, environment, serial, rigctld)
        window_x_server_killed(failures, args, environment, serial)
    finally:
        for name, seconds in figures:
            log("kill -9 to unkey, %s: %.0f ms" % (name, seconds * 1000))
        if rigctld is not None:
            rigctld.close()
        if serial is not None:
            serial.close()
        environment.close()
        end_remaining_children()
        if args.keep:
            print("kept %s" % scratch)
        else:
            shutil.rmtree(scratch, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True, help="the velmora binary")
    parser.add_argument("--render", required=True, help="the velmora-render binary")
    parser.add_argument("--scripts", required=True, help="the folder holding pulse-test-server.sh")
    parser.add_argument("--font", required=True, help="the font file the programs are given")
    parser.add_argument("--keep", action="store_true", help="keep the scratch folder")
    args = parser.parse_args()
    args.program, args.render, args.font = (os.path.abspath(path) for path in (args.program, args.render, args.font))
    failures = Failures()
    signal.signal(signal.SIGALRM, lambda *_: (_ for _ in ()).throw(TimeoutError("the test ran longer than 150 s")))
    signal.alarm(150)
    try:
        run(args, failures)
    except SkipTest as skip:
        print("SKIPPED: %s" % skip, file=sys.stderr)
        return SKIPPED
    except Exception as error:  # every other error is a failure with its reason
        failures.check(False, "%s: %s" % (type(error).__name__, error))
    finally:
        signal.alarm(0)
    if failures.messages:
        print("velmora guard: %d check(s) failed" % len(failures.messages))
        return 1
    print("velmora guard: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
