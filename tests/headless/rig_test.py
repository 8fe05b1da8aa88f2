#!/usr/bin/env python3
"""An example of a test rig for kline-ecu-sim, with Python's standard library
only: it starts the program on a pseudo-terminal, waits for READY, plays a
trip computer on the other end of the line, changes the unit's values
through the program's standard input and checks the answers.

    rig_test.py --program build/headless/kline-ecu-sim [TEST ...]
    rig_test.py --list

For a Windows build under Wine, the program's serial port is a COM port
that Wine maps to the terminal: --map-command runs once with {} replaced by
the terminal's path (it writes the mapping), --device names the port the
program opens (COM5) and --launcher the command that runs the program
(wine, with its environment).
"""
import argparse
import json
import os
import pty
import queue
import select
import shlex
import signal
import subprocess
import sys
import tempfile
import termios
import threading
import time
import tty
import unittest

CONFIG = {"program": None, "launcher": [], "device": None, "signal": "TERM", "timeout": 10.0, "map_command": None}
SHARED_LINE = None  # the terminal that Wine maps, kept for every test


def frame(*data):
    """A request of the tester (address F1) to the unit (11): header, data
    and checksum."""
    body = bytes([0x80 + len(data), 0x11, 0xF1, *data])
    return body + bytes([sum(body) & 0xFF])


def answer(*data):
    """The unit's answer to the tester: short header, data, checksum."""
    body = bytes([0x80 + len(data), 0xF1, 0x11, *data])
    return body + bytes([sum(body) & 0xFF])


START_COMMUNICATION = bytes.fromhex("8111F18104")
STARTED = bytes.fromhex("83F111C16B8F40")


class Line:
    """The trip computer's end of the K-line: the master of a pseudo-terminal
    whose slave the program opens. The slave stays open here too, so that the
    line stays up between the program's runs."""

    def __init__(self):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.slave)
        tty.setraw(self.master)
        self.path = os.ttyname(self.slave)

    def flush(self):
        termios.tcflush(self.master, termios.TCIOFLUSH)

    def send(self, data):
        os.write(self.master, data)

    def receive(self, count, timeout):
        """Up to count bytes, as many as arrive within timeout."""
        data = b""
        end = time.monotonic() + timeout
        while len(data) < count:
            left = end - time.monotonic()
            if left <= 0 or not select.select([self.master], [], [], left)[0]:
                break
            data += os.read(self.master, count - len(data))
        return data

    def unplug(self):
        """The adapter pulled out: both ends go and the slave hangs up."""
        self.close()

    def close(self):
        for fd in (self.master, self.slave):
            if fd >= 0:
                os.close(fd)
        self.master = self.slave = -1


