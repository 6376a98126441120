// The request pipe: how it is made and secured, and the requests, replies
// and bad messages the running service meets on it.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <string.h>

#include "lifecycle.h"
#include "pipe.h"
#include "qvrequest.h"
#include "service_harness.h"

namespace {

// The DACL of a pipe handle as "entries: type flags mask SID; ...".
std::string PipeDaclText(HANDLE pipe) {
  PACL dacl = NULL;
  PSECURITY_DESCRIPTOR descriptor = NULL;
  DWORD error = GetSecurityInfo(pipe, SE_KERNEL_OBJECT,
                                DACL_SECURITY_INFORMATION, NULL, NULL, &dacl,
                                NULL, &descriptor);
  if (error != 0) return "GetSecurityInfo failed " + std::to_string(error);
  std::string text = "entries:";
  for (const std::string &entry : AclText(dacl)) text += " " + entry + ";";
  LocalFree(descriptor);
  return text;
}

// GENERIC_READ | GENERIC_WRITE for everyone, as stored: the system may keep
// the generic rights or map them to the file rights they stand for.
bool IsWorldReadWrite(const std::string &dacl) {
  return dacl == "entries: 0 0 0xc0000000 S-1-1-0;" ||
         dacl == "entries: 0 0 0x12019f S-1-1-0;";
}

typedef ServiceTest PipeTest;

// The pipe as the service makes it, created here without a service running:
// its settings, its one-entry DACL, and that a second creation fails.
TEST_F(PipeTest, CreatedSecuredAndSingle) {
  SetLastError(0xdeadbeef);
  HANDLE pipe = CreateServicePipe();
  ASSERT_NE(INVALID_HANDLE_VALUE, pipe) << GetLastError();
  DWORD flags = 0, out = 0, in = 0, instances = 0;
  ASSERT_TRUE(GetNamedPipeInfo(pipe, &flags, &out, &in, &instances));
  EXPECT_EQ((DWORD)(PIPE_SERVER_END | PIPE_TYPE_MESSAGE), flags);
  EXPECT_EQ(2048u, out);
  EXPECT_EQ(2048u, in);
  EXPECT_EQ(1u, instances);
  DWORD state = 0;
  ASSERT_TRUE(GetNamedPipeHandleStateW(pipe, &state, NULL, NULL, NULL, NULL, 0));
  EXPECT_EQ((DWORD)PIPE_READMODE_MESSAGE, state) << "waiting, message reads";
  std::string dacl = PipeDaclText(pipe);
  EXPECT_TRUE(IsWorldReadWrite(dacl)) << dacl;

  SetLastError(0xdeadbeef);
  HANDLE second = CreateServicePipe();
  DWORD error = GetLastError();
  EXPECT_EQ(INVALID_HANDLE_VALUE, second);
  EXPECT_TRUE(error == ERROR_PIPE_BUSY || error == ERROR_ACCESS_DENIED)
      << error;
  if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
  CloseHandle(pipe);
}

// SetEntriesInAclW returns its error code; the log line and the code the
// caller sees are that code, not whatever the last error held.
DWORD WINAPI FailingSetEntriesInAcl(ULONG, PEXPLICIT_ACCESS_W, PACL, PACL *) {
  SetLastError(0xdeadbeef);
  return ERROR_NOT_ENOUGH_MEMORY;
}

TEST_F(PipeTest, AclFailureLogsTheReturnedCode) {
  std::string ownLog = TestProgramFolder();
  int before = CountLogLines(ownLog, "SetEntriesInAcl Error 8");
  pipeSetEntriesInAcl = FailingSetEntriesInAcl;
  HANDLE pipe = CreateServicePipe();
  DWORD error = GetLastError();
  pipeSetEntriesInAcl = SetEntriesInAclW;
  EXPECT_EQ(INVALID_HANDLE_VALUE, pipe);
  EXPECT_EQ((DWORD)ERROR_NOT_ENOUGH_MEMORY, error);
  EXPECT_EQ(1, CountLogLines(ownLog, "SetEntriesInAcl Error 8") - before);
  // The name is still free: nothing was created.
  HANDLE real = CreateServicePipe();
  EXPECT_NE(INVALID_HANDLE_VALUE, real) << GetLastError();
  CloseHandle(real);
}

DWORD WINAPI RunLoop(void *) { return RunRequestLoop(); }

// The child "fatal-listen": the loop set up on a handle that is a file, not
// a pipe, so that listening fails in a way no retry mends. Returns what the
// loop returned.
int ChildFatalListen(const char *filePath) {
  pipeEvent = CreateEventW(NULL, TRUE, TRUE, NULL);
  pipeOverlapped.hEvent = pipeEvent;
  servicePipe = CreateFileA(filePath, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                            CREATE_ALWAYS, FILE_FLAG_OVERLAPPED, NULL);
  if (servicePipe == INVALID_HANDLE_VALUE) return -1;
  ListenForClient();
  return (int)RunRequestLoop();
}

// Listening that fails for another reason than a pending or an early client
// is logged as fatal, and the loop ends at once with that error, which the
// service then reports as its exit code.
TEST(PipeLoop, ListeningThatFailsEndsTheLoop) {
  std::string folder = FreshFolder("pipe-fatal");
  ChildRun run = RunChild(folder, "fatal-listen");
  printf("listening on a file failed with %lu\n", (unsigned long)run.exitCode);
  EXPECT_NE(0u, run.exitCode);
  EXPECT_NE((DWORD)-1, run.exitCode) << "the child made no file";
  for (DWORD handled : {ERROR_IO_PENDING, ERROR_PIPE_CONNECTED, ERROR_NO_DATA})
    EXPECT_NE(handled, run.exitCode);
  EXPECT_EQ(std::vector<std::string>{"Fatal Pipe Connection Error " +
                                     std::to_string(run.exitCode) + "."},
            LogMessages(ReadWholeFile(LogPath(folder))));
}

// The request loop run here on a pipe of its own, for a client that was
// there before the loop listened: one still connected, and one that
// connected and went away again. Either way the loop serves the next
// client, and a stop ends it.
TEST_F(PipeTest, ClientsThatCameBeforeListening) {
  std::string ownLog = TestProgramFolder();
  for (bool stays : {true, false}) {
    SCOPED_TRACE(stays ? "client still there" : "client gone");
    size_t mark = LogMark(LogPath(ownLog));
    stopRequested = false;
    pipeEvent = CreateEventW(NULL, TRUE, TRUE, NULL);
    pipeOverlapped.hEvent = pipeEvent;
    servicePipe = CreateServicePipe();
    ASSERT_NE(INVALID_HANDLE_VALUE, servicePipe) << GetLastError();
    DWORD error = 0;
    HANDLE early = ConnectToService(&error);
    ASSERT_NE(INVALID_HANDLE_VALUE, early) << error;
    if (!stays) CloseHandle(early);
    ResetEvent(pipeEvent);
    ListenForClient();
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(pipeEvent, 0))
        << "the loop is woken for the client that came first";
    HANDLE loop = CreateThread(NULL, 0, RunLoop, NULL, 0, NULL);
    HANDLE client = early;
    if (!stays) {
      ASSERT_EQ(0u, QvConnect(QV_PIPE_WAIT_MS, &client));
    }
    std::string reply;
    EXPECT_EQ(0u, Transact(client, Message({4}), &reply));
    EXPECT_EQ("0 0", ReplyText(reply));
    StopService();
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(loop, 5000));
    DWORD result = 0xdeadbeef;
    GetExitCodeThread(loop, &result);
    EXPECT_EQ(0u, result) << "the loop ended after a stop";
    CloseHandle(loop);
    CloseHandle(client);
    CloseHandle(pipeEvent);
    EXPECT_EQ(std::vector<std::string>{"Invalid Request code was recieved: 4"},
              LogMessages(LogSince(LogPath(ownLog), mark)));
  }
  stopRequested = false;
}

