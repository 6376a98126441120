// The entry point: every request code, the value table, ignored codes,
// contexts on the loading thread and on other threads, and requests on a
// thread that never initialised.
#include "host_fixture.h"

// Tables as a host makes them, empty, for threads and tests of its own;
// the caller frees them.
static HandleTable *NewHandleTable(uint16_t capacity, uint16_t hint)
{
    HandleTable *table = static_cast<HandleTable *>(calloc(1, HandleTableBytes(capacity)));
    table->hint = hint;
    table->capacity = capacity;
    return table;
}

static ValueTable *NewValueTable(uint16_t capacity, uint16_t hint)
{
    ValueTable *table = static_cast<ValueTable *>(calloc(1, ValueTableBytes(capacity)));
    table->hint = hint;
    table->capacity = capacity;
    return table;
}

class Dispatch : public ProbeSession {
protected:
    void SetUp() override
    {
        options.valueCapacity = 4;  // slots 1 to 3 usable
        ProbeSession::SetUp();
    }
    uint32_t Request(uint32_t code, uint32_t word0 = 0, uint32_t word1 = 0)
    {
        RawBlock raw = Raw(code, word0, word1);
        EXPECT_EQ(HostDispatchEntry(host)(&raw), 0) << "request " << code;
        return raw.block.word0;
    }
};

TEST_F(Dispatch, TableRequests)
{
    RawBlock query = Raw(RequestQueryTable, 0xdeadbeef, 0xdeadbeef);
    HostDispatchEntry(host)(&query);
    EXPECT_EQ(query.block.word1, LibraryTableVersion);
    EXPECT_EQ(query.block.word0, reinterpret_cast<uint32_t>(HostTable(host)));
    const LibraryTable *table = HostTable(host);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->next, nullptr);

    // Request 0 answers as 14 does, after keeping the new tables: a handle
    // allocated afterwards lands in the new handle table.
    HandleTable *handles = NewHandleTable(8, 5);
    ValueTable *values = NewValueTable(8, 2);
    RawBlock init = Raw(RequestInitialize, reinterpret_cast<uint32_t>(handles),
                        reinterpret_cast<uint32_t>(values));
    init.block.function = reinterpret_cast<uint32_t>(HostCallbackEntry());
    HostDispatchEntry(host)(&init);
    EXPECT_EQ(init.block.word1, LibraryTableVersion);
    EXPECT_EQ(init.block.word0, reinterpret_cast<uint32_t>(table));
    MemHandle handle = Request(RequestAllocHandle, 10, 3);
    EXPECT_EQ(handle, 5u);
    EXPECT_NE(handles->slots[5], 0u);
    EXPECT_EQ(Request(RequestAddValue, 77), 2u);
    EXPECT_EQ(values->slots[2], 77u);
    Request(RequestFreeHandle, handle);
    EXPECT_EQ(handles->slots[5], 0u);
    // Back to the host's own tables before the session ends.
    RawBlock back = Raw(RequestInitialize, reinterpret_cast<uint32_t>(HostThreadHandles(host)),
                        reinterpret_cast<uint32_t>(HostThreadValues(host)));
    back.block.function = reinterpret_cast<uint32_t>(HostCallbackEntry());
    HostDispatchEntry(host)(&back);
    EXPECT_EQ(Request(RequestGetValue, 2), 0u) << "the host's own value table is back";
    free(handles);
    free(values);
}

TEST_F(Dispatch, HandleRequests)
{
    MemHandle handle = Request(RequestAllocHandle, 12, 0x1234);
    ASSERT_NE(handle, 0u);
    uint8_t *data = reinterpret_cast<uint8_t *>(Request(RequestHandleAddress, handle));
    ASSERT_NE(data, nullptr);
    uint16_t tag;
    memcpy(&tag, data - 2, 2);
    EXPECT_EQ(tag, 0x1234) << "the host chooses the tag of its blocks";
    for (int i = 0; i < 12; i++)
        EXPECT_EQ(data[i], 0) << "byte " << i;
    Request(RequestFreeHandle, handle);
    EXPECT_EQ(Request(RequestHandleAddress, handle), 0u) << "freed";
    // Bad handles: nothing happens, the address is 0.
    for (uint32_t bad : {0u, 255u, 256u, 70000u, 0xffffffffu}) {
        EXPECT_EQ(Request(RequestHandleAddress, bad), 0u) << bad;
        Request(RequestFreeHandle, bad);
    }
}

