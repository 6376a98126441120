// Round trips through the service's request pipe, set beside the same round
// trips through a bare overlapped message-mode echo server in this process,
// to show what the service's own handling costs.
//
// Usage: pipe_roundtrip_bench [REQUESTS]   (default 2000 of each kind)
// The service must be installed and running (qvClientService -i).
//
// Prints requests per second for request 2 with an empty list and for an
// invalid code, against the service and against the echo server, and the
// ratio of the two.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "qvrequest.h"

static const wchar_t echoPipeName[] = L"\\\\.\\pipe\\qvBenchEchoPipe";

// The echo server: one instance, the same sizes and modes as the service's
// pipe, answering every message with two bytes until its client leaves.
static DWORD WINAPI RunEchoServer(void *readyEvent) {
  HANDLE pipe = CreateNamedPipeW(
      echoPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 2048, 2048,
      5000, NULL);
  if (pipe == INVALID_HANDLE_VALUE) return 1;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = CreateEventW(NULL, TRUE, TRUE, NULL);
  SetEvent((HANDLE)readyEvent);
  DWORD count;
  if (!ConnectNamedPipe(pipe, &overlapped) &&
      GetLastError() == ERROR_IO_PENDING)
    GetOverlappedResult(pipe, &overlapped, &count, TRUE);
  char request[2048];
  const char reply[2] = {0, 0};
  for (;;) {
    if (!ReadFile(pipe, request, sizeof request - 1, &count, &overlapped) &&
        (GetLastError() != ERROR_IO_PENDING ||
         !GetOverlappedResult(pipe, &overlapped, &count, TRUE)))
      break;
    if (!WriteFile(pipe, reply, 2, &count, &overlapped) &&
        (GetLastError() != ERROR_IO_PENDING ||
         !GetOverlappedResult(pipe, &overlapped, &count, TRUE)))
      break;
  }
  CloseHandle(overlapped.hEvent);
  CloseHandle(pipe);
  return 0;
}

static HANDLE ConnectEcho(void) {
  HANDLE pipe = CreateFileW(echoPipeName, GENERIC_READ | GENERIC_WRITE, 0,
                            NULL, OPEN_EXISTING, 0, NULL);
  if (pipe == INVALID_HANDLE_VALUE) return pipe;
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(pipe, &mode, NULL, NULL);
  return pipe;
}

// Sends count one-byte requests of code on pipe; returns requests per
// second, or 0 when a round trip failed.
static double MeasureRoundTrips(HANDLE pipe, char code, int count) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (int i = 0; i < count; i++) {
    unsigned char reply[2];
    if (QvTransact(pipe, &code, 1, reply) != 0) return 0;
  }
  QueryPerformanceCounter(&end);
  double seconds = (double)(end.QuadPart - start.QuadPart) / frequency.QuadPart;
  return seconds > 0 ? count / seconds : 0;
}

int main(int argc, char **argv) {
  int count = argc > 1 ? atoi(argv[1]) : 2000;
  if (count <= 0) count = 2000;

  HANDLE service;
  DWORD error = QvConnect(QV_PIPE_WAIT_MS, &service);
  if (error != 0) {
    fprintf(stderr, "pipe_roundtrip_bench: the service is not reachable "
                    "(error %lu); install it with qvClientService -i\n",
            (unsigned long)error);
    return 1;
  }
  double serviceEmpty = MeasureRoundTrips(service, 2, count);
  double serviceInvalid = MeasureRoundTrips(service, 4, count);
  QvDisconnect(service);

  HANDLE ready = CreateEventW(NULL, TRUE, FALSE, NULL);
  HANDLE server = CreateThread(NULL, 0, RunEchoServer, ready, 0, NULL);
  WaitForSingleObject(ready, 5000);
  HANDLE echo = ConnectEcho();
  if (echo == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "pipe_roundtrip_bench: the echo server did not start "
                    "(error %lu)\n",
            GetLastError());
    return 1;
  }
  double echoEmpty = MeasureRoundTrips(echo, 2, count);
  double echoInvalid = MeasureRoundTrips(echo, 4, count);
  CloseHandle(echo);
  WaitForSingleObject(server, 5000);

  printf("round trips: %d of each kind\n", count);
  printf("%-28s %12s %12s %8s\n", "request", "service/s", "echo/s", "ratio");
  printf("%-28s %12.0f %12.0f %8.2f\n", "2, empty list", serviceEmpty,
         echoEmpty, echoEmpty > 0 ? serviceEmpty / echoEmpty : 0);
  printf("%-28s %12.0f %12.0f %8.2f\n", "invalid code 4 (logged)",
         serviceInvalid, echoInvalid,
         echoInvalid > 0 ? serviceInvalid / echoInvalid : 0);
  if (serviceEmpty == 0 || serviceInvalid == 0 || echoEmpty == 0 ||
      echoInvalid == 0) {
    fprintf(stderr, "pipe_roundtrip_bench: a round trip failed\n");
    return 1;
  }
  return 0;
}
