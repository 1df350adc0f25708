#!/usr/bin/python3
"""The ways out of velmora-render and velmora that must leave the transmitter unkeyed: SIGKILL while
keyed (the guard), a normal end, SIGQUIT, a closed stderr; the window's viewer, a second SIGTERM under
a box, its X server killed. Exit status: 0 passed, 1 failed, 77 skipped (the reason on stderr)."""

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
from e2e_test import KEY_BYTES, UNKEY_BYTES
from harness import (PRIVATE_DEV_SCRIPT, Environment, Failures, Program, SerialRecorder, SkipTest, Window,
                     become_subreaper, check_private_dev, die_with_parent, end_process, end_remaining_children,
                     log, own_children)

GUARD_LINE = "PTT released by the guard: the program ended while the transmitter was keyed"
TEXT = "EEEEEEEEEEEEEEEEEEEE"
FAKE_VIEWER = '#!/bin/sh\necho $$ > "$0.pid"\nexec sleep 60\n'


class Rigctld:
    """rigctld with the dummy rig on a free port, asked for its PTT over its own protocol."""

    def __init__(self):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        self.process = subprocess.Popen(["rigctld", "-m", "1", "-P", "RIG", "-T", "127.0.0.1", "-t", str(self.port)],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)
        if wait_for(lambda: self.ptt() is not None, 10, 0.05) is None:
            raise RuntimeError("rigctld did not answer")

    def ptt(self):
        try:
            with socket.create_connection(("127.0.0.1", self.port), timeout=1) as connection:
                return connection.sendall(b"t\n") or connection.recv(64).decode().strip() or None
        except OSError:
            return None


class FakeFt817:
    """A Yaesu FT-817 (Hamlib model 1020) on a pseudo-terminal, answering its CAT commands."""

    def __init__(self):
        self.master, slave = os.openpty()
        tty.setraw(slave)
        self.path = os.ttyname(slave)
        os.close(slave)
        self.ptt, self.unkeyed_at, self.stopping = False, None, threading.Event()
        threading.Thread(target=self._serve, daemon=True).start()

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
                    self.unkeyed_at = None if self.ptt else time.monotonic()
                answers = {0xBB: b"\0\0", 0x03: b"\0" * 5, 0xF7: b"\0" if self.ptt else b"\x80"}
                if opcode in answers or opcode in (0x08, 0x88, 0x81, 0xE7, 0xF5):
                    os.write(self.master, answers.get(opcode, b"\0"))


def wait_for(condition, timeout_s, poll_s=0.002):
    """The monotonic time at which condition() first held, or None."""
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        if condition():
            return time.monotonic()
        time.sleep(poll_s)
    return None


def guard_running():
    """A velmora-ptt-guard among our children (orphans become ours: subreaper)."""
    names = subprocess.run(["ps", "-o", "comm=", "-p", ",".join(map(str, own_children())) or "0"],
                           capture_output=True, text=True).stdout
    return "velmora-ptt-gu" in names


def settings_for(keying, text=TEXT):
    return ("[Velmora]\nOutputDevice=Test Radio\nText=%s\nDuration=300\nOffset=10\nInterval=0\nTXDelay=0\n"
            "UsePTTControl=1\n%s\n" % (text, keying))


CAT = "ComPort=0\nBaudrate=2\nDatabits=1\nStopbits=0\nParity=2\nCAT=1\nRTS=0\nTXCommand=A1B2\nRXCommand=C3D4"


def rigctld_keying(rigctld):
    return "Hamlib=1\nHamlibModel=2\nHamlibPort=127.0.0.1:%d" % rigctld.port


class Station:
    """A working folder with its settings, for one run of a program."""

    def __init__(self, env, name, settings, font):
        self.dir = os.path.join(env.scratch, name)
        os.mkdir(self.dir)
        with open(os.path.join(self.dir, "Velmora.ini"), "w") as ini:
            ini.write(settings)
        shutil.copy(font, self.dir)

    def log(self):
        path = os.path.join(self.dir, "Logfile.txt")
        return [entry[3] for entry in read_log(path)] if os.path.exists(path) else []


def start_render(args, env, station, serial=None, loop=True, **popen):
    command = [args.render, "--play", "1", "--key"] + (["--loop"] if loop else [])
    if serial is not None:  # the pty as /dev/ttyUSB0
        dev = tempfile.mkdtemp(prefix="dev-", dir=env.scratch)
        command = ["unshare", "--mount", "--propagation", "private", "sh", "-c", PRIVATE_DEV_SCRIPT, "sh",
                   serial.slave_path, dev] + command
    popen.setdefault("stderr", subprocess.DEVNULL)
    return subprocess.Popen(command, cwd=station.dir, env=env.env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, preexec_fn=die_with_parent, **popen)


