#!/usr/bin/env bash
# Downloads the MINPACK (cminpack) upstream source from Debian's source package and unpacks
# it into DEST, for the Windows builds (Debian ships only Linux binaries of it). Needs no root.
# The tarball's SHA-256 is checked against the package's .dsc and against the value pinned
# here; nothing of it is committed.
# Usage: cmake/fetch-minpack-source.sh DEST
set -euo pipefail

dest=$1
version=1.3.6
tarball=cminpack_${version}.orig.tar.gz
pinned=3c07fd21308c96477a2c900032e21d937739c233ee273b4347a0d4a84a32d09f

if [ -f "$dest/cminpack-$version/lmdif.c" ]; then
    exit 0
fi
mkdir -p "$dest"
cd "$dest"

# The source package's index comes from the deb-src entry that `cmake/install-deps.sh windows`
# sets up; this script only reads it and never changes the system's package sources.
if ! apt-cache showsrc cminpack 2>/dev/null | grep -q '^Package: cminpack'; then
    echo "fetch-minpack-source: no source package cminpack is known to apt;" \
        "run 'make deps-windows' (cmake/install-deps.sh windows) first" >&2
    exit 1
fi

# The Debian patch tarball may be missing from the mirror; only the upstream tarball and the
# .dsc are needed, so a partial download is accepted and checked below.
if [ ! -f "$tarball" ]; then
    apt-get source --download-only "cminpack=${version}-5" >/dev/null 2>&1 ||
        apt-get source --download-only cminpack >/dev/null 2>&1 || true
fi
[ -f "$tarball" ] || { echo "fetch-minpack-source: could not download $tarball" >&2; exit 1; }

actual=$(sha256sum "$tarball" | cut -d' ' -f1)
dsc=$(ls cminpack_*.dsc 2>/dev/null | head -n 1)
if [ -z "$dsc" ] || ! grep -q "$actual $(stat -c %s "$tarball") $tarball" "$dsc"; then
    echo "fetch-minpack-source: $tarball does not match its .dsc" >&2
    exit 1
fi
if [ "$actual" != "$pinned" ]; then
    echo "fetch-minpack-source: $tarball checksum $actual, expected $pinned" >&2
    exit 1
fi
tar xzf "$tarball"
