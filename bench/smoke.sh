#!/usr/bin/env bash
# Runs each benchmark program given once, as briefly as it goes, and fails
# when a program fails or a benchmark reports an error.  No time is asserted.
set -uo pipefail
export TERMINA_BENCH_KEEPALIVE_S=${TERMINA_BENCH_KEEPALIVE_S:-1}
export TERMINA_BENCH_SILENCE_S=${TERMINA_BENCH_SILENCE_S:-1}
export TERMINA_BENCH_FIND_SPEEDS=${TERMINA_BENCH_FIND_SPEEDS:-19200,9600,115200}
export TERMINA_BENCH_TWO_SESSIONS_N=${TERMINA_BENCH_TWO_SESSIONS_N:-3}
export TERMINA_BENCH_AGENT_SALES=${TERMINA_BENCH_AGENT_SALES:-2}
export TERMINA_BENCH_AGENT_JOBS=${TERMINA_BENCH_AGENT_JOBS:-3}
status=0
for prog in "$@"; do
  out=$(mktemp)
  if ! "$prog" --benchmark_min_time=0.01 --benchmark_format=json >"$out"; then
    echo "FAILED: $prog exited with an error" >&2
    status=1
  fi
  runs=$(grep -c '"run_name"' "$out" || true)
  if grep -q '"error_occurred": true' "$out"; then
    echo "FAILED: $prog:" >&2
    grep -B3 '"error_message"' "$out" | grep -E '"name"|"error_message"' >&2
    status=1
  elif [ "$runs" -eq 0 ]; then
    echo "FAILED: $prog ran no benchmark" >&2
    status=1
  else
    echo "ok: $(basename "$prog") ($runs benchmarks)"
  fi
  rm -f "$out"
done
exit $status
