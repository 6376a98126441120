#include "pipe.h"
// Not built yet.
HANDLE CreateServicePipe(void) { return INVALID_HANDLE_VALUE; }
void ListenForClient(void) {}
void ReconnectPipe(void) {}
void RunRequestLoop(void) {}
