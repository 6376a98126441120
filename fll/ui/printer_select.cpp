// Printer selection.
#include "printer_select.h"
#include <winspool.h>
#include <commdlg.h>
#include <string.h>
#include "print_dialog.h"
#include "../bridge/handles.h"
#include "../bridge/host_services.h"

// The spooler's default-printer query, imported by its ordinal 201 (see
// winspool_ordinal.def): it fills the buffer with the default printer's
// name, given the buffer's size in characters.
extern "C" BOOL WINAPI DefaultPrinterByOrdinal(char *name, DWORD *size);

VersionCalls versionCalls = {GetVersionExA};
PrinterMemoryCalls printerMemory = {GlobalAlloc, GlobalLock};

// The driver settings that the settings object carries, and only those:
// orientation, paper size, copies, paper source, print quality, colour,
// duplex and collation. Whatever else the driver marks is left to it.
const DWORD ExchangedFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_DEFAULTSOURCE |
                              DM_PRINTQUALITY | DM_COLOR | DM_DUPLEX | DM_COLLATE;
static_assert(ExchangedFields == 0x9F03, "the eight exchanged settings");

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record Windows 95 and NT 4 know");

int32_t GetIntProperty(HostValue *object, const char *name)
{
    HostValue value;
    memset(&value, 0, sizeof value);
    HostGetProperty(&value, object, name);
    if (value.type == 'L')
        return value.length != 0 ? 1 : 0;
    // A text is not a number, but its copy is still ours to free.
    if (value.type == 'C')
        HandleFree(value.handle);
    return value.longValue;
}

uint32_t GetTextProperty(HostValue *object, const char *name, char buffer[PropertyTextBytes])
{
    HostValue value;
    memset(&value, 0, sizeof value);
    HostGetProperty(&value, object, name);
    buffer[0] = '\0';
    if (value.type != 'C')
        return 0;
    const char *text = static_cast<const char *>(HandleToPtr(value.handle));
    uint32_t count = value.length < PropertyTextBytes - 1 ? value.length : PropertyTextBytes - 1;
    if (text != nullptr) {
        memcpy(buffer, text, count);
        buffer[count] = '\0';
    }
    HandleFree(value.handle);
    return static_cast<uint32_t>(strlen(buffer));
}

void SetTextProperty(HostValue *object, const char *name, const char *text)
{
    uint32_t length = static_cast<uint32_t>(strlen(text));
    MemHandle handle = HandleAlloc(length + 1);
    if (handle == 0)
        HostError(HostErrorNoMemory);
    HandleLock(handle);
    memcpy(HandleToPtr(handle), text, length + 1);
    HostValue value;
    memset(&value, 0, sizeof value);
    value.type = 'C';
    value.length = length;
    value.handle = handle;
    HostSetProperty(object, name, &value, 1);
    HandleUnlock(handle);
    HandleFree(handle);
}

void SetIntProperty(HostValue *object, const char *name, int32_t number)
{
    HostValue value;
    memset(&value, 0, sizeof value);
    value.type = 'I';
    value.width = IntegerWidth;
    value.longValue = number;
    HostSetProperty(object, name, &value, 1);
}

void SetLogicalProperty(HostValue *object, const char *name, bool truth)
{
    HostValue value;
    memset(&value, 0, sizeof value);
    value.type = 'L';
    value.length = truth ? 1 : 0;
    HostSetProperty(object, name, &value, 1);
}

bool IsOsVersion5OrLater()
{
    OSVERSIONINFOA info;
    memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    versionCalls.getVersionEx(&info);
    return info.dwMajorVersion >= 5;
}

