# Functions of the set-up script for riding out a mirror caught mid-sync:
# which suites' indexes `apt-get update` could not fetch, and a copy of the
# machine's sources without those suites. Sourced by setup.sh; the tests in
# tests/scripts/ source it too.

# Reads the output of `apt-get update` and prints each suite whose indexes
# failed, once, as "URI SUITE" (the URI without a trailing slash), from its
# "Err:" lines ("Err:7 http://deb.debian.org/debian-security
# bookworm-security/main i386 Packages") and its "Failed to fetch" lines
# (".../debian-security/dists/bookworm-security/main/binary-i386/Packages").
failed_suites() {
    awk '
        $1 ~ /^Err:/ && NF >= 3 { uri = $2; suite = $3; sub(/\/.*/, "", suite) }
        /Failed to fetch / {
            url = substr($0, index($0, "Failed to fetch ") + 16); sub(/ .*/, "", url)
            if (split(url, halves, "/dists/") != 2) next
            uri = halves[1]; suite = halves[2]; sub(/\/.*/, "", suite)
        }
        uri != "" {
            sub(/\/+$/, "", uri)
            if (!((uri, suite) in seen)) { seen[uri, suite] = 1; print uri, suite }
            uri = ""
        }'
}

# write_sources_without FAILED-FILE OUT-DIR
# Writes OUT-DIR/sources.list and OUT-DIR/sources.list.d/ from the machine's
# /etc/apt/sources.list and sources.list.d/ ("$APT_SOURCES_ROOT/etc/apt" when
# set, for tests), leaving out every suite FAILED-FILE names ("URI SUITE"
# lines) for all architectures. One-line entries of such a suite are dropped;
# in deb822 stanzas the suite leaves the Suites field, and a stanza left
# without suites is dropped.
write_sources_without() {
    local failed=$1 out=$2 etc="${APT_SOURCES_ROOT:-}/etc/apt" file
    mkdir -p "$out/sources.list.d"
    : >"$out/sources.list"
    [ -f "$etc/sources.list" ] && filter_one_line_sources "$failed" <"$etc/sources.list" >"$out/sources.list"
    for file in "$etc"/sources.list.d/*.list "$etc"/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        case $file in
            *.list) filter_one_line_sources "$failed" <"$file" ;;
            *) filter_deb822_sources "$failed" <"$file" ;;
        esac >"$out/sources.list.d/${file##*/}"
    done
}

# "deb [options] URI SUITE COMPONENT..." lines, those of a failed suite dropped.
filter_one_line_sources() {
    awk -v failed="$1" '
        BEGIN { while ((getline line < failed) > 0) { split(line, f, " "); gone[f[1], f[2]] = 1 } }
        $1 == "deb" || $1 == "deb-src" {
            i = 2
            if ($i ~ /^\[/) { while ($i !~ /\]$/ && i < NF) i++; i++ }
            uri = $i; sub(/\/+$/, "", uri)
            if ((uri, $(i + 1)) in gone) next
        }
        { print }'
}

# deb822 stanzas (blank-line separated), failed suites taken out of Suites.
filter_deb822_sources() {
    awk -v failed="$1" '
        BEGIN { while ((getline line < failed) > 0) { split(line, f, " "); gone[f[1], f[2]] = 1 } }
        function flush(   i, j, k, n, m, kept, drop, uris, suites, u) {
            if (count == 0) return
            for (i = 1; i <= count; i++) {
                if (lines[i] ~ /^URIs:/) n = split(substr(lines[i], 6), uris, " ")
            }
            for (i = 1; i <= count; i++) {
                if (lines[i] !~ /^Suites:/) continue
                m = split(substr(lines[i], 8), suites, " ")
                kept = ""
                for (k = 1; k <= m; k++) {
                    drop = 0
                    for (j = 1; j <= n; j++) { u = uris[j]; sub(/\/+$/, "", u); if ((u, suites[k]) in gone) drop = 1 }
                    if (!drop) kept = kept " " suites[k]
                }
                if (kept == "") { count = 0; return }
                lines[i] = "Suites:" kept
            }
            if (printed) print ""
            for (i = 1; i <= count; i++) print lines[i]
            printed = 1
            count = 0
        }
        /^[ \t]*$/ { flush(); next }
        { lines[++count] = $0 }
        END { flush() }'
}
