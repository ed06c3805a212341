#!/usr/bin/env bash
# Benchmarks, built natively at -O2 without sanitizers in BUILD_DIR/bench.
#   bench/run.sh BUILD_DIR json
#   bench/run.sh BUILD_DIR download   (the x86_64 build under wine64, against nginx on the loopback)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:?usage: bench/run.sh BUILD_DIR json}"
WHAT="${2:-json}"

case "$WHAT" in
  json) ;;
  download)
    cmake --build "$BUILD/x64" --target download_bench -- -j"$(nproc)" | grep -vE '^(\[[0-9]+/[0-9]+\]|ninja: no work to do)' || true
    [[ ${PIPESTATUS[0]} -eq 0 ]] || { echo "bench: build failed" >&2; exit 1; }
    exec /usr/bin/python3 "$ROOT/bench/download_bench.py" "$BUILD"
    ;;
  *) echo "bench: unknown benchmark $WHAT (known: json, download)" >&2; exit 2 ;;
esac

DIR="$BUILD/bench"
if [[ ! -f "$DIR/build.ninja" ]]; then
  cmake -S "$ROOT/bench" -B "$DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build "$DIR" -- -j"$(nproc)" | grep -vE '^(\[[0-9]+/[0-9]+\]|ninja: no work to do)' || true
[[ ${PIPESTATUS[0]} -eq 0 ]] || { echo "bench: build failed" >&2; exit 1; }

"$DIR/json_bench" "$ROOT/bench/data/typical-manifest.json"
