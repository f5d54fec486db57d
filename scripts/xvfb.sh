# Sourced by the run and test commands: starts a private Xvfb on a display number the server
# picks itself (-displayfd, so parallel runs never collide) and stops it when the calling shell
# exits. Sets DISPLAY.
start_private_xvfb() {
    local size=${1:-1280x1024x24} fifo n=""
    fifo=$(mktemp -u /tmp/vantorel-xvfb-XXXXXX)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
    VANTOREL_XVFB_PID=$!
    read -r -t 20 n <"$fifo" || true
    rm -f "$fifo"
    if [[ -z "$n" ]] || ! kill -0 "$VANTOREL_XVFB_PID" 2>/dev/null; then
        echo "could not start Xvfb" >&2
        stop_private_xvfb
        return 1
    fi
    export DISPLAY=":$n"
    trap stop_private_xvfb EXIT
}

stop_private_xvfb() {
    if [[ -n "${VANTOREL_XVFB_PID:-}" ]]; then
        kill "$VANTOREL_XVFB_PID" 2>/dev/null || true
        wait "$VANTOREL_XVFB_PID" 2>/dev/null || true
        VANTOREL_XVFB_PID=
    fi
}
