/* qvclient: sends one request to the control service and prints its reply.
 *
 *   qvclient stop                 stop the service
 *   qvclient register ITEM...     register control files (request 2)
 *   qvclient fonts ITEM...        install fonts beside the service (request 3)
 *   qvclient raw CODE [TEXT]      send request CODE (0 to 255) with TEXT
 *
 * Each ITEM is one item of the list; they are sent separated by CR LF. A
 * busy pipe is waited for up to its default time-out of 5 seconds.
 *
 * Prints "result: R" with the result R of the service's reply. Exit code 0
 * when the result is 1, 1 when it is 0, 2 when the service could not be
 * reached or the command line is wrong. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qvrequest.h"

static const char usage[] =
    "usage: qvclient stop\n"
    "       qvclient register ITEM...\n"
    "       qvclient fonts ITEM...\n"
    "       qvclient raw CODE [TEXT]\n";

/* Joins the arguments from first on into one item list in out (capacity
 * bytes, its NUL included). Returns 0 when they do not fit. */
static int JoinItems(int argc, char **argv, int first, char *out,
                     size_t capacity) {
  size_t used = 0;
  out[0] = '\0';
  for (int i = first; i < argc; i++) {
    size_t length = strlen(argv[i]);
    size_t separator = i > first ? 2 : 0;
    if (used + separator + length + 1 > capacity) return 0;
    if (separator) memcpy(out + used, "\r\n", 2);
    memcpy(out + used + separator, argv[i], length + 1);
    used += separator + length;
  }
  return 1;
}

/* Reads the code of "raw": a number from 0 to 255. Returns -1 otherwise. */
static int ParseCode(const char *text) {
  char *end;
  long code = strtol(text, &end, 0);
  if (*text == '\0' || *end != '\0' || code < 0 || code > 255) return -1;
  return (int)code;
}

/* What a person can do about a connection error. */
static const char *AdviceFor(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return ": the service is not running; start it (net start qvService)"
             " or install it (qvClientService -i, as an administrator)";
    case ERROR_PIPE_BUSY:
      return ": another program kept the service busy for 5 seconds;"
             " try again when it is done";
    case ERROR_ACCESS_DENIED:
      return ": the pipe refused this account";
    default:
      return "";
  }
}

int main(int argc, char **argv) {
  static char items[QV_MAX_MESSAGE];
  int code = -1;
  int itemsFrom = argc;
  if (argc == 2 && strcmp(argv[1], "stop") == 0) {
    code = QV_STOP;
  } else if (argc >= 2 && strcmp(argv[1], "register") == 0) {
    code = QV_REGISTER;
    itemsFrom = 2;
  } else if (argc >= 2 && strcmp(argv[1], "fonts") == 0) {
    code = QV_FONTS;
    itemsFrom = 2;
  } else if ((argc == 3 || argc == 4) && strcmp(argv[1], "raw") == 0) {
    code = ParseCode(argv[2]);
    itemsFrom = 3;
  }
  if (code < 0) {
    fputs(usage, stderr);
    return 2;
  }
  if (!JoinItems(argc, argv, itemsFrom, items, sizeof items)) {
    fprintf(stderr, "qvclient: the items do not fit one request of %d bytes\n",
            QV_MAX_MESSAGE);
    return 2;
  }
  int result = 0;
  DWORD error = QvSendRequest(code, items, &result);
  if (error != 0) {
    fprintf(stderr, "qvclient: no reply from the service (error %lu)%s\n",
            (unsigned long)error, AdviceFor(error));
    return 2;
  }
  printf("result: %d\n", result);
  return result == 1 ? 0 : 1;
}
