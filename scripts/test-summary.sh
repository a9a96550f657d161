#!/usr/bin/env bash
# Reads the JUnit files that ctest wrote for the phases of a test run and
# prints one line for the whole run: "N passed, N failed, N skipped".
#   test-summary.sh RESULTS.xml [RESULTS.xml ...]
# A phase whose file is missing (ctest did not get to write it) counts as a
# failure, so the line never reads better than the run went.
set -uo pipefail
passed=0 failed=0 skipped=0
attribute() {  # attribute NAME FILE: the value of NAME in the testsuite element
  sed -n "s/.*[[:space:]]$1=\"\([0-9]*\)\".*/\1/p" "$2" | head -n 1
}
for f in "$@"; do
  if [ ! -s "$f" ]; then
    failed=$((failed + 1))
    continue
  fi
  tests=$(attribute tests "$f"); fails=$(attribute failures "$f")
  skips=$(attribute skipped "$f"); disabled=$(attribute disabled "$f")
  tests=${tests:-0} fails=${fails:-0} skips=${skips:-0} disabled=${disabled:-0}
  passed=$((passed + tests - fails - skips - disabled))
  failed=$((failed + fails))
  skipped=$((skipped + skips + disabled))
done
echo "$passed passed, $failed failed, $skipped skipped"
