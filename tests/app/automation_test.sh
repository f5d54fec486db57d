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

# 1. A client starts the program; the window appears.
coproc CLIENT { exec "$VANTOREL_AUTOMATION_CLIENT"; }
pids+=($CLIENT_PID)
read -r -t 30 path <&"${CLIENT[0]}"
[[ "$path" == /Vantorel/Application/1 ]]
main=$(wait_window '^Tavrelin$')
server=$(xdotool getwindowpid "$main")
pids+=($server)
tr '\0' ' ' </proc/"$server"/cmdline | grep -q -- '-Automation'

# Closing it while the client is linked only hides it.
press "$main" Escape
wait_hidden '^Tavrelin$'
sleep 1
kill -0 "$server"

# The client releases its object: the program ends.
echo release >&"${CLIENT[1]}"
read -r -t 10 answer <&"${CLIENT[0]}"
[[ "$answer" == released ]]
wait_exit "$server"
echo quit >&"${CLIENT[1]}"
wait "$CLIENT_PID" || true

# 2. Single use: a new client gets a new program, which ends when that client leaves the bus.
coproc CLIENT2 { exec "$VANTOREL_AUTOMATION_CLIENT"; }
pids+=($CLIENT2_PID)
read -r -t 30 path <&"${CLIENT2[0]}"
[[ "$path" == /Vantorel/Application/1 ]]
main=$(wait_window '^Tavrelin$')
server2=$(xdotool getwindowpid "$main")
pids+=($server2)
[[ "$server2" != "$server" ]]
kill "$CLIENT2_PID"
wait_exit "$server2"
echo "automation test passed"
