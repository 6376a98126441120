// The request pipe: serves one client at a time with overlapped I/O on the
// one event pipeEvent, so that a stop can wake the loop wherever it waits.
// Each pass waits for the event, completes the operation that was pending,
// and starts the next one of the current state.
#include "pipe.h"

#include "fonts.h"
#include "lifecycle.h"
#include "log.h"
#include "register.h"

HANDLE servicePipe = INVALID_HANDLE_VALUE;
OVERLAPPED pipeOverlapped = {};
DWORD(WINAPI *pipeSetEntriesInAcl)(ULONG, PEXPLICIT_ACCESS_W, PACL,
                                   PACL *) = SetEntriesInAclW;

static const wchar_t pipeName[] = L"\\\\.\\pipe\\qvClientServicePipe";
enum {
  RequestCapacity = 2048,
  ReplySize = 2,
  PipeBufferSize = 2048,
  PipeTimeout = 5000
};

static PipeState pipeState = Connecting;
static bool ioPending = false;
static char requestBuffer[RequestCapacity];
static unsigned char replyBuffer[ReplySize];
static DWORD bytesRead = 0;
static DWORD bytesToWrite = 0;
static DWORD bytesTransferred = 0;

// Set when listening failed in a way that retrying will not mend; the loop
// then ends and the service stops.
static bool connectionFailed = false;
static DWORD connectionError = 0;

// Builds the one-entry DACL that lets everyone read and write the pipe.
static DWORD BuildPipeDacl(PSID world, PACL *dacl) {
  EXPLICIT_ACCESS_W access = {};
  access.grfAccessPermissions = GENERIC_READ | GENERIC_WRITE;
  access.grfAccessMode = SET_ACCESS;
  access.grfInheritance = NO_INHERITANCE;
  access.Trustee.pMultipleTrustee = NULL;
  access.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_GROUP;
  access.Trustee.ptstrName = (LPWSTR)world;
  // Returns its error code; it does not set the last error.
  return pipeSetEntriesInAcl(1, &access, NULL, dacl);
}

// Builds the pipe's security descriptor into the three allocations, which
// the caller frees whatever happened. Returns 0 or the logged failure's code.
static DWORD BuildPipeSecurity(PSID *world, PACL *dacl,
                               PSECURITY_DESCRIPTOR *descriptor) {
  SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
  if (!AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0,
                                0, 0, 0, 0, 0, world)) {
    DWORD error = GetLastError();
    WriteLog("AllocateAndInitializeSid Error %u", error);
    return error;
  }
  DWORD error = BuildPipeDacl(*world, dacl);
  if (error != ERROR_SUCCESS) {
    WriteLog("SetEntriesInAcl Error %u", error);
    return error;
  }
  *descriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
  if (*descriptor == NULL) {
    error = GetLastError();
    WriteLog("LocalAlloc Error %u", error);
    return error;
  }
  if (!InitializeSecurityDescriptor(*descriptor, SECURITY_DESCRIPTOR_REVISION)) {
    error = GetLastError();
    WriteLog("InitializeSecurityDescriptor Error %u", error);
    return error;
  }
  if (!SetSecurityDescriptorDacl(*descriptor, TRUE, *dacl, FALSE)) {
    error = GetLastError();
    WriteLog("SetSecurityDescriptorDacl Error %u", error);
    return error;
  }
  return ERROR_SUCCESS;
}

HANDLE CreateServicePipe(void) {
  PSID world = NULL;
  PACL dacl = NULL;
  PSECURITY_DESCRIPTOR descriptor = NULL;
  HANDLE pipe = INVALID_HANDLE_VALUE;
  DWORD error = BuildPipeSecurity(&world, &dacl, &descriptor);
  if (error == ERROR_SUCCESS) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    // Any local user may have the local system account load a DLL of their
    // choosing through this pipe, so it refuses clients on other machines,
    // and it refuses to serve on a name that someone else created first.
    pipe = CreateNamedPipeW(
        pipeName,
        PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED |
            FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT |
            PIPE_REJECT_REMOTE_CLIENTS,
        1, PipeBufferSize, PipeBufferSize, PipeTimeout, &attributes);
    if (pipe == INVALID_HANDLE_VALUE) error = GetLastError();
  }
  if (world != NULL) FreeSid(world);
  if (dacl != NULL) LocalFree(dacl);
  if (descriptor != NULL) LocalFree(descriptor);
  // The caller logs a creation failure with this code.
  if (pipe == INVALID_HANDLE_VALUE) SetLastError(error);
  return pipe;
}

