#!/usr/bin/env bash
# Runs one libFuzzer target: every input kept in its corpus folder (seeds, and inputs that once
# failed) once, then the fuzzer for SECONDS starting from that corpus. Prints the executions.
# New inputs go to WORK_DIR/corpus, a failing one to WORK_DIR/findings/.
# Usage: tests/fuzz/run.sh BINARY CORPUS_DIR WORK_DIR SECONDS
set -euo pipefail
bin=$1 corpus=$2 work=$3 seconds=$4
name=$(basename "$bin")
mkdir -p "$work/corpus" "$work/findings"

kept=("$corpus"/*)
if ! "$bin" "${kept[@]}" >"$work/replay.log" 2>&1; then
  tail -n 40 "$work/replay.log"
  echo "$name: a kept input fails (see $work/replay.log)"
  exit 1
fi

if ! "$bin" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/findings/" "$work/corpus" "$corpus" >"$work/fuzz.log" 2>&1; then
  tail -n 60 "$work/fuzz.log"
  echo "$name: failing input kept in $work/findings/; once mended, add it to $corpus as regress-NAME"
  exit 1
fi
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/fuzz.log")
echo "$name: ${#kept[@]} kept inputs replayed, $execs executions in $seconds s"
