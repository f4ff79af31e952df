#!/usr/bin/env python3
"""End-to-end test of koru-bench-cli as a user and a script see it, all runs
at the same time, each in a home of its own: on a terminal (stderr on a pty)
under a file-size limit that stops every scratch write short; piped with
--json; stopped by Ctrl-C (on a terminal) and by a hang-up; a wrong option,
--help and --version.

    run_cli.py --label L --home DIR --version V [--quick | --json-only]
               [--wine] [--exit-limit S] -- PROGRAM [ARGS...]

--quick leaves out the whole runs (the sanitizer builds, whose teardown takes
a second or more: --exit-limit); --json-only keeps the JSON run alone (the
installed package); --wine: under Wine, no terminal, CR LF line ends.

Of --runs: two runs with --json under the file-size limit (the short-write
line said once for both, SD 0 with no spread), and Ctrl-C during the second
of two (with --quick, during the first), after which no process of its group
is left; not under an emulator or Wine, where the program is not started
directly.
"""

import argparse
import json
import os
import pty
import re
import resource
import signal
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run_endtoend import Results, expected_scratch, make_home  # noqa: E402

DIVISORS = {"cpu": 31000, "fpu": 27300, "sd": 10}
BANDS = [(0, 900), (900, 300), (1200, 500), (1700, 700), (2400, 900), (3300, 1200)]
PROGRESS = re.compile(rb"(\d+) s left  CPU=(\d+)  FPU=(\d+)  SD=(\d+) *\r")
KEYS = ["level", "score", "band", "fraction", "cpu", "fpu", "sd", "cpu_loops", "fpu_loops", "sd_writes", "version"]
SHORT_WRITE = (b"koru-bench-cli: a write to the scratch file stopped short: File too large; "
               b"the SD figure counts whole writes only")


