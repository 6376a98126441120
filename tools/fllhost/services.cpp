// The host's side of every service the library calls: the callback handed
// over with request 0 and one server per service code.
#include <string.h>
#include "host_state.h"

// Channel numbers of memo files: this base plus the work area.
const int32_t MemoChannelBase = 1000;
// What service 25 answers for a reference that names no memo field: the
// run time's "invalid argument" error, negated.
const int32_t NotAMemoField = -11;

template <typename T> static T *Pointer(uint32_t word)
{
    return reinterpret_cast<T *>(word);
}

// A value the library sent, as the host keeps it: character data is copied
// out of its handle, which stays where it is.
static StoredValue StoredFrom(Host *host, const HostValue *value)
{
    StoredValue stored;
    stored.type = value->type == 'H' ? 'C' : value->type;
    stored.width = value->width;
    stored.length = value->length;
    stored.integer = value->longValue;
    stored.number = value->real;
    stored.object = value->object;
    if (stored.type == 'C') {
        const char *data = static_cast<const char *>(HandleData(host, value->handle));
        if (data != nullptr)
            stored.text.assign(data, value->length);
        stored.length = uint32_t(stored.text.size());
    }
    return stored;
}

// Fills a record the library passed with a value of the host's; character
// data goes into a new handle, which becomes the library's.
static void FillValue(Host *host, const StoredValue &stored, HostValue *value)
{
    memset(value, 0, sizeof *value);
    value->type = stored.type;
    value->width = stored.width;
    value->length = stored.length;
    value->longValue = stored.integer;
    value->real = stored.number;
    value->object = stored.object;
    if (stored.type == 'C') {
        value->length = uint32_t(stored.text.size());
        value->handle = NewHandle(host, stored.text.data(), value->length);
    }
}

// Service 11: keeps the value as the result of the running function and
// takes over a character value's handle.
static void ServeReturnValue(Host *host, HostRequest *request)
{
    DispatchFrame *frame = host->frame;
    const HostValue *value = Pointer<const HostValue>(request->argument1);
    if (frame == nullptr || value == nullptr)
        return;
    StoredValue stored = StoredFrom(host, value);
    frame->info.results++;
    frame->resultText = stored.text;
    frame->info.result = FoxOf(stored);
    frame->info.result.text = nullptr;
    if ((value->type == 'C' || value->type == 'H') && value->handle != 0) {
        bool known = false;
        for (MemHandle handle : frame->resultHandles)
            known = known || handle == value->handle;
        if (!known)
            frame->resultHandles.push_back(value->handle);
    }
}

static OpenTable *TableOfChannel(Host *host, int32_t channel)
{
    return FindTable(host, int16_t(channel - MemoChannelBase));
}

// The memo field a locator names, or null.
static MemoField *FieldOf(Host *host, const HostLocator *locator)
{
    const Reference *reference = ReadLocator(host, locator);
    if (reference == nullptr || !reference->field)
        return nullptr;
    OpenTable *table = FindTable(host, reference->workArea);
    return table != nullptr ? FindField(table, reference->name.c_str()) : nullptr;
}

static uint32_t ServeMemoChannel(Host *host, HostRequest *request)
{
    int16_t workArea = int16_t(request->argument1);
    return FindTable(host, workArea) != nullptr ? uint32_t(MemoChannelBase + workArea) : uint32_t(-1);
}

static uint32_t ServeMemoFind(Host *host, HostRequest *request)
{
    if (host->memoFindAnswer != 0)
        return uint32_t(host->memoFindAnswer);
    MemoField *field = FieldOf(host, Pointer<const HostLocator>(request->argument1));
    return field != nullptr ? field->offset : uint32_t(NotAMemoField);
}

static uint32_t ServeMemoSize(Host *host, HostRequest *request)
{
    MemoField *field = FieldOf(host, Pointer<const HostLocator>(request->argument1));
    return field != nullptr ? field->length : 0;
}

