#!/usr/bin/env bash
# Builds the benchmarks optimised (no sanitizers) and runs them.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
tools/install-deps.sh
tools/build.sh bench bench_decision
exec build/bench/bench/bench_decision "$@"