// The default printer's name, or the empty text when there is none. Before
// Windows 2000 it is the part of the profile's "device" entry (name,
// driver, port) before the first comma after the first character; with no
// entry that leaves a single comma, which no driver knows.
static void DefaultPrinterName(char name[PropertyTextBytes])
{
    name[0] = '\0';
    if (IsOsVersion5OrLater()) {
        DWORD size = PropertyTextBytes;
        if (!DefaultPrinterByOrdinal(name, &size))
            name[0] = '\0';
    } else {
        GetProfileStringA("windows", "device", ",,,", name, PropertyTextBytes);
        char *comma = name[0] != '\0' ? strchr(name + 1, ',') : nullptr;
        if (comma != nullptr)
            *comma = '\0';
    }
    name[PropertyTextBytes - 1] = '\0';
}

// The device name: parameter 1's text when it is character (even empty),
// else "cDevPrinter", else the default printer.
static void ChooseDevice(const HostValue &choice, HostValue *settings,
                         char device[PropertyTextBytes])
{
    device[0] = '\0';
    if (choice.type == 'C') {
        const char *text = static_cast<const char *>(HandleToPtr(choice.handle));
        uint32_t count = choice.length < PropertyTextBytes - 1 ? choice.length : PropertyTextBytes - 1;
        if (text != nullptr && count > 0) {
            memcpy(device, text, count);
            device[count] = '\0';
        }
        return;
    }
    if (GetTextProperty(settings, "cDevPrinter", device) == 0)
        DefaultPrinterName(device);
}

// Copies the settings object into the driver settings block and marks
// exactly the exchanged fields.
static void FillDevMode(DEVMODEA *mode, HostValue *settings)
{
    mode->dmCopies = static_cast<short>(GetIntProperty(settings, "nCopies"));
    mode->dmCollate = GetIntProperty(settings, "lCollate") != 0 ? DMCOLLATE_TRUE : DMCOLLATE_FALSE;
    mode->dmPaperSize = static_cast<short>(GetIntProperty(settings, "nPapersize"));
    mode->dmDefaultSource = static_cast<short>(GetIntProperty(settings, "nPaperBin"));
    mode->dmOrientation = static_cast<short>(GetIntProperty(settings, "nOrientation"));
    mode->dmDuplex = static_cast<short>(GetIntProperty(settings, "nDuplex"));
    mode->dmPrintQuality = static_cast<short>(GetIntProperty(settings, "nQuality"));
    mode->dmColor = static_cast<short>(GetIntProperty(settings, "nColor"));
    mode->dmFields = ExchangedFields;
}

// The direct path: the driver merges and corrects the block, then the
// context is made from it. A driver that dropped the collation asked for
// cannot collate several copies, so one copy is asked for instead; and
// while several copies are pending the settings object is told 1 and no
// collation, which the write-back corrects once a context exists. Any
// non-zero "lCollate" asked for collation, so any non-zero reads as 1
// here: a numeric 2 must not pass for a driver that refused.
static HDC OpenDirectly(HostValue *settings, const char *device, DEVMODEA *mode)
{
    char *name = const_cast<char *>(device);
    DocumentPropertiesA(nullptr, nullptr, name, mode, mode, DM_IN_BUFFER | DM_OUT_BUFFER);
    short askedCollate = GetIntProperty(settings, "lCollate") != 0 ? DMCOLLATE_TRUE : DMCOLLATE_FALSE;
    if (askedCollate != mode->dmCollate)
        mode->dmCopies = 1;
    if (mode->dmCopies > 1) {
        SetIntProperty(settings, "nCopies", 1);
        SetLogicalProperty(settings, "lCollate", false);
    }
    return CreateDCA(nullptr, device, nullptr, mode);
}

// The driver's view of the settings, in the order host code has always
// seen them written.
static void WriteBackSettings(HostValue *settings, const DEVMODEA *mode)
{
    SetIntProperty(settings, "nCopies", mode->dmCopies);
    SetLogicalProperty(settings, "lCollate", mode->dmCollate == DMCOLLATE_TRUE);
    SetIntProperty(settings, "nPapersize", mode->dmPaperSize);
    SetIntProperty(settings, "nPaperBin", mode->dmDefaultSource);
    SetIntProperty(settings, "nOrientation", mode->dmOrientation);
    SetIntProperty(settings, "nDuplex", mode->dmDuplex);
    SetIntProperty(settings, "nQuality", mode->dmPrintQuality);
    SetIntProperty(settings, "nColor", mode->dmColor);
}

