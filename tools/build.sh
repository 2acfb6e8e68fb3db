#!/bin/bash
# Configures and builds one tree:
#   tools/build.sh i686|x86_64 [tests|notests] [-DNAME=VALUE...] [targets...]
# build/i686 is what users get (zaptor.dll, zaptor.lng, vqhost.exe);
# the test suite is built where it can run quickly (see tools/test.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
arch="${1:-i686}"
[ $# -gt 0 ] && shift
# Only the literal words are the tests flag; anything else is a target. Without
# the flag a tree keeps the choice it was configured with (tests for a new one).
tests=()
case "${1:-}" in
    tests) tests=(-DZAPTOR_TESTS=ON); shift ;;
    notests) tests=(-DZAPTOR_TESTS=OFF); shift ;;
esac
options=()
while [ $# -gt 0 ] && [ "${1#-D}" != "$1" ]; do
    options+=("$1")
    shift
done
dir="$root/build/$arch"
cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw.cmake" \
    -DZAPTOR_ARCH="$arch" "${tests[@]}" "${options[@]}" >/dev/null
if [ $# -gt 0 ]; then
    cmake --build "$dir" -j"$(nproc)" --target "$@"
else
    cmake --build "$dir" -j"$(nproc)"
fi
