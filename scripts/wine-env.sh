# Sourced by ./test, ./run and ./bench: a private Wine prefix and a private Xvfb display.
# Nothing here touches the user's own Wine prefix or display settings.

NORVIK_ROOT=${NORVIK_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

# 32 when this machine runs Wine's 32-bit loader; 64 where it cannot run 32-bit programs at all
# (a kernel or sandbox without them): there the Windows-side tests are built as 64-bit programs
# (preset windows64) and run by Wine's 64-bit loader. NORVIK_WINE_BITS=64 takes that path on a
# machine that could run both (to try it there).
wine_bits() {
  if [ "${NORVIK_WINE_BITS:-}" = 64 ]; then
    echo 64
  elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo 32
  else
    echo 64
  fi
}

wine_env() {  # wine_env PREFIX_DIR
  export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export LANG=C.UTF-8 LC_ALL=C.UTF-8
  if [ "$(wine_bits)" = 32 ]; then
    export WINEARCH=win32
  else
    # Debian's `wine` always picks the 32-bit loader when it is installed: a `wine` of our own,
    # first on the PATH, runs the 64-bit one.
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
    local shim="$NORVIK_ROOT/build/wine64-shim"
    mkdir -p "$shim"
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim/wine"
    chmod +x "$shim/wine"
    case ":$PATH:" in *":$shim:"*) ;; *) export PATH="$shim:$PATH" ;; esac
  fi
}

# Creates the prefix once; a later call reuses it.
prepare_prefix() {  # prepare_prefix PREFIX_DIR
  wine_env "$1"
  if [ ! -f "$WINEPREFIX/.norvik-ready" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wine wineboot -i >/dev/null 2>&1
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
