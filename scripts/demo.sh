#!/usr/bin/env bash
# The main job: builds everything and shows the system at work under Wine.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/build.sh" >/dev/null
exec "$ROOT/scripts/with-wine.sh" bash "$ROOT/scripts/demo-steps.sh"
