#!/usr/bin/env bash
# The thread team on a quiet machine and on a busy one: the group-comparison,
# principal-coordinates, Mantel and bootstrap benchmarks on 1 and 8 threads
# (set as the processors preference sets them), first as the machine is, then
# with every processor kept busy by another process (stress-ng when it is
# installed, else one shell busy loop per processor), started and stopped
# here. Each phase prints the load average before and after it, and a table
# of both times (medians of 3 runs, the runs of all benchmarks interleaved at
# random so that a change of load falls on both) and their ratio (8 threads
# / 1 thread). The goal is a ratio of at most 1.25 in both phases.
#
#   bench/team_under_load.sh [build folder, default build] [extra benchmark options]
#
# The build needs the benchmarks (-DTEVLAN_BENCH=ON). A quiet machine is
# the first phase's premise: look at its load average.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
shift || true
exe="$build/bench/tevlan_bench"
[ -x "$exe" ] || { echo "no $exe: build with -DTEVLAN_BENCH=ON" >&2; exit 2; }
filter='^(BM_KeyPOneFactor|BM_KeyPDune|PrincipalCoordinates/2000|BM_MantelTest|SamplerMeansOneSize|SamplerGroupsAverageLinkage|SamplerOrdinationPrincipalCoordinates)/'
procs="$(nproc)"
out="$(mktemp)"
load=()

stop_load() {
    if [ "${#load[@]}" -gt 0 ]; then
        kill "${load[@]}" 2>/dev/null || true
        wait "${load[@]}" 2>/dev/null || true
        load=()
    fi
}
trap 'stop_load; rm -f "$out"' EXIT

start_load() {
    if command -v stress-ng >/dev/null; then
        stress-ng --cpu "$procs" --timeout 2h >/dev/null 2>&1 &
        load+=($!)
    else
        for _ in $(seq "$procs"); do
            bash -c 'while :; do :; done' &
            load+=($!)
        done
    fi
    sleep 2  # the busy processes are all running
}

# Runs the benchmarks and prints name, time on 1 thread, on 8, and the ratio.
phase() {
    echo "== $1"
    shift
    echo "   before: $(uptime)"
    "$exe" --benchmark_filter="$filter" --benchmark_color=false --benchmark_repetitions=3 \
        --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true "$@" \
        2>/dev/null >"$out" || true
    echo "   after:  $(uptime)"
    awk '
        $1 ~ /_median$/ && $2 ~ /^[0-9.]+$/ {
            name = $1
            sub(/_median$/, "", name); sub(/\/real_time$/, "", name); sub(/\/iterations:[0-9]+/, "", name)
            threads = name; sub(/.*\//, "", threads); sub(/\/[0-9]+$/, "", name)
            ms = $2; if ($3 == "us") ms /= 1000; if ($3 == "ns") ms /= 1e6; if ($3 == "s") ms *= 1000
            if (!(name in seen)) { seen[name] = 1; order[++count] = name }
            t[name, threads] = ms
        }
        END {
            printf "   %-40s %12s %12s %8s\n", "benchmark", "1 thread ms", "8 threads ms", "8 / 1"
            for (k = 1; k <= count; k++) {
                n = order[k]
                if ((n, 1) in t && (n, 8) in t)
                    printf "   %-40s %12.1f %12.1f %8.2f\n", n, t[n, 1], t[n, 8], t[n, 8] / t[n, 1]
            }
        }' "$out"
}

phase "as the machine is (${procs} processors)" "$@"
start_load
phase "every processor kept busy by another process" "$@"
stop_load
