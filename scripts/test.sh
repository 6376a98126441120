#!/usr/bin/env bash
# The test command: sets up, builds, and runs the whole suite under Wine and
# Xvfb. Extra arguments go to ctest (for example -R Log to pick tests).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/build.sh"
cd "$ROOT"
exec "$ROOT/scripts/with-wine.sh" ctest --preset default "$@"
