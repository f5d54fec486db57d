# The main window as a user meets it: it appears with its title, writes the automation class's
# registration, answers Enter on an empty list, opens About, and Escape ends the program.
set -euo pipefail
trap 'echo "failed at line $LINENO: $BASH_COMMAND" >&2' ERR
source "$VANTOREL_SOURCE_DIR/tests/support/x11.sh"
program_test
prog="$VANTOREL_PROGRAM_DIR/vantorel"

"$prog" &
pid=$!
main=$(wait_window '^Tavrelin$')
[[ $(xdotool getwindowpid "$main") == "$pid" ]]
[[ -f "$VANTOREL_PROGRAM_DIR/help.html" ]]

registry="$XDG_CONFIG_HOME/vantorel/registry"
grep -qx '\[HKEY_CLASSES_ROOT\\CLSID\\{1883B2AD-5FBE-4223-9797-AC1D0097E4D9}\\LocalServer32\]' "$registry"
grep -qxF "@=\"$(readlink -f "$prog")\"" "$registry"
grep -qx 'Exec=.*vantorel -Automation' "$XDG_DATA_HOME/dbus-1/services/Vantorel.Application.service"

# Enter on an empty list: the conversion asks for a presentation first.
press "$main" Return
box=$(wait_window '^Vantorel$')
press "$box" Return
wait_hidden '^Vantorel$'

# Alt+B opens About (titled like the main window), Return closes it.
titled_windows() { [[ $(xdotool search --onlyvisible --name '^Tavrelin$' | wc -l) -eq $1 ]]; }
press "$main" alt+b
wait_until 5 titled_windows 2
about=$(xdotool search --onlyvisible --name '^Tavrelin$' | grep -vx "$main" | head -n 1)
press "$about" Return
wait_until 5 titled_windows 1

# Escape closes the main window, and with it the program.
press "$main" Escape
wait_exit "$pid"
wait "$pid"
pid=
echo "main window test passed"
