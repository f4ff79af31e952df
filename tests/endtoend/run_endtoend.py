#!/usr/bin/env python3
"""End-to-end test of the KORU BENCH program in a real window, as a user
sees it: on a private Xvfb display (tools/xsession.py) with a window
manager, a screenshot during the run and one after it, the scratch file it
leaves, the files around it untouched, and closing the window the way a
window manager asks (WM_DELETE_WINDOW), during the run and after it.

    run_endtoend.py --label linux --pictures DIR --scratch FILE --out DIR
                    [--depth BITS] [--home DIR] [--unchanged DIR] [--closed-descriptors]
                    [--file-size-limit BYTES] [--exit-limit S] [--wine]
                    [--close-during PHASE ...] [--close-only] -- PROGRAM [ARGS...]

PROGRAM is the Linux binary, or the Windows executable behind a Wine
launcher (--wine). Screenshots are saved in --out. --depth picks the
screen's colour depth (16, 24 or 30 bits). On Linux, --home makes DIR
afresh, with a file of the user's in it, as the program's HOME (its cache
under it): the run must change nothing there but the scratch file and the
directories that hold it; --unchanged DIR, that DIR's own entries stay as
they were (drive C's root, where the file must not land). Two hostile starts can be added to a run:
--closed-descriptors starts the program with stdin, stdout and stderr
closed, and --file-size-limit sets RLIMIT_FSIZE, so that every scratch
write stops short: the SD figure is then 0 and the file holds what fitted.

The full run and every --close-during run go at the same time, each with a
display (and, on Linux, a home) of its own, so that the runs together take
little longer than the longest of them; the others start once the full run
has watched its first screens.
"""

import argparse
import os
import resource
import shutil
import subprocess
import sys
import threading
import time

import numpy as np
from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import screen_check as sc  # noqa: E402
import xsession  # noqa: E402

TITLE = "KORU BENCH"
SCRATCH_SIZE = 10240
# Seconds into the run (from the first countdown screen) to close the window
# in each phase; "first-paint" closes as soon as the window shows.
CLOSE_POINTS = {"first-paint": None, "integer": 2.0, "floating-point": 7.0, "storage": 12.0}
# Where the first-paint screen's one line is drawn (x0, y0, x1, y1).
FIRST_PAINT_LINE = (380, 150, 630, 172)
# The first countdown comes with the first refresh tick, 100 ms after the
# first paint; a screen wiped and recomposed at once would come within a
# few milliseconds of it.
FIRST_TICK_AT_LEAST = 0.05
# A watch blind for that long (a machine too busy to run it) cannot judge
# either first screen: the program is started again, at no cost, as the run
# has just begun; the last start is judged.
WATCH_STARTS = 3
# Where the kernel runs no 32-bit programs, Wine itself runs emulated
# (tools/setup-wine.sh registers qemu for it) and needs about 2 s to tear a
# process down.
EMULATED_WINE_EXIT_LIMIT = 5.0


class Results:
    def __init__(self, label):
        self.label, self.passed, self.failed = label, 0, 0
        self.lock = threading.Lock()

    def check(self, name, ok, expected="", got=""):
        with self.lock:
            if ok:
                self.passed += 1
                print("PASS %s: %s" % (self.label, name))
            else:
                self.failed += 1
                print("FAIL %s: %s: expected %s, got %s" % (self.label, name, expected, got))
            sys.stdout.flush()
        return ok


def wine_is_emulated():
    """Whether 32-bit programs run through qemu here, decided at run time."""
    try:
        with open("/proc/sys/fs/binfmt_misc/qemu-i386") as entry:
            return entry.readline().strip() == "enabled"
    except OSError:
        return False


def screenshot(display, box=None):
    """The screen (or `box` of it) as an RGB array, whatever its depth."""
    width, height, rgb = display.screenshot(box)
    return np.frombuffer(rgb, np.uint8).reshape(height, width, 3).astype(np.int16)


def save(shot, path):
    Image.fromarray(shot.astype(np.uint8)).save(path)


