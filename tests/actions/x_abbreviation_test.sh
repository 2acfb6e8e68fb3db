#!/bin/bash
# Typed abbreviations as a user meets them: real keys typed on the X server
# (xdotool, through XTEST) into the target application and into Wine's
# notepad reach the plug-in through the desktop host's keyboard hook, and the
# host types the expansion into the same control with SendInput. Each row
# waits for the text it expects (and for it to stay), never for a guessed
# pause. Runs on the Linux side because xdotool must.
#   x_abbreviation_test.sh BIN_DIR
set -u
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/../../tools/wine-env.sh"
zaptor_x_test_begin "$1" || exit 1
zaptor_x_session "Zaptor x abbreviation $$" || exit 1
# The actions and their abbreviations, set through the plug-in's own
# messages by a script; the desktop host then finds them in the database.
{
    echo "load plugins\\zaptor.dll"
    echo "send startup"
    # The output holds its own abbreviation: typed by us, it must not fire.
    echo "send zp_store_action_code zp_btw.type=text:typing_interpreter zp_btw.code=text:\"by the way btw\" zp_btw.name=text:BTW"
    echo "send zp_action_set_abbreviation id=text:zp_btw abbreviation=text:btw"
    echo "send zp_store_action_code zp_sig.type=text:typing_interpreter zp_sig.code=text:\"Kind regards\" zp_sig.name=text:Signature"
    echo "send zp_action_set_abbreviation id=text:zp_sig abbreviation=text:;sig kind=text:immediate"
    echo "send shutdown"
    echo "finalize"
} >&3
zaptor_x_setup_end '^= stored flag:1' 2 || exit 1
zaptor_desktop_host_start || exit 1

failed=0
edit_text() { ctl text edit; }
password_text() { ctl text password; }
# into CONTROL: the target in front, CONTROL emptied and focused.
into() {
    zaptor_target_front
    ctl set-text "$1" "" >/dev/null
    ctl select "$1" 0 0 >/dev/null
}

# WHAT | TYPED (xdotool type, 12 ms between keys) | EXPECTED
while IFS='|' read -r what typed expected; do
    into edit
    xdotool type "$typed"
    zaptor_check "$what" edit_text "$expected"
done <<'ROWS'
a word abbreviation and its space|btw |by the way btw 
a capitalised one|Btw |By the way btw 
typed on right after the space|btw and more|by the way btw and more
inside a word|xbtw |xbtw 
after a parenthesis|(btw)|(by the way btw)
an immediate abbreviation|say ;sig|say Kind regards
typed on at once after an immediate one|;sigxyz|Kind regardsxyz
two typed at speed|btw btw |by the way btw by the way btw 
an immediate one at speed after a word one|btw ;sig|by the way btw Kind regards
ROWS

# A click (here: the caret put back to the start) between "bt" and "w ".
into edit
xdotool type "ab bt"
zaptor_check "typed before the caret moved" edit_text "ab bt"
ctl select edit 0 0 >/dev/null
xdotool type "w "
zaptor_check "the caret moved without a key" edit_text "w ab bt"

# A password edit keeps no typed text: nothing fires, nothing is swallowed.
into password
xdotool type "btw ;sig"
zaptor_check "in a password edit" password_text "btw ;sig"

# Wine's notepad, as an application of someone else's.
"$loader" notepad.exe >/dev/null 2>&1 &
zaptor_more_pids=$!
notepad_title="Untitled - Notepad"
notepad="$(timeout 60 xdotool search --sync --name "^$notepad_title\$" | head -1)"
[ -n "$notepad" ] || { echo "no notepad window"; exit 1; }
notepad_text() { "$loader" zaptor_target_ctl.exe "$notepad_title" child-text Edit 2>/dev/null | tr -d '\r'; }
into_notepad() {
    xdotool windowactivate --sync "$notepad" 2>/dev/null || xdotool windowfocus --sync "$notepad"
    "$loader" zaptor_target_ctl.exe "$notepad_title" foreground >/dev/null 2>&1 ||
        echo "notepad did not come to the foreground"
    "$loader" zaptor_target_ctl.exe "$notepad_title" child-set-text Edit "" >/dev/null 2>&1
}
notepad_rows() {
    while IFS='|' read -r what typed expected; do
        into_notepad
        xdotool type "$typed"
        zaptor_check "notepad: $what" notepad_text "$expected"
    done <<'ROWS'
an immediate abbreviation|;sig|Kind regards
a word abbreviation|btw |by the way btw 
a capitalised one|Btw |By the way btw 
typed on right after an immediate one|;sig, Anna|Kind regards, Anna
ROWS
}
notepad_rows

# An excluded application (as the settings dialog stores it; the file is
# SQLite's, so the command-line shell writes it): abbreviations are off in
# it, and still on in notepad. The host reads the list when it starts.
zaptor_desktop_host_stop
sqlite3 plugins/zaptor.db "CREATE TABLE IF NOT EXISTS excluded_applications (pattern TEXT PRIMARY KEY); INSERT INTO excluded_applications VALUES ('ZAPTOR_TARGET*.EXE');"
zaptor_desktop_host_start || exit 1
into edit
xdotool type "btw ;sig"
zaptor_check "in an excluded application" edit_text "btw ;sig"
into_notepad
xdotool type "btw "
zaptor_check "notepad beside an excluded application" notepad_text "by the way btw "

zaptor_desktop_host_stop
echo "$failed failed"
[ $failed = 0 ]
