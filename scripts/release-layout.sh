#!/usr/bin/env bash
# release-layout.sh OUT DEST: lays out what is shipped from the build output
# folder OUT: DEST/NAME/ with the two deliverables and the administrators'
# notes, and DEST/NAME.zip of that folder. scripts/release.sh builds first
# and calls this; the release test calls it on what is built already.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$1
DEST=$2
NAME=quorvale-falkmoor-1.0
command -v zip >/dev/null || { echo "release: zip is missing; run scripts/setup.sh" >&2; exit 1; }
rm -rf "${DEST:?}/$NAME" "$DEST/$NAME.zip" && mkdir -p "$DEST/$NAME"
cp "$OUT/qvClientService.exe" "$OUT/falkmoor.fll" "$DEST/$NAME/"
# Windows users read it in Notepad: CR LF line ends.
sed 's/$/\r/' "$ROOT/docs/ADMIN.txt" > "$DEST/$NAME/ADMIN.txt"
(cd "$DEST" && zip -q -r "$NAME.zip" "$NAME")
echo "release: $DEST/$NAME/ and $DEST/$NAME.zip"
