// Shared set-up of the tests that run the real service under the service
// control manager: a private copy of the executable per test, installation
// and removal, the service's status, its log, and clients of its pipe.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"

extern const wchar_t testPipeName[];

// Makes build/out/work/<name>\ afresh, holding a copy of
// qvClientService.exe; returns the folder with its backslash.
std::string PrepareServiceCopy(const std::string &name);

// Stops qvService if it runs and deletes it, waiting until its process has
// ended and the manager has forgotten it. True when no such service is left.
bool RemoveService();

// Polls until the manager answers ERROR_SERVICE_DOES_NOT_EXIST for qvService
// (at least once, also with no time); false on time-out.
bool WaitForServiceGone(DWORD timeoutMs);

// The service's current status; false when it cannot be queried.
bool QueryStatus(SERVICE_STATUS_PROCESS *status);

// Polls until the service reaches state; false on time-out.
bool WaitForState(DWORD state, DWORD timeoutMs,
                  SERVICE_STATUS_PROCESS *status);

// Opens the service with the given rights; NULL, with the last error set,
// when it cannot.
SC_HANDLE OpenTestService(DWORD access);

// The messages of the log beside the copy in folder, in order. A line that
// is not well formed is reported as a test failure.
std::vector<std::string> ServiceLog(const std::string &folder);

// How many log lines carry exactly message.
int CountLogLines(const std::string &folder, const std::string &message);

// Polls until a whole log line carries message; false on time-out.
bool WaitForLogLine(const std::string &folder, const std::string &message,
                    DWORD timeoutMs);

// Opens the service's pipe in message read mode; INVALID_HANDLE_VALUE with
// *error set when it cannot.
HANDLE ConnectToService(DWORD *error);

// Writes message and reads the reply into *reply. Returns 0 or the code of
// the call that failed.
DWORD Transact(HANDLE pipe, const std::string &message, std::string *reply);

// Waits until the pipe exists and has an instance free; false on time-out.
bool WaitForPipe(DWORD timeoutMs);

// Bytes as their decimal values, "1 0" for a reply and the like, for
// readable checks.
std::string ReplyText(const std::string &reply);

// Bytes given as numbers.
std::string Message(std::initializer_list<int> bytes);

// A SID as text, "S-1-5-11" and the like.
std::string SidText(PSID sid);

// The entries of an ACL, each as "type flags mask SID"; empty for no ACL.
std::vector<std::string> AclText(PACL acl);

// A test that owns the service for its duration: the service is removed
// before (Wine starts a left-over auto-start service at boot) and after.
class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Installs and starts the copy in folder with "-i" and waits until it
  // serves its pipe. The installer and the starting service log into the
  // same file at the same moment, and the log does not take turns across
  // processes: either line may be missing.
  void InstallAndStart(const std::string &folder);
};

// A test that runs against the service installed and started from a copy
// of its own in folder, named after the test.
class RunningServiceTest : public ServiceTest {
 protected:
  std::string folder;
  void SetUp() override;
  // Connects to the service, waiting for a busy pipe as clients do; a
  // failure is reported as a test failure.
  HANDLE Connect();
};
