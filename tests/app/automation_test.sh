# The automation class over a private session bus: a client starts the program through the
# registered service file; closing the window while the client holds its object only hides it;
# the program ends when the client releases the object, or leaves the bus.
set -euo pipefail
trap 'echo "failed at line $LINENO: $BASH_COMMAND" >&2' ERR
source "$VANTOREL_SOURCE_DIR/tests/support/x11.sh"

if [[ "${1:-}" != inner ]]; then
    own_display
    private_home
    trap 'rm -rf "$TEST_HOME"; stop_private_xvfb' EXIT
    dbus-run-session -- bash "$0" inner
    exit $?
fi

prog="$VANTOREL_PROGRAM_DIR/vantorel"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT

# A user start registers the class and its service file.
"$prog" &
pids+=($!)
main=$(wait_window '^Tavrelin$')
press "$main" Escape
wait_exit "${pids[-1]}"
[[ -f "$XDG_DATA_HOME/dbus-1/services/Vantorel.Application.service" ]]

# start_client N: starts automation client N, which starts a program through the bus; sets
# CLIENT_PID, CLIENT_IN, CLIENT_OUT (its command and answer streams), MAIN and SERVER.
start_client() {
    local fifo="$XDG_RUNTIME_DIR/client$1"
    mkfifo "$fifo.in" "$fifo.out"
    "$VANTOREL_AUTOMATION_CLIENT" <"$fifo.in" >"$fifo.out" &
    CLIENT_PID=$!
    pids+=("$CLIENT_PID")
    exec {CLIENT_IN}>"$fifo.in"
    exec {CLIENT_OUT}<"$fifo.out"
    local path
    read -r -t 30 path <&"$CLIENT_OUT"
    [[ "$path" == /Vantorel/Application/1 ]]
    read -r -t 5 CLIENT_SERVER_NAME <&"$CLIENT_OUT"
    MAIN=$(wait_window '^Tavrelin$')
    SERVER=$(xdotool getwindowpid "$MAIN")
    pids+=("$SERVER")
    tr '\0' ' ' </proc/"$SERVER"/cmdline | grep -q -- '-Automation'
}

# 1. A client starts the program; the window appears.
start_client 1
server=$SERVER
main=$MAIN

# The program gave its name up with its first object, and its factory with it: a client that
# asks the program by its unique name gets no second object.
if "$VANTOREL_AUTOMATION_CLIENT" "$CLIENT_SERVER_NAME" </dev/null >/dev/null 2>&1; then
    echo "the program made a second object after giving its name up" >&2
    exit 1
fi

# Closing it while the client is linked only hides it.
press "$main" Escape
wait_hidden '^Tavrelin$'
sleep 1
kill -0 "$server"

# The client releases its object: the program ends.
echo release >&"$CLIENT_IN"
read -r -t 10 answer <&"$CLIENT_OUT"
[[ "$answer" == released ]]
wait_exit "$server"
echo quit >&"$CLIENT_IN"
wait "$CLIENT_PID" || true

# 2. Single use: a new client gets a new program, which ends when that client leaves the bus.
start_client 2
[[ "$SERVER" != "$server" ]]
kill "$CLIENT_PID"
wait_exit "$SERVER"
echo "automation test passed"