// A stand-in server on the service's pipe name for one client: it reads one
// message, then either answers it or drops the connection unanswered, as
// the service does after a stop.
struct StandInServer {
  bool answer;
  unsigned char reply[2];
  std::string received;
  HANDLE pipe;
};

// The stand-in's end of the pipe, named and shaped as the service's.
HANDLE CreateStandInPipe() {
  return CreateNamedPipeW(testPipeName, PIPE_ACCESS_DUPLEX,
                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                          1, 2048, 2048, 5000, NULL);
}

DWORD WINAPI ServeOnce(void *context) {
  StandInServer *server = (StandInServer *)context;
  if (!ConnectNamedPipe(server->pipe, NULL) &&
      GetLastError() != ERROR_PIPE_CONNECTED)
    return 1;
  char buffer[4096];
  DWORD count = 0;
  if (ReadFile(server->pipe, buffer, sizeof buffer, &count, NULL))
    server->received.assign(buffer, count);
  if (server->answer) {
    WriteFile(server->pipe, server->reply, 2, &count, NULL);
    FlushFileBuffers(server->pipe);
  }
  DisconnectNamedPipe(server->pipe);
  return 0;
}

// The client routine: the message it sends, the result it reads, and a stop
// whose reply was dropped with the connection, which counts as answered.
TEST_F(PipeTest, ClientRoutineAgainstAStandIn) {
  struct Case {
    int code;
    const char *items;
    bool answer;
    unsigned char reply;
    std::string sent;
    bool succeeds;
    int result;
  } cases[] = {
      {1, NULL, true, 1, Message({1}), true, 1},
      {1, NULL, false, 0, Message({1}), true, 1},
      {4, NULL, false, 0, Message({4}), false, -1},
      {2, "C:\\a.ocx\r\nC:\\b.ocx", true, 0, "\x02" "C:\\a.ocx\r\nC:\\b.ocx",
       true, 0},
      {3, "", true, 1, Message({3}), true, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "code " << c.code
                                    << (c.answer ? ", answered" : ", dropped"));
    StandInServer server = {c.answer, {c.reply, 0}, "", CreateStandInPipe()};
    ASSERT_NE(INVALID_HANDLE_VALUE, server.pipe) << GetLastError();
    HANDLE thread = CreateThread(NULL, 0, ServeOnce, &server, 0, NULL);
    int result = -1;
    DWORD error = QvSendRequest(c.code, c.items, &result);
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    CloseHandle(thread);
    CloseHandle(server.pipe);
    EXPECT_EQ(c.sent, server.received);
    if (c.succeeds) {
      EXPECT_EQ(0u, error);
    } else {
      EXPECT_TRUE(error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_BROKEN_PIPE)
          << error;
    }
    EXPECT_EQ(c.result, result);
  }
  int result = -1;
  std::string tooLong(QV_MAX_MESSAGE, 'x');
  EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER,
            QvRequest(INVALID_HANDLE_VALUE, 2, tooLong.c_str(), &result))
      << "an item list that does not fit one message is not sent";
  EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, QvSendRequest(4, NULL, &result))
      << "no server";
}

