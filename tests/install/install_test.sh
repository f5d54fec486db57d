# Installs into a temporary folder as a user would (cmake --install with DESTDIR), then starts the
# installed program the way the desktop entry does, with a presentation for %F and a fresh
# config: it registers its own filter module, and a recording through that module decodes.
# A moved installation registers its new module at the next start.
set -euo pipefail
trap 'echo "failed at line $LINENO: $BASH_COMMAND" >&2' ERR
source "$VANTOREL_SOURCE_DIR/tests/support/x11.sh"
program_test

root=$TEST_HOME/root
DESTDIR=$root cmake --install "$VANTOREL_BUILD_DIR" --prefix /usr >/dev/null
folder=$root/usr/lib/vantorel
for part in vantorel Oravane.so libbrelin.so libvantorel-messages.so vantorel-regsvr help.html sound-help.html fg ar; do
    [[ -f "$folder/$part" ]] || { echo "$part is not installed" >&2; exit 1; }
done
[[ $(readlink -f "$root/usr/bin/vantorel") == "$folder/vantorel" ]]
for binary in vantorel Oravane.so libbrelin.so libvantorel-messages.so vantorel-regsvr; do
    if ldd "$folder/$binary" | grep 'not found'; then echo "$binary misses a library" >&2; exit 1; fi
    if readelf -d "$folder/$binary" | grep -F "$VANTOREL_BUILD_DIR"; then echo "$binary looks into the build" >&2; exit 1; fi
done
# The options that answer without a window need no display; a wrong one ends the start.
DISPLAY= "$root/usr/bin/vantorel" --version | grep -qx 'Vantorel [0-9.]*'
DISPLAY= "$root/usr/bin/vantorel" /HELP | grep -q -- '--version  *Shows the version'
status=0
DISPLAY= "$root/usr/bin/vantorel" --bogus 2>"$TEST_HOME/errors" || status=$?
[[ $status -eq 2 ]] || { echo "--bogus ended with $status" >&2; exit 1; }
grep -qx 'vantorel: unknown option --bogus' "$TEST_HOME/errors"
# Without a display the window cannot open: said plainly, not a toolkit abort.
status=0
DISPLAY= "$root/usr/bin/vantorel" talk.ppt 2>"$TEST_HOME/errors" || status=$?
[[ $status -eq 1 ]] || { echo "a start without a display ended with $status" >&2; exit 1; }
grep -q '^vantorel: no display' "$TEST_HOME/errors"

entry=$root/usr/share/applications/vantorel.desktop
grep -qx 'Exec=vantorel %F' "$entry"
for type in application/vnd.ms-powerpoint application/vnd.oasis.opendocument.presentation \
            application/vnd.openxmlformats-officedocument.presentationml.presentation; do
    grep -q "^MimeType=.*$type;" "$entry"
done

registry=$XDG_CONFIG_HOME/vantorel/registry
log=$XDG_STATE_HOME/vantorel/kvellog.txt
inproc='[HKEY_CLASSES_ROOT\CLSID\{5159D8CF-F477-42AD-9DE0-DB35CE84A7A3}\InprocServer32]'
registered_module() { grep -A1 -xF "$inproc" "$registry" | sed -n 's/^@="\(.*\)"$/\1/p'; }

# start_and_close PROGRAM ARGS...: runs the program until its main window shows, answers the
# message boxes named in $expect_boxes, and closes it with Escape.
start_and_close() {
    "$@" &
    pid=$!
    local main box
    main=$(wait_window '^Tavrelin$')
    for ((i = 0; i < ${expect_boxes:-0}; i++)); do
        box=$(wait_window '^Vantorel$')
        press "$box" Return
        wait_hidden '^Vantorel$'
    done
    press "$main" Escape
    wait_exit "$pid"
    wait "$pid"
    pid=
}

# The desktop entry's command, with a presentation and a text file for %F: the text file is
# refused in a message box.
touch "$TEST_HOME/talk.pptx" "$TEST_HOME/notes.txt"
read -ra command <<<"$(sed -n 's/^Exec=//p' "$entry")"
args=()
for word in "${command[@]}"; do
    if [[ $word == %F ]]; then args+=("$TEST_HOME/talk.pptx" "$TEST_HOME/notes.txt"); else args+=("$word"); fi
done
PATH="$root/usr/bin:$PATH" expect_boxes=1 start_and_close "${args[@]}"

[[ $(registered_module) == "$folder/Oravane.so" ]]
[[ $(grep -c 'capture filter' "$log") -eq 1 ]]
grep -q "Registered the capture filter $folder/Oravane.so" "$log"

# A short recording through the installed module, found by the registry alone.
VANTOREL_REGISTRY=$registry "$VANTOREL_RECORD_PROBE" "$TEST_HOME/probe.avi"
errors=$(ffmpeg -v error -i "$TEST_HOME/probe.avi" -f null - 2>&1)
[[ -z "$errors" ]] || { echo "$errors" >&2; exit 1; }
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames,width \
         -of csv=p=0 "$TEST_HOME/probe.avi")
[[ ${frames%%,*} == 160 && ${frames##*,} -ge 3 ]] || { echo "probe.avi: $frames" >&2; exit 1; }

# Started again, it finds its module registered and leaves the registry alone.
start_and_close "$root/usr/bin/vantorel"
[[ $(grep -c 'capture filter' "$log") -eq 1 ]]

# Moved elsewhere, the registered module no longer exists: the new place registers its own.
mv "$root" "$TEST_HOME/moved"
start_and_close "$TEST_HOME/moved/usr/bin/vantorel"
[[ $(registered_module) == "$TEST_HOME/moved/usr/lib/vantorel/Oravane.so" ]]
[[ $(grep -c 'capture filter' "$log") -eq 2 ]]
echo "install test passed"
