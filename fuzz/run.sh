#!/usr/bin/env bash
# Builds the fuzz targets (the "fuzz" preset) and runs each one for a while
# with its seed corpus.
#
#   fuzz/run.sh [seconds] [target ...]     e.g. fuzz/run.sh 30, fuzz/run.sh 600 regex
#
# seconds defaults to 30 per target; the targets default to all of them
# (text, codepage, charset, headers, cookies, regex, ...). Each run starts
# from a copy of fuzz/corpus/<target> in a temporary folder, so the
# repository's corpus does not grow. A fault leaves its input in
# build/fuzz/artifacts/ and makes the script fail; replay it with
#   build/fuzz/fuzz/fuzz_<target> build/fuzz/artifacts/<file>
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_all

bin=build/fuzz/fuzz
artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for exe in "$bin"/fuzz_*; do
    [ -x "$exe" ] && [ -f "$exe" ] && targets+=("${exe##*/fuzz_}")
  done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
printf '%-10s %12s %10s  %s\n' target executions exec/s result
for t in "${targets[@]}"; do
  exe="$bin/fuzz_$t"
  corpus="$work/$t"
  mkdir -p "$corpus"
  if [ -d "fuzz/corpus/$t" ]; then cp fuzz/corpus/"$t"/* "$corpus"/; fi
  log="$work/$t.log"
  result=ok
  # -timeout: one input may take at most 10 s (a regex that ran past the
  # engine's limits would show up here as a "timeout" fault).
  if ! "$exe" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=8192 -print_final_stats=1 -artifact_prefix="$artifacts/$t-" >"$log" 2>&1; then
    result="FAULT (see $artifacts/$t-*)"
    failed+=("$t")
    tail -n 40 "$log" >&2
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  printf '%-10s %12s %10s  %s\n' "$t" "${runs:-?}" "${rate:-?}" "$result"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz faults in: ${failed[*]}" >&2
  exit 1
fi