TEST_F(Dispatch, ValueTable)
{
    ValueTable *table = HostThreadValues(host);
    ASSERT_EQ(table->hint, 1);
    ASSERT_EQ(table->capacity, 4);
    EXPECT_EQ(Request(RequestAddValue, 10), 1u);
    // Adding 0 gives an index but leaves the slot free; the count grows.
    EXPECT_EQ(Request(RequestAddValue, 0), 2u);
    EXPECT_EQ(table->count, 2);
    EXPECT_EQ(Request(RequestAddValue, 20), 2u);
    EXPECT_EQ(table->count, 3);
    EXPECT_EQ(Request(RequestAddValue, 30), 3u);
    // Full: 0, and the hint stays at the capacity.
    EXPECT_EQ(Request(RequestAddValue, 40), 0u);
    EXPECT_EQ(table->hint, 4);
    EXPECT_EQ(table->count, 4);
    EXPECT_EQ(Request(RequestGetValue, 1), 10u);
    EXPECT_EQ(Request(RequestGetValue, 2), 20u);
    EXPECT_EQ(Request(RequestGetValue, 3), 30u);
    for (uint32_t outside : {0u, 4u, 5u, 0xffffu, 0xffffffffu})
        EXPECT_EQ(Request(RequestGetValue, outside), 0u) << outside;
    // Removing below the hint moves it down; the next add reuses the slot.
    Request(RequestRemoveValue, 2);
    EXPECT_EQ(table->hint, 2);
    EXPECT_EQ(table->count, 3);
    EXPECT_EQ(Request(RequestGetValue, 2), 0u);
    // Removing a free slot, index 0 or an index past the table does nothing.
    for (uint32_t ignored : {2u, 0u, 4u, 1000u}) {
        Request(RequestRemoveValue, ignored);
        EXPECT_EQ(table->count, 3) << ignored;
        EXPECT_EQ(table->hint, 2) << ignored;
    }
    EXPECT_EQ(Request(RequestAddValue, 50), 2u);
    EXPECT_EQ(Request(RequestGetValue, 2), 50u);
    // Removing at or above the hint leaves the hint alone.
    Request(RequestRemoveValue, 3);
    EXPECT_EQ(table->hint, 2);
    EXPECT_EQ(Request(RequestAddValue, 60), 3u);
}

TEST_F(Dispatch, IgnoredCodes)
{
    for (uint32_t code : {3u, 5u, 7u, 8u, 9u, 12u, 13u, 15u, 19u, 20u, 84u, 1000u, 0x80000000u,
                          0xffffffffu}) {
        RawBlock raw = Raw(code, 0x11111111, 0x22222222);
        raw.block.function = 0x33333333;  // would crash if run
        memset(raw.data, 0x5a, sizeof raw.data);
        RawBlock before = raw;
        EXPECT_EQ(HostDispatchEntry(host)(&raw), 0) << code;
        EXPECT_EQ(memcmp(&raw, &before, sizeof raw), 0) << "request " << code << " changed the block";
    }
}

// Host-side stand-ins for library functions and handlers: they show
// whether the entry point ran what the block named.
static int marks = 0;
static void MarkFunction(ParamBlock *) { marks++; }
static int32_t MarkHandler(uint32_t, uint32_t) { marks++; return 1; }
static int32_t MarkEventHandler(uint32_t, void *) { marks++; return 42; }
static uint32_t seenWords[2];
static const void *seenRecord;
static int32_t KeepWords(uint32_t word0, uint32_t word1)
{
    seenWords[0] = word0;
    seenWords[1] = word1;
    return 99;
}
static int32_t KeepRecord(uint32_t hostWindow, void *record)
{
    seenWords[0] = hostWindow;
    seenRecord = record;
    return -5;
}

