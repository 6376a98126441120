// Self-installation and removal of the Windows service qvService.
#pragma once
#include <windows.h>

// Creates (or finds) the service, describes and secures it, and starts it;
// 1 when the service exists afterwards.
int InstallService(void);

// Lets Authenticated Users start the service; 1 when the new DACL was applied.
int SetServiceSecurity(SC_HANDLE service);

// Stops and deletes the service; 1 when it was deleted.
int UninstallService(void);
