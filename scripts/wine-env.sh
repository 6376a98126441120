# Sourced by the project's scripts: a private 32-bit Wine prefix inside the
# build tree, and a persistent Wine server for the duration of a run.
ROOT=${ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=$ROOT/build/wine
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers at boot; and no crash debugger, so that a
# crashing test program ends at once instead of waiting in winedbg until
# CTest gives up on it.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}

# wine_start: creates the prefix when missing, applies the settings the tests
# rely on, and keeps one Wine server running so each program starts quickly.
wine_start() {
  mkdir -p "$WINEPREFIX"
  # Background services must not inherit our output pipes, or CTest waits
  # for them to close.
  wineserver -p </dev/null >/dev/null 2>&1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i </dev/null >/dev/null 2>&1
  else
    wineboot </dev/null >/dev/null 2>&1
  fi
  # Unmanaged windows: otherwise each destroyed window costs 2 s without a
  # window manager. Arial for GDI+ comes from DejaVu Sans.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d 'DejaVu Sans' /f </dev/null >/dev/null 2>&1
}

wine_stop() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
}
