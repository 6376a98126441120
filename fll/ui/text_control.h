// The text-control scroll fix: on every idle turn the control windows of
// an embedded ActiveX text control on the host's front window are
// subclassed, once each, so that the end of a scroll releases the mouse
// button the control still believes held, and a thumb-position scroll
// swallows the system command that follows it.
#pragma once
#include <windows.h>

// The pass the idle handler runs on every turn.
void FixTextControls();

// The procedure installed on the control windows.
LRESULT CALLBACK TextControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Gives subclassed control windows that still exist their own procedures
// back (at unload); see RestoreSubclassed.
void RestoreTextControls();
