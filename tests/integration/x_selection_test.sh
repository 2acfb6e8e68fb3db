#!/bin/bash
# The selection actions end to end, as a user meets them: real keys pressed
# on the X server (xdotool) with the activation key held reach the plug-in
# through the reference host's hook, and the actions change the text of the
# target application in its own process, giving the clipboard back after.
# Runs on the Linux side because xdotool must.
#   x_selection_test.sh BIN_DIR
set -u
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/../../tools/wine-env.sh"
zaptor_x_test_begin "$1" || exit 1
zaptor_x_session "Zaptor x selection $$" || exit 1
{
    echo "load plugins\\zaptor.dll"
    echo "send startup"
    echo "send zp_action_set_key_binding combi=u32:0x55 id=text:zp_uppercase title=text:U"
    echo "send zp_action_set_key_binding combi=u32:0x4C id=text:zp_lowercase title=text:L"
    echo "send zp_action_set_key_binding combi=u32:0x42 id=text:zp_base64_decode title=text:B"
    echo "send zp_action_set_key_binding combi=u32:0x141 id=text:zp_clipboardstash_set title=text:S"
    echo "send zp_action_set_key_binding combi=u32:0x41 id=text:zp_clipboardstash_paste title=text:P"
    echo "activation 0x7B"
    echo "hook"
    echo "echo hooked"
} >&3
for _ in $(seq 60); do grep -q '^hooked' out.txt && break; sleep 0.5; done
grep -q '^hooked' out.txt || { cat out.txt; echo "the host did not start"; exit 1; }

# The window gets the focus back before each press; X key events go to it.
focus() {
    echo "wait 3500" >&3
    sleep 0.3
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    ctl activate >/dev/null
}
# F12 is the activation key here; xdotool holds it as a keyboard would.
press() {
    focus
    xdotool keydown F12
    sleep 0.1
    xdotool "$@"
    sleep 0.1
    xdotool keyup F12
    sleep 3.3
}
# put CONTROL TEXT: the control holds TEXT, all of it selected.
put() { ctl set-text "$1" "$2" >/dev/null; ctl select "$1" 0 -1 >/dev/null; }

failed=0
expect() {  # expect WHAT ACTUAL EXPECTED
    if [ "$2" = "$3" ]; then
        echo "ok: $1"
    else
        echo "FAILED: $1: got '$2', expected '$3'"
        failed=$((failed + 1))
    fi
}

clip="the user's clipboard äöü"
ctl set-clipboard "$clip" >/dev/null

for row in "u|straße äöü éa|STRAßE ÄÖÜ éA|upper case" "l|ÄÖÜ ÉA|äöü Éa|lower case" \
    "b|SGVsbG8=|Hello|base64 decode"; do
    IFS='|' read -r key text want name <<<"$row"
    put edit "$text"
    press key "$key"
    expect "$name" "$(ctl text edit)" "$want"
    expect "clipboard after $name" "$(ctl clipboard)" "$clip"
done

put rich "Hello rich"
press keydown Shift_L key a keyup Shift_L
expect "clipboard after stash set" "$(ctl clipboard)" "$clip"
ctl select rich 1000 1000 >/dev/null
press key a
rich="$(ctl text rich | tr -d '\n')"
expect "stash paste into the rich edit control" "$rich" "Hello richHello rich"
expect "clipboard after stash paste" "$(ctl clipboard)" "$clip"

# Hasty presses: a second run while one is in progress is refused, so the
# text changes once and the user's clipboard survives.
for gap in 10 40 100; do
    ctl set-clipboard "$clip" >/dev/null
    put edit "quick $gap"
    press key --delay "$gap" u u u
    expect "three presses $gap ms apart" "$(ctl text edit)" "QUICK $gap"
    expect "clipboard after presses $gap ms apart" "$(ctl clipboard)" "$clip"
done
echo "send zp_action_set_key_binding combi=u32:0x10255 id=text:zp_uppercase title=text:DU" >&3
echo "send zp_action_set_key_binding combi=u32:0x1024C id=text:zp_lowercase title=text:DL" >&3
ctl set-clipboard "$clip" >/dev/null
put edit "MiXeD"
focus
xdotool keydown ctrl keydown u keydown l keyup u keyup l keyup ctrl
sleep 3.3
text="$(ctl text edit)"
case "$text" in
MIXED | mixed) echo "ok: two direct releases at once changed the text once" ;;
*) echo "FAILED: two direct releases at once left '$text'"; failed=$((failed + 1)) ;;
esac
expect "clipboard after two direct releases" "$(ctl clipboard)" "$clip"

printf '%s\n' "send shutdown" "finalize" >&3
exec 3>&-
for _ in $(seq 40); do kill -0 $host_pid 2>/dev/null || break; sleep 0.5; done
host_pid=
echo "--- host output"
cat out.txt
echo "$failed failed"
[ $failed = 0 ]
