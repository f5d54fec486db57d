#!/bin/bash
# A private PulseAudio server for scripts and tests, like tests/support/PrivatePulseServer:
# a silent null output (vantorel_null, the default sink), a null output playing a 440 Hz tone
# (vantorel_tone; its monitor carries it) and a 440 Hz sine source (vantorel_sine).
#   scripts/pulse.sh start DIR   starts it with its files in DIR, prints the address for PULSE_SERVER
#   scripts/pulse.sh stop DIR    stops the server started in DIR
set -euo pipefail
cmd=${1:-}
dir=${2:-}
if [[ -z $cmd || -z $dir ]]; then
  echo "usage: $0 start|stop DIR" >&2
  exit 2
fi
dir=$(realpath -m "$dir")
case $cmd in
start)
  mkdir -p "$dir/home" "$dir/runtime" "$dir/config" "$dir/state"
  chmod 700 "$dir/runtime"
  cat > "$dir/server.pa" <<PA
load-module module-null-sink sink_name=vantorel_null sink_properties="device.description='Vantorel Null Output'"
load-module module-sine-source source_name=vantorel_sine rate=44100 frequency=${PULSE_SINE_HZ:-440}
load-module module-null-sink sink_name=vantorel_tone sink_properties="device.description='Vantorel Tone Output'"
load-module module-sine sink=vantorel_tone frequency=${PULSE_SINE_HZ:-440}
set-default-sink vantorel_null
set-default-source vantorel_sine
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/native
PA
  rm -f "$dir/native"
  env -u PULSE_SERVER -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" \
    XDG_CONFIG_HOME="$dir/config" PULSE_RUNTIME_PATH="$dir/runtime/pulse" PULSE_STATE_PATH="$dir/state" \
    setsid pulseaudio --system=false --daemonize=no --exit-idle-time=-1 --use-pid-file=no -n \
    -F "$dir/server.pa" </dev/null >"$dir/server.log" 2>&1 &
  echo $! > "$dir/server.pid"
  # The socket appears once everything before it in the script is loaded.
  for _ in $(seq 1 200); do
    if [[ -S $dir/native ]]; then
      # A null output left alone works in two-second blocks; a recorder of our own keeps the
      # tone's output at a short latency, once its first block has passed.
      PULSE_SERVER="unix:$dir/native" HOME="$dir/home" setsid parec --latency-msec=20 \
        -d vantorel_tone.monitor </dev/null >/dev/null 2>&1 &
      echo $! > "$dir/keeper.pid"
      sleep 2.5
      echo "unix:$dir/native"
      exit 0
    fi
    kill -0 "$(cat "$dir/server.pid")" 2>/dev/null || break
    sleep 0.05
  done
  echo "pulse.sh: the server did not start:" >&2
  cat "$dir/server.log" >&2
  exit 1
  ;;
stop)
  if [[ -f $dir/keeper.pid ]]; then
    kill "$(cat "$dir/keeper.pid")" 2>/dev/null || true
    rm -f "$dir/keeper.pid"
  fi
  if [[ -f $dir/server.pid ]]; then
    pid=$(cat "$dir/server.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 60); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$dir/server.pid"
  fi
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
