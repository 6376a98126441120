// Unloading the library while windows it subclassed are still open: no
// window may be left calling into the unloaded library. Each window gets
// its own procedure back; where someone subclassed it after the library,
// the library stays loaded instead.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include "fllhost.h"

const UINT Probe = WM_USER + 3;
const LRESULT ProbeAnswer = 0x55;
const uint32_t FrontHostWindow = 10, DialogHostWindow = 20;
// Set in the environment of the second process that the pin test runs.
const char ChildVariable[] = "FK_UNLOAD_CHILD";

static int controlProbes, dialogPaints, foreignProbes;

static LRESULT CALLBACK Tx14Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == Probe) {
        controlProbes++;
        return ProbeAnswer;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static INT_PTR CALLBACK StandInDialog(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message != WM_PAINT)
        return FALSE;
    dialogPaints++;
    PAINTSTRUCT paint;
    BeginPaint(dialog, &paint);
    EndPaint(dialog, &paint);
    return TRUE;
}

static WNDPROC foreignNext[2];
static LRESULT CALLBACK ForeignControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == Probe)
        foreignProbes++;
    return CallWindowProcA(foreignNext[0], window, message, wParam, lParam);
}

static LRESULT CALLBACK ForeignDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcA(foreignNext[1], window, message, wParam, lParam);
}

static void RegisterClassNamed(const char *name, WNDPROC procedure)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = name;
    RegisterClassA(&windowClass);
}

static HWND Child(HWND parent, const char *className)
{
    return CreateWindowA(className, "", WS_CHILD | WS_VISIBLE, 0, 0, 200, 100, parent, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

static HWND StandInDialog273()
{
    struct alignas(4) Template {
        DLGTEMPLATE dialog;
        WORD menu, windowClass, title;
    } layout = {};
    layout.dialog.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
    layout.dialog.cx = 100;
    layout.dialog.cy = 50;
    HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &layout.dialog, nullptr,
                                             StandInDialog, 0);
    SetWindowPos(dialog, nullptr, 300, 200, 273, 150, SWP_NOZORDER);
    return dialog;
}

static int Repaint(HWND window)
{
    int before = dialogPaints;
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    return dialogPaints - before;
}

// What a test has open: a front window with two text controls and a
// prompted dialog, all subclassed by the library.
struct OpenWindows {
    HWND front, controls[2], dialog;
    LONG dialogProcedure;  // before the library subclassed it
};

static Host *OpenWithWindows(OpenWindows *windows)
{
    RegisterClassNamed("FkFrontWindow", DefWindowProcA);
    RegisterClassNamed("AfxOleControl42", DefWindowProcA);
    RegisterClassNamed("TX14", Tx14Proc);
    char path[MAX_PATH];
    if (!HostPathBesideProgram("falkmoor.fll", path, sizeof path))
        return nullptr;
    Host *host = HostOpen(path);
    if (host == nullptr)
        return nullptr;
    windows->front = CreateWindowA("FkFrontWindow", "front", WS_OVERLAPPEDWINDOW, 0, 0, 500, 300,
                                   nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    for (HWND &control : windows->controls)
        control = Child(Child(windows->front, "AfxOleControl42"), "TX14");
    windows->dialog = StandInDialog273();
    windows->dialogProcedure = GetWindowLongA(windows->dialog, GWL_WNDPROC);
    HostRegisterWindow(host, FrontHostWindow, windows->front);
    HostSetFrontWindow(host, FrontHostWindow);
    HostRegisterWindow(host, DialogHostWindow, windows->dialog);
    FoxValue args[2] = {FoxString("Unload"), FoxString("Message")};
    HostCall(host, "fkSetConfirmPrompt", args, 2, nullptr);
    FoxEvent opened = {1, 0, 0};
    HostFireEvent(host, DialogHostWindow, &opened, nullptr);
    HostFireIdle(host);
    return host;
}

static bool InLibrary(Host *host, LONG procedure)
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(procedure), &module);
    return module != nullptr && module == HostModule(host);
}

