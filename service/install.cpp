// Installs the program as the service qvService, lets every signed-in user
// start it, and removes it again. Runs from the command line with
// administrator rights; reports through the log.
#include "install.h"

#include "log.h"

static wchar_t serviceName[] = L"qvService";
static const wchar_t displayName[] = L"Quorvale Control Service";
static wchar_t descriptionText[] =
    L"Provides automated Control Registration Services to Quorvale "
    L"applications.";

ServiceSecurityCalls serviceSecurityCalls = {SetEntriesInAclW,
                                             SetSecurityInfo};

// The Authenticated Users group, S-1-5-11. Named by its SID because the
// group's name is translated on Windows in other languages.
static SID authenticatedUsers = {SID_REVISION, 1, SECURITY_NT_AUTHORITY,
                                 {SECURITY_AUTHENTICATED_USER_RID}};

// Stores the running executable's path in quotes into out (capacity
// characters), so that a folder with a blank in it can never make the local
// system account start some other program (C:\Program.exe for C:\Program
// Files\...). Returns 0 with the last error set when the path cannot be had.
static int QuotedExecutablePath(wchar_t *out, DWORD capacity) {
  DWORD length = GetModuleFileNameW(NULL, out + 1, capacity - 2);
  if (length == 0) return 0;
  if (length >= capacity - 3) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  out[0] = L'"';
  out[length + 1] = L'"';
  out[length + 2] = L'\0';
  return 1;
}

DWORD BuildServiceDacl(PACL oldDacl, PACL *newDacl) {
  EXPLICIT_ACCESS_W access = {};
  access.grfAccessPermissions = SERVICE_START;
  access.grfAccessMode = SET_ACCESS;
  access.grfInheritance = NO_INHERITANCE;
  BuildTrusteeWithSidW(&access.Trustee, &authenticatedUsers);
  *newDacl = NULL;
  return serviceSecurityCalls.setEntriesInAcl(1, &access, oldDacl, newDacl);
}

// Reads the service's security descriptor into a heap buffer that the caller
// frees; NULL after a logged failure.
static PSECURITY_DESCRIPTOR ReadServiceSecurity(SC_HANDLE service) {
  DWORD needed = 0;
  BYTE probe;
  if (!QueryServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, &probe,
                                  0, &needed) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    WriteLog("First QueryServiceObjectSecurity failed (%d)", GetLastError());
    return NULL;
  }
  PSECURITY_DESCRIPTOR descriptor =
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed);
  if (descriptor == NULL) {
    WriteLog("SetServiceSecurity() - HeapAlloc failed", 0);
    return NULL;
  }
  if (!QueryServiceObjectSecurity(service, DACL_SECURITY_INFORMATION,
                                  descriptor, needed, &needed)) {
    WriteLog("QueryServiceObjectSecurity failed (%d)", GetLastError());
    HeapFree(GetProcessHeap(), 0, descriptor);
    return NULL;
  }
  return descriptor;
}

int SetServiceSecurity(SC_HANDLE service) {
  PSECURITY_DESCRIPTOR descriptor = ReadServiceSecurity(service);
  if (descriptor == NULL) return 0;

  int applied = 0;
  BOOL present = FALSE, defaulted = FALSE;
  PACL oldDacl = NULL, newDacl = NULL;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &oldDacl, &defaulted)) {
    WriteLog("GetSecurityDescriptorDacl failed(%d)", GetLastError());
  } else {
    // Both calls return their error code rather than setting the last error.
    DWORD result = BuildServiceDacl(oldDacl, &newDacl);
    if (result != ERROR_SUCCESS) {
      WriteLog("SetEntriesInAcl failed(%d)", result);
    } else {
      result = serviceSecurityCalls.setSecurityInfo(
          service, SE_SERVICE, DACL_SECURITY_INFORMATION, NULL, NULL, newDacl,
          NULL);
      if (result != ERROR_SUCCESS)
        WriteLog("SetSecurityInfo failed(%d)", result);
      else
        applied = 1;
    }
  }
  if (newDacl != NULL) LocalFree(newDacl);
  HeapFree(GetProcessHeap(), 0, descriptor);
  return applied;
}

// Creates the service; on ERROR_SERVICE_EXISTS opens the one there, which
// keeps its stored settings. NULL after a logged failure.
static SC_HANDLE CreateOrOpenService(SC_HANDLE manager, const wchar_t *path) {
  SC_HANDLE service = CreateServiceW(
      manager, serviceName, displayName, SERVICE_ALL_ACCESS,
      SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
      path, NULL, NULL, NULL, NULL, NULL);
  if (service != NULL) return service;
  if (GetLastError() != ERROR_SERVICE_EXISTS) {
    WriteLog("InstallService - CreateService failed (%d)", GetLastError());
    return NULL;
  }
  WriteLog("InstallService - Service is already installed", 0);
  service = OpenServiceW(manager, serviceName, SERVICE_ALL_ACCESS);
  if (service == NULL)
    WriteLog("InstallService - Could not open existing Service (%d)",
             GetLastError());
  return service;
}

int InstallService(void) {
  wchar_t path[MAX_PATH + 3];
  if (!QuotedExecutablePath(path, sizeof path / sizeof path[0])) {
    WriteLog("InstallService - GetModuleFileName failed (%d)", GetLastError());
    return 0;
  }
  SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  if (manager == NULL) {
    WriteLog("InstallService - OpenSCManager failed (%d)", GetLastError());
    return 0;
  }
  SC_HANDLE service = CreateOrOpenService(manager, path);
  if (service == NULL) {
    CloseServiceHandle(manager);
    return 0;
  }
  // Description, rights and start are refreshed on every installation; none
  // of them turns the installation into a failure.
  SERVICE_DESCRIPTIONW description = {descriptionText};
  ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description);
  SetServiceSecurity(service);
  StartServiceW(service, 0, NULL);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return 1;
}

int UninstallService(void) {
  SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  if (manager == NULL) {
    WriteLog("OpenSCManager failed (%d)", GetLastError());
    return 0;
  }
  SC_HANDLE service = OpenServiceW(manager, serviceName, SERVICE_ALL_ACCESS);
  if (service == NULL) {
    WriteLog("Could not open Service (%d)", GetLastError());
    CloseServiceHandle(manager);
    return 0;
  }
  // The manager deletes a running service once it has stopped; there is no
  // need to wait for the stop here.
  SERVICE_STATUS status;
  ControlService(service, SERVICE_CONTROL_STOP, &status);
  BOOL deleted = DeleteService(service);
  DWORD error = GetLastError();
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  if (!deleted) {
    WriteLog("Could not Delete Service (%d)", error);
    return 0;
  }
  return 1;
}
