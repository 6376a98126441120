// Installation and removal through the real program, what the service
// control manager stores, and the DACL handed to SetSecurityInfo.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <algorithm>
#include <sddl.h>

#include "install.h"
#include "service_harness.h"

namespace {

const char usageText[] =
    "Unknown Switch Usage. For Install use -i, for UnInstall use -u";

std::vector<std::string> Strings(std::initializer_list<const char *> items) {
  return std::vector<std::string>(items.begin(), items.end());
}

// What QueryServiceConfigW answers, as narrow text.
struct StoredConfig {
  DWORD type, start, errorControl;
  std::string path, group, dependencies, account, displayName;
};

bool ReadConfig(StoredConfig *config) {
  SC_HANDLE service = OpenTestService(SERVICE_QUERY_CONFIG);
  if (service == NULL) return false;
  std::vector<BYTE> buffer(8192);
  DWORD needed = 0;
  QUERY_SERVICE_CONFIGW *stored = (QUERY_SERVICE_CONFIGW *)buffer.data();
  BOOL ok = QueryServiceConfigW(service, stored, (DWORD)buffer.size(), &needed);
  CloseServiceHandle(service);
  if (!ok) return false;
  auto narrow = [](const wchar_t *text) {
    std::string out;
    for (; text != NULL && *text; text++) out += (char)*text;
    return out;
  };
  config->type = stored->dwServiceType;
  config->start = stored->dwStartType;
  config->errorControl = stored->dwErrorControl;
  config->path = narrow(stored->lpBinaryPathName);
  config->group = narrow(stored->lpLoadOrderGroup);
  config->dependencies = narrow(stored->lpDependencies);
  config->account = narrow(stored->lpServiceStartName);
  config->displayName = narrow(stored->lpDisplayName);
  return true;
}

std::string ReadDescription() {
  SC_HANDLE service = OpenTestService(SERVICE_QUERY_CONFIG);
  if (service == NULL) return "(cannot open)";
  std::vector<BYTE> buffer(4096);
  DWORD needed = 0;
  BOOL ok = QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION,
                                 buffer.data(), (DWORD)buffer.size(), &needed);
  CloseServiceHandle(service);
  if (!ok) return "(query failed)";
  std::string out;
  const wchar_t *text =
      ((SERVICE_DESCRIPTIONW *)buffer.data())->lpDescription;
  for (; text != NULL && *text; text++) out += (char)*text;
  return out;
}

// The full path of a running process's program.
std::string ProcessImage(DWORD processId) {
  HANDLE process =
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == NULL) return "(cannot open " + std::to_string(processId) + ")";
  char path[MAX_PATH];
  DWORD length = sizeof path;
  BOOL ok = QueryFullProcessImageNameA(process, 0, path, &length);
  CloseHandle(process);
  return ok ? std::string(path, length) : "(no image name)";
}

typedef ServiceTest ServiceInstallTest;

