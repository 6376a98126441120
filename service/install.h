// Self-installation and removal of the Windows service qvService.
#pragma once
#include <windows.h>
#include <aclapi.h>

// Creates (or finds) the service, describes and secures it, and starts it;
// 1 when the service exists afterwards.
int InstallService(void);

// Lets Authenticated Users start the service; 1 when the new DACL was applied.
int SetServiceSecurity(SC_HANDLE service);

// Stops and deletes the service; 1 when it was deleted.
int UninstallService(void);

// Merges the start right of Authenticated Users (S-1-5-11) into oldDacl and
// stores the new ACL, which the caller frees with LocalFree, in *newDacl.
// Returns what SetEntriesInAclW returned: ERROR_SUCCESS or its error code.
DWORD BuildServiceDacl(PACL oldDacl, PACL *newDacl);

// The two security calls whose failures the system will not produce on
// demand. They point at the real calls; a test may point them at stand-ins.
struct ServiceSecurityCalls {
  DWORD(WINAPI *setEntriesInAcl)(ULONG, PEXPLICIT_ACCESS_W, PACL, PACL *);
  DWORD(WINAPI *setSecurityInfo)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION,
                                 PSID, PSID, PACL, PACL);
};
extern ServiceSecurityCalls serviceSecurityCalls;
