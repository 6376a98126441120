// The host's own state behind the Host handle, shared by its units.
#pragma once
#include <deque>
#include <list>
#include <map>
#include <string>
#include <vector>
#include "fllhost.h"

// A value as the host keeps it (texts in its own memory, never in handles).
struct StoredValue {
    char type = 'L';
    int16_t width = 0;
    uint32_t length = 0;
    int32_t integer = 0;
    double number = 0.0;
    uint32_t object = 0;
    std::string text;
};

struct NamedValue {
    std::string name;
    StoredValue value;
};

struct HostObject {
    uint32_t id = 0;
    std::list<NamedValue> properties;
    int references = 0;
    int frees = 0;
};

struct MemoField {
    std::string name;
    uint32_t offset = 0;
    uint32_t length = 0;
};

// A table open in a work area: its memo file is one byte string read
// through a channel.
struct OpenTable {
    int16_t workArea = 0;
    std::string memoFile;
    std::list<MemoField> fields;
    uint32_t position = 0;
};

// What a HostLocator's host part names: a variable, or a field of a table.
struct Reference {
    bool field = false;
    int16_t workArea = 0;
    std::string name;
};

struct ThreadTables {
    DWORD threadId = 0;
    HandleTable *handles = nullptr;
    ValueTable *values = nullptr;
    bool initialized = false;
};

struct Registration {
    uint32_t id = 0;
    uint32_t function = 0;
    uint32_t dispatch = 0;
};

struct ServiceHookEntry {
    HostServiceHook hook = nullptr;
    void *context = nullptr;
};

// Accounting of one dispatch that runs library code (a call, an event, an
// idle turn). Dispatches nest when a service re-enters the library.
struct DispatchFrame {
    HostCallInfo info;
    std::string resultText;
    std::vector<MemHandle> resultHandles;
    DispatchFrame *outer = nullptr;
};

struct Host {
    HMODULE module = nullptr;
    DispatchFunction dispatch = nullptr;
    const LibraryTable *table = nullptr;
    HostOptions options = {256, 32};
    DWORD openingThread = 0;

    std::deque<ThreadTables> threads;
    CRITICAL_SECTION threadLock;

    std::list<NamedValue> variables;
    std::list<HostObject> objects;
    uint32_t nextObject = 1;
    std::list<OpenTable> tables;
    int32_t memoFindAnswer = 0;
    uint32_t shortRead = 0;
    std::deque<Reference> references;

    std::map<uint32_t, HWND> windows;
    uint32_t frontWindow = 0;
    uint32_t ownerWindow = 0;

    std::vector<Registration> eventHandlers;
    std::vector<Registration> idleHandlers;
    uint32_t nextHandlerId = 1;

    std::vector<HostDialogRecord> dialogs;
    std::vector<uint32_t> errors;
    uint32_t rewriteService = 0;
    bool rewriteArmed = false;
    std::map<uint32_t, int> serviceCounts;
    std::map<uint32_t, HostRequest> lastRequests;
    std::map<uint32_t, ServiceHookEntry> hooks;
    int reservedNonZero = 0;
    int unknownServices = 0;
    int failedPropertyWrites = 0;

    DispatchFrame *frame = nullptr;
    HostCallInfo last = {};
    std::string lastResultText;
    std::list<std::string> nestedTexts;
    bool keepArguments = false;
    bool checkLeaks = true;
    int leakTotal = 0;
};

// The session in progress (one at a time); the callback serves it.
extern Host *activeHost;

// The calling thread's tables, made and initialised (request 0) when new.
ThreadTables *ThreadOf(Host *host);

// Runs a prepared dispatch block that runs library code, with its own
// frame: results, errors and leaks land in *info. dispatch is the entry to
// use (the library's, or the one a registration gave).
void RunLibraryDispatch(Host *host, DispatchFunction dispatch, DispatchBlock *block,
                        const MemHandle *arguments, int argumentCount, HostCallInfo *info);

// The data address of a handle of the calling thread (request 6).
void *HandleData(Host *host, MemHandle handle);
// A new handle holding bytes (request 2 with the host's tag).
MemHandle NewHandle(Host *host, const void *bytes, uint32_t length);

// Values.
StoredValue StoreOf(const FoxValue &value);
FoxValue FoxOf(const StoredValue &stored);
NamedValue *FindNamed(std::list<NamedValue> &list, const char *name);
HostObject *FindObject(Host *host, uint32_t id);
OpenTable *FindTable(Host *host, int16_t workArea);
MemoField *FindField(OpenTable *table, const char *name);
NamedValue *VariableFor(Host *host, const char *name);

// Fills a locator's host part so that it names reference.
void WriteLocator(Host *host, HostLocator *locator, const Reference &reference);
// What a locator names, or null when it names nothing the host knows.
const Reference *ReadLocator(Host *host, const HostLocator *locator);
// The value a reference names now (a memo field loads as 'M').
StoredValue ReferencedValue(Host *host, const Reference &reference);

// The host callback.
void __fastcall ServeRequest(HostRequest *request);
