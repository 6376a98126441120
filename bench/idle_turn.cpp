// One idle turn of the event monitor with nothing pending: how long it
// takes and how many host service calls it makes, for a quiet host (no
// front window, nothing watched) and a busy one (every poll watched, a
// main window with a menu, a front window with subclassed text controls).
// The time includes the project's host's own work around each dispatch.
#include <stdio.h>
#include "fllhost.h"

const int Turns = 20000;

static void RegisterClassNamed(const char *name)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = name;
    RegisterClassA(&windowClass);
}

static HWND Window(const char *className, HWND parent, HMENU menu)
{
    DWORD style = parent != nullptr ? WS_CHILD : WS_OVERLAPPEDWINDOW;
    return CreateWindowA(className, "", style, 0, 0, 300, 200, parent, menu,
                         GetModuleHandleA(nullptr), nullptr);
}

static HMENU MenuBar()
{
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(CreatePopupMenu()), "File");
    HMENU edit = CreatePopupMenu();
    for (int i = 0; i < 6; i++)
        AppendMenuA(edit, MF_STRING, 200 + i, "Item");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), "Edit");
    return bar;
}

// Times Turns idle turns after a settling one; prints the figures.
static void Measure(Host *host, const char *what)
{
    HostFireIdle(host);
    int callsBefore = HostServiceTotal(host);
    int frontBefore = HostServiceCount(host, ServiceFrontWindow);
    int hwndBefore = HostServiceCount(host, ServiceWindowToHwnd);
    int ownerBefore = HostServiceCount(host, ServiceOwnerWindow);
    int propertyBefore = HostServiceCount(host, ServiceGetProperty);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < Turns; i++)
        HostFireIdle(host);
    QueryPerformanceCounter(&end);
    double microseconds = double(end.QuadPart - start.QuadPart) * 1e6 / double(frequency.QuadPart) / Turns;
    printf("%-60s %8.2f us per turn, %5.2f host calls per turn "
           "(front window %.2f, window handle %.2f, owner %.2f, property reads %.2f)\n",
           what, microseconds, double(HostServiceTotal(host) - callsBefore) / Turns,
           double(HostServiceCount(host, ServiceFrontWindow) - frontBefore) / Turns,
           double(HostServiceCount(host, ServiceWindowToHwnd) - hwndBefore) / Turns,
           double(HostServiceCount(host, ServiceOwnerWindow) - ownerBefore) / Turns,
           double(HostServiceCount(host, ServiceGetProperty) - propertyBefore) / Turns);
}

int main()
{
    char path[MAX_PATH];
    if (!HostPathBesideProgram("falkmoor.fll", path, sizeof path))
        return 1;
    Host *host = HostOpen(path);
    if (host == nullptr) {
        printf("cannot open the library: %s\n", HostOpenError());
        return 1;
    }
    uint32_t timer = HostNewObject(host);
    HostSetPropertyValue(host, timer, "nReasonMask", FoxInt(0));
    HostSetPropertyValue(host, timer, "Enabled", FoxLogical(false));
    FoxValue quiet[2] = {FoxObject(timer), FoxInt(0)};
    HostCall(host, "fkSetCallbackTimer", quiet, 2, nullptr);
    Measure(host, "quiet: nothing watched, no front window");

    RegisterClassNamed("FkBenchWindow");
    RegisterClassNamed("AfxOleControl42");
    RegisterClassNamed("TX14");
    HWND main = Window("FkBenchWindow", nullptr, MenuBar());
    HWND front = Window("FkBenchWindow", nullptr, nullptr);
    for (int i = 0; i < 4; i++)
        Window("TX14", Window("AfxOleControl42", front, nullptr), nullptr);
    HostRegisterWindow(host, 1, main);
    HostRegisterWindow(host, 2, front);
    HostSetOwnerWindow(host, 1);
    HostSetFrontWindow(host, 2);
    FoxValue busy[2] = {FoxObject(timer), FoxInt(0xff)};
    HostCall(host, "fkSetCallbackTimer", busy, 2, nullptr);
    HostFireIdle(host);
    HostSetPropertyValue(host, timer, "nReasonMask", FoxInt(0));
    Measure(host, "busy: all watched, menu, 4 subclassed text controls");

    // The application has not taken a delivery: one property read a turn.
    FoxValue reasons = FoxInt(1);
    HostCall(host, "fkTriggerCallback", &reasons, 1, nullptr);
    HostSetPropertyValue(host, timer, "nReasonMask", FoxInt(4));
    Measure(host, "busy, a delivery not yet taken by the application");

    HostClose(host);
    DestroyWindow(front);
    DestroyWindow(main);
    return 0;
}
