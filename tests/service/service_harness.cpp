#include "service_harness.h"

#include <stdio.h>
#include <string.h>

const wchar_t testPipeName[] = L"\\\\.\\pipe\\qvClientServicePipe";

std::string TestFolder() {
  char path[MAX_PATH + 1];
  DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
  std::string text(path, length);
  return text.substr(0, text.find_last_of('\\') + 1);
}

std::string PrepareServiceCopy(const std::string &name) {
  std::string base = TestFolder() + "svc\\";
  CreateDirectoryA(base.c_str(), NULL);
  std::string folder = base + name + "\\";
  CreateDirectoryA(folder.c_str(), NULL);
  DeleteFileA((folder + "qvClientServiceLog.txt").c_str());
  std::string source = TestFolder() + "qvClientService.exe";
  std::string target = folder + "qvClientService.exe";
  EXPECT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE))
      << "copy to " << target << " failed: " << GetLastError();
  return folder;
}

DWORD RunProgram(const std::string &program, const std::string &arguments,
                 std::string *output) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
  HANDLE readEnd = NULL, writeEnd = NULL;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return 0xFFFFFFFF;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::string commandLine = "\"" + program + "\" " + arguments;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessA(program.c_str(), line.data(), NULL, NULL, TRUE,
                                0, NULL, NULL, &startup, &process);
  CloseHandle(writeEnd);
  std::string text;
  if (started) {
    char buffer[512];
    DWORD count;
    while (ReadFile(readEnd, buffer, sizeof buffer, &count, NULL) && count > 0)
      text.append(buffer, count);
  }
  CloseHandle(readEnd);
  if (!started) return 0xFFFFFFFF;
  WaitForSingleObject(process.hProcess, 30000);
  DWORD exitCode = 0xFFFFFFFF;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  // The program prints in text mode; compare its lines without the CRs.
  if (output != NULL) {
    output->clear();
    for (char c : text)
      if (c != '\r') *output += c;
  }
  return exitCode;
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
  if (status.dwCurrentState != SERVICE_STOPPED) {
    SERVICE_STATUS plain;
    ControlService(service, SERVICE_CONTROL_STOP, &plain);
    WaitForState(SERVICE_STOPPED, 10000, &status);
  }
  WaitForProcessEnd(status.dwProcessId);
  DeleteService(service);
  CloseServiceHandle(service);
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 10000) {
    SC_HANDLE left = OpenTestService(SERVICE_QUERY_STATUS);
    if (left == NULL) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    CloseServiceHandle(left);
    Sleep(20);
  }
  return false;
}

std::string ReadLogText(const std::string &folder) {
  std::string path = folder + "qvClientServiceLog.txt";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string text;
  char buffer[4096];
  DWORD count;
  while (ReadFile(file, buffer, sizeof buffer, &count, NULL) && count > 0)
    text.append(buffer, count);
  CloseHandle(file);
  return text;
}

std::vector<std::string> ReadLogLines(const std::string &folder) {
  std::string text = ReadLogText(folder);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// The message of a log line: what follows the 24-character time and " - ".
static std::string MessageOf(const std::string &line) {
  return line.size() >= 27 ? line.substr(27) : std::string();
}

int CountLogLines(const std::string &folder, const std::string &message) {
  int count = 0;
  for (const std::string &line : ReadLogLines(folder))
    if (MessageOf(line) == message) count++;
  return count;
}

bool WaitForLogLine(const std::string &folder, const std::string &message,
                    DWORD timeoutMs) {
  DWORD start = GetTickCount();
  do {
    if (CountLogLines(folder, message) > 0) return true;
    Sleep(10);
  } while (GetTickCount() - start < timeoutMs);
  return false;
}

static bool Matches(const char *text, const char *pattern) {
  // pattern: 'A' upper-case letter, 'a' lower-case, '9' digit, else itself.
  for (; *pattern; pattern++, text++) {
    char c = *text;
    if (*pattern == 'A' ? !(c >= 'A' && c <= 'Z')
        : *pattern == 'a' ? !(c >= 'a' && c <= 'z')
        : *pattern == '9' ? !(c >= '0' && c <= '9')
                          : c != *pattern)
      return false;
  }
  return true;
}

bool LogIsWellFormed(const std::string &folder, std::string *bad) {
  std::string text = ReadLogText(folder);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    std::string line = text.substr(start, end == std::string::npos
                                              ? std::string::npos
                                              : end - start);
    bool good = end != std::string::npos && line.size() > 27 &&
                line.find('\n') == std::string::npos &&
                Matches(line.c_str(), "Aaa Aaa 99 99:99:99 9999 - ");
    if (!good) {
      *bad = line;
      return false;
    }
    start = end + 2;
  }
  return true;
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

void ServiceTest::SetUp() { ASSERT_TRUE(RemoveService()); }

void ServiceTest::TearDown() { EXPECT_TRUE(RemoveService()); }

void ServiceTest::InstallAndStart(const std::string &folder) {
  std::string output;
  DWORD exitCode = RunProgram(folder + "qvClientService.exe", "-i", &output);
  ASSERT_EQ(0u, exitCode) << output;
  SERVICE_STATUS_PROCESS status = {};
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 10000, &status))
      << "state " << status.dwCurrentState << ", output: " << output;
  ASSERT_TRUE(WaitForPipe(5000));
}
