#!/bin/bash
# Registers the built capture filter module, as an installer would: the program expects the class
# to be registered and never registers it itself. Uses $VANTOREL_REGISTRY when set.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
bin="${VANTOREL_BUILD_DIR:-$root/build}/bin"
if [[ ! -x "$bin/vantorel-regsvr" || ! -f "$bin/Oravane.so" ]]; then
    echo "register-oravane: $bin has no vantorel-regsvr or Oravane.so; build first" >&2
    exit 1
fi
"$bin/vantorel-regsvr" "$bin/Oravane.so"
