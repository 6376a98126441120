// printpage.exe [TEXT]: prints one page on the default printer through
// falkmoor.fll (found beside this program), calling the library in the
// project's host as host code would: fkPrinterOpen without a dialog on a
// settings object whose "cDevPrinter" is empty, fkPrinterStartDoc, one
// page with TEXT on it (drawn by the application, as the library leaves
// drawing to it), fkPrinterEndDoc and fkPrinterClose.
//
// Prints each call's result and the settings object afterwards; exit code
// 0 when the page was printed, 1 otherwise.
#include <stdio.h>
#include <string.h>
#include "fllhost.h"

static int32_t Call(Host *host, const char *name, const FoxValue *args, int count)
{
    FoxValue result = {};
    uint32_t error = HostCall(host, name, args, count, &result);
    printf("%s: %d", name, result.integer);
    if (error != 0)
        printf(" (error %u)", error);
    printf("\n");
    return error == 0 ? result.integer : 0;
}

static void DrawPage(HDC context, const char *text)
{
    StartPage(context);
    HFONT font = CreateFontA(-GetDeviceCaps(context, LOGPIXELSY) / 3, 0, 0, 0, FW_NORMAL, 0, 0, 0,
                             ANSI_CHARSET, 0, 0, 0, 0, "Helvetica");
    HGDIOBJ old = SelectObject(context, font);
    int inch = GetDeviceCaps(context, LOGPIXELSX);
    TextOutA(context, inch, inch, text, int(strlen(text)));
    SelectObject(context, old);
    DeleteObject(font);
    EndPage(context);
}

static void PrintSettings(Host *host, uint32_t object)
{
    for (int i = 0; i < HostPropertyCount(host, object); i++) {
        const char *name = HostPropertyName(host, object, i);
        FoxValue value = {};
        HostGetPropertyValue(host, object, name, &value);
        if (value.type == 'C')
            printf("  %s = \"%.*s\"\n", name, int(value.length), value.text);
        else if (value.type == 'L')
            printf("  %s = %s\n", name, value.length != 0 ? ".T." : ".F.");
        else
            printf("  %s = %d\n", name, value.integer);
    }
}

int main(int argc, char **argv)
{
    const char *text = argc > 1 ? argv[1] : "Printed by falkmoor.fll";
    char path[MAX_PATH];
    Host *host = HostPathBesideProgram("falkmoor.fll", path, sizeof path) ? HostOpen(path) : nullptr;
    if (host == nullptr) {
        fprintf(stderr, "printpage: cannot load falkmoor.fll: %s\n", HostOpenError());
        return 1;
    }
    uint32_t object = HostNewObject(host);
    HostSetPropertyValue(host, object, "cDevPrinter", FoxString(""));
    HostSetPropertyValue(host, object, "nCopies", FoxInt(1));
    HostSetPropertyValue(host, object, "nPapersize", FoxInt(DMPAPER_A4));
    HostSetPropertyValue(host, object, "nOrientation", FoxInt(DMORIENT_PORTRAIT));
    HostSetPropertyValue(host, object, "lCollate", FoxLogical(false));
    HostSetPropertyValue(host, object, "nPaperBin", FoxInt(DMBIN_AUTO));
    HostSetPropertyValue(host, object, "nDuplex", FoxInt(DMDUP_SIMPLEX));
    HostSetPropertyValue(host, object, "nQuality", FoxInt(300));
    HostSetPropertyValue(host, object, "nColor", FoxInt(DMCOLOR_COLOR));
    FoxValue open[2] = {FoxLogical(true), FoxObject(object)};
    int32_t context = Call(host, "fkPrinterOpen", open, 2);
    bool printed = false;
    if (context != 0) {
        FoxValue start[2] = {FoxInt(context), FoxString("falkmoor demonstration page")};
        if (Call(host, "fkPrinterStartDoc", start, 2) > 0) {
            DrawPage(reinterpret_cast<HDC>(uintptr_t(uint32_t(context))), text);
            printed = Call(host, "fkPrinterEndDoc", start, 1) > 0;
        }
        Call(host, "fkPrinterClose", start, 1);
    }
    printf("settings object afterwards:\n");
    PrintSettings(host, object);
    HostClose(host);
    return printed ? 0 : 1;
}
