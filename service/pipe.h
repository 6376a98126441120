// The request pipe \\.\pipe\qvClientServicePipe and its request loop.
#pragma once
#include <windows.h>
#include <aclapi.h>

// The states of the request loop.
enum PipeState { Connecting = 0, Reading = 1, Writing = 2 };

// The pipe, made by CreateServicePipe, and the one overlapped record of every
// connect, read and write on it; its event is pipeEvent.
extern HANDLE servicePipe;
extern OVERLAPPED pipeOverlapped;

// Creates the secured pipe; INVALID_HANDLE_VALUE after any failure, with the
// failure's code as the last error.
HANDLE CreateServicePipe(void);

// Starts listening for a client on the pipe. A client that is already there
// wakes the loop at once; one that came and went again wakes it too, and
// the loop's read then drops it. Any other failure to listen is logged as
// fatal and ends the loop, since listening again would meet it again.
void ListenForClient(void);

// Drops the current client and listens again.
void ReconnectPipe(void);

// Serves clients until a stop is requested or the connection fails fatally.
// Returns 0 after a stop, or the error code of the fatal failure.
DWORD RunRequestLoop(void);

// The ACL builder of the pipe's descriptor. It points at SetEntriesInAclW; a
// test may point it at a stand-in, since the real call will not fail on
// demand.
extern DWORD(WINAPI *pipeSetEntriesInAcl)(ULONG, PEXPLICIT_ACCESS_W, PACL,
                                          PACL *);
