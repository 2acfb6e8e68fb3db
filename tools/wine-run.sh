#!/bin/bash
# CTest's emulator: runs one Windows program under Wine on the shared display
# and wineserver (started here when the caller did not start them).
set -u
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/wine-env.sh"
started_display=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    zaptor_start_display || exit 1
    started_display=1
fi
zaptor_keep_wineserver
exe="$1"; shift
loader="$(zaptor_wine_for "$exe")"
"$loader" "$exe" "$@"
rc=$?
if [ $started_display = 1 ]; then
    kill "$ZAPTOR_XVFB_PID" 2>/dev/null || true
fi
exit $rc
