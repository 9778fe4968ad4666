#!/usr/bin/env bash
# The set-up's way through a mirror caught mid-sync, on apt's own output and
# sources of both formats: which suites failed, and the sources without them.
set -u
. "$(dirname "$0")/../../scripts/apt-sources.sh"
status=0
check() {  # NAME EXPECTED ACTUAL
    [ "$2" = "$3" ] && return
    printf 'FAILED: %s\n--- expected\n%s\n--- got\n%s\n' "$1" "$2" "$3"
    status=1
}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

cat >"$root/update.log" <<'EOF'
Hit:1 http://deb.debian.org/debian bookworm InRelease
Err:5 http://deb.debian.org/debian bookworm-gone Release
  404  Not Found [IP: 146.75.2.132 80]
Err:12 http://deb.debian.org/debian-security bookworm-security/main i386 Packages
  File has unexpected size (123 != 456). Mirror sync in progress? [IP: 146.75.2.132 80]
E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (123 != 456). Mirror sync in progress? [IP: 146.75.2.132 80]
E: Failed to fetch http://mirror.example/debian/dists/bookworm-updates/main/binary-amd64/Packages.xz  Hash Sum mismatch
E: The repository 'http://deb.debian.org/debian bookworm-gone Release' does not have a Release file.
EOF
failed_suites <"$root/update.log" >"$root/failed"
check "failed suites" "http://deb.debian.org/debian bookworm-gone
http://deb.debian.org/debian-security bookworm-security
http://mirror.example/debian bookworm-updates" "$(cat "$root/failed")"

mkdir -p "$root/etc/apt/sources.list.d"
cat >"$root/etc/apt/sources.list" <<'EOF'
deb http://deb.debian.org/debian bookworm main contrib non-free
deb [arch=amd64,i386 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian/ bookworm-gone main
deb-src http://deb.debian.org/debian bookworm-gone main
deb http://mirror.example/debian bookworm-security main
EOF
cat >"$root/etc/apt/sources.list.d/debian.sources" <<'EOF'
Types: deb deb-src
URIs: http://deb.debian.org/debian/
Suites: bookworm bookworm-gone bookworm-updates
Components: main contrib non-free

Types: deb deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main contrib non-free
EOF
APT_SOURCES_ROOT=$root write_sources_without "$root/failed" "$root/out"
check "one-line sources" "deb http://deb.debian.org/debian bookworm main contrib non-free
deb http://mirror.example/debian bookworm-security main" "$(cat "$root/out/sources.list")"
check "deb822 sources" "Types: deb deb-src
URIs: http://deb.debian.org/debian/
Suites: bookworm bookworm-updates
Components: main contrib non-free" "$(cat "$root/out/sources.list.d/debian.sources")"
exit $status
