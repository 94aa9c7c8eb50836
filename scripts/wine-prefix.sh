# Sourced by the scripts that run Wine on a screen (after they export
# WINEPREFIX): windows_path, and make_prefix, which makes the prefix once,
# without a crash debugger, and lets its first boot end: services still
# starting in a new prefix keep explorer's first COM activation waiting for
# ever.
windows_path() { echo "Z:$1" | sed 's|/|\\|g'; }
make_prefix() {
  [ -f "$WINEPREFIX/.ktx-ready" ] && return 0
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  local screen=()
  [ -n "${DISPLAY:-}" ] || screen=(xvfb-run -a)
  timeout 300 "${screen[@]}" wineboot -i >/dev/null 2>&1
  timeout 60 wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /t REG_SZ /d '' /f >/dev/null 2>&1
  timeout 120 wineserver -w || true
  touch "$WINEPREFIX/.ktx-ready"
}
