#!/usr/bin/env bash
# Checks the built plugin as Winamp's loader will see it: a 32-bit PE for
# i386, the export undecorated, and only system libraries imported.
set -euo pipefail
objdump=$1
dll=$2

headers=$("$objdump" -p "$dll")
fail() { echo "FAIL: $*"; exit 1; }

grep -q 'file format pei-i386' <<<"$headers" || fail "not a PE32 i386 image"
grep -qE '^Magic[[:space:]]+010b' <<<"$headers" || fail "optional header is not PE32"
grep -qE '^[[:space:]]*\[ *[0-9]+\] winampGetInModule2$' <<<"$headers" ||
    fail "winampGetInModule2 is not exported undecorated"

allowed='^(KERNEL32|USER32|msvcrt|ADVAPI32|ntdll)\.dll$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
[ -n "$imports" ] || fail "no imports found"
while read -r name; do
    grep -qiE "$allowed" <<<"$name" || fail "imports $name, which is not a system library"
done <<<"$imports"
echo "ok: $(basename "$dll") imports $(tr '\n' ' ' <<<"$imports")"
