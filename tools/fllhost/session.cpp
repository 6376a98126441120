// The host session: loading and unloading the library, each thread's
// tables and request 0, handles made through the library, and the
// accounting (results, errors, leaks) around every dispatch that runs
// library code.
#include <stdlib.h>
#include <string.h>
#include <objidl.h>  // the GDI+ headers need the COM types that the lean headers omit
#include <gdiplus.h>
#include "host_state.h"

Host *activeHost = nullptr;

static char openError[256];

// The tag of blocks the host makes for itself through request 2.
const uint16_t HostBlockTag = 1;

bool HostPathBesideProgram(const char *fileName, char *path, size_t capacity)
{
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    char *slash = strrchr(program, '\\');
    size_t folder = slash != nullptr ? size_t(slash - program + 1) : 0;
    if (folder + strlen(fileName) + 1 > capacity)
        return false;
    memcpy(path, program, folder);
    strcpy(path + folder, fileName);
    return true;
}

const char *HostOpenError()
{
    return openError;
}

// Runs one request block through the library's entry.
static void Dispatch(Host *host, DispatchBlock *block)
{
    host->dispatch(block);
}

// A zeroed dispatch block for a request without data.
static DispatchBlock Request(uint32_t code, uint32_t word0, uint32_t word1)
{
    DispatchBlock block;
    memset(&block, 0, sizeof block);
    block.request = code;
    block.word0 = word0;
    block.word1 = word1;
    return block;
}

// Makes the calling thread's tables and issues request 0 with them.
static void InitializeThread(Host *host, ThreadTables *tables)
{
    tables->handles = static_cast<HandleTable *>(calloc(1, HandleTableBytes(host->options.handleCapacity)));
    tables->handles->hint = 1;
    tables->handles->capacity = host->options.handleCapacity;
    tables->values = static_cast<ValueTable *>(calloc(1, ValueTableBytes(host->options.valueCapacity)));
    tables->values->hint = 1;
    tables->values->capacity = host->options.valueCapacity;
    DispatchBlock block = Request(RequestInitialize, reinterpret_cast<uint32_t>(tables->handles),
                                  reinterpret_cast<uint32_t>(tables->values));
    block.function = reinterpret_cast<uint32_t>(ServeRequest);
    Dispatch(host, &block);
    tables->initialized = true;
    if (host->table == nullptr && block.word1 == LibraryTableVersion)
        host->table = reinterpret_cast<const LibraryTable *>(block.word0);
}

ThreadTables *ThreadOf(Host *host)
{
    DWORD id = GetCurrentThreadId();
    EnterCriticalSection(&host->threadLock);
    ThreadTables *found = nullptr;
    for (ThreadTables &tables : host->threads)
        if (tables.threadId == id)
            found = &tables;
    if (found == nullptr) {
        host->threads.push_back(ThreadTables());
        found = &host->threads.back();
        found->threadId = id;
    }
    LeaveCriticalSection(&host->threadLock);
    if (!found->initialized)
        InitializeThread(host, found);
    return found;
}

void HostInitThread(Host *host)
{
    ThreadOf(host);
}

HandleTable *HostThreadHandles(Host *host)
{
    return ThreadOf(host)->handles;
}

ValueTable *HostThreadValues(Host *host)
{
    return ThreadOf(host)->values;
}

MemHandle NewHandle(Host *host, const void *bytes, uint32_t length)
{
    DispatchBlock block = Request(RequestAllocHandle, length, HostBlockTag);
    Dispatch(host, &block);
    MemHandle handle = block.word0;
    void *data = HandleData(host, handle);
    if (data != nullptr && length > 0)
        memcpy(data, bytes, length);
    return handle;
}

void *HandleData(Host *host, MemHandle handle)
{
    DispatchBlock block = Request(RequestHandleAddress, handle, 0);
    Dispatch(host, &block);
    return reinterpret_cast<void *>(block.word0);
}

MemHandle HostMakeHandle(Host *host, const void *bytes, uint32_t length)
{
    ThreadOf(host);
    return NewHandle(host, bytes, length);
}

void *HostHandleAddress(Host *host, MemHandle handle)
{
    ThreadOf(host);
    return HandleData(host, handle);
}

