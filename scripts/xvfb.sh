# Sourced by the run and test commands: starts a private Xvfb on a free display number and
# stops it when the calling shell exits. Sets DISPLAY.
start_private_xvfb() {
    local size=${1:-1280x1024x24} n
    for n in $(seq 90 299); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -screen 0 "$size" -nolisten tcp -noreset >/dev/null 2>&1 &
        VANTOREL_XVFB_PID=$!
        local i
        for i in $(seq 1 100); do
            if [[ -e /tmp/.X11-unix/X$n ]] && xdpyinfo -display ":$n" >/dev/null 2>&1; then
                export DISPLAY=":$n"
                trap stop_private_xvfb EXIT
                return 0
            fi
            kill -0 "$VANTOREL_XVFB_PID" 2>/dev/null || break
            sleep 0.05
        done
        kill "$VANTOREL_XVFB_PID" 2>/dev/null || true
    done
    echo "could not start Xvfb" >&2
    return 1
}

stop_private_xvfb() {
    if [[ -n "${VANTOREL_XVFB_PID:-}" ]]; then
        kill "$VANTOREL_XVFB_PID" 2>/dev/null || true
        wait "$VANTOREL_XVFB_PID" 2>/dev/null || true
        VANTOREL_XVFB_PID=
    fi
}
