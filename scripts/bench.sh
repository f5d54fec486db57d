#!/usr/bin/env bash
# Benchmarks that print figures. `scripts/bench.sh capture`: CScreenGrabber against ffmpeg's
# x11grab on a private Xvfb (1920x1080x24) whose content changes 30 times a second.
# VANTOREL_BUILD_DIR picks the build folder (default build/); BENCH_SECONDS the time per run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
build=${VANTOREL_BUILD_DIR:-build}
seconds=${BENCH_SECONDS:-3}

bench_capture() {
    if [[ ! -f "$build/build.ninja" ]]; then
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    cmake --build "$build" --target bench_capture bench_screen_animator >/dev/null
    command -v ffmpeg >/dev/null || { echo "bench: ffmpeg is not installed" >&2; return 1; }

    source scripts/xvfb.sh
    start_private_xvfb 1920x1080x24
    "$build/bench/bench_screen_animator" &
    BENCH_ANIMATOR_PID=$!
    trap 'kill "$BENCH_ANIMATOR_PID" 2>/dev/null || true; wait "$BENCH_ANIMATOR_PID" 2>/dev/null || true; stop_private_xvfb' EXIT
    sleep 0.5

    # ffmpeg_fps <size> <pix_fmt> <draw_mouse>: frames grabbed per wall-clock second, uncapped.
    ffmpeg_fps() {
        local out frames rtime
        out=$(ffmpeg -hide_banner -nostdin -nostats -loglevel info -benchmark \
            -f x11grab -framerate 100000 -draw_mouse "$3" -video_size "$1" -i "$DISPLAY+0,0" \
            -t "$seconds" -pix_fmt "$2" -f null - 2>&1) || { echo 0; return; }
        frames=$(grep -o 'frame= *[0-9]*' <<<"$out" | tail -n 1 | tr -dc '0-9')
        rtime=$(grep -o 'rtime=[0-9.]*' <<<"$out" | tail -n 1 | cut -d= -f2)
        awk -v f="${frames:-0}" -v t="${rtime:-0}" 'BEGIN { printf "%.1f", (t > 0 ? f / t : 0) }'
    }

    local size path bits cursor pixfmt reference
    for size in 704x576 1280x720 1920x1080; do
        for cursor in 0 1; do
            for path in dd32 gdi32 gdi24 gdi16; do
                bits=${path//[a-z]/}
                case $bits in
                    32) pixfmt=bgr0 ;;
                    24) pixfmt=bgr24 ;;
                    16) pixfmt=rgb565le ;;
                esac
                reference=$(ffmpeg_fps "$size" "$pixfmt" "$cursor")
                "$build/bench/bench_capture" "$size" "${path//[0-9]/}" "$bits" "$cursor" "$seconds" \
                    "$VANTOREL_XVFB_PID" "$reference"
            done
        done
    done
}

case "${1:-}" in
    capture) bench_capture ;;
    *) echo "usage: scripts/bench.sh capture" >&2; exit 2 ;;
esac
