#!/bin/bash
# Installs what a fresh Debian 12 machine (as root) lacks to build and test
# Zaptor, and prepares the cached dependencies. Idempotent: a second run with
# everything present only checks and returns, without touching apt or binfmt.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/platform.sh"
. "$here/versions"
CACHE="$ZAPTOR_CACHE"
mkdir -p "$CACHE"

log() { echo "setup: $*"; }
die() { echo "setup: $*" >&2; exit 1; }

updated=0
apt_update() { if [ $updated = 0 ]; then apt-get update -qq; updated=1; fi; }

# Installs the packages of the list that are not installed yet.
install_missing() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    log "installing ${missing[*]}"
    apt_update
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    log "adding the i386 architecture"
    dpkg --add-architecture i386
fi

# wine64 too: its 64-bit prefix runs the 32-bit programs as well, and is the
# set-up every run so far has used.
install_missing wine wine32:i386 wine64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix \
    xvfb xauth googletest dpkg-dev imagemagick x11-utils xdotool \
    libboost1.81-dev cmake make python3 tcl

# Some kernels run with 32-bit emulation switched off (ia32_emulation=off):
# 32-bit Linux programs, wine's i386 loader among them, then fail with
# "Exec format error". There the suite runs as an x86-64 build under wine64,
# and the shipped 32-bit binaries go through qemu-user (about a minute per
# Windows process). wine32:i386 above brought /lib/ld-linux.so.2, so the
# check below is meaningful now.
if ! zaptor_native32; then
    install_missing g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix qemu-user-static
fi
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    fi
    if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        log "registering qemu-i386 for 32-bit programs (the kernel runs none natively)"
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            > /proc/sys/fs/binfmt_misc/register
    fi
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 || die "32-bit programs do not run, not even through qemu-i386"
fi

