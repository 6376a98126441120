// A person at a file dialog, played from a second thread: it waits for the
// modal dialog that another thread shows, types into its file-name field,
// picks file types and presses a button, as someone at the screen would.
// Tests drive the library's open and save dialogs with it, and so does the
// demonstration, which has no one at the screen.
//
//   const Step steps[] = {{TypeName, "C:\\x\\a.txt", 0}, {Press, nullptr, IDOK}};
//   DialogDriver driver;
//   StartDialogDriver(&driver, GetCurrentThreadId(), steps, 2, nullptr, nullptr);
//   ... the call that shows the dialog, on this thread ...
//   FinishDialogDriver(&driver);   // driver.found, driver.closed
#pragma once
#include <windows.h>

// Controls of the Explorer-style dialog that the driver works.
const int FileNameField = 1148;   // the combo box that holds the typed name
const int FileTypeField = 1136;

enum Action { TypeName, PickType, Press };

struct Step {
    Action action;
    const char *text;   // TypeName
    int number;         // PickType: 0-based; Press: IDOK or IDCANCEL
};

// Runs on the driver's thread with the dialog: once when it has come up
// (step null), and after each step but a press.
typedef void (*DialogWatch)(HWND dialog, const Step *step, void *context);

struct DialogDriver {
    DWORD thread;         // the thread that shows the dialog
    HANDLE stop;          // set when the dialog call has returned
    HANDLE worker;        // the driver's own thread
    const Step *steps;
    int stepCount;
    DialogWatch watch;
    void *context;
    bool found;           // a dialog came up
    bool closed;          // it went away after a press of the steps
};

// Starts the driver thread for the next dialog that thread shows; steps
// must stay valid until FinishDialogDriver. Without a press among the
// steps the dialog is cancelled at the end. False when no thread could be
// made.
bool StartDialogDriver(DialogDriver *driver, DWORD thread, const Step *steps, int stepCount,
                       DialogWatch watch, void *context);

// Called once the dialog call has returned: lets the driver end (it gives
// up waiting for a dialog that never came) and frees what it held.
void FinishDialogDriver(DialogDriver *driver);

// Sends with a time-out, so that a driver never hangs on a dialog that has
// stopped answering; answers 0 then.
LRESULT SendToDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The first visible dialog-class window of the thread; waits up to
// milliseconds and gives up early when stop (may be null) is set.
HWND WaitForThreadDialog(DWORD thread, HANDLE stop, int milliseconds);
