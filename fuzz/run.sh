#!/usr/bin/env bash
# Runs each fuzz target of the native build for a while (default 60 s each), one after the other,
# and prints how many inputs each ran. Any finding (crash, leak, sanitizer report, timeout) stops
# the run with a failure and leaves the input in BUILD_DIR/native/fuzz/artifacts.
#   fuzz/run.sh BUILD_DIR [seconds]
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:?usage: fuzz/run.sh BUILD_DIR [seconds]}"
SECONDS_EACH="${2:-60}"
DIR="$BUILD/native/fuzz"
TARGETS=(json_parse_fuzzer json_decode_fuzzer)

[[ "$SECONDS_EACH" =~ ^[0-9]+$ ]] || { echo "fuzz: seconds must be a number, not $SECONDS_EACH" >&2; exit 2; }

for target in "${TARGETS[@]}"; do
  [[ -x "$DIR/$target" ]] || { echo "fuzz: $DIR/$target is missing (build first: ./tev build)" >&2; exit 1; }
done

for target in "${TARGETS[@]}"; do
  work="$DIR/corpus/$target"
  log="$DIR/$target.log"
  mkdir -p "$work" "$DIR/artifacts"
  echo "fuzz: $target for $SECONDS_EACH s (log: $log)" >&2
  rc=0
  "$DIR/$target" -max_len=65536 -timeout=10 -rss_limit_mb=2048 -dict="$ROOT/fuzz/json.dict" \
    -max_total_time="$SECONDS_EACH" -print_final_stats=1 -artifact_prefix="$DIR/artifacts/$target-" \
    "$work" "$ROOT/fuzz/corpus" "$ROOT/tests/json/data/json-test-suite/test_parsing" >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if ((rc != 0)); then
    grep -E '^(==[0-9]+==ERROR|SUMMARY|json_.*_fuzzer:|artifact_prefix|Test unit written)' "$log" >&2 || tail -20 "$log" >&2
    echo "fuzz: $target: FINDING after ${runs:-?} executions (exit $rc)"
    exit 1
  fi
  echo "fuzz: $target: ${runs:-?} executions in $SECONDS_EACH s, no finding"
done