// A thread that never issues request 0: what each request does there.
static DWORD WINAPI Uninitialized(void *parameter)
{
    DispatchFunction dispatch = reinterpret_cast<DispatchFunction>(parameter);
    int failures = 0;
    for (uint32_t code : {RequestAllocHandle, RequestHandleAddress, RequestAddValue, RequestGetValue}) {
        RawBlock raw = Raw(code, 0x1234, 16);
        dispatch(&raw);
        if (raw.block.word0 != 0) {
            printf("request %u answered %u without tables\n", code, raw.block.word0);
            failures++;
        }
    }
    for (uint32_t code : {RequestFreeHandle, RequestRemoveValue}) {
        RawBlock raw = Raw(code, 1, 0);
        dispatch(&raw);
    }
    RawBlock call = Raw(RequestCallFunction);
    call.block.function = reinterpret_cast<uint32_t>(MarkFunction);
    dispatch(&call);
    RawBlock idle = Raw(RequestCallHandler);
    idle.block.function = reinterpret_cast<uint32_t>(MarkHandler);
    dispatch(&idle);
    RawBlock event = Raw(RequestCallEventHandler, 7);
    event.block.function = reinterpret_cast<uint32_t>(MarkEventHandler);
    dispatch(&event);
    if (event.block.word0 != 7) {
        printf("request 11 changed word 0 to %u\n", event.block.word0);
        failures++;
    }
    // Request 14 still answers.
    RawBlock query = Raw(RequestQueryTable);
    dispatch(&query);
    if (query.block.word1 != LibraryTableVersion || query.block.word0 == 0) {
        printf("request 14 answered %u, %u\n", query.block.word0, query.block.word1);
        failures++;
    }
    return DWORD(failures);
}

static DWORD RunThread(LPTHREAD_START_ROUTINE routine, void *parameter)
{
    HANDLE thread = CreateThread(nullptr, 0, routine, parameter, 0, nullptr);
    EXPECT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0xdeadbeef;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code;
}

TEST_F(Dispatch, ThreadWithoutInitialize)
{
    marks = 0;
    EXPECT_EQ(RunThread(Uninitialized, reinterpret_cast<void *>(HostDispatchEntry(host))), 0u);
    EXPECT_EQ(marks, 0) << "requests 1, 10 and 11 ran code without a host";
    EXPECT_EQ(HostUnknownServices(host), 0);
    // The same stand-ins do run on an initialised thread.
    RawBlock call = Raw(RequestCallFunction);
    call.block.function = reinterpret_cast<uint32_t>(MarkFunction);
    HostDispatchEntry(host)(&call);
    RawBlock event = Raw(RequestCallEventHandler, 7);
    event.block.function = reinterpret_cast<uint32_t>(MarkEventHandler);
    HostDispatchEntry(host)(&event);
    EXPECT_EQ(marks, 2);
    EXPECT_EQ(event.block.word0, 42u);
    // Request 10 passes both words and drops the result; request 11 passes
    // word 0 and the record at offset 36, and answers in word 0.
    RawBlock idle = Raw(RequestCallHandler, 0x1111, 0x2222);
    idle.block.function = reinterpret_cast<uint32_t>(KeepWords);
    HostDispatchEntry(host)(&idle);
    EXPECT_EQ(seenWords[0], 0x1111u);
    EXPECT_EQ(seenWords[1], 0x2222u);
    EXPECT_EQ(idle.block.word0, 0x1111u);
    EXPECT_EQ(idle.block.word1, 0x2222u);
    RawBlock keep = Raw(RequestCallEventHandler, 0x3333, 0x4444);
    keep.block.function = reinterpret_cast<uint32_t>(KeepRecord);
    HostDispatchEntry(host)(&keep);
    EXPECT_EQ(seenWords[0], 0x3333u);
    EXPECT_EQ(seenRecord, static_cast<const void *>(keep.data));
    EXPECT_EQ(keep.block.word0, uint32_t(-5));
    EXPECT_EQ(keep.block.word1, 0x4444u);
}

