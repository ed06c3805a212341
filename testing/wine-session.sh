# Sourced by ./tev: one Xvfb display, one template prefix per test run, and for each architecture
# named a prefix of its own for its Windows test programs, whose wineserver stays alive for the
# whole run. The end-to-end suites copy the template into prefixes of their own.
wine_session_start() {  # wine_session_start STATE_DIR ARCH...
  local state="$1"; shift
  mkdir -p "$state"
  export WINEDEBUG=-all LANG=ja_JP.UTF-8
  if [[ -z "${DISPLAY:-}" ]]; then
    local n=90
    while [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    TEV_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$n ]] && break; sleep 0.1; done
  fi
  export TEV_WINE_TEMPLATE="$state/template"
  # Made after the 32-bit Wine is installed, the prefix is a WoW64 one: it runs the i686 programs.
  if [[ -n "${TEV_KEEP_TEMPLATE:-}" && -f "$TEV_WINE_TEMPLATE/system.reg" &&
        ( ! -e /usr/lib/wine/wine || -f "$TEV_WINE_TEMPLATE/drive_c/windows/syswow64/kernel32.dll" ) ]]; then
    :
  else
    rm -rf "$TEV_WINE_TEMPLATE"
    WINEPREFIX="$TEV_WINE_TEMPLATE" /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    WINEPREFIX="$TEV_WINE_TEMPLATE" /usr/lib/wine/wineserver -w
  fi
  TEV_SESSION_PREFIXES=()
  local arch prefix
  for arch in "$@"; do
    prefix="$state/units-$arch"
    rm -rf "$prefix"
    "${PYTHON:-/usr/bin/python3}" "$ROOT/testing/prefix.py" "$TEV_WINE_TEMPLATE" "$prefix"
    WINEPREFIX="$prefix" /usr/lib/wine/wineserver -p
    # Start Wine's services now, outside ctest: they would otherwise inherit a test's output pipe
    # and keep ctest waiting for it to close.
    WINEPREFIX="$prefix" /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1
    TEV_SESSION_PREFIXES+=("$prefix")
  done
}

wine_session_stop() {
  local prefix
  for prefix in "${TEV_SESSION_PREFIXES[@]}"; do
    WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  done
  if [[ -n "${TEV_XVFB_PID:-}" ]]; then kill "$TEV_XVFB_PID" 2>/dev/null || true; fi
}
