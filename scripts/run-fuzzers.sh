#!/usr/bin/env bash
# Usage: scripts/run-fuzzers.sh BUILD_DIR SECONDS
# Runs every fuzz target of BUILD_DIR for SECONDS each, from the seed corpus
# in tests/fuzz/corpus/<target> (read only) and a working corpus in
# BUILD_DIR/corpus/<target>. A crash, a hang (no input done within 10 s), a
# leak or a sanitizer report fails the run; the input that did it is kept in
# BUILD_DIR/findings.
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=$2
here=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$build/findings"
failed=0
for target in fuzz_text fuzz_files fuzz_settings fuzz_receive fuzz_engine fuzz_scpi; do
  work=$build/corpus/$target
  mkdir -p "$work"
  log=$build/findings/$target.log
  if (cd "$build/findings" && QT_QPA_PLATFORM=offscreen \
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      LSAN_OPTIONS=suppressions=$here/tests/sanitizer/lsan.supp:print_suppressions=0 \
      "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$work" "$here/tests/fuzz/corpus/$target") > "$log" 2>&1; then
    echo "$target: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs, no finding"
  else
    echo "$target: FAILED (see $log)"
    tail -n 30 "$log"
    failed=1
  fi
done
exit $failed
