// The records that the library and the Visual FoxPro host share byte for
// byte: the dispatch block, the service request, parameter values and
// references, the library table, and the per-thread handle and value tables.
// All are packed and little-endian; every offset is checked at compile time,
// so a layout slip breaks the build instead of the host.
#pragma once
#include <stddef.h>
#include <stdint.h>

static_assert(sizeof(void *) == 4, "the host is a 32-bit process");

#pragma pack(push, 1)

// The block the host hands to DispatchAPI. The host owns it; the library
// reads and writes only the words named here. What follows offset 36 is a
// ParamBlock (call requests) or the host's event record (event requests).
struct DispatchBlock {
    uint32_t word0;       // argument and, for some requests, result
    uint32_t word1;       // argument and, for some requests, result
    uint8_t unused8[12];
    uint32_t request;     // request code
    uint32_t function;    // function to run, or the host callback (request 0)
    uint8_t unused28[8];
};
static_assert(offsetof(DispatchBlock, word0) == 0, "word 0");
static_assert(offsetof(DispatchBlock, word1) == 4, "word 1");
static_assert(offsetof(DispatchBlock, request) == 20, "request code");
static_assert(offsetof(DispatchBlock, function) == 24, "function");
static_assert(sizeof(DispatchBlock) == 36, "the block's data starts at 36");

// Address of the data behind the fixed part of a dispatch block.
inline uint8_t *DispatchBlockData(DispatchBlock *block)
{
    return reinterpret_cast<uint8_t *>(block) + sizeof(DispatchBlock);
}

// Request codes of DispatchAPI; every other code is ignored.
enum RequestCode : uint32_t {
    RequestInitialize = 0,
    RequestCallFunction = 1,
    RequestAllocHandle = 2,
    RequestFreeHandle = 4,
    RequestHandleAddress = 6,
    RequestCallHandler = 10,
    RequestCallEventHandler = 11,
    RequestQueryTable = 14,
    RequestAddValue = 16,
    RequestRemoveValue = 17,
    RequestGetValue = 18,
};

// What requests 0 and 14 answer in word 1 beside the table address.
const uint32_t LibraryTableVersion = 5000;

// One call of a host service: up to five argument words and the service
// code. The host writes its answer into the first word and may rewrite the
// code (83 and 84 mean that a host error unwinds the caller).
struct HostRequest {
    uint32_t argument1;   // argument 1; after the call the service's result
    uint32_t argument2;
    uint32_t argument3;
    uint32_t argument4;
    uint32_t service;     // service code, read again after the call
    uint32_t reserved;    // 0 on every call
    uint32_t argument5;   // only the dialog service uses it
};
static_assert(offsetof(HostRequest, argument1) == 0, "argument 1");
static_assert(offsetof(HostRequest, argument2) == 4, "argument 2");
static_assert(offsetof(HostRequest, argument3) == 8, "argument 3");
static_assert(offsetof(HostRequest, argument4) == 12, "argument 4");
static_assert(offsetof(HostRequest, service) == 16, "service code");
static_assert(offsetof(HostRequest, reserved) == 20, "reserved word");
static_assert(offsetof(HostRequest, argument5) == 24, "argument 5");
static_assert(sizeof(HostRequest) == 28, "seven words");

// Host service codes that the library sends. 84 is never sent: a host that
// leaves it in a request unwinds the caller as 83 does.
enum ServiceCode : uint32_t {
    ServiceReturnValue = 11,
    ServiceMemoChannel = 23,
    ServiceMemoFind = 25,
    ServiceMemoSize = 26,
    ServiceStore = 29,
    ServiceLoad = 30,
    ServiceChannelRead = 33,
    ServiceChannelSeek = 34,
    ServiceFrontWindow = 45,
    ServiceSetEventHandler = 56,
    ServiceClearEventHandler = 57,
    ServiceSetIdleHandler = 58,
    ServiceClearIdleHandler = 59,
    ServiceDialog = 82,
    ServiceError = 83,
    ServiceErrorRewritten = 84,
    ServiceWindowToHwnd = 112,
    ServiceOwnerWindow = 113,
    ServiceSetProperty = 122,
    ServiceGetProperty = 123,
    ServiceObjectReference = 124,
    ServiceObjectRelease = 125,
    ServiceObjectFree = 127,
};

// Host error numbers that the library raises.
const uint32_t HostErrorNoMemory = 182;  // no memory, or a short channel read
const uint32_t HostErrorBadType = 302;   // a value the function cannot use

// The host's service entry, handed over by request 0.
typedef void(__fastcall *HostCallback)(HostRequest *request);

// Index into the calling thread's HandleTable; 0 means no handle.
typedef uint32_t MemHandle;

// A value crossing between host and library (parameter, result, variable,
// property). Which fields carry meaning depends on the type letter.
struct HostValue {
    char type;            // type letter: 'C', 'H', 'I', 'L', 'N', 'Y', '0', 'M', 'O'
    uint8_t unused1;
    int16_t width;        // display width of a number
    uint32_t length;      // bytes of character data; truth of a logical
    int32_t longValue;    // value of an integer
    double real;          // floating-point value; the library writes 0.0
    uint8_t unused20[8];
    MemHandle handle;     // block holding character data
    uint32_t object;      // identity of a host object
};
static_assert(offsetof(HostValue, type) == 0, "type");
static_assert(offsetof(HostValue, width) == 2, "width");
static_assert(offsetof(HostValue, length) == 4, "length");
static_assert(offsetof(HostValue, longValue) == 8, "long");
static_assert(offsetof(HostValue, real) == 12, "real");
static_assert(offsetof(HostValue, handle) == 28, "handle");
static_assert(offsetof(HostValue, object) == 32, "object");
static_assert(sizeof(HostValue) == 36, "36-byte value");