TEST(Unload, PutsProceduresBack)
{
    OpenWindows windows;
    Host *host = OpenWithWindows(&windows);
    ASSERT_NE(host, nullptr) << HostOpenError();
    for (HWND control : windows.controls)
        ASSERT_TRUE(InLibrary(host, GetWindowLongA(control, GWL_WNDPROC)));
    ASSERT_TRUE(InLibrary(host, GetWindowLongA(windows.dialog, GWL_WNDPROC)));
    EXPECT_EQ(HostClose(host), 0);
    EXPECT_EQ(GetModuleHandleA("falkmoor.fll"), nullptr) << "the library is gone";
    for (HWND control : windows.controls) {
        EXPECT_EQ(GetWindowLongA(control, GWL_WNDPROC), reinterpret_cast<LONG>(Tx14Proc));
        SetLastError(0xdeadbeef);
        EXPECT_EQ(SendMessageA(control, Probe, 0, 0), ProbeAnswer);
        SendMessageA(control, WM_VSCROLL, SB_ENDSCROLL, 0);
    }
    EXPECT_EQ(controlProbes, 2);
    EXPECT_EQ(GetWindowLongA(windows.dialog, GWL_WNDPROC), windows.dialogProcedure);
    EXPECT_EQ(Repaint(windows.dialog), 1);
    DestroyWindow(windows.dialog);
    DestroyWindow(windows.front);
}

// Runs in a second process: a pinned library stays in the process for
// good, which would spoil every later session of this one.
TEST(Unload, PinsWhenSubclassedSince)
{
    if (getenv(ChildVariable) == nullptr) {
        char program[MAX_PATH];
        GetModuleFileNameA(nullptr, program, MAX_PATH);
        char commandLine[MAX_PATH + 64];
        wsprintfA(commandLine, "\"%s\" --gtest_filter=Unload.PinsWhenSubclassedSince", program);
        SetEnvironmentVariableA(ChildVariable, "1");
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        BOOL started = CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &process);
        SetEnvironmentVariableA(ChildVariable, nullptr);
        ASSERT_TRUE(started) << "error " << GetLastError();
        WaitForSingleObject(process.hProcess, 60000);
        DWORD code = 0xdeadbeef;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EXPECT_EQ(code, 0u) << "the second process failed (its output is above)";
        return;
    }
    OpenWindows windows;
    Host *host = OpenWithWindows(&windows);
    ASSERT_NE(host, nullptr) << HostOpenError();
    // Someone else subclasses the first control and the dialog after the
    // library: their chains now run through the library's procedures.
    foreignNext[0] = reinterpret_cast<WNDPROC>(SetWindowLongA(
        windows.controls[0], GWL_WNDPROC, reinterpret_cast<LONG>(ForeignControlProc)));
    foreignNext[1] = reinterpret_cast<WNDPROC>(SetWindowLongA(
        windows.dialog, GWL_WNDPROC, reinterpret_cast<LONG>(ForeignDialogProc)));
    ASSERT_TRUE(InLibrary(host, LONG(foreignNext[0])));
    HMODULE module = HostModule(host);
    EXPECT_EQ(HostClose(host), 0);
    EXPECT_EQ(GetModuleHandleA("falkmoor.fll"), module) << "pinned, so still loaded";
    EXPECT_EQ(GetWindowLongA(windows.controls[1], GWL_WNDPROC), reinterpret_cast<LONG>(Tx14Proc))
        << "the window nobody else touched is restored";
    EXPECT_EQ(SendMessageA(windows.controls[0], Probe, 0, 0), ProbeAnswer);
    EXPECT_EQ(foreignProbes, 1);
    EXPECT_EQ(controlProbes, 1) << "through the library's procedure to the control's own";
    EXPECT_EQ(SendMessageA(windows.controls[1], Probe, 0, 0), ProbeAnswer);
    EXPECT_EQ(Repaint(windows.dialog), 1) << "the dialog's chain still paints";
    DestroyWindow(windows.dialog);
    DestroyWindow(windows.front);
}
