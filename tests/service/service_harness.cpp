#include "service_harness.h"

#include <sddl.h>

#include "qvrequest.h"

const wchar_t testPipeName[] = L"\\\\.\\pipe\\qvClientServicePipe";

std::string PrepareServiceCopy(const std::string &name) {
  std::string folder = FreshFolder(name);
  CopyService(folder);
  return folder;
}

SC_HANDLE OpenTestService(DWORD access) {
  SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  if (manager == NULL) return NULL;
  SC_HANDLE service = OpenServiceW(manager, L"qvService", access);
  DWORD error = GetLastError();
  CloseServiceHandle(manager);
  SetLastError(error);
  return service;
}

bool QueryStatus(SERVICE_STATUS_PROCESS *status) {
  SC_HANDLE service = OpenTestService(SERVICE_QUERY_STATUS);
  if (service == NULL) return false;
  DWORD needed = 0;
  BOOL ok = QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                 (BYTE *)status, sizeof *status, &needed);
  CloseServiceHandle(service);
  return ok != FALSE;
}

bool WaitForState(DWORD state, DWORD timeoutMs,
                  SERVICE_STATUS_PROCESS *status) {
  DWORD start = GetTickCount();
  do {
    if (QueryStatus(status) && status->dwCurrentState == state) return true;
    Sleep(10);
  } while (GetTickCount() - start < timeoutMs);
  return false;
}

// Waits for the service's process to end, so that the next test's service
// cannot meet a pipe that the last one still holds.
static void WaitForProcessEnd(DWORD processId) {
  if (processId == 0) return;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (process == NULL) return;
  WaitForSingleObject(process, 10000);
  CloseHandle(process);
}

bool RemoveService() {
  SC_HANDLE service = OpenTestService(SERVICE_ALL_ACCESS);
  if (service == NULL) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE *)&status,
                       sizeof status, &needed);
  DWORD processId = status.dwProcessId;
  if (status.dwCurrentState != SERVICE_STOPPED) {
    SERVICE_STATUS plain;
    ControlService(service, SERVICE_CONTROL_STOP, &plain);
    WaitForState(SERVICE_STOPPED, 10000, &status);
  }
  WaitForProcessEnd(processId);
  DeleteService(service);
  CloseServiceHandle(service);
  return WaitForServiceGone(10000);
}

bool WaitForServiceGone(DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    SetLastError(0xdeadbeef);
    SC_HANDLE left = OpenTestService(SERVICE_QUERY_STATUS);
    if (left == NULL) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    CloseServiceHandle(left);
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
}

std::vector<std::string> ServiceLog(const std::string &folder) {
  return LogMessages(ReadWholeFile(LogPath(folder)));
}

int CountLogLines(const std::string &folder, const std::string &message) {
  int count = 0;
  for (const std::string &line : ServiceLog(folder))
    if (line == message) count++;
  return count;
}

bool WaitForLogLine(const std::string &folder, const std::string &message,
                    DWORD timeoutMs) {
  // The raw text is searched: a poll may meet a line half written.
  std::string whole = " - " + message + "\r\n";
  DWORD start = GetTickCount();
  do {
    if (ReadWholeFile(LogPath(folder)).find(whole) != std::string::npos)
      return true;
    Sleep(10);
  } while (GetTickCount() - start < timeoutMs);
  return false;
}

HANDLE ConnectToService(DWORD *error) {
  HANDLE pipe = CreateFileW(testPipeName, GENERIC_READ | GENERIC_WRITE, 0,
                            NULL, OPEN_EXISTING, 0, NULL);
  *error = pipe == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (pipe == INVALID_HANDLE_VALUE) return pipe;
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!SetNamedPipeHandleState(pipe, &mode, NULL, NULL)) {
    *error = GetLastError();
    CloseHandle(pipe);
    return INVALID_HANDLE_VALUE;
  }
  return pipe;
}

DWORD Transact(HANDLE pipe, const std::string &message, std::string *reply) {
  DWORD count = 0;
  if (!WriteFile(pipe, message.data(), (DWORD)message.size(), &count, NULL))
    return GetLastError();
  char buffer[16];
  if (!ReadFile(pipe, buffer, sizeof buffer, &count, NULL))
    return GetLastError();
  reply->assign(buffer, count);
  return 0;
}

bool WaitForPipe(DWORD timeoutMs) {
  DWORD start = GetTickCount();
  do {
    if (WaitNamedPipeW(testPipeName, 100)) return true;
    Sleep(10);
  } while (GetTickCount() - start < timeoutMs);
  return false;
}

std::string ReplyText(const std::string &reply) {
  std::string text;
  for (size_t i = 0; i < reply.size(); i++) {
    if (i > 0) text += ' ';
    text += std::to_string((unsigned char)reply[i]);
  }
  return text;
}

std::string Message(std::initializer_list<int> bytes) {
  std::string text;
  for (int b : bytes) text += (char)b;
  return text;
}

void ServiceTest::SetUp() { ASSERT_TRUE(RemoveService()); }

void ServiceTest::TearDown() { EXPECT_TRUE(RemoveService()); }

void ServiceTest::InstallAndStart(const std::string &folder) {
  ChildRun run = RunProgram(folder + "qvClientService.exe", {"-i"});
  ASSERT_EQ(0u, run.exitCode) << run.output;
  SERVICE_STATUS_PROCESS status = {};
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 10000, &status))
      << "state " << status.dwCurrentState << ", output: " << run.output;
  ASSERT_TRUE(WaitForPipe(5000));
  // One round trip (request 3 with no items logs nothing) shows the service
  // listening, which it does only after its start-up lines are written.
  DWORD error = 0;
  HANDLE pipe = ConnectToService(&error);
  ASSERT_NE(INVALID_HANDLE_VALUE, pipe) << error;
  std::string reply;
  EXPECT_EQ(0u, Transact(pipe, Message({3}), &reply));
  EXPECT_EQ("0 0", ReplyText(reply));
  CloseHandle(pipe);
}

std::string SidText(PSID sid) {
  LPSTR text = NULL;
  if (!ConvertSidToStringSidA(sid, &text)) return "(bad SID)";
  std::string result = text;
  LocalFree(text);
  return result;
}

std::vector<std::string> AclText(PACL acl) {
  std::vector<std::string> entries;
  for (DWORD i = 0; acl != NULL && i < acl->AceCount; i++) {
    void *ace = NULL;
    if (!GetAce(acl, i, &ace)) {
      entries.push_back("(no entry)");
      continue;
    }
    ACE_HEADER *header = (ACE_HEADER *)ace;
    ACCESS_ALLOWED_ACE *allowed = (ACCESS_ALLOWED_ACE *)ace;
    char text[64];
    snprintf(text, sizeof text, "%u %u 0x%lx ", header->AceType,
             header->AceFlags, (unsigned long)allowed->Mask);
    entries.push_back(text + SidText(&allowed->SidStart));
  }
  return entries;
}

void RunningServiceTest::SetUp() {
  ServiceTest::SetUp();
  folder = PrepareServiceCopy(
      testing::UnitTest::GetInstance()->current_test_info()->name());
  InstallAndStart(folder);
}

HANDLE RunningServiceTest::Connect() {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  DWORD error = QvConnect(QV_PIPE_WAIT_MS, &pipe);
  EXPECT_EQ(0u, error);
  return pipe;
}
