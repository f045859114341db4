#!/usr/bin/env bash
# The demonstration: lays out the DAX sheet (104 option quotes, both calibrations, prices,
# implied vols, Monte Carlo, model smiles), evaluates it through the add-in as a Windows user
# would, writes the workbook dist/heston-demo.xlsx with live formulas carrying the add-in's
# values and with its charts, renders its Charts sheet to dist/heston-demo-smile.png with
# LibreOffice, and prints both fits side by side. The full evaluated sheet goes to
# dist/heston-demo-sheet.txt.
#
# The add-in: the 32-bit one (dist/heston32.xll) loaded by the Windows xllhost under Wine.
# Where this machine cannot run 32-bit programs, the 64-bit one under Wine; where Wine cannot
# run at all, the native add-in. Each fallback says so.
#
# Usage: cmake/run-demo.sh [--native] [--out DIR] [--build DIR] [SOURCE_DIR]
#   --native     evaluate through the native add-in (the workbook check does, to stay quick)
#   --out DIR    where the workbook, the picture and the sheet table go (default
#                SOURCE_DIR/dist); intermediate files go to DIR/work
#   --build DIR  the native build (default SOURCE_DIR/build/native)
set -euo pipefail

native=0
out=
build=
while [ $# -gt 0 ]; do
    case "$1" in
    --native) native=1; shift ;;
    --out) out=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) break ;;
    esac
done
root=$(cd "${1:-$(dirname "$0")/..}" && pwd)
build=$(cd "${build:-$root/build/native}" && pwd)
if [ -n "$out" ]; then
    mkdir -p "$out"
    out=$(cd "$out" && pwd)
    work=$out/work
else
    out=$root/dist
    work=$build/demo
fi
mkdir -p "$out" "$work"

quotes=$root/examples/dax-surface.csv
sheet=$work/heston-demo-sheet.csv
values=$work/heston-demo-values.tsv
table=$out/heston-demo-sheet.txt
workbook=$out/heston-demo.xlsx
picture=$out/heston-demo-smile.png
builder=$build/examples/demo_workbook

export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)

relative() { echo "${1#"$root"/}"; }
winepath() { echo "Z:${1//\//\\}"; }

# Without arguments xllhost prints its usage and exits with 2.
runs() {
    local status=0
    "$@" >/dev/null 2>&1 </dev/null || status=$?
    [ "$status" -eq 2 ]
}

stop_wine() { wineserver -k >/dev/null 2>&1 </dev/null || true; }

# evaluate DESCRIPTION XLLHOST ADDIN [RUNNER...]: the sheet through one add-in; the table to
# its file, the values for the workbook.
evaluate() {
    local description=$1 host=$2 addin=$3
    shift 3
    local sheetArg=$sheet valuesArg=$values
    if [ $# -gt 0 ]; then
        sheetArg=$(winepath "$sheet")
        valuesArg=$(winepath "$values")
    fi
    computed_by=$description
    rm -f "$values"
    if ! "$@" "$host" --excel12 --full-precision --values "$valuesArg" "$addin" "$sheetArg" \
        </dev/null | tr -d '\r' >"$table"; then
        echo "The sheet's evaluation through $description failed (see $table)" >&2
        exit 1
    fi
}

"$builder" sheet "$quotes" "$sheet"

computed_by=
if [ "$native" -eq 0 ] && command -v wine >/dev/null &&
    bash "$root/tests/wine/wine-prefix.sh" start "$WINEPREFIX"; then
    trap stop_wine EXIT
    if runs wine "$root/build/mingw32/xllhost.exe"; then
        evaluate "dist/heston32.xll under Wine (32-bit)" "$root/build/mingw32/xllhost.exe" \
            "$(winepath "$root/dist/heston32.xll")" wine
    elif runs "$wine64" "$root/build/mingw64/xllhost.exe"; then
        echo "This machine cannot run 32-bit programs under Wine (its kernel lacks 32-bit support):"
        echo "the 64-bit add-in instead."
        evaluate "dist/heston64.xll under Wine (64-bit)" "$root/build/mingw64/xllhost.exe" \
            "$(winepath "$root/dist/heston64.xll")" "$wine64"
    fi
fi
if [ -z "$computed_by" ]; then
    [ "$native" -eq 1 ] || echo "Wine cannot run the Windows add-in on this machine: the native add-in instead."
    evaluate "the native add-in ($(relative "$build/heston_addin.xll"))" "$build/xllhost" \
        "$build/heston_addin.xll"
fi
echo "Computed by $computed_by"
echo

"$builder" xlsx "$quotes" "$values" "$workbook" "$computed_by"

# The Charts sheet as a spreadsheet user sees it: LibreOffice prints each sheet on one page
# (the Charts sheet is the last) and the page becomes the picture.
rm -f "$work/heston-demo.pdf"
soffice --headless --norestore "-env:UserInstallation=file://$work/libreoffice-profile" \
    --convert-to 'pdf:calc_pdf_Export:{"SinglePageSheets":{"type":"boolean","value":"true"}}' \
    --outdir "$work" "$workbook" >"$work/soffice.log" 2>&1 || true
if [ ! -s "$work/heston-demo.pdf" ]; then
    echo "LibreOffice could not render $workbook (see $work/soffice.log)" >&2
    exit 1
fi
pages=$(pdfinfo "$work/heston-demo.pdf" | awk '/^Pages:/ {print $2}')
pdftoppm -f "$pages" -l "$pages" -r 90 -png -singlefile "$work/heston-demo.pdf" "${picture%.png}"

echo
echo "Workbook:          $(relative "$workbook")"
echo "Smile fit picture: $(relative "$picture")"
echo "Full sheet table:  $(relative "$table")"
