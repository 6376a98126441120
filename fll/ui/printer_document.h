// Printer documents: starting and ending a print job on a device context
// from fkPrinterOpen, and deleting the context. Each function hands the
// context to its GDI call unchecked and returns the call's result.
#pragma once
#include "../bridge/records.h"

// StartDocA on the context (parameter 1) under the document name
// (parameter 2): the job identifier, or 0 or less.
void fkPrinterStartDoc(ParamBlock *parameters);
// EndDoc on the context: greater than 0 on success.
void fkPrinterEndDoc(ParamBlock *parameters);
// DeleteDC on the context: non-zero on success.
void fkPrinterClose(ParamBlock *parameters);
