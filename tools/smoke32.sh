#!/bin/bash
# Runs the shipped 32-bit vqhost.exe and zaptor.dll in a private installation
# and checks what they print and write. Under qemu-user this takes minutes.
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
[ "$(grep -c '^= result flag:0$' <<<"$out")" = 1 ] || fail "create_backup with result=flag:0 did not answer flag:0"
[ "$(grep -c '^= result flag:1$' <<<"$out")" = 1 ] || fail "create_backup without a result did not answer flag:1"
grep -q '^smoke done$' <<<"$out" || fail "the script did not run to its end"
[ -f backup/code_storage.db ] || fail "no code_storage.db in the backup folder"
log="$(cat plugins/zaptor.log)"
grep -qP '^\d{8,}\tINF\t\[initialize\]  zaptor initialize$' <<<"$log" || fail "no initialize line in zaptor.log"
grep -qP '^\d{8,}\tDBG\t\[ZP_Startup_filter::on_startup\]$' <<<"$log" || fail "no start-up marker in zaptor.log"
grep -q '^Dumping Perf-Log$' <<<"$log" || fail "no perf dump in zaptor.log"
echo "smoke32: passed in $(( $(date +%s) - start )) s"
