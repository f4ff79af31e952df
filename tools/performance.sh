#!/usr/bin/env bash
# Measures KORU BENCH's performance figures and prints them against their
# targets, on a private Xvfb display so that nothing else draws meanwhile:
#
#   1. the engine loops (tools/loop_benchmark, Linux and under Wine), ours vs reference;
#   2. the window thread's CPU time over a full run, and the screens composed;
#   3. time from exec to the first paint (fonts cached), over several runs;
#   4. peak resident memory of a full run;
#   5. binary sizes and the pictures' share of them.
#
#   tools/performance.sh          (about 3 min 30 s; brings the builds up to date first)
#
# Each program run is closed as a window manager would (WM_DELETE_WINDOW).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

PROGRAM=build/linux/display/koru-bench
LOOP_BENCHMARK=build/linux/tools/loop_benchmark
WINDOWS_EXE=build/windows/display/koru-bench.exe
PICTURES=build/linux/resources/pictures
OUT=build/perf
TITLE="KORU BENCH"
RUN_SECONDS=18          # a full run is 15 s; the results screen follows at 15-16 s
FIRST_PAINT_RUNS=5
BMP_FILE_HEADER=14      # BITMAPFILEHEADER: not part of a Windows bitmap resource
PYTHON=/usr/bin/python3  # the system one, which has python3-xlib

# ---- tools -----------------------------------------------------------------

missing=()
for pair in Xvfb:xvfb gdb:gdb cc:gcc strip:binutils python3:python3; do
    command -v "${pair%%:*}" >/dev/null || missing+=("${pair#*:}")