// Started by hand without arguments, the program installs, describes and
// starts itself. Its folder holds a blank, and a program sits where an
// unquoted path would be cut at that blank: the manager would start that
// one, with the rest of the path as its argument, and the service would
// never run. Only the quoted path keeps it from doing so.
TEST_F(ServiceInstallTest, SelfInstallationStoresQuotedPath) {
  std::string folder = PrepareServiceCopy("self install");
  std::string decoy = TestProgramFolder() + "work\\self.exe";
  ASSERT_TRUE(CopyFileA((folder + "qvClientService.exe").c_str(), decoy.c_str(),
                        FALSE));
  std::string exe = folder + "qvClientService.exe";

  ChildRun run = RunProgram(exe, {});
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_EQ(Lines({"Service Self-Installed Sucessfully"}), run.output);
  SERVICE_STATUS_PROCESS status = {};
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 10000, &status))
      << "state " << status.dwCurrentState;
  // The program the manager started is the copy itself, not the decoy.
  // (Its "Service Started" line is not looked for: it may meet the
  // installer's line in the same file at the same moment, and the log does
  // not take turns across processes.)
  EXPECT_EQ(exe, ProcessImage(status.dwProcessId));

  // Started by hand again, it finds the running service.
  run = RunProgram(exe, {});
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_EQ(Lines({"InstallService - Service is already installed",
                   "Service Self-Installed Sucessfully"}),
            run.output);
  std::vector<std::string> lines = ServiceLog(folder);
  ASSERT_LE(2u, lines.size());
  EXPECT_EQ("InstallService - Service is already installed",
            lines[lines.size() - 2]);
  EXPECT_EQ("Service Self-Installed Sucessfully", lines.back());

  StoredConfig config = {};
  ASSERT_TRUE(ReadConfig(&config)) << GetLastError();
  EXPECT_EQ((DWORD)SERVICE_WIN32_OWN_PROCESS, config.type);
  EXPECT_EQ((DWORD)SERVICE_AUTO_START, config.start);
  EXPECT_EQ((DWORD)SERVICE_ERROR_NORMAL, config.errorControl);
  EXPECT_EQ("\"" + exe + "\"", config.path);
  EXPECT_EQ("", config.group);
  EXPECT_EQ("", config.dependencies);
  EXPECT_EQ("LocalSystem", config.account);
  EXPECT_EQ("Quorvale Control Service", config.displayName);
  EXPECT_EQ("Provides automated Control Registration Services to Quorvale "
            "applications.",
            ReadDescription());
  DeleteFileA(decoy.c_str());
}

// "-i" installs; a second installation from another folder finds the service,
// keeps its stored path, and starts it again when it was stopped; "-u" in
// either case stops and removes it; removing it again finds nothing.
TEST_F(ServiceInstallTest, InstallTwiceThenRemoveTwice) {
  std::string first = PrepareServiceCopy("install first");
  std::string second = PrepareServiceCopy("install second");
  ChildRun run = RunProgram(first + "qvClientService.exe", {"-i", "extra"});
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_EQ(Lines({"Service Installed Sucessfully"}), run.output);
  SERVICE_STATUS_PROCESS status = {};
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 10000, &status));
  ASSERT_TRUE(WaitForPipe(5000));

  SC_HANDLE service = OpenTestService(SERVICE_ALL_ACCESS);
  ASSERT_TRUE(service != NULL);
  SERVICE_STATUS plain;
  EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &plain));
  CloseServiceHandle(service);
  ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 10000, &status));
  int starts = CountLogLines(first, "Service Started");

  run = RunProgram(second + "qvClientService.exe", {"-I"});
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_EQ(Lines({"InstallService - Service is already installed",
                   "Service Installed Sucessfully"}),
            run.output);
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 10000, &status))
      << "a stopped service is started again";
  StoredConfig config = {};
  ASSERT_TRUE(ReadConfig(&config));
  EXPECT_EQ("\"" + first + "qvClientService.exe\"", config.path);
  // The service started again from its stored path logs beside it.
  DWORD start = GetTickCount();
  while (CountLogLines(first, "Service Started") == starts &&
         GetTickCount() - start < 5000)
    Sleep(10);
  EXPECT_EQ(starts + 1, CountLogLines(first, "Service Started"));
  EXPECT_EQ(0, CountLogLines(second, "Service Started"));

  run = RunProgram(second + "qvClientService.exe", {"-U"});
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_EQ(Lines({"Service Un-Installed"}), run.output);
  EXPECT_TRUE(WaitForLogLine(first, "Service Stopped by SCM Request", 5000));
  // Marked for deletion, it goes once it has stopped.
  EXPECT_TRUE(WaitForServiceGone(10000));

  run = RunProgram(second + "qvClientService.exe", {"-u"});
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_EQ(Lines({"Could not open Service (1060)"}), run.output);
  std::vector<std::string> lines = ServiceLog(second);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ("Could not open Service (1060)", lines.back());
  EXPECT_EQ(1, CountLogLines(second, "Service Un-Installed"))
      << "only the first removal succeeded";
}