def wait_for(predicate, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return None


def wait_exit(process, limit):
    began = time.monotonic()
    try:
        code = process.wait(timeout=limit)
    except subprocess.TimeoutExpired:
        return None, time.monotonic() - began
    return code, time.monotonic() - began


def without_standard_descriptors():
    for fd in (0, 1, 2):
        os.close(fd)


class Session:
    """One run of the program on the private display."""

    def __init__(self, args, display):
        self.args, self.display = args, display
        env = dict(os.environ, DISPLAY=display.name)
        if args.home:
            env.update(HOME=args.home, XDG_CACHE_HOME=os.path.join(args.home, ".cache"))

        def hostile_start():
            if args.file_size_limit is not None:
                hard = resource.getrlimit(resource.RLIMIT_FSIZE)[1]
                resource.setrlimit(resource.RLIMIT_FSIZE, (args.file_size_limit, hard))
            if args.closed_descriptors:
                without_standard_descriptors()

        self.started = self.looked = time.monotonic()
        self.process = subprocess.Popen(args.program, env=env, preexec_fn=hostile_start)

        def looking_for_window():
            self.longest_gap = 0.0  # of the waits, only the one the window showed in counts
            self.look()
        self.window = display.wait_window(TITLE, self.process.pid, 90, self.process, looking_for_window)
        self.window_shown = time.monotonic()
        self.origin = None
        self.first_countdown = None

    def look(self):
        """Notes a look at the screen, and the longest the watch has gone
        without one since the window showed."""
        now = time.monotonic()
        self.longest_gap = max(self.longest_gap, now - self.looked)
        self.looked = now

    def locate(self):
        """The client area's exact place on the screen, found on a screenshot
        of just the window's surroundings (the window system may add a
        frame) once the picture shows there; None until then."""
        if self.origin is None and self.window is not None:
            self.look()
            near = self.display.client_origin(self.window)
            if near is None:
                return None
            screen = self.display.conn.screen()
            left, top = max(0, near[0] - 16), max(0, near[1] - 16)
            # Just what the search below looks at: a shot of the whole window
            # took long enough at 4K to blind the watch.
            around = screenshot(self.display, (left, top, min(sc.LOCATE_AREA[0], screen.width_in_pixels - left),
                                               min(sc.LOCATE_AREA[1], screen.height_in_pixels - top)))
            found = sc.locate_client(around, sc.scaled(self.args.pictures[0], self.args.scale),
                                     (near[0] - left, near[1] - top))
            if found:
                self.origin = (left + found[0], top + found[1])
        return self.origin

    def view(self, whole=False):
        """A screenshot and the client area's frame pixels in it (one screen
        pixel of each square at a scale above 1); with `whole`, the client
        area's screen pixels too."""
        shot = screenshot(self.display)
        origin = self.locate()
        on_screen = sc.client_view(shot, origin, self.args.scale) if origin else None
        view = on_screen[::self.args.scale, ::self.args.scale] if origin else None
        return (shot, view, on_screen) if whole else (shot, view)

    def countdown_showing(self):
        shot, view = self.view()
        if view is None:
            return None
        picture = self.args.pictures[0]
        if sc.ink_extent(view, picture, sc.COUNTDOWN_LINES["seconds"]) and \
                sc.ink_extent(view, picture, sc.COUNTDOWN_LINES["sd"]):
            return True
        return None

    def wait_first_countdown(self):
        if wait_for(self.countdown_showing, 60):
            self.first_countdown = time.monotonic()
        return self.first_countdown

    def watch_first_screens(self, timeout=10):
        """Watches the two text boxes that tell the first-paint screen from
        the countdown, from the moment the window shows, as fast as the
        server answers: (whether the first-paint screen was seen, seconds
        from the window showing to the first countdown, or None)."""
        picture = self.args.pictures[0]
        origin = wait_for(self.locate, timeout, 0.002)
        if origin is None:
            return False, None

        def ink(box):
            self.look()
            x0, y0, x1, y1 = box
            scale = self.args.scale
            drawn = screenshot(self.display, (origin[0] + x0 * scale, origin[1] + y0 * scale,
                                              (x1 - x0) * scale, (y1 - y0) * scale))[::scale, ::scale]
            return sc.ink_extent(drawn, sc.region(picture, box), (0, 0, x1 - x0, y1 - y0)) is not None

        first_paint_seen = False
        deadline = self.window_shown + timeout
        while time.monotonic() < deadline:
            now = time.monotonic()
            if ink(sc.COUNTDOWN_LINES["sd"]):
                self.first_countdown = now
                return first_paint_seen, now - self.window_shown
            first_paint_seen |= ink(FIRST_PAINT_LINE)
            time.sleep(0.002)
        return first_paint_seen, None

    def close(self):
        self.display.close_window(self.window)
        return wait_exit(self.process, self.args.exit_limit)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        # The next session must not find this one's window.
        wait_for(lambda: self.display.find_window(TITLE) is None, 10)


def character_count(extent, advance):
    width = extent[1] - extent[0]
    return int(round(width / advance + 0.2))


def digit_range(digits):
    return (0, 9) if digits <= 1 else (10 ** (digits - 1), 10 ** digits - 1)


def band_of(score):
    for band, lowest in ((6, 3300), (5, 2400), (4, 1700), (3, 1200), (2, 900)):
        if score >= lowest:
            return band
    return 1


def expected_scratch():
    p, out = 1, bytearray()
    for _ in range(SCRATCH_SIZE):
        p = (0xA9 - 0x77 * p) % 256
        out.append(p)
    return bytes(out)


def snapshot(root, leave_out):
    """Every entry under `root` but `leave_out`: type and mode, owner, links
    (of files) and content, by path."""
    entries = {}
    for directory, names, files in os.walk(root):
        for name in [""] + names + files:
            path = os.path.join(directory, name) if name else directory
            if path == leave_out or (not name and path != root):
                continue
            info = os.lstat(path)
            entry = (info.st_mode, info.st_uid)
            if os.path.isfile(path) and not os.path.islink(path):
                entry += (info.st_nlink, open(path, "rb").read())
            entries[path] = entry
    return entries


def listing(directory):
    """The names in `directory` with their types and modes."""
    return sorted((name, os.lstat(os.path.join(directory, name)).st_mode) for name in os.listdir(directory))


def make_home(home):
    """A fresh home with one file of the user's in it."""
    shutil.rmtree(home, ignore_errors=True)
    os.makedirs(home)
    with open(os.path.join(home, "notes.txt"), "w") as out:
        out.write("the user's own notes\n")


def home_changes(args, before):
    """What the run changed under the home besides the scratch file and the
    private directories that hold it; empty if nothing."""
    after = snapshot(args.home, args.scratch)
    made = {os.path.dirname(args.scratch), os.path.dirname(os.path.dirname(args.scratch))}
    changes = []
    for path in sorted(set(before) | set(after)):
        if path in made and path not in before and path in after and after[path][0] & 0o7777 == 0o700:
            continue
        if before.get(path) != after.get(path):
            changes.append(os.path.relpath(path, args.home))
    return changes


# Set once the full run has watched its first screens: the other runs start
# then, so that their start-ups (this one process's threads among them) do
# not slow the watch of a first-paint screen that lasts 100 ms.
first_screens_watched = threading.Event()


def full_run(args, display, results):
    try:
        watched_run(args, display, results)
    finally:
        first_screens_watched.set()


def watched_start(args, display, label):
    """A session whose first screens were watched without going blind for
    as long as their checks need, if one of a few starts gives it:
    (session, whether the first-paint screen was seen, first countdown).
    The watch runs ahead of ordinary processes where it may, as its server
    does; elsewhere a blind watch starts the program again."""
    ahead = xsession.put_ahead()
    if not (ahead and display.ahead):
        print("%s: the watch and its X server run at ordinary priority (real-time scheduling is not "
              "allowed for this user), so a busy machine can blind it" % label)
    try:
        for start in range(1, WATCH_STARTS + 1):
            session = Session(args, display)
            if session.window is None:
                return session, False, None
            watched = session.watch_first_screens()
            if session.longest_gap < FIRST_TICK_AT_LEAST or start == WATCH_STARTS:
                return (session,) + watched
            print("%s: the watch went %.0f ms without a look at the first screens; started again"
                  % (label, session.longest_gap * 1000))
            session.close()
            session.kill()
    finally:
        if ahead:
            xsession.put_back()


def watched_run(args, display, results):
    if os.path.exists(args.scratch):
        os.remove(args.scratch)
    home_before = snapshot(args.home, args.scratch) if args.home else None
    listing_before = listing(args.unchanged) if args.unchanged else None
    session, first_paint_seen, first_tick = watched_start(args, display, results.label)
    try:
        if not results.check("window opens", session.window is not None, "a window titled %s" % TITLE, "none"):
            return
        first_screens_watched.set()
        results.check("first-paint screen shown, not wiped before the countdown", first_paint_seen,
                      "its line drawn at (%d, %d)" % FIRST_PAINT_LINE[:2], "never seen")
        if not results.check("countdown screen shown", first_tick is not None, "seconds and figures drawn",
                             "nothing within 10 s"):
            return
        results.check("first countdown comes with the first refresh tick", first_tick >= FIRST_TICK_AT_LEAST,
                      "%.0f ms or more after the window shows" % (FIRST_TICK_AT_LEAST * 1000),
                      "%.0f ms" % (first_tick * 1000))
        print("%s: window shown %.2f s after start, first countdown %.3f s after that (the watch blind %.0f ms at most)"
              % (results.label, session.window_shown - session.started, first_tick, session.longest_gap * 1000))

        # About 6 s into the run: integer phase over, storage not begun.
        time.sleep(max(0.0, session.first_countdown + 5.9 - time.monotonic()))
        shot, view, on_screen = session.view(whole=True)
        save(shot, os.path.join(args.out, "%s-countdown.png" % results.label))
        if args.scale > 1:
            geometry = session.window.get_geometry()
            results.check("client area %d times the outer size, less the frame" % args.scale,
                          sc.WIDTH * args.scale - 16 < geometry.width <= sc.WIDTH * args.scale and
                          sc.HEIGHT * args.scale - 64 < geometry.height <= sc.HEIGHT * args.scale,
                          "%d x %d or a frame less" % (sc.WIDTH * args.scale, sc.HEIGHT * args.scale),
                          "%d x %d" % (geometry.width, geometry.height))
            # The whole frame pixels the client area holds (a window manager's
            # frame can leave it a screen pixel or so short of a whole one).
            shown = on_screen[:geometry.height // args.scale * args.scale, :geometry.width // args.scale * args.scale]
            squares = sc.scaled(shown[::args.scale, ::args.scale], args.scale)
            results.check("each frame pixel shown as a %d x %d square" % (args.scale, args.scale),
                          np.array_equal(shown, squares), "exact copies",
                          "%d screen pixels that differ from their square's first"
                          % np.count_nonzero((shown != squares).any(axis=2)))
        picture = args.pictures[0]
        best, scores = sc.best_picture(view, args.pictures, sc.ILLUSTRATION)
        results.check("countdown shows the measuring picture",
                      best == 0 and sc.mean_difference(sc.region(view, (20, 40, 380, 400)),
                                                       sc.region(picture, (20, 40, 380, 400))) < 2,
                      "BG_BMP", "picture %d (differences %s)" % (best, ["%.1f" % s for s in scores]))
        extents = {name: sc.ink_extent(view, picture, box) for name, box in sc.COUNTDOWN_LINES.items()}
        for name, extent in extents.items():
            box = sc.COUNTDOWN_LINES[name]
            results.check("countdown %s line drawn from (%d, %d)" % (name, box[0], box[1]),
                          extent is not None and extent[0] - box[0] < 8 and extent[2] - box[1] < 14,
                          "ink starting near the line's top-left corner", extent)
        if None in extents.values():
            return
        advance = (extents["sd"][1] - extents["sd"][0]) / 3.85  # "SD=0"
        seconds_chars = character_count(extents["seconds"], advance)
        results.check("seconds line reads のこり<n>秒", 8 <= seconds_chars <= 10,
                      "3 kana, 1-2 digits and a kanji (9-10 half widths)", seconds_chars)
        cpu_digits = character_count(extents["cpu"], advance) - 4
        results.check("CPU figure above 0", cpu_digits >= 2, "at least 2 digits", cpu_digits)
        results.check("SD figure 0 before the storage phase", character_count(extents["sd"], advance) == 4,
                      "SD=0", "%d characters" % character_count(extents["sd"], advance))

        # About 17 s in: the results.
        time.sleep(max(0.0, session.first_countdown + 16.9 - time.monotonic()))

        def results_showing():
            shot, view = session.view()
            best, scores = sc.best_picture(view, args.pictures, sc.DIGIT_BOX)
            return (shot, view, best) if best >= 1 and scores[best] < 3 else None

        shown = wait_for(results_showing, 30, 0.25)
        if not results.check("results screen shown", shown, "a results picture", "none within 30 s"):
            return
        shot, view, band = shown
        save(shot, os.path.join(args.out, "%s-results.png" % results.label))
        picture = args.pictures[band]
        lines = {name: sc.ink_extent(view, picture, box) for name, box in sc.RESULTS_LINES.items()}
        for name, extent in lines.items():
            box = sc.RESULTS_LINES[name]
            results.check("results %s line drawn from (%d, %d)" % (name, box[0], box[1]),
                          extent is not None and extent[0] - box[0] < 10 and extent[2] - box[1] < 14,
                          "ink starting near the line's top-left corner", extent)
        if None not in lines.values():
            advance = advance * 25 / 30  # the results font is 25 high, the countdown's 30
            digits = {name: character_count(lines[name], advance) - len(name) - 1
                      for name in ("cpu", "fpu", "sd")}
            low = {name: digit_range(d)[0] for name, d in digits.items()}
            high = {name: digit_range(d)[1] + 1 for name, d in digits.items()}
            lowest = band_of(8 * low["cpu"] + 0.8 * low["fpu"] + 4 * low["sd"])
            highest = band_of(8 * high["cpu"] + 0.8 * high["fpu"] + 4 * high["sd"])
            results.check("results picture is the band the figures imply", lowest <= band <= highest,
                          "band %d to %d (figure digits %s)" % (lowest, highest, digits), "band %d" % band)
            print("%s: results show level digit %d; figure digits %s" % (results.label, band - 1, digits))

        content = open(args.scratch, "rb").read() if os.path.exists(args.scratch) else None
        if args.file_size_limit is None:
            results.check("scratch file holds its exact 10240 bytes", content == expected_scratch(),
                          "the fixed pattern", "missing" if content is None else "%d bytes, differing" % len(content))
            if lines["sd"] is not None:
                results.check("SD figure above 0", character_count(lines["sd"], advance) > 4,
                              "SD=<n>, n > 0", "%d characters" % character_count(lines["sd"], advance))
        else:
            fitted = expected_scratch()[:args.file_size_limit]
            results.check("scratch file holds the %d bytes the limit let through" % args.file_size_limit,
                          content == fitted, "the pattern's first bytes",
                          "missing" if content is None else "%d bytes" % len(content))
            if lines["sd"] is not None:
                results.check("SD figure 0: no write was whole", character_count(lines["sd"], advance) == 4,
                              "SD=0", "%d characters" % character_count(lines["sd"], advance))
        if args.home:
            changes = home_changes(args, home_before)
            results.check("nothing in the home changed but the scratch file", not changes,
                          "no change", ", ".join(changes))
        if args.unchanged:
            results.check("%s left as it was" % args.unchanged, listing(args.unchanged) == listing_before,
                          listing_before, listing(args.unchanged))

        code, seconds = session.close()
        results.check("closing the results window ends the program with 0 within %.1f s" % args.exit_limit,
                      code == 0, "exit code 0", "%s after %.2f s" % ("still running" if code is None else code, seconds))
        print("%s: exit %.3f s after the close request" % (results.label, seconds))
    finally:
        session.kill()


def close_during(args, display, results, phase):
    home_before = snapshot(args.home, args.scratch) if args.home else None
    session = Session(args, display)
    try:
        if session.window is None:
            results.check("window opens (close during %s)" % phase, False, "a window", "none")
            return
        if CLOSE_POINTS[phase] is not None:
            if not session.wait_first_countdown():
                results.check("countdown shown (close during %s)" % phase, False, "countdown", "none")
                return
            time.sleep(max(0.0, session.first_countdown + CLOSE_POINTS[phase] - time.monotonic()))
        code, seconds = session.close()
        print("%s: exit %.3f s after the close request during the %s" % (results.label, seconds, phase))
        results.check("closing during the %s ends the program with 0 within %.1f s" % (phase, args.exit_limit),
                      code == 0, "exit code 0", "%s after %.2f s" % ("still running" if code is None else code, seconds))
        if args.home:
            changes = home_changes(args, home_before)
            results.check("nothing in the home changed but the scratch file (close during %s)" % phase,
                          not changes, "no change", ", ".join(changes))
    finally:
        session.kill()


def for_phase(args, phase):
    """The options of a close-during run: a home and scratch file of its own."""
    own = argparse.Namespace(**vars(args))
    if args.home:
        own.home = "%s-close-%s" % (args.home, phase)
        own.scratch = os.path.join(own.home, os.path.relpath(args.scratch, args.home))
        make_home(own.home)
    return own


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--label", required=True)
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--scratch", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--depth", type=int, default=24, choices=(16, 24, 30))
    parser.add_argument("--screen", default="1024x768", help="the screen's size, WxH")
    parser.add_argument("--xft-dpi", type=int, help="the desktop's Xft.dpi resource")
    parser.add_argument("--scale", type=int, default=1, help="the scale the window must show at")
    parser.add_argument("--home")
    parser.add_argument("--unchanged", help="a directory whose entries the run must leave as they are")
    parser.add_argument("--closed-descriptors", action="store_true")
    parser.add_argument("--file-size-limit", type=int)
    parser.add_argument("--exit-limit", type=float, default=1.0)
    parser.add_argument("--wine", action="store_true", help="PROGRAM runs under Wine")
    parser.add_argument("--close-during", nargs="*", default=[], choices=sorted(CLOSE_POINTS))
    parser.add_argument("--close-only", action="store_true", help="skip the full run")
    parser.add_argument("program", nargs="+")
    args = parser.parse_args()
    args.pictures = [sc.as_shown(picture, args.depth) for picture in sc.load_pictures(args.pictures)]
    if args.wine and wine_is_emulated():
        args.exit_limit = max(args.exit_limit, EMULATED_WINE_EXIT_LIMIT)
    if args.home:
        args.home = os.path.abspath(args.home)
        make_home(args.home)
    os.makedirs(args.out, exist_ok=True)

    results = Results(args.label)
    runs = [] if args.close_only else [lambda display: full_run(args, display, results)]
    for phase in args.close_during:
        own = for_phase(args, phase)
        runs.append(lambda display, own=own, phase=phase: close_during(own, display, results, phase))

    def on_own_display(run):
        try:
            size = tuple(int(value) for value in args.screen.split("x"))
            resources = "Xft.dpi:\t%d\n" % args.xft_dpi if args.xft_dpi else None
            with xsession.XSession(depth=args.depth, size=size, ahead=True, resources=resources) as display:
                run(display)
        except Exception as error:  # a broken run must fail the test, not vanish with its thread
            results.check("run completes", False, "no error", repr(error))

    threads = [threading.Thread(target=on_own_display, args=(run,)) for run in runs]
    for number, thread in enumerate(threads):
        if number == 1 and not args.close_only:
            first_screens_watched.wait(60)
        thread.start()
    for thread in threads:
        thread.join()
    print("screenshots: %s" % os.path.abspath(args.out))
    print("%d passed, %d failed" % (results.passed, results.failed))
    return 1 if results.failed else 0


if __name__ == "__main__":
    sys.exit(main())
