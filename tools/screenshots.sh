#!/bin/bash
# Regenerates docs/screenshots/*.png: each dialog in English and German with
# sample data, shown by tools/screenshots/ on a virtual display and captured
# with ImageMagick. Usage: tools/screenshots.sh [build folder]
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-screenshots}"
. "$root/tools/platform.sh"
arch="$(zaptor_quick_arch)"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw.cmake" \
          -DZAPTOR_ARCH=$arch -DZAPTOR_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target zaptor_screenshots >/dev/null
build="$(cd "$build" && pwd)" # the program runs from its own folder
. "$root/tools/wine-env.sh"
zaptor_start_display
zaptor_keep_wineserver
out="$root/docs/screenshots"
mkdir -p "$out"
exe="$build/bin/zaptor_screenshots.exe"
loader="$(zaptor_wine_for "$exe")"

capture() { # dialog language title file
    local log pid id
    log="$(mktemp)"
    (cd "$build/bin" && "$loader" "$exe" "$1" "$2" 6 >"$log" 2>&1) &
    pid=$!
    for _ in $(seq 1 100); do
        grep -q shown "$log" && break
        sleep 0.2
    done
    id="$(xdotool search --name "^$3\$" | tail -1)"
    if [ -z "$id" ]; then
        echo "screenshots: no window \"$3\"" >&2
        wait "$pid" 2>/dev/null || true
        return 1
    fi
    sleep 1 # let the dialog paint
    import -window "$id" "$out/$4"
    wait "$pid" 2>/dev/null || true # the program closes its dialog itself
    rm -f "$log"
    echo "$out/$4"
}

capture manage en "Manage actions" manage_actions_en.png
capture manage de "Aktionen verwalten" manage_actions_de.png
capture keys en "Select key combination" select_key_combination_en.png
capture keys de "Tastenkombination auswählen" select_key_combination_de.png
capture settings en "Zaptor settings" key_binding_settings_en.png
capture settings de "Zaptor-Einstellungen" key_binding_settings_de.png
capture add en "Add key shortcut" add_key_shortcut_en.png
capture add de "Tastenkürzel hinzufügen" add_key_shortcut_de.png
zaptor_stop
