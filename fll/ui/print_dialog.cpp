// Print dialogs.
#include "print_dialog.h"
// The property-sheet dialog's records are declared only where COM is.
#include <objbase.h>
#include <commdlg.h>
#include <stdio.h>
#include <string.h>
#include "printer_select.h"
#include "../bridge/host_services.h"

PrintDialogBinding printDialogBinding = {LoadLibraryA, GetProcAddress, FreeLibrary};

static_assert(sizeof(PRINTDLGEXA) == 84, "the property-sheet dialog checks the record's size");
static_assert(sizeof(PRINTDLGA) == 66, "the classic dialog checks the record's size");

typedef HRESULT(WINAPI *PrintDlgExCall)(PRINTDLGEXA *record);

// Page ranges the property-sheet dialog is offered and can give back.
const DWORD PageRangeSlots = 7;

// "nFromPage" or "nToPage" with the range's digit appended.
static void RangeName(char name[16], const char *stem, DWORD k)
{
    snprintf(name, 16, "%s%lu", stem, static_cast<unsigned long>(k));
}

static void CopyName(BYTE *block, WORD offset, const char *text, uint32_t length)
{
    memcpy(block + offset, text, length + 1);
}

// The device-name block from the settings object's three texts, each with
// its NUL, driver first; built also when the texts are empty. Null when it
// cannot be had.
static HGLOBAL BuildDevNames(HostValue *settings)
{
    char device[PropertyTextBytes], driver[PropertyTextBytes], output[PropertyTextBytes];
    uint32_t deviceLength = GetTextProperty(settings, "cDevPrinter", device);
    uint32_t driverLength = GetTextProperty(settings, "cDevDriver", driver);
    uint32_t outputLength = GetTextProperty(settings, "cDevOutput", output);
    SIZE_T size = sizeof(DEVNAMES) + (driverLength + 1) + (deviceLength + 1) + (outputLength + 1);
    HGLOBAL block = printerMemory.alloc(GHND, size);
    if (block == nullptr)
        return nullptr;
    BYTE *bytes = static_cast<BYTE *>(printerMemory.lock(block));
    if (bytes == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    DEVNAMES *names = reinterpret_cast<DEVNAMES *>(bytes);
    names->wDriverOffset = sizeof(DEVNAMES);
    names->wDeviceOffset = static_cast<WORD>(names->wDriverOffset + driverLength + 1);
    names->wOutputOffset = static_cast<WORD>(names->wDeviceOffset + deviceLength + 1);
    names->wDefault = 0;
    CopyName(bytes, names->wDriverOffset, driver, driverLength);
    CopyName(bytes, names->wDeviceOffset, device, deviceLength);
    CopyName(bytes, names->wOutputOffset, output, outputLength);
    GlobalUnlock(block);
    return block;
}

// The dialog's options from the settings object. The classic dialog has
// no current-page choice: it opens on all pages instead.
static DWORD OptionFlags(HostValue *settings, bool propertySheet)
{
    DWORD flags = 0;
    switch (GetIntProperty(settings, "nPageRangeType")) {
    case 1:
        if (propertySheet)
            flags |= PD_CURRENTPAGE;
        break;
    case 2:
        flags |= PD_SELECTION;
        break;
    case 3:
        flags |= PD_PAGENUMS;
        break;
    default:
        break;
    }
    if (GetIntProperty(settings, "lAllowPrintToFile") == 0)
        flags |= PD_DISABLEPRINTTOFILE;
    if (GetIntProperty(settings, "lAllowPrintSelection") == 0)
        flags |= PD_NOSELECTION;
    if (GetIntProperty(settings, "lAllowPrintRange") == 0)
        flags |= PD_NOPAGENUMS;
    if (GetIntProperty(settings, "lCollate") != 0)
        flags |= PD_COLLATE;
    return flags;
}

// The page limits and all seven ranges, whatever "nPageRanges" says.
static void ReadPageRanges(HostValue *settings, PRINTDLGEXA *record, PRINTPAGERANGE *ranges)
{
    record->lpPageRanges = ranges;
    record->nMaxPageRanges = PageRangeSlots;
    record->nPageRanges = static_cast<DWORD>(GetIntProperty(settings, "nPageRanges"));
    record->nMinPage = static_cast<DWORD>(GetIntProperty(settings, "nMinPage"));
    record->nMaxPage = static_cast<DWORD>(GetIntProperty(settings, "nMaxPage"));
    char name[16];
    for (DWORD k = 1; k <= PageRangeSlots; k++) {
        RangeName(name, "nFromPage", k);
        ranges[k - 1].nFromPage = static_cast<DWORD>(GetIntProperty(settings, name));
        RangeName(name, "nToPage", k);
        ranges[k - 1].nToPage = static_cast<DWORD>(GetIntProperty(settings, name));
    }
}

// Looks the dialog up and shows it. A missing library or entry point, or a
// failing call, leaves no context and says nothing: the caller sees 0.
static void ShowPropertySheetDialog(PRINTDLGEXA *record, PrintDialogOutcome *outcome)
{
    HMODULE module = printDialogBinding.loadLibrary("Comdlg32.dll");
    if (module == nullptr)
        return;
    PrintDlgExCall call = reinterpret_cast<PrintDlgExCall>(
        reinterpret_cast<void *>(printDialogBinding.getProcAddress(module, "PrintDlgExA")));
    if (call != nullptr && call(record) == S_OK) {
        outcome->context = record->hDC;
        outcome->discard = record->dwResultAction != PD_RESULT_PRINT;
    }
    printDialogBinding.freeLibrary(module);
}

// The page-range choice and what the application must do itself, from
// the record as the dialog left it (or as it was filled, when the dialog
// never ran).
static void WriteBackPropertySheet(HostValue *settings, const PRINTDLGEXA &record,
                                   const PRINTPAGERANGE *ranges)
{
    SetIntProperty(settings, "nPageRangeType", 0);
    if (record.Flags & PD_PAGENUMS) {
        SetIntProperty(settings, "nPageRangeType", 3);
        SetIntProperty(settings, "nPageRanges", static_cast<int32_t>(record.nPageRanges));
        char name[16];
        for (DWORD k = 1; ranges != nullptr && k <= record.nPageRanges && k <= PageRangeSlots; k++) {
            RangeName(name, "nFromPage", k);
            SetIntProperty(settings, name, static_cast<int32_t>(ranges[k - 1].nFromPage));
            RangeName(name, "nToPage", k);
            SetIntProperty(settings, name, static_cast<int32_t>(ranges[k - 1].nToPage));
        }
    }
    if (record.Flags & PD_SELECTION)
        SetIntProperty(settings, "nPageRangeType", 2);
    if (record.Flags & PD_CURRENTPAGE)
        SetIntProperty(settings, "nPageRangeType", 1);
    SetLogicalProperty(settings, "lAppCollate", (record.Flags & PD_COLLATE) != 0);
    SetIntProperty(settings, "nAppCopies", static_cast<int32_t>(record.nCopies));
}

// Windows 2000 and later. The copy count and collation are excluded from
// the driver settings so that they come back in the record, for the
// application to produce.
static void RunPropertySheetDialog(HostValue *settings, PrintDialogOutcome *outcome)
{
    PRINTDLGEXA record;
    memset(&record, 0, sizeof record);
    record.lStructSize = sizeof record;
    record.hwndOwner = HostWindowToHwnd(HostOwnerWindow(0, 1));
    record.hDevMode = outcome->devMode;
    record.hDevNames = outcome->devNames;
    record.Flags = PD_RETURNDC | OptionFlags(settings, true);
    record.Flags2 = 0;
    record.ExclusionFlags = PD_EXCL_COPIESANDCOLLATE;
    record.nStartPage = START_PAGE_GENERAL;
    PRINTPAGERANGE *ranges = nullptr;
    if ((record.Flags & PD_NOPAGENUMS) == 0) {
        ranges = static_cast<PRINTPAGERANGE *>(
            printerMemory.alloc(GPTR, PageRangeSlots * sizeof(PRINTPAGERANGE)));
        if (ranges == nullptr)
            return;
        ReadPageRanges(settings, &record, ranges);
    }
    ShowPropertySheetDialog(&record, outcome);
    outcome->devMode = record.hDevMode;
    outcome->devNames = record.hDevNames;
    WriteBackPropertySheet(settings, record, ranges);
    if (ranges != nullptr)
        GlobalFree(ranges);
}

// Before Windows 2000: one page range, and no owner window. The context is
// asked for as on the newer path; without it the dialog could never give
// the caller one.
static void RunClassicDialog(HostValue *settings, PrintDialogOutcome *outcome)
{
    PRINTDLGA record;
    memset(&record, 0, sizeof record);
    record.lStructSize = sizeof record;
    record.hDevMode = outcome->devMode;
    record.hDevNames = outcome->devNames;
    record.Flags = PD_RETURNDC | OptionFlags(settings, false);
    record.nFromPage = static_cast<WORD>(GetIntProperty(settings, "nFromPage1"));
    record.nToPage = static_cast<WORD>(GetIntProperty(settings, "nToPage1"));
    record.nMinPage = static_cast<WORD>(GetIntProperty(settings, "nMinPage"));
    record.nMaxPage = static_cast<WORD>(GetIntProperty(settings, "nMaxPage"));
    if (PrintDlgA(&record))
        outcome->context = record.hDC;
    outcome->devMode = record.hDevMode;
    outcome->devNames = record.hDevNames;
    SetLogicalProperty(settings, "lAppCollate", (record.Flags & PD_COLLATE) != 0);
    SetIntProperty(settings, "nAppCopies", record.nCopies);
    SetIntProperty(settings, "nPageRangeType", 0);
    if (record.Flags & PD_PAGENUMS) {
        SetIntProperty(settings, "nPageRangeType", 3);
        SetIntProperty(settings, "nPageRanges", 1);
    }
    if (record.Flags & PD_SELECTION)
        SetIntProperty(settings, "nPageRangeType", 2);
    SetIntProperty(settings, "nFromPage1", record.nFromPage);
    SetIntProperty(settings, "nToPage1", record.nToPage);
}

void RunPrintDialog(HostValue *settings, PrintDialogOutcome *outcome)
{
    outcome->devNames = BuildDevNames(settings);
    if (outcome->devNames == nullptr)
        return;
    if (IsOsVersion5OrLater())
        RunPropertySheetDialog(settings, outcome);
    else
        RunClassicDialog(settings, outcome);
}
