#!/bin/bash
# Checks the shipped DLL's shape: PE32 i386, exports exactly initialize and
# finalize, imports only DLLs that come with Windows.
set -euo pipefail
dll="${1:-$(cd "$(dirname "$0")/.." && pwd)/build/i686/bin/plugins/zaptor.dll}"
dump="$(i686-w64-mingw32-objdump -p "$dll")"
fail() { echo "check_dll: $*" >&2; exit 1; }
grep -q 'file format pei-i386' <<<"$dump" || fail "$dll is not a PE32 i386 file"
exports="$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | awk 'NF==3 && $1=="[" {print $3} NF==2 && $1 ~ /^\[/ {print $2}' | sort | tr '\n' ' ')"
[ "$exports" = "finalize initialize " ] || fail "exports are '$exports', expected exactly finalize and initialize"
system_dlls=" kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll comctl32.dll comdlg32.dll msvcrt.dll ws2_32.dll shlwapi.dll imm32.dll uxtheme.dll version.dll psapi.dll "
while read -r name; do
    lower="$(tr 'A-Z' 'a-z' <<<"$name")"
    case "$system_dlls" in
        *" $lower "*) ;;
        *) case "$lower" in api-ms-win-*) ;; *) fail "imports $name, which is not a system DLL";; esac ;;
    esac
done < <(awk '/DLL Name:/ {print $3}' <<<"$dump")
echo "check_dll: $dll: PE32 i386, exports: $exports; imports: $(awk '/DLL Name:/ {printf "%s ", $3}' <<<"$dump")"