// A thread that initialises with tables but a null callback: nothing that
// needs the host runs, handle requests work.
static DWORD WINAPI NullCallback(void *parameter)
{
    DispatchFunction dispatch = reinterpret_cast<DispatchFunction>(parameter);
    HandleTable *handles = NewHandleTable(4, 1);
    ValueTable *values = NewValueTable(4, 1);
    RawBlock init = Raw(RequestInitialize, reinterpret_cast<uint32_t>(handles),
                        reinterpret_cast<uint32_t>(values));
    dispatch(&init);
    RawBlock call = Raw(RequestCallFunction);
    call.block.function = reinterpret_cast<uint32_t>(MarkFunction);
    dispatch(&call);
    RawBlock alloc = Raw(RequestAllocHandle, 4, 1);
    dispatch(&alloc);
    DWORD handle = alloc.block.word0;
    RawBlock release = Raw(RequestFreeHandle, handle);
    dispatch(&release);
    free(handles);
    free(values);
    return handle;
}

TEST_F(Dispatch, NullCallback)
{
    marks = 0;
    EXPECT_EQ(RunThread(NullCallback, reinterpret_cast<void *>(HostDispatchEntry(host))), 1u);
    EXPECT_EQ(marks, 0);
}

struct ThreadCall {
    Host *host;
    uint32_t contexts;
    uint32_t value;
    uint32_t valueIndex;
    int32_t version;
    uint32_t raised;
    int32_t after;
};

// A second thread calling through the host: its own request 0, tables and
// context.
static DWORD WINAPI CallOnThread(void *parameter)
{
    ThreadCall *call = static_cast<ThreadCall *>(parameter);
    FoxValue result;
    HostCall(call->host, "probeContexts", nullptr, 0, &result);
    call->contexts = uint32_t(result.integer);
    HostCall(call->host, "fkGetFLLVersion", nullptr, 0, &result);
    call->version = result.integer;
    RawBlock add = Raw(RequestAddValue, 555);
    HostDispatchEntry(call->host)(&add);
    call->valueIndex = add.block.word0;
    RawBlock get = Raw(RequestGetValue, 1);
    HostDispatchEntry(call->host)(&get);
    call->value = get.block.word0;
    // A host error on this thread lands in this thread's own entry.
    FoxValue code = FoxInt(808);
    call->raised = HostCall(call->host, "probeRaise", &code, 1, &result);
    HostCall(call->host, "fkGetFLLVersion", nullptr, 0, &result);
    call->after = result.integer;
    return 0;
}

// A thread that only issues request 14; answers what a following request
// 2 gives there (0: request 14 left the context without tables).
static DispatchFunction queryDispatch = nullptr;
static DWORD WINAPI QueryOnThread(void *parameter)
{
    queryDispatch(parameter);
    RawBlock alloc = Raw(RequestAllocHandle, 8, 1);
    queryDispatch(&alloc);
    return alloc.block.word0;
}

TEST_F(Dispatch, Contexts)
{
    // The loading thread has had its context since the load.
    EXPECT_EQ(CallInts("probeContexts", {}), 1);
    // A thread that only queries gets a context too.
    RawBlock query = Raw(RequestQueryTable);
    queryDispatch = HostDispatchEntry(host);
    EXPECT_EQ(RunThread(QueryOnThread, &query), 0u);
    EXPECT_EQ(query.block.word1, LibraryTableVersion);
    EXPECT_EQ(query.block.word0, reinterpret_cast<uint32_t>(HostTable(host)));
    EXPECT_EQ(CallInts("probeContexts", {}), 2);

    RawBlock add = Raw(RequestAddValue, 111);
    HostDispatchEntry(host)(&add);
    ASSERT_EQ(add.block.word0, 1u);
    ThreadCall call = {host, 0, 0, 0, 0, 0, 0};
    RunThread(CallOnThread, &call);
    EXPECT_EQ(call.contexts, 3u);
    EXPECT_EQ(call.version, 2030);
    EXPECT_EQ(call.valueIndex, 1u) << "the thread has a value table of its own";
    EXPECT_EQ(call.value, 555u);
    EXPECT_EQ(call.raised, 808u);
    EXPECT_EQ(call.after, 2030);
    RawBlock get = Raw(RequestGetValue, 1);
    HostDispatchEntry(host)(&get);
    EXPECT_EQ(get.block.word0, 111u);
    EXPECT_EQ(CallInts("probeContexts", {}), 3) << "contexts outlive their threads";
}

