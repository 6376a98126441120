/* Client of the control service's request pipe; see qvrequest.h. */
#include "qvrequest.h"

#include <string.h>

DWORD QvConnect(DWORD waitMs, HANDLE *pipe) {
  DWORD start = GetTickCount();
  *pipe = INVALID_HANDLE_VALUE;
  for (;;) {
    HANDLE handle = CreateFileW(QV_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0,
                                NULL, OPEN_EXISTING, 0, NULL);
    if (handle != INVALID_HANDLE_VALUE) {
      DWORD mode = PIPE_READMODE_MESSAGE;
      if (!SetNamedPipeHandleState(handle, &mode, NULL, NULL)) {
        DWORD error = GetLastError();
        CloseHandle(handle);
        return error;
      }
      *pipe = handle;
      return 0;
    }
    DWORD error = GetLastError();
    if (error != ERROR_PIPE_BUSY) return error;
    /* Another client holds the pipe. The wait ends when the service listens
     * again, but a third client may get there first: try until the time is
     * spent. */
    DWORD spent = GetTickCount() - start;
    if (spent >= waitMs) return ERROR_PIPE_BUSY;
    if (!WaitNamedPipeW(QV_PIPE_NAME, waitMs - spent)) {
      error = GetLastError();
      if (error == ERROR_SEM_TIMEOUT) return ERROR_PIPE_BUSY;
      if (error != ERROR_PIPE_BUSY) return error;
    }
  }
}

static DWORD WriteMessage(HANDLE pipe, const void *message, DWORD length) {
  DWORD written = 0;
  if (!WriteFile(pipe, message, length, &written, NULL)) return GetLastError();
  return written == length ? 0 : ERROR_WRITE_FAULT;
}

static DWORD ReadReply(HANDLE pipe, unsigned char reply[2]) {
  DWORD read = 0;
  if (!ReadFile(pipe, reply, 2, &read, NULL)) return GetLastError();
  return read == 2 ? 0 : ERROR_INVALID_DATA;
}

DWORD QvTransact(HANDLE pipe, const void *message, DWORD length,
                 unsigned char reply[2]) {
  DWORD error = WriteMessage(pipe, message, length);
  return error != 0 ? error : ReadReply(pipe, reply);
}

DWORD QvRequest(HANDLE pipe, int code, const char *items, int *result) {
  char message[QV_MAX_MESSAGE];
  size_t length = items == NULL ? 0 : strlen(items);
  if (length > QV_MAX_MESSAGE - 1) return ERROR_INVALID_PARAMETER;
  message[0] = (char)code;
  if (length > 0) memcpy(message + 1, items, length);
  DWORD error = WriteMessage(pipe, message, (DWORD)length + 1);
  if (error != 0) return error;
  unsigned char reply[2];
  error = ReadReply(pipe, reply);
  /* The service disconnects as soon as it has taken a stop, which may
   * discard the reply before it is read: the stop was received all the
   * same. */
  if (code == QV_STOP && (error == ERROR_BROKEN_PIPE ||
                          error == ERROR_PIPE_NOT_CONNECTED ||
                          error == ERROR_NO_DATA)) {
    reply[0] = 1;
    error = 0;
  }
  if (error == 0) *result = reply[0];
  return error;
}

void QvDisconnect(HANDLE pipe) {
  if (pipe != INVALID_HANDLE_VALUE) CloseHandle(pipe);
}

DWORD QvSendRequest(int code, const char *items, int *result) {
  HANDLE pipe;
  DWORD error = QvConnect(QV_PIPE_WAIT_MS, &pipe);
  if (error != 0) return error;
  error = QvRequest(pipe, code, items, result);
  QvDisconnect(pipe);
  return error;
}
