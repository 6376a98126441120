// Undoable window subclassing.
#include "subclass.h"

// The library's own image: its base address is this symbol's address.
extern "C" IMAGE_DOS_HEADER __ImageBase;

bool IsLibraryProcedure(LONG_PTR procedure)
{
    HMODULE module = nullptr;
    DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (procedure == 0 || !GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(procedure), &module))
        return false;
    return module == reinterpret_cast<HMODULE>(&__ImageBase);
}

bool SubclassEntryFree(const SubclassEntry *entry)
{
    return entry->window == nullptr || !IsWindow(entry->window);
}

// The live entry of window, or null.
static SubclassEntry *EntryOf(SubclassEntry *entries, int count, HWND window)
{
    for (int i = 0; i < count; i++)
        if (entries[i].window == window && !SubclassEntryFree(&entries[i]))
            return &entries[i];
    return nullptr;
}

// The first free entry, or null.
static SubclassEntry *FirstFreeEntry(SubclassEntry *entries, int count)
{
    for (int i = 0; i < count; i++)
        if (SubclassEntryFree(&entries[i]))
            return &entries[i];
    return nullptr;
}

bool SubclassWindow(SubclassEntry *entries, int count, HWND window, WNDPROC procedure)
{
    if (EntryOf(entries, count, window) != nullptr ||
        IsLibraryProcedure(GetWindowLongA(window, GWL_WNDPROC)))
        return false;
    SubclassEntry *entry = FirstFreeEntry(entries, count);
    if (entry == nullptr)
        return false;
    // The entry is filled before the procedure goes in: the first message
    // may arrive while SetWindowLongA is still running.
    entry->window = window;
    entry->original = reinterpret_cast<WNDPROC>(GetWindowLongA(window, GWL_WNDPROC));
    LONG previous = SetWindowLongA(window, GWL_WNDPROC, reinterpret_cast<LONG>(procedure));
    if (previous == 0) {
        entry->window = nullptr;
        entry->original = nullptr;
        return false;
    }
    entry->original = reinterpret_cast<WNDPROC>(previous);
    return true;
}

LRESULT PassToOriginal(SubclassEntry *entries, int count, HWND window, UINT message,
                       WPARAM wParam, LPARAM lParam)
{
    SubclassEntry *entry = EntryOf(entries, count, window);
    if (entry == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    LRESULT result = CallWindowProcA(entry->original, window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        entry->window = nullptr;
        entry->original = nullptr;
    }
    return result;
}

// Keeps the library's image in the process until the process ends.
static void PinLibrary()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&__ImageBase), &module);
}

bool RestoreSubclassed(SubclassEntry *entries, int count, WNDPROC procedure)
{
    bool pin = false;
    for (int i = 0; i < count; i++) {
        SubclassEntry *entry = &entries[i];
        if (SubclassEntryFree(entry))
            continue;
        if (GetWindowLongA(entry->window, GWL_WNDPROC) != reinterpret_cast<LONG>(procedure)) {
            pin = true;
            continue;
        }
        SetWindowLongA(entry->window, GWL_WNDPROC, reinterpret_cast<LONG>(entry->original));
        entry->window = nullptr;
        entry->original = nullptr;
    }
    if (pin)
        PinLibrary();
    return pin;
}
