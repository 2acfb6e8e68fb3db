#!/bin/bash
# Keys from the X server (xdotool) reach the plug-in through the reference
# host's keyboard hook: F12+B runs its binding through "key_processing", and
# Control+D a direct binding through the keyboard listener. Runs on the Linux
# side because xdotool must.   x_key_test.sh BIN_DIR
set -u
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/../../tools/wine-env.sh"
zaptor_x_test_begin "$1" || exit 1
mkfifo "$work/in"
notepad_pid=
trap 'kill $notepad_pid 2>/dev/null; rm -rf "$work"' EXIT
# Wine maps / to drive Z: (winepath would start the slow 32-bit Wine).
dll="Z:$(echo "$bin/plugins/zaptor.dll" | tr / '\\')"

(cd "$work" && "$loader" "$bin/vqhost.exe" --script - <"$work/in" >"$work/out.txt" 2>&1) &
host_pid=$!
exec 3>"$work/in"
printf '%s\n' "load $dll" "send startup" \
    "send zp_action_set_key_binding combi=u32:0x42 id=text:zp_x_test title=text:X" \
    "send zp_action_set_key_binding combi=u32:0x10244 id=text:zp_x_direct title=text:D" \
    "activation 0x7B" "hook" "echo hooked" >&3

# A real window to type into; X key events go to the focused window.
"$loader" notepad >/dev/null 2>&1 &
notepad_pid=$!
window="$(timeout 60 xdotool search --sync --name Notepad | head -1)"
[ -n "$window" ] || { echo "no notepad window"; exit 1; }
for _ in $(seq 60); do grep -q '^hooked' "$work/out.txt" && break; sleep 0.5; done
echo "wait 6000" >&3
sleep 1
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool keydown F12 key b keyup F12
sleep 0.5
xdotool keydown Control_L; sleep 0.2; xdotool key d; sleep 0.2; xdotool keyup Control_L
sleep 6
printf '%s\n' "send shutdown" "finalize" >&3
exec 3>&-
for _ in $(seq 40); do kill -0 $host_pid 2>/dev/null || break; sleep 0.5; done
kill $host_pid 2>/dev/null
cat "$work/out.txt"

failed=0
for expected in '^> zp_x_test .*activate=u32:0x42' '^> zp_x_test .*deactivate=u32:0x42' \
    '^> zp_x_direct .*deactivate=u32:0x244'; do
    grep -E -q "$expected" "$work/out.txt" && echo "ok: $expected" ||
        { echo "FAILED: $expected"; failed=$((failed + 1)); }
done
[ $failed = 0 ]
