#!/bin/bash
# The demo: installs what is missing, builds, and runs Zaptor in the
# reference host under Wine on a virtual display, printing what happens.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
tools/setup.sh >/dev/null

# The shipped binaries are 32-bit; where this kernel cannot run 32-bit
# programs natively (they then go through qemu-user, a minute per process)
# the demo runs the x86-64 build of the same sources instead.
if /lib/ld-linux.so.2 --version >/dev/null 2>&1 && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    arch=i686; loader=/usr/lib/wine/wine
else
    arch=x86_64; loader=/usr/lib/wine/wine64
fi
echo "== building ($arch)"
tools/build.sh "$arch" notests zaptor vqhost zaptor_lng >/dev/null

. tools/wine-env.sh
zaptor_start_display
zaptor_keep_wineserver
trap zaptor_stop EXIT

out="$root/out/demo"
rm -rf "$out"
mkdir -p "$out/plugins" "$out/backup"
cp "build/$arch/bin/vqhost.exe" "$out/"
cp "build/$arch/bin/plugins/zaptor.dll" "build/$arch/bin/plugins/zaptor.lng" "$out/plugins/"
echo "== running tools/demo/lifecycle.vqs in vqhost.exe ($out, display $DISPLAY)"
(cd "$out" && "$loader" vqhost.exe --script "$root/tools/demo/lifecycle.vqs" 2>/dev/null | tr -d '\r')
echo "== plugins\\zaptor.log"
sed 's/^/  /' "$out/plugins/zaptor.log" | cut -c1-200
echo "== backup folder"
ls -l "$out/backup"
