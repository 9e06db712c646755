#!/usr/bin/env bash
# Builds the bench preset and runs the micro-benchmarks; arguments go to
# xhs_bench (Google Benchmark flags; none: medians of five repetitions).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench --target xhs_bench
exec build/bench/bench/xhs_bench "$@"
