// The small utility functions, called through the host as host code calls
// them.
#include <gtest/gtest.h>
#include <string.h>
#include "host_fixture.h"
#include <winnetwk.h>

// A session on falkmoor.fll for each test.
class Utility : public LibrarySession {};

TEST_F(Utility, GetFLLVersion)
{
    FoxValue result;
    ASSERT_EQ(HostCall(host, "fkGetFLLVersion", nullptr, 0, &result), 0u);
    EXPECT_EQ(HostLastCall(host)->results, 1);
    EXPECT_EQ(result.type, 'I');
    EXPECT_EQ(result.integer, 2030);
    EXPECT_EQ(result.width, 10);
    // The host matches names whatever their case.
    ASSERT_EQ(HostCall(host, "FKGETFLLVERSION", nullptr, 0, &result), 0u);
    EXPECT_EQ(result.integer, 2030);
    FoxValue extra = FoxInt(1);
    EXPECT_EQ(HostCall(host, "fkGetFLLVersion", &extra, 1, &result), HostRejectTooMany);
    EXPECT_FALSE(HostLastCall(host)->ran);
}

TEST_F(Utility, IsPath)
{
    char folder[MAX_PATH], file[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "fk", 0, file);  // makes the file
    char folderNoSlash[MAX_PATH];
    strcpy(folderNoSlash, folder);
    folderNoSlash[strlen(folderNoSlash) - 1] = '\0';
    struct Case {
        const char *path;
        bool directory;
    } cases[] = {
        {folder, true},
        {folderNoSlash, true},
        {"C:\\windows", true},
        {file, false},
        {"C:\\no such folder\\at all", false},
        {"", false},
    };
    for (const Case &c : cases) {
        FoxValue arg = FoxString(c.path), result;
        ASSERT_EQ(HostCall(host, "fkIsPath", &arg, 1, &result), 0u) << c.path;
        EXPECT_EQ(result.type, 'L') << c.path;
        EXPECT_EQ(result.length, c.directory ? 1u : 0u) << "path \"" << c.path << "\"";
        EXPECT_EQ(HostLastCall(host)->leakedHandles, 0) << c.path;
    }
    // The text ends at an embedded NUL: "C:\windows" followed by junk.
    const char withNul[] = "C:\\windows\0zzz";
    FoxValue arg = FoxBytes(withNul, sizeof withNul - 1), result;
    ASSERT_EQ(HostCall(host, "fkIsPath", &arg, 1, &result), 0u);
    EXPECT_EQ(result.length, 1u);
    // The host refuses what the row does not take.
    FoxValue number = FoxInt(3);
    EXPECT_EQ(HostCall(host, "fkIsPath", &number, 1, &result), HostRejectType);
    EXPECT_EQ(HostCall(host, "fkIsPath", nullptr, 0, &result), HostRejectTooFew);
    DeleteFileA(file);
}

TEST_F(Utility, UserName)
{
    char expected[256] = "";
    DWORD size = sizeof expected;
    DWORD status = WNetGetUserA(nullptr, expected, &size);
    FoxValue arg = FoxString("ignored"), result;
    ASSERT_EQ(HostCall(host, "fkGetUserName", &arg, 1, &result), 0u);
    EXPECT_EQ(result.type, 'C');
    if (status == NO_ERROR)
        EXPECT_STREQ(result.text, expected);
    else
        EXPECT_STREQ(result.text, "") << "WNetGetUserA failed with " << status;
    EXPECT_EQ(result.length, strlen(result.text));
    EXPECT_EQ(HostLastCall(host)->leakedHandles, 0);
    // The required parameter is not read: an empty one does as well.
    FoxValue empty = FoxString("");
    ASSERT_EQ(HostCall(host, "fkGetUserName", &empty, 1, &result), 0u);
    EXPECT_EQ(result.type, 'C');
}

