#!/usr/bin/env bash
# Starts and stops the private Wine prefix of the Wine tests.
#   wine-prefix.sh start PREFIX   create the prefix when missing (about 10 s the first time)
#   wine-prefix.sh stop PREFIX    end its Wine server, so that nothing outlives the tests
set -euo pipefail

action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
# No prompts for the .NET and HTML runtimes while the prefix is created.
export WINEDLLOVERRIDES="mscoree,mshtml="

wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
case "$action" in
start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        "$wine64" wineboot -i </dev/null >/dev/null 2>&1 || true
        wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
    [ -f "$WINEPREFIX/system.reg" ] || { echo "could not create the Wine prefix" >&2; exit 1; }
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: wine-prefix.sh start|stop PREFIX" >&2
    exit 2
    ;;
esac
