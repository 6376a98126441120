// Print dialogs: the dialog path of fkPrinterOpen. Shows the Windows print
// dialog (the property-sheet dialog on Windows 2000 and later, the classic
// one before) set up from the settings object, and writes the user's
// page-range choice and the copies and collation the application must make
// itself back into it.
#pragma once
#include <windows.h>
#include "../bridge/records.h"

// What the dialog path hands back to fkPrinterOpen. devMode goes in as the
// unlocked driver settings block; every block that comes out is the
// caller's to free.
struct PrintDialogOutcome {
    HDC context;        // 0 when none was obtained
    HGLOBAL devMode;    // as the dialog left it (it may be a new block)
    HGLOBAL devNames;   // as the dialog left it; null when none was built
    bool discard;       // the user closed the dialog without printing
};

// Runs the dialog for the settings object. When the device-name block
// cannot be built the dialog is not shown and nothing is written back.
void RunPrintDialog(HostValue *settings, PrintDialogOutcome *outcome);

// How the property-sheet dialog is found: it is looked up at run time, so
// that the library still loads where Comdlg32.dll lacks it. The system's
// own calls unless a test points them at stand-ins (a missing library or
// entry point, or a dialog that plays what Windows' own would answer).
struct PrintDialogBinding {
    HMODULE(WINAPI *loadLibrary)(LPCSTR name);
    FARPROC(WINAPI *getProcAddress)(HMODULE module, LPCSTR name);
    BOOL(WINAPI *freeLibrary)(HMODULE module);
};
extern PrintDialogBinding printDialogBinding;
