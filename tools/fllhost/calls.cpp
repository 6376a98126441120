// Calling library functions by name, as host code does: the signature
// check, the ParamBlock, request 1; and running the registered event and
// idle handlers (requests 11 and 10).
#include <string.h>
#include "host_state.h"

// One item of a row's signature.
struct SignatureItem {
    bool optional;
    char letter;
};

// Splits a signature into its items; answers how many.
static int ParseSignature(const char *signature, SignatureItem *items, int capacity)
{
    int count = 0;
    const char *p = signature;
    while (*p != '\0' && count < capacity) {
        items[count].optional = *p == '.';
        if (*p == '.')
            p++;
        items[count].letter = *p;
        if (*p != '\0')
            p++;
        count++;
        if (*p == ',')
            p++;
    }
    return count;
}

const FunctionEntry *HostFindRow(Host *host, const char *name)
{
    if (host->table == nullptr)
        return nullptr;
    for (int16_t i = 0; i < host->table->count; i++)
        if (lstrcmpiA(host->table->entries[i].name, name) == 0)
            return &host->table->entries[i];
    return nullptr;
}

// What a reference argument names: a memo field when it gives a work
// area, else a variable, which is made (as false) when it does not exist.
static Reference ReferenceOf(Host *host, const FoxValue &value)
{
    Reference reference;
    reference.field = value.workArea > 0;
    reference.workArea = value.workArea;
    reference.name = value.text != nullptr ? value.text : "";
    if (!reference.field)
        VariableFor(host, reference.name.c_str());
    return reference;
}

// The argument as the function will see it for its signature letter: a
// reference where the row takes a value is passed by value, and a number
// where it takes an integer becomes one. Answers false when the type does
// not fit the letter.
static bool FitArgument(Host *host, char letter, const FoxValue &given, FoxValue *passed,
                        StoredValue *loaded)
{
    *passed = given;
    if (given.type == 'R' && letter != 'R' && letter != '?') {
        Reference reference = ReferenceOf(host, given);
        *loaded = ReferencedValue(host, reference);
        FoxValue memo;
        if (reference.field && HostGetMemo(host, reference.workArea, reference.name.c_str(), &memo))
            *loaded = StoreOf(memo);  // a memo field passed by value is its text
        *passed = FoxOf(*loaded);
    }
    switch (letter) {
    case 'C':
        return passed->type == 'C';
    case 'I':
        if (passed->type == 'N') {
            passed->type = 'I';
            passed->integer = int32_t(passed->number);
            passed->width = 10;
            passed->length = 0;
        }
        return passed->type == 'I';
    case 'O':
        return passed->type == 'O';
    case 'R':
        return passed->type == 'R';
    default:
        return true;
    }
}

// Checks count and types against the row; answers 0 or the rejection
// number. passed receives the arguments as they will be passed.
static uint32_t CheckArguments(Host *host, const FunctionEntry *row, const FoxValue *args,
                               int count, FoxValue *passed, StoredValue *loaded)
{
    SignatureItem items[MaxParameters + 1];
    int itemCount = ParseSignature(row->signature, items, MaxParameters + 1);
    int required = 0;
    for (int i = 0; i < itemCount; i++)
        if (!items[i].optional)
            required = i + 1;
    if (count < required)
        return HostRejectTooFew;
    if (count > itemCount || count > MaxParameters)
        return HostRejectTooMany;
    for (int i = 0; i < count; i++)
        if (!FitArgument(host, items[i].letter, args[i], &passed[i], &loaded[i]))
            return HostRejectType;
    return 0;
}

// Fills one parameter slot from an argument; a character argument gets a
// new handle, which *handle receives.
static void FillSlot(Host *host, const FoxValue &arg, ParamSlot *slot, MemHandle *handle)
{
    memset(slot, 0, sizeof *slot);
    *handle = 0;
    if (arg.type == 'R') {
        WriteLocator(host, &slot->locator, ReferenceOf(host, arg));
        return;
    }
    HostValue &value = slot->value;
    value.type = arg.type;
    value.width = arg.width;
    value.length = arg.length;
    value.longValue = arg.integer;
    value.real = arg.number;
    value.object = arg.object;
    if (arg.type == 'C' && arg.handle != 0) {
        value.handle = arg.handle;
    } else if (arg.type == 'C') {
        *handle = NewHandle(host, arg.text, arg.length);
        value.handle = *handle;
    }
}

