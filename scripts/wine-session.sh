# Wine session helpers; source this file, do not run it.
#   wine_env [LOCALE]         exports the locale (default zh_CN.UTF-8) and Wine settings every run here needs
#   xvfb_start                starts a private Xvfb, exports DISPLAY, sets XVFB_PID
#   wine_prefix_init DIR      makes DIR a ready Wine prefix (if it is not one yet), exports WINEPREFIX
#   wine_session_start [LOCALE]  all of the above in a fresh temp dir (SESSION_DIR), cleaned up on exit
#   wine_session_stop         stops this prefix's wineserver and our Xvfb, removes SESSION_DIR
# Each session stops only what it started: other runs on this machine keep their prefixes and displays.

wine_env() {
  # zh_CN.UTF-8 makes Wine's ANSI and OEM code page 936, as on a Chinese Windows; fr_FR.UTF-8 gives ANSI 1252
  # and OEM 850, where a file written in the wrong one of the two shows.
  local locale=${1:-${WINE_LOCALE:-zh_CN.UTF-8}}
  export LANG=$locale LC_ALL=$locale
  export WINEDEBUG=-all
  # No Mono or Gecko install prompts: the program needs neither.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  wine_use_64bit_loader
}

# True where the kernel runs no 32-bit programs but the 64-bit loader is there.
wine_64bit_only() { ! /usr/lib/wine/wine --version >/dev/null 2>&1 && [[ -x /usr/lib/wine/wine64 ]]; }

# Once wine32 is installed, Debian's wine, wineboot and winepath always start the 32-bit loader, which fails on such
# a machine; a wine and wine-stable first on PATH that start the 64-bit one keep 64-bit prefixes and programs going.
wine_use_64bit_loader() {
  wine_64bit_only || return 0
  local shim=/tmp/tdl2mp4-wine64-loader name
  for name in wine wine-stable; do
    [[ -x $shim/$name ]] && continue
    mkdir -p "$shim"
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim/$name.$$"
    chmod +x "$shim/$name.$$" && mv -f "$shim/$name.$$" "$shim/$name"
  done
  [[ :$PATH: == *":$shim:"* ]] || export PATH=$shim:$PATH
}

# Waits up to $1 seconds for the X server on $DISPLAY to answer.
x_wait_ready() {
  local deadline=$((SECONDS + $1))
  until xdpyinfo >/dev/null 2>&1; do
    if ((SECONDS >= deadline)) || { [[ -n ${XVFB_PID:-} ]] && ! kill -0 "$XVFB_PID" 2>/dev/null; }; then
      return 1
    fi
    sleep 0.2
  done
}

xvfb_start() {
  local n
  for ((n = 90; n < 190; n++)); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    # Another run may have taken the same number a moment ago; then the lock names its Xvfb, not ours.
    if x_wait_ready 15 && [[ $(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null) == "$XVFB_PID" ]]; then
      return 0
    fi
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  done
  echo "wine-session: could not start Xvfb" >&2
  return 1
}

# wine_reg_add KEY NAME TYPE DATA
wine_reg_add() {
  timeout 60 wine reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1 ||
    { echo "wine-session: could not set $1\\$2" >&2; return 1; }
}

wine_prefix_init() {
  export WINEPREFIX=$1
  [[ -f $WINEPREFIX/system.reg ]] && return 0
  echo "wine-session: creating Wine prefix $WINEPREFIX" >&2
  mkdir -p "$WINEPREFIX"
  timeout 180 wineboot -i >/dev/null 2>&1 || { echo "wine-session: wineboot failed" >&2; return 1; }
  # A crashing program must end, not wait behind the debugger's dialog.
  wine_reg_add 'HKCU\Software\Wine\WineDbg' ShowCrashDialog REG_DWORD 0 || return 1
  # The dialog font falls to WenQuanYi Zen Hei, whose 12-pixel Chinese glyphs Wine draws with strokes cut off;
  # the Sharp face from the same font file draws them whole.
  wine_reg_add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' 'MS Shell Dlg' REG_SZ \
    'WenQuanYi Zen Hei Sharp' || return 1
  timeout 120 wineserver -w || { echo "wine-session: prefix did not settle" >&2; return 1; }
  # Debian's Wine 8 does not load its own fonts; without Marlett, caption buttons show letters.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
}

wine_session_start() {
  wine_env "$@"
  SESSION_DIR=$(mktemp -d /tmp/tdl2mp4-wine.XXXXXX)
  trap wine_session_stop EXIT
  trap 'exit 130' INT TERM
  xvfb_start && wine_prefix_init "$SESSION_DIR/prefix"
}

wine_session_stop() {
  if [[ -n ${WINEPREFIX:-} && -d $WINEPREFIX ]]; then
    timeout 30 wineserver -k 2>/dev/null || true
  fi
  if [[ -n ${XVFB_PID:-} ]]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  fi
  if [[ -n ${SESSION_DIR:-} ]]; then
    rm -rf "$SESSION_DIR"
    SESSION_DIR=
  fi
}
