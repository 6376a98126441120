// The control registration functions.
#include "controls.h"
#include <windows.h>
#include <ole2.h>
#include "../bridge/handles.h"
#include "../bridge/host_services.h"
#include "../bridge/param_text.h"

typedef HRESULT(STDAPICALLTYPE *SelfRegistration)(void);

// Loads the file and calls its entry point inside OLE on this thread; the
// file is freed again before returning, so it is not held open. The result
// is false first and stays so unless the entry point answers S_OK. A
// thread whose OLE cannot be initialised (one that joined the
// multithreaded apartment) gets false without the file being loaded; a
// caller that had initialised OLE keeps it, since each successful
// initialisation here is matched by exactly one release. OLE is released
// before the outcome goes to the host, so that a host error there cannot
// leave the thread with an initialisation too many.
static void CallSelfRegistration(ParamBlock *parameters, const char *entryName)
{
    const HostValue &pathValue = parameters->slots[0].value;
    const char *path = ParamStringLocked(pathValue.handle, pathValue.length);
    HostReturnLogical(0);
    bool called = false;
    HRESULT outcome = E_FAIL;
    HRESULT ole = OleInitialize(nullptr);
    if (ole == S_OK || ole == S_FALSE) {
        HMODULE module = LoadLibraryA(path);
        if (module != nullptr) {
            SelfRegistration entry = reinterpret_cast<SelfRegistration>(
                reinterpret_cast<void *>(GetProcAddress(module, entryName)));
            called = entry != nullptr;
            if (called)
                outcome = entry();
            FreeLibrary(module);
        }
        OleUninitialize();
    }
    if (called)
        HostReturnLogical(outcome == S_OK);
    HandleUnlock(pathValue.handle);
}

void fkRegisterControl(ParamBlock *parameters)
{
    CallSelfRegistration(parameters, "DllRegisterServer");
}

void fkUnregisterControl(ParamBlock *parameters)
{
    CallSelfRegistration(parameters, "DllUnregisterServer");
}
