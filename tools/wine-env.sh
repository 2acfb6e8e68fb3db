# Sourced by the scripts that run Windows programs: the cached Wine prefix,
# a virtual display and one wineserver kept alive for the whole run.
# Honours WINEPREFIX and DISPLAY when they are already set; otherwise the
# prefix is the one tools/setup.sh made for the installed Wine version (an
# older version's prefix may be left in the cache).
. "$(dirname "${BASH_SOURCE[0]}")/platform.sh"
if [ -z "${WINEPREFIX:-}" ]; then
    WINEPREFIX="$ZAPTOR_CACHE/wineprefix-$(zaptor_wine_version)"
    [ -f "$WINEPREFIX/.zaptor-ready" ] ||
        echo "wine-env: $WINEPREFIX is not ready: run tools/setup.sh" >&2
fi
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

zaptor_start_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    local n
    for n in $(seq 90 140); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
            ZAPTOR_XVFB_PID=$!
            export DISPLAY=":$n"
            local i
            for i in $(seq 1 100); do
                xdpyinfo >/dev/null 2>&1 && return 0
                sleep 0.1
            done
            echo "wine-env: Xvfb on :$n did not start" >&2
            return 1
        fi
    done
    echo "wine-env: no free display" >&2
    return 1
}

# Starts the wineserver and Wine's services with their output on /dev/null:
# started by the first test instead, they would inherit CTest's pipes and
# hold them open after the test has ended.
zaptor_keep_wineserver() {
    wineserver -p >/dev/null 2>&1 </dev/null || true
    "$(zaptor_wine_loader)" cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
}

zaptor_stop() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "${ZAPTOR_XVFB_PID:-}" ]; then
        kill "$ZAPTOR_XVFB_PID" 2>/dev/null || true
    fi
}

# The machine type in the PE header picks the loader: /usr/lib/wine/wine64
# for x86-64 programs, /usr/lib/wine/wine for i386 ones (going through the
# `wine` script would start the 32-bit loader first even for a 64-bit program).
zaptor_wine_for() {
    local exe="$1" off machine
    off=$(od -An -tu4 -j60 -N4 "$exe" 2>/dev/null | tr -d ' ')
    machine=$(od -An -tx2 -j$((off + 4)) -N2 "$exe" 2>/dev/null | tr -d ' ')
    if [ "$machine" = "8664" ] && [ -x /usr/lib/wine/wine64 ]; then
        echo /usr/lib/wine/wine64
    else
        echo /usr/lib/wine/wine
    fi
}

# The start of a Linux-side test that presses keys on the X server:
# zaptor_x_test_begin BIN_DIR sets `bin`, `loader` (the Wine loader for
# vqhost.exe) and `work` (a fresh folder with plugins\), and makes sure the
# display and the wineserver run.
zaptor_x_test_begin() {
    bin="$(cd "$1" && pwd)" || return 1
    if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
        zaptor_start_display || return 1
    fi
    zaptor_keep_wineserver
    loader="$(zaptor_wine_for "$bin/vqhost.exe")"
    command -v xdotool >/dev/null || { echo "xdotool missing"; return 1; }
    work="$(mktemp -d)"
    mkdir "$work/plugins"
}

# The rest of the start of an X-side test with the target application, after
# zaptor_x_test_begin: zaptor_x_session TITLE copies the host, the plug-in and
# the target into `work`, goes there, starts the target titled TITLE and
# vqhost reading its script from descriptor 3, and cleans all of it up at
# exit. Sets `window` (the target's X window), `target_pid` and `host_pid`;
# `ctl` talks to the target.
zaptor_x_session() {
    title="$1"
    cp "$bin/vqhost.exe" "$bin/zaptor_target.exe" "$bin/zaptor_target_ctl.exe" "$work/"
    cp "$bin/plugins/zaptor.dll" "$bin/plugins/zaptor.lng" "$work/plugins/"
    mkfifo "$work/in"
    target_pid=
    host_pid=
    trap zaptor_x_cleanup EXIT
    cd "$work" || return 1
    "$loader" zaptor_target.exe "$title" >/dev/null 2>&1 &
    target_pid=$!
    window="$(timeout 60 xdotool search --sync --name "^$title\$" | head -1)"
    [ -n "$window" ] || { echo "no target window"; return 1; }
    "$loader" vqhost.exe --script - <"$work/in" >"$work/out.txt" 2>&1 &
    host_pid=$!
    exec 3>"$work/in"
}

