// Shared set-up of the tests that run the real service under the service
// control manager: a private copy of the executable per test, installation
// and removal, the service's status, its log, and clients of its pipe.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

extern const wchar_t testPipeName[];

// The folder of the running test program, with its trailing backslash.
std::string TestFolder();

// Makes <test folder>\svc\<name>\ holding a fresh copy of
// qvClientService.exe and no log; returns the folder with its backslash.
std::string PrepareServiceCopy(const std::string &name);

// Runs program with arguments (a command-line tail), waits for it and
// returns its exit code; its standard output goes to *output when given,
// with CR LF line ends as LF.
// Returns 0xFFFFFFFF when it cannot be started.
DWORD RunProgram(const std::string &program, const std::string &arguments,
                 std::string *output);

// Stops qvService if it runs and deletes it, waiting until the manager has
// forgotten it. True when no such service is left.
bool RemoveService();

// The service's current status; false when it cannot be queried.
bool QueryStatus(SERVICE_STATUS_PROCESS *status);

// Polls until the service reaches state; false on time-out.
bool WaitForState(DWORD state, DWORD timeoutMs,
                  SERVICE_STATUS_PROCESS *status);

// Opens the service with the given rights; NULL when it cannot.
SC_HANDLE OpenTestService(DWORD access);

// The log beside the copy in folder: the whole text, and its lines without
// their line ends.
std::string ReadLogText(const std::string &folder);
std::vector<std::string> ReadLogLines(const std::string &folder);

// Polls until some log line ends with " - " + message; false on time-out.
bool WaitForLogLine(const std::string &folder, const std::string &message,
                    DWORD timeoutMs);

// How many log lines carry exactly message.
int CountLogLines(const std::string &folder, const std::string &message);

// Every line is "Www Mmm dd hh:mm:ss yyyy - message" with a non-empty
// message and a CR LF line end; the first bad line goes to *bad.
bool LogIsWellFormed(const std::string &folder, std::string *bad);

// Opens the service's pipe in message read mode; INVALID_HANDLE_VALUE with
// *error set when it cannot.
HANDLE ConnectToService(DWORD *error);

// Writes message and reads the reply into *reply. Returns 0 or the code of
// the call that failed.
DWORD Transact(HANDLE pipe, const std::string &message, std::string *reply);

// Waits until the pipe exists and can be opened, so that requests find the
// service listening; false on time-out.
bool WaitForPipe(DWORD timeoutMs);

// The two-byte reply as text, "1 0" and the like, for readable checks.
std::string ReplyText(const std::string &reply);

// A test that owns the service for its duration: the service is removed
// before (Wine starts a left-over auto-start service at boot) and after.
class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Installs and starts the copy in folder with "-i" and waits until it
  // serves its pipe.
  void InstallAndStart(const std::string &folder);
};
