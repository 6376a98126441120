#!/usr/bin/env bash
# Builds everything and lays out what is shipped: build/release/NAME/ with the
# two deliverables and the administrators' notes, and build/release/NAME.zip.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/build.sh" >/dev/null
DEST=$ROOT/build/release
rm -rf "$DEST"
"$ROOT/scripts/release-layout.sh" "$ROOT/build/out" "$DEST"
unzip -l "$DEST"/*.zip
