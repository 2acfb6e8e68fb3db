# Sourced by the scripts that build the tree whose programs start quickly here
# and then run them under Wine (the benchmarks, the demo, the mutation check).
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
ZAPTOR_TOOLS="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# zaptor_build_and_start [TARGET...]: sets `arch`, builds build/$arch with the
# tests on (only the TARGETs when given; the build's output is dropped), then
# starts the display and the wineserver. The caller stops them (zaptor_stop)
# when it ends.
zaptor_build_and_start() {
    arch="$(zaptor_quick_arch)"
    "$ZAPTOR_TOOLS/build.sh" "$arch" tests "$@" >/dev/null
    zaptor_start_display
    zaptor_keep_wineserver
}
