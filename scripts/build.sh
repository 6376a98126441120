#!/usr/bin/env bash
# Configures and builds everything into build/out.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
"$ROOT/scripts/setup.sh"
[ -f build/build.ninja ] || cmake --preset default >/dev/null
cmake --build --preset default
