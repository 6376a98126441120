#!/usr/bin/env bash
# release_check.sh OUT WORK: lays the release out from the build output OUT
# into WORK and checks that the folder and the zip hold exactly the two
# deliverables and ADMIN.txt (CR LF line ends), the same bytes as built.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=$1
WORK=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$WORK"
"$ROOT/scripts/release-layout.sh" "$OUT" "$WORK" || { echo "FAIL: the layout script failed"; exit 1; }
folders=$(cd "$WORK" && find . -mindepth 1 -maxdepth 1 -type d -printf '%f\n')
zips=$(cd "$WORK" && find . -mindepth 1 -maxdepth 1 -name '*.zip' -printf '%f\n')
[ "$(echo "$folders" | wc -w)" = 1 ] || fail "one release folder expected, found: $folders"
[ "$zips" = "$folders.zip" ] || fail "one zip named after the folder expected, found: $zips"
NAME=$folders

expected=$(printf '%s\n' ADMIN.txt falkmoor.fll qvClientService.exe)
inFolder=$(cd "$WORK/$NAME" && find . -mindepth 1 -printf '%P\n' | sort)
[ "$inFolder" = "$expected" ] || fail "the folder holds: $(echo $inFolder)"
inZip=$(unzip -Z1 "$WORK/$NAME.zip" | sort)
expectedZip=$(printf '%s\n' "$NAME/" "$NAME/ADMIN.txt" "$NAME/falkmoor.fll" "$NAME/qvClientService.exe" | sort)
[ "$inZip" = "$expectedZip" ] || fail "the zip holds: $(echo $inZip)"

unpacked=$WORK/unpacked
mkdir -p "$unpacked" && unzip -q "$WORK/$NAME.zip" -d "$unpacked" || fail "the zip does not unpack"
for file in falkmoor.fll qvClientService.exe; do
  cmp -s "$OUT/$file" "$unpacked/$NAME/$file" || fail "$file in the zip differs from the build's"
done
cmp -s "$WORK/$NAME/ADMIN.txt" "$unpacked/$NAME/ADMIN.txt" || fail "ADMIN.txt in the zip differs from the folder's"
lines=$(wc -l < "$WORK/$NAME/ADMIN.txt")
crlf=$(grep -c $'\r$' "$WORK/$NAME/ADMIN.txt")
[ "$lines" -gt 0 ] && [ "$lines" = "$crlf" ] || fail "ADMIN.txt: $crlf of $lines lines end in CR LF"

rm -rf "$WORK"
[ "$failures" = 0 ] && echo "release layout: $NAME/ and $NAME.zip hold exactly ADMIN.txt, falkmoor.fll, qvClientService.exe"
exit $((failures > 0))
