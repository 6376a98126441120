// The open and save file dialogs for host code: a one-line filter, a
// starting view for the file list, replacement label texts and, when
// saving, the typed name's extension following the chosen file type.
#pragma once
#include <windows.h>
#include "../bridge/records.h"

// The open dialog; answers the chosen path, or "" after a cancel.
void fkOpenDialog(ParamBlock *parameters);
// The save dialog; answers the chosen path, or "" after a cancel.
void fkSaveAsDialog(ParamBlock *parameters);

// Runs the open dialog, or the save dialog when save is set, on the nine
// optional parameters both functions take, and answers the host with the
// chosen path.
void ShowFileDialog(ParamBlock *parameters, bool save);

// The dialog's hook: sends the starting view once the file view exists,
// sets the label texts when the dialog is ready and changes the typed
// name's extension on a change of file type. Always 0, so the dialog does
// its own work as usual.
UINT_PTR CALLBACK FileDialogHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