TEST_F(Utility, AddProperty)
{
    uint32_t object = HostNewObject(host);
    FoxValue args[2] = {FoxObject(object), FoxString("lDone")};
    FoxValue result, property;
    HostKeepArguments(host, true);
    ASSERT_EQ(HostCall(host, "fkAddProperty", args, 2, &result), 0u);
    HostKeepArguments(host, false);
    EXPECT_EQ(HostLastCall(host)->results, 0) << "no value is returned";
    ASSERT_TRUE(HostGetPropertyValue(host, object, "lDone", &property));
    EXPECT_EQ(property.type, 'L');
    EXPECT_EQ(property.length, 0u) << "the new property reads false";
    // The name's block was made exactly one byte longer and unlocked again.
    MemHandle name = HostLastCall(host)->arguments[1];
    EXPECT_EQ(HostHandleLocks(host, name), 0);
    EXPECT_GE(HostHandleBytes(host, name), 6u);
    EXPECT_EQ(static_cast<char *>(HostHandleAddress(host, name))[5], '\0');
    HostFreeHandle(host, name);

    // An existing property is set to false as well.
    HostSetPropertyValue(host, object, "nCount", FoxInt(7));
    args[1] = FoxString("NCOUNT");
    ASSERT_EQ(HostCall(host, "fkAddProperty", args, 2, &result), 0u);
    ASSERT_TRUE(HostGetPropertyValue(host, object, "nCount", &property));
    EXPECT_EQ(property.type, 'L');
    EXPECT_EQ(HostFailedPropertyWrites(host), 0);
    args[1] = FoxString("x");
    args[0] = FoxString("not an object");
    EXPECT_EQ(HostCall(host, "fkAddProperty", args, 2, &result), HostRejectType);
}

// One fkFieldInfo case: what is passed first, and what must come back.
struct FieldCase {
    const char *what;
    FoxValue first;
    int count;           // arguments passed, the references included
    const char *letter;  // the result
    bool second;         // a figure stored through the second reference
    int32_t secondValue;
    bool third;          // and through the third
    int32_t thirdValue;
};

TEST_F(Utility, FieldInfo)
{
    FoxValue currency = {};
    currency.type = 'Y';
    currency.width = 21;
    currency.length = 4;
    FoxValue zero = {};
    zero.type = '0';
    zero.width = 8;
    zero.length = 2;
    FoxValue negativeWidth = FoxNumber(1.0, -3, 1);
    FoxValue memo = {};
    memo.type = 'M';
    memo.integer = 77;
    HostSetVariable(host, "nValue", FoxNumber(12.75, 12, 2));
    HostSetVariable(host, "cValue", FoxString("abc"));
    HostSetMemo(host, 3, "notes", "some memo text", 14);
    const FieldCase cases[] = {
        {"text of 5", FoxString("hello"), 3, "C", true, 5, false, 0},
        {"integer", FoxInt(42), 3, "I", true, 10, true, 0},
        {"number", FoxNumber(3.5, 8, 1), 3, "N", true, 8, true, 1},
        {"number, two args", FoxNumber(3.5, 8, 1), 2, "N", true, 8, false, 0},
        {"negative width", negativeWidth, 2, "N", true, -3, false, 0},
        {"currency", currency, 3, "Y", true, 21, true, 4},
        {"zero type", zero, 3, "0", true, 8, true, 2},
        {"memo value", memo, 3, "M", true, 77, false, 0},
        {"logical", FoxLogical(true), 3, "L", false, 0, false, 0},
        {"object", FoxObject(HostNewObject(host)), 3, "O", false, 0, false, 0},
        {"ref to number", FoxRef("nValue"), 3, "N", true, 12, true, 2},
        {"ref to text", FoxRef("cValue"), 3, "C", true, 3, false, 0},
        {"memo field", FoxField(3, "notes"), 3, "M", true, 14, false, 0},
        {"text, one arg", FoxString("hello"), 1, "C", false, 0, false, 0},
    };
    for (const FieldCase &c : cases) {
        HostSetVariable(host, "r2", FoxInt(-99));
        HostSetVariable(host, "r3", FoxInt(-99));
        FoxValue args[3] = {c.first, FoxRef("r2"), FoxRef("r3")};
        FoxValue result, second, third;
        ASSERT_EQ(HostCall(host, "fkFieldInfo", args, c.count, &result), 0u) << c.what;
        EXPECT_EQ(result.type, 'C') << c.what;
        EXPECT_STREQ(result.text, c.letter) << c.what;
        ASSERT_TRUE(HostGetVariable(host, "r2", &second));
        ASSERT_TRUE(HostGetVariable(host, "r3", &third));
        EXPECT_EQ(second.type, 'I') << c.what;
        EXPECT_EQ(second.integer, c.second ? c.secondValue : -99) << c.what;
        EXPECT_EQ(third.integer, c.third ? c.thirdValue : -99) << c.what;
        EXPECT_EQ(HostLastCall(host)->leakedHandles, 0) << c.what;
    }
    // The third reference gets 0 for an integer even with width stored.
    FoxValue args[3] = {FoxInt(1), FoxRef("r2"), FoxRef("r3")};
    FoxValue result;
    ASSERT_EQ(HostCall(host, "fkFieldInfo", args, 3, &result), 0u);
    FoxValue stored;
    ASSERT_TRUE(HostGetVariable(host, "r3", &stored));
    EXPECT_EQ(stored.integer, 0);
    EXPECT_EQ(stored.width, 10) << "figures go back as integers of width 10";
    // The references must be references.
    FoxValue wrong[2] = {FoxInt(1), FoxInt(2)};
    EXPECT_EQ(HostCall(host, "fkFieldInfo", wrong, 2, &result), HostRejectType);
}