// The client program sends an item list that fills one message whole, code
// byte and 2046 bytes of items, and refuses one byte more before it
// connects.
TEST_F(PipeTest, ClientProgramFillsOneMessage) {
  std::string client = TestProgramFolder() + "qvclient.exe";
  std::string longest(QV_MAX_MESSAGE - 1, 'x');
  StandInServer server = {true, {1, 0}, "", CreateStandInPipe()};
  ASSERT_NE(INVALID_HANDLE_VALUE, server.pipe) << GetLastError();
  HANDLE thread = CreateThread(NULL, 0, ServeOnce, &server, 0, NULL);
  ChildRun run = RunProgram(client, {"register", longest});
  EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
  CloseHandle(thread);
  CloseHandle(server.pipe);
  EXPECT_EQ(0u, run.exitCode) << run.output;
  EXPECT_EQ(Lines({"result: 1"}), run.output);
  EXPECT_EQ(QV_MAX_MESSAGE, (int)server.received.size());
  EXPECT_TRUE(server.received == "\x02" + longest)
      << "the message is not code 2 followed by the whole list";

  run = RunProgram(client, {"register", longest + "x"});
  EXPECT_EQ(2u, run.exitCode);
  EXPECT_EQ(Lines({"qvclient: the items do not fit one request of 2047 bytes"}),
            run.output);
}

// With no service listening, the client program says so and what to do,
// and exits with 2.
TEST_F(PipeTest, ClientProgramWithoutAService) {
  ChildRun run =
      RunProgram(TestProgramFolder() + "qvclient.exe", {"fonts", "a.ttf"});
  EXPECT_EQ(2u, run.exitCode);
  EXPECT_EQ(Lines({"qvclient: no reply from the service (error 2): the "
                   "service is not running; start it (net start qvService) "
                   "or install it (qvClientService -i, as an administrator)"}),
            run.output);
}

