#include <gtest/gtest.h>
#include "log.h"

TEST(FormatLogTime, FixedEnglishForm) {
  SYSTEMTIME t = {};
  t.wYear = 2014; t.wMonth = 3; t.wDayOfWeek = 1; t.wDay = 3;
  t.wHour = 9; t.wMinute = 15; t.wSecond = 2;
  char text[32];
  FormatLogTime(&t, text);
  EXPECT_STREQ("Mon Mar 03 09:15:02 2014", text);
}
