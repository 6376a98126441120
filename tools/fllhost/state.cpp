// The host's model of its own state: values, variables, objects, tables
// with memo fields, windows, and the records of what the library asked.
#include <string.h>
#include "host_state.h"

// Bytes between memo blocks in a memo file, as a block header would take.
const uint32_t MemoBlockGap = 8;

FoxValue FoxString(const char *text)
{
    return FoxBytes(text, uint32_t(strlen(text)));
}

FoxValue FoxBytes(const void *bytes, uint32_t length)
{
    FoxValue value = {};
    value.type = 'C';
    value.length = length;
    value.text = static_cast<const char *>(bytes);
    return value;
}

FoxValue FoxInt(int32_t integer)
{
    FoxValue value = {};
    value.type = 'I';
    value.width = 10;
    value.integer = integer;
    value.number = integer;
    return value;
}

FoxValue FoxNumber(double number, int16_t width, uint32_t decimals)
{
    FoxValue value = {};
    value.type = 'N';
    value.width = width;
    value.length = decimals;
    value.number = number;
    value.integer = int32_t(number);
    return value;
}

FoxValue FoxLogical(bool truth)
{
    FoxValue value = {};
    value.type = 'L';
    value.length = truth ? 1 : 0;
    return value;
}

FoxValue FoxObject(uint32_t object)
{
    FoxValue value = {};
    value.type = 'O';
    value.object = object;
    return value;
}

FoxValue FoxRef(const char *variable)
{
    FoxValue value = {};
    value.type = 'R';
    value.text = variable;
    return value;
}

FoxValue FoxField(int16_t workArea, const char *field)
{
    FoxValue value = {};
    value.type = 'R';
    value.text = field;
    value.workArea = workArea;
    return value;
}

StoredValue StoreOf(const FoxValue &value)
{
    StoredValue stored;
    stored.type = value.type;
    stored.width = value.width;
    stored.length = value.length;
    stored.integer = value.integer;
    stored.number = value.number;
    stored.object = value.object;
    if (value.type == 'C' && value.text != nullptr)
        stored.text.assign(value.text, value.length);
    return stored;
}

FoxValue FoxOf(const StoredValue &stored)
{
    FoxValue value = {};
    value.type = stored.type;
    value.width = stored.width;
    value.length = stored.length;
    value.integer = stored.integer;
    value.number = stored.number;
    value.object = stored.object;
    if (stored.type == 'C')
        value.text = stored.text.c_str();
    return value;
}

NamedValue *FindNamed(std::list<NamedValue> &list, const char *name)
{
    for (NamedValue &named : list)
        if (lstrcmpiA(named.name.c_str(), name) == 0)
            return &named;
    return nullptr;
}

NamedValue *VariableFor(Host *host, const char *name)
{
    NamedValue *found = FindNamed(host->variables, name);
    if (found != nullptr)
        return found;
    host->variables.push_back(NamedValue());
    host->variables.back().name = name;
    return &host->variables.back();
}

void HostSetVariable(Host *host, const char *name, FoxValue value)
{
    VariableFor(host, name)->value = StoreOf(value);
}

bool HostGetVariable(Host *host, const char *name, FoxValue *value)
{
    NamedValue *found = FindNamed(host->variables, name);
    if (found == nullptr)
        return false;
    *value = FoxOf(found->value);
    return true;
}

HostObject *FindObject(Host *host, uint32_t id)
{
    for (HostObject &object : host->objects)
        if (object.id == id)
            return &object;
    return nullptr;
}

uint32_t HostNewObject(Host *host)
{
    HostObject object;
    object.id = host->nextObject++;
    host->objects.push_back(object);
    return object.id;
}

void HostSetPropertyValue(Host *host, uint32_t id, const char *name, FoxValue value)
{
    HostObject *object = FindObject(host, id);
    if (object == nullptr)
        return;
    NamedValue *property = FindNamed(object->properties, name);
    if (property == nullptr) {
        object->properties.push_back(NamedValue());
        property = &object->properties.back();
        property->name = name;
    }
    property->value = StoreOf(value);
}

bool HostGetPropertyValue(Host *host, uint32_t id, const char *name, FoxValue *value)
{
    HostObject *object = FindObject(host, id);
    NamedValue *property = object != nullptr ? FindNamed(object->properties, name) : nullptr;
    if (property == nullptr)
        return false;
    *value = FoxOf(property->value);
    return true;
}

int HostPropertyCount(Host *host, uint32_t id)
{
    HostObject *object = FindObject(host, id);
    return object != nullptr ? int(object->properties.size()) : 0;
}

const char *HostPropertyName(Host *host, uint32_t id, int index)
{
    HostObject *object = FindObject(host, id);
    if (object == nullptr)
        return nullptr;
    for (NamedValue &property : object->properties)
        if (index-- == 0)
            return property.name.c_str();
    return nullptr;
}

int HostObjectReferences(Host *host, uint32_t id)
{
    HostObject *object = FindObject(host, id);
    return object != nullptr ? object->references : 0;
}

int HostObjectFrees(Host *host, uint32_t id)
{
    HostObject *object = FindObject(host, id);
    return object != nullptr ? object->frees : 0;
}

int HostFailedPropertyWrites(Host *host)
{
    return host->failedPropertyWrites;
}

