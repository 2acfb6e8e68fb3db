#!/bin/bash
# Installs what a fresh Debian 12 machine (as root) lacks to build and test
# Zaptor, and prepares the cached dependencies. Idempotent: a second run with
# everything present only checks and returns.
set -euo pipefail

CACHE="${ZAPTOR_CACHE:-/var/cache/zaptor}"
SQLITE_VERSION_WANTED="3.40.1"
mkdir -p "$CACHE"

log() { echo "setup: $*"; }

need_packages=()
check_pkg() {
    # $1: package name (with :arch when needed)
    if ! dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; then
        need_packages+=("$1")
    fi
}

PACKAGES=(wine wine32:i386 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
          xvfb xauth googletest dpkg-dev imagemagick x11-utils xdotool
          libboost1.81-dev cmake make python3 tcl
          wine64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix qemu-user-static)
for p in "${PACKAGES[@]}"; do check_pkg "$p"; done

have_deb_src() {
    grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ 2>/dev/null ||
        grep -qs '^deb-src' /etc/apt/sources.list 2>/dev/null
}

updated=0
apt_update() { if [ $updated = 0 ]; then apt-get update -qq; updated=1; fi; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    log "adding the i386 architecture"
    dpkg --add-architecture i386
    updated=0
    apt_update
fi

if [ ${#need_packages[@]} -gt 0 ]; then
    log "installing ${need_packages[*]}"
    apt_update
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need_packages[@]}"
fi

# SQLite amalgamation from Debian's source package, cached by version.
SQLITE_DIR="$CACHE/sqlite-$SQLITE_VERSION_WANTED"
if [ ! -f "$SQLITE_DIR/sqlite3.c" ] || [ ! -f "$SQLITE_DIR/sqlite3.h" ]; then
    if ! have_deb_src; then
        log "adding a deb-src entry"
        cat > /etc/apt/sources.list.d/zaptor-deb-src.sources <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
        updated=0
    fi
    apt_update
    work="$CACHE/sqlite-src.tmp"
    rm -rf "$work"; mkdir -p "$work"
    (cd "$work" && apt-get source --download-only -qq sqlite3 >/dev/null)
    dsc=$(ls "$work"/sqlite3_*.dsc | head -1)
    dpkg-source -x "$dsc" "$work/src" >/dev/null
    log "building the SQLite amalgamation"
    (cd "$work/src" && ./configure >/dev/null && make sqlite3.c >/dev/null)
    mkdir -p "$SQLITE_DIR"
    cp "$work/src/sqlite3.c" "$work/src/sqlite3.h" "$SQLITE_DIR/"
    rm -rf "$work"
fi

# Some kernels run with 32-bit emulation switched off (ia32_emulation=off):
# 32-bit Linux programs, wine's i386 loader among them, then fail with
# "Exec format error". Route i386 ELF programs through qemu-user instead; it is
# slow (about a minute per Windows process), so the test suite runs a 64-bit
# build under wine64 and only smoke-tests the 32-bit binaries there.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    fi
    if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        log "registering qemu-i386 for 32-bit programs (the kernel runs none natively)"
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            > /proc/sys/fs/binfmt_misc/register
    fi
fi

# Wine prefix, cached by Wine's version.
WINE_VERSION=$(/usr/lib/wine/wine64 --version 2>/dev/null | cut -d' ' -f1)
PREFIX="$CACHE/wineprefix-$WINE_VERSION"
if [ ! -f "$PREFIX/.zaptor-ready" ]; then
    log "initialising the Wine prefix $PREFIX"
    mkdir -p "$PREFIX"
    WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64 \
        /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
    WINEPREFIX="$PREFIX" wineserver -w || true
    touch "$PREFIX/.zaptor-ready"
fi

log "ready (cache $CACHE)"
