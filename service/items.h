// Item lists: the text of a registration or font request, items separated
// by control characters.
#pragma once

// Reads the next item at *cursor into item (capacity bytes, so at most
// capacity - 1 bytes of content) and moves *cursor behind what it consumed.
// Returns 1 when an item was found, 0 when the list has ended.
int ReadItem(const char **cursor, char *item, int capacity);
