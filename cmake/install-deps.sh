#!/usr/bin/env bash
# Installs the Debian packages a build needs, only when some are missing. For the Windows
# builds it also makes the source package of MINPACK known to apt (a deb-src entry), from
# which their configure step takes the MINPACK source (cmake/fetch-minpack-source.sh).
# Usage: cmake/install-deps.sh native|bench|windows ...
set -euo pipefail

packages=()
sources=false
# Wine is installed with its recommended libraries, as it is tested; the rest without.
recommends=--no-install-recommends
for group in "$@"; do
    case "$group" in
    native)
        # The demonstration workbook: written with libxlsxwriter and minizip, opened, checked
        # and rendered by LibreOffice Calc (make demo, make test).
        packages+=(libxlsxwriter-dev libminizip-dev libreoffice-calc-nogui poppler-utils unzip)
        packages+=(g++ clang cmake ninja-build make pkg-config clang-format
            googletest libgtest-dev libgmock-dev libbenchmark-dev libcminpack-dev) ;;
    bench)
        packages+=(libquantlib0-dev libbenchmark-dev python3) ;;
    windows)
        packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64
            dpkg-dev xz-utils)
        sources=true
        recommends= ;;
    *)
        echo "install-deps: unknown group '$group'" >&2
        exit 2 ;;
    esac
done

need_root() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "install-deps: need root to $1" >&2
        exit 1
    fi
}

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}"
    need_root "install packages"
    export DEBIAN_FRONTEND=noninteractive
    for p in "${missing[@]}"; do
        case "$p" in
        *:i386)
            dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
        esac
    done
    apt-get update -q
    apt-get install -y -q $recommends "${missing[@]}"
fi

# The Windows builds read MINPACK's source package: without a deb-src entry, one for Debian's
# main archive is added and the index fetched.
if $sources && ! apt-cache showsrc cminpack 2>/dev/null | grep -q '^Package: cminpack'; then
    need_root "add a deb-src entry for the MINPACK source"
    if ! grep -qs -E '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list \
            /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list; then
        echo "install-deps: adding /etc/apt/sources.list.d/debian-src.sources"
        cat >/etc/apt/sources.list.d/debian-src.sources <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    fi
    apt-get update -q
fi