void HostFreeHandle(Host *host, MemHandle handle)
{
    ThreadOf(host);
    DispatchBlock block = Request(RequestFreeHandle, handle, 0);
    Dispatch(host, &block);
}

// The block behind a handle of the calling thread, read from the table.
static HGLOBAL BlockOf(Host *host, MemHandle handle)
{
    HandleTable *table = ThreadOf(host)->handles;
    if (handle == 0 || handle >= table->capacity)
        return nullptr;
    return reinterpret_cast<HGLOBAL>(table->slots[handle]);
}

int HostHandleLocks(Host *host, MemHandle handle)
{
    HGLOBAL block = BlockOf(host, handle);
    return block != nullptr ? int(GlobalFlags(block) & GMEM_LOCKCOUNT) : 0;
}

uint32_t HostHandleBytes(Host *host, MemHandle handle)
{
    HGLOBAL block = BlockOf(host, handle);
    return block != nullptr ? uint32_t(GlobalSize(block)) - 2 : 0;
}

int HostOccupiedHandles(Host *host)
{
    HandleTable *table = ThreadOf(host)->handles;
    int occupied = 0;
    for (uint32_t i = 1; i < table->capacity; i++)
        if (table->slots[i] != 0)
            occupied++;
    return occupied;
}

// Which slots of the calling thread's table are occupied now.
static std::vector<bool> OccupiedSlots(Host *host)
{
    HandleTable *table = ThreadOf(host)->handles;
    std::vector<bool> occupied(table->capacity, false);
    for (uint32_t i = 1; i < table->capacity; i++)
        occupied[i] = table->slots[i] != 0;
    return occupied;
}

static bool Contains(const MemHandle *list, int count, MemHandle handle)
{
    for (int i = 0; i < count; i++)
        if (list[i] == handle)
            return true;
    return false;
}

// After a dispatch: frees the argument handles (unless kept) and the
// result handles handed over, each once, then frees and counts every slot
// that became occupied during the dispatch and nobody owns.
static int SettleHandles(Host *host, const std::vector<bool> &before, const MemHandle *arguments,
                         int argumentCount, const std::vector<MemHandle> &results)
{
    std::vector<MemHandle> freed;
    for (int i = 0; i < argumentCount; i++)
        if (arguments[i] != 0 && !host->keepArguments) {
            HostFreeHandle(host, arguments[i]);
            freed.push_back(arguments[i]);
        }
    for (MemHandle handle : results) {
        bool done = false;
        for (MemHandle f : freed)
            done = done || f == handle;
        bool kept = host->keepArguments && Contains(arguments, argumentCount, handle);
        if (!done && !kept) {
            HostFreeHandle(host, handle);
            freed.push_back(handle);
        }
    }
    HandleTable *table = ThreadOf(host)->handles;
    int leaked = 0;
    for (uint32_t i = 1; host->checkLeaks && i < table->capacity; i++) {
        bool wasFree = i >= before.size() || !before[i];
        bool kept = host->keepArguments && Contains(arguments, argumentCount, i);
        if (table->slots[i] != 0 && wasFree && !kept) {
            leaked++;
            HostFreeHandle(host, i);
        }
    }
    return leaked;
}

void RunLibraryDispatch(Host *host, DispatchFunction dispatch, DispatchBlock *block,
                        const MemHandle *arguments, int argumentCount, HostCallInfo *info)
{
    std::vector<bool> before = OccupiedSlots(host);
    if (host->frame == nullptr)
        host->nestedTexts.clear();
    DispatchFrame frame;
    frame.info = HostCallInfo();
    frame.info.ran = true;
    frame.info.result.type = 'L';
    frame.info.result.length = 1;
    for (int i = 0; i < argumentCount && i < MaxParameters; i++)
        frame.info.arguments[i] = arguments[i];
    frame.outer = host->frame;
    host->frame = &frame;
    frame.info.dispatchResult = dispatch(block);
    host->frame = frame.outer;
    frame.info.leakedHandles = SettleHandles(host, before, arguments, argumentCount, frame.resultHandles);
    host->leakTotal += frame.info.leakedHandles;
    *info = frame.info;
    // The caller's texts must outlive the frame: the last top-level result
    // is kept in the host, nested ones until the next top-level dispatch.
    const std::string *kept;
    if (host->frame == nullptr) {
        host->lastResultText = frame.resultText;
        kept = &host->lastResultText;
    } else {
        host->nestedTexts.push_back(frame.resultText);
        kept = &host->nestedTexts.back();
    }
    if (info->result.type == 'C')
        info->result.text = kept->c_str();
}

