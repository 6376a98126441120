// fllhost: the project's own host for falkmoor.fll, playing the part of the
// Visual FoxPro run time so that tests (and people, through fllhost.exe)
// can load the library and call its functions as host code would.
//
// What it does, in the order of a session:
//   Host *host = HostOpen("falkmoor.fll");   // LoadLibrary, request 0 on
//                                             // this thread, read the
//                                             // library table, run ONLOAD
//   FoxValue result;
//   uint32_t error = HostCall(host, "fkIsPath", args, 1, &result);
//   HostClose(host);                          // ONUNLOAD, FreeLibrary
//
// Calls. HostCall finds the row by name (case-insensitive, as host code
// spells names freely), checks the arguments against the row's signature
// as the run time would, builds a ParamBlock (character arguments in new
// handles made through request 2) and issues request 1. It answers 0, the
// host error the call raised (service 83; 84 for the rewrite), or one of
// the run time's own rejections, when the function is not run at all:
// no such function 1, wrong type 11, too few 1229, too many 1230, no handle
// for a character argument 43. A number passed for 'I' goes as an integer
// (its whole part). HostLastCall tells the rest: whether the function ran,
// how many results it sent (the host keeps the last; logical true when
// none), whether the error was the rewrite, how many handles leaked.
//
// Values. FoxValue is a value as host code sees it. Build arguments with
// FoxString, FoxBytes, FoxInt, FoxNumber, FoxLogical, FoxObject, or fill a
// FoxValue by hand for other type letters ('Y', '0', 'M'); a 'C' value
// with a handle set passes that handle as it is (the caller keeps it, and
// may make it bad on purpose). A variable by reference (the run time's
// @name) is FoxRef("name"): the variable is made (as false) when it does
// not exist; the function sees a HostLocator with work area 0. A memo
// field is FoxField(workArea, "field"): a HostLocator with that work area
// (HostSetMemo opens the table and fills the field). Where the signature says 'C', 'I' or
// 'O', a reference is passed by value (a memo field as its text). Texts in
// values the host hands back point into host storage: a result's until the
// next call, a variable's or property's until it changes.
//
// Host state, set and read by tests:
//   variables      HostSetVariable / HostGetVariable
//   objects        HostNewObject, HostSetPropertyValue / HostGetPropertyValue,
//                  HostObjectReferences (124 minus 125), HostObjectFrees (127).
//                  A read of a missing property fails (answer 1); a write
//                  without the add flag to a missing property fails and is
//                  counted (HostFailedPropertyWrites).
//   tables         HostOpenTable(workArea), HostSetMemo / HostGetMemo;
//                  services 23, 25, 26, 33 and 34 serve the memo file.
//                  HostSetMemoFindAnswer makes 25 answer a (negative) number,
//                  HostSetShortRead makes 33 come up that many bytes short.
//                  Loading a memo field gives type 'M' with the long field
//                  holding the memo's length.
//   windows        HostRegisterWindow(hostWindow, hwnd) for service 112,
//                  HostSetFrontWindow (45), HostSetOwnerWindow (113).
//   handlers       services 56 to 59 keep registrations; HostFireEvent issues
//                  request 11 to each event handler with an event record laid
//                  out as the library reads it, HostFireIdle request 10 to
//                  each idle handler, through the DispatchAPI address the
//                  library gave with the registration.
//   dialogs        service 82 is recorded: HostDialogCount / HostDialogAt.
//   errors         service 83 is recorded: HostErrorCount / HostErrorAt,
//                  over the whole session (calls, events, idle turns).
//   rewrite        HostRewriteNext(service): the next request of that code
//                  is served and then left with code 84.
//   snooping       HostServiceCount, HostReservedNonZero (requests whose
//                  offset 20 was not 0), HostUnknownServices,
//                  HostSetServiceHook (runs test code inside a service, for
//                  instance to re-enter the library).
//
// Ownership, as the run time keeps it: the host frees the handles it made
// for arguments after the call, takes over and frees the handle of a
// character result, and counts every handle still occupied afterwards as
// leaked (and frees it, so the next call starts clean). A result that
// hands back an argument's own handle is freed once and is no leak.
//
// GDI+: the run time starts GDI+ for its process before it loads
// libraries, and so does HostOpen (once per process; it stays running until
// the process ends), since the library paints with GDI+ and never starts it.
//
// Threads: each thread that calls gets its own handle and value tables and
// its own request 0, on its first call (or HostInitThread). Host state is
// not locked: threads take turns.
#pragma once
#include <windows.h>
#include <stdint.h>
#include "records.h"