zaptor_x_cleanup() {
    exec 3>&- 2>/dev/null
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
    [ -n "$target_pid" ] && kill "$target_pid" 2>/dev/null
    local pid
    for pid in ${zaptor_more_pids:-}; do kill "$pid" 2>/dev/null; done
    rm -rf "$work"
}

# After zaptor_x_session has written its set-up script to descriptor 3:
# zaptor_x_setup_end REGEX COUNT closes the script, waits for that host to
# end and is true when COUNT lines of its output match REGEX (the answers
# the set-up expects); prints the output otherwise.
zaptor_x_setup_end() {
    exec 3>&-
    local _
    for _ in $(seq 120); do
        kill -0 "$host_pid" 2>/dev/null || break
        sleep 0.25
    done
    grep -c -E "$1" "$work/out.txt" | grep -qx "$2" && return 0
    cat "$work/out.txt"
    echo "the set-up failed"
    return 1
}

# After zaptor_x_setup_end: zaptor_desktop_host_start [OPTION...] starts
# vqhost.exe in `work` (with those options) as the desktop host, which serves
# its keyboard hook all the time and types in the background, as users run
# it; its output goes to desktop.txt. Returns once the host says it started
# (its hook is in place then). Sets `host_pid`.
zaptor_desktop_host_start() {
    "$loader" vqhost.exe "$@" >"$work/desktop.txt" 2>&1 </dev/null &
    host_pid=$!
    local _
    for _ in $(seq 240); do
        grep -q "^vqhost: started" "$work/desktop.txt" 2>/dev/null && return 0
        kill -0 "$host_pid" 2>/dev/null || break
        sleep 0.25
    done
    cat "$work/desktop.txt"
    echo "the desktop host did not start"
    return 1
}

# Closes the desktop host as its menu's Exit does, and waits for its end.
zaptor_desktop_host_stop() {
    "$loader" vqhost.exe --remote-exit >/dev/null 2>&1
    local _
    for _ in $(seq 120); do
        kill -0 "$host_pid" 2>/dev/null || break
        sleep 0.25
    done
    kill "$host_pid" 2>/dev/null
    host_pid=
}

# await_text GETTER EXPECTED: true once `GETTER` (a command printing a text)
# prints EXPECTED and still does a moment later (no output trailing behind);
# prints the last text otherwise, after 20 s.
await_text() {
    local got="" _
    for _ in $(seq 100); do
        got="$($1)"
        if [ "$got" = "$2" ]; then
            sleep 0.7
            got="$($1)"
            [ "$got" = "$2" ] && return 0
        fi
        sleep 0.2
    done
    printf '%s' "$got"
    return 1
}

ctl() { "$loader" zaptor_target_ctl.exe "$title" "$@" 2>/dev/null | tr -d '\r'; }

# The target in front, so that X key events go to it.
zaptor_target_front() {
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    ctl activate >/dev/null
}

# zaptor_check WHAT GETTER EXPECTED: one row of a table; await_text decides,
# "ok: WHAT" or a FAILED line is printed and `failed` counts the failures.
zaptor_check() {
    local got
    if got="$(await_text "$2" "$3")"; then
        echo "ok: $1"
    else
        echo "FAILED: $1: got '$got', expected '$3'"
        failed=$((failed + 1))
    fi
}
