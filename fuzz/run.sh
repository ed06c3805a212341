#!/usr/bin/env bash
# Runs each fuzz target of the native build for a while (default 60 s each), one after the other,
# each with its own seeds and dictionary, and prints how many inputs each ran. Any finding (crash,
# leak, sanitizer report, timeout) stops the run with a failure and leaves the input in
# BUILD_DIR/native/fuzz/artifacts.
#   fuzz/run.sh BUILD_DIR [seconds]
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:?usage: fuzz/run.sh BUILD_DIR [seconds]}"
SECONDS_EACH="${2:-60}"
DIR="$BUILD/native/fuzz"
CORPUS="$ROOT/fuzz/corpus"
TARGETS=(json_parse_fuzzer json_decode_fuzzer condition_fuzzer command_line_fuzzer resolve_fuzzer
         manifest_lint_fuzzer pe_image_fuzzer)

[[ "$SECONDS_EACH" =~ ^[0-9]+$ ]] || { echo "fuzz: seconds must be a number, not $SECONDS_EACH" >&2; exit 2; }

for target in "${TARGETS[@]}"; do
  [[ -x "$DIR/$target" ]] || { echo "fuzz: $DIR/$target is missing (build first: ./tev build)" >&2; exit 1; }
done

# The seed folders and the dictionary of one target, as fuzz/CMakeLists.txt gives them to ctest.
# libFuzzer reads seed folders recursively: fuzz/corpus holds every target's seeds.
seeds_and_dict() {
  case "$1" in
    json_parse_fuzzer | json_decode_fuzzer)
      SEEDS=("$CORPUS" "$ROOT/tests/json/data/json-test-suite/test_parsing") DICT=json.dict ;;
    condition_fuzzer) SEEDS=("$CORPUS/condition_fuzzer") DICT=condition.dict ;;
    command_line_fuzzer) SEEDS=("$CORPUS/command_line_fuzzer") DICT=command_line.dict ;;
    resolve_fuzzer) SEEDS=("$CORPUS/resolve_fuzzer") DICT=resolve.dict ;;
    manifest_lint_fuzzer) SEEDS=("$CORPUS" "$DIR/seeds/manifest_lint_fuzzer") DICT=manifest.dict ;;
    pe_image_fuzzer)
      # The launchers this build made join the hand-made shapes.
      mkdir -p "$DIR/seeds/pe_image_fuzzer"
      for launcher in "$BUILD/x86/TevLauncher.exe" "$BUILD/x64/TevLauncher.exe"; do
        [[ -f "$launcher" ]] && cp "$launcher" "$DIR/seeds/pe_image_fuzzer/$(basename "$(dirname "$launcher")").exe"
      done
      SEEDS=("$CORPUS/pe_image_fuzzer" "$DIR/seeds/pe_image_fuzzer") DICT= ;;
  esac
}

for target in "${TARGETS[@]}"; do
  seeds_and_dict "$target"
  work="$DIR/corpus/$target"
  log="$DIR/$target.log"
  mkdir -p "$work" "$DIR/artifacts"
  echo "fuzz: $target for $SECONDS_EACH s (log: $log)" >&2
  rc=0
  dict=()
  [[ -n "$DICT" ]] && dict=(-dict="$ROOT/fuzz/$DICT")
  "$DIR/$target" -max_len=65536 -timeout=10 -rss_limit_mb=2048 "${dict[@]}" \
    -max_total_time="$SECONDS_EACH" -print_final_stats=1 -artifact_prefix="$DIR/artifacts/$target-" \
    "$work" "${SEEDS[@]}" >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if ((rc != 0)); then
    grep -E '^(==[0-9]+==ERROR|SUMMARY|[a-z_]+_fuzzer:|artifact_prefix|Test unit written)' "$log" >&2 || tail -20 "$log" >&2
    echo "fuzz: $target: FINDING after ${runs:-?} executions (exit $rc)"
    exit 1
  fi
  echo "fuzz: $target: ${runs:-?} executions in $SECONDS_EACH s, no finding"
done
