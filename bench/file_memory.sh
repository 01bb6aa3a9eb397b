#!/bin/sh
# Usage: file_memory.sh PLOVANCTL
# Peak memory (resident set) of plovanctl reading files far larger than any
# table: a 1 GB sparse file for "check" and "cal show", and the largest file a
# table may be (4 MB) of records. Goal: under 20 MB each.
set -eu
ctl=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
truncate -s 1G "$dir/sparse.plv"
truncate -s 1G "$dir/sparse.cal"
# 4 MB of 28-digit raw records under a header announcing 65,535 of them.
awk 'BEGIN { print "0FFFF\r"; for (i = 0; i < 139000; i++) print "0123456789ABCDEF0123456789AB\r" }' > "$dir/full.ird"
peak() {
  /usr/bin/time -f %M "$@" > /dev/null 2> "$dir/time.txt" || true
  tail -n 1 "$dir/time.txt"
}
printf 'check, 1 GB sparse:          %s kB\n' "$(peak "$ctl" check "$dir/sparse.plv")"
printf 'cal show, 1 GB sparse:       %s kB\n' "$(peak "$ctl" cal show "$dir/sparse.cal")"
printf 'check, 4 MB of raw records:  %s kB\n' "$(peak "$ctl" check "$dir/full.ird")"
