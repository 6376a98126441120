#include "lifecycle.h"
// Not built yet.
volatile bool stopRequested = false;
HANDLE pipeEvent = NULL;
void WINAPI ServiceMain(DWORD, LPWSTR *) {}
void WINAPI ServiceControlHandler(DWORD) {}
void StopService(void) {}
