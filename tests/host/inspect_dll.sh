#!/usr/bin/env bash
# Checks a built plugin as Winamp's loader will see it: a PE for the
# target's machine (PE32 for i386 with the i686 tools, PE32+ with the x86_64
# ones), its exports undecorated, and only system libraries imported.
#   inspect_dll.sh OBJDUMP DLL [EXPORT...]
# winampGetInModule2 is always looked for; further exports may be named.
set -euo pipefail
objdump=$1
dll=$2
shift 2

headers=$("$objdump" -p "$dll")
fail() { echo "FAIL: $*"; exit 1; }

case $(basename "$objdump") in
    x86_64-*) format=pei-x86-64 magic=020b kind=PE32+ ;;
    *) format=pei-i386 magic=010b kind=PE32 ;;
esac
grep -q "file format $format" <<<"$headers" || fail "not a $format image"
grep -qE "^Magic[[:space:]]+$magic" <<<"$headers" || fail "optional header is not $kind"
for export in winampGetInModule2 "$@"; do
    grep -qE "^[[:space:]]*\[ *[0-9]+\] $export\$" <<<"$headers" || fail "$export is not exported undecorated"
done

allowed='^(KERNEL32|USER32|msvcrt|ADVAPI32|ntdll)\.dll$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
[ -n "$imports" ] || fail "no imports found"
while read -r name; do
    grep -qiE "$allowed" <<<"$name" || fail "imports $name, which is not a system library"
done <<<"$imports"
echo "ok: $(basename "$dll") imports $(tr '\n' ' ' <<<"$imports")"
