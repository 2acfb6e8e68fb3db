#!/bin/bash
# The demo: installs what is missing, builds, and runs Zaptor in the
# reference host under Wine on a virtual display. Part one drives the
# plug-in's lifecycle from a console script; part two presses real keys on the
# X server (xdotool) over a target application and shows the selection
# actions at work: the text and the clipboard before and after, and a
# screenshot.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
tools/setup.sh >/dev/null

# The shipped binaries are 32-bit; where this kernel cannot run 32-bit
# programs natively (they then go through qemu-user, a minute per process)
# the demo runs the x86-64 build of the same sources instead.
. tools/run-env.sh
echo "== building ($(zaptor_quick_arch))"
# The same configuration as tools/test.sh uses for this tree, so that the two
# never make each other rebuild everything.
zaptor_build_and_start zaptor vqhost zaptor_lng zaptor_target zaptor_target_ctl
loader="$(zaptor_wine_for "build/$arch/bin/vqhost.exe")"
target_pid=""
host_pid=""
cleanup() {
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null || true
    [ -n "$target_pid" ] && kill "$target_pid" 2>/dev/null || true
    zaptor_stop
}
trap cleanup EXIT

out="$root/out/demo"
rm -rf "$out"
mkdir -p "$out/plugins" "$out/backup"
bin="build/$arch/bin"
cp "$bin/vqhost.exe" "$bin/zaptor_target.exe" "$bin/zaptor_target_ctl.exe" "$out/"
cp "$bin/plugins/zaptor.dll" "$bin/plugins/zaptor.lng" "$out/plugins/"
cd "$out"

echo
echo "== part 1: the lifecycle (tools/demo/lifecycle.vqs in vqhost.exe, display $DISPLAY)"
"$loader" vqhost.exe --script "$root/tools/demo/lifecycle.vqs" 2>/dev/null | tr -d '\r'
echo "-- plugins\\zaptor.log:"
sed 's/^/   /' plugins/zaptor.log | cut -c1-160
echo "-- backup folder: $(ls backup | tr '\n' ' ')"

echo
echo "== part 2: selection actions through real key presses"
title="Zaptor target demo"
ctl() { "$loader" zaptor_target_ctl.exe "$title" "$@" 2>/dev/null | tr -d '\r'; }
"$loader" zaptor_target.exe "$title" >/dev/null 2>&1 &
target_pid=$!
win=""
for _ in $(seq 1 100); do
    win="$(xdotool search --name "^$title\$" 2>/dev/null | head -1 || true)"
    [ -n "$win" ] && break
    sleep 0.2
done
[ -n "$win" ] || { echo "demo: the target application did not open" >&2; exit 1; }

"$loader" vqhost.exe --script "$root/tools/demo/selection.vqs" > host-output.txt 2>/dev/null &
host_pid=$!
for _ in $(seq 1 150); do
    grep -q '^ready' host-output.txt 2>/dev/null && break
    sleep 0.2
done
grep -q '^ready' host-output.txt || { echo "demo: vqhost did not get ready" >&2; cat host-output.txt; exit 1; }

# The VQ-Key is Caps Lock: held on the X server, as a person's keyboard would.
press_with_vq_key() {
    xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
    ctl activate >/dev/null
    xdotool keydown Caps_Lock
    sleep 0.2
    xdotool "$@"
    sleep 0.2
    xdotool keyup Caps_Lock
    sleep 1.5
}

# Under Wine the first VQ-Key combination after the window got the focus
# does not arrive as one (Wine brings its lock-key state in line with the X
# server's then): a first press of an unbound combination absorbs that.
press_with_vq_key key F9

ctl set-clipboard "the user's clipboard" >/dev/null
ctl set-text edit "select me and press VQ-Key+U" >/dev/null
ctl select edit 0 -1 >/dev/null
echo "-- before VQ-Key+U:  text \"$(ctl text edit)\", clipboard \"$(ctl clipboard)\""
press_with_vq_key key u
echo "-- after VQ-Key+U:   text \"$(ctl text edit)\", clipboard \"$(ctl clipboard)\""

ctl select edit 0 6 >/dev/null
press_with_vq_key key shift+1
echo "-- stashed the first word with VQ-Key+Shift+1; clipboard \"$(ctl clipboard)\""
ctl select edit 1000 1000 >/dev/null
ctl set-text edit "$(ctl text edit) / " >/dev/null
ctl select edit 1000 1000 >/dev/null
press_with_vq_key key 1
echo "-- after VQ-Key+1 at the end: text \"$(ctl text edit)\", clipboard \"$(ctl clipboard)\""

ctl set-text edit "" >/dev/null
ctl select edit 0 0 >/dev/null
press_with_vq_key key t
echo "-- after VQ-Key+T (typing action \"Hello from Zaptor on {date:yyyy-MM-dd}{|}!\"):"
echo "   text \"$(ctl text edit)\", caret at $(ctl caret edit)"

import -window root "$out/target.png" 2>/dev/null || true
wait "$host_pid" || true
host_pid=""
echo "-- what vqhost.exe printed:"
tr -d '\r' < host-output.txt | sed 's/^/   /'

echo
echo "== part 3: vqhost as a desktop program (tray menu, VQ-Key, dialogs)"
"$loader" vqhost.exe --activation 0x14 >/dev/null 2>&1 &
host_pid=$!
# The desktop host answers remote tray commands once it runs.
remote() { "$loader" vqhost.exe "$@" >/dev/null 2>&1; }
for _ in $(seq 1 60); do
    remote --remote-tray-item no_such_item && break
    sleep 0.5
done
ctl set-text edit "the desktop host keeps the bindings of part 2" >/dev/null
ctl select edit 0 -1 >/dev/null
press_with_vq_key key F9
ctl select edit 0 -1 >/dev/null
press_with_vq_key key u
echo "-- VQ-Key+U through the desktop host: \"$(ctl text edit)\""
# A click on a tray item sends what `--remote-tray-item` sends.
open_tray_dialog() {  # ITEM_KEY WINDOW_TITLE SCREENSHOT DESCRIPTION
    remote --remote-tray-item "$1"
    local dialog
    dialog="$(timeout 20 xdotool search --sync --name "^$2\$" 2>/dev/null | head -1 || true)"
    if [ -z "$dialog" ]; then
        echo "-- $4 did not open"
        return
    fi
    sleep 1
    import -window root "$out/$3" 2>/dev/null || true
    echo "-- $4 opened from the tray item: $out/$3"
    xdotool windowactivate --sync "$dialog" 2>/dev/null || true
    xdotool key --window "$dialog" Escape
    sleep 1
}
open_tray_dialog zaptor_tray_settings "Zaptor settings" settings.png "the key binding settings dialog"
open_tray_dialog zaptor_tray_action "Manage actions" manage_actions.png "the Manage actions dialog"
remote --remote-exit
for _ in $(seq 1 40); do kill -0 "$host_pid" 2>/dev/null || break; sleep 0.5; done
host_pid=""
echo "-- the desktop host shut the plug-in down and ended"
ctl quit >/dev/null || true
echo
echo "== screenshots: $out/target.png, $out/settings.png, $out/manage_actions.png"
