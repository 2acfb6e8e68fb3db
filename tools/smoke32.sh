#!/bin/bash
# Runs the shipped 32-bit vqhost.exe and zaptor.dll in a private installation
# through tests/integration/smoke32.vqs and checks what they print and write.
# Under qemu-user this takes minutes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/tools/wine-env.sh"
"$root/tools/check_dll.sh" "$root/build/i686/bin/plugins/zaptor.dll"
dir="$(mktemp -d /tmp/zaptor-smoke32.XXXXXX)"
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/plugins" "$dir/backup"
cp "$root/build/i686/bin/vqhost.exe" "$dir/"
cp "$root/build/i686/bin/plugins/zaptor.dll" "$root/build/i686/bin/plugins/zaptor.lng" "$dir/plugins/"
touch "$dir/trace_token.txt"
cd "$dir"
start=$(date +%s)
out="$(timeout 900 /usr/lib/wine/wine vqhost.exe --script "$root/tests/integration/smoke32.vqs" 2>&1 | tr -d '\r')"
echo "$out" | sed 's/^/  | /'
fail() { echo "smoke32: $*" >&2; exit 1; }
# The lines between the script's "## NAME" marker and the next one.
section() { awk -v name="## $1" '$0 == name { on = 1; next } /^## / { on = 0 } on' <<<"$out"; }
# expect SECTION COUNT LINE: LINE (exact) occurs COUNT times in SECTION.
expect() {
    local n
    n="$(section "$1" | grep -cxF -- "$3" || true)"
    [ "$n" = "$2" ] || fail "section $1: '$3' printed $n times, expected $2"
}
found='= zp_smoke_typing.ident text:"zp_smoke_typing"' # an answer of the search only
key='= key u32:0x10241'
typed='> vq_keyboard_write typing_data=text:"smoke typed"'
expect stored 1 "$found"
expect stored 1 '= result.zp_smoke_typing text:"zp_smoke_typing"'
expect executed 1 "$typed"
expect bound 1 "$key"
expect bound 2 '= listener true'
expect bound 1 '= listener false'
# The release ran the action from a worker task, without bit 16 in the code.
# The release runs the action in a worker task, which may print after later
# markers (shut-down waits for it): counted from "## bound" to the end.
after_bound="$(awk '$0 == "## bound" { on = 1 } on' <<<"$out")"
[ "$(grep -cxF '> zp_smoke_typing request=text:"execute" deactivate=u32:0x241' <<<"$after_bound")" = 1 ] ||
    fail "the released binding did not send zp_smoke_typing once with deactivate=u32:0x241"
[ "$(grep -cxF "$typed" <<<"$after_bound")" = 1 ] || fail "the released binding did not type once"
expect 'backed up' 1 '= result flag:0'
expect 'backed up' 1 '= result flag:1'
expect deleted 0 "$found"
expect deleted 0 "$key"
expect deleted 1 '= listener false'
expect restored 1 '= result flag:1'
expect restored 1 "$found"
expect restored 1 "$key"
! grep -q '^error:' <<<"$out" || fail "the script stopped at an error"
grep -q '^smoke done$' <<<"$out" || fail "the script did not run to its end"
[ -f backup/code_storage.db ] || fail "no code_storage.db in the backup folder"
[ -f backup/zaptor.db ] || fail "no zaptor.db in the backup folder"
log="$(cat plugins/zaptor.log)"
grep -qP '^\d{8,}\tINF\t\[initialize\]  zaptor initialize$' <<<"$log" || fail "no initialize line in zaptor.log"
grep -qP '^\d{8,}\tDBG\t\[ZP_Startup_filter::on_startup\]$' <<<"$log" || fail "no start-up marker in zaptor.log"
grep -q '^Dumping Perf-Log$' <<<"$log" || fail "no perf dump in zaptor.log"
echo "smoke32: passed in $(( $(date +%s) - start )) s"
