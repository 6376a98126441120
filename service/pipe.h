// The request pipe \\.\pipe\qvClientServicePipe and its request loop.
#pragma once
#include <windows.h>

// Creates the secured pipe; INVALID_HANDLE_VALUE after any failure.
HANDLE CreateServicePipe(void);

// Starts listening for a client on the pipe.
void ListenForClient(void);

// Drops the current client and listens again.
void ReconnectPipe(void);

// Serves clients until a stop is requested or the connection fails fatally.
void RunRequestLoop(void);
