// Printer documents.
#include "printer_document.h"
#include <windows.h>
#include <string.h>
#include "../bridge/handles.h"
#include "../bridge/host_services.h"
#include "../bridge/param_text.h"

static HDC ContextOf(const ParamSlot &slot)
{
    return reinterpret_cast<HDC>(static_cast<uintptr_t>(static_cast<uint32_t>(slot.value.longValue)));
}

// The output goes wherever the context points: no file name, no data type.
void fkPrinterStartDoc(ParamBlock *parameters)
{
    const HostValue &name = parameters->slots[1].value;
    DOCINFOA document;
    memset(&document, 0, sizeof document);
    document.cbSize = sizeof document;
    document.lpszDocName = ParamStringLocked(name.handle, name.length);
    HostReturnInt(StartDocA(ContextOf(parameters->slots[0]), &document), IntegerWidth);
    if (name.length != 0)
        HandleUnlock(name.handle);
}

void fkPrinterEndDoc(ParamBlock *parameters)
{
    HostReturnInt(EndDoc(ContextOf(parameters->slots[0])), IntegerWidth);
}

void fkPrinterClose(ParamBlock *parameters)
{
    HostReturnInt(DeleteDC(ContextOf(parameters->slots[0])), IntegerWidth);
}
