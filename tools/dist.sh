#!/usr/bin/env bash
# Makes the release folder a release engineer downloads, from the builds in BUILD_DIR:
#   TevLauncher.exe            the shipped 32-bit launcher (stamp it with tevtool, then sign it)
#   LWProductInfo64.dll        the 64-bit product-information library
#   tevtool/x86/tevtool.exe, tevtool/x64/tevtool.exe   the release engineers' tool, both architectures
#   symbols/NAME.debug         each binary's symbols (tevtool-x86.exe.debug, tevtool-x64.exe.debug for the
#                              two tools); the binaries are stripped and each carries a link to its
#                              symbol file (.gnu_debuglink, checked by CRC: put the file beside the
#                              binary, or in a .debug folder beside it, and gdb finds it)
#   SHA256SUMS                 the SHA-256 of every other file, as sha256sum -c reads it
# The shipped launcher must stay within 1.0 MB stripped: a larger one fails the script.
#   tools/dist.sh BUILD_DIR [OUT_DIR]      (OUT_DIR defaults to dist/ at the top of the project)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:?usage: tools/dist.sh BUILD_DIR [OUT_DIR]}"
OUT="${2:-$ROOT/dist}"
LAUNCHER_LIMIT=$((1024 * 1024))

rm -rf "$OUT"
mkdir -p "$OUT/symbols" "$OUT/tevtool/x86" "$OUT/tevtool/x64"

ship() {  # ship SOURCE RELATIVE_TARGET TRIPLE SYMBOL_FILE_NAME
  local source="$1" target="$OUT/$2" triple="$3" symbols="$OUT/symbols/$4"
  [[ -f "$source" ]] || { echo "dist: $source is missing (build first: ./tev build)" >&2; exit 1; }
  cp "$source" "$target"
  "$triple-objcopy" --only-keep-debug "$target" "$symbols"
  "$triple-strip" --strip-all "$target"
  "$triple-objcopy" --add-gnu-debuglink="$symbols" "$target"
  printf 'dist: %-28s %9d bytes (symbols: %s)\n' "$2" "$(stat -c %s "$target")" "${symbols#"$OUT/"}"
}

ship "$BUILD/x86/TevLauncher.exe" TevLauncher.exe i686-w64-mingw32 TevLauncher.exe.debug
ship "$BUILD/x64/LWProductInfo64.dll" LWProductInfo64.dll x86_64-w64-mingw32 LWProductInfo64.dll.debug
ship "$BUILD/x86/tevtool.exe" tevtool/x86/tevtool.exe i686-w64-mingw32 tevtool-x86.exe.debug
ship "$BUILD/x64/tevtool.exe" tevtool/x64/tevtool.exe x86_64-w64-mingw32 tevtool-x64.exe.debug

(cd "$OUT" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum) >"$OUT/SHA256SUMS"

size=$(stat -c %s "$OUT/TevLauncher.exe")
if ((size > LAUNCHER_LIMIT)); then
  echo "dist: TevLauncher.exe is $size bytes stripped, beyond the limit of $LAUNCHER_LIMIT" >&2
  exit 1
fi
echo "dist: $OUT (TevLauncher.exe $size bytes stripped, limit $LAUNCHER_LIMIT)"
