#!/bin/bash
# Keys from the X server (xdotool, through XTEST) reach the plug-in through
# the desktop host's keyboard hook, served all the time as users run it:
# F12 (the VQ-Key here) + B runs its binding through "key_processing", and
# Control+D a direct binding through the keyboard listener. The host prints
# the requests the plug-in sends; each row waits for the ones it expects (and
# for no more to follow), never for a guessed pause. Runs on the Linux side
# because xdotool must.   x_key_test.sh BIN_DIR
set -u
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/../../tools/wine-env.sh"
zaptor_x_test_begin "$1" || exit 1
zaptor_x_session "Zaptor x key $$" || exit 1
# The bindings, set through the plug-in's own messages by a script; the
# desktop host then finds them in the database.
{
    echo "load plugins\\zaptor.dll"
    echo "send startup"
    echo "send zp_action_set_key_binding combi=u32:0x42 id=text:zp_x_test title=text:X"
    echo "send zp_action_set_key_binding combi=u32:0x10244 id=text:zp_x_direct title=text:D"
    echo "send shutdown"
    echo "finalize"
} >&3
zaptor_x_setup_end '^= stored flag:1' 2 || exit 1
zaptor_desktop_host_start --activation 0x7B --print-requests || exit 1

# The requests printed after line `mark` of the host's output, "; " between.
requests_since_mark() {
    tail -n +"$((mark + 1))" desktop.txt | sed -n 's/^> //p' |
        awk 'NR > 1 { printf "; " } { printf "%s", $0 }'
}

failed=0
# WHAT | KEYS (xdotool commands) | EXPECTED requests
while IFS='|' read -r what keys expected; do
    zaptor_target_front
    mark=$(wc -l <desktop.txt)
    # shellcheck disable=SC2086 # the keys are several xdotool words
    xdotool $keys
    zaptor_check "$what" requests_since_mark "$expected"
done <<'ROWS'
F12+B through key_processing|keydown F12 key b keyup F12|zp_x_test key_down=u32:0x42 request=text:"execute" activate=u32:0x42; zp_x_test key_up=u32:0x42 request=text:"execute" deactivate=u32:0x42
Control+D through the keyboard listener|keydown Control_L key d keyup Control_L|zp_x_direct request=text:"execute" deactivate=u32:0x244
ROWS

zaptor_desktop_host_stop
echo "$failed failed"
[ $failed = 0 ]
