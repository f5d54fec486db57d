#!/usr/bin/env bash
# Sets up, builds, and runs every test (unit and integration) on a private Xvfb.
# Extra arguments go to ctest, e.g. `scripts/test.sh -L unit`.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh || exit 1
source scripts/xvfb.sh
start_private_xvfb 1280x1024x24 || exit 1
# Tests never see the user's own config, log, registry or session bus.
export XDG_CONFIG_HOME=$(mktemp -d) XDG_STATE_HOME=$(mktemp -d) XDG_DATA_HOME=$(mktemp -d)
export XDG_RUNTIME_DIR=$(mktemp -d)
# Nor the user's office profiles: one fresh folder for the run, shared by its tests.
export VANTOREL_OFFICE_PROFILES=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS
ctest --test-dir build --output-on-failure -j2 "$@"
status=$?
stop_private_xvfb
rm -rf "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR" "$VANTOREL_OFFICE_PROFILES"
exit $status
