#!/usr/bin/python3
"""End-to-end test of the real velmora program.

Runs the program under a virtual X server with its own session bus, drives the window through
its accessibility names (AT-SPI), captures what it plays on the "radio" null sink of a private
PulseAudio server, and records what it writes to its serial port, which is a pseudo-terminal
that a private mount namespace shows as /dev/ttyUSB0.

Exit status: 0 passed, 1 failed, 77 skipped (with the reason on stderr).
The processes and the window are in harness.py, the reading of sound and log in analysis.py.
"""

import argparse
import configparser
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from analysis import (BURST_SILENCE, COLUMN_MS, MAX_SWITCH_S, check_first_transmission_sound, check_log_order,
                      column_masks, load_font, read_log, sound_segments)
from harness import (SAMPLE_RATE, SERIAL_DEVICE, Capture, Environment, Failures, Program, SerialRecorder, SkipTest,
                     Window, become_subreaper, check_private_dev, end_remaining_children, log)

SKIPPED = 77
KEY_BYTES = bytes.fromhex("A1B2")
UNKEY_BYTES = bytes.fromhex("C3D4")
FONT_FILE_NAME = "5x7 (International).txt"
WHOLE_RUN_LIMIT_S = 240

FIRST_TEXT = "TEST"
STOPPED_TEXT = "STOP THIS LONGER TEXT"
# Each of these closes the program as its window's close box does; SIGHUP comes when the
# terminal it was started from is closed.
SIGNALLED_SESSIONS = [(signal.SIGTERM, "SIGTERM ENDS THIS"), (signal.SIGHUP, "SIGHUP ENDS THIS"),
                      (signal.SIGQUIT, "SIGQUIT ENDS THIS")]

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
    # Counted as the columns hold the air: a 300 ms column waits for the poll of 100 ms at or
    # after its end, on average 350 ms.
    first = int(column_count * (COLUMN_MS + 50) / 1000)
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


def signalled_session(failures, environment, program_path, workdir, serial, signum, text):
    """A termination signal during a transmission: unkeyed, settings saved, termination logged."""
    name = signal.Signals(signum).name
    program = Program(environment, program_path, workdir, serial)
    try:
        window = Window(program.process.pid, failures)
        window.set_text("Text to send", text)
        serial_before = len(serial.data())
        window.press("Transmit")
        wait_for_busy(window, "Transmit in the %s run" % name)
        time.sleep(1.5)
        failures.check(len(serial.data()) == serial_before + len(KEY_BYTES),
                       "the %s run's transmission was not keyed (serial: %s)" % (name, serial.data().hex(" ")))
        program.process.send_signal(signum)
        killed_at = time.monotonic()
        try:
            code = program.process.wait(10)
            log("%s: the program ended after %.2f s with status %d" % (name, time.monotonic() - killed_at, code))
            failures.check(code == 0, "after %s the program ended with status %d" % (name, code))
        except subprocess.TimeoutExpired:
            failures.check(False, "the program did not end within 10 s of %s" % name)
        time.sleep(0.2)
        unkey_at = serial.arrival_of(serial_before + len(KEY_BYTES))
        failures.check(unkey_at is not None and unkey_at >= killed_at,
                       "%s did not unkey the transmitter (serial: %s)" % (name, serial.data().hex(" ")))
    finally:
        program.close()


def check_signalled_session_log(failures, entries, runs, signum, text):
    """The log of the last of `runs` runs, which a signal ended."""
    name = signal.Signals(signum).name
    messages = [(dated, message) for dated, _, _, message in entries]
    starts = [index for index, entry in enumerate(messages) if entry == (True, "Program startup")]
    if not failures.check(len(starts) == runs, "the log has %d start-up lines, expected %d" % (len(starts), runs)):
        return
    last = messages[starts[-1]:]
    failures.check(last[:2] == [(True, "Program startup"), (False, start_line(text))],
                   "the %s run's log begins %s" % (name, last[:2]))
    failures.check(last[-2:] == [(True, "Program termination"), (True, "")],
                   "the log after %s ends %s, expected Program termination and a date-only line" % (name, last[-2:]))
    # The worker is stopped and waited for first, and notes how far it came.
    worker = last[2:-2]
    sent = re.match(r"^Terminating text transmission \(sent text: (.*)\)$", worker[0][1]) if worker else None
    failures.check(len(worker) == 2 and sent is not None and text.startswith(sent.group(1))
                   and worker[1] == (False, "Transmission stopped."),
                   "before its termination lines the %s run logged %s, expected the worker's stop" % (name, worker))


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
        check_private_dev(scratch, serial)
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

        for run_index, (signum, text) in enumerate(SIGNALLED_SESSIONS):
            name = signal.Signals(signum).name
            signalled_session(failures, environment, args.program, workdir, serial, signum, text)
            check_signalled_session_log(failures, read_log(log_path), run_index + 2, signum, text)
            check_log_order(failures, read_log(log_path))
            check_settings(failures, settings_path, text, "after " + name)
            check_serial(failures, serial.data(), run_index + 3, "after " + name)
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
