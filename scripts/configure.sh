#!/usr/bin/env bash
# Usage: scripts/configure.sh BUILD_DIR TIER [CMAKE_ARGS...]
#
# Configures BUILD_DIR for a tier of scripts/deps.sh and records the tier in
# its cache (PLOVAN_TIER), which scripts/check-deps.sh checks the build
# against:
#   run   the programs and libtarsel alone
#   test  also the tests, the benchmarks and TARSEL.OCX (mingw-w64, Wine)
#   ci    also the man pages (help2man) the package needs
# A build already made for a higher tier keeps it, so that make run after
# make test does not take the tests out of the build.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 BUILD_DIR run|test|ci [CMAKE_ARGS...]" >&2; exit 2; }
build=$1
tier=$2
shift 2

rank() { case $1 in run) echo 1 ;; test) echo 2 ;; ci) echo 3 ;; *) echo 0 ;; esac; }
[ "$(rank "$tier")" -gt 0 ] || { echo "$0: unknown tier $tier" >&2; exit 2; }
made=$(sed -n 's/^PLOVAN_TIER:STRING=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
if [ "$(rank "$made")" -gt "$(rank "$tier")" ]; then tier=$made; fi

case $tier in
  run) options=(-DBUILD_TESTING=OFF -DPLOVAN_WINDOWS_CONTROL=OFF -DPLOVAN_MAN_PAGES=OFF) ;;
  test) options=(-DBUILD_TESTING=ON -DPLOVAN_WINDOWS_CONTROL=ON -DPLOVAN_MAN_PAGES=OFF) ;;
  ci) options=(-DBUILD_TESTING=ON -DPLOVAN_WINDOWS_CONTROL=ON -DPLOVAN_MAN_PAGES=ON) ;;
esac
cmake -S "$(dirname "$0")/.." -B "$build" -DPLOVAN_TIER="$tier" "${options[@]}" "$@" > /dev/null
