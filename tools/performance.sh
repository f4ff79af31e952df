#!/usr/bin/env bash
# Measures KORU BENCH's performance figures and prints them against their
# targets, on a private X session so that nothing else draws meanwhile:
#
#   1. the engine loops (tools/loop_benchmark, Linux and under Wine), ours vs
#      the reference loops of the same assembly, and a loop of one tick read;
#   2. the figures of both builds (tools/run_figures, alternating, three runs
#      each, pinned to one processor with Wine's server, then free): their
#      medians, their spread from run to run, how late each phase ends, and
#      the figures with a processor hog beside them;
#   3. a full run of the program: the window thread's and the ticker's CPU
#      time, the wake-ups per second once the results show, peak memory;
#   4. the screens composed in a run (a second run, under gdb);
#   5. time from exec to the first paint, over several runs;
#   6. binary sizes and the pictures' share of them.
#
#   tools/performance.sh          (about 8 min; brings the builds up to date first)
#
# Each program run is closed as a window manager would (WM_DELETE_WINDOW).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

PROGRAM=build/linux/display/koru-bench
WINDOWS_EXE=build/windows/display/koru-bench.exe
WINE_RUN=build/windows/wine-run
PICTURES=build/linux/resources/pictures
OUT=build/perf
TITLE="KORU BENCH"
FIGURE_ROUNDS=3         # alternating runs of each build, pinned and free; medians count
RESULTS_AT=17           # seconds into a run: the results have shown by then
WAKE_WINDOW=5           # seconds over which wake-ups are counted after that
FIRST_PAINT_RUNS=5
BMP_FILE_HEADER=14      # BITMAPFILEHEADER: not part of a Windows bitmap resource

if [[ ${1:-} != --in-session ]]; then
    tools/install-deps.sh --measuring >&2
    # Always brought up to date, so the figures are for the current source.
    cmake --preset linux >/dev/null
    cmake --build --preset linux --target koru-bench loop_benchmark run_figures >/dev/null
    tools/setup-wine.sh "$root/build/windows/wineprefix" >/dev/null
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target koru-bench loop_benchmark run_figures >/dev/null
    exec tools/xsession.py run -- "$0" --in-session
fi

mkdir -p "$OUT"
cc -O2 -Wall -shared -fPIC -o "$OUT/first_paint.so" tools/perf/first_paint.c -ldl
cc -O2 -Wall -o "$OUT/exec_timed" tools/perf/exec_timed.c
cc -O2 -Wall -o "$OUT/sleeper" tools/perf/sleeper.c
cc -O2 -Wall -o "$OUT/steady" tools/perf/steady.c

window() { tools/xsession.py "$1" "$TITLE" "${@:2}"; }
program_pid=""
hog_pid=""
cleanup() {
    [[ -n $program_pid ]] && kill -KILL "$program_pid" 2>/dev/null
    [[ -n $hog_pid ]] && kill -KILL "$hog_pid" 2>/dev/null
    wait 2>/dev/null || true
}
trap cleanup EXIT

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
calc() { awk "BEGIN { printf \"$1\", $2 }"; }

# ---- machine ---------------------------------------------------------------

cpu_model=$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
clocksource=$(cat /sys/devices/system/clocksource/clocksource0/current_clocksource 2>/dev/null || echo unknown)
core=$(( $(nproc) - 1 ))  # the processor the figures are measured on
load_start=$(cut -d' ' -f1-3 /proc/loadavg)
echo "== machine"
echo "cpus $(nproc), $cpu_model, kernel $(uname -r), clock source $clocksource"
echo "load average at start (1/5/15 min): $load_start"
echo

# ---- 1. engine loops -----------------------------------------------------------

