# Sourced by the set-up, build and test scripts: facts about this machine
# that more than one of them needs.
ZAPTOR_CACHE="${ZAPTOR_CACHE:-/var/cache/zaptor}"

# True when the kernel itself runs 32-bit programs. A qemu-i386 binfmt entry
# takes precedence over the kernel's own loader, so 32-bit programs then run
# emulated (slowly) even where the kernel could run them.
zaptor_native32() {
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]
}

# The architecture whose Windows programs start quickly here: i686 where the
# kernel runs 32-bit programs, x86_64 (under wine64) where they would go
# through qemu-user.
zaptor_quick_arch() {
    if zaptor_native32; then echo i686; else echo x86_64; fi
}

# "wine-8.0": the key of the cached Wine prefix. Either loader answers; only
# one of them may be installed.
zaptor_wine_version() {
    local loader version
    for loader in /usr/lib/wine/wine64 /usr/lib/wine/wine; do
        [ -x "$loader" ] || continue
        version="$("$loader" --version 2>/dev/null | cut -d' ' -f1)"
        if [ -n "$version" ]; then
            echo "$version"
            return 0
        fi
    done
    return 1
}

# The loader that starts Wine's own programs (wineboot, cmd.exe): the 64-bit
# one where it is installed, since the prefix is then a 64-bit one.
zaptor_wine_loader() {
    if [ -x /usr/lib/wine/wine64 ]; then echo /usr/lib/wine/wine64; else echo /usr/lib/wine/wine; fi
}