// A thread whose first entries find no memory for a context: each leaves
// its block as it was and returns 0; the first entry that gets one works.
static DWORD WINAPI WithoutContext(void *parameter)
{
    DispatchFunction dispatch = reinterpret_cast<DispatchFunction>(parameter);
    DWORD failures = 0;
    for (uint32_t code : {RequestQueryTable, RequestAllocHandle, RequestCallFunction}) {
        RawBlock raw = Raw(code, 0x11111111, 0x22222222);
        raw.block.function = reinterpret_cast<uint32_t>(MarkFunction);
        RawBlock before = raw;
        int answer = dispatch(&raw);
        if (answer != 0 || memcmp(&raw, &before, sizeof raw) != 0) {
            printf("request %u without a context answered %d and changed the block\n", code,
                   answer);
            failures++;
        }
    }
    RawBlock query = Raw(RequestQueryTable);
    dispatch(&query);
    if (query.block.word1 != LibraryTableVersion) {
        printf("request 14 after the failures answered %u\n", query.block.word1);
        failures++;
    }
    return failures;
}

TEST_F(Dispatch, NoMemoryForAContext)
{
    marks = 0;
    EXPECT_EQ(CallInts("probeContexts", {}), 1);
    CallInts("probeFailContexts", {3});
    EXPECT_EQ(RunThread(WithoutContext, reinterpret_cast<void *>(HostDispatchEntry(host))), 0u);
    EXPECT_EQ(marks, 0) << "a function ran without a context";
    EXPECT_EQ(CallInts("probeContexts", {}), 2) << "one context, made on the first entry with memory";
}

TEST(DispatchUnload, ContextsFreedAtUnload)
{
    for (int round = 0; round < 2; round++) {
        Host *host = OpenBeside("bridge_probe.fll");
        ASSERT_NE(host, nullptr) << HostOpenError();
        FoxValue result;
        ASSERT_EQ(HostCall(host, "probeContexts", nullptr, 0, &result), 0u);
        EXPECT_EQ(result.integer, 1) << "round " << round << ": a fresh load has one context";
        EXPECT_EQ(HostClose(host), 0);
        EXPECT_EQ(GetModuleHandleA("bridge_probe.fll"), nullptr) << "unloaded";
    }
}

TEST(DispatchExport, OnlyDispatchAPI)
{
    char path[MAX_PATH];
    ASSERT_TRUE(HostPathBesideProgram("falkmoor.fll", path, sizeof path));
    HMODULE module = LoadLibraryA(path);
    ASSERT_NE(module, nullptr);
    const uint8_t *base = reinterpret_cast<const uint8_t *>(module);
    const IMAGE_NT_HEADERS32 *nt = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER *>(base)->e_lfanew);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const IMAGE_EXPORT_DIRECTORY *exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + dir.VirtualAddress);
    ASSERT_EQ(exports->NumberOfNames, 1u);
    EXPECT_EQ(exports->NumberOfFunctions, 1u);
    const DWORD *names = reinterpret_cast<const DWORD *>(base + exports->AddressOfNames);
    EXPECT_STREQ(reinterpret_cast<const char *>(base + names[0]), "@DispatchAPI@4");
    FreeLibrary(module);
}
