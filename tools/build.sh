#!/bin/bash
# Configures and builds one tree: tools/build.sh i686|x86_64 [tests|notests] [targets...]
# build/i686 is what users get (zaptor.dll, zaptor.lng, vqhost.exe);
# the test suite is built where it can run quickly (see tools/test.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
arch="${1:-i686}"
tests="${2:-tests}"
shift $(( $# > 2 ? 2 : $# ))
opt=ON
[ "$tests" = notests ] && opt=OFF
dir="$root/build/$arch"
cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw.cmake" \
    -DZAPTOR_ARCH="$arch" -DZAPTOR_TESTS=$opt >/dev/null
if [ $# -gt 0 ]; then
    cmake --build "$dir" -j"$(nproc)" --target "$@"
else
    cmake --build "$dir" -j"$(nproc)"
fi