// Runs the load or unload row, if the library has one.
static void RunHook(Host *host, int16_t rowCount)
{
    if (host->table == nullptr)
        return;
    for (int16_t i = 0; i < host->table->count; i++) {
        const FunctionEntry &row = host->table->entries[i];
        if (row.parameterCount != rowCount)
            continue;
        uint8_t buffer[sizeof(DispatchBlock) + sizeof(ParamBlock)] = {};
        DispatchBlock *block = reinterpret_cast<DispatchBlock *>(buffer);
        block->request = RequestCallFunction;
        block->function = reinterpret_cast<uint32_t>(row.function);
        RunLibraryDispatch(host, host->dispatch, block, nullptr, 0, &host->last);
    }
}

// Starts GDI+ for the process the first time a session opens, as the run
// time does before it loads any library; it runs until the process ends.
static void StartGdiplus()
{
    static bool started = false;
    if (started)
        return;
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    started = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
}

Host *HostOpenWith(const char *libraryPath, const HostOptions *options)
{
    StartGdiplus();
    openError[0] = '\0';
    if (activeHost != nullptr) {
        strcpy(openError, "a session is open already");
        return nullptr;
    }
    HMODULE module = LoadLibraryA(libraryPath);
    if (module == nullptr) {
        wsprintfA(openError, "LoadLibrary failed with error %lu", GetLastError());
        return nullptr;
    }
    FARPROC entry = GetProcAddress(module, "@DispatchAPI@4");
    if (entry == nullptr) {
        strcpy(openError, "the library has no @DispatchAPI@4");
        FreeLibrary(module);
        return nullptr;
    }
    Host *host = new Host;
    InitializeCriticalSection(&host->threadLock);
    host->module = module;
    host->dispatch = reinterpret_cast<DispatchFunction>(reinterpret_cast<void *>(entry));
    if (options != nullptr)
        host->options = *options;
    host->openingThread = GetCurrentThreadId();
    activeHost = host;
    ThreadOf(host);
    RunHook(host, LoadRowCount);
    return host;
}

Host *HostOpen(const char *libraryPath)
{
    return HostOpenWith(libraryPath, nullptr);
}

// Frees what is left in every thread's table; blocks of other threads are
// freed directly, since only a thread's own requests reach its table.
static int FreeLeftovers(Host *host)
{
    int leaked = 0;
    for (ThreadTables &tables : host->threads) {
        if (tables.handles == nullptr)
            continue;
        for (uint32_t i = 1; i < tables.handles->capacity; i++)
            if (tables.handles->slots[i] != 0) {
                leaked++;
                GlobalFree(reinterpret_cast<HGLOBAL>(tables.handles->slots[i]));
                tables.handles->slots[i] = 0;
            }
    }
    return leaked;
}

int HostClose(Host *host)
{
    if (host == nullptr)
        return 0;
    RunHook(host, UnloadRowCount);
    host->leakTotal += FreeLeftovers(host);
    FreeLibrary(host->module);
    for (ThreadTables &tables : host->threads) {
        free(tables.handles);
        free(tables.values);
    }
    DeleteCriticalSection(&host->threadLock);
    int leaked = host->leakTotal;
    activeHost = nullptr;
    delete host;
    return leaked;
}

const LibraryTable *HostTable(Host *host)
{
    return host->table;
}

DispatchFunction HostDispatchEntry(Host *host)
{
    return host->dispatch;
}

HMODULE HostModule(Host *host)
{
    return host->module;
}

HostCallback HostCallbackEntry()
{
    return ServeRequest;
}

const HostCallInfo *HostLastCall(Host *host)
{
    return &host->last;
}

void HostCheckLeaks(Host *host, bool check)
{
    host->checkLeaks = check;
}

void HostKeepArguments(Host *host, bool keep)
{
    host->keepArguments = keep;
}
