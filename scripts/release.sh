#!/usr/bin/env bash
# Builds everything and lays out what is shipped: build/release/NAME/ with the
# two deliverables and the administrators' notes, and build/release/NAME.zip.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/build.sh" >/dev/null
NAME=quorvale-falkmoor-1.0
DEST=$ROOT/build/release
rm -rf "$DEST" && mkdir -p "$DEST/$NAME"
cp "$ROOT/build/out/qvClientService.exe" "$ROOT/build/out/falkmoor.fll" "$DEST/$NAME/"
# Windows users read it in Notepad: CR LF line ends.
sed 's/$/\r/' "$ROOT/docs/ADMIN.txt" > "$DEST/$NAME/ADMIN.txt"
(cd "$DEST" && zip -q -r "$NAME.zip" "$NAME")
echo "release: $DEST/$NAME/ and $DEST/$NAME.zip"
unzip -l "$DEST/$NAME.zip"
