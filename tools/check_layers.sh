#!/bin/bash
# Checks the include graph between src/ folders (and host/) against the
# layers in docs/ARCHITECTURE.md: a folder includes only the folders listed
# for it. The table below is the one the document shows.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
declare -A allowed=(
    [contract]=""
    [trace]="contract"
    [storage]="contract trace"
    [output]="contract trace"
    [text]="contract trace storage"
    [util]="contract trace output"
    [actions]="contract trace storage text"
    [builtin_actions]="contract trace actions output text util"
    [interpreters]="contract trace output storage text util"
    [ui]="contract trace actions text util"
    [plugin]="contract trace storage output text util actions builtin_actions interpreters ui"
    [host]="contract trace util"
)
bad=0
for dir in "$root"/src/*/ "$root"/host/; do
    name="$(basename "$dir")"
    if [ -z "${allowed[$name]+set}" ]; then
        echo "check_layers: $name has no place in the layers" >&2
        bad=1
        continue
    fi
    while IFS= read -r used; do
        [ "$used" = "$name" ] && continue
        [ "$used" = host ] && [ "$name" = host ] && continue
        if ! grep -qw -- "$used" <<<"${allowed[$name]}"; then
            echo "check_layers: $name includes $used:" >&2
            grep -rn "#include \"$used/" "$dir" --include='*.cpp' --include='*.h' >&2 || true
            bad=1
        fi
    done < <(grep -rhoE '#include "[a-z_]+/' "$dir" --include='*.cpp' --include='*.h' |
             sed -E 's/#include "//; s|/$||' | sort -u)
done
[ $bad = 0 ] && echo "check_layers: the include graph keeps to the layers"
exit $bad
