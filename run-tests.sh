#!/usr/bin/env bash
# Sets everything up and runs the whole test suite: once on the optimised
# build, once under AddressSanitizer and UndefinedBehaviorSanitizer. The last
# line says how the whole run went; the exit status is 0 only when every test
# of both phases passed.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
jobs="$(nproc 2>/dev/null || echo 2)"
status=0

# Runs one phase's tests, then names each skipped test with its reason.
phase() {
  local build="$1"
  shift
  rm -f "$build/results.xml"
  env "$@" ctest --test-dir "$build" -j"$jobs" --output-on-failure --output-junit "$build/results.xml" || status=1
  [ -f "$build/results.xml" ] || return 0
  awk '/<testcase /     { name = $0; sub(/.*<testcase name="/, "", name); sub(/".*/, "", name); skip = 0 }
       /status="notrun"/ { skip = 1 }
       skip && /: Skipped$/ { getline reason; print "Skipped: " name ": " reason; skip = 0 }' "$build/results.xml"
}

"$root/scripts/setup.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release
phase "$root/build"

"$root/scripts/setup.sh" "$root/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DTEVLAN_SANITIZE=ON -DTEVLAN_BENCH=OFF
phase "$root/build-sanitize" ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo
"$root/scripts/test-summary.sh" "$root/build/results.xml" "$root/build-sanitize/results.xml"
exit "$status"