# Prints deb-src entries (deb822) mirroring the machine's configured deb
# entries, in *.sources files or as deb lines of *.list files, whose URI is
# one of the given ones (all of them when none is given).
deb_src_entries() {
    awk -v serving=" $* " '
        function trim(s) { gsub(/^[ \t]+|[ \t]+$/, "", s); return s }
        function wanted(uris,    n, u, i) {
            if (serving ~ /^ *$/) return 1
            n = split(uris, u, /[ \t]+/)
            for (i = 1; i <= n; i++) if (u[i] != "" && index(serving, " " u[i] " ")) return 1
            return 0
        }
        function flush(    types) {
            types = " " value["types"] " "
            if (types ~ / deb / && tolower(value["enabled"]) != "no" && wanted(value["uris"])) {
                print "Types: deb-src"
                printf "%s%s%s%s", raw["uris"], raw["suites"], raw["components"], raw["signed-by"]
                print ""
            }
            split("", value); split("", raw); key = ""
        }
        FNR == 1 && NR > 1 { flush() }
        FILENAME ~ /\.sources$/ {
            if ($0 ~ /^[ \t]*$/) { flush(); next }
            if ($0 ~ /^#/) next
            if ($0 ~ /^[ \t]/ && key != "") { raw[key] = raw[key] $0 "\n"; value[key] = value[key] " " trim($0); next }
            key = tolower(trim(substr($0, 1, index($0, ":") - 1)))
            value[key] = trim(substr($0, index($0, ":") + 1))
            raw[key] = $0 "\n"
            next
        }
        /^deb[ \t]/ {
            line = $0; signed = ""
            sub(/^deb[ \t]+/, "", line)
            if (line ~ /^\[/) {
                options = substr(line, 2, index(line, "]") - 2)
                line = trim(substr(line, index(line, "]") + 1))
                n = split(options, o, /[ \t]+/)
                for (i = 1; i <= n; i++) if (o[i] ~ /^signed-by=/) signed = substr(o[i], 11)
            }
            n = split(line, w, /[ \t]+/)
            if (n < 2 || !wanted(w[1])) next
            print "Types: deb-src"
            print "URIs: " w[1]
            print "Suites: " w[2]
            components = ""
            for (i = 3; i <= n; i++) components = components (i > 3 ? " " : "") w[i]
            if (components != "") print "Components: " components
            if (signed != "") print "Signed-By: " signed
            print ""
        }
        END { flush() }
    ' $(ls /etc/apt/sources.list.d/*.sources /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null)
}

# SQLite amalgamation from Debian's source package, cached by version.
SQLITE_DIR="$CACHE/sqlite-$SQLITE_VERSION"
if [ ! -f "$SQLITE_DIR/sqlite3.c" ] || [ ! -f "$SQLITE_DIR/sqlite3.h" ]; then
    apt_update
    if ! apt-cache showsrc sqlite3 2>/dev/null | grep -q '^Package: sqlite3$'; then
        # Only the repositories that serve the package: one without sources
        # would make apt-get update fail.
        serving="$(apt-cache madison sqlite3 | awk -F'|' '{split($3, f, " "); print f[1]}' | sort -u)"
        entries="$(deb_src_entries $serving)"
        [ -n "$entries" ] || entries="$(deb_src_entries)"
        [ -n "$entries" ] || die "no deb entry in the apt sources to derive a deb-src entry from"
        log "adding deb-src entries beside the configured apt sources"
        printf '%s\n' "$entries" > /etc/apt/sources.list.d/zaptor-deb-src.sources
        updated=0
        apt_update
    fi
    work="$CACHE/sqlite-src.tmp"
    rm -rf "$work"; mkdir -p "$work"
    (cd "$work" && apt-get source --download-only -qq sqlite3 >/dev/null)
    dsc=$(ls "$work"/sqlite3_*.dsc | head -1)
    # The cache is keyed by version: another upstream version must not land under this one's name.
    case "$(basename "$dsc")" in
        "sqlite3_$SQLITE_VERSION-"*) ;;
        *) die "apt offers $(basename "$dsc"), not SQLite $SQLITE_VERSION (tools/versions)" ;;
    esac
    dpkg-source -x "$dsc" "$work/src" >/dev/null
    log "building the SQLite amalgamation"
    (cd "$work/src" && ./configure >/dev/null && make sqlite3.c >/dev/null)
    mkdir -p "$SQLITE_DIR"
    cp "$work/src/sqlite3.c" "$work/src/sqlite3.h" "$SQLITE_DIR/"
    rm -rf "$work"
fi

# Wine prefix, cached by Wine's version; the files checked are the ones a
# finished wineboot leaves.
WINE_VERSION="$(zaptor_wine_version)" || die "no Wine loader answers --version"
PREFIX="$CACHE/wineprefix-$WINE_VERSION"
if [ -f "$PREFIX/.zaptor-ready" ] && [ -x /usr/lib/wine/wine64 ] && grep -qs '^#arch=win32' "$PREFIX/system.reg"; then
    log "the cached Wine prefix is 32-bit and wine64 is installed now: making it anew"
    rm -rf "$PREFIX"
fi
if [ ! -f "$PREFIX/.zaptor-ready" ]; then
    log "initialising the Wine prefix $PREFIX"
    loader="$(zaptor_wine_loader)"
    arch=win32
    [ "$loader" = /usr/lib/wine/wine64 ] && arch=win64
    rm -rf "$PREFIX"
    mkdir -p "$PREFIX"
    boot_log="$CACHE/wineboot.log"
    rc=0
    WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=$arch \
        "$loader" wineboot -i >"$boot_log" 2>&1 || rc=$?
    WINEPREFIX="$PREFIX" wineserver -w >>"$boot_log" 2>&1 || true
    missing=""
    for f in system.reg user.reg userdef.reg drive_c/windows/system32/kernel32.dll; do
        [ -f "$PREFIX/$f" ] || missing="$missing $f"
    done
    if [ $rc != 0 ] || [ -n "$missing" ]; then
        sed 's/^/  | /' "$boot_log" >&2
        rm -rf "$PREFIX"
        die "wineboot failed (exit code $rc; missing:${missing:- nothing}); the prefix was removed"
    fi
    touch "$PREFIX/.zaptor-ready"
fi

log "ready (cache $CACHE)"
