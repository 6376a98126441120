#!/usr/bin/env bash
# The demonstration itself; scripts/demo.sh runs it with the Wine prefix up.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$ROOT/build/out
DEMO=$WINEPREFIX/drive_c/qvdemo
FONTS=$WINEPREFIX/drive_c/windows/Fonts
fontsKey='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts'

step() { printf '\n== %s\n' "$*"; }
quiet() { "$@" </dev/null >/dev/null 2>&1 || true; }

# A service left by an interrupted earlier run comes back with every boot of
# the prefix and would hold the pipe: remove it first.
if wine sc query qvService </dev/null >/dev/null 2>&1; then
  echo "demo: removing the service qvService that an earlier run left installed"
  quiet wine sc stop qvService
  quiet wine sc delete qvService
  for i in $(seq 50); do wine sc query qvService </dev/null >/dev/null 2>&1 || break; sleep 0.1; done
fi

# A fresh folder for the service program, a sample control and a font.
rm -rf "$DEMO" && mkdir -p "$DEMO"
cp "$OUT/qvClientService.exe" "$DEMO/"
cp "$OUT/ctl_ok.dll" "$DEMO/sample.ocx"
cp "$OUT/DejaVuSans.ttf" "$DEMO/qvDemoSans.ttf"
quiet rm -f "$FONTS/qvDemoSans.ttf"
quiet wine reg delete "$fontsKey" /v "QV Demo Sans (TrueType)" /f

step "Register a control from the command line: qvClientService -r C:\\qvdemo\\sample.ocx"
wine 'C:\qvdemo\qvClientService.exe' -r 'C:\qvdemo\sample.ocx' </dev/null
echo "The control's DllRegisterServer ran; it left: $(tr -d '\r' < "$DEMO/sample.ocx.evidence")"

step "Install a font from the program's folder: qvClientService -f \"qvDemoSans.ttf=QV Demo Sans (TrueType)\""
wine 'C:\qvdemo\qvClientService.exe' -f 'qvDemoSans.ttf=QV Demo Sans (TrueType)' </dev/null
ls -l "$FONTS/qvDemoSans.ttf"
wine reg query "$fontsKey" /v "QV Demo Sans (TrueType)" </dev/null 2>/dev/null | tr -d '\r' | grep -i 'qv demo' || true

# The same through the running service: a client of its pipe asks, the
# service (local system) does it.
cp "$OUT/qvclient.exe" "$DEMO/"
quiet rm -f "$DEMO/sample.ocx.evidence" "$FONTS/qvDemoSans.ttf"
quiet wine reg delete "$fontsKey" /v "QV Demo Sans (TrueType)" /f
serviceState() { wine sc query qvService </dev/null 2>/dev/null | tr -d '\r' | grep STATE || echo "        (no service qvService)"; }

step "Install and start the service: qvClientService -i"
wine 'C:\qvdemo\qvClientService.exe' -i </dev/null
serviceState

step "Register the control through the pipe: qvclient register C:\\qvdemo\\sample.ocx"
wine 'C:\qvdemo\qvclient.exe' register 'C:\qvdemo\sample.ocx' </dev/null || true
echo "The control's DllRegisterServer ran in the service; it left: $(tr -d '\r' < "$DEMO/sample.ocx.evidence" 2>/dev/null)"

step "Install the font through the pipe: qvclient fonts \"qvDemoSans.ttf=QV Demo Sans (TrueType)\""
wine 'C:\qvdemo\qvclient.exe' fonts 'qvDemoSans.ttf=QV Demo Sans (TrueType)' </dev/null || true
ls -l "$FONTS/qvDemoSans.ttf"

step "Stop the service through the pipe: qvclient stop"
wine 'C:\qvdemo\qvclient.exe' stop </dev/null || true
for i in $(seq 50); do serviceState | grep -q STOPPED && break; sleep 0.1; done
serviceState

step "Remove the service: qvClientService -u"
wine 'C:\qvdemo\qvClientService.exe' -u </dev/null
serviceState

step "The log, C:\\qvdemo\\qvClientServiceLog.txt ($DEMO/qvClientServiceLog.txt)"
cat "$DEMO/qvClientServiceLog.txt"

step "The library in the project's host, one function of each kind: fktour.exe C:\\qvdemo"
rm -f "$DEMO/sample.ocx.evidence"
# A failure here is reported at the end, after the clean-up.
failed=""
wine "$OUT/fktour.exe" 'C:\qvdemo' </dev/null | tr -d '\r' || failed="$failed fktour"
echo "The control's entry points ran with the user's own rights; they left: $(tr -d '\r' < "$DEMO/sample.ocx.evidence" | tr '\n' ';')"

bash "$ROOT/scripts/demo-print-steps.sh" || failed="$failed printing"

step "Clean-up: the demonstration font is removed again"
quiet rm -f "$FONTS/qvDemoSans.ttf"
quiet wine reg delete "$fontsKey" /v "QV Demo Sans (TrueType)" /f

step "Left behind: nothing installed"
leftovers=0
check() { if "$2"; then echo "  gone:    $1"; else echo "  STILL THERE: $1"; leftovers=1; fi; }
noService() { ! wine sc query qvService </dev/null 2>/dev/null | tr -d '\r' | grep -q STATE; }
noFontFile() { [ ! -e "$FONTS/qvDemoSans.ttf" ]; }
noFontValue() { ! wine reg query "$fontsKey" /v "QV Demo Sans (TrueType)" </dev/null >/dev/null 2>&1; }
noDemoKey() { ! wine reg query 'HKCU\Software\FalkmoorDemo' </dev/null >/dev/null 2>&1; }
check "the service qvService" noService
check "the font file C:\windows\Fonts\qvDemoSans.ttf" noFontFile
check "the font's value under HKLM\...\CurrentVersion\Fonts" noFontValue
check "the registry key HKCU\Software\FalkmoorDemo" noDemoKey
echo "  kept:    the test printer \"Falkmoor Test PostScript\" in this checkout's private Wine prefix"
echo "           (build/wine), which the printing tests use as well"

step "Where the outputs lie"
echo "  service log:        $DEMO/qvClientServiceLog.txt (C:\\qvdemo\\qvClientServiceLog.txt)"
echo "  control evidence:   $DEMO/sample.ocx.evidence"
echo "  printed page:       $WINEPREFIX/drive_c/printer/page.ps (C:\\printer\\page.ps)"
echo "  dialog's answer:    C:\\qvdemo\\ledger.txt (the name chosen; the library leaves writing it to its caller)"
[ "$leftovers" = 0 ] || failed="$failed clean-up"
[ -z "$failed" ] || { echo "demo: these steps failed:$failed" >&2; exit 1; }
echo "done"
