#!/usr/bin/env bash
# Benchmarks that print figures. `scripts/bench.sh capture`: CScreenGrabber against ffmpeg's
# x11grab on a private Xvfb (1920x1080x24) whose content changes 30 times a second.
# VANTOREL_BUILD_DIR picks the build folder (default build/); BENCH_SECONDS the time per run,
# BENCH_ROUNDS the runs per case (the figures are medians); BENCH_CPU the processor that the X
# server and every grabber run on (default 0; "any" leaves them to the scheduler).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
build=${VANTOREL_BUILD_DIR:-build}
seconds=${BENCH_SECONDS:-1}
rounds=${BENCH_ROUNDS:-3}
cpu=${BENCH_CPU:-0}

# median: the middle one of the numbers on standard input.
median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)]; else print 0 }'
}

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
    # A grab is a round trip to the server: with both on one processor neither waits for the
    # other's to wake, and every grabber gets the same placement. The animator goes elsewhere.
    local pin=()
    if [[ $cpu != any ]]; then
        pin=(taskset -c "$cpu")
        taskset -pc "$cpu" "$VANTOREL_XVFB_PID" >/dev/null
        if (($(nproc) > 1)); then
            taskset -pc "$(((cpu + 1) % $(nproc)))" "$BENCH_ANIMATOR_PID" >/dev/null
        fi
    fi
    sleep 0.5
    echo "# $rounds rounds of ${seconds}s per case, ours and ffmpeg taking turns, processor $cpu;$(uptime)" >&2

    # ffmpeg_fps <size> <pix_fmt> <draw_mouse>: uncapped x11grab of the rectangle at the origin;
    # its final frame count over the wall-clock span of the frames it grabbed (its timestamps
    # are the grab times), so its start-up is left out as ours is.
    ffmpeg_fps() {
        local out
        out=$("${pin[@]}" ffmpeg -hide_banner -nostdin -nostats -loglevel error -progress pipe:1 \
            -f x11grab -framerate 100000 -draw_mouse "$3" -video_size "$1" -i "$DISPLAY+0,0" \
            -t "$seconds" -pix_fmt "$2" -f null - 2>/dev/null) || { echo 0; return; }
        awk -F= '$1 == "frame" { f = $2 } $1 == "out_time_us" { t = $2 }
                 END { printf "%.1f\n", (t > 0 ? f * 1e6 / t : 0) }' <<<"$out"
    }

    # ours <size> <dd|gdi|xshm> <bits> <cursor>: "fps cpu_ms x_ms" of one run.
    ours() {
        "${pin[@]}" "$build/bench/bench_capture" grab "$1" "$2" "$3" "$4" "$seconds" "$VANTOREL_XVFB_PID" |
            sed 's/[a-z_]*=//g'
    }

    # run_case <size> <path> <bits> <cursor> <pix_fmt>: one line of figures, from the run with
    # the median frame rate on each side. The two sides take turns, in alternating order, so
    # that a change of load on the machine falls on both alike.
    run_case() {
        local r theirs=() mine=() chosen reference memcpy_fps
        for ((r = 0; r < rounds; ++r)); do
            if ((r % 2 == 0)); then
                mine+=("$(ours "$1" "$2" "$3" "$4")")
                theirs+=("$(ffmpeg_fps "$1" "$5" "$4")")
            else
                theirs+=("$(ffmpeg_fps "$1" "$5" "$4")")
                mine+=("$(ours "$1" "$2" "$3" "$4")")
            fi
        done
        reference=$(printf '%s\n' "${theirs[@]}" | median)
        chosen=$(printf '%s\n' "${mine[@]}" | sort -g -k1,1 | sed -n "$(((${#mine[@]} + 1) / 2))p")
        memcpy_fps=$("$build/bench/bench_capture" memcpy "$1" "$3" | cut -d= -f2)
        read -r fps cpu_ms x_ms <<<"$chosen"
        awk -v size="$1" -v path="$2$3" -v cursor="$4" -v fps="${fps:-0}" -v cpu="${cpu_ms:-0}" \
            -v x="${x_ms:-0}" -v ff="$reference" -v mem="$memcpy_fps" 'BEGIN {
                printf "capture %s %s cursor=%d fps=%.1f cpu_ms=%.3f x_ms=%.3f ffmpeg_fps=%.1f ratio=%.2f memcpy_fps=%.0f\n",
                    size, path, cursor, fps, cpu, x, ff, (ff > 0 ? fps / ff : 0), mem }'
    }

    local size path bits cursor pixfmt
    for size in 704x576 1280x720 1920x1080; do
        # The bound: one bare shared-memory grab per frame, no conversion, no copy.
        run_case "$size" xshm 32 0 bgr0
        for cursor in 0 1; do
            for path in dd32 gdi32 gdi24 gdi16; do
                bits=${path//[a-z]/}
                case $bits in
                    32) pixfmt=bgr0 ;;
                    24) pixfmt=bgr24 ;;
                    16) pixfmt=rgb565le ;;
                esac
                run_case "$size" "${path//[0-9]/}" "$bits" "$cursor" "$pixfmt"
            done
        done
    done
}

