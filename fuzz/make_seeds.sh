#!/usr/bin/env bash
# The fuzz targets' seed corpora, one folder per target:
#   make_seeds.sh SEED-DIR RAR-FIXTURES-DIR MAKE-SEEDS-PROGRAM
set -euo pipefail
seeds=$1 rar=$2 program=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$seeds"
bash "$here/../tests/extract/make_fixtures.sh" "$seeds/extract"
if compgen -G "$rar/*.rar" >/dev/null; then
    cp "$rar"/*.rar "$seeds/extract/"
else
    echo "make_seeds.sh: no RAR archives in $rar (scripts/setup.sh fetches them)" >&2
fi
"$program" "$seeds"
