#!/bin/bash
# Installs what is missing, builds, and runs every test under Wine.
#
# The suite runs where Windows programs start quickly: natively 32-bit when
# the kernel runs 32-bit programs, otherwise as an x86-64 build of the same
# sources under wine64, followed by the 32-bit run (the shipped vqhost.exe
# and zaptor.dll, and a host written in C calling the plug-in's vtables)
# through qemu-user.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
tools/setup.sh
. tools/platform.sh

# The tests of the 32-bit binaries themselves, and the logic-level tests
# once more as one 32-bit program; in the i686 tree only.
run32='^(contract_test|smoke32|logic32_test)$'
suite_arch="$(zaptor_quick_arch)"
if [ "$suite_arch" != i686 ]; then
    echo "== building the shipped 32-bit plug-in and host, and the 32-bit logic tests"
    tools/build.sh i686 tests -DZAPTOR_LOGIC32=ON zaptor vqhost zaptor_lng zaptor_release \
        zaptor_contract_host logic32_test
fi
echo "== building the test suite ($suite_arch)"
tools/build.sh "$suite_arch" tests
tools/check_layers.sh

. tools/wine-env.sh
zaptor_start_display
zaptor_keep_wineserver
trap zaptor_stop EXIT

echo "== running the test suite ($suite_arch) under Wine on $DISPLAY"
ctest --test-dir "build/$suite_arch" --output-on-failure -j2 --timeout 600

if [ "$suite_arch" != i686 ]; then
    echo "== the 32-bit binaries (qemu-user: slow)"
    ctest --test-dir build/i686 --output-on-failure -R "$run32"
fi
echo "== all tests passed"
