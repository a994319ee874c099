#!/usr/bin/env bash
# Builds the fuzz preset (clang with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each fuzz target for SECONDS (default 60): first its kept inputs, then the fuzzer.
# Prints the executions per target; fails when a target finds a failing input.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]       (targets: tests/fuzz/fuzz_*.cpp)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
status=0
for target in "${targets[@]}"; do
  tests/fuzz/run.sh "build/fuzz/tests/fuzz/$target" "tests/fuzz/corpus/$target" \
    "build/fuzz/work/$target" "$seconds" || status=1
done
exit $status