class RequestTest : public RunningServiceTest {
 protected:
  // True when the service has dropped the connection: a read finds it gone.
  static bool Dropped(HANDLE pipe, DWORD *error) {
    char buffer[16];
    DWORD count = 0;
    SetLastError(0xdeadbeef);
    BOOL read = ReadFile(pipe, buffer, sizeof buffer, &count, NULL);
    *error = GetLastError();
    return !read && (*error == ERROR_PIPE_NOT_CONNECTED ||
                     *error == ERROR_BROKEN_PIPE);
  }
  void ExpectServed() {
    HANDLE pipe = Connect();
    std::string reply;
    EXPECT_EQ(0u, Transact(pipe, Message({4}), &reply));
    EXPECT_EQ("0 0", ReplyText(reply));
    CloseHandle(pipe);
  }
};

// Each request code on one connection, answered in order with its reply and
// log line; the signed code byte widens to 32 bits in the log.
TEST_F(RequestTest, CodesAnsweredOnOneConnection) {
  struct Case {
    std::string message;
    const char *reply;
    const char *logLine;
  } cases[] = {
      {Message({2}), "1 0", NULL},
      {Message({3}), "0 0", NULL},
      {Message({0}), "0 0", "Invalid Request code was recieved: 0"},
      {Message({4}), "0 0", "Invalid Request code was recieved: 4"},
      {Message({4, 'x', 'y'}), "0 0", "Invalid Request code was recieved: 4"},
      {Message({127}), "0 0", "Invalid Request code was recieved: 127"},
      {Message({0x80}), "0 0", "Invalid Request code was recieved: 4294967168"},
      {Message({0xff}), "0 0", "Invalid Request code was recieved: 4294967295"},
      {Message({2, '\r', '\n', ' '}), "1 0", NULL},
  };
  HANDLE pipe = Connect();
  for (const Case &c : cases) {
    std::string reply;
    size_t linesBefore = ServiceLog(folder).size();
    EXPECT_EQ(0u, Transact(pipe, c.message, &reply)) << (int)c.message[0];
    EXPECT_EQ(c.reply, ReplyText(reply)) << "code " << (int)(signed char)c.message[0];
    std::vector<std::string> lines = ServiceLog(folder);
    if (c.logLine == NULL) {
      EXPECT_EQ(linesBefore, lines.size()) << (int)c.message[0];
    } else {
      ASSERT_EQ(linesBefore + 1, lines.size()) << c.logLine;
      EXPECT_EQ(c.logLine, lines.back());
    }
  }
  CloseHandle(pipe);
}

// Two requests written before either reply is read get both replies, in
// order.
TEST_F(RequestTest, RequestsQueuedOnOneConnection) {
  HANDLE pipe = Connect();
  DWORD count;
  ASSERT_TRUE(WriteFile(pipe, "\x05", 1, &count, NULL));
  ASSERT_TRUE(WriteFile(pipe, "\x06", 1, &count, NULL));
  for (int i = 0; i < 2; i++) {
    unsigned char reply[4];
    ASSERT_TRUE(ReadFile(pipe, reply, sizeof reply, &count, NULL)) << i;
    EXPECT_EQ(2u, count);
    EXPECT_EQ(0, reply[0]);
  }
  std::vector<std::string> lines = ServiceLog(folder);
  ASSERT_LE(2u, lines.size());
  EXPECT_EQ("Invalid Request code was recieved: 5", lines[lines.size() - 2]);
  EXPECT_EQ("Invalid Request code was recieved: 6", lines.back());
  CloseHandle(pipe);
}

// A zero-length message and one of 2048 bytes or more make the service drop
// the client without a reply; 2047 bytes is the longest it takes. The next
// client is served.
TEST_F(RequestTest, MessageLengths) {
  struct Case {
    size_t length;
    bool answered;
  } cases[] = {{0, false}, {1, true}, {2047, true}, {2048, false},
               {4096, false}, {2047, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.length << " bytes");
    HANDLE pipe = Connect();
    std::string message(c.length, 'x');
    if (c.length > 0) message[0] = 4;
    DWORD count = 0;
    BOOL wrote = WriteFile(pipe, message.data(), (DWORD)message.size(), &count,
                           NULL);
    EXPECT_TRUE(wrote || !c.answered) << GetLastError();
    DWORD error = 0;
    if (c.answered) {
      unsigned char reply[4];
      EXPECT_TRUE(ReadFile(pipe, reply, sizeof reply, &count, NULL))
          << GetLastError();
      EXPECT_EQ(2u, count);
    } else {
      EXPECT_TRUE(Dropped(pipe, &error)) << error;
    }
    CloseHandle(pipe);
  }
  EXPECT_EQ(3, CountLogLines(folder, "Invalid Request code was recieved: 4"));
  ExpectServed();
}

