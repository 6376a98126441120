// The text-control scroll fix on real windows: a front window holding
// "AfxOleControl42" containers with "TX14" and "TX13" children, classes
// registered here, found and subclassed by the idle handler.
#include <gtest/gtest.h>
#include <string.h>
#include <vector>
#include "fllhost.h"

const UINT Probe = WM_USER + 1;        // answered 0x77 by the controls' own procedures
const LRESULT ProbeAnswer = 0x77;
const uint32_t FrontHostWindow = 10;

// One message as a window procedure of the tests saw it.
struct Seen {
    char by;          // 'A' the TX14 class, 'B' the TX13 class, 'S' a foreign subclass
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool buttonUpQueued;  // a WM_LBUTTONUP was waiting in the queue
    LPARAM queuedAt;      // and its lParam
};
static std::vector<Seen> seen;

static void Record(char by, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Seen entry = {by, window, message, wParam, lParam, false, 0};
    MSG queued;
    if (PeekMessageA(&queued, window, WM_LBUTTONUP, WM_LBUTTONUP, PM_NOREMOVE)) {
        entry.buttonUpQueued = true;
        entry.queuedAt = queued.lParam;
    }
    seen.push_back(entry);
}

// The messages the tests send: recorded, and answered without the default
// procedure (a system command must not really run).
static bool Watched(UINT message)
{
    return message == Probe || message == WM_SYSCOMMAND || message == WM_MOUSEMOVE ||
           message == WM_VSCROLL || message == WM_HSCROLL || message == WM_LBUTTONUP;
}

static LRESULT ControlAnswer(char by, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!Watched(message))
        return DefWindowProcA(window, message, wParam, lParam);
    Record(by, window, message, wParam, lParam);
    return message == Probe ? ProbeAnswer : 0;
}

static LRESULT CALLBACK Tx14Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ControlAnswer('A', window, message, wParam, lParam);
}

static LRESULT CALLBACK Tx13Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ControlAnswer('B', window, message, wParam, lParam);
}

// Someone else's subclass: records, then passes on to what it replaced.
static WNDPROC foreignNext;
static LRESULT CALLBACK ForeignProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == Probe)
        Record('S', window, message, wParam, lParam);
    return CallWindowProcA(foreignNext, window, message, wParam, lParam);
}

static void RegisterClassNamed(const char *name, WNDPROC procedure)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = name;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&windowClass);
}

