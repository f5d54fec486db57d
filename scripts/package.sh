#!/usr/bin/env bash
# Builds the Debian package vantorel_<version>_<arch>.deb with CPack.
#   scripts/package.sh [-o FOLDER]   the package goes to FOLDER (default: the current folder)
# It sets up and builds build/ first (scripts/setup.sh); with VANTOREL_BUILD_DIR set it packages
# that build tree as it stands. Prints the package's path.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$PWD
while getopts "o:" opt; do
    case $opt in
    o) out=$OPTARG ;;
    *) echo "usage: scripts/package.sh [-o FOLDER]" >&2; exit 2 ;;
    esac
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

if [[ -z "${VANTOREL_BUILD_DIR:-}" ]]; then
    "$top/scripts/setup.sh" >&2
    build=$top/build
else
    build=$VANTOREL_BUILD_DIR
fi
[[ -f "$build/CPackConfig.cmake" ]] || { echo "package: $build is not a configured build" >&2; exit 1; }

# CPack stages the install and runs dpkg-shlibdeps in a folder of its own.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; exit 1; }
shopt -s nullglob
debs=("$work"/vantorel_*.deb)
[[ ${#debs[@]} -eq 1 ]] || { cat "$work/cpack.log" >&2; echo "package: no package was made" >&2; exit 1; }
mv -f "${debs[0]}" "$out/"
echo "$out/$(basename "${debs[0]}")"