OpenTable *FindTable(Host *host, int16_t workArea)
{
    for (OpenTable &table : host->tables)
        if (table.workArea == workArea)
            return &table;
    return nullptr;
}

MemoField *FindField(OpenTable *table, const char *name)
{
    for (MemoField &field : table->fields)
        if (lstrcmpiA(field.name.c_str(), name) == 0)
            return &field;
    return nullptr;
}

void HostOpenTable(Host *host, int16_t workArea)
{
    if (FindTable(host, workArea) != nullptr)
        return;
    OpenTable table;
    table.workArea = workArea;
    // The file starts with a header, as memo files do, so no field sits at
    // offset 0.
    table.memoFile.assign(512, '\0');
    host->tables.push_back(table);
}

// A new memo value is written as a new block at the end of the file; the
// old block stays, as in a memo file that has not been packed.
void HostSetMemo(Host *host, int16_t workArea, const char *name, const void *bytes,
                 uint32_t length)
{
    HostOpenTable(host, workArea);
    OpenTable *table = FindTable(host, workArea);
    MemoField *field = FindField(table, name);
    if (field == nullptr) {
        table->fields.push_back(MemoField());
        field = &table->fields.back();
        field->name = name;
    }
    table->memoFile.append(MemoBlockGap, '\0');
    field->offset = uint32_t(table->memoFile.size());
    field->length = length;
    table->memoFile.append(static_cast<const char *>(bytes), length);
}

bool HostGetMemo(Host *host, int16_t workArea, const char *name, FoxValue *value)
{
    OpenTable *table = FindTable(host, workArea);
    MemoField *field = table != nullptr ? FindField(table, name) : nullptr;
    if (field == nullptr)
        return false;
    *value = FoxBytes(table->memoFile.data() + field->offset, field->length);
    return true;
}

void HostSetMemoFindAnswer(Host *host, int32_t answer)
{
    host->memoFindAnswer = answer;
}

void HostSetShortRead(Host *host, uint32_t missing)
{
    host->shortRead = missing;
}

// The host part of a locator: the reference's number (index + 1) in the
// first four bytes.
void WriteLocator(Host *host, HostLocator *locator, const Reference &reference)
{
    host->references.push_back(reference);
    uint32_t number = uint32_t(host->references.size());
    locator->type = 'R';
    locator->workArea = reference.field ? reference.workArea : 0;
    memcpy(locator->rest, &number, sizeof number);
}

const Reference *ReadLocator(Host *host, const HostLocator *locator)
{
    if (locator == nullptr || locator->type != 'R')
        return nullptr;
    uint32_t number;
    memcpy(&number, locator->rest, sizeof number);
    if (number == 0 || number > host->references.size())
        return nullptr;
    return &host->references[number - 1];
}

StoredValue ReferencedValue(Host *host, const Reference &reference)
{
    StoredValue stored;
    if (!reference.field) {
        NamedValue *variable = FindNamed(host->variables, reference.name.c_str());
        if (variable != nullptr)
            stored = variable->value;
        return stored;
    }
    OpenTable *table = FindTable(host, reference.workArea);
    MemoField *field = table != nullptr ? FindField(table, reference.name.c_str()) : nullptr;
    stored.type = 'M';
    stored.integer = field != nullptr ? int32_t(field->length) : 0;
    return stored;
}

void HostRegisterWindow(Host *host, uint32_t hostWindow, HWND window)
{
    host->windows[hostWindow] = window;
}

void HostSetFrontWindow(Host *host, uint32_t hostWindow)
{
    host->frontWindow = hostWindow;
}

void HostSetOwnerWindow(Host *host, uint32_t hostWindow)
{
    host->ownerWindow = hostWindow;
}

int HostDialogCount(Host *host)
{
    return int(host->dialogs.size());
}

const HostDialogRecord *HostDialogAt(Host *host, int index)
{
    if (index < 0 || index >= int(host->dialogs.size()))
        return nullptr;
    return &host->dialogs[size_t(index)];
}

int HostErrorCount(Host *host)
{
    return int(host->errors.size());
}

uint32_t HostErrorAt(Host *host, int index)
{
    if (index < 0 || index >= int(host->errors.size()))
        return 0;
    return host->errors[size_t(index)];
}

void HostRewriteNext(Host *host, uint32_t service)
{
    host->rewriteService = service;
    host->rewriteArmed = true;
}

int HostServiceCount(Host *host, uint32_t service)
{
    auto found = host->serviceCounts.find(service);
    return found != host->serviceCounts.end() ? found->second : 0;
}

int HostServiceTotal(Host *host)
{
    int total = 0;
    for (const auto &entry : host->serviceCounts)
        total += entry.second;
    return total;
}

bool HostLastRequest(Host *host, uint32_t service, HostRequest *request)
{
    auto found = host->lastRequests.find(service);
    if (found == host->lastRequests.end())
        return false;
    *request = found->second;
    return true;
}

int HostReservedNonZero(Host *host)
{
    return host->reservedNonZero;
}

int HostUnknownServices(Host *host)
{
    return host->unknownServices;
}

void HostSetServiceHook(Host *host, uint32_t service, HostServiceHook hook, void *context)
{
    ServiceHookEntry entry;
    entry.hook = hook;
    entry.context = context;
    host->hooks[service] = entry;
}
