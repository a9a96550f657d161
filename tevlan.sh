#!/usr/bin/env bash
# Sets everything up, builds the program (not the tests) and starts it in the
# given folder: ./tevlan.sh [folder]. Without a folder it starts in run/, a
# working copy of the example data made on first use, so that the reports and
# session files of a trial stay out of the checkout.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$root/scripts/setup.sh" "$root/build" --target tevlan -DCMAKE_BUILD_TYPE=Release
folder="${1:-}"
if [ -z "$folder" ]; then
  folder="$root/run"
  mkdir -p "$folder"
  # Example files the working copy lacks are copied; the user's own are kept.
  for f in "$root"/examples/*.txt; do
    [ -e "$folder/$(basename "$f")" ] || cp "$f" "$folder/"
  done
fi
cd "$folder"
exec "$root/build/tevlan"
