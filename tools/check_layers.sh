#!/bin/bash
# Checks the code against the layer table in docs/ARCHITECTURE.md, which is
# read here, so the page and the check cannot drift apart:
#   - a folder includes only the folders its row allows,
#   - every folder its row allows is included by some file (the tightest
#     table that holds),
#   - every source file of the folder is named in its row's files, and every
#     name there is a file,
#   - the allowed edges have no cycle.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
page="$root/docs/ARCHITECTURE.md"
declare -A allowed files
# Rows look like: | `output/` | what it holds | `name` `name` ... | contract, trace |
while IFS='|' read -r _ folder _ names includes _; do
    name="$(sed -E 's/.*`([a-z_]+)\/`.*/\1/' <<<"$folder")"
    allowed[$name]="$(sed -E 's/nothing of ours//; s/,/ /g' <<<"$includes" | xargs)"
    files[$name]="$(grep -oE '`[A-Za-z0-9_.]+`' <<<"$names" | tr -d '`' | sort | xargs)"
done < <(grep -E '^\| `[a-z_]+/`' "$page")

bad=0
complain() {
    echo "check_layers: $*" >&2
    bad=1
}
for dir in "$root"/src/*/ "$root"/host/; do
    name="$(basename "$dir")"
    if [ -z "${allowed[$name]+set}" ]; then
        complain "$name has no row in docs/ARCHITECTURE.md"
        continue
    fi
    used="$(grep -rhoE '#include "[a-z_]+/' "$dir" --include='*.cpp' --include='*.h' |
            sed -E 's/#include "//; s|/$||' | grep -vx "$name" | sort -u | xargs || true)"
    for folder in $used; do
        if ! grep -qw -- "$folder" <<<"${allowed[$name]}"; then
            complain "$name includes $folder:"
            grep -rn "#include \"$folder/" "$dir" --include='*.cpp' --include='*.h' >&2 || true
        fi
    done
    for folder in ${allowed[$name]}; do
        grep -qw -- "$folder" <<<"$used" || complain "$name may include $folder, but no file does"
    done
    present="$(find "$dir" -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.rc' \) \
               -printf '%f\n' | sed -E 's/\.[a-z]+$//' | sort -u | xargs)"
    for stem in $present; do
        grep -qw -- "$stem" <<<"${files[$name]}" || complain "$name/$stem is not in its row"
    done
    for stem in ${files[$name]}; do
        grep -qw -- "$stem" <<<"$present" || complain "$name's row names $stem, which is no file"
    done
done
# The allowed edges must leave the folders in layers: no cycle.
for name in "${!allowed[@]}"; do
    for folder in ${allowed[$name]}; do echo "$folder $name"; done
done | tsort >/dev/null 2>"${TMPDIR:-/tmp}/check_layers.$$" ||
    complain "the table has a cycle: $(grep -v '^tsort: -: input contains a loop' "${TMPDIR:-/tmp}/check_layers.$$" | xargs)"
rm -f "${TMPDIR:-/tmp}/check_layers.$$"
[ $bad = 0 ] && echo "check_layers: the include graph and the files keep to docs/ARCHITECTURE.md"
exit $bad
