#!/bin/bash
# Installs what is missing, builds, and runs every test under Wine.
#
# The suite runs where Windows programs start quickly: natively 32-bit when
# the kernel runs 32-bit programs, otherwise as an x86-64 build of the same
# sources under wine64, followed by a smoke run of the shipped 32-bit
# binaries (vqhost.exe loading zaptor.dll) through qemu-user.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
tools/setup.sh

native32=0
if /lib/ld-linux.so.2 --version >/dev/null 2>&1 && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    native32=1
fi
if [ $native32 = 1 ]; then suite_arch=i686; else suite_arch=x86_64; fi

if [ "$suite_arch" != i686 ]; then
    echo "== building the shipped 32-bit plug-in and host"
    tools/build.sh i686 notests zaptor vqhost zaptor_lng zaptor_release
fi
echo "== building the test suite ($suite_arch)"
tools/build.sh "$suite_arch" tests

. tools/wine-env.sh
zaptor_start_display
zaptor_keep_wineserver
trap zaptor_stop EXIT

echo "== running the test suite ($suite_arch) under Wine on $DISPLAY"
ctest --test-dir "build/$suite_arch" --output-on-failure -j2 --timeout 600

if [ $native32 = 0 ]; then
    echo "== 32-bit smoke run (qemu-user: slow)"
    tools/smoke32.sh
fi
echo "== all tests passed"