TEST_F(Utility, About)
{
    FoxValue result;
    ASSERT_EQ(HostCall(host, "fkAbout", nullptr, 0, &result), 0u);
    EXPECT_EQ(HostLastCall(host)->results, 0);
    ASSERT_EQ(HostDialogCount(host), 1);
    const HostDialogRecord *dialog = HostDialogAt(host, 0);
    EXPECT_EQ(dialog->kind, 7u);
    EXPECT_EQ(dialog->argument3, 1u);
    EXPECT_EQ(dialog->argument4, 1u);
    EXPECT_EQ(dialog->buttons, 1);
    EXPECT_STREQ(dialog->labels[0], "OK");
    int lines = 1;
    for (const char *p = dialog->text; *p != '\0'; p++)
        lines += *p == '\n';
    EXPECT_EQ(lines, 3) << dialog->text;
}

// fkGetUserName when Windows cannot give the name: the empty text, never
// the junk the provider left in the buffer.
TEST(UtilityUserName, FailureGivesEmptyText)
{
    Host *host = OpenBeside("bridge_probe.fll");
    ASSERT_NE(host, nullptr) << HostOpenError();
    for (int32_t mode : {1, 2}) {
        FoxValue setting = FoxInt(mode), arg = FoxString("x"), result;
        ASSERT_EQ(HostCall(host, "probeFailUserName", &setting, 1, &result), 0u);
        ASSERT_EQ(HostCall(host, "fkGetUserName", &arg, 1, &result), 0u) << mode;
        EXPECT_EQ(HostLastCall(host)->results, 1) << mode;
        EXPECT_EQ(result.type, 'C') << mode;
        EXPECT_EQ(result.length, 0u) << "mode " << mode << " gave \"" << result.text << "\"";
    }
    FoxValue setting = FoxInt(0), arg = FoxString("x"), result;
    ASSERT_EQ(HostCall(host, "probeFailUserName", &setting, 1, &result), 0u);
    ASSERT_EQ(HostCall(host, "fkGetUserName", &arg, 1, &result), 0u);
    EXPECT_GT(result.length, 0u) << "the real query is back";
    EXPECT_EQ(HostClose(host), 0);
}
