// The printing units' stand-in points, as print_probe.fll hands them to
// its tests: the same objects as falkmoor.fll plus one export.
#pragma once
#include "../../fll/ui/print_dialog.h"
#include "../../fll/ui/printer_select.h"

struct PrintSeams {
    VersionCalls *version;
    PrinterMemoryCalls *memory;
    PrintDialogBinding *dialog;
};

// The export's name and type.
#define PRINT_PROBE_EXPORT "PrintProbeSeams"
typedef void (*PrintProbeCall)(PrintSeams *seams);
