// Window subclassing that the library can undo: each subclassed window
// keeps the procedure it had before, a window that already runs one of the
// library's procedures is never subclassed again, and at unload every
// window gets its own procedure back, or the library stays loaded where
// that is impossible.
#pragma once
#include <windows.h>

// One window the library subclassed and the procedure it had before.
// window 0 marks a free entry.
struct SubclassEntry {
    HWND window;
    WNDPROC original;
};

// True when procedure lies in the library's own image.
bool IsLibraryProcedure(LONG_PTR procedure);

// True when entry is free: never used, or its window is gone.
bool SubclassEntryFree(const SubclassEntry *entry);

// Installs procedure on window and records the window and its previous
// procedure in the first free entry. Refuses (false, nothing changed) when
// the window already is in entries, or its procedure already is one of
// the library's: a second subclassing would save the library's own
// procedure (or a chain that leads back to it) as the original, and the
// window would call itself forever. Refuses as well when no entry is free.
bool SubclassWindow(SubclassEntry *entries, int count, HWND window, WNDPROC procedure);

// Runs a message through the procedure window had before it was
// subclassed into one of entries, and answers its result. The entry is
// freed when the window's last message (WM_NCDESTROY) has passed. A window
// not found in entries gets the default procedure.
LRESULT PassToOriginal(SubclassEntry *entries, int count, HWND window, UINT message,
                       WPARAM wParam, LPARAM lParam);

// Gives every live window in entries its own procedure back, where its
// procedure still is procedure. Where someone subclassed the window after
// the library, its chain still runs through procedure: the entry is kept
// and the library is pinned in the process instead. Answers true when it
// pinned.
bool RestoreSubclassed(SubclassEntry *entries, int count, WNDPROC procedure);