# scripts/bench.sh record: 1280x720 and 1920x1080 recordings (BENCH_SECONDS, default 20 s) through
# the capture graph without compression and with each video compressor, with the frame-rate
# ceiling at 30 and without one, each beside ffmpeg's x11grab recording the same rectangle with
# the same encoder. Files go to BENCH_OUTPUT_DIR (default build/bench-record) and are deleted
# after each case. BENCH_CASES picks the codecs (e.g. "none"; default all). BENCH_ROUNDS recordings
# per side and case (default 1); the figures are those of the recording with the median rate. A
# comment line after each case gives the share of processor time the host took away meanwhile.
bench_record() {
    local seconds=${BENCH_SECONDS:-20} record_rounds=${BENCH_ROUNDS:-1}
    if [[ ! -f "$build/build.ninja" ]]; then
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    cmake --build "$build" --target bench_record bench_screen_animator Oravane >/dev/null
    command -v ffmpeg >/dev/null || { echo "bench: ffmpeg is not installed" >&2; return 1; }

    BENCH_RECORD_OUT=${BENCH_OUTPUT_DIR:-$build/bench-record}
    local out=$BENCH_RECORD_OUT
    mkdir -p "$out"
    export VANTOREL_REGISTRY="$out/registry"
    source scripts/xvfb.sh
    start_private_xvfb 1920x1080x24
    "$build/bench/bench_screen_animator" &
    BENCH_ANIMATOR_PID=$!
    trap 'kill "$BENCH_ANIMATOR_PID" 2>/dev/null || true; wait "$BENCH_ANIMATOR_PID" 2>/dev/null || true; stop_private_xvfb; rm -f "$BENCH_RECORD_OUT"/*.avi' EXIT
    sleep 0.5
    echo "# ${seconds}s per recording, $record_rounds per side and case, taking turns; $(uptime)" >&2

    # steal_ticks: "<steal> <total>" processor ticks of the machine so far. On a virtual machine
    # the host takes time away (steal); a run that lost much of it is slower for reasons of its own.
    steal_ticks() {
        awk '/^cpu / { t = 0; for (i = 2; i <= NF; ++i) t += $i; print $9, t; exit }' /proc/stat
    }
    # record_one <ours|ffmpeg> <size> <name> <ceiling>: one recording's figures and the share of
    # processor time stolen meanwhile. Dirty pages of the last recording are written first, so
    # that its write-back is not charged to this one.
    record_one() {
        sync
        local before figures
        before=$(steal_ticks)
        figures=$("$build/bench/bench_record" "$1" "$2" "$3" "$4" "$seconds" "$out/$1.avi" 2>/dev/null ||
            echo "fps=0 cpu_ms=0 dropped=0")
        rm -f "$out/$1.avi"
        echo "$figures $(steal_ticks) $before" |
            awk '{ printf "%s %s %s steal=%.1f\n", $1, $2, $3, ($5 > $7 ? 100 * ($4 - $6) / ($5 - $7) : 0) }'
    }
    # median_run: of the lines "fps=.. cpu_ms=.. dropped=..", the one with the middle frame rate.
    median_run() {
        local lines
        lines=$(sort -t= -k2,2 -g)
        sed -n "$((($(wc -l <<<"$lines") + 1) / 2))p" <<<"$lines"
    }

    local size token name ceiling mine theirs label r
    local -A names=([none]=none [msvideo1]="Microsoft Video 1" [mjpeg]="Motion JPEG" [mpeg4]="MPEG-4 Video"
                    [h264]="H.264 Video" [ffv1]="FFV1 Lossless")
    for size in 1280x720 1920x1080; do
        for token in ${BENCH_CASES:-none msvideo1 mjpeg mpeg4 h264 ffv1}; do
            name=${names[$token]}
            for ceiling in 30 0; do
                label=$([[ $ceiling == 0 ]] && echo none || echo "$ceiling")
                # The two sides take turns, in alternating order, so a change of load on the
                # machine falls on both alike.
                mine=()
                theirs=()
                for ((r = 0; r < record_rounds; ++r)); do
                    if ((r % 2 == 0)); then
                        mine+=("$(record_one ours "$size" "$name" "$ceiling")")
                        theirs+=("$(record_one ffmpeg "$size" "$name" "$ceiling")")
                    else
                        theirs+=("$(record_one ffmpeg "$size" "$name" "$ceiling")")
                        mine+=("$(record_one ours "$size" "$name" "$ceiling")")
                    fi
                done
                awk -v size="$size" -v codec="$token" -v ceiling="$label" \
                    -v mine="$(printf '%s\n' "${mine[@]}" | median_run)" \
                    -v theirs="$(printf '%s\n' "${theirs[@]}" | median_run)" 'BEGIN {
                    split(mine, m, /[ =]/); split(theirs, t, /[ =]/)
                    printf "record %s %s %s fps=%.1f cpu_ms=%.2f dropped=%d ffmpeg_fps=%.1f ffmpeg_cpu_ms=%.2f ratio=%.2f\n",
                        size, codec, ceiling, m[2], m[4], m[6], t[2], t[4], (t[2] > 0 ? m[2] / t[2] : 0)
                    printf "# %s %s %s stolen by the host: ours %s%%, ffmpeg %s%%\n", size, codec, ceiling, m[8], t[8] > "/dev/stderr" }'
            done
        done
    done
}

