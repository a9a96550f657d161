#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing), then
# configures and builds into the given folder:
#   setup.sh BUILD_DIR [--target TARGET] [cmake options]
# With --target only that target (and what it needs) is built.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$1"
shift
target=()
if [ "${1:-}" = "--target" ]; then
  target=(--target "$2")
  shift 2
fi

packages=(g++ cmake ninja-build libgsl-dev libopenblas-openmp-dev libgtest-dev libbenchmark-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get install -y "${missing[@]}" || { $sudo apt-get update && $sudo apt-get install -y "${missing[@]}"; }
fi

cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
cmake --build "$build" "${target[@]}"