done
"$PYTHON" -c 'import Xlib' 2>/dev/null || missing+=(python3-xlib)
if ((${#missing[@]})); then
    sudo=""; [[ $(id -u) == 0 ]] || sudo=sudo
    $sudo apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null
fi

# Always brought up to date, so the figures are for the current source.
cmake --preset linux >/dev/null && cmake --build --preset linux --target koru-bench loop_benchmark >/dev/null
if command -v i686-w64-mingw32-g++ >/dev/null; then
    cmake --preset windows >/dev/null && cmake --build --preset windows --target koru-bench loop_benchmark >/dev/null || true
fi

mkdir -p "$OUT"
cc -O2 -Wall -shared -fPIC -o "$OUT/first_paint.so" tools/perf/first_paint.c -ldl
cc -O2 -Wall -o "$OUT/exec_timed" tools/perf/exec_timed.c

# ---- private display ---------------------------------------------------------

number=150
while [[ -e /tmp/.X11-unix/X$number || -e /tmp/.X$number-lock ]]; do number=$((number + 1)); done
DISPLAY_NAME=":$number"
Xvfb "$DISPLAY_NAME" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
program_pid=""
cleanup() {
    [[ -n $program_pid ]] && kill -KILL "$program_pid" 2>/dev/null
    kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null || true
}
trap cleanup EXIT
"$PYTHON" tools/perf/x_window.py ready "$DISPLAY_NAME" 10

window() { "$PYTHON" tools/perf/x_window.py "$1" "$DISPLAY_NAME" "$TITLE" "${@:2}"; }

# Closes the window politely and waits for the process; kills it if it hangs.
close_program() {
    local pid=$1
    window close || true
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { print b - a }'; }
sleep_until() { local rest; rest=$(awk -v a="$1" -v s="$2" -v b="$(now)" 'BEGIN { r = a + s - b; print (r > 0 ? r : 0) }'); sleep "$rest"; }

# ---- machine ---------------------------------------------------------------

cpu_model=$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
clocksource=$(cat /sys/devices/system/clocksource/clocksource0/current_clocksource 2>/dev/null || echo unknown)
load_start=$(cut -d' ' -f1-3 /proc/loadavg)
echo "== machine"
echo "cpus $(nproc), $cpu_model, kernel $(uname -r), clock source $clocksource"
echo "load average at start (1/5/15 min): $load_start"
echo

# ---- 1. engine loops -----------------------------------------------------------

echo "== 1. engine loops ($LOOP_BENCHMARK, about 75 s)"
loops=$("$LOOP_BENCHMARK")
echo "$loops"
int_ratio=$(awk '$1 == "integer" { print $NF }' <<<"$loops")
real_ratio=$(awk '$1 == "floating-point" { print $NF }' <<<"$loops")
# The Windows build's loops under Wine, where the tick read costs far less
# and the loop itself is most of what is measured.
win_int_ratio="" win_real_ratio=""
if [[ -x build/windows/wine-run && -f build/windows/tools/loop_benchmark.exe && -f build/windows/wineprefix/system.reg ]]; then
    echo "-- the Windows build under Wine (about 75 s)"
    win_loops=$(build/windows/wine-run build/windows/tools/loop_benchmark.exe 2>/dev/null | tr -d '\r')
    echo "$win_loops"
    win_int_ratio=$(awk '$1 == "integer" { print $NF }' <<<"$win_loops")
    win_real_ratio=$(awk '$1 == "floating-point" { print $NF }' <<<"$win_loops")
fi
echo

# ---- 2 + 4. full run: window thread CPU time, peak memory ----------------------

echo "== 2/4. full run (${RUN_SECONDS} s): window thread CPU time, peak resident memory"
ticks=$(getconf CLK_TCK)
on_cpu_ms() { awk '{ printf "%.1f", $1 / 1e6 }' "/proc/$1/task/$1/schedstat"; }
started=$(now)
DISPLAY=$DISPLAY_NAME "$PROGRAM" &
program_pid=$!
window wait 30 || echo "window did not show"
startup_ms=$(on_cpu_ms "$program_pid")
startup_at=$(elapsed "$started")
sleep_until "$started" "$RUN_SECONDS"
# Just before closing: every thread's times (the worker has ended by now),
# then the memory high-water mark.
main_ns=""
main_ticks_ms=0
thread_lines=""
for task in /proc/$program_pid/task/*; do
    tid=${task##*/}
    # Fields 14 and 15, counted after "(comm) " since comm may hold spaces.
    read -r utime stime < <(sed 's/.*) //' "$task/stat" | awk '{ print $12, $13 }')
    ns=$(cut -d' ' -f1 "$task/schedstat" 2>/dev/null || echo "")
    comm=$(<"$task/comm")
    ms_ticks=$(( (utime + stime) * 1000 / ticks ))
    ms_exact=$([[ -n $ns ]] && awk -v n="$ns" 'BEGIN { printf "%.1f", n / 1e6 }' || echo "?")
    role=$([[ $tid == "$program_pid" ]] && echo "window thread" || echo "other thread")
    wakeups=$(awk '/^voluntary_ctxt_switches/ { print $2 }' "$task/status")
    thread_lines+="  tid $tid ($comm, $role): utime+stime $utime+$stime ticks = $ms_ticks ms;"
    thread_lines+=" on-CPU (schedstat) $ms_exact ms; $wakeups voluntary switches"$'\n'
    if [[ $tid == "$program_pid" ]]; then
        main_ticks_ms=$ms_ticks
        main_ns=$ns
    fi
done
memory=$(awk '/^(VmHWM|VmRSS|RssAnon|RssFile|RssShmem)/ { printf "%s %s kB  ", $1, $2 }' /proc/$program_pid/status)
hwm_kb=$(awk '/^VmHWM/ { print $2 }' /proc/$program_pid/status)
ran=$(elapsed "$started")
close_program "$program_pid"
program_pid=""
printf '%s' "$thread_lines"
# schedstat is in ns; the tick count only has 1/CLK_TCK s resolution.
if [[ -n $main_ns ]]; then
    main_ms=$(awk -v n="$main_ns" 'BEGIN { printf "%.1f", n / 1e6 }')
else
    main_ms=$main_ticks_ms
fi
after_ms=$(awk -v a="$main_ms" -v b="$startup_ms" -v t="$ran" -v s="$startup_at" \
    'BEGIN { printf "%.1f ms, %.2f ms/s", a - b, (a - b) / (t - s) }')
echo "  window thread: $startup_ms ms on CPU by the time the window showed (${startup_at} s), then $after_ms"
echo "  reading taken at ${ran} s; $memory"
echo

# ---- 2. screens composed (separate run under gdb) -------------------------------

echo "== 2. screens composed (a second full run under gdb, counting breakpoints)"
symbols=$(nm -C "$PROGRAM")
for symbol in ComposeFirstPaintScreen ComposeCountdownScreen ComposeResultsScreen; do
    grep -q " $symbol(" <<<"$symbols" || echo "  warning: $symbol not found in $PROGRAM"
done
rm -f "$OUT/presents.txt"
started=$(now)
DISPLAY=$DISPLAY_NAME gdb -q -batch \
    -ex "set environment LD_PRELOAD=$root/$OUT/first_paint.so" \
    -ex "set environment KORU_PERF_PRESENTS=$root/$OUT/presents.txt" \
    -x tools/perf/count_screens.gdb --args "$PROGRAM" >"$OUT/gdb.log" 2>&1 &
program_pid=$!
window wait 60 || echo "window did not show"
sleep_until "$started" "$RUN_SECONDS"
close_program "$program_pid"
program_pid=""
# Seconds from the first paint; the run proper ends with the first results
# screen, and any results screen after it is a recomposition.
awk '$1 == "screen" { if (!t0) t0 = $3; printf "%s %.2f\n", $2, $3 - t0 }' "$OUT/gdb.log" >"$OUT/screens.txt"
read -r n_first n_countdown n_results screens later < <(awk '
    { n[$1]++ }
    $1 == "results" && !done { done = 1; run = NR }
    END { print n["first_paint"] + 0, n["countdown"] + 0, n["results"] + 0, (run ? run : NR), NR - run }
' "$OUT/screens.txt")
read -r _ presents present_cpu_ms 2>/dev/null < "$OUT/presents.txt" || { presents="?"; present_cpu_ms="?"; }
echo "  composed at (s from the first paint): $(awk '{ printf "%s%s %s", sep, substr($1, 1, 1), $2; sep = ", " }' "$OUT/screens.txt")"
echo "  first paint $n_first, countdown $n_countdown, results $n_results in ${RUN_SECONDS} s;" \
     "$screens up to and including the first results screen, $later results recomposed after it"
echo "  window presents (SDL_UpdateWindowSurfaceRects): $presents, $present_cpu_ms ms CPU inside them"
echo

# ---- 3. start to first paint -----------------------------------------------------

echo "== 3. exec to first paint (1 warm-up run, then $FIRST_PAINT_RUNS)"
first_paints=()
for run in $(seq 0 "$FIRST_PAINT_RUNS"); do
    rm -f "$OUT/first_paint.txt"
    DISPLAY=$DISPLAY_NAME KORU_PERF_OUT=$root/$OUT/first_paint.txt LD_PRELOAD=$root/$OUT/first_paint.so \
        "$OUT/exec_timed" "$PROGRAM" &
    program_pid=$!
    for _ in $(seq 1500); do
        grep -q first_paint_ms "$OUT/first_paint.txt" 2>/dev/null && break
        sleep 0.02
    done
    window wait 10 >/dev/null || true
    close_program "$program_pid"
    program_pid=""
    value=$(awk '$1 == "first_paint_ms" { print $2 }' "$OUT/first_paint.txt" 2>/dev/null || true)
    cpu=$(awk '$1 == "first_paint_ms" { print $3 }' "$OUT/first_paint.txt" 2>/dev/null || true)
    if ((run == 0)); then
        echo "  warm-up: ${value:-none} ms (window thread on CPU ${cpu:-?} ms)"
    else
        echo "  run $run: ${value:-none} ms (window thread on CPU ${cpu:-?} ms)"
        [[ -n $value ]] && first_paints+=("$value")
    fi
done
read -r fp_min fp_median fp_max < <(printf '%s\n' "${first_paints[@]}" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR) print v[1], v[int((NR + 1) / 2)], v[NR]; else print "nan nan nan" }')
echo "  min / median / max: $fp_min / $fp_median / $fp_max ms"
echo

# ---- 5. sizes ------------------------------------------------------------------

echo "== 5. sizes"
strip -o "$OUT/koru-bench.stripped" "$PROGRAM"
linux_size=$(stat -c %s "$PROGRAM")
stripped_size=$(stat -c %s "$OUT/koru-bench.stripped")
picture_files=0; picture_resources=0
for bmp in "$PICTURES"/*.bmp; do
    size=$(stat -c %s "$bmp")
    picture_files=$((picture_files + size))
    picture_resources=$((picture_resources + size - BMP_FILE_HEADER))
done
share() { awk -v p="$1" -v t="$2" 'BEGIN { printf "%.1f%%", 100 * p / t }'; }
echo "  pictures: $(ls "$PICTURES"/*.bmp | wc -l) files, $picture_resources bytes as bitmap resources" \
     "($picture_files as .bmp files, which is how the Linux build embeds them)"
echo "  Linux binary: $linux_size bytes unstripped, pictures $(share "$picture_files" "$linux_size");" \
     "$stripped_size bytes stripped, pictures $(share "$picture_files" "$stripped_size")"
if [[ -f $WINDOWS_EXE ]]; then
    windows_size=$(stat -c %s "$WINDOWS_EXE")
    echo "  Windows executable: $windows_size bytes, pictures $(share "$picture_resources" "$windows_size")"
else
    windows_size=""
    echo "  Windows executable: not built"
fi
echo

# ---- summary ---------------------------------------------------------------------

verdict() { awk "BEGIN { exit !($1) }" && echo PASS || echo MISS; }
load_end=$(cut -d' ' -f1-3 /proc/loadavg)
hwm_mb=$(awk -v k="$hwm_kb" 'BEGIN { printf "%.1f", k * 1024 / 1e6 }')
echo "== summary ($(date -u '+%Y-%m-%d %H:%M UTC'); load average start $load_start, end $load_end)"
echo "machine: $(nproc) cpus, $cpu_model, kernel $(uname -r), clock source $clocksource"
printf '%-40s %-22s %-16s %s\n' figure value target result
printf '%-40s %-22s %-16s %s\n' "integer loop rate, ours/reference" "$int_ratio" ">= 0.97" \
    "$(verdict "$int_ratio >= 0.97")"
printf '%-40s %-22s %-16s %s\n' "floating-point loop rate, ours/reference" "$real_ratio" ">= 0.97" \
    "$(verdict "$real_ratio >= 0.97")"
if [[ -n $win_int_ratio && -n $win_real_ratio ]]; then
    printf '%-40s %-22s %-16s %s\n' "Wine: integer loop rate, ours/reference" "$win_int_ratio" ">= 0.97" \
        "$(verdict "$win_int_ratio >= 0.97")"
    printf '%-40s %-22s %-16s %s\n' "Wine: floating-point loop rate" "$win_real_ratio" ">= 0.97" \
        "$(verdict "$win_real_ratio >= 0.97")"
fi
printf '%-40s %-22s %-16s %s\n' "window thread CPU time, full run" "$main_ms ms" "< 150 ms (1%)" \
    "$(verdict "$main_ms < 150")"
printf '%-40s %-22s %-16s %s\n' "screens composed, 15 s run" "$screens (+$later after)" "16 to 17" \
    "$(verdict "$screens >= 16 && $screens <= 17")"
printf '%-40s %-22s %-16s %s\n' "exec to first paint, median of $FIRST_PAINT_RUNS" "$fp_median ms (max $fp_max)" "< 100 ms" \
    "$(verdict "$fp_median < 100")"
printf '%-40s %-22s %-16s %s\n' "peak resident memory (VmHWM)" "$hwm_mb MB ($hwm_kb kB)" "< 40 MB" \
    "$(verdict "$hwm_kb * 1024 < 40e6")"
printf '%-40s %-22s %-16s %s\n' "Linux binary, unstripped / stripped" "$linux_size / $stripped_size B" "-" \
    "pictures $(share "$picture_files" "$linux_size") / $(share "$picture_files" "$stripped_size")"
printf '%-40s %-22s %-16s %s\n' "Windows executable" "${windows_size:-not built} B" "-" \
    "$([[ -n $windows_size ]] && echo "pictures $(share "$picture_resources" "$windows_size")")"