def killed_render(failures, args, env, name, keying, keyed, unkeyed_at, target_s, device, serial=None):
    """SIGKILL while keyed: unkeyed by the guard within target_s, logged, our lock file gone."""
    station = Station(env, "render-" + name, settings_for(keying), args.font)
    render = start_render(args, env, station, serial)
    if not failures.check(wait_for(keyed, 10, 0.01) is not None, "%s: velmora-render never keyed" % name):
        return end_process(render, "velmora-render")
    time.sleep(0.3)
    render.kill()
    killed = time.monotonic()
    render.wait()
    if failures.check(wait_for(lambda: unkeyed_at() is not None, 10, 0.01), "%s: still keyed 10 s after SIGKILL" % name):
        log("kill -9 to unkey, %s: %.0f ms" % (name, (unkeyed_at() - killed) * 1000))
        failures.check(unkeyed_at() - killed < target_s, "%s: unkeyed %.3f s after SIGKILL" % (name, unkeyed_at() - killed))
    wait_for(lambda: not guard_running() and GUARD_LINE in station.log(), 3, 0.02)
    failures.check(not guard_running() and GUARD_LINE in station.log(),
                   "%s: the guard is running %s and logged %s" % (name, guard_running(), station.log()))
    lock_file = "/run/lock/LCK.." + os.path.basename(device or "-")
    failures.check(not os.path.exists(lock_file), "%s: %s was left" % (name, lock_file))


def render_runs(failures, args, env, serial, rigctld):
    before = len(serial.data())
    killed_render(failures, args, env, "CAT", CAT, lambda: len(serial.data()) > before,
                  lambda: serial.arrival_of(before + len(KEY_BYTES)), 0.3, serial.slave_path, serial)
    failures.check(serial.data()[before:] == KEY_BYTES + UNKEY_BYTES, "CAT: the port got %s" % serial.data()[before:])
    unkeyed = []

    def rigctld_unkeyed_at():
        if not unkeyed and rigctld.ptt() == "0":
            unkeyed.append(time.monotonic())
        return unkeyed[0] if unkeyed else None

    killed_render(failures, args, env, "rigctld", rigctld_keying(rigctld), lambda: rigctld.ptt() == "1",
                  rigctld_unkeyed_at, 0.3, None)
    rig = FakeFt817()
    killed_render(failures, args, env, "serial Hamlib (FT-817)",
                  "Hamlib=1\nHamlibModel=1020\nHamlibSpeed=9600\nHamlibPort=" + rig.path, lambda: rig.ptt,
                  lambda: rig.unkeyed_at, 3.0, rig.path)
    rig.stopping.set()

    station = Station(env, "render-normal", settings_for(rigctld_keying(rigctld), "EE"), args.font)
    code = start_render(args, env, station, loop=False).wait(60)
    wait_for(lambda: not guard_running(), 2, 0.02)
    failures.check(code == 0 and not guard_running() and not [m for m in station.log() if "guard" in m],
                   "a normal end: exit %d, guard running %s, log %s" % (code, guard_running(), station.log()))

    station = Station(env, "render-sigquit", settings_for(rigctld_keying(rigctld)), args.font)
    render = start_render(args, env, station)
    keyed = wait_for(lambda: rigctld.ptt() == "1", 10, 0.05)
    render.send_signal(signal.SIGQUIT)
    code = render.wait(10)
    failures.check(keyed and code == 130 and rigctld.ptt() == "0", "SIGQUIT: exit %d, PTT %s" % (code, rigctld.ptt()))

    # Progress goes to stderr while keyed, and its reader goes away. Keyed by CAT: Hamlib would
    # ignore SIGPIPE by itself.
    before = len(serial.data())
    station = Station(env, "render-sigpipe", settings_for(CAT, "EEE"), args.font)
    render = start_render(args, env, station, serial, loop=False, stderr=subprocess.PIPE)
    render.stderr.readline()
    render.stderr.close()
    code = render.wait(60)
    failures.check(code == 0 and serial.data()[before:] == KEY_BYTES + UNKEY_BYTES,
                   "a closed stderr: exit %d, the port got %s" % (code, serial.data()[before:]))