static HWND Child(HWND parent, const char *className, DWORD style = 0)
{
    return CreateWindowA(className, "", WS_CHILD | WS_VISIBLE | style, 0, 0, 200, 120, parent,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}

class TextControl : public ::testing::Test {
protected:
    Host *host = nullptr;
    HWND front = nullptr;
    static void SetUpTestSuite()
    {
        RegisterClassNamed("FkFrontWindow", DefWindowProcA);
        RegisterClassNamed("FkPlainChild", DefWindowProcA);
        RegisterClassNamed("AfxOleControl42", DefWindowProcA);
        RegisterClassNamed("TX14", Tx14Proc);
        RegisterClassNamed("TX13", Tx13Proc);
    }
    void SetUp() override
    {
        seen.clear();
        char path[MAX_PATH];
        ASSERT_TRUE(HostPathBesideProgram("falkmoor.fll", path, sizeof path));
        host = HostOpen(path);
        ASSERT_NE(host, nullptr) << HostOpenError();
        front = CreateWindowA("FkFrontWindow", "front", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                              600, 400, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(front, nullptr);
        HostRegisterWindow(host, FrontHostWindow, front);
        HostSetFrontWindow(host, FrontHostWindow);
    }
    void TearDown() override
    {
        if (host != nullptr) {
            EXPECT_EQ(HostClose(host), 0) << "handles leaked over the session";
        }
        DestroyWindow(front);
    }
    void Idle()
    {
        EXPECT_EQ(HostFireIdle(host), 0u);
    }
    // True when the window runs a procedure of the library.
    bool Subclassed(HWND window)
    {
        HMODULE module = nullptr;
        LONG procedure = GetWindowLongA(window, GWL_WNDPROC);
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(procedure), &module);
        return module != nullptr && module == HostModule(host);
    }
    // The messages of a kind that window's procedures saw, in order.
    std::vector<Seen> SeenBy(HWND window, UINT message)
    {
        std::vector<Seen> found;
        for (const Seen &entry : seen)
            if (entry.window == window && entry.message == message)
                found.push_back(entry);
        return found;
    }
};

TEST_F(TextControl, WhichWindowsAreSubclassed)
{
    HWND both = Child(front, "AfxOleControl42");
    HWND both14 = Child(both, "TX14");
    HWND both13 = Child(both, "TX13");
    HWND only13 = Child(Child(front, "AfxOleControl42"), "TX13");
    HWND empty = Child(front, "AfxOleControl42");
    HWND grandchild = Child(Child(Child(front, "AfxOleControl42"), "FkPlainChild"), "TX14");
    HWND deepContainer = Child(Child(Child(front, "FkPlainChild"), "AfxOleControl42"), "TX14");
    HWND bare = Child(front, "TX14");
    HWND other = CreateWindowA("FkFrontWindow", "other", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                               nullptr, nullptr, nullptr, nullptr);
    HWND elsewhere = Child(Child(other, "AfxOleControl42"), "TX14");
    ASSERT_NE(empty, nullptr);

    HostSetFrontWindow(host, 0);
    Idle();
    EXPECT_FALSE(Subclassed(both14)) << "no front window: nothing";
    HostSetFrontWindow(host, FrontHostWindow);
    Idle();
    struct Case {
        const char *what;
        HWND window;
        bool subclassed;
    } cases[] = {
        {"TX14 beside a TX13", both14, true},
        {"TX13 beside a TX14", both13, false},
        {"TX13 alone", only13, true},
        {"TX14 below a plain child of a container", grandchild, false},
        {"container below a plain child of the front", deepContainer, false},
        {"TX14 without container", bare, false},
        {"TX14 on another window", elsewhere, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Subclassed(c.window), c.subclassed) << c.what;

    // Subclassed once: later turns change nothing, and a message reaches
    // the control's own procedure exactly once, with its answer back.
    LONG procedure = GetWindowLongA(both14, GWL_WNDPROC);
    Idle();
    Idle();
    EXPECT_EQ(GetWindowLongA(both14, GWL_WNDPROC), procedure);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SendMessageA(both14, Probe, 1, 2), ProbeAnswer);
    EXPECT_EQ(SeenBy(both14, Probe).size(), 1u);
    EXPECT_EQ(SendMessageA(only13, Probe, 1, 2), ProbeAnswer);
    ASSERT_EQ(SeenBy(only13, Probe).size(), 1u);
    EXPECT_EQ(SeenBy(only13, Probe)[0].by, 'B') << "the TX13 window's own procedure";
    DestroyWindow(other);
}

TEST_F(TextControl, TwelveAtATime)
{
    const int Count = 13;
    HWND containers[Count], controls[Count];
    for (int i = 0; i < Count; i++) {
        containers[i] = Child(front, "AfxOleControl42");
        controls[i] = Child(containers[i], "TX14");
    }
    Idle();
    int subclassed = 0, left = -1;
    for (int i = 0; i < Count; i++) {
        if (Subclassed(controls[i]))
            subclassed++;
        else
            left = i;
    }
    EXPECT_EQ(subclassed, 12);
    ASSERT_GE(left, 0);
    Idle();
    EXPECT_FALSE(Subclassed(controls[left])) << "still no free entry";
    int gone = left == 0 ? 1 : 0;
    DestroyWindow(containers[gone]);
    Idle();
    EXPECT_TRUE(Subclassed(controls[left])) << "took the freed entry";
    EXPECT_EQ(SendMessageA(controls[left], Probe, 0, 0), ProbeAnswer);
    // A control destroyed on its own (container left) frees its entry too.
    HWND extra = Child(Child(front, "AfxOleControl42"), "TX14");
    Idle();
    EXPECT_FALSE(Subclassed(extra));
    DestroyWindow(controls[left]);
    Idle();
    EXPECT_TRUE(Subclassed(extra));
}

TEST_F(TextControl, ScrollHandling)
{
    HWND control = Child(Child(front, "AfxOleControl42"), "TX14", WS_VSCROLL | WS_HSCROLL);
    HWND second = Child(Child(front, "AfxOleControl42"), "TX13");
    Idle();
    ASSERT_TRUE(Subclassed(control));
    ASSERT_TRUE(Subclassed(second));
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
    seen.clear();

    // The end of a scroll: a button-up at the last mouse position is
    // queued before the control sees the scroll message.
    const LPARAM at = MAKELPARAM(15, 25);
    SendMessageA(control, WM_MOUSEMOVE, 0, at);
    for (UINT scroll : {WM_VSCROLL, WM_HSCROLL}) {
        SCOPED_TRACE(scroll == WM_VSCROLL ? "vertical" : "horizontal");
        seen.clear();
        SendMessageA(control, scroll, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
        std::vector<Seen> scrolls = SeenBy(control, scroll);
        ASSERT_EQ(scrolls.size(), 1u);
        EXPECT_TRUE(scrolls[0].buttonUpQueued);
        EXPECT_EQ(scrolls[0].queuedAt, at);
        ASSERT_TRUE(PeekMessageA(&message, control, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE));
        EXPECT_EQ(message.wParam, 0u);
        EXPECT_EQ(message.lParam, at);
        EXPECT_FALSE(PeekMessageA(&message, control, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE))
            << "one button-up";
    }
    // Other scroll codes post nothing.
    for (WORD code : {SB_LINEDOWN, SB_THUMBTRACK, SB_PAGEUP}) {
        SendMessageA(control, WM_VSCROLL, MAKEWPARAM(code, 0), 0);
        EXPECT_FALSE(PeekMessageA(&message, control, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE))
            << "code " << code;
    }

    // A thumb-position scroll swallows the next system command, on any
    // subclassed window, once.
    seen.clear();
    SendMessageA(control, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 40), 0);
    EXPECT_EQ(SeenBy(control, WM_VSCROLL).size(), 1u) << "the scroll itself passes";
    EXPECT_EQ(SendMessageA(second, WM_SYSCOMMAND, SC_KEYMENU, 0), 0);
    EXPECT_EQ(SeenBy(second, WM_SYSCOMMAND).size(), 0u) << "swallowed";
    SendMessageA(control, WM_SYSCOMMAND, SC_KEYMENU, 0);
    EXPECT_EQ(SeenBy(control, WM_SYSCOMMAND).size(), 1u) << "the next one passes";
    SendMessageA(control, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 3), 0);
    SendMessageA(control, WM_SYSCOMMAND, SC_KEYMENU, 0);
    EXPECT_EQ(SeenBy(control, WM_SYSCOMMAND).size(), 1u) << "horizontal thumb position too";

    // Each message only does its own part: a mouse move's key flags (8 is
    // Ctrl, 4 Shift) are no scroll codes, and a system command that passes
    // records no mouse position.
    SendMessageA(control, WM_MOUSEMOVE, MK_CONTROL, MAKELPARAM(1, 2));
    EXPECT_FALSE(PeekMessageA(&message, control, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE))
        << "a Ctrl mouse move posts no button-up";
    SendMessageA(control, WM_MOUSEMOVE, MK_SHIFT, MAKELPARAM(1, 2));
    seen.clear();
    SendMessageA(control, WM_SYSCOMMAND, SC_KEYMENU, 0);
    EXPECT_EQ(SeenBy(control, WM_SYSCOMMAND).size(), 1u) << "a Shift mouse move arms nothing";
    SendMessageA(control, WM_SYSCOMMAND, SB_ENDSCROLL, MAKELPARAM(99, 99));
    EXPECT_FALSE(PeekMessageA(&message, control, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE))
        << "a system command is no scroll";
    SendMessageA(control, WM_VSCROLL, SB_ENDSCROLL, 0);
    ASSERT_TRUE(PeekMessageA(&message, control, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE));
    EXPECT_EQ(message.lParam, MAKELPARAM(1, 2)) << "the last mouse move's position";
    // The position is shared by all subclassed windows.
    SendMessageA(second, WM_MOUSEMOVE, 0, MAKELPARAM(7, 8));
    SendMessageA(control, WM_VSCROLL, SB_ENDSCROLL, 0);
    ASSERT_TRUE(PeekMessageA(&message, control, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE));
    EXPECT_EQ(message.lParam, MAKELPARAM(7, 8));
}

