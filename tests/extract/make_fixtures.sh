#!/usr/bin/env bash
# ZIP archives made by the real tools (zip, and 7-Zip's 7zz) for the
# extraction tests. Every song is 200 lines "<name> line <n>", which the
# tests rebuild to compare.
set -euo pipefail

out=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/songs/deep"
cd "$work"

song() { for i in $(seq 1 200); do printf '%s line %d\n' "$1" "$i"; done; }
song zeta > zeta.mod
song alpha > alpha.mod
song mid > mid.mod
song tune > songs/deep/tune.mod

rm -f "$out"/*.mdz
# The first member as listed is zeta.mod, which is not the first by name.
zip -q -X "$out/several.mdz" zeta.mod alpha.mod mid.mod
zip -q -X -D "$out/in_folder.mdz" songs/deep/tune.mod alpha.mod
# Without -D the folder entry "songs/" comes first.
zip -q -X "$out/folder_first.mdz" songs songs/deep/tune.mod
zip -q -X "$out/empty.mdz" alpha.mod
zip -q -d "$out/empty.mdz" alpha.mod
zip -q -X -P secret "$out/encrypted.mdz" alpha.mod mid.mod
# 7-Zip orders members by name: alpha.mod, then mid.mod; deflated at its best.
7zz a -bd -tzip -mx=9 "$out/seven.mdz" mid.mod alpha.mod > /dev/null
7zz a -bd -tzip "$out/seven_folder.mdz" zeta.mod songs/deep/tune.mod > /dev/null
