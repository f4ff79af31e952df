# Sourced: starts Xvfb on a free display number, exports DISPLAY, and stops
# it when the sourcing shell exits. A 24-bit screen larger than the window.
start_virtual_display() {
    local number
    for number in $(seq 90 120); do
        if [ ! -e "/tmp/.X11-unix/X$number" ] && [ ! -e "/tmp/.X$number-lock" ]; then
            break
        fi
    done
    Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    VIRTUAL_DISPLAY_PID=$!
    trap 'kill "$VIRTUAL_DISPLAY_PID" 2>/dev/null || true' EXIT
    export DISPLAY=":$number"
    local waited
    for waited in $(seq 1 100); do
        if xdpyinfo >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.1
    done
    echo "virtual-display: Xvfb did not start on $DISPLAY" >&2
    return 1
}