class Sim:
    """The program with its standard input and output. Lines beginning with
    '{' are events and are kept aside; every other line is READY, an answer
    or the summary."""

    def __init__(self, test, line, *args, stdin=subprocess.PIPE, read=True):
        self.line = line
        self.device = CONFIG["device"] or line.path
        command = CONFIG["launcher"] + [CONFIG["program"], "--port", self.device, *args]
        # Standard error goes to a file: a pipe that nobody reads while the
        # program runs would hold up whoever writes to it (Wine's server
        # too, when the program started it).
        self.errors = tempfile.TemporaryFile()
        test.addCleanup(self.errors.close)
        self.process = subprocess.Popen(command, stdin=stdin, stdout=subprocess.PIPE,
                                        stderr=self.errors, bufsize=0)
        test.addCleanup(self.kill)
        self.events = []
        self.lines = queue.Queue()
        if read:
            threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stdout:
            self.lines.put(raw.decode("utf-8").rstrip("\r\n"))
        self.lines.put(None)

    def next_line(self, timeout=None):
        """The next line that is not an event; None at the end of output."""
        end = time.monotonic() + (timeout or CONFIG["timeout"])
        while True:
            try:
                text = self.lines.get(timeout=max(0.0, end - time.monotonic()))
            except queue.Empty:
                raise AssertionError("no line from the program in time")
            if text is not None and text.startswith("{"):
                self.events.append(json.loads(text))
                continue
            return text

    def wait_event(self, wanted, timeout=None):
        """Reads on until an event for which wanted() holds has come."""
        end = time.monotonic() + (timeout or CONFIG["timeout"])
        while not any(wanted(e) for e in self.events):
            try:
                text = self.lines.get(timeout=max(0.0, end - time.monotonic()))
            except queue.Empty:
                raise AssertionError("no such event in time; events: %r" % self.events)
            if text is None or not text.startswith("{"):
                raise AssertionError("unexpected line %r" % text)
            self.events.append(json.loads(text))

    def wait_ready(self):
        ready = self.next_line()
        if ready != "READY " + self.device:
            raise AssertionError("expected READY, got %r; stderr: %s" % (ready, self.stderr()))

    def command(self, text):
        self.process.stdin.write((text + "\n").encode("utf-8"))
        self.process.stdin.flush()
        return self.next_line()

    def request(self, data, count=None, timeout=2.0):
        self.line.send(data)
        return self.line.receive(count or 64, timeout if count else 0.3)

    def finish(self, command="quit", close_input=True):
        """Ends the run with a command (or by closing the input, or not at
        all: the run ends by itself) and returns the summary and the exit
        status."""
        if self.process.stdin and close_input:
            if command:
                self.process.stdin.write((command + "\n").encode("utf-8"))
            self.process.stdin.close()
        summary = None
        while True:
            text = self.next_line(30)
            if text is None:
                break
            if text.startswith("SUMMARY "):
                summary = json.loads(text[len("SUMMARY "):])
        return summary, self.process.wait(30)

    def stderr(self):
        self.errors.seek(0)
        return self.errors.read().decode("utf-8", "replace")

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class RigTest(unittest.TestCase):
    def setUp(self):
        if SHARED_LINE is not None:
            self.line = SHARED_LINE
        else:
            self.line = Line()
            self.addCleanup(self.line.close)
        self.line.flush()
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def path(self, name):
        return os.path.join(self.folder.name, name)

    def own_line(self):
        """A line this test may pull out. Under Wine it is mapped as the COM
        port for this test, and the shared one again afterwards."""
        if SHARED_LINE is None:
            return self.line
        line = Line()
        map_port(line)
        self.addCleanup(map_port, SHARED_LINE)
        self.addCleanup(line.close)
        return line

    def start(self, *args, **kw):
        return self.start_on(self.line, *args, **kw)

    def start_on(self, line, *args, **kw):
        sim = Sim(self, line, *args, **kw)
        sim.wait_ready()
        return sim

    def test_live_data_follows_the_values_set_on_standard_input(self):
        sim = self.start()
        self.assertEqual(sim.request(START_COMMUNICATION, 7), STARTED)
        self.assertEqual(sim.command("set VSS 60"), "OK VSS=60")
        self.assertTrue(sim.command("set RPM 800").startswith("OK RPM="))
        self.assertEqual(sim.request(frame(0x21, 0x06), 18),
                         answer(0x61, 0x06, 0x30, 0, 0, 0x80, 0x0C, 0, 0, 0, 0, 0, 0, 0))
        # Variant 3 reads the speed into data byte 10.
        self.assertEqual(sim.command("variant 3"), "OK variant 3")
        self.assertEqual(sim.request(frame(0x21, 0x06), 15),
                         answer(0x61, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0x30))
        self.assertEqual(sim.command("noanswer on"), "OK noanswer on")
        self.assertEqual(sim.request(frame(0x21, 0x06)), b"")
        summary, status = sim.finish()
        self.assertEqual(status, 0)
        self.assertEqual(summary["end"], "quit")
        self.assertEqual(summary["frames_received"], 4)
        self.assertEqual(summary["answers_sent"], 3)

    def test_start_file_sets_variant_values_and_fault_codes(self):
        start = self.path("start.json")
        with open(start, "w", encoding="utf-8") as f:
            json.dump({"variant": 2, "values": {"IMAP": 101, "ATP": 30, "Ubat": 14, "TOG": 90, "IAT": 35},
                       "faults": ["0300", "0102"]}, f)
        sim = self.start("--start", start)
        sim.request(START_COMMUNICATION, 7)
        # ISO 14230 ReadDataByLocalIdentifier 02 of variant 2: pressure, throttle,
        # voltage, coolant and intake air in data bytes 13, 22, 27, 29 and 31.
        record = [0x61, 0x02] + [0] * 30
        record[13], record[22], record[27], record[29], record[31] = 0x65, 0x4C, 0xC7, 0xB8, 0x6F
        self.assertEqual(sim.request(frame(0x21, 0x02), 36), answer(*record))
        # ReadDiagnosticTroubleCodesByStatus: the ticked codes in list order.
        self.assertEqual(sim.request(bytes.fromhex("8411F11800FF009D"), 12),
                         answer(0x58, 0x02, 0x01, 0x02, 0xE0, 0x03, 0x00, 0xE0))
        self.assertEqual(sim.command("untick all"), "OK nothing ticked")
        self.assertEqual(sim.command("tick #67"), "OK ticked #67 0601")
        self.assertEqual(sim.request(bytes.fromhex("8411F11800FF009D"), 9), answer(0x58, 0x01, 0x06, 0x01, 0xE0))
        self.assertEqual(sim.finish()[1], 0)

    def test_bad_lines_and_bad_texts_are_answered_and_the_run_goes_on(self):
        sim = self.start("--events")
        sim.request(START_COMMUNICATION, 7)
        for bad, reason in [("", "empty line"), ("jump", 'unknown command "jump"'),
                            ("set VSS fast", '"fast" is not a number'), ("variant 9", 'found "9"'),
                            ("tick 9999", "no fault code 9999"), ("rule {\"action\": \"late\"}", "delay_ms"),
                            ("record stop", "no record is running")]:
            text = sim.command(bad)
            self.assertTrue(text.startswith("ERROR ") and reason in text, "%r gave %r" % (bad, text))
        # A text the emulator refuses reaches it unchanged: no answer, and the
        # conversion error as an event line.
        self.assertEqual(sim.command("text TOG 20.5x"), "OK TOG=20.5x")
        self.assertEqual(sim.request(frame(0x21, 0x03)), b"")
        self.assertEqual(sim.command("text TOG 90"), "OK TOG=90")
        self.assertEqual(sim.request(frame(0x21, 0x03), 15)[8], 0xB8)
        counters = json.loads(sim.command("counters")[3:])
        self.assertEqual(counters["conversion_errors"], 1)
        errors = [e for e in sim.events if e["event"] == "error"]
        self.assertEqual(errors, [{"event": "error", "kind": "conversion",
                                   "message": "'20.5x' is not a valid integer value"}])
        frames = [e for e in sim.events if e["event"] in ("rx", "tx")]
        self.assertEqual([e["event"] for e in frames], ["rx", "tx", "rx", "rx", "tx"])
        self.assertEqual(frames[2]["outcome"], "conversion_error")
        self.assertEqual(frames[1]["bytes"], "83 F1 11 C1 6B 8F 40")
        self.assertEqual(sim.finish()[1], 0)

    def test_a_signal_in_the_middle_of_a_record_leaves_a_complete_file(self):
        record = self.path("session.jsonl")
        sim = self.start("--record", record)
        sim.request(START_COMMUNICATION, 7)
        for _ in range(5):
            time.sleep(0.06)
            self.assertEqual(len(sim.request(frame(0x21, 0x01), 13)), 13)
        sim.process.send_signal(getattr(signal, "SIG" + CONFIG["signal"]))
        summary, status = sim.finish(close_input=False)
        self.assertEqual(status, 0)
        self.assertTrue(summary["end"].endswith(CONFIG["signal"]) or summary["end"].startswith("CTRL"), summary)
        self.assertTrue(summary["record"]["written"])
        with open(record, encoding="utf-8") as f:
            rows = [json.loads(text) for text in f]
        frames = [r for r in rows if r.get("dir") in ("rx", "tx")]
        self.assertEqual(len(frames), 12)
        self.assertEqual([r["verdict"] for r in rows if "verdict" in r], ["P4", "P3", "TesterPresent", "WakeUp",
                                                                         "Retries", "P2"])

    def test_a_device_that_vanishes_is_reported_and_the_record_kept(self):
        line = self.own_line()
        record = self.path("lost.jsonl")
        sim = self.start_on(line, "--record", record)
        self.assertEqual(sim.request(START_COMMUNICATION, 7), STARTED)
        line.unplug()
        sim.wait_event(lambda e: e.get("event") == "port" and e.get("state") == "lost")
        self.assertTrue(json.loads(sim.command("counters")[3:])["recording"])
        summary, status = sim.finish()
        self.assertEqual(status, 0)
        self.assertTrue(summary["record"]["written"])
        with open(record, encoding="utf-8") as f:
            rows = [json.loads(text) for text in f]
        self.assertEqual([r["bytes"] for r in rows if r.get("dir") in ("rx", "tx")],
                         ["81 11 F1 81 04", "83 F1 11 C1 6B 8F 40"])

    def test_duration_ends_the_run_and_a_failed_check_sets_the_status(self):
        # Requests 10 ms after each answer: P3 (55..5000 ms) fails.
        sim = self.start("--duration", "2", "--no-input", "--expect-no-timing-violations",
                         stdin=subprocess.DEVNULL)
        sim.request(START_COMMUNICATION, 7)
        for _ in range(3):
            time.sleep(0.01)
            sim.request(frame(0x3E), 5)
        summary, status = sim.finish()
        self.assertEqual(summary["end"], "duration")
        self.assertEqual(status, 1)
        self.assertFalse(summary["checks"]["no_timing_violations"])
        p3 = [m for m in summary["timing"]["measures"] if m["name"] == "P3"][0]
        self.assertEqual(p3["samples"], 3)
        self.assertGreater(p3["outside"], 0)

    def test_input_closed_at_once_is_a_clean_end(self):
        sim = self.start(stdin=subprocess.DEVNULL)
        summary, status = sim.finish()
        self.assertEqual(status, 0)
        self.assertEqual(summary["end"], "end of input")

    def test_a_port_that_cannot_be_opened_is_a_clear_error(self):
        missing = "COM9" if CONFIG["device"] else "/dev/kline-ecu-sim-missing"
        # Files, not pipes: a helper that Wine starts with the program may
        # keep a pipe open after the program has ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            status = subprocess.call(CONFIG["launcher"] + [CONFIG["program"], "--port", missing],
                                     stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=60)
            out.seek(0)
            err.seek(0)
            self.assertEqual(status, 3)
            self.assertEqual(out.read(), b"")
            self.assertIn("Specified device not found (%s)." % missing, err.read().decode("utf-8", "replace"))

    def test_a_reader_that_stops_reading_holds_nothing_up(self):
        # Events on, and nobody reads them: the pipe fills, answers go on.
        record = self.path("busy.csv")
        sim = Sim(self, self.line, "--events", "--record", record, read=False)
        self.assertEqual(sim.process.stdout.readline().decode().strip(), "READY " + sim.device)
        sim.request(START_COMMUNICATION, 7)
        request = frame(0x21, 0x01)
        answered = sum(len(sim.request(request, 13)) == 13 for _ in range(1500))
        self.assertEqual(answered, 1500)
        sim.process.stdin.write(b"quit\n")
        sim.process.stdin.close()
        # The program ends within its bounded wait for the reader, record written.
        self.assertEqual(sim.process.wait(30), 0)
        with open(record, encoding="utf-8") as f:
            rows = f.read().splitlines()
        self.assertEqual(sum(1 for r in rows if ",rx," in r), 1501)
        self.assertTrue(rows[-1].startswith(",verdict,"))

    def test_a_reader_that_goes_away_loses_no_record(self):
        record = self.path("gone.jsonl")
        sim = Sim(self, self.line, "--events", "--record", record, read=False)
        self.assertEqual(sim.process.stdout.readline().decode().strip(), "READY " + sim.device)
        sim.process.stdout.close()  # EPIPE from here on
        sim.request(START_COMMUNICATION, 7)
        for _ in range(20):
            self.assertEqual(len(sim.request(frame(0x21, 0x01), 13)), 13)
        sim.process.stdin.write(b"counters\nquit\n")
        sim.process.stdin.close()
        self.assertEqual(sim.process.wait(30), 0)
        with open(record, encoding="utf-8") as f:
            rows = [json.loads(text) for text in f]
        self.assertEqual(sum(1 for r in rows if r.get("dir") == "tx"), 21)


