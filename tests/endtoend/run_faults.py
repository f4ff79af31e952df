#!/usr/bin/env python3
"""Bad situations the Linux program must survive, each run for real on a
private Xvfb display: a scratch place that cannot hold the file, a disk that
fills up, a planted symbolic link, the X server going away, two instances at
once, and no Japanese font.

    run_faults.py --pictures DIR --program PROGRAM [--work DIR] [--exit-limit S] [--only NAME ...]

Needs root for the small filesystem (skipped otherwise)."""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_endtoend as e2e  # noqa: E402
import screen_check as sc  # noqa: E402


class Options:
    """What run_endtoend's Session needs."""

    def __init__(self, program, pictures, exit_limit=1.0):
        self.program, self.pictures, self.exit_limit = [program], pictures, exit_limit


def with_env(env, action):
    saved = dict(os.environ)
    os.environ.update(env)
    try:
        return action()
    finally:
        os.environ.clear()
        os.environ.update(saved)


def results_view(session, pictures, timeout=40):
    def showing():
        shot, view = session.view()
        if view is None:
            return None
        best, scores = sc.best_picture(view, pictures, sc.DIGIT_BOX)
        return (view, best) if best >= 1 and scores[best] < 3 else None
    return e2e.wait_for(showing, timeout, 0.25)


def sd_figure_is_zero(view, picture, advance):
    extent = sc.ink_extent(view, picture, sc.RESULTS_LINES["sd"])
    return extent is not None and e2e.character_count(extent, advance) == 4, extent


def run_without_scratch(results, conn, name, options, label, env):
    """The storage phase finds nowhere to write: SD 0, results after 15 s."""
    session = with_env(env, lambda: e2e.Session(options, conn, name))
    try:
        if not results.check("%s: countdown shown" % label, session.wait_first_countdown(), "countdown", "none"):
            return
        _, view = session.view()
        sd = sc.ink_extent(view, options.pictures[0], sc.COUNTDOWN_LINES["sd"])
        advance = (sd[1] - sd[0]) / 3.85 * 25 / 30 if sd else 10.0
        shown = results_view(session, options.pictures)
        elapsed = time.monotonic() - session.first_countdown
        if not results.check("%s: results shown" % label, shown, "results screen", "none"):
            return
        results.check("%s: storage phase still lasts to 15 s" % label, elapsed >= 13.5,
                      "results no sooner than ~14 s after the first countdown", "%.1f s" % elapsed)
        zero, extent = sd_figure_is_zero(shown[0], options.pictures[shown[1]], advance)
        results.check("%s: SD=0 on the results" % label, zero, "SD=0", extent)
        code, seconds = session.close()
        results.check("%s: closes with 0" % label, code == 0, 0, "%s after %.2f s" % (code, seconds))
    finally:
        session.kill()


def scratch_faults(results, conn, name, options, work):
    # The scratch path is a directory.
    cache = os.path.join(work, "cache-dir")
    os.makedirs(os.path.join(cache, "koru-bench", "tmp.dat"), exist_ok=True)
    run_without_scratch(results, conn, name, options, "scratch path is a directory", {"XDG_CACHE_HOME": cache})
    # The scratch directory cannot be made at all (not even by root).
    run_without_scratch(results, conn, name, options, "scratch directory cannot be made",
                        {"XDG_CACHE_HOME": "/proc/koru-bench-nowhere"})
    # A link planted at the scratch path is not followed.
    cache = os.path.join(work, "cache-link")
    os.makedirs(os.path.join(cache, "koru-bench"), exist_ok=True)
    victim = os.path.join(work, "victim.txt")
    with open(victim, "w") as out:
        out.write("someone else's file")
    link = os.path.join(cache, "koru-bench", "tmp.dat")
    if not os.path.islink(link):
        os.symlink(victim, link)
    run_without_scratch(results, conn, name, options, "planted symbolic link", {"XDG_CACHE_HOME": cache})
    results.check("planted symbolic link: its target untouched", open(victim).read() == "someone else's file",
                  "unchanged", open(victim).read()[:40])


def disk_full(results, conn, name, options, work):
    """A filesystem with 8 KiB free: every write stops part-way."""
    if os.geteuid() != 0:
        print("SKIP disk full: needs root to mount a small filesystem")
        return
    mount = os.path.join(work, "small-fs")
    os.makedirs(mount, exist_ok=True)
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16k,mode=0700", "tmpfs", mount], check=True)
    try:
        with open(os.path.join(mount, "filler"), "wb") as out:
            out.write(b"\0" * 8192)
        run_without_scratch(results, conn, name, options, "disk full part-way", {"XDG_CACHE_HOME": mount})
        path = os.path.join(mount, "koru-bench", "tmp.dat")
        size = os.path.getsize(path) if os.path.exists(path) else None
        results.check("disk full part-way: the file holds what fitted", size is not None and 0 < size < 10240,
                      "a partial file", size)
    finally:
        subprocess.run(["umount", mount], check=False)


