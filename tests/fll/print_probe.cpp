// print_probe.fll: falkmoor.fll's objects with one more export, through
// which tests reach the printing units' stand-in points.
#include "print_probe.h"

extern "C" __declspec(dllexport) void PrintProbeSeams(PrintSeams *seams)
{
    seams->version = &versionCalls;
    seams->memory = &printerMemory;
    seams->dialog = &printDialogBinding;
}
