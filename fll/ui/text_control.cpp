// The text-control scroll fix.
#include "text_control.h"
#include "../bridge/host_services.h"
#include "subclass.h"

// At most this many control windows are subclassed at a time; each entry
// keeps the procedure its own window had, so windows of different control
// versions, or subclassed by someone else first, each go back to theirs.
const int TextControlEntries = 12;
static SubclassEntry textControls[TextControlEntries];

// Set by a thumb-position scroll, cleared by the system command it
// swallows; shared by all subclassed windows, as is the mouse position.
static bool thumbPositioned;
static LPARAM lastMousePos;

// Scroll codes acted on.
const WORD ScrollThumbPosition = SB_THUMBPOSITION;  // 4
const WORD ScrollEnd = SB_ENDSCROLL;                // 8

// The control window inside a container: its first "TX14" child, else
// its first "TX13" child, else none.
static HWND ControlOf(HWND container)
{
    HWND control = FindWindowExA(container, nullptr, "TX14", nullptr);
    if (control == nullptr)
        control = FindWindowExA(container, nullptr, "TX13", nullptr);
    return control;
}

// Only containers that are direct children of the front window, and only
// their direct children, are looked at.
void FixTextControls()
{
    HWND front = HostWindowToHwnd(HostFrontWindow(1));
    if (front == nullptr)
        return;
    HWND container = nullptr;
    while ((container = FindWindowExA(front, container, "AfxOleControl42", nullptr)) != nullptr) {
        HWND control = ControlOf(container);
        if (control == nullptr ||
            GetWindowLongA(control, GWL_WNDPROC) == reinterpret_cast<LONG>(TextControlProc))
            continue;
        // Windows already in the table (subclassed again by someone else
        // since) and windows beyond a full table are left as they are.
        SubclassWindow(textControls, TextControlEntries, control, TextControlProc);
    }
}

// The end of a scroll: the control gets a button-up at the last mouse
// position before it sees the scroll message, and its bar is redrawn.
static void EndScroll(HWND window, UINT message)
{
    PostMessageA(window, WM_LBUTTONUP, 0, lastMousePos);
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = 0;
    SetScrollInfo(window, message == WM_VSCROLL ? SB_VERT : SB_HORZ, &info, TRUE);
}

// Each message is handled by its own kind only: a system command that is
// not swallowed does not record a mouse position, and a mouse move's key
// flags are not read as scroll codes (Shift and Ctrl would otherwise pass
// for 4 and 8 and post button-ups while the mouse merely moves).
LRESULT CALLBACK TextControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SYSCOMMAND:
        if (thumbPositioned) {
            thumbPositioned = false;
            return 0;
        }
        break;
    case WM_MOUSEMOVE:
        lastMousePos = lParam;
        break;
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (LOWORD(wParam) == ScrollThumbPosition)
            thumbPositioned = true;
        else if (LOWORD(wParam) == ScrollEnd)
            EndScroll(window, message);
        break;
    }
    return PassToOriginal(textControls, TextControlEntries, window, message, wParam, lParam);
}

void RestoreTextControls()
{
    RestoreSubclassed(textControls, TextControlEntries, TextControlProc);
}
