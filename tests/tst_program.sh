#!/usr/bin/env bash
# End-to-end: starts the built player as a user would, under the X server that xvfb-run gives,
# accepts the parameters dialog with a real key press and checks the screen.
#   tst_program.sh PLAYER SOURCE_DIR
set -uo pipefail
. "$(dirname "$0")/../scripts/lib.sh"
player=$1
source_dir=$2

work=$(mktemp -d)
use_private_settings "$work" # first run: 176 x 144, 4:2:0 in the dialog
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

# A 176 x 144 4:2:0 clip of uniform frames; frame 0 converts to exactly (238, 13, 13).
make_clip() {
    python3 - "$1" <<'PY'
import sys
w, h = 176, 144
frames = [(81, 90, 240), (145, 54, 34), (41, 240, 110)]
with open(sys.argv[1], "wb") as f:
    for y, u, v in frames:
        f.write(bytes([y]) * (w * h) + bytes([u]) * (w * h // 4) + bytes([v]) * (w * h // 4))
PY
}

# Starts the player with the given arguments and presses Return in its parameters dialog.
start_and_accept() {
    "$player" "$@" >"$work/player.log" 2>&1 &
    pids+=($!)
    accept_parameters_dialog 20
}

window_named() { timeout 10 xdotool search --sync --name "$1" >/dev/null; }

red_pixels() {
    import -window root "$work/shot.png" 2>/dev/null
    convert "$work/shot.png" -fill black +opaque 'rgb(238,13,13)' -fill white \
        -opaque 'rgb(238,13,13)' -format '%[fx:round(mean*w*h)]' info:
}

first_frame_on_screen() {
    # The fitted 176 x 144 picture covers far more than 176 * 144 screen pixels.
    local count=0
    for _ in $(seq 1 50); do
        count=$(red_pixels)
        [ "$count" -gt $((176 * 144)) ] && return 0
        sleep 0.2
    done
    echo "  red pixels on screen: $count" >&2
    return 1
}

stop_player() {
    kill "${pids[-1]}" 2>/dev/null
    wait "${pids[-1]}" 2>/dev/null
}

make_clip "$work/first clip.yuv"
make_clip "$work/second.yuv"

start_and_accept "$work/first clip.yuv"
check "opens-the-argument-and-shows-frame-0" first_frame_on_screen
stop_player

start_and_accept "$work/first clip.yuv" "$work/second.yuv"
check "only-the-first-argument-opens" window_named "^Tamrel YUV Player - $work/first clip.yuv\$"
stop_player

start_and_accept -platform xcb "$work/second.yuv"
check "qt-option-is-taken-by-qt" window_named "^Tamrel YUV Player - $work/second.yuv\$"
stop_player

no_display_message() {
    local out
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$source_dir/scripts/run" 2>&1) && return 1
    grep -q "no display" <<<"$out"
}
check "run-script-without-display-says-so" no_display_message

finish_checks Totals
