#!/bin/bash
# Registers the built capture filter module, so that the build's program records with the build's
# own module (the program registers its folder's module only where none that exists is
# registered, and would keep an installed one). Uses $VANTOREL_REGISTRY when set.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
bin="${VANTOREL_BUILD_DIR:-$root/build}/bin"
if [[ ! -x "$bin/vantorel-regsvr" || ! -f "$bin/Oravane.so" ]]; then
    echo "register-oravane: $bin has no vantorel-regsvr or Oravane.so; build first" >&2
    exit 1
fi
"$bin/vantorel-regsvr" "$bin/Oravane.so"
