// The confirmation prompt: a title and message that host code sets just
// before the host shows its confirmation dialog. When the dialog opens
// (event 1) it is recognised by its outer width, widened, given the title
// as caption and, in its wider layout, painted with the message.
#pragma once
#include <windows.h>
#include "../bridge/records.h"

// Arms the prompt with a title (parameter 1) and message (parameter 2).
// An empty title leaves it disarmed.
void fkSetConfirmPrompt(ParamBlock *parameters);

// Event 1: adjusts the host window when a prompt is armed, and disarms it
// whatever the window was.
void ApplyConfirmPrompt(uint32_t hostWindow);

// Event 8: disarms the prompt.
void DisarmConfirmPrompt();

// The procedure installed on a dialog of the wider layout: it paints the
// message over the dialog's own text area after the dialog painted.
LRESULT CALLBACK ConfirmDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Gives subclassed dialogs that still exist their own procedures back (at
// unload); see RestoreSubclassed.
void RestoreConfirmDialogs();
