// The person at a file dialog; see dialog_driver.h.
#include "dialog_driver.h"
#include <string.h>

LRESULT SendToDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 5000, &answer);
    return LRESULT(answer);
}

static BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM found)
{
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, "#32770") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND *>(found) = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForThreadDialog(DWORD thread, HANDLE stop, int milliseconds)
{
    for (int waited = 0; waited <= milliseconds; waited += 20) {
        HWND dialog = nullptr;
        EnumThreadWindows(thread, FindVisibleDialog, reinterpret_cast<LPARAM>(&dialog));
        if (dialog != nullptr)
            return dialog;
        if (stop == nullptr)
            Sleep(20);
        else if (WaitForSingleObject(stop, 20) == WAIT_OBJECT_0)
            return nullptr;
    }
    return nullptr;
}

// One step. A file type is picked the way Wine notices: the selection
// set, then the end of the selection announced to the dialog.
static void Perform(HWND dialog, const Step &step)
{
    if (step.action == TypeName) {
        SendToDialog(GetDlgItem(dialog, FileNameField), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(step.text));
    } else if (step.action == PickType) {
        HWND types = GetDlgItem(dialog, FileTypeField);
        SendToDialog(types, CB_SETCURSEL, step.number, 0);
        SendToDialog(dialog, WM_COMMAND, MAKEWPARAM(FileTypeField, CBN_SELENDOK),
                     reinterpret_cast<LPARAM>(types));
    } else {
        PostMessageA(dialog, WM_COMMAND, step.number, 0);
    }
}

// Waits for the dialog to go; if it stays, cancels it so the caller ends.
static bool WaitUntilClosed(HWND dialog)
{
    for (int i = 0; i < 500; i++) {
        if (!IsWindow(dialog))
            return true;
        Sleep(20);
    }
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return false;
}

static DWORD WINAPI Drive(void *parameter)
{
    DialogDriver *driver = static_cast<DialogDriver *>(parameter);
    HWND dialog = WaitForThreadDialog(driver->thread, driver->stop, 15000);
    if (dialog == nullptr)
        return 0;
    driver->found = true;
    if (driver->watch != nullptr)
        driver->watch(dialog, nullptr, driver->context);
    bool pressed = false;
    for (int i = 0; i < driver->stepCount; i++) {
        const Step &step = driver->steps[i];
        Perform(dialog, step);
        pressed = pressed || step.action == Press;
        if (step.action != Press && driver->watch != nullptr)
            driver->watch(dialog, &step, driver->context);
    }
    if (!pressed)
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    driver->closed = WaitUntilClosed(dialog) && pressed;
    return 0;
}

bool StartDialogDriver(DialogDriver *driver, DWORD thread, const Step *steps, int stepCount,
                       DialogWatch watch, void *context)
{
    driver->thread = thread;
    driver->steps = steps;
    driver->stepCount = stepCount;
    driver->watch = watch;
    driver->context = context;
    driver->found = false;
    driver->closed = false;
    driver->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    driver->worker = CreateThread(nullptr, 0, Drive, driver, 0, nullptr);
    return driver->worker != nullptr;
}

void FinishDialogDriver(DialogDriver *driver)
{
    SetEvent(driver->stop);
    if (driver->worker != nullptr) {
        WaitForSingleObject(driver->worker, 30000);
        CloseHandle(driver->worker);
    }
    CloseHandle(driver->stop);
    driver->worker = nullptr;
    driver->stop = nullptr;
}
