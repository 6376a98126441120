/*
 * qvrequest: a small client of the Quorvale control service, for
 * applications to embed (copy qvrequest.h and qvrequest.c into the project;
 * they need nothing beyond kernel32).
 *
 * The service listens on the named pipe \\.\pipe\qvClientServicePipe. A
 * request is one message: a code byte, and for codes 2 and 3 an item list
 * in the ANSI code page. The reply is two bytes: the result (1 or 0) and 0.
 *
 *   code 1  stop the service                        result 1
 *   code 2  register control files (item list)      1 when every item registered
 *   code 3  install fonts lying beside the service  1 when at least one font is
 *           (item list)                             installed or already present
 *
 * Items are separated by line ends (or any control character). A control
 * item is a path, or "<" destination ">" source to copy source over
 * destination before registering it. A font item is a file name beside the
 * service executable, optionally followed by "=" and the name the Fonts key
 * lists it under, such as "Demo.ttf=Demo Sans (TrueType)".
 *
 * The pipe serves one client at a time; the others find it busy. QvConnect
 * waits for it up to a time-out; the service keeps the connection open for
 * as many requests as the client sends.
 *
 * Example:
 *
 *   int result;
 *   DWORD error = QvSendRequest(QV_REGISTER, "C:\\App\\ctl.ocx", &result);
 *   if (error != 0)  ...the service could not be reached: error is a Win32 code
 *   else if (!result) ...the service reports a failure: see its log
 */
#ifndef QVREQUEST_H
#define QVREQUEST_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QV_PIPE_NAME L"\\\\.\\pipe\\qvClientServicePipe"

/* How long QvSendRequest waits for a busy pipe: the pipe's own default. */
#define QV_PIPE_WAIT_MS 5000

/* The longest message the service accepts, code byte included. */
#define QV_MAX_MESSAGE 2047

#define QV_STOP 1
#define QV_REGISTER 2
#define QV_FONTS 3

/* Opens a connection to the service in *pipe, in message read mode. While
 * another client holds the pipe, waits up to waitMs milliseconds for it.
 * Returns 0, or a Win32 error code: ERROR_FILE_NOT_FOUND when the service is
 * not running, ERROR_PIPE_BUSY when the wait ran out. */
DWORD QvConnect(DWORD waitMs, HANDLE *pipe);

/* Sends one message of length bytes (1 to QV_MAX_MESSAGE) and reads the
 * two-byte reply into reply. Returns 0 or a Win32 error code; after an error
 * the connection is of no further use. */
DWORD QvTransact(HANDLE pipe, const void *message, DWORD length,
                 unsigned char reply[2]);

/* Sends request code with the item list items (NULL or "" for none) and
 * stores the reply's result, 1 or 0, in *result. Returns 0 or a Win32 error
 * code; ERROR_INVALID_PARAMETER when the list does not fit one message.
 * The service stops at once after a stop request and may discard its reply;
 * a stop whose reply is lost that way counts as answered with 1. */
DWORD QvRequest(HANDLE pipe, int code, const char *items, int *result);

/* Closes a connection made by QvConnect. */
void QvDisconnect(HANDLE pipe);

/* Connects (waiting up to QV_PIPE_WAIT_MS for a busy pipe), sends one
 * request as QvRequest does, and disconnects. */
DWORD QvSendRequest(int code, const char *items, int *result);

#ifdef __cplusplus
}
#endif

#endif