struct Host;

// A value as host code sees it. type 0 means no value.
struct FoxValue {
    char type;          // 'C', 'I', 'N', 'L', 'O', 'Y', '0', 'M', or 'R' for references
    int16_t width;      // numbers: display width
    uint32_t length;    // 'C': bytes; 'L': 1 true, 0 false; numbers: decimals
    int32_t integer;    // 'I' value; 'N' integer part; 'M' memo length
    double number;      // 'N', 'Y'
    uint32_t object;    // 'O': object id
    const char *text;   // 'C': the bytes; 'R': the variable's or field's name
    int16_t workArea;   // 'R': > 0 for a field of the table in that work area
    MemHandle handle;   // 'C': pass this existing handle instead of text (the
                        // caller keeps it); for tests of odd blocks
};

FoxValue FoxString(const char *text);
FoxValue FoxBytes(const void *bytes, uint32_t length);
FoxValue FoxInt(int32_t value);
FoxValue FoxNumber(double value, int16_t width, uint32_t decimals);
FoxValue FoxLogical(bool value);
FoxValue FoxObject(uint32_t object);
FoxValue FoxRef(const char *variable);
FoxValue FoxField(int16_t workArea, const char *field);

// Rejection numbers of HostCall (the run time's own errors).
const uint32_t HostRejectNoFunction = 1;
const uint32_t HostRejectType = 11;
const uint32_t HostRejectNoMemory = 43;  // no handle for a character argument
const uint32_t HostRejectTooFew = 1229;
const uint32_t HostRejectTooMany = 1230;

// Table sizes of each thread; hints start at 1.
struct HostOptions {
    uint16_t handleCapacity;  // default 256
    uint16_t valueCapacity;   // default 32
};

// The path of fileName in the folder of the running program (where the
// build puts falkmoor.fll beside every test); false when it does not fit.
bool HostPathBesideProgram(const char *fileName, char *path, size_t capacity);

// Loads the library and starts a session; null when it cannot be loaded
// or has no DispatchAPI (HostOpenError tells why). One session at a time.
Host *HostOpen(const char *libraryPath);
Host *HostOpenWith(const char *libraryPath, const HostOptions *options);
const char *HostOpenError();
// Runs ONUNLOAD, checks for leaks, unloads the library and frees the host.
// Answers the number of handles leaked over the whole session.
int HostClose(Host *host);

// What the last HostCall, HostFireEvent or HostFireIdle did.
struct HostCallInfo {
    bool ran;             // the function (handler) was run
    uint32_t error;       // host error raised, rejection number, or 0
    bool rewritten;       // the error was the code-84 rewrite
    int results;          // results sent (service 11)
    FoxValue result;      // the last one; logical true when none was sent
    int leakedHandles;    // handles left occupied and freed by the host
    int dispatchResult;   // what DispatchAPI returned
    MemHandle arguments[MaxParameters];  // handles made for 'C' arguments
};

// Calls a library function by name; see the top of this header.
uint32_t HostCall(Host *host, const char *name, const FoxValue *args, int count,
                  FoxValue *result);
const HostCallInfo *HostLastCall(Host *host);
// Keeps the argument handles of the following calls alive (not freed, not
// leaks) so a test can look at them; HostFreeHandle them afterwards.
void HostKeepArguments(Host *host, bool keep);
// With check false, handles that calls leave behind are neither counted
// nor freed: for tests of the library's own handle operations, which free
// them themselves. On by default.
void HostCheckLeaks(Host *host, bool check);

// Variables.
void HostSetVariable(Host *host, const char *name, FoxValue value);
bool HostGetVariable(Host *host, const char *name, FoxValue *value);