def map_port(line):
    subprocess.run(CONFIG["map_command"].replace("{}", line.path), shell=True, check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program")
    parser.add_argument("--launcher", default="", help="command that runs the program, e.g. 'wine'")
    parser.add_argument("--device", help="the port the program opens (default: the terminal's path)")
    parser.add_argument("--map-command", help="run once with {} replaced by the terminal's path")
    parser.add_argument("--signal", default="TERM", help="the signal that ends a run (TERM, INT)")
    parser.add_argument("--timeout", type=float, default=10.0, help="seconds to wait for a line")
    parser.add_argument("--list", action="store_true", help="list the tests and end")
    parser.add_argument("tests", nargs="*")
    args = parser.parse_args()
    loader = unittest.TestLoader()
    if args.list:
        for name in loader.getTestCaseNames(RigTest):
            print("RigTest." + name)
        return 0
    if not args.program:
        parser.error("--program is needed")
    CONFIG.update(program=os.path.abspath(args.program), launcher=shlex.split(args.launcher),
                  device=args.device, signal=args.signal, timeout=args.timeout, map_command=args.map_command)
    global SHARED_LINE
    if args.map_command:
        SHARED_LINE = Line()
        map_port(SHARED_LINE)
    names = args.tests or ["RigTest." + n for n in loader.getTestCaseNames(RigTest)]
    suite = loader.loadTestsFromNames(names, sys.modules[__name__])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() and not result.skipped else 1


if __name__ == "__main__":
    sys.exit(main())