// Reads the colour of a pixel of the window, non-client area included.
static COLORREF WindowPixel(HWND window, int x, int y)
{
    HDC dc = GetWindowDC(window);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

// The bar of the scroll that ended is drawn again: paint over it, end a
// scroll, and look.
TEST_F(TextControl, EndOfScrollRedrawsTheBar)
{
    HWND control = Child(Child(front, "AfxOleControl42"), "TX14", WS_VSCROLL | WS_HSCROLL);
    UpdateWindow(front);
    Idle();
    ASSERT_TRUE(Subclassed(control));
    RECT outer;
    GetWindowRect(control, &outer);
    int width = outer.right - outer.left, height = outer.bottom - outer.top;
    int barWidth = GetSystemMetrics(SM_CXVSCROLL), barHeight = GetSystemMetrics(SM_CYHSCROLL);
    // Points in the middle of the vertical and the horizontal bar.
    POINT vertical = {width - barWidth / 2 - 1, height / 2};
    POINT horizontal = {width / 2, height - barHeight / 2 - 1};
    const COLORREF red = RGB(255, 0, 0);
    struct Case {
        UINT message;
        WORD code;
        bool verticalDrawn, horizontalDrawn;
    } cases[] = {
        {WM_VSCROLL, SB_ENDSCROLL, true, false},
        {WM_HSCROLL, SB_ENDSCROLL, false, true},
        {WM_VSCROLL, SB_LINEDOWN, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "message " << c.message << " code " << c.code);
        HDC dc = GetWindowDC(control);
        HBRUSH brush = CreateSolidBrush(red);
        RECT all = {0, 0, width, height};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        ReleaseDC(control, dc);
        ASSERT_EQ(WindowPixel(control, vertical.x, vertical.y), red);
        SendMessageA(control, c.message, MAKEWPARAM(c.code, 0), 0);
        EXPECT_EQ(WindowPixel(control, vertical.x, vertical.y) != red, c.verticalDrawn);
        EXPECT_EQ(WindowPixel(control, horizontal.x, horizontal.y) != red, c.horizontalDrawn);
    }
}

// Each window goes on to its own procedure: a TX13, a TX14 and a TX14
// that someone subclassed before the library.
TEST_F(TextControl, EachWindowKeepsItsOwnProcedure)
{
    HWND plain = Child(Child(front, "AfxOleControl42"), "TX14");
    HWND older = Child(Child(front, "AfxOleControl42"), "TX13");
    HWND foreign = Child(Child(front, "AfxOleControl42"), "TX14");
    foreignNext = reinterpret_cast<WNDPROC>(
        SetWindowLongA(foreign, GWL_WNDPROC, reinterpret_cast<LONG>(ForeignProc)));
    Idle();
    for (HWND window : {plain, older, foreign})
        ASSERT_TRUE(Subclassed(window));
    for (HWND window : {plain, older, foreign})
        EXPECT_EQ(SendMessageA(window, Probe, 0, 0), ProbeAnswer);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].by, 'A');
    EXPECT_EQ(seen[1].by, 'B');
    EXPECT_EQ(seen[2].by, 'S') << "the earlier subclass still runs";
    EXPECT_EQ(seen[3].by, 'A');
}