// A reference to a host variable or table field (type 'R'). The library
// reads only the work area; the rest belongs to the host.
struct HostLocator {
    char type;            // 'R'
    int16_t workArea;     // > 0: a field of the table open in that work area
    uint8_t rest[33];     // the host's own part of the reference
};
static_assert(offsetof(HostLocator, type) == 0, "type");
static_assert(offsetof(HostLocator, workArea) == 1, "work area");
static_assert(offsetof(HostLocator, rest) == 3, "host part");
static_assert(sizeof(HostLocator) == 36, "fills a parameter slot");

// One parameter slot: a value, or a reference when its first byte is 'R'.
union ParamSlot {
    HostValue value;
    HostLocator locator;
};
static_assert(sizeof(ParamSlot) == 36, "36-byte slot");

// The most parameters a library function takes.
const int MaxParameters = 9;

// The parameters of one call, built by the host at offset 36 of the
// dispatch block. The library only reads it.
struct ParamBlock {
    int16_t count;        // parameters actually passed
    ParamSlot slots[MaxParameters];
};
static_assert(offsetof(ParamBlock, count) == 0, "count");
static_assert(offsetof(ParamBlock, slots) == 2, "first parameter");
static_assert(offsetof(ParamBlock, slots[1]) == 38, "second parameter");
static_assert(offsetof(ParamBlock, slots[2]) == 74, "third parameter");
static_assert(sizeof(ParamBlock) == 2 + 36 * MaxParameters, "nine slots");

// A library function, run by request 1 with its parameters.
typedef void (*LibraryFunction)(ParamBlock *parameters);

// A handler run by request 10 with the block's two words; its result is
// dropped.
typedef int32_t (*IdleHandler)(uint32_t word0, uint32_t word1);

// A handler run by request 11 with the event's host window and the address
// of the event record; its result goes back in word 0.
typedef int32_t (*EventHandler)(uint32_t hostWindow, void *eventRecord);

// One row of the library table.
struct FunctionEntry {
    const char *name;          // NUL-terminated, mixed case
    LibraryFunction function;  // run by request 1
    int16_t parameterCount;    // 0 to 9; -2 for the load row, -3 for unload
    const char *signature;     // items like "C" or ".I", separated by commas
};
static_assert(offsetof(FunctionEntry, name) == 0, "name");
static_assert(offsetof(FunctionEntry, function) == 4, "function");
static_assert(offsetof(FunctionEntry, parameterCount) == 8, "count");
static_assert(offsetof(FunctionEntry, signature) == 10, "signature");
static_assert(sizeof(FunctionEntry) == 14, "rows follow without a gap");

// Parameter counts that mark the load and unload rows.
const int16_t LoadRowCount = -2;
const int16_t UnloadRowCount = -3;

// The header whose address requests 0 and 14 return.
struct LibraryTable {
    const LibraryTable *next;      // always 0
    int16_t count;                 // number of rows
    const FunctionEntry *entries;  // first row
};
static_assert(offsetof(LibraryTable, next) == 0, "next");
static_assert(offsetof(LibraryTable, count) == 4, "count");
static_assert(offsetof(LibraryTable, entries) == 6, "entries");
static_assert(sizeof(LibraryTable) == 10, "10-byte header");

// The per-thread table of movable blocks behind MemHandles. The host owns
// its memory and sets hint and capacity; slot i holds the global-memory
// handle of MemHandle i, 0 when free. The slots follow the header.
struct HandleTable {
    uint16_t hint;        // where the search for a free slot starts
    uint16_t capacity;    // number of slots
    uint32_t slots[1];    // capacity slots in truth
};
static_assert(offsetof(HandleTable, hint) == 0, "hint");
static_assert(offsetof(HandleTable, capacity) == 2, "capacity");
static_assert(offsetof(HandleTable, slots) == 4, "slots");

// Bytes a host allocates for a handle table of that many slots.
inline size_t HandleTableBytes(uint16_t capacity)
{
    return offsetof(HandleTable, slots) + 4u * capacity;
}

// The per-thread table of 32-bit values kept for the host by requests 16
// to 18. The host owns its memory; 0 marks a free slot.
struct ValueTable {
    uint16_t hint;        // where the search for a free slot starts
    uint16_t count;       // occupied slots
    uint16_t capacity;    // number of slots
    uint32_t slots[1];    // capacity slots in truth
};
static_assert(offsetof(ValueTable, hint) == 0, "hint");
static_assert(offsetof(ValueTable, count) == 2, "count");
static_assert(offsetof(ValueTable, capacity) == 4, "capacity");
static_assert(offsetof(ValueTable, slots) == 6, "slots");

// Bytes a host allocates for a value table of that many slots.
inline size_t ValueTableBytes(uint16_t capacity)
{
    return offsetof(ValueTable, slots) + 4u * capacity;
}

// The fields of the host's event record that event handlers read.
const size_t EventCodeOffset = 0;       // 16 bits, unsigned
const size_t EventKeyOffset = 18;       // 32 bits
const size_t EventModifiersOffset = 32; // 16 bits: 0x1000 Shift, 0x2000 Ctrl
const size_t EventRecordBytes = 64;     // what the host hands over

#pragma pack(pop)
