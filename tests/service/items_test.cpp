// Item lists as the registration (capacity 128) and font (capacity 256)
// requests read them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "items.h"

namespace {

struct ItemCase {
  const char *what;
  int capacity;
  std::string text;
  std::vector<std::string> items;
};

// Reads every item of text, checking that no item is written past the
// capacity it was given.
std::vector<std::string> ReadAll(const std::string &text, int capacity) {
  std::vector<std::string> items;
  const char *cursor = text.c_str();
  std::vector<char> buffer(capacity + 16, '\x55');
  for (int round = 0; round < 1000; round++) {
    std::fill(buffer.begin(), buffer.end(), '\x55');
    int found = ReadItem(&cursor, buffer.data(), capacity);
    for (size_t i = capacity; i < buffer.size(); i++)
      EXPECT_EQ('\x55', buffer[i]) << "written past the capacity at " << i;
    if (!found) return items;
    items.push_back(buffer.data());
    EXPECT_LE(items.back().size(), (size_t)capacity - 1);
  }
  ADD_FAILURE() << "the list never ends";
  return items;
}

TEST(ReadItem, SplitsListsAsSent) {
  const std::string path200 = "C:\\" + std::string(197, 'a');
  const std::string path300 = "C:\\" + std::string(297, 'b');
  const ItemCase cases[] = {
      {"empty text", 128, "", {}},
      {"only separators and blanks", 128, "\r\n  \t \n ", {}},
      {"CR LF, blanks, CR LF CR LF, trailing blanks kept", 128,
       "\r\n  D:\\A\\x.ocx\r\n\r\nD:\\B\\y.ocx  \r\n",
       {"D:\\A\\x.ocx", "D:\\B\\y.ocx  "}},
      {"LF and TAB separate too", 128, "a.ocx\nb.ocx\tc.ocx", {"a.ocx", "b.ocx", "c.ocx"}},
      {"inner blanks stay", 128, " C:\\Program Files\\My App\\a.ocx",
       {"C:\\Program Files\\My App\\a.ocx"}},
      {"any byte below a blank separates", 128, "\x01" "a\x1f" "b\x07",
       {"a", "b"}},
      {"DEL is content", 128, "a\x7f" "b", {"a\x7f" "b"}},
      {"bytes from 0x80 up are content", 128,
       "C:\\Caf\xe9\\x.ocx\n\x80\xff\xa0z",
       {"C:\\Caf\xe9\\x.ocx", "\x80\xff\xa0z"}},
      {"200 bytes at capacity 128: 127 and 73", 128, path200,
       {path200.substr(0, 127), path200.substr(127)}},
      {"300 bytes at capacity 256: 255 and 45", 256, path300,
       {path300.substr(0, 255), path300.substr(255)}},
      {"127 blanks end the list before the item", 128,
       std::string(127, ' ') + "x.ocx", {}},
      {"126 blanks leave room for one byte", 128,
       std::string(126, ' ') + "xy", {"x", "y"}},
      {"an item full at capacity - 1 ends before its separator", 4, "abc\nd",
       {"abc", "d"}},
      {"a skipped blank counts against the budget", 4, " abc", {"ab", "c"}},
      {"capacity 1 holds nothing", 1, "abc", {}},
  };
  for (const ItemCase &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.items, ReadAll(c.text, c.capacity));
  }
}

TEST(ReadItem, CursorStandsBehindConsumedBytes) {
  const char *text = "  one\r\ntwo";
  const char *cursor = text;
  char item[128];
  ASSERT_EQ(1, ReadItem(&cursor, item, sizeof item));
  EXPECT_STREQ("one", item);
  // The CR that ended the item is consumed, the LF is not.
  EXPECT_EQ(text + 6, cursor) << "cursor at offset " << cursor - text;
  ASSERT_EQ(1, ReadItem(&cursor, item, sizeof item));
  EXPECT_STREQ("two", item);
  EXPECT_EQ(0, ReadItem(&cursor, item, sizeof item));
  EXPECT_STREQ("", item);
}

}  // namespace
