#!/usr/bin/env bash
# Builds targets of one preset and says nothing when there is nothing to do.
#
# A build tree that has not been configured yet is configured first ("Configuring ..."; the
# configure's own output only when it fails). Then, when ninja finds work ("Building ..."), the
# build runs with ninja's progress: one line that counts up on a terminal, a line per step
# elsewhere. An up-to-date tree prints nothing, so that a second `make demo` shows the result
# only. A changed CMakeLists.txt is still picked up: ninja re-runs the configure as a step of
# the build.
#
# Usage: cmake/build-preset.sh PRESET [TARGET...]   (all targets when none are given)
# JOBS sets the parallel jobs (default 2).
set -euo pipefail

preset=$1
shift
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tree=build/$preset

if [ ! -f "$tree/build.ninja" ]; then
    echo "Configuring $tree"
    log=$(mktemp)
    if ! cmake --preset "$preset" >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        exit 1
    fi
    rm -f "$log"
fi

# A dry run lists the steps a build would take; "no work to do" when there are none.
if ninja -C "$tree" -n "$@" 2>/dev/null | grep -q '^ninja: no work to do'; then
    exit 0
fi
echo "Building $tree${*:+ ($*)}"
args=()
[ $# -eq 0 ] || args=(--target "$@")
cmake --build "$tree" -j "${JOBS:-2}" "${args[@]}"
