#!/bin/bash
# From the final key of a typed abbreviation to its expansion complete in the
# target application, beside the host's typing of the same data alone: real
# keys typed on the X server (xdotool, through XTEST) reach the desktop
# host's keyboard hook, as a user's do; the probe application times both on
# one clock (see abbreviation_latency_probe.cpp). Prints figures, asserts
# nothing.
#   abbreviation_latency_bench.sh BIN_DIR [ROUNDS]     (tools/bench.sh runs it)
set -u
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/../../tools/wine-env.sh"
zaptor_x_test_begin "$1" || exit 1
rounds="${2:-30}"
cp "$bin/vqhost.exe" "$bin/abbreviation_latency_probe.exe" "$work/"
cp "$bin/plugins/zaptor.dll" "$bin/plugins/zaptor.lng" "$work/plugins/"
host_pid=
probe_pid=
cleanup() {
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
    [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1

printf '%s\n' 'load plugins\zaptor.dll' 'send startup' \
    'send zp_store_action_code zp_sig.type=text:typing_interpreter zp_sig.code=text:"Kind regards" zp_sig.name=text:Signature' \
    'send zp_action_set_abbreviation id=text:zp_sig abbreviation=text:;sig kind=text:immediate' \
    'send shutdown' 'finalize' >setup.vqs
"$loader" vqhost.exe --script setup.vqs >setup.txt 2>&1 || { cat setup.txt; exit 1; }
zaptor_desktop_host_start || exit 1
title="Zaptor latency probe $$"
# Started after the host, so its hook is called first and sees the final key
# before the host's does.
"$loader" abbreviation_latency_probe.exe "$title" "$rounds" >probe.txt 2>&1 &
probe_pid=$!
window="$(timeout 60 xdotool search --sync --name "^$title\$" | head -1)"
[ -n "$window" ] || { echo "no probe window"; exit 1; }
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
for i in $(seq "$rounds"); do
    for _ in $(seq 200); do
        grep -q "^next $i\$\|^done" probe.txt && break
        sleep 0.05
    done
    grep -q "^next $i\$" probe.txt || break
    xdotool type ";sig"
done
for _ in $(seq 600); do
    grep -q '^done' probe.txt && break
    sleep 0.1
done
grep -v '^next \|^done' probe.txt | tr -d '\r'
zaptor_desktop_host_stop
