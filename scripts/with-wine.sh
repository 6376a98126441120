#!/usr/bin/env bash
# with-wine.sh COMMAND...: runs COMMAND with the project's Wine prefix booted,
# a persistent Wine server, and an X display (a private Xvfb when none is set).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${DISPLAY:-}" ] && [ -z "${WITH_WINE_XVFB:-}" ]; then
  command -v xvfb-run >/dev/null || { echo "with-wine: no DISPLAY and no xvfb-run; run scripts/setup.sh" >&2; exit 1; }
  # A desktop left by an earlier run without a display would make dialogs fail.
  WINEPREFIX=$ROOT/build/wine wineserver -w </dev/null >/dev/null 2>&1 || true
  export WITH_WINE_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
. "$ROOT/scripts/wine-env.sh"
wine_start
trap wine_stop EXIT
"$@"
