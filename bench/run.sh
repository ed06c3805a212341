#!/usr/bin/env bash
# Benchmarks, built natively at -O2 without sanitizers in BUILD_DIR/bench.
#   bench/run.sh BUILD_DIR json
#   bench/run.sh BUILD_DIR download   (the shipped i686 build and the x86_64 twin under wine64, against nginx on the loopback)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:?usage: bench/run.sh BUILD_DIR json}"
WHAT="${2:-json}"

case "$WHAT" in
  json) ;;
  download)
    # The shipped i686 build and its x86_64 twin, each with its launcher and benchmark program; the
    # harness's driver and tevtool come from the x64 build.
    for dir in x86 x64; do
      targets=(download_bench TevLauncher)
      [[ $dir == x64 ]] && targets+=(tevtool tevdriver)
      cmake --build "$BUILD/$dir" --target "${targets[@]}" -- -j"$(nproc)" | grep -vE '^(\[[0-9]+/[0-9]+\]|ninja: no work to do)' || true
      [[ ${PIPESTATUS[0]} -eq 0 ]] || { echo "bench: build of $dir failed" >&2; exit 1; }
    done
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
