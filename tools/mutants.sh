#!/bin/bash
# The mutation check: seeded faults, one at a time, each caught by the tests
# that should catch it (tools/mutants.py lists them). Builds what is missing
# first; takes about half a minute per mutant.
#   tools/mutants.sh [--only NAME,...] [--list] [--extra FILE.json]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
. tools/run-env.sh
zaptor_build_and_start
trap zaptor_stop EXIT
python3 tools/mutants.py --arch "$arch" "$@"
