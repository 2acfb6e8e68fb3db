#!/bin/bash
# Keys from the X server (xdotool) reach the plug-in through the reference
# host's keyboard hook: a key pressed while the activation key is held runs
# its binding through "key_processing", and a direct binding runs through the
# keyboard listener. Runs on the Linux side because xdotool must.
#   x_key_test.sh BIN_DIR
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
{
    echo "load $dll"
    echo "send startup"
    echo "send zp_action_set_key_binding combi=u32:0x42 id=text:zp_x_test title=text:X"
    echo "send zp_action_set_key_binding combi=u32:0x10244 id=text:zp_x_direct title=text:D"
    echo "activation 0x7B"
    echo "hook"
    echo "echo hooked"
} >&3

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
{
    echo "send shutdown"
    echo "finalize"
} >&3
exec 3>&-
for _ in $(seq 40); do kill -0 $host_pid 2>/dev/null || break; sleep 0.5; done
kill $host_pid 2>/dev/null
cat "$work/out.txt"

failed=0
check() {
    if grep -E -q "$1" "$work/out.txt"; then
        echo "ok: $2"
    else
        echo "FAILED: $2"
        failed=$((failed + 1))
    fi
}
check '^> zp_x_test .*activate=u32:0x42' "F12+B press reached the binding (activate 0x42)"
check '^> zp_x_test .*deactivate=u32:0x42' "F12+B release reached the binding (deactivate 0x42)"
check '^> zp_x_direct .*deactivate=u32:0x244' "Control+D reached the direct binding (deactivate 0x244)"
passed=$((3 - failed))
echo "$passed passed, $failed failed"
[ $failed = 0 ]
