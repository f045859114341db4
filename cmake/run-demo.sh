#!/usr/bin/env bash
# Evaluates the demonstration workbook as a Windows user would: the 32-bit add-in
# (dist/heston32.xll) loaded by the Windows xllhost under Wine. Where this machine cannot run
# 32-bit programs, the 64-bit add-in under Wine; where Wine cannot run at all, the native
# add-in. Each fallback says so.
# Usage: cmake/run-demo.sh [SOURCE_DIR]
set -euo pipefail

root=$(cd "${1:-$(dirname "$0")/..}" && pwd)
workbook=$root/examples/demo-workbook.csv
export WINEPREFIX=$root/build/native/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)

winepath() { echo "Z:${1//\//\\}"; }

# Without arguments xllhost prints its usage and exits with 2.
runs() {
    local status=0
    "$@" >/dev/null 2>&1 </dev/null || status=$?
    [ "$status" -eq 2 ]
}

stop_wine() { wineserver -k >/dev/null 2>&1 </dev/null || true; }

if command -v wine >/dev/null && bash "$root/tests/wine/wine-prefix.sh" start "$WINEPREFIX"; then
    trap stop_wine EXIT
    if runs wine "$root/build/mingw32/xllhost.exe"; then
        echo "Demonstration workbook through dist/heston32.xll under Wine (32-bit)"
        wine "$root/build/mingw32/xllhost.exe" --excel12 "$(winepath "$root/dist/heston32.xll")" \
            "$(winepath "$workbook")" </dev/null | tr -d '\r'
        exit "${PIPESTATUS[0]}"
    fi
    if runs "$wine64" "$root/build/mingw64/xllhost.exe"; then
        echo "This machine cannot run 32-bit programs under Wine (its kernel lacks 32-bit support);"
        echo "demonstration workbook through dist/heston64.xll under Wine (64-bit) instead"
        "$wine64" "$root/build/mingw64/xllhost.exe" --excel12 \
            "$(winepath "$root/dist/heston64.xll")" "$(winepath "$workbook")" </dev/null |
            tr -d '\r'
        exit "${PIPESTATUS[0]}"
    fi
fi
echo "Wine cannot run the Windows add-in on this machine;"
echo "demonstration workbook through the native add-in instead"
exec "$root/build/native/xllhost" --excel12 "$root/build/native/heston_addin.xll" "$workbook"
