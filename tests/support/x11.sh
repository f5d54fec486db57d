# Helpers for tests that drive the real program on the X display, as a user would.

# own_display: a private Xvfb for this test alone, so no other test's windows get in the way.
own_display() {
    source "$VANTOREL_SOURCE_DIR/scripts/xvfb.sh"
    start_private_xvfb 1280x1024x24
}

# wait_until TIMEOUT_S COMMAND...: runs the command every 0.1 s until it succeeds.
wait_until() {
    local timeout=$1 i
    shift
    for ((i = 0; i < timeout * 10; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

visible_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -n 1 | grep .; }
no_visible_window() { ! visible_window "$1" >/dev/null; }
process_gone() { ! kill -0 "$1" 2>/dev/null; }

# wait_window REGEX [TIMEOUT_S]: prints the id of a visible window whose name matches.
wait_window() {
    wait_until "${2:-20}" visible_window "$1" >/dev/null || { echo "no visible window named $1" >&2; return 1; }
    visible_window "$1"
}

# wait_hidden REGEX [TIMEOUT_S]: succeeds once no visible window matches.
wait_hidden() {
    wait_until "${2:-10}" no_visible_window "$1" || { echo "a window named $1 is still visible" >&2; return 1; }
}

# wait_exit PID [TIMEOUT_S]: succeeds once the process has ended.
wait_exit() {
    wait_until "${2:-10}" process_gone "$1" || { echo "process $1 is still running" >&2; return 1; }
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

# program_test: a test that drives the program: its own display and home, no session bus, and on
# exit the program whose id is in $pid ended and everything removed.
program_test() {
    own_display
    private_home
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$TEST_HOME/no-bus"
    pid=
    trap 'if [[ -n "$pid" ]]; then kill "$pid" 2>/dev/null; fi; rm -rf "$TEST_HOME"; stop_private_xvfb' EXIT
}
