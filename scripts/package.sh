#!/usr/bin/env bash
# Builds a release of the plugin into build/dist/:
#
#   in_voskel-VERSION.zip         the files, to be put in place by hand
#   in_voskel-VERSION-setup.exe   the installer (NSIS), which puts them in place
#
# Both hold the product (the win32 build's in_voskel.dll, without its debug
# information), unzip32.dll and unrar.dll as the set-up script builds them,
# their licences, the plugin's own (LICENSE) and packaging/readme.txt. The
# version is the project's own (CMakeLists.txt). Run after scripts/setup.sh.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

fail() { echo "package.sh: $*" >&2; exit 1; }

version=$(sed -n 's/^project(in_voskel VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt"
libs="$root/build/windows-libs"
dist="$root/build/dist"
stage="$root/build/package/files"
triplet=i686-w64-mingw32

source_folder() {
    local found
    found=$(find "$root/build/sources" -maxdepth 1 -type d -name "$1-[0-9]*" | sort -V | tail -n 1)
    [ -n "$found" ] || fail "no sources of $1 in build/sources: run scripts/setup.sh"
    echo "$found"
}
unzip_src=$(source_folder unzip)
unrar_src=$(source_folder unrar-nonfree)

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target in_voskel >/dev/null
plugin="$root/build/win32/bin/plugins/in_voskel.dll"

# What Winamp's plugin list shows, and what a release is named by, must agree.
grep -qa "Voskel Plugin v$version " "$plugin" || fail "in_voskel.dll does not describe itself as v$version"
for library in unzip32.dll unrar.dll; do
    [ -f "$libs/$library" ] || fail "$libs/$library is missing: run scripts/setup.sh"
    "$triplet-windres" -i "$libs/$library" -O rc | grep -q 'Built by the in_voskel project' ||
        fail "$library is not marked as this project's build: run scripts/setup.sh"
done

# Text files in Windows' line ends, for Notepad.
windows_text() { sed 's/\r*$/\r/'; }

rm -rf "$stage"
mkdir -p "$stage" "$dist"
"$triplet-strip" --strip-debug -o "$stage/in_voskel.dll" "$plugin"
cp "$libs/unzip32.dll" "$libs/unrar.dll" "$stage/"
sed "s/@VERSION@/$version/g" packaging/readme.txt | windows_text >"$stage/readme.txt"
windows_text <LICENSE >"$stage/LICENSE.txt"
windows_text <"$unzip_src/LICENSE" >"$stage/unzip32-LICENSE.txt"
# UnRAR's licence, and the notice its acknowledgments ask binaries to carry.
{ cat "$unrar_src/license.txt"; printf '\n\n'; cat "$unrar_src/acknow.txt"; } | windows_text >"$stage/unrar-license.txt"

files="in_voskel.dll unzip32.dll unrar.dll readme.txt LICENSE.txt unzip32-LICENSE.txt unrar-license.txt"
zip_file="$dist/in_voskel-$version.zip"
setup_file="$dist/in_voskel-$version-setup.exe"
rm -f "$zip_file" "$setup_file"
# shellcheck disable=SC2086
(cd "$stage" && zip -q -X -9 "$zip_file" $files)
makensis -V2 -WX -DVERSION="$version" -DSTAGE="$stage" -DOUT_FILE="$setup_file" packaging/in_voskel.nsi

echo "$zip_file"
echo "$setup_file"
