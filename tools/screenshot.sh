#!/usr/bin/env bash
# Saves what the X display shows (Xvfb under the Wine tests) as a PNG, cropped to the windows on it.
#
#   tools/screenshot.sh [--delay SECONDS] [--full] OUTPUT.png [-- COMMAND...]
#
# --delay waits before the capture; with a COMMAND, the command is started first, captured
# SECONDS later while it runs, and then awaited (its exit code is the script's). --full keeps the
# whole screen instead of cropping away the empty background. DISPLAY must name a running server,
# e.g. the one testing/wine-session.sh or `xvfb-run -a` starts. Needs xwd (x11-apps), netpbm and
# a Japanese font (fonts-ipafont-gothic); `./tev deps` installs them.
#
# Xvfb runs no window manager, so Wine's windows have no title bar unless Wine draws the frames
# itself; to show it, set in the prefix first:
#   wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
# tools/dpi_screenshots.py takes docs/progress-dialog.png and docs/progress-dialog-200.png so, of
# `dialogwith.exe progress 7` (tests/ui) with --delay 4, at 100 % and at 200 % scale.
set -euo pipefail

delay=0 full="" output=""
while (($#)); do
  case "$1" in
    --delay) delay="$2"; shift 2 ;;
    --full) full=1; shift ;;
    --) shift; break ;;
    -*) echo "screenshot: unknown option $1" >&2; exit 2 ;;
    *) output="$1"; shift ;;
  esac
done
[[ -n "$output" ]] || { sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
[[ -n "${DISPLAY:-}" ]] || { echo "screenshot: DISPLAY is not set" >&2; exit 2; }

pid=""
if (($#)); then
  "$@" &
  pid=$!
fi
sleep "$delay"

tmp="$(mktemp)"
trap 'rm -f "$tmp"' EXIT
xwd -root -silent >"$tmp"
if [[ -n "$full" ]]; then
  xwdtopnm -quiet "$tmp" | pnmtopng -quiet >"$output"
else
  # The bare root window is one flat colour: crop it away and leave a small margin of it.
  xwdtopnm -quiet "$tmp" | pnmcrop -quiet | pnmpad -quiet -black -left 8 -right 8 -top 8 -bottom 8 |
    pnmtopng -quiet >"$output"
fi
echo "screenshot: $output"

if [[ -n "$pid" ]]; then
  wait "$pid"
fi
