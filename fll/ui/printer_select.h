// Printer selection: fkPrinterOpen, which hands host code a printer device
// context, either at once or through the print dialog, with every printer
// setting exchanged through the properties of a host object (the settings
// object); and the helpers that read and write those properties.
#pragma once
#include <windows.h>
#include "../bridge/records.h"

// Parameter 1 names the printer (character) or leaves it to the settings
// object's "cDevPrinter" (any other type); its length field picks the
// path: non-zero opens the printer at once, zero shows the print dialog.
// Parameter 2 is the settings object. Returns the device context as an
// integer, or 0 when none was obtained or the user discarded it.
void fkPrinterOpen(ParamBlock *parameters);

// The property as an integer: a logical's truth (0 or 1), else the value's
// long field; 0 for a missing property.
int32_t GetIntProperty(HostValue *object, const char *name);

// Room for a text read from a property: 255 characters and the NUL.
const uint32_t PropertyTextBytes = 256;

// Copies at most 255 characters of the property's text into buffer and
// answers how many. A property that holds no character value (a number, a
// logical, nothing at all) reads as the empty text.
uint32_t GetTextProperty(HostValue *object, const char *name, char buffer[PropertyTextBytes]);

// Sets the property, made where missing, to a copy of text; host error 182
// when no handle can be had for the copy.
void SetTextProperty(HostValue *object, const char *name, const char *text);
// The same for an integer (width 10) and a logical.
void SetIntProperty(HostValue *object, const char *name, int32_t value);
void SetLogicalProperty(HostValue *object, const char *name, bool value);

// True on Windows 2000 and later, where the property-sheet print dialog
// and the spooler's own default-printer query exist.
bool IsOsVersion5OrLater();

// The version query, which a test may point at a stand-in that reports an
// older Windows; the system's own call otherwise.
struct VersionCalls {
    BOOL(WINAPI *getVersionEx)(OSVERSIONINFOA *info);
};
extern VersionCalls versionCalls;

// The global-memory calls behind the printer settings blocks (driver
// settings, device names, page ranges). Tests point them at stand-ins that
// fail, since the system will not refuse a few hundred bytes on demand.
struct PrinterMemoryCalls {
    HGLOBAL(WINAPI *alloc)(UINT flags, SIZE_T bytes);
    LPVOID(WINAPI *lock)(HGLOBAL block);
};
extern PrinterMemoryCalls printerMemory;
