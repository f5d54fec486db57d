#!/usr/bin/env bash
# Sets up, builds and starts the program. Without a DISPLAY it runs on a private Xvfb, saves a
# screenshot of the main window under build/ and says where.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh
if [[ -n "${DISPLAY:-}" ]]; then
    exec build/bin/vantorel "$@"
fi
source scripts/xvfb.sh
start_private_xvfb 1280x1024x24
if [[ -z "${XDG_RUNTIME_DIR:-}" ]]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
fi
build/bin/vantorel "$@" &
pid=$!
shot="$top/build/vantorel-main-window.png"
for _ in $(seq 1 100); do
    wid=$(xdotool search --name '^Tavrelin$' 2>/dev/null | head -n 1 || true)
    [[ -n "$wid" ]] && break
    sleep 0.1
done
if [[ -z "${wid:-}" ]]; then
    echo "the main window did not appear" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
fi
sleep 0.5
import -window "$wid" "$shot"
echo "Main window screenshot: $shot"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