// Someone subclasses a control after the library: the pass must not take
// it again (its procedure is no longer the library's, but its chain still
// runs through it).
TEST_F(TextControl, NeverSubclassedTwice)
{
    HWND control = Child(Child(front, "AfxOleControl42"), "TX14");
    Idle();
    ASSERT_TRUE(Subclassed(control));
    foreignNext = reinterpret_cast<WNDPROC>(
        SetWindowLongA(control, GWL_WNDPROC, reinterpret_cast<LONG>(ForeignProc)));
    Idle();
    Idle();
    EXPECT_EQ(GetWindowLongA(control, GWL_WNDPROC), reinterpret_cast<LONG>(ForeignProc));
    EXPECT_EQ(SendMessageA(control, Probe, 0, 0), ProbeAnswer);
    ASSERT_EQ(seen.size(), 2u) << "once through each procedure";
    EXPECT_EQ(seen[0].by, 'S');
    EXPECT_EQ(seen[1].by, 'A');
    // The thumb flag still works through the chain.
    SendMessageA(control, WM_VSCROLL, SB_THUMBPOSITION, 0);
    seen.clear();
    SendMessageA(control, WM_SYSCOMMAND, SC_KEYMENU, 0);
    EXPECT_EQ(SeenBy(control, WM_SYSCOMMAND).size(), 0u);
    // Put the window back as it was, so that unloading has nothing to pin.
    SetWindowLongA(control, GWL_WNDPROC, reinterpret_cast<LONG>(foreignNext));
}