// Anything but a whole known switch prints the usage text, logs nothing,
// installs nothing, and exits with 0.
TEST_F(ServiceInstallTest, UnknownSwitchesOnlyPrintUsage) {
  std::string folder = PrepareServiceCopy("unknown switches");
  for (const char *argument : {"/i", "-x", "-install", "-ii", "i", "--u"}) {
    ChildRun run = RunProgram(folder + "qvClientService.exe", {argument});
    EXPECT_EQ(0u, run.exitCode) << argument;
    EXPECT_EQ(Lines({usageText}), run.output) << argument;
  }
  EXPECT_FALSE(FileExists(LogPath(folder)));
  EXPECT_TRUE(WaitForServiceGone(0)) << "nothing was installed";
}

// What SetServiceSecurity hands to SetSecurityInfo, caught on its way to the
// real call: Wine keeps no security descriptor for a service, so reading it
// back would show nothing.
struct RecordedSecurity {
  int calls;
  SE_OBJECT_TYPE type;
  SECURITY_INFORMATION what;
  bool ownerGroupSacl;
  std::vector<std::string> dacl;
  DWORD realResult;
};
RecordedSecurity recorded;

DWORD WINAPI RecordingSetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type,
                                      SECURITY_INFORMATION what, PSID owner,
                                      PSID group, PACL dacl, PACL sacl) {
  recorded.calls++;
  recorded.type = type;
  recorded.what = what;
  recorded.ownerGroupSacl = owner != NULL || group != NULL || sacl != NULL;
  recorded.dacl = AclText(dacl);
  recorded.realResult =
      SetSecurityInfo(handle, type, what, owner, group, dacl, sacl);
  return recorded.realResult;
}

// The entry handed to SetEntriesInAclW names the group by its SID, which
// resolves on Windows in every language, where the name would not.
std::string recordedEntry;

DWORD WINAPI RecordingSetEntriesInAcl(ULONG count, PEXPLICIT_ACCESS_W entries,
                                      PACL old, PACL *merged) {
  char text[96];
  const EXPLICIT_ACCESS_W &e = entries[0];
  snprintf(text, sizeof text, "%lu: access 0x%lx mode %d inherit %lu form %d ",
           count, e.grfAccessPermissions, e.grfAccessMode, e.grfInheritance,
           e.Trustee.TrusteeForm);
  recordedEntry = text;
  recordedEntry += e.Trustee.TrusteeForm == TRUSTEE_IS_SID
                       ? SidText((PSID)e.Trustee.ptstrName)
                       : "(not a SID)";
  return SetEntriesInAclW(count, entries, old, merged);
}

TEST_F(ServiceInstallTest, DaclGrantsAuthenticatedUsersStartOnly) {
  InstallAndStart(PrepareServiceCopy("dacl"));
  SC_HANDLE service = OpenTestService(SERVICE_ALL_ACCESS);
  ASSERT_TRUE(service != NULL);
  recorded = RecordedSecurity();
  recordedEntry.clear();
  serviceSecurityCalls.setEntriesInAcl = RecordingSetEntriesInAcl;
  serviceSecurityCalls.setSecurityInfo = RecordingSetSecurityInfo;
  int applied = SetServiceSecurity(service);
  serviceSecurityCalls.setEntriesInAcl = SetEntriesInAclW;
  serviceSecurityCalls.setSecurityInfo = SetSecurityInfo;
  CloseServiceHandle(service);

  EXPECT_EQ("1: access 0x10 mode 2 inherit 0 form 0 S-1-5-11", recordedEntry);

  EXPECT_EQ(1, applied);
  EXPECT_EQ(1, recorded.calls);
  EXPECT_EQ(SE_SERVICE, recorded.type);
  EXPECT_EQ((SECURITY_INFORMATION)DACL_SECURITY_INFORMATION, recorded.what);
  EXPECT_FALSE(recorded.ownerGroupSacl);
  EXPECT_EQ(0u, recorded.realResult);
  // Wine's manager hands out an empty DACL, so the merged one holds our
  // entry alone: allowed, not inherited, SERVICE_START, S-1-5-11.
  EXPECT_EQ(Strings({"0 0 0x10 S-1-5-11"}), recorded.dacl);
}

