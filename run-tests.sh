#!/usr/bin/env bash
# Sets everything up and runs the whole test suite: once on the optimised
# build, once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
jobs="$(nproc 2>/dev/null || echo 2)"

"$root/scripts/setup.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release
ctest --test-dir "$root/build" -j"$jobs" --output-on-failure

"$root/scripts/setup.sh" "$root/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DTEVLAN_SANITIZE=ON -DTEVLAN_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build-sanitize" -j"$jobs" --output-on-failure
