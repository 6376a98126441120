// Registration of ActiveX/COM control files with the rights of the user
// who runs the host program: the file is loaded into the host's process
// and its self-registration entry point is called.
#pragma once
#include "../bridge/records.h"

// True only when the file (parameter 1) loads, has "DllRegisterServer"
// and that returns S_OK.
void fkRegisterControl(ParamBlock *parameters);
// The same with "DllUnregisterServer".
void fkUnregisterControl(ParamBlock *parameters);