// The merge keeps other trustees' entries and replaces the rights the group
// was allowed.
TEST(ServiceDacl, MergeReplacesTheGroupsEntriesOnly) {
  struct Case {
    const char *old;
    std::vector<std::string> merged;
  } cases[] = {
      {"D:", Strings({"0 0 0x10 S-1-5-11"})},
      {"D:(A;;0xf01ff;;;BA)(A;;0xf01ff;;;AU)",
       Strings({"0 0 0xf01ff S-1-5-32-544", "0 0 0x10 S-1-5-11"})},
      {"D:(A;;0x8d;;;IU)(A;;0x4;;;AU)",
       Strings({"0 0 0x8d S-1-5-4", "0 0 0x10 S-1-5-11"})},
  };
  for (const Case &c : cases) {
    PSECURITY_DESCRIPTOR descriptor = NULL;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        c.old, SDDL_REVISION_1, &descriptor, NULL))
        << c.old;
    BOOL present = FALSE, defaulted = FALSE;
    PACL old = NULL;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &old,
                                          &defaulted));
    PACL merged = NULL;
    EXPECT_EQ(0u, BuildServiceDacl(old, &merged)) << c.old;
    std::vector<std::string> entries = AclText(merged);
    std::sort(entries.begin(), entries.end());
    std::vector<std::string> expected = c.merged;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, entries) << c.old;
    LocalFree(merged);
    LocalFree(descriptor);
  }
}

// Both security calls return their error code and leave the last error
// alone; the log line carries the returned code.
DWORD WINAPI FailingSetEntriesInAcl(ULONG, PEXPLICIT_ACCESS_W, PACL, PACL *) {
  SetLastError(0xdeadbeef);
  return ERROR_NOT_ENOUGH_MEMORY;
}

DWORD WINAPI FailingSetSecurityInfo(HANDLE, SE_OBJECT_TYPE,
                                    SECURITY_INFORMATION, PSID, PSID, PACL,
                                    PACL) {
  SetLastError(0xdeadbeef);
  return ERROR_INVALID_ACL;
}

TEST_F(ServiceInstallTest, SecurityFailuresLogTheReturnedCode) {
  InstallAndStart(PrepareServiceCopy("security failures"));
  SC_HANDLE service = OpenTestService(SERVICE_ALL_ACCESS);
  ASSERT_TRUE(service != NULL);
  std::string ownLog = TestProgramFolder();
  int entriesBefore = CountLogLines(ownLog, "SetEntriesInAcl failed(8)");
  int infoBefore = CountLogLines(ownLog, "SetSecurityInfo failed(1336)");

  serviceSecurityCalls.setEntriesInAcl = FailingSetEntriesInAcl;
  EXPECT_EQ(0, SetServiceSecurity(service));
  serviceSecurityCalls.setEntriesInAcl = SetEntriesInAclW;
  serviceSecurityCalls.setSecurityInfo = FailingSetSecurityInfo;
  EXPECT_EQ(0, SetServiceSecurity(service));
  serviceSecurityCalls.setSecurityInfo = SetSecurityInfo;
  CloseServiceHandle(service);

  EXPECT_EQ(1, CountLogLines(ownLog, "SetEntriesInAcl failed(8)") -
                   entriesBefore);
  EXPECT_EQ(1, CountLogLines(ownLog, "SetSecurityInfo failed(1336)") -
                   infoBefore);
}

}  // namespace
