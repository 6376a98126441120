// The service procedure, its control handler and the shared stop state.
#pragma once
#include <windows.h>

extern volatile bool stopRequested;
extern HANDLE pipeEvent;

void WINAPI ServiceMain(DWORD argc, LPWSTR *argv);
void WINAPI ServiceControlHandler(DWORD control);

// Asks the request loop to end and reports stop pending; either thread.
void StopService(void);
