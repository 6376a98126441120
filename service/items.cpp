#include "items.h"

// An item list comes from a client's request or from the command line. Items
// are separated by control characters, so CR LF, LF and TAB all work; blanks
// before an item are dropped, blanks inside and behind it are kept. Bytes from
// 0x80 up are letters of the ANSI code page and belong to the item, which is
// why bytes are compared unsigned.
int ReadItem(const char **cursor, char *item, int capacity) {
  if (capacity < 1) return 0;
  const unsigned char *at = (const unsigned char *)*cursor;
  int length = 0;
  // The budget counts every consumed byte, skipped ones and the separator
  // included, so an item never holds more than capacity - 1 bytes and a
  // longer run of text goes on as the next item.
  int budget = capacity;
  while (*at != '\0') {
    if (--budget == 0) break;
    unsigned char byte = *at++;
    if (byte > ' ' || (byte == ' ' && length > 0)) {
      item[length++] = (char)byte;
    } else if (byte < ' ' && length > 0) {
      break;
    }
  }
  item[length] = '\0';
  *cursor = (const char *)at;
  return length > 0 ? 1 : 0;
}
