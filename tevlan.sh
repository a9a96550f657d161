#!/usr/bin/env bash
# Sets everything up, builds, and starts TEVLAN in the given folder (by
# default the folder of example data): ./tevlan.sh [folder]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$root/scripts/setup.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release
cd "${1:-$root/examples}"
exec "$root/build/tevlan"