// Objects and properties (names case-insensitive).
uint32_t HostNewObject(Host *host);
void HostSetPropertyValue(Host *host, uint32_t object, const char *name, FoxValue value);
bool HostGetPropertyValue(Host *host, uint32_t object, const char *name, FoxValue *value);
int HostPropertyCount(Host *host, uint32_t object);
// Name of the object's property at index (in the order they were made), or
// null.
const char *HostPropertyName(Host *host, uint32_t object, int index);
int HostObjectReferences(Host *host, uint32_t object);
int HostObjectFrees(Host *host, uint32_t object);
int HostFailedPropertyWrites(Host *host);

// Tables with memo fields.
void HostOpenTable(Host *host, int16_t workArea);
void HostSetMemo(Host *host, int16_t workArea, const char *field, const void *bytes,
                 uint32_t length);
bool HostGetMemo(Host *host, int16_t workArea, const char *field, FoxValue *value);
void HostSetMemoFindAnswer(Host *host, int32_t answer);  // 0: the true offset
void HostSetShortRead(Host *host, uint32_t missing);

// Host windows.
void HostRegisterWindow(Host *host, uint32_t hostWindow, HWND window);
void HostSetFrontWindow(Host *host, uint32_t hostWindow);
void HostSetOwnerWindow(Host *host, uint32_t hostWindow);

// Events and idle turns. An event record carries these three fields.
struct FoxEvent {
    uint16_t code;
    uint32_t key;
    uint16_t modifiers;
};
int HostEventHandlers(Host *host);
int HostIdleHandlers(Host *host);
// Runs every event handler on the event; answers the host error raised,
// or 0. handlerResult (may be null) receives word 0 after the last handler.
uint32_t HostFireEvent(Host *host, uint32_t hostWindow, const FoxEvent *event,
                       uint32_t *handlerResult);
// Runs every idle handler once; answers the host error raised, or 0.
uint32_t HostFireIdle(Host *host);

// Dialogs asked for through service 82.
struct HostDialogRecord {
    uint32_t kind;
    uint32_t argument3;
    uint32_t argument4;
    char text[1024];
    int buttons;              // labels given (non-null)
    char labels[3][64];
};
int HostDialogCount(Host *host);
const HostDialogRecord *HostDialogAt(Host *host, int index);

// Host errors raised over the session, oldest first.
int HostErrorCount(Host *host);
uint32_t HostErrorAt(Host *host, int index);

// The next request of that service code is served, then left with 84.
void HostRewriteNext(Host *host, uint32_t service);

// Snooping on the service traffic.
int HostServiceCount(Host *host, uint32_t service);
// Requests of every code served so far in the session.
int HostServiceTotal(Host *host);
int HostReservedNonZero(Host *host);
// The last request of that code as the host received it (before serving);
// false when none came.
bool HostLastRequest(Host *host, uint32_t service, HostRequest *request);
int HostUnknownServices(Host *host);
typedef void (*HostServiceHook)(Host *host, HostRequest *request, void *context);
// Runs hook after the host served a request of that code (one hook per
// code; null removes it).
void HostSetServiceHook(Host *host, uint32_t service, HostServiceHook hook, void *context);

// Raw access, for tests of the entry point itself.
const LibraryTable *HostTable(Host *host);
const FunctionEntry *HostFindRow(Host *host, const char *name);
// The library's DispatchAPI.
typedef int(__fastcall *DispatchFunction)(void *block);
DispatchFunction HostDispatchEntry(Host *host);
HMODULE HostModule(Host *host);
// Issues request 0 on the calling thread unless it did already.
void HostInitThread(Host *host);
HandleTable *HostThreadHandles(Host *host);
ValueTable *HostThreadValues(Host *host);
// The host's own callback, for tests that issue request 0 themselves.
HostCallback HostCallbackEntry();

// Handles of the calling thread, made, read and freed through requests 2,
// 6 and 4.
MemHandle HostMakeHandle(Host *host, const void *bytes, uint32_t length);
void *HostHandleAddress(Host *host, MemHandle handle);
void HostFreeHandle(Host *host, MemHandle handle);
// Lock count and usable size of a handle's block, read from the table.
int HostHandleLocks(Host *host, MemHandle handle);
uint32_t HostHandleBytes(Host *host, MemHandle handle);
// Handles occupied in the calling thread's table.
int HostOccupiedHandles(Host *host);
