#!/usr/bin/env bash
# Prints one page to the test printer; run it with the Wine prefix up:
#   scripts/with-wine.sh bash scripts/demo-print-steps.sh
# The page lands as PostScript in C:\printer\page.ps of the prefix, that is
# build/wine/drive_c/printer/page.ps.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$ROOT/build/out
PAGE=$WINEPREFIX/drive_c/printer/page.ps

printf '\n== %s\n' "A PostScript printer for the prefix: testprinter.exe"
wine "$OUT/testprinter.exe" </dev/null
rm -f "$PAGE"

printf '\n== %s\n' "One page through fkPrinterOpen, fkPrinterStartDoc, fkPrinterEndDoc, fkPrinterClose"
wine "$OUT/printpage.exe" "Hello from falkmoor.fll" </dev/null | tr -d '\r'

printf '\n== %s\n' "The job's PostScript, $PAGE"
ls -l "$PAGE"
head -12 "$PAGE" | tr -d '\r'
echo "..."
echo "glyphs shown: $(grep -ao '/[A-Za-z]\+ glyphshow' "$PAGE" | sed 's|/\(.*\) glyphshow|\1|; s|^space$| |; s|^period$|.|' | awk 'length($0)<=1' | tr -d '\n')"
