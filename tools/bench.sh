#!/bin/bash
# Builds and runs every benchmark under Wine; each prints its own figures
# beside the bare baseline it is measured against.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
tools/setup.sh >/dev/null
. tools/run-env.sh
zaptor_build_and_start
trap zaptor_stop EXIT
cd "build/$arch/bin"
for bench in *_bench.exe; do
    [ -n "${1:-}" ] && [[ "$bench" != *"$1"* ]] && continue
    echo "== $bench"
    "$(zaptor_wine_for "$bench")" "./$bench" 2>/dev/null | tr -d '\r'
done
# Benchmarks that need keys from the X server are scripts beside their programs.
for script in "$root"/bench/*/*_bench.sh; do
    name="$(basename "$script" .sh)"
    [ -n "${1:-}" ] && [[ "$name" != *"$1"* ]] && continue
    echo "== $name"
    bash "$script" "$PWD"
done