// The device names the dialog chose, or the device used when there was no
// dialog. False when the names block cannot be locked.
static bool WriteBackNames(HostValue *settings, HGLOBAL devNames, const char *device)
{
    if (devNames == nullptr) {
        SetTextProperty(settings, "cDevPrinter", device);
        return true;
    }
    const char *names = static_cast<const char *>(printerMemory.lock(devNames));
    if (names == nullptr)
        return false;
    const DEVNAMES *offsets = reinterpret_cast<const DEVNAMES *>(names);
    SetTextProperty(settings, "cDevPrinter", names + offsets->wDeviceOffset);
    SetTextProperty(settings, "cDevDriver", names + offsets->wDriverOffset);
    SetTextProperty(settings, "cDevOutput", names + offsets->wOutputOffset);
    GlobalUnlock(devNames);
    return true;
}

// Writes everything back for a context that exists, and answers the
// context the caller keeps: 0 when the user discarded it or a block could
// not be locked, in which case the context is deleted.
static HDC WriteBack(HostValue *settings, const PrintDialogOutcome &outcome, const char *device)
{
    const DEVMODEA *mode = static_cast<const DEVMODEA *>(printerMemory.lock(outcome.devMode));
    bool written = mode != nullptr;
    if (written) {
        WriteBackSettings(settings, mode);
        GlobalUnlock(outcome.devMode);
        written = WriteBackNames(settings, outcome.devNames, device);
    }
    if (!written || outcome.discard) {
        DeleteDC(outcome.context);
        return nullptr;
    }
    return outcome.context;
}

// Gets a context for the device, directly or through the dialog, and
// writes the outcome back. Every block made here is freed before it
// returns. A block that cannot be had ends the call with 0.
static HDC OpenPrinterContext(bool direct, HostValue *settings, const char *device)
{
    char *name = const_cast<char *>(device);
    LONG size = DocumentPropertiesA(nullptr, nullptr, name, nullptr, nullptr, 0);
    if (size <= 0)
        return nullptr;
    PrintDialogOutcome outcome = {nullptr, printerMemory.alloc(GHND, SIZE_T(size)), nullptr, false};
    if (outcome.devMode == nullptr)
        return nullptr;
    DEVMODEA *mode = static_cast<DEVMODEA *>(printerMemory.lock(outcome.devMode));
    if (mode == nullptr) {
        GlobalFree(outcome.devMode);
        return nullptr;
    }
    DocumentPropertiesA(nullptr, nullptr, name, mode, nullptr, DM_OUT_BUFFER);
    FillDevMode(mode, settings);
    if (direct) {
        outcome.context = OpenDirectly(settings, device, mode);
        GlobalUnlock(outcome.devMode);
    } else {
        GlobalUnlock(outcome.devMode);
        RunPrintDialog(settings, &outcome);
    }
    HDC context = outcome.context != nullptr ? WriteBack(settings, outcome, device) : nullptr;
    if (outcome.devNames != nullptr)
        GlobalFree(outcome.devNames);
    if (outcome.devMode != nullptr)
        GlobalFree(outcome.devMode);
    return context;
}

void fkPrinterOpen(ParamBlock *parameters)
{
    const HostValue &choice = parameters->slots[0].value;
    HostValue *settings = &parameters->slots[1].value;
    char device[PropertyTextBytes];
    ChooseDevice(choice, settings, device);
    HDC context = OpenPrinterContext(choice.length != 0, settings, device);
    HostReturnInt(static_cast<int32_t>(reinterpret_cast<uintptr_t>(context)), IntegerWidth);
}
