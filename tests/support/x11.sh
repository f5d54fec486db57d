# Helpers for tests that drive the real program on the X display, as a user would.

# own_display: a private Xvfb for this test alone, so no other test's windows get in the way.
own_display() {
    source "$VANTOREL_SOURCE_DIR/scripts/xvfb.sh"
    start_private_xvfb 1280x1024x24
}

# wait_window REGEX [TIMEOUT_S]: prints the id of a visible window whose name matches.
wait_window() {
    local regex=$1 timeout=${2:-20} id i
    for ((i = 0; i < timeout * 10; i++)); do
        id=$(xdotool search --onlyvisible --name "$regex" 2>/dev/null | tail -n 1 || true)
        if [[ -n "$id" ]]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "no visible window named $regex" >&2
    return 1
}

# wait_hidden REGEX [TIMEOUT_S]: succeeds once no visible window matches.
wait_hidden() {
    local regex=$1 timeout=${2:-10} i
    for ((i = 0; i < timeout * 10; i++)); do
        [[ -z "$(xdotool search --onlyvisible --name "$regex" 2>/dev/null || true)" ]] && return 0
        sleep 0.1
    done
    echo "a window named $regex is still visible" >&2
    return 1
}

# wait_exit PID [TIMEOUT_S]: succeeds once the process has ended.
wait_exit() {
    local pid=$1 timeout=${2:-10} i
    for ((i = 0; i < timeout * 10; i++)); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    echo "process $pid is still running" >&2
    return 1
}

# press WINDOW KEY...: gives the window the focus and types the keys into it.
press() {
    local window=$1
    shift
    xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
    sleep 0.2
    xdotool key --clearmodifiers "$@"
}

# private_home: a fresh config, data and state home for the program, removed on exit.
private_home() {
    TEST_HOME=$(mktemp -d)
    export XDG_CONFIG_HOME=$TEST_HOME/config XDG_DATA_HOME=$TEST_HOME/data XDG_STATE_HOME=$TEST_HOME/state
    export XDG_RUNTIME_DIR=$TEST_HOME/runtime
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    unset VANTOREL_CONFIG_DIR VANTOREL_LOG VANTOREL_REGISTRY
}
