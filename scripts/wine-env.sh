# Sourced by ./test, ./run and ./bench: a private Wine prefix and a private Xvfb display.
# Nothing here touches the user's own Wine prefix or display settings.

NORVIK_ROOT=${NORVIK_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

wine_env() {  # wine_env PREFIX_DIR (NORVIK_WINEARCH=win64: the benchmark's 64-bit stand-in)
  export WINEPREFIX="$1" WINEARCH=${NORVIK_WINEARCH:-win32} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export LANG=C.UTF-8 LC_ALL=C.UTF-8
}

# Creates the prefix once; a later call reuses it.
prepare_prefix() {  # prepare_prefix PREFIX_DIR
  wine_env "$1"
  if [ ! -f "$WINEPREFIX/.norvik-ready" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1
    # No window manager: closing a titled window otherwise costs seconds.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # A crash exits instead of waiting on a dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.norvik-ready"
  fi
}

# Starts Xvfb on a free display and exports DISPLAY; XVFB_PID names it for stop_xvfb.
start_xvfb() {
  local fifo display
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  read -r display <"$fifo"
  rm -f "$fifo"
  export DISPLAY=":$display"
}

stop_xvfb() {
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  fi
}