static uint32_t ServeChannelRead(Host *host, HostRequest *request)
{
    OpenTable *table = TableOfChannel(host, int32_t(request->argument1));
    if (table == nullptr || request->argument2 == 0)
        return 0;
    uint32_t size = uint32_t(table->memoFile.size());
    uint32_t available = table->position < size ? size - table->position : 0;
    uint32_t count = request->argument3 < available ? request->argument3 : available;
    count = count > host->shortRead ? count - host->shortRead : 0;
    memcpy(Pointer<void>(request->argument2), table->memoFile.data() + table->position, count);
    table->position += count;
    return count;
}

static void ServeChannelSeek(Host *host, HostRequest *request)
{
    OpenTable *table = TableOfChannel(host, int32_t(request->argument1));
    if (table != nullptr)
        table->position = request->argument2;
}

// Service 29: a copy of the value goes into the variable or memo field.
static void ServeStore(Host *host, HostRequest *request)
{
    const Reference *reference = ReadLocator(host, Pointer<const HostLocator>(request->argument1));
    const HostValue *value = Pointer<const HostValue>(request->argument2);
    if (reference == nullptr || value == nullptr)
        return;
    StoredValue stored = StoredFrom(host, value);
    if (reference->field) {
        HostSetMemo(host, reference->workArea, reference->name.c_str(), stored.text.data(),
                    uint32_t(stored.text.size()));
        return;
    }
    VariableFor(host, reference->name.c_str())->value = stored;
}

// Service 30: the referenced value, character data in a new handle.
static void ServeLoad(Host *host, HostRequest *request)
{
    const Reference *reference = ReadLocator(host, Pointer<const HostLocator>(request->argument1));
    HostValue *value = Pointer<HostValue>(request->argument2);
    if (reference == nullptr || value == nullptr)
        return;
    Reference copy = *reference;
    FillValue(host, ReferencedValue(host, copy), value);
}

static uint32_t Register(Host *host, std::vector<Registration> &list, HostRequest *request)
{
    Registration registration;
    registration.id = host->nextHandlerId++;
    registration.function = request->argument1;
    registration.dispatch = request->argument3;
    list.push_back(registration);
    return registration.id;
}

static void Unregister(std::vector<Registration> &list, uint32_t id)
{
    for (size_t i = 0; i < list.size(); i++)
        if (list[i].id == id) {
            list.erase(list.begin() + long(i));
            return;
        }
}

// Copies a text the library passed into a fixed field, cut to fit.
static void CopyText(char *target, size_t capacity, const char *text)
{
    lstrcpynA(target, text != nullptr ? text : "", int(capacity));
}

static void ServeDialog(Host *host, HostRequest *request)
{
    HostDialogRecord record;
    memset(&record, 0, sizeof record);
    record.kind = request->argument1;
    record.argument3 = request->argument3;
    record.argument4 = request->argument4;
    CopyText(record.text, sizeof record.text, Pointer<const char>(request->argument2));
    const uint32_t *labels = Pointer<const uint32_t>(request->argument5);
    for (int i = 0; labels != nullptr && i < 3; i++)
        if (labels[i] != 0) {
            CopyText(record.labels[i], sizeof record.labels[i], Pointer<const char>(labels[i]));
            record.buttons++;
        }
    host->dialogs.push_back(record);
}

static void ServeError(Host *host, HostRequest *request)
{
    host->errors.push_back(request->argument1);
    if (host->frame != nullptr)
        host->frame->info.error = request->argument1;
}

static uint32_t ServeWindowToHwnd(Host *host, HostRequest *request)
{
    auto found = host->windows.find(request->argument1);
    return found != host->windows.end() ? reinterpret_cast<uint32_t>(found->second) : 0;
}

// Service 122: 0 when assigned, 1 when the object or (without the add
// flag) the property is missing.
static uint32_t ServeSetProperty(Host *host, HostRequest *request)
{
    const HostValue *objectValue = Pointer<const HostValue>(request->argument1);
    const char *name = Pointer<const char>(request->argument2);
    const HostValue *value = Pointer<const HostValue>(request->argument3);
    HostObject *object = objectValue != nullptr ? FindObject(host, objectValue->object) : nullptr;
    if (object == nullptr || name == nullptr || value == nullptr) {
        host->failedPropertyWrites++;
        return 1;
    }
    NamedValue *property = FindNamed(object->properties, name);
    if (property == nullptr && request->argument4 == 0) {
        host->failedPropertyWrites++;
        return 1;
    }
    StoredValue stored = StoredFrom(host, value);
    if (property == nullptr) {
        object->properties.push_back(NamedValue());
        property = &object->properties.back();
        property->name = name;
    }
    property->value = stored;
    return 0;
}

