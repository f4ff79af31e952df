#!/usr/bin/env bash
# Screenshots of all seven screens with sample figures (tools/screen_gallery),
# from the Linux build and from the Windows build under Wine, on a private
# X session, and one sheet with the two builds side by side:
#
#   tools/screen_gallery.sh      (about 30 s; builds what is missing first)
#
# Output: build/gallery/{linux,windows}-N.png and build/gallery/sheet.png.
set -euo pipefail
cd "$(dirname "$0")/.."

OUT=$PWD/build/gallery
TITLE="KORU BENCH"

if [[ ${1:-} != --in-session ]]; then
    tools/install-deps.sh >&2
    cmake --preset linux >/dev/null
    cmake --build --preset linux --target screen_gallery >/dev/null
    tools/setup-wine.sh "$PWD/build/windows/wineprefix" >/dev/null
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target screen_gallery >/dev/null
    exec tools/xsession.py run -- "$0" --in-session
fi

mkdir -p "$OUT"

# Shoots the window's client area once it has been painted, then closes it.
shoot() {
    local target=$1 index=$2 pid
    shift 2
    "$@" "$index" >/dev/null 2>&1 &
    pid=$!
    if tools/xsession.py wait "$TITLE" 60; then
        sleep 1
        tools/xsession.py shot "$TITLE" "$OUT/$target-$index.png"
        tools/xsession.py close "$TITLE" || true
    else
        echo "screen_gallery: no window for $target screen $index" >&2
    fi
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

for index in 0 1 2 3 4 5 6; do
    shoot linux "$index" build/linux/tools/screen_gallery
    shoot windows "$index" build/windows/wine-run build/windows/tools/screen_gallery.exe
done

rows=()
for index in 0 1 2 3 4 5 6; do
    convert "$OUT/linux-$index.png" "$OUT/windows-$index.png" -background black +append "$OUT/row-$index.png"
    rows+=("$OUT/row-$index.png")
done
convert "${rows[@]}" -append "$OUT/sheet.png"
rm -f "${rows[@]}"
echo "Screens: $OUT/linux-N.png, $OUT/windows-N.png (N = 0 to 6); side by side: $OUT/sheet.png"
