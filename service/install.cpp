#include "install.h"
// Not built yet.
int InstallService(void) { return 0; }
int SetServiceSecurity(SC_HANDLE) { return 0; }
int UninstallService(void) { return 0; }