// Service 123: 0 and the value, or 1 when the property is missing.
static uint32_t ServeGetProperty(Host *host, HostRequest *request)
{
    HostValue *value = Pointer<HostValue>(request->argument1);
    const HostValue *objectValue = Pointer<const HostValue>(request->argument2);
    const char *name = Pointer<const char>(request->argument3);
    HostObject *object = objectValue != nullptr ? FindObject(host, objectValue->object) : nullptr;
    NamedValue *property =
        object != nullptr && name != nullptr ? FindNamed(object->properties, name) : nullptr;
    if (property == nullptr || value == nullptr)
        return 1;
    StoredValue copy = property->value;
    FillValue(host, copy, value);
    return 0;
}

static void ServeObjectCount(Host *host, HostRequest *request)
{
    const HostValue *objectValue = Pointer<const HostValue>(request->argument1);
    HostObject *object = objectValue != nullptr ? FindObject(host, objectValue->object) : nullptr;
    if (object == nullptr)
        return;
    if (request->service == ServiceObjectReference)
        object->references++;
    else if (request->service == ServiceObjectRelease)
        object->references--;
    else
        object->frees++;
}

// Serves one request; answers the result word, or leaves the request's
// first word alone for services without a result.
static void Serve(Host *host, HostRequest *request)
{
    switch (request->service) {
    case ServiceReturnValue: ServeReturnValue(host, request); break;
    case ServiceMemoChannel: request->argument1 = ServeMemoChannel(host, request); break;
    case ServiceMemoFind: request->argument1 = ServeMemoFind(host, request); break;
    case ServiceMemoSize: request->argument1 = ServeMemoSize(host, request); break;
    case ServiceStore: ServeStore(host, request); break;
    case ServiceLoad: ServeLoad(host, request); break;
    case ServiceChannelRead: request->argument1 = ServeChannelRead(host, request); break;
    case ServiceChannelSeek: ServeChannelSeek(host, request); break;
    case ServiceFrontWindow: request->argument1 = host->frontWindow; break;
    case ServiceSetEventHandler: request->argument1 = Register(host, host->eventHandlers, request); break;
    case ServiceClearEventHandler: Unregister(host->eventHandlers, request->argument1); break;
    case ServiceSetIdleHandler: request->argument1 = Register(host, host->idleHandlers, request); break;
    case ServiceClearIdleHandler: Unregister(host->idleHandlers, request->argument1); break;
    case ServiceDialog: ServeDialog(host, request); break;
    case ServiceError: ServeError(host, request); break;
    case ServiceWindowToHwnd: request->argument1 = ServeWindowToHwnd(host, request); break;
    case ServiceOwnerWindow: request->argument1 = host->ownerWindow; break;
    case ServiceSetProperty: request->argument1 = ServeSetProperty(host, request); break;
    case ServiceGetProperty: request->argument1 = ServeGetProperty(host, request); break;
    case ServiceObjectReference:
    case ServiceObjectRelease:
    case ServiceObjectFree: ServeObjectCount(host, request); break;
    default: host->unknownServices++; break;
    }
}

void __fastcall ServeRequest(HostRequest *request)
{
    Host *host = activeHost;
    if (host == nullptr || request == nullptr)
        return;
    uint32_t service = request->service;
    host->serviceCounts[service]++;
    host->lastRequests[service] = *request;
    if (request->reserved != 0)
        host->reservedNonZero++;
    Serve(host, request);
    auto hook = host->hooks.find(service);
    if (hook != host->hooks.end() && hook->second.hook != nullptr)
        hook->second.hook(host, request, hook->second.context);
    if (host->rewriteArmed && service == host->rewriteService) {
        host->rewriteArmed = false;
        request->service = ServiceErrorRewritten;
        host->errors.push_back(ServiceErrorRewritten);
        if (host->frame != nullptr) {
            host->frame->info.error = ServiceErrorRewritten;
            host->frame->info.rewritten = true;
        }
    }
}