def grade(cpu, fpu, sd):
    """Score, band and fraction, in the program's order of double operations."""
    score = (fpu * 0.8) / 27300.0 + (cpu * 8.0) / 31000.0
    score = int(min(score + (sd * 4.0) / 10.0, 2 ** 31 - 1))
    band = max(b for b, (lowest, _) in enumerate(BANDS, 1) if score >= lowest)
    lowest, width = BANDS[band - 1]
    return score, band, max(0, min(99, (score - lowest) * 100 // width))


def terminal_lines(data):
    """The lines a terminal shows for what was written to it (CR redraws)."""
    lines = []
    for raw in data.replace(b"\r\n", b"\n").split(b"\n"):
        shown = bytearray()
        for part in raw.split(b"\r"):
            shown[:len(part)] = part
        lines.append(bytes(shown))
    return lines


class Run:
    """One start of the program; `terminal` puts its stderr on a pty."""

    def __init__(self, args, name, options, terminal=False, file_size_limit=None, own_group=False):
        self.home = "%s-%s" % (args.home, name)
        make_home(self.home)
        env = dict(os.environ)
        if not args.wine:  # Wine keeps to its own prefix
            env.update(HOME=self.home, XDG_CACHE_HOME=os.path.join(self.home, ".cache"))
        self.chunks, self.reader, slave = [], None, subprocess.PIPE
        if terminal:
            master, slave = pty.openpty()
        soft, hard = resource.getrlimit(resource.RLIMIT_FSIZE)
        limit = (file_size_limit or soft, hard)
        self.process = subprocess.Popen(args.program + options, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=slave, env=env, start_new_session=own_group,
                                        preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, limit))
        self.started = time.monotonic()
        if terminal:
            os.close(slave)
            self.reader = threading.Thread(target=self.read_terminal, args=(master,))
            self.reader.start()

    def read_terminal(self, master):
        while True:
            try:
                chunk = os.read(master, 4096)
            except OSError:  # EIO: the program has gone
                chunk = b""
            if not chunk:
                os.close(master)
                return
            self.chunks.append(chunk)

    def shown(self, text, timeout):
        """Waits until the terminal has shown `text`; whether it has."""
        deadline = time.monotonic() + timeout
        while text not in b"".join(self.chunks) and self.process.poll() is None and time.monotonic() < deadline:
            time.sleep(0.05)
        return text in b"".join(self.chunks)

    def finish(self, signal_after=None, signal_number=None, timeout=60):
        """(exit code, seconds from the signal or start, stdout, stderr)."""
        if signal_after is not None:
            time.sleep(max(0.0, self.started + signal_after - time.monotonic()))
            self.process.send_signal(signal_number)
        sent = time.monotonic()
        try:
            out, err = self.process.communicate(timeout=timeout)  # a whole run is 15 s
        except subprocess.TimeoutExpired:
            self.process.kill()
            out, err = self.process.communicate()
        if self.reader:
            self.reader.join()
            err = b"".join(self.chunks)
        return self.process.returncode, time.monotonic() - sent, out, err or b""


def check_json(results, args, out, err, code):
    text = out.replace(b"\r\n", b"\n") if args.wine else out
    results.check("--json: exit 0, one line on stdout, no other control character, nothing on stderr",
                  code == 0 and text.count(b"\n") == 1 and text.endswith(b"\n") and err == b"" and
                  not re.search(rb"[\x00-\x09\x0b-\x1f\x7f]", text), "0, one line", (code, out, err))
    try:
        got = json.loads(text)
    except ValueError as error:
        results.check("--json: stdout is JSON", False, "a JSON object", error)
        return
    if not results.check("--json: its keys", sorted(got) == sorted(KEYS), KEYS, sorted(got)):
        return
    check_counts(results, "--json", got)
    results.check("--json: the project's version", got["version"] == args.version, args.version, got["version"])
    print("%s: %s" % (results.label, text.decode().strip()))


def check_counts(results, name, got, writes=True):
    counts = {name: got[key] for name, key in (("cpu", "cpu_loops"), ("fpu", "fpu_loops"), ("sd", "sd_writes"))}
    figures = {name: counts[name] // DIVISORS[name] for name in DIVISORS}
    results.check("%s: figures are the counts over their divisors" % name,
                  all(got[name] == figures[name] for name in DIVISORS), figures, got)
    score, band, fraction = grade(counts["cpu"], counts["fpu"], counts["sd"])
    expected = {"score": score, "band": band, "fraction": fraction, "level": "%d.%02d" % (band - 1, fraction)}
    results.check("%s: score, band, fraction and level follow from the counts" % name,
                  all(got[key] == value for key, value in expected.items()), expected, got)
    results.check("%s: %s" % (name, "every phase counted" if writes else "CPU and FPU counted, SD 0"),
                  all(counts.values()) if writes else
                  counts["cpu"] and counts["fpu"] and not counts["sd"], "counts above 0" if writes else "SD 0", counts)


def check_runs_json(results, out, err, code):
    """--runs 2 --json: the median run's object, each run's, and the spread of their figures."""
    try:
        got = json.loads(out)
    except ValueError as error:
        results.check("--runs 2 --json: stdout is JSON", False, "a JSON object", (code, out, err, error))
        return
    runs = got.get("runs", [])
    results.check("--runs 2 --json: exit 0, the short-write line once on stderr, today's keys and runs and spread, "
                  "two runs of today's keys but version", code == 0 and err == SHORT_WRITE + b"\n" and
                  sorted(got) == sorted(KEYS + ["runs", "spread"]) and len(runs) == 2 and
                  all(sorted(run) == sorted(KEYS[:-1]) for run in runs), "two runs", (code, err, got))
    if len(runs) != 2 or not all(sorted(run) == sorted(KEYS[:-1]) for run in runs):
        return
    for number, run in enumerate(runs, 1):
        check_counts(results, "--runs 2 --json, run %d" % number, run, writes=False)
    median = {key: value for key, value in got.items() if key in KEYS[:-1]}
    lower = runs[1] if runs[1]["score"] < runs[0]["score"] else runs[0]
    results.check("--runs 2 --json: the results are the lower-scored run's, as in its entry", median == lower,
                  lower, median)
    spread = {}
    for name in DIVISORS:
        lowest, highest = sorted(run[name] for run in runs)
        spread[name] = (2000 * (highest - lowest) + highest) // (2 * highest) / 1000 if highest else 0
    results.check("--runs 2 --json: each spread is (highest - lowest) / highest of the runs' figures",
                  got["spread"] == spread, spread, got["spread"])
    print("%s: --runs 2: %s" % (results.label, out.decode().strip()))


def check_terminal(results, code, out, err):
    lines = out.decode(errors="replace").splitlines()
    results.check("terminal run: exit 0, results in words on stdout, no control character there",
                  code == 0 and len(lines) == 4 and re.fullmatch(r"Device level: \d\.\d\d", lines[0]) is not None
                  and all(re.fullmatch(r"%s figure: \d+ \(.+\)" % label, line) for label, line in
                          zip(("CPU", "FPU", "SD"), lines[1:])) and lines[3].startswith("SD figure: 0 ")
                  and not re.search(rb"[\x00-\x09\x0b-\x1f]", out), "0, a level and three figures, SD 0",
                  (code, out))
    results.check("terminal run: no escape codes on the terminal", b"\x1b" not in err, "none", err[:200])
    # Every second of the countdown shown: a line redrawn less often than
    # once a second skips some (the times the pty is read at say less).
    seconds = [int(match.group(1)) for match in PROGRESS.finditer(err)]
    results.check("terminal run: progress redrawn in place for every second left, 15 to 1",
                  set(range(1, 16)) <= set(seconds) and seconds == sorted(seconds, reverse=True),
                  "15, 15, .., 1", seconds)
    shown = terminal_lines(err)
    results.check("terminal run: the short-write line once, whole, on a line of its own",
                  err.count(SHORT_WRITE) == 1 and SHORT_WRITE in shown, "once", shown)
    results.check("terminal run: the progress line erased at the end", shown[-1].strip() == b"", b"", shown[-1])


def check_signal(results, args, name, expected, code, seconds, out, err, terminal):
    left = terminal_lines(err)[-1].strip() if terminal else b""
    results.check("%s ends the run within %.1f s with %d, nothing on stdout%s" % (
                      name, args.exit_limit, expected, ", the terminal's line blank" if terminal else ""),
                  code == expected and seconds < args.exit_limit and out == b"" and left == b"",
                  expected, (code, "%.2f s" % seconds, out, left))


def check_options(results, args):
    def run(*options):
        done = subprocess.run(args.program + list(options), capture_output=True, timeout=60)
        return done.returncode, done.stdout.replace(b"\r\n", b"\n"), done.stderr.replace(b"\r\n", b"\n")
    for wrong in (["--bogus"], ["--runs", "0"], ["--runs", "100"], ["--runs", "x"], ["--runs"]):
        code, out, err = run(*wrong)
        results.check("a wrong option (%s): one line on stderr, exit 2" % " ".join(wrong),
                      code == 2 and out == b"" and err.startswith(b"koru-bench-cli: ") and err.count(b"\n") == 1,
                      "2 and one line", (code, out, err))
    version, usage = run("--version"), run("--help")
    results.check("--version and --help", version[:2] == (0, b"koru-bench-cli %s\n" % args.version.encode()) and
                  usage[0] == 0 and usage[1].startswith(b"Usage: koru-bench-cli [--json] [--runs N]\n"), args.version,
                  (version, usage[:2]))


def main():
    parser = argparse.ArgumentParser()
    for option in ("--label", "--home", "--version"):
        parser.add_argument(option, required=True)
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--json-only", action="store_true")
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("--exit-limit", type=float, default=1.0, help="seconds from a signal to the exit")
    parser.add_argument("program", nargs="+")
    args = parser.parse_args()
    args.home = os.path.abspath(args.home)
    results = Results(args.label)

    whole = not args.quick
    json_run = Run(args, "json", ["--json"]) if whole else None
    direct = len(args.program) == 1 and not args.json_only and not args.wine
    runs_run = Run(args, "runs", ["--runs", "2", "--json"], file_size_limit=4096) if whole and direct else None
    if not args.json_only and not args.wine:
        terminal = Run(args, "terminal", [], terminal=True, file_size_limit=4096) if whole else None
        interrupted = Run(args, "interrupted", [], terminal=True)
        hung_up = Run(args, "hung-up", [])
        runs_interrupted = Run(args, "runs-interrupted", ["--runs", "2"], terminal=True, own_group=True) \
            if direct else None
        check_signal(results, args, "Ctrl-C", 130, *interrupted.finish(signal_after=1.5, signal_number=signal.SIGINT),
                     terminal=True)
        check_signal(results, args, "a hang-up", 129, *hung_up.finish(signal_after=1.5, signal_number=signal.SIGHUP),
                     terminal=False)
        if runs_interrupted:
            run = 2 if whole else 1
            shown = runs_interrupted.shown(b"run %d of 2  " % run, timeout=60)
            ended = runs_interrupted.finish(signal_after=time.monotonic() - runs_interrupted.started + 1.0,
                                            signal_number=signal.SIGINT)
            check_signal(results, args, "Ctrl-C during run %d of --runs 2" % run, 130, *ended, terminal=True)
            try:
                os.killpg(runs_interrupted.process.pid, 0)
                left = "processes left in its group"
            except ProcessLookupError:
                left = None
            results.check("Ctrl-C during run %d of --runs 2: the progress line named the run, no process left" % run,
                          shown and left is None, "run %d of 2 shown, none left" % run, (shown, left))
        if terminal:
            code, _, out, err = terminal.finish()
            check_terminal(results, code, out, err)
    if not args.json_only:
        check_options(results, args)
    if runs_run:
        code, _, out, err = runs_run.finish(timeout=90)
        check_runs_json(results, out, err, code)
    if json_run:
        code, _, out, err = json_run.finish()
        check_json(results, args, out, err, code)
        if not args.wine:
            scratch = os.path.join(json_run.home, ".cache", "koru-bench", "tmp.dat")
            results.check("--json: the scratch file holds its 10240 bytes",
                          os.path.exists(scratch) and open(scratch, "rb").read() == expected_scratch(),
                          "the fixed pattern", "missing or differing")
    print("%d passed, %d failed" % (results.passed, results.failed))
    return 1 if results.failed else 0


if __name__ == "__main__":
    sys.exit(main())
