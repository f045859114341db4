#!/usr/bin/env bash
# Installs the Debian packages a build needs, only when some are missing.
# Usage: cmake/install-deps.sh native|bench|windows ...
set -euo pipefail

packages=()
# Wine is installed with its recommended libraries, as it is tested; the rest without.
recommends=--no-install-recommends
for group in "$@"; do
    case "$group" in
    native)
        # The demonstration workbook: written with libxlsxwriter, opened, checked and rendered
        # by LibreOffice Calc (make demo, make test).
        packages+=(libxlsxwriter-dev libreoffice-calc-nogui poppler-utils unzip)
        packages+=(g++ cmake ninja-build make pkg-config clang-format
            googletest libgtest-dev libgmock-dev libbenchmark-dev libcminpack-dev) ;;
    bench)
        packages+=(libquantlib0-dev libbenchmark-dev python3) ;;
    windows)
        packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64
            dpkg-dev xz-utils)
        recommends= ;;
    *)
        echo "install-deps: unknown group '$group'" >&2
        exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: need root to install packages" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
for p in "${missing[@]}"; do
    case "$p" in
    *:i386)
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
    esac
done
apt-get update -q
apt-get install -y -q $recommends "${missing[@]}"