echo "== 1. engine loops (loop_benchmark, about 40 s a build)"
ratio_of() { awk -v phase="$1" '$1 == phase { print $NF }'; }
loops=$(build/linux/tools/loop_benchmark 2>/dev/null)
echo "$loops"
int_ratio=$(ratio_of integer <<<"$loops")
real_ratio=$(ratio_of floating-point <<<"$loops")
echo "-- the Windows build under Wine"
win_loops=$("$WINE_RUN" build/windows/tools/loop_benchmark.exe 2>/dev/null | tr -d '\r')
echo "$win_loops"
tick_loop=$(awk '$1 == "tick" { print $3 }' <<<"$loops")
win_tick_loop=$(awk '$1 == "tick" { print $3 }' <<<"$win_loops")
win_int_ratio=$(ratio_of integer <<<"$win_loops")
win_real_ratio=$(ratio_of floating-point <<<"$win_loops")
echo

# ---- 2. figures of both builds ------------------------------------------------

echo "== 2. figures: Linux and Windows alternating, $FIGURE_ROUNDS runs each, pinned to processor $core" \
     "(Wine's server too), then free; then beside a hog"
figure() { awk -v name="$1" '$1 == "figures" { for (i = 2; i <= NF; i++) if (split($i, kv, "=") == 2 && kv[1] == name) print kv[2] }'; }
lateness() { awk '$1 == "phase" { m = $8; if ($10 > m) m = $10; if ($12 > m) m = $12; print m }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
spread() { sort -n | awk 'NR == 1 { low = $1 } { high = $1 } END { printf "%.1f", (high - low) / high * 100 }'; }
worst() { sort -n | tail -n 1; }
pinned="taskset -c $core"
run_linux() { $1 build/linux/tools/run_figures; }
run_windows() { $1 "$WINE_RUN" build/windows/tools/run_figures.exe 2>/dev/null | tr -d '\r'; }
# Wine's server is a process of its own, started by the first Wine program
# and kept: started anew, pinned or free, as the runs are.
restart_wineserver() {
    WINEPREFIX=$root/build/windows/wineprefix wineserver -k 2>/dev/null || true
    WINEPREFIX=$root/build/windows/wineprefix $1 wineserver -p
}
declare -A runs
for placement in pinned free; do
    pin=""; [[ $placement == pinned ]] && pin=$pinned
    restart_wineserver "$pin"
    runs[linux-$placement]="" runs[windows-$placement]=""
    for round in $(seq "$FIGURE_ROUNDS"); do
        for build in linux windows; do
            out=$("run_$build" "$pin")
            echo "$placement $build $round: $(head -n 1 <<<"$out")"
            runs[$build-$placement]+="$out"$'\n'
        done
    done
done
restart_wineserver ""
for key in linux-pinned windows-pinned linux-free windows-free; do
    for name in CPU FPU; do
        printf -v "median_${name}_${key//-/_}" %s "$(figure $name <<<"${runs[$key]}" | median)"
        printf -v "spread_${name}_${key//-/_}" %s "$(figure $name <<<"${runs[$key]}" | spread)"
    done
done
linux_cpu=$median_CPU_linux_pinned linux_fpu=$median_FPU_linux_pinned
windows_cpu=$median_CPU_windows_pinned windows_fpu=$median_FPU_windows_pinned
cpu_ratio=$(calc "%.3f" "$linux_cpu / $windows_cpu")
fpu_ratio=$(calc "%.3f" "$linux_fpu / $windows_fpu")
late_ms=$(lateness <<<"${runs[linux-pinned]}${runs[linux-free]}" | worst)
echo "medians, pinned: Linux CPU=$linux_cpu FPU=$linux_fpu, Windows CPU=$windows_cpu FPU=$windows_fpu;" \
     "Linux/Windows CPU $cpu_ratio, FPU $fpu_ratio"
for key in linux-pinned windows-pinned linux-free windows-free; do
    k=${key//-/_}
    cpu_spread=spread_CPU_$k fpu_spread=spread_FPU_$k cpu_median=median_CPU_$k fpu_median=median_FPU_$k
    echo "spread over $FIGURE_ROUNDS runs, $key: CPU ${!cpu_spread} % (median ${!cpu_median})," \
         "FPU ${!fpu_spread} % (median ${!fpu_median})"
done
# The machine's own floor: a loop without a tick read, in fresh processes.
steady_runs=$(for _ in $(seq "$FIGURE_ROUNDS"); do $pinned "$OUT/steady"; done)
steady_memory=$(awk '{ print $2 }' <<<"$steady_runs" | spread)
steady_registers=$(awk '{ print $4 }' <<<"$steady_runs" | spread)
echo "a minimal loop in $FIGURE_ROUNDS fresh processes, pinned (ns a loop):" $(awk '{ print $2 "/" $4 }' <<<"$steady_runs") \
     "- spread $steady_memory % (volatile memory), $steady_registers % (registers only)"
echo "phase ends after their deadlines, Linux (ms):"
grep -h '^phase' <<<"${runs[linux-pinned]}${runs[linux-free]}" | sed 's/^/  /'
# A second busy thread on the same processor: a fair scheduler gives the
# worker half the time, so the figures should halve, no more, no less.
$pinned sh -c 'while :; do :; done' &
hog_pid=$!
hogged=$(run_linux "$pinned")
kill "$hog_pid"; wait "$hog_pid" 2>/dev/null || true; hog_pid=""
echo "beside a hog: $hogged" | head -n 2
hog_cpu=$(calc "%.2f" "$(figure CPU <<<"$hogged") / $linux_cpu")
hog_fpu=$(calc "%.2f" "$(figure FPU <<<"$hogged") / $linux_fpu")
hog_late=$(lateness <<<"$hogged")
echo "figures beside a hog / alone (median): CPU $hog_cpu, FPU $hog_fpu; phases ended up to $hog_late ms late"
echo

# ---- 3. full run: CPU time by thread, wake-ups after the run, peak memory -----

echo "== 3. full run: CPU time by thread, wake-ups per second once the results show, peak memory"
ticks=$(getconf CLK_TCK)
on_cpu_ms() { awk '{ printf "%.1f", $1 / 1e6 }' "$1/schedstat"; }
switches() {  # voluntary context switches of every thread: each is a wake-up to come
    cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches/ { n += $2 } END { print n }'
}
started=$(now)
"$PROGRAM" &
program_pid=$!
window wait 30 || echo "window did not show"
startup_ms=$(on_cpu_ms "/proc/$program_pid/task/$program_pid")
startup_at=$(elapsed "$started")
sleep_until "$started" "$RESULTS_AT"
wakes_before=$(switches "$program_pid")
sleep "$WAKE_WINDOW"
wakes_after=$(switches "$program_pid")
wakes_per_second=$(calc "%.1f" "($wakes_after - $wakes_before) / $WAKE_WINDOW")
# Just before closing: every thread's times (the worker has ended by now),
# then the memory high-water mark.
main_ms="" ticker_ms=""
for task in /proc/$program_pid/task/*; do
    tid=${task##*/}
    comm=$(<"$task/comm")
    ms=$(on_cpu_ms "$task")
    wakes=$(awk '/^voluntary_ctxt_switches/ { print $2 }' "$task/status")
    echo "  tid $tid ($comm): on-CPU $ms ms; $wakes voluntary switches"
    [[ $tid == "$program_pid" ]] && main_ms=$ms
    [[ $comm == koru-ticker ]] && ticker_ms=$ms
done
memory=$(awk '/^(VmHWM|VmRSS|RssAnon|RssFile|RssShmem)/ { printf "%s %s kB  ", $1, $2 }' /proc/$program_pid/status)
hwm_kb=$(awk '/^VmHWM/ { print $2 }' /proc/$program_pid/status)
ran=$(elapsed "$started")
close_program "$program_pid"
program_pid=""
ticker_share=$(calc "%.2f" "${ticker_ms:-0} / 15000 * 100")
echo "  window thread: $startup_ms ms on CPU by the time the window showed (${startup_at} s), $main_ms ms in all"
# What any thread that wakes a thousand times a second costs here, the
# ticker's floor (wake-ups are dear on some virtual machines).
sleeper=$("$OUT/sleeper")
echo "  ticker: ${ticker_ms:-none} ms on CPU over the 15 s run (${ticker_share} %); it sleeps once the run is over"
echo "  a bare thread waking every millisecond, on this machine: $sleeper"
echo "  wake-ups once the results show ($RESULTS_AT to $((RESULTS_AT + WAKE_WINDOW)) s): $wakes_per_second a second"
echo "  reading taken at ${ran} s; $memory"
echo

# ---- 4. screens composed (separate run under gdb) -------------------------------

echo "== 4. screens composed (a second full run under gdb, counting breakpoints)"
symbols=$(nm -C "$PROGRAM")
for symbol in ComposeFirstPaintScreen ComposeCountdownScreen ComposeResultsScreen; do
    grep -q " $symbol(" <<<"$symbols" || echo "  warning: $symbol not found in $PROGRAM"
done
rm -f "$OUT/presents.txt"
started=$(now)
gdb -q -batch \
    -ex "set environment LD_PRELOAD=$root/$OUT/first_paint.so" \
    -ex "set environment KORU_PERF_PRESENTS=$root/$OUT/presents.txt" \
    -x tools/perf/count_screens.gdb --args "$PROGRAM" >"$OUT/gdb.log" 2>&1 &
program_pid=$!
window wait 60 || echo "window did not show"
sleep_until "$started" "$RESULTS_AT"
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
echo "  first paint $n_first, countdown $n_countdown, results $n_results in ${RESULTS_AT} s;" \
     "$screens up to and including the first results screen, $later results recomposed after it"
echo "  window presents (SDL_UpdateWindowSurfaceRects): $presents, $present_cpu_ms ms CPU inside them"
echo

# ---- 5. start to first paint -----------------------------------------------------

echo "== 5. exec to first paint (1 warm-up run, then $FIRST_PAINT_RUNS)"
first_paints=()
for run in $(seq 0 "$FIRST_PAINT_RUNS"); do
    rm -f "$OUT/first_paint.txt"
    KORU_PERF_OUT=$root/$OUT/first_paint.txt LD_PRELOAD=$root/$OUT/first_paint.so \
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

# ---- 6. sizes ------------------------------------------------------------------

echo "== 6. sizes"
strip -o "$OUT/koru-bench.stripped" "$PROGRAM"
linux_size=$(stat -c %s "$PROGRAM")
stripped_size=$(stat -c %s "$OUT/koru-bench.stripped")
picture_files=0; picture_resources=0
for bmp in "$PICTURES"/*.bmp; do
    size=$(stat -c %s "$bmp")
    picture_files=$((picture_files + size))
    picture_resources=$((picture_resources + size - BMP_FILE_HEADER))
done
share() { calc "%.1f%%" "100 * $1 / $2"; }
windows_size=$(stat -c %s "$WINDOWS_EXE")
echo "  pictures: $(ls "$PICTURES"/*.bmp | wc -l) files, $picture_resources bytes as bitmap resources" \
     "($picture_files as .bmp files, which is how the Linux build embeds them)"
echo "  Linux binary: $linux_size bytes unstripped, pictures $(share "$picture_files" "$linux_size");" \
     "$stripped_size bytes stripped, pictures $(share "$picture_files" "$stripped_size")"
echo "  Windows executable: $windows_size bytes, pictures $(share "$picture_resources" "$windows_size")"
echo

# ---- summary ---------------------------------------------------------------------

verdict() { awk "BEGIN { exit !($1) }" && echo PASS || echo MISS; }
row() { printf '%-44s %-26s %-16s %s\n' "$@"; }
load_end=$(cut -d' ' -f1-3 /proc/loadavg)
hwm_mb=$(calc "%.1f" "$hwm_kb * 1024 / 1e6")
echo "== summary ($(date -u '+%Y-%m-%d %H:%M UTC'); load average start $load_start, end $load_end)"
echo "machine: $(nproc) cpus, $cpu_model, kernel $(uname -r), clock source $clocksource"
row figure value target result
row "Linux: integer loop, ours/reference" "$int_ratio" ">= 0.97" "$(verdict "$int_ratio >= 0.97")"
row "Linux: floating-point loop, ours/reference" "$real_ratio" ">= 0.97" "$(verdict "$real_ratio >= 0.97")"
row "Wine: integer loop, ours/reference" "$win_int_ratio" ">= 0.97" "$(verdict "$win_int_ratio >= 0.97")"
row "Wine: floating-point loop, ours/reference" "$win_real_ratio" ">= 0.97" "$(verdict "$win_real_ratio >= 0.97")"
row "a tick read and its counter, Linux / Wine (ns)" "$tick_loop / $win_tick_loop" "-" "-"
row "CPU figure, Linux/Windows, pinned medians" "$cpu_ratio ($linux_cpu/$windows_cpu)" "0.90 to 1.10" \
    "$(verdict "$cpu_ratio >= 0.90 && $cpu_ratio <= 1.10")"
row "FPU figure, Linux/Windows, pinned medians" "$fpu_ratio ($linux_fpu/$windows_fpu)" "0.90 to 1.10" \
    "$(verdict "$fpu_ratio >= 0.90 && $fpu_ratio <= 1.10")"
row "a minimal loop's spread, fresh processes, pinned" "$steady_memory % (registers only: $steady_registers %)" "-" "the machine's floor"
row "Linux CPU figure spread, pinned" "$spread_CPU_linux_pinned %" "<= the floor" \
    "$(verdict "$spread_CPU_linux_pinned <= $steady_memory") (FPU $spread_FPU_linux_pinned %)"
row "Linux CPU figure spread, free" "$spread_CPU_linux_free %" "-" "FPU $spread_FPU_linux_free %"
row "Windows CPU figure spread, pinned" "$spread_CPU_windows_pinned %" "-" "FPU $spread_FPU_windows_pinned %"
row "Windows CPU figure spread, free" "$spread_CPU_windows_free %" "-" "FPU $spread_FPU_windows_free %"
row "Linux phase end after deadline, worst" "$late_ms ms" "< 20 ms" "$(verdict "$late_ms < 20")"
row "figures beside a hog / alone (CPU, FPU)" "$hog_cpu, $hog_fpu" "0.35 to 0.65" \
    "$(verdict "$hog_cpu >= 0.35 && $hog_cpu <= 0.65 && $hog_fpu >= 0.35 && $hog_fpu <= 0.65")"
row "ticker CPU time over the run" "${ticker_ms:-none} ms (${ticker_share} %)" "< 1 %" \
    "$(verdict "$ticker_share < 1") (a bare 1 ms sleeper here: ${sleeper%% (*})"
row "wake-ups a second once the results show" "$wakes_per_second" "<= 15" "$(verdict "$wakes_per_second <= 15")"
row "window thread CPU time, full run" "$main_ms ms" "< 150 ms (1%)" "$(verdict "$main_ms < 150")"
row "screens composed, 15 s run" "$screens (+$later after)" "16 to 17" \
    "$(verdict "$screens >= 16 && $screens <= 17")"
row "exec to first paint, median of $FIRST_PAINT_RUNS" "$fp_median ms (max $fp_max)" "< 100 ms" \
    "$(verdict "$fp_median < 100")"
row "peak resident memory (VmHWM)" "$hwm_mb MB ($hwm_kb kB)" "< 40 MB" "$(verdict "$hwm_kb * 1024 < 40e6")"
row "Linux binary, unstripped / stripped" "$linux_size / $stripped_size B" "-" \
    "pictures $(share "$picture_files" "$linux_size") / $(share "$picture_files" "$stripped_size")"
row "Windows executable" "$windows_size B" "-" "pictures $(share "$picture_resources" "$windows_size")"