def display_lost(results, options, work):
    """The X server goes away mid-run: the program ends by itself."""
    server, name, conn = e2e.start_xvfb()
    process = None
    try:
        env = dict(os.environ, DISPLAY=name, XDG_CACHE_HOME=os.path.join(work, "cache-lost"))
        process = subprocess.Popen(options.program, env=env, stderr=subprocess.PIPE)
        e2e.wait_for(lambda: e2e.find_window(conn, e2e.TITLE), 30)
        time.sleep(2.0)
        conn.close()
        server.kill()
        server.wait()
        code, seconds = e2e.wait_exit(process, 5)
        stderr = process.stderr.read().decode(errors="replace").strip() if code is not None else ""
        results.check("display lost: ends by itself within 5 s", code is not None,
                      "process ended", "still running after %.1f s" % seconds)
        results.check("display lost: no crash or core dump", code is not None and code >= 0,
                      "an ordinary exit", "signal %d" % -code if code is not None and code < 0 else code)
        print("display lost: exit code %s after %.2f s; stderr: %s" % (code, seconds, stderr))
    finally:
        if process and process.poll() is None:
            process.kill()
        if server.poll() is None:
            server.kill()


def two_instances(results, conn, name, options, work):
    first = with_env({"XDG_CACHE_HOME": os.path.join(work, "cache-two")}, lambda: e2e.Session(options, conn, name))
    time.sleep(0.3)
    second = with_env({"XDG_CACHE_HOME": os.path.join(work, "cache-two")}, lambda: e2e.Session(options, conn, name))
    try:
        shown = results_view(second, options.pictures, 45)
        results.check("two instances: results shown", shown, "results screen", "none")
        for label, session in (("first", first), ("second", second)):
            running = session.process.poll() is None
            results.check("two instances: %s still running after its run" % label, running, "running",
                          session.process.returncode)
        for label, session in (("second", second), ("first", first)):
            code, seconds = session.close()
            results.check("two instances: %s closes with 0" % label, code == 0, 0,
                          "%s after %.2f s" % (code, seconds))
    finally:
        first.kill()
        second.kill()


def no_japanese_font(results, conn, name, options, work):
    """Only a Latin face available: the texts still draw."""
    latin = [d for d in ("/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/truetype/liberation")
             if os.path.isdir(d)]
    config = os.path.join(work, "latin-fonts.conf")
    with open(config, "w") as out:
        out.write('<?xml version="1.0"?>\n<fontconfig>\n%s  <cachedir>%s</cachedir>\n</fontconfig>\n'
                  % ("".join("  <dir>%s</dir>\n" % d for d in latin), os.path.join(work, "fc-cache")))
    env = {"FONTCONFIG_FILE": config, "XDG_CACHE_HOME": os.path.join(work, "cache-font")}
    session = with_env(env, lambda: e2e.Session(options, conn, name))
    try:
        shown = session.wait_first_countdown()
        results.check("no Japanese font: countdown texts drawn", shown, "ink on the text lines", "none")
        if shown:
            _, view = session.view()
            for line in ("cpu", "fpu", "sd"):
                extent = sc.ink_extent(view, options.pictures[0], sc.COUNTDOWN_LINES[line])
                results.check("no Japanese font: %s line drawn" % line, extent is not None, "ink", extent)
        code, seconds = session.close()
        results.check("no Japanese font: closes with 0", code == 0, 0, "%s after %.2f s" % (code, seconds))
    finally:
        session.kill()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--work")
    parser.add_argument("--only", nargs="*")
    parser.add_argument("--exit-limit", type=float, default=1.0)
    args = parser.parse_args()
    options = Options(args.program, sc.load_pictures(args.pictures), args.exit_limit)
    work = args.work or tempfile.mkdtemp(prefix="koru-faults-")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    results = e2e.Results("linux")
    wanted = lambda name: not args.only or name in args.only  # noqa: E731
    display_lost(results, options, work) if wanted("display") else None
    server, name, conn = e2e.start_xvfb()
    try:
        for key, scenario in (("scratch", scratch_faults), ("disk", disk_full), ("two", two_instances),
                              ("font", no_japanese_font)):
            if wanted(key):
                scenario(results, conn, name, options, work)
    finally:
        conn.close()
        server.kill()
        server.wait()
    print("%d passed, %d failed" % (results.passed, results.failed))
    return 1 if results.failed else 0


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
