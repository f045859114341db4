#!/usr/bin/env bash
# Builds targets of one preset and says nothing when there is nothing to do.
#
# A build tree that has not been configured yet is configured first ("Configuring ..."; the
# configure's own output only when it fails). The build's output passes line by line, with
# "Building ..." before its first line, except the two lines that every build of an up-to-date
# tree prints: the re-check of the globbed source folders, which runs on every build, and
# ninja's "no work to do". So a first build shows its progress a step a line, and an
# up-to-date tree prints nothing: a second `make demo` shows the result only. A changed
# CMakeLists.txt or a new source file is still picked up: the build re-runs the configure as one
# of its steps.
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

args=()
[ $# -eq 0 ] || args=(--target "$@")
cmake --build "$tree" -j "${JOBS:-2}" "${args[@]}" 2>&1 |
    awk -v header="Building $tree${*:+ ($*)}" '
        /Re-checking globbed directories\.\.\.$/ || /^ninja: no work to do\.$/ { next }
        !shown { print header; shown = 1 }
        { print; fflush() }'