# scripts/bench.sh video1: our Microsoft Video 1 coder against libavcodec's in one process on the
# same synthetic frames (1280x720 and 1920x1080; a still slide, a picture moving over it, a
# picture changing everywhere). BENCH_FRAMES frames per case (default 30). No display needed.
bench_video1() {
    if [[ ! -f "$build/build.ninja" ]]; then
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    cmake --build "$build" --target bench_video1 >/dev/null
    echo "# ${BENCH_FRAMES:-30} frames per case, ours then libavcodec's;$(uptime)" >&2
    "$build/bench/bench_video1" "${BENCH_FRAMES:-30}" 1280x720 1920x1080
}

# scripts/bench.sh writer: how long a 30 frames-a-second writer of 1280x720 and 1920x1080 32-bit
# frames (BENCH_SECONDS, default 20 s) waits in each write, with write(2) on its own thread and
# with the File Writer's writing behind, taking turns (BENCH_ROUNDS). Files go to
# BENCH_OUTPUT_DIR (default build/bench-writer) and are deleted after each run.
bench_writer() {
    local seconds=${BENCH_SECONDS:-20}
    if [[ ! -f "$build/build.ninja" ]]; then
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    cmake --build "$build" --target bench_file_writer >/dev/null
    local out=${BENCH_OUTPUT_DIR:-$build/bench-writer} size bytes r mode
    mkdir -p "$out"
    for size in 1280x720 1920x1080; do
        bytes=$((${size%x*} * ${size#*x} * 4))
        for ((r = 0; r < rounds; ++r)); do
            for mode in $( ((r % 2 == 0)) && echo direct behind || echo behind direct); do
                sync
                echo "writer $size $mode $("$build/bench/bench_file_writer" "$mode" "$bytes" $((seconds * 30)) "$out/frames.bin")"
                rm -f "$out/frames.bin"
            done
        done
    done
}

# scripts/bench.sh dvd: a 60-second recording (BENCH_SECONDS) made by the capture graph (1280x720,
# Motion JPEG, 15 frames a second, on a private Xvfb whose content changes) converted to DVD MPEG-2
# and authored into a VIDEO_TS tree by our steps (the fg and ar links, our runner with its pauses)
# and by the same ffmpeg and dvdauthor commands run by hand, taking turns, BENCH_ROUNDS rounds per
# standard (default 3; the figures are medians). BENCH_DVD_INPUT names a recording to use instead.
# Files go to BENCH_OUTPUT_DIR (default build/bench-dvd) and are deleted at the end.
bench_dvd() {
    local seconds=${BENCH_SECONDS:-60}
    if [[ ! -f "$build/build.ninja" ]]; then
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    cmake --build "$build" --target bench_dvd bench_record bench_screen_animator Oravane dvd_tool_links >/dev/null
    local tool
    for tool in ffmpeg dvdauthor; do
        command -v "$tool" >/dev/null || { echo "bench: $tool is not installed (Debian package $tool)" >&2; return 1; }
    done

    BENCH_DVD_OUT=${BENCH_OUTPUT_DIR:-$build/bench-dvd}
    local out=$BENCH_DVD_OUT input=${BENCH_DVD_INPUT:-}
    mkdir -p "$out"
    trap 'rm -rf "$BENCH_DVD_OUT"/ours "$BENCH_DVD_OUT"/tools "$BENCH_DVD_OUT"/recording.avi "$BENCH_DVD_OUT"/registry*' EXIT
    if [[ -z $input ]]; then
        input=$out/recording.avi
        (
            export VANTOREL_REGISTRY="$out/registry"
            source scripts/xvfb.sh
            start_private_xvfb 1280x720x24
            "$build/bench/bench_screen_animator" &
            animator=$!
            sleep 0.5
            "$build/bench/bench_record" ours 1280x720 "Motion JPEG" 15 "$seconds" "$input" >/dev/null
            status=$?
            kill "$animator" 2>/dev/null
            wait "$animator" 2>/dev/null
            stop_private_xvfb
            exit $status
        ) || { echo "bench: the recording failed" >&2; return 1; }
    fi
    echo "# $(ffprobe -v error -show_entries format=duration -of csv=p=0 "$input")s recording, $rounds rounds per standard, taking turns;$(uptime)" >&2

    local standard r line ours tools reads o t n
    for standard in PAL NTSC; do
        ours=()
        tools=()
        reads=()
        for ((r = 0; r < rounds; ++r)); do
            line=$("$build/bench/bench_dvd" "$input" "$standard" "$out" "$r") || return 1
            read -r o t n <<<"$(sed 's/[a-z_]*=//g' <<<"$line")"
            ours+=("$o")
            tools+=("$t")
            reads+=("$n")
        done
        awk -v standard="$standard" -v mine="$(printf '%s\n' "${ours[@]}" | median)" \
            -v theirs="$(printf '%s\n' "${tools[@]}" | median)" -v reads="$(printf '%s\n' "${reads[@]}" | median)" 'BEGIN {
            printf "dvd %s ours_s=%.2f tools_s=%.2f ratio=%.2f\n", standard, mine, theirs, (theirs > 0 ? mine / theirs : 0)
            printf "# %s: %d reads relayed, each followed by its pause (1 s converting, 0.2 s authoring)\n", standard, reads > "/dev/stderr" }'
    done
}

# scripts/bench.sh deck: a generated 10-slide deck whose slides move on after a second each,
# recorded end to end through the recording window as a user records it (the office starts, "Start",
# "Start " in the presentation mode window, ">" once the last slide shows) with a slide area of
# 704x576 and of 1280x720, without compression and with video compressors (BENCH_CASES, default
# "none mjpeg h264"). Silent, at the default ceiling of 15 frames a second, on a private Xvfb.
# One line per case: fps (frames over the show's time), dropped (frames short of the ceiling's
# count), cpu_ms (the program's processor time per frame; the office runs apart) and
# duration_ratio (the file's duration over the show's, from the graph's run to the stop).
# Files go to BENCH_OUTPUT_DIR (default build/bench-deck), removed at the end.
bench_deck() {
    if [[ ! -f "$build/build.ninja" ]]; then
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    cmake --build "$build" --target bench_deck Oravane >/dev/null
    command -v ffprobe >/dev/null || { echo "bench: ffmpeg is not installed" >&2; return 1; }

    BENCH_DECK_OUT=$(realpath -m "${BENCH_OUTPUT_DIR:-$build/bench-deck}")
    local out=$BENCH_DECK_OUT
    mkdir -p "$out"
    export VANTOREL_REGISTRY="$out/registry" VANTOREL_CONFIG_DIR="$out/config/" VANTOREL_LOG="$out/kvellog.txt"
    export VANTOREL_OFFICE_PROFILES="$out/office"
    source scripts/xvfb.sh
    start_private_xvfb 1920x1080x24
    trap 'stop_private_xvfb; rm -rf "$BENCH_DECK_OUT"' EXIT
    echo "# 10 slides of 1 s each per recording; $(uptime)" >&2

    local -A names=([none]=none [msvideo1]="Microsoft Video 1" [mjpeg]="Motion JPEG" [mpeg4]="MPEG-4 Video"
                    [h264]="H.264 Video" [ffv1]="FFV1 Lossless")
    local tokens codecs=() lines size i token
    read -r -a tokens <<<"${BENCH_CASES:-none mjpeg h264}"
    for token in "${tokens[@]}"; do
        codecs+=("${names[$token]}")
    done
    for size in 704x576 1280x720; do
        mapfile -t lines < <("$build/bench/bench_deck" "$out" "$size" "${codecs[@]}")
        for i in "${!tokens[@]}"; do
            echo "deck $size ${tokens[$i]} ${lines[$i]:-fps=0 dropped=0 cpu_ms=0 duration_ratio=0}"
        done
    done
}

case "${1:-}" in
    capture) bench_capture ;;
    record) bench_record ;;
    video1) bench_video1 ;;
    writer) bench_writer ;;
    dvd) bench_dvd ;;
    deck) bench_deck ;;
    *) echo "usage: scripts/bench.sh capture|record|video1|writer|dvd|deck" >&2; exit 2 ;;
esac