def window_signalled_under_box(failures, args, env, serial, rigctld):
    """Keyed through rigctld, a viewer started from the window holds fds 0-2 only (not Hamlib's
    socket). Then rigctld freezes: SIGTERM's unkeying fails inside the close with a box, and a
    second SIGTERM comes while it may be up. The window must end within 5 s of the first."""
    station = Station(env, "window-box", settings_for(rigctld_keying(rigctld)), args.font)
    viewer = os.path.join(tempfile.mkdtemp(prefix="bin-", dir=env.scratch), "notepad")
    with open(viewer, "w") as script:
        script.write(FAKE_VIEWER)
    os.chmod(viewer, 0o755)
    env.env["PATH"] = os.path.dirname(viewer) + ":" + os.environ["PATH"]
    program = Program(env, args.program, station.dir, serial)
    try:
        window = Window(program.process.pid, failures)
        window.press("Transmit")
        if not failures.check(wait_for(lambda: rigctld.ptt() == "1", 10, 0.05), "the window never keyed rigctld"):
            return
        window.choose_menu(["View", "Logfile"])
        if failures.check(wait_for(lambda: os.path.exists(viewer + ".pid"), 5, 0.05), "no viewer started"):
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
        except subprocess.TimeoutExpired:
            failures.check(False, "the window did not end within 5 s of SIGTERM with a box up")
    finally:
        rigctld.process.send_signal(signal.SIGCONT)
        program.close()
    failures.check(wait_for(lambda: rigctld.ptt() == "0", 5, 0.05), "rigctld left keyed by the window")
    failures.check(station.log()[-2:] == ["Program termination", ""] and
                   any(m.startswith("Error unkeying the transmitter through Hamlib") for m in station.log()),
                   "the log after SIGTERM under a box: %s" % station.log())


def window_x_server_killed(failures, args, env, serial):
    """The X server dies under a keyed window: Qt exits, and the program unkeys on its way out."""
    station = Station(env, "window-x", settings_for(CAT), args.font)
    before = len(serial.data())
    program = Program(env, args.program, station.dir, serial)
    try:
        Window(program.process.pid, failures).press("Transmit")
        if not failures.check(wait_for(lambda: len(serial.data()) > before, 10), "the window never keyed the pty"):
            return
        env.xvfb.kill()
        killed = time.monotonic()
        failures.check(program.process.wait(10) == 1, "after its X server died the program ended otherwise")
        if wait_for(lambda: serial.arrival_of(before + len(KEY_BYTES)), 3):
            log("X server killed: unkeyed %.0f ms later" % ((serial.arrival_of(before + 2) - killed) * 1000))
        failures.check(serial.data()[before:] == KEY_BYTES + UNKEY_BYTES, "X server killed: the port got %s"
                       % serial.data()[before:])
    finally:
        program.close()
    failures.check(station.log()[-2:] == ["Program termination", ""] and GUARD_LINE not in station.log(),
                   "the log after the X server died: %s" % station.log())


def run(args, failures):
    if os.geteuid() != 0:
        raise SkipTest("the private /dev for the serial device needs root (mount namespace)")
    for tool in ("Xvfb", "dbus-daemon", "unshare", "rigctld"):
        if shutil.which(tool) is None:
            raise SkipTest("%s is not installed" % tool)
    become_subreaper()
    env = Environment(args.scripts, tempfile.mkdtemp(prefix="velmora-guard-"))
    serial = rigctld = None
    try:
        env.start_sound_server()
        serial = SerialRecorder()
        check_private_dev(env.scratch, serial)
        rigctld = Rigctld()
        render_runs(failures, args, env, serial, rigctld)
        env.start_x_server()
        env.start_session_bus()
        window_signalled_under_box(failures, args, env, serial, rigctld)
        window_x_server_killed(failures, args, env, serial)
    finally:
        if rigctld is not None:
            end_process(rigctld.process, "rigctld")
        if serial is not None:
            serial.close()
        env.close()
        end_remaining_children()
        shutil.rmtree(env.scratch, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    for option in ("program", "render", "scripts", "font"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    args.program, args.render, args.font = (os.path.abspath(path) for path in (args.program, args.render, args.font))
    failures = Failures()
    signal.signal(signal.SIGALRM, lambda *_: (_ for _ in ()).throw(TimeoutError("the test ran longer than 150 s")))
    signal.alarm(150)
    try:
        run(args, failures)
    except SkipTest as skip:
        print("SKIPPED: %s" % skip, file=sys.stderr)
        return 77
    except Exception as error:  # every other error is a failure with its reason
        failures.check(False, "%s: %s" % (type(error).__name__, error))
    finally:
        signal.alarm(0)
    print("velmora guard: %s" % ("%d check(s) failed" % len(failures.messages) if failures.messages else "passed"))
    return 1 if failures.messages else 0


if __name__ == "__main__":
    sys.exit(main())