// The item text ends at the first NUL of the message: only the first of the
// two control paths is tried.
TEST_F(RequestTest, NulEndsTheItemText) {
  HANDLE pipe = Connect();
  std::string message = std::string(1, '\x02') + "C:\\qvnone\\first.ocx" +
                        std::string(1, '\0') + "C:\\qvnone\\second.ocx";
  std::string reply;
  EXPECT_EQ(0u, Transact(pipe, message, &reply));
  EXPECT_EQ("0 0", ReplyText(reply));
  CloseHandle(pipe);
  std::string log = ReadWholeFile(LogPath(folder));
  EXPECT_NE(std::string::npos, log.find("Register C:\\qvnone\\first.ocx - "))
      << log;
  EXPECT_EQ(std::string::npos, log.find("second.ocx")) << log;
}

// Clients that go away at any point of a request: the service listens again
// and the next client is served.
TEST_F(RequestTest, VanishingClients) {
  for (int way = 0; way < 3; way++) {
    SCOPED_TRACE(way);
    HANDLE pipe = Connect();
    DWORD count;
    if (way == 1) WriteFile(pipe, "\x04", 1, &count, NULL);
    if (way == 2) WriteFile(pipe, "\x04\x04", 2, &count, NULL), Sleep(50);
    CloseHandle(pipe);
    ExpectServed();
  }
}

// While one client is connected the next finds the pipe busy; a client that
// waits is served once the first leaves.
DWORD WINAPI WaitingClient(void *resultOut) {
  int *result = (int *)resultOut;
  DWORD error = QvSendRequest(3, "", result);
  return error;
}

TEST_F(RequestTest, SecondClientWaitsForTheFirst) {
  HANDLE first = Connect();
  std::string reply;
  ASSERT_EQ(0u, Transact(first, Message({4}), &reply));
  DWORD error;
  SetLastError(0xdeadbeef);
  HANDLE second = ConnectToService(&error);
  EXPECT_EQ(INVALID_HANDLE_VALUE, second);
  EXPECT_EQ((DWORD)ERROR_PIPE_BUSY, error);

  HANDLE impatient = INVALID_HANDLE_VALUE;
  DWORD started = GetTickCount();
  EXPECT_EQ((DWORD)ERROR_PIPE_BUSY, QvConnect(200, &impatient));
  EXPECT_LE(150u, GetTickCount() - started) << "waited for the pipe first";

  // A client that waits as long as the pipe's own default time-out says
  // waits its 5000 ms.
  started = GetTickCount();
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(WaitNamedPipeW(testPipeName, NMPWAIT_USE_DEFAULT_WAIT));
  DWORD waited = GetTickCount() - started;
  EXPECT_EQ((DWORD)ERROR_SEM_TIMEOUT, GetLastError());
  EXPECT_LE(4500u, waited);
  EXPECT_GT(15000u, waited);

  int result = -1;
  HANDLE thread = CreateThread(NULL, 0, WaitingClient, &result, 0, NULL);
  EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(thread, 300))
      << "the waiting client got through while the first was connected";
  ASSERT_EQ(0u, Transact(first, Message({4}), &reply))
      << "the first client is still served";
  CloseHandle(first);
  EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
  DWORD exitCode = 0xdeadbeef;
  GetExitCodeThread(thread, &exitCode);
  CloseHandle(thread);
  EXPECT_EQ(0u, exitCode);
  EXPECT_EQ(0, result);
}

// The pipe as a client sees it: one entry, everyone may read and write.
TEST_F(RequestTest, ClientSeesTheWorldEntry) {
  HANDLE pipe = Connect();
  ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
  std::string dacl = PipeDaclText(pipe);
  EXPECT_TRUE(IsWorldReadWrite(dacl)) << dacl;
  printf("the pipe's DACL as a client reads it: %s\n", dacl.c_str());
  DWORD flags = 0, out = 0, in = 0, instances = 0;
  ASSERT_TRUE(GetNamedPipeInfo(pipe, &flags, &out, &in, &instances));
  EXPECT_EQ((DWORD)PIPE_TYPE_MESSAGE, flags) << "client end, messages";
  EXPECT_EQ(1u, instances);
  CloseHandle(pipe);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 2 && strcmp(argv[1], "--child=fatal-listen") == 0) {
    std::string folder = TestProgramFolder();
    return ChildFatalListen((folder + "not-a-pipe").c_str());
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
