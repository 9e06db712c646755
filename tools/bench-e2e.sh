#!/usr/bin/env bash
# Builds the bench preset and runs the end-to-end benchmark against a local
# fake service; arguments go to xhs_bench_e2e (--runs N, --delay MS, --all).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench --target xhs-saver xhs_bench_e2e
exec build/bench/bench/e2e/xhs_bench_e2e "$@"
