// The call core and the service wrappers.
#include "host_services.h"
#include <string.h>
#include "context.h"
#include "dispatch.h"
#include "handles.h"

// Word of a pointer argument.
static uint32_t Word(const void *address)
{
    return reinterpret_cast<uint32_t>(address);
}

// Runs one filled request. A thread without a callback has no host to ask:
// the request answers 0, except that a host error still unwinds, since its
// caller must not resume.
static uint32_t RunRequest(HostRequest *request)
{
    ThreadContext *context = CurrentContext();
    request->reserved = 0;
    if (context == nullptr || context->callback == nullptr) {
        if (context != nullptr && request->service == ServiceError)
            longjmp(context->landing, 1);
        return 0;
    }
    context->callback(request);
    if (request->service == ServiceError || request->service == ServiceErrorRewritten)
        longjmp(context->landing, 1);
    return request->argument1;
}

uint32_t CallHost5(uint32_t service, uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4,
                   uint32_t a5)
{
    HostRequest request;
    memset(&request, 0, sizeof request);
    request.service = service;
    request.argument1 = a1;
    request.argument2 = a2;
    request.argument3 = a3;
    request.argument4 = a4;
    request.argument5 = a5;
    return RunRequest(&request);
}

// A service without a fifth argument leaves offset 24 at 0, as every
// argument it does not take.
uint32_t CallHost4(uint32_t service, uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4)
{
    return CallHost5(service, a1, a2, a3, a4, 0);
}

uint32_t CallHost3(uint32_t service, uint32_t a1, uint32_t a2, uint32_t a3)
{
    return CallHost4(service, a1, a2, a3, 0);
}

uint32_t CallHost2(uint32_t service, uint32_t a1, uint32_t a2)
{
    return CallHost4(service, a1, a2, 0, 0);
}

uint32_t CallHost1(uint32_t service, uint32_t a1)
{
    return CallHost4(service, a1, 0, 0, 0);
}

void HostReturnValue(HostValue *value)
{
    CallHost1(ServiceReturnValue, Word(value));
}

int32_t HostMemoChannel(int16_t workArea)
{
    return static_cast<int32_t>(CallHost1(ServiceMemoChannel, static_cast<uint32_t>(int32_t(workArea))));
}

int32_t HostMemoFind(HostLocator *field)
{
    return static_cast<int32_t>(CallHost1(ServiceMemoFind, Word(field)));
}

uint32_t HostMemoSize(HostLocator *field)
{
    return CallHost1(ServiceMemoSize, Word(field));
}

void HostStore(HostLocator *target, HostValue *value)
{
    CallHost2(ServiceStore, Word(target), Word(value));
}

void HostLoad(HostLocator *source, HostValue *value)
{
    CallHost2(ServiceLoad, Word(source), Word(value));
}

uint32_t HostChannelRead(int32_t channel, void *buffer, uint32_t count)
{
    return CallHost4(ServiceChannelRead, static_cast<uint32_t>(channel), Word(buffer), count, 1);
}

void HostChannelSeek(int32_t channel, uint32_t offset)
{
    CallHost3(ServiceChannelSeek, static_cast<uint32_t>(channel), offset, 0);
}

uint32_t HostFrontWindow(uint32_t which)
{
    return CallHost1(ServiceFrontWindow, which);
}

uint32_t HostSetEventHandler(EventHandler handler, int16_t flag)
{
    return CallHost3(ServiceSetEventHandler, Word(reinterpret_cast<void *>(handler)),
                     static_cast<uint32_t>(int32_t(flag)),
                     Word(reinterpret_cast<void *>(DispatchAPI)));
}

void HostClearEventHandler(uint32_t id)
{
    CallHost1(ServiceClearEventHandler, id);
}

uint32_t HostSetIdleHandler(IdleHandler handler, int16_t flag)
{
    return CallHost3(ServiceSetIdleHandler, Word(reinterpret_cast<void *>(handler)),
                     static_cast<uint32_t>(int32_t(flag)),
                     Word(reinterpret_cast<void *>(DispatchAPI)));
}

void HostClearIdleHandler(uint32_t id)
{
    CallHost1(ServiceClearIdleHandler, id);
}

void HostDialog(uint32_t kind, const char *text, uint32_t a3, uint32_t a4,
                const char *const labels[3])
{
    CallHost5(ServiceDialog, kind, Word(text), a3, a4, Word(labels));
}

void HostError(uint32_t number)
{
    CallHost1(ServiceError, number);
    // A host that let the request come back unchanged still must not
    // resume the caller. Library code runs inside DispatchAPI, so the
    // thread has its context.
    longjmp(CurrentContext()->landing, 1);
}

HWND HostWindowToHwnd(uint32_t hostWindow)
{
    return reinterpret_cast<HWND>(CallHost1(ServiceWindowToHwnd, hostWindow));
}

uint32_t HostOwnerWindow(uint32_t a1, uint32_t a2)
{
    return CallHost2(ServiceOwnerWindow, a1, a2);
}

void HostSetProperty(HostValue *object, const char *name, HostValue *value, uint32_t add)
{
    CallHost4(ServiceSetProperty, Word(object), Word(name), Word(value), add);
}

uint32_t HostGetProperty(HostValue *value, HostValue *object, const char *name)
{
    return CallHost3(ServiceGetProperty, Word(value), Word(object), Word(name));
}

void HostObjectReference(HostValue *object)
{
    CallHost1(ServiceObjectReference, Word(object));
}

void HostObjectRelease(HostValue *object)
{
    CallHost1(ServiceObjectRelease, Word(object));
}

void HostObjectFree(HostValue *object)
{
    CallHost1(ServiceObjectFree, Word(object));
}

void HostReturnInt(int32_t value, int16_t width)
{
    HostValue result;
    memset(&result, 0, sizeof result);
    result.type = 'I';
    result.width = width;
    result.longValue = value;
    result.real = 0.0;
    HostReturnValue(&result);
}

void HostReturnLogical(uint32_t flag)
{
    HostValue result;
    memset(&result, 0, sizeof result);
    result.type = 'L';
    result.length = flag != 0 ? 1 : 0;
    HostReturnValue(&result);
}

void HostReturnString(const char *text)
{
    uint32_t length = static_cast<uint32_t>(strlen(text));
    MemHandle handle = HandleAlloc(length + 1);
    if (handle == 0)
        return;
    memcpy(HandleToPtr(handle), text, length + 1);
    HostValue result;
    memset(&result, 0, sizeof result);
    result.type = 'H';
    result.width = 0;
    result.length = length;
    result.handle = handle;
    HostReturnValue(&result);
}