void ListenForClient(void) {
  BOOL connected = ConnectNamedPipe(servicePipe, &pipeOverlapped);
  // An overlapped connect that completes at once is a client already there.
  DWORD error = connected ? ERROR_PIPE_CONNECTED : GetLastError();
  ioPending = false;
  pipeState = Reading;
  switch (error) {
    case ERROR_IO_PENDING:
      ioPending = true;
      pipeState = Connecting;
      break;
    case ERROR_PIPE_CONNECTED:
      SetEvent(pipeEvent);
      break;
    case ERROR_NO_DATA:
      // A client opened the pipe and closed it again before we listened. The
      // read of the next pass fails, and the loop listens once more.
      SetEvent(pipeEvent);
      break;
    default:
      // Nothing will signal the event for this outcome, and listening again
      // would meet the same failure: the service stops.
      WriteLog("Fatal Pipe Connection Error %d.", error);
      connectionFailed = true;
      connectionError = error;
      break;
  }
}

void ReconnectPipe(void) {
  if (!DisconnectNamedPipe(servicePipe))
    WriteLog("DisconnectNamedPipe failed with %d.", GetLastError());
  ListenForClient();
}

// Handles the request in the buffer and prepares its two-byte reply.
static void DispatchRequest(void) {
  requestBuffer[bytesRead] = '\0';
  signed char code = (signed char)requestBuffer[0];
  const char *items = requestBuffer + 1;
  int result = 0;
  switch (code) {
    case 1:
      WriteLog("Service Stopped by Client Request", 0);
      StopService();
      result = 1;
      break;
    case 2:
      result = RegisterControls(items);
      break;
    case 3:
      result = InstallFont(items);
      break;
    default:
      WriteLog("Invalid Request code was recieved: %u", (DWORD)(LONG)code);
      break;
  }
  replyBuffer[0] = (unsigned char)result;
  replyBuffer[1] = 0;
}

// Completes the operation that was pending when the event woke the loop.
// Returns false when the pass ends here: the client was dropped, or
// listening failed fatally.
static bool CompletePendingOperation(void) {
  BOOL done = GetOverlappedResult(servicePipe, &pipeOverlapped,
                                  &bytesTransferred, FALSE);
  switch (pipeState) {
    case Connecting:
      if (!done) {
        connectionError = GetLastError();
        connectionFailed = true;
        WriteLog("Fatal Pipe Connection Error %d.", connectionError);
        return false;
      }
      pipeState = Reading;
      return true;
    case Reading:
      if (!done || bytesTransferred == 0) break;
      bytesRead = bytesTransferred;
      pipeState = Writing;
      return true;
    case Writing:
      if (!done || bytesTransferred != bytesToWrite) break;
      pipeState = Reading;
      return true;
  }
  ReconnectPipe();
  return false;
}

// Starts reading the next request. A failed or empty read, or a message too
// long for the buffer, drops the client without a reply.
static void StartRead(void) {
  DWORD count = 0;
  if (ReadFile(servicePipe, requestBuffer, RequestCapacity - 1, &count,
               &pipeOverlapped)) {
    if (count == 0) {
      ReconnectPipe();
      return;
    }
    bytesRead = count;
    pipeState = Writing;
    ioPending = false;
  } else if (GetLastError() == ERROR_IO_PENDING) {
    ioPending = true;
  } else {
    ReconnectPipe();
  }
}

// Handles the request that arrived and starts writing its reply.
static void StartReply(void) {
  DispatchRequest();
  bytesToWrite = ReplySize;
  DWORD count = 0;
  if (WriteFile(servicePipe, replyBuffer, bytesToWrite, &count,
                &pipeOverlapped)) {
    if (count != bytesToWrite) {
      ReconnectPipe();
      return;
    }
    pipeState = Reading;
    ioPending = false;
  } else if (GetLastError() == ERROR_IO_PENDING) {
    ioPending = true;
  } else {
    ReconnectPipe();
  }
}

DWORD RunRequestLoop(void) {
  // Every operation on pipeOverlapped signals the event when it completes,
  // also at once, and ListenForClient signals it for a client that was
  // already there, so no pass waits while work is due. The stop flag is
  // looked at before and after every wait.
  while (!stopRequested && !connectionFailed) {
    WaitForSingleObject(pipeEvent, INFINITE);
    if (stopRequested) break;
    if (ioPending && !CompletePendingOperation()) continue;
    if (pipeState == Reading)
      StartRead();
    else if (pipeState == Writing)
      StartReply();
  }
  // Closing also cancels whatever operation was still outstanding.
  DisconnectNamedPipe(servicePipe);
  CloseHandle(servicePipe);
  return connectionFailed ? connectionError : 0;
}
