#!/bin/bash
# Typed abbreviations as a user meets them: real keys typed on the X server
# (xdotool, through XTEST) into the target application reach the plug-in
# through the reference host's keyboard hook, and the host types the
# expansion into the same edit control with SendInput. Runs on the Linux
# side because xdotool must.   x_abbreviation_test.sh BIN_DIR
set -u
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/../../tools/wine-env.sh"
zaptor_x_test_begin "$1" || exit 1
zaptor_x_session "Zaptor x abbreviation $$" || exit 1
{
    echo "load plugins\\zaptor.dll"
    echo "send startup"
    # The output holds its own abbreviation: typed by us, it must not fire.
    echo "send zp_store_action_code zp_btw.type=text:typing_interpreter zp_btw.code=text:\"by the way btw\" zp_btw.name=text:BTW"
    echo "send zp_action_set_abbreviation id=text:zp_btw abbreviation=text:btw"
    echo "send zp_store_action_code zp_sig.type=text:typing_interpreter zp_sig.code=text:\"Kind regards\" zp_sig.name=text:Signature"
    echo "send zp_action_set_abbreviation id=text:zp_sig abbreviation=text:;sig kind=text:immediate"
    echo "typing on"
    echo "hook"
    echo "echo hooked"
} >&3
for _ in $(seq 60); do grep -q '^hooked' out.txt && break; sleep 0.5; done
grep -q '^hooked' out.txt || { cat out.txt; echo "the host did not start"; exit 1; }

failed=0
expect() { # expect WHAT ACTUAL EXPECTED
    if [ "$2" = "$3" ]; then
        echo "ok: $1"
    else
        echo "FAILED: $1: got '$2', expected '$3'"
        failed=$((failed + 1))
    fi
}
# type TEXT...: into the emptied edit control, each xdotool type argument
# after a pause in which the host serves its messages and types.
type_into_edit() {
    echo "wait 3000" >&3
    sleep 0.3
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    ctl activate >/dev/null
    ctl set-text edit "" >/dev/null
    for text in "$@"; do
        xdotool type --delay 60 "$text"
        sleep 1
    done
    sleep 1.2
}

type_into_edit "btw "
expect "btw and a space" "$(ctl text edit)" "by the way btw "
type_into_edit "Btw "
expect "a capitalised abbreviation" "$(ctl text edit)" "By the way btw "
type_into_edit "btw and more"
expect "typed on right after the trigger" "$(ctl text edit)" "by the way btw and more"
type_into_edit "xbtw "
expect "inside a word" "$(ctl text edit)" "xbtw "
# A click (here: the caret put back to the start) between "bt" and "w ".
type_into_edit "ab bt"
ctl select edit 0 0 >/dev/null
xdotool type --delay 60 "w "
sleep 2
expect "the caret moved without a key" "$(ctl text edit)" "w ab bt"
type_into_edit "say ;sig"
expect "immediate" "$(ctl text edit)" "say Kind regards"

# An excluded application (as the settings dialog stores it; the file is
# SQLite's, so the command-line shell writes it): abbreviations are off in it.
sqlite3 plugins/zaptor.db "CREATE TABLE IF NOT EXISTS excluded_applications (pattern TEXT PRIMARY KEY); INSERT INTO excluded_applications VALUES ('ZAPTOR_TARGET*.EXE');"
echo "send core__notify_data_update" >&3
type_into_edit "btw "
expect "in an excluded application" "$(ctl text edit)" "btw "
sqlite3 plugins/zaptor.db "DELETE FROM excluded_applications;"
echo "send core__notify_data_update" >&3
type_into_edit "btw "
expect "no longer excluded" "$(ctl text edit)" "by the way btw "

printf '%s\n' "send shutdown" "finalize" >&3
exec 3>&-
for _ in $(seq 40); do kill -0 $host_pid 2>/dev/null || break; sleep 0.5; done
host_pid=
echo "--- host output"
cat out.txt
echo "$failed failed"
[ $failed = 0 ]