uint32_t HostCall(Host *host, const char *name, const FoxValue *args, int count,
                  FoxValue *result)
{
    ThreadOf(host);
    host->last = HostCallInfo();
    host->last.result.type = 'L';
    host->last.result.length = 1;
    const FunctionEntry *row = HostFindRow(host, name);
    uint32_t rejection = 0;
    FoxValue passed[MaxParameters + 1];
    StoredValue loaded[MaxParameters + 1];
    if (row == nullptr || row->parameterCount < 0)
        rejection = HostRejectNoFunction;
    else
        rejection = CheckArguments(host, row, args, count, passed, loaded);
    if (rejection != 0) {
        host->last.error = rejection;
        if (result != nullptr)
            *result = host->last.result;
        return rejection;
    }
    uint8_t buffer[sizeof(DispatchBlock) + sizeof(ParamBlock)] = {};
    DispatchBlock *block = reinterpret_cast<DispatchBlock *>(buffer);
    ParamBlock *parameters = reinterpret_cast<ParamBlock *>(DispatchBlockData(block));
    MemHandle handles[MaxParameters] = {};
    parameters->count = int16_t(count);
    bool madeAll = true;
    for (int i = 0; i < count; i++) {
        FillSlot(host, passed[i], &parameters->slots[i], &handles[i]);
        madeAll = madeAll && (passed[i].type != 'C' || passed[i].handle != 0 || handles[i] != 0);
    }
    if (!madeAll) {
        for (int i = 0; i < count; i++)
            if (handles[i] != 0)
                HostFreeHandle(host, handles[i]);
        host->last.error = HostRejectNoMemory;
        if (result != nullptr)
            *result = host->last.result;
        return HostRejectNoMemory;
    }
    block->request = RequestCallFunction;
    block->function = reinterpret_cast<uint32_t>(row->function);
    RunLibraryDispatch(host, host->dispatch, block, handles, count, &host->last);
    if (result != nullptr)
        *result = host->last.result;
    return host->last.error;
}

int HostEventHandlers(Host *host)
{
    return int(host->eventHandlers.size());
}

int HostIdleHandlers(Host *host)
{
    return int(host->idleHandlers.size());
}

uint32_t HostFireEvent(Host *host, uint32_t hostWindow, const FoxEvent *event,
                       uint32_t *handlerResult)
{
    ThreadOf(host);
    uint32_t error = 0;
    std::vector<Registration> handlers = host->eventHandlers;
    HostCallInfo info = HostCallInfo();
    for (const Registration &handler : handlers) {
        uint8_t buffer[sizeof(DispatchBlock) + EventRecordBytes] = {};
        DispatchBlock *block = reinterpret_cast<DispatchBlock *>(buffer);
        uint8_t *record = DispatchBlockData(block);
        memcpy(record + EventCodeOffset, &event->code, 2);
        memcpy(record + EventKeyOffset, &event->key, 4);
        memcpy(record + EventModifiersOffset, &event->modifiers, 2);
        block->request = RequestCallEventHandler;
        block->function = handler.function;
        block->word0 = hostWindow;
        RunLibraryDispatch(host, reinterpret_cast<DispatchFunction>(handler.dispatch), block,
                           nullptr, 0, &info);
        if (info.error != 0)
            error = info.error;
        if (handlerResult != nullptr)
            *handlerResult = block->word0;
    }
    if (host->frame == nullptr)
        host->last = info;
    return error;
}

uint32_t HostFireIdle(Host *host)
{
    ThreadOf(host);
    uint32_t error = 0;
    std::vector<Registration> handlers = host->idleHandlers;
    HostCallInfo info = HostCallInfo();
    for (const Registration &handler : handlers) {
        DispatchBlock block;
        memset(&block, 0, sizeof block);
        block.request = RequestCallHandler;
        block.function = handler.function;
        RunLibraryDispatch(host, reinterpret_cast<DispatchFunction>(handler.dispatch), &block,
                           nullptr, 0, &info);
        if (info.error != 0)
            error = info.error;
    }
    if (host->frame == nullptr)
        host->last = info;
    return error;
}
