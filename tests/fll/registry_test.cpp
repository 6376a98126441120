// The registry functions, called through the host as host code calls them,
// against the real registry under a test key that is removed before and
// after every test.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "host_fixture.h"

static const char testKeyPath[] = "Software\\QvFllTest";

// The value host code passes for a predefined root key.
static int32_t RootValue(HKEY key)
{
    return int32_t(reinterpret_cast<uintptr_t>(key));
}

static void RemoveTestKey()
{
    LONG status = RegDeleteTreeA(HKEY_CURRENT_USER, testKeyPath);
    if (status == ERROR_SUCCESS)
        status = RegDeleteKeyA(HKEY_CURRENT_USER, testKeyPath);
    ASSERT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << status;
}

// A value as the registry holds it, read without the library.
struct RawValue {
    LONG status;
    DWORD type;
    std::string bytes;
};

static RawValue ReadRaw(HKEY root, const char *subkey, const char *name)
{
    RawValue raw = {0, 0, std::string()};
    HKEY key;
    raw.status = RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, &key);
    if (raw.status != ERROR_SUCCESS)
        return raw;
    char data[512];
    DWORD size = sizeof data;
    raw.status = RegQueryValueExA(key, name, nullptr, &raw.type, reinterpret_cast<BYTE *>(data),
                                  &size);
    if (raw.status == ERROR_SUCCESS)
        raw.bytes.assign(data, size);
    RegCloseKey(key);
    return raw;
}

static void WriteRaw(HKEY key, const char *name, DWORD type, const void *data, DWORD size)
{
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size),
              ERROR_SUCCESS)
        << name;
}

static bool KeyExists(HKEY root, const char *subkey)
{
    HKEY key;
    if (RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// The handle value the next opened key gets. Windows and Wine hand out
// the lowest free slot of the handle table, so a key that a call opened
// and left open shows as a different next value afterwards.
static uintptr_t NextKeyHandle()
{
    HKEY probe;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, testKeyPath, 0, KEY_QUERY_VALUE, &probe) !=
        ERROR_SUCCESS)
        return 0;
    RegCloseKey(probe);
    return reinterpret_cast<uintptr_t>(probe);
}

// That the probe above sees a key left open.
static void ExpectProbeSeesOpenKeys()
{
    uintptr_t before = NextKeyHandle();
    EXPECT_EQ(NextKeyHandle(), before) << "a closed key frees its slot";
    HKEY held;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, testKeyPath, 0, KEY_QUERY_VALUE, &held),
              ERROR_SUCCESS);
    EXPECT_NE(NextKeyHandle(), before) << "a key left open takes the slot";
    RegCloseKey(held);
    EXPECT_EQ(NextKeyHandle(), before);
}

// A session on falkmoor.fll with the test key made afresh; testKey is the
// key opened for writing, for cases that pass it as the root key.
class Registry : public LibrarySession {
protected:
    HKEY testKey = nullptr;
    void SetUp() override
    {
        RemoveTestKey();
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, testKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &testKey, nullptr),
                  ERROR_SUCCESS);
        Open(nullptr);
    }
    void TearDown() override
    {
        LibrarySession::TearDown();
        if (testKey != nullptr)
            RegCloseKey(testKey);
        RemoveTestKey();
    }
    // Calls a function with a root key, a path and a third argument (none
    // when count is 2); answers the host error or 0.
    uint32_t Call(const char *name, HKEY root, const char *path, FoxValue third, int count = 3)
    {
        FoxValue args[3] = {FoxInt(RootValue(root)), FoxString(path), third};
        FoxValue result;
        return HostCall(host, name, args, count, &result);
    }
    // Whether the last call answered false (true: no result was sent).
    bool AnsweredFalse()
    {
        const HostCallInfo *info = HostLastCall(host);
        return info->results > 0 && info->result.type == 'L' && info->result.length == 0;
    }
    // fkRegGetValue into the variable "v", which holds -99 before.
    uint32_t Get(HKEY root, const char *path, FoxValue *stored)
    {
        HostSetVariable(host, "v", FoxInt(-99));
        uint32_t error = Call("fkRegGetValue", root, path, FoxRef("v"));
        EXPECT_TRUE(HostGetVariable(host, "v", stored));
        return error;
    }
};

// One write through a set function, then what the registry holds and what
// fkRegGetValue reads back.
struct WriteCase {
    const char *what;
    const char *function;
    HKEY root;            // null: the test key itself
    const char *path;
    FoxValue argument;
    const char *subkey;   // where the value lands, relative to HKCU
    const char *name;
    DWORD type;
    std::string bytes;
    FoxValue readBack;
};

TEST_F(Registry, WriteAndRead)
{
    const char binary[] = {'a', '\0', 'b', '\xff'};
    const char controlBytes[] = {'\x01', '\0', '\0'};
    WriteCase cases[] = {
        {"text", "fkRegSetString", HKEY_CURRENT_USER, "Software\\QvFllTest\\Demo\\Name",
         FoxString("abc"), "Software\\QvFllTest\\Demo", "Name", REG_SZ, std::string("abc\0", 4),
         FoxString("abc")},
        {"nested keys made as needed", "fkRegSetString", HKEY_CURRENT_USER,
         "Software\\QvFllTest\\a\\b\\c\\Deep", FoxString("x"), "Software\\QvFllTest\\a\\b\\c",
         "Deep", REG_SZ, std::string("x\0", 2), FoxString("x")},
        {"default value", "fkRegSetString", HKEY_CURRENT_USER, "Software\\QvFllTest\\Demo\\",
         FoxString("dflt"), "Software\\QvFllTest\\Demo", "", REG_SZ, std::string("dflt\0", 5),
         FoxString("dflt")},
        {"empty text", "fkRegSetString", HKEY_CURRENT_USER, "Software\\QvFllTest\\Empty",
         FoxString(""), "Software\\QvFllTest", "Empty", REG_SZ, std::string("\0", 1),
         FoxString("")},
        {"integer -1", "fkRegSetInteger", HKEY_CURRENT_USER, "Software\\QvFllTest\\Demo\\Minus",
         FoxInt(-1), "Software\\QvFllTest\\Demo", "Minus", REG_DWORD, std::string(4, '\xff'),
         FoxInt(-1)},
        {"integer", "fkRegSetInteger", HKEY_CURRENT_USER, "Software\\QvFllTest\\Count",
         FoxInt(0x01020304), "Software\\QvFllTest", "Count", REG_DWORD,
         std::string("\x04\x03\x02\x01", 4), FoxInt(0x01020304)},
        {"bytes with zeros", "fkRegSetBinaryString", HKEY_CURRENT_USER,
         "Software\\QvFllTest\\Raw", FoxBytes(binary, 4), "Software\\QvFllTest", "Raw",
         REG_BINARY, std::string(binary, 4), FoxBytes(binary, 4)},
        {"bytes ending in zeros", "fkRegSetBinaryString", HKEY_CURRENT_USER,
         "Software\\QvFllTest\\Tail", FoxBytes(controlBytes, 3), "Software\\QvFllTest", "Tail",
         REG_BINARY, std::string(controlBytes, 3), FoxBytes(controlBytes, 3)},
        {"no bytes", "fkRegSetBinaryString", HKEY_CURRENT_USER, "Software\\QvFllTest\\None",
         FoxString(""), "Software\\QvFllTest", "None", REG_BINARY, std::string(),
         FoxString("")},
        {"no backslash: under the root", "fkRegSetString", nullptr, "Plain", FoxString("p"),
         "Software\\QvFllTest", "Plain", REG_SZ, std::string("p\0", 2), FoxString("p")},
        {"no backslash, integer", "fkRegSetInteger", nullptr, "PlainCount", FoxInt(7),
         "Software\\QvFllTest", "PlainCount", REG_DWORD, std::string("\x07\0\0\0", 4),
         FoxInt(7)},
    };
    for (WriteCase &c : cases) {
        HKEY root = c.root != nullptr ? c.root : testKey;
        SetLastError(0xdeadbeef);
        ASSERT_EQ(Call(c.function, root, c.path, c.argument), 0u) << c.what;
        EXPECT_EQ(HostLastCall(host)->results, 0) << c.what << ": success sends no result";
        RawValue raw = ReadRaw(HKEY_CURRENT_USER, c.subkey, c.name);
        ASSERT_EQ(raw.status, ERROR_SUCCESS) << c.what;
        EXPECT_EQ(raw.type, c.type) << c.what;
        EXPECT_EQ(raw.bytes, c.bytes) << c.what << ": " << raw.bytes.size() << " bytes";

        FoxValue stored;
        ASSERT_EQ(Get(root, c.path, &stored), 0u) << c.what;
        EXPECT_EQ(HostLastCall(host)->results, 0) << c.what;
        EXPECT_EQ(stored.type, c.readBack.type) << c.what;
        if (c.readBack.type == 'C') {
            EXPECT_EQ(std::string(stored.text, stored.length),
                      std::string(c.readBack.text, c.readBack.length))
                << c.what << ": length " << stored.length;
        } else {
            EXPECT_EQ(stored.integer, c.readBack.integer) << c.what;
            EXPECT_EQ(stored.width, 10) << c.what;
        }
        EXPECT_EQ(HostLastCall(host)->leakedHandles, 0) << c.what;
    }
    // A path without a backslash left nothing under the test key's parent.
    EXPECT_NE(ReadRaw(HKEY_CURRENT_USER, "Software", "Plain").status, ERROR_SUCCESS);
}

// Values written by others, in forms the set functions do not make.
struct ReadCase {
    const char *what;
    const char *name;
    DWORD type;
    std::string bytes;
    uint32_t error;       // host error expected
    bool answersFalse;
    bool stores;          // the variable changes
    FoxValue expected;
};

TEST_F(Registry, ReadForeignValues)
{
    ReadCase cases[] = {
        // Wine's ANSI read puts a terminator behind such a text; Windows
        // hands the bytes over as stored, and the last one must stay.
        {"text without terminator keeps its last character", "Bare", REG_SZ,
         std::string("abc", 3), 0, false, true, FoxString("abc")},
        {"text of 0 bytes", "Zero", REG_SZ, std::string(), 0, false, true, FoxString("")},
        {"expandable text, not expanded", "Expand", REG_EXPAND_SZ,
         std::string("%WINDIR%\\x\0", 11), 0, false, true, FoxString("%WINDIR%\\x")},
        {"expandable text of 0 bytes", "ExpandZero", REG_EXPAND_SZ, std::string(), 0, false,
         true, FoxString("")},
        {"big-endian DWORD, bytes as they are", "Big", REG_DWORD_BIG_ENDIAN,
         std::string("\x01\x02\x03\x04", 4), 0, false, true, FoxInt(0x04030201)},
        {"DWORD of 3 bytes", "Short", REG_DWORD, std::string("\x01\x02\x03", 3), 302, false,
         false, FoxInt(-99)},
        {"DWORD of 8 bytes", "Long", REG_DWORD, std::string(8, '\x01'), 302, false, false,
         FoxInt(-99)},
        {"multi-string: nothing", "Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5), 0, false,
         false, FoxInt(-99)},
        {"QWORD: nothing", "Quad", REG_QWORD, std::string(8, '\x02'), 0, false, false,
         FoxInt(-99)},
    };
    ExpectProbeSeesOpenKeys();
    for (ReadCase &c : cases)
        WriteRaw(testKey, c.name, c.type, c.bytes.data(), DWORD(c.bytes.size()));
    for (ReadCase &c : cases) {
        std::string path = std::string("Software\\QvFllTest\\") + c.name;
        FoxValue stored;
        uintptr_t nextBefore = NextKeyHandle();
        EXPECT_EQ(Get(HKEY_CURRENT_USER, path.c_str(), &stored), c.error) << c.what;
        EXPECT_EQ(NextKeyHandle(), nextBefore) << c.what << ": the opened key was closed";
        EXPECT_EQ(AnsweredFalse(), c.answersFalse) << c.what;
        if (c.error == 0) {
            EXPECT_EQ(HostLastCall(host)->results, 0) << c.what;
        }
        EXPECT_EQ(stored.type, c.expected.type) << c.what;
        if (c.expected.type == 'C') {
            EXPECT_EQ(std::string(stored.text, stored.length),
                      std::string(c.expected.text, c.expected.length))
                << c.what;
        } else {
            EXPECT_EQ(stored.integer, c.expected.integer) << c.what;
        }
        EXPECT_EQ(HostLastCall(host)->leakedHandles, 0) << c.what;
    }
    // Missing values and keys answer false and store nothing.
    const char *missing[] = {"Software\\QvFllTest\\NoSuchValue", "Software\\QvFllTest\\No\\Key",
                             "NoValueUnderRoot"};
    for (const char *path : missing) {
        FoxValue stored;
        EXPECT_EQ(Get(HKEY_CURRENT_USER, path, &stored), 0u) << path;
        EXPECT_TRUE(AnsweredFalse()) << path;
        EXPECT_EQ(stored.integer, -99) << path;
    }
}

// Failures of the registry itself answer false; nothing is raised.
TEST_F(Registry, WriteFailures)
{
    HKEY notAKey = reinterpret_cast<HKEY>(uintptr_t(0x1234));
    const char *functions[] = {"fkRegSetString", "fkRegSetInteger", "fkRegSetBinaryString"};
    for (const char *function : functions) {
        FoxValue third = strcmp(function, "fkRegSetInteger") == 0 ? FoxInt(1) : FoxString("t");
        EXPECT_EQ(Call(function, notAKey, "Sub\\Name", third), 0u) << function;
        EXPECT_TRUE(AnsweredFalse()) << function << ": create fails";
        EXPECT_EQ(Call(function, notAKey, "Name", third), 0u) << function;
        EXPECT_TRUE(AnsweredFalse()) << function << ": set fails";
    }
    // A key opened for reading only takes no value.
    HKEY readOnly;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, testKeyPath, 0, KEY_QUERY_VALUE, &readOnly),
              ERROR_SUCCESS);
    EXPECT_EQ(Call("fkRegSetString", readOnly, "Name", FoxString("t")), 0u);
    EXPECT_TRUE(AnsweredFalse()) << "set through a read-only key";
    RegCloseKey(readOnly);
    FoxValue stored;
    EXPECT_EQ(Get(notAKey, "Sub\\Name", &stored), 0u);
    EXPECT_TRUE(AnsweredFalse());
    // The host refuses what the rows do not take.
    FoxValue args[3] = {FoxString("root"), FoxString("p"), FoxString("t")};
    FoxValue result;
    EXPECT_EQ(HostCall(host, "fkRegSetString", args, 3, &result), HostRejectType);
    args[0] = FoxInt(RootValue(HKEY_CURRENT_USER));
    EXPECT_EQ(HostCall(host, "fkRegSetInteger", args, 3, &result), HostRejectType);
    EXPECT_EQ(HostCall(host, "fkRegGetValue", args, 3, &result), HostRejectType);
}

TEST_F(Registry, DeleteValue)
{
    WriteRaw(testKey, "", REG_SZ, "d", 2);
    WriteRaw(testKey, "Gone", REG_SZ, "g", 2);
    WriteRaw(testKey, "Direct", REG_DWORD, "\1\0\0\0", 4);
    ASSERT_EQ(Call("fkRegDeleteValue", HKEY_CURRENT_USER, "Software\\QvFllTest\\Gone",
                   FoxValue(), 2),
              0u);
    EXPECT_EQ(HostLastCall(host)->results, 0);
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, testKeyPath, "Gone").status, ERROR_FILE_NOT_FOUND);
    // Directly under the root key.
    ASSERT_EQ(Call("fkRegDeleteValue", testKey, "Direct", FoxValue(), 2), 0u);
    EXPECT_EQ(HostLastCall(host)->results, 0);
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, testKeyPath, "Direct").status, ERROR_FILE_NOT_FOUND);
    // Gone already, or never there.
    const char *falsePaths[] = {"Software\\QvFllTest\\Gone", "Software\\QvFllTest\\No\\Value",
                                "Software\\QvFllTest\\", ""};
    for (const char *path : falsePaths) {
        EXPECT_EQ(Call("fkRegDeleteValue", HKEY_CURRENT_USER, path, FoxValue(), 2), 0u) << path;
        EXPECT_TRUE(AnsweredFalse()) << "\"" << path << "\"";
    }
    // The default value cannot be deleted this way, also through the root.
    EXPECT_EQ(Call("fkRegDeleteValue", testKey, "", FoxValue(), 2), 0u);
    EXPECT_TRUE(AnsweredFalse());
    RawValue kept = ReadRaw(HKEY_CURRENT_USER, testKeyPath, "");
    EXPECT_EQ(kept.status, ERROR_SUCCESS) << "the default value stays";
    EXPECT_EQ(kept.bytes, std::string("d\0", 2));
}

// Makes HKCU\Software\QvFllTest\<path> with one value in it.
static void MakeKey(const std::string &path)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(testKeyPath) + "\\" + path).c_str(),
                              0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE *>("x"), 2);
    RegCloseKey(key);
}

TEST_F(Registry, DeleteKeyTree)
{
    MakeKey("Tree\\a\\b\\c");
    MakeKey("Tree\\a\\d");
    MakeKey("Tree\\e");
    std::string name127(127, 'n');
    MakeKey("Tree\\f\\" + name127);
    ASSERT_EQ(Call("fkRegDeleteKey", HKEY_CURRENT_USER, "Software\\QvFllTest\\Tree", FoxValue(),
                   2),
              0u);
    EXPECT_EQ(HostLastCall(host)->results, 0);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\QvFllTest\\Tree"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, testKeyPath)) << "the parent stays";

    // A key that does not exist.
    EXPECT_EQ(Call("fkRegDeleteKey", HKEY_CURRENT_USER, "Software\\QvFllTest\\Tree", FoxValue(),
                   2),
              0u);
    EXPECT_TRUE(AnsweredFalse());

    // A subkey name of 128 characters does not fit: its parent stays, and
    // so does the key named.
    std::string name128(128, 'm');
    MakeKey("Long\\" + name128);
    EXPECT_EQ(Call("fkRegDeleteKey", HKEY_CURRENT_USER, "Software\\QvFllTest\\Long", FoxValue(),
                   2),
              0u);
    EXPECT_TRUE(AnsweredFalse());
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, ("Software\\QvFllTest\\Long\\" + name128).c_str()));

    // An empty path is refused: the subkeys of the root stay.
    MakeKey("Keep\\x");
    EXPECT_EQ(Call("fkRegDeleteKey", testKey, "", FoxValue(), 2), 0u);
    EXPECT_TRUE(AnsweredFalse()) << "empty path refused";
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\QvFllTest\\Keep\\x"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\QvFllTest\\Long"));
    // Relative to a root passed as an opened key.
    EXPECT_EQ(Call("fkRegDeleteKey", testKey, "Keep", FoxValue(), 2), 0u);
    EXPECT_EQ(HostLastCall(host)->results, 0);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\QvFllTest\\Keep"));
}

// With no handle to spare, reading a text raises 182, after the key it
// opened was closed; the variable keeps its value.
TEST_F(Registry, NoMemoryForText)
{
    EXPECT_EQ(HostClose(host), 0);
    host = nullptr;
    HostOptions options = {2, 32};  // one handle: the path's
    Open(&options);
    ExpectProbeSeesOpenKeys();
    WriteRaw(testKey, "Text", REG_SZ, "abc", 4);
    WriteRaw(testKey, "Number", REG_DWORD, "\5\0\0\0", 4);
    FoxValue stored;
    uintptr_t nextBefore = NextKeyHandle();
    EXPECT_EQ(Get(HKEY_CURRENT_USER, "Software\\QvFllTest\\Text", &stored), 182u);
    EXPECT_EQ(NextKeyHandle(), nextBefore) << "the opened key was closed";
    EXPECT_EQ(stored.integer, -99);
    EXPECT_EQ(HostLastCall(host)->results, 0);
    // An integer needs no handle.
    EXPECT_EQ(Get(HKEY_CURRENT_USER, "Software\\QvFllTest\\Number", &stored), 0u);
    EXPECT_EQ(stored.integer, 5);
}

// Raw bytes whose block cannot hold the value's length (a bad handle holds
// nothing): 182, and no value is written.
TEST_F(Registry, BinaryBlockShorterThanTheValue)
{
    MemHandle small = HostMakeHandle(host, "abc", 3);
    ASSERT_EQ(HostHandleBytes(host, small), 3u) << "the test needs a block of exactly 3 bytes";
    for (MemHandle handle : {MemHandle(200), small}) {
        FoxValue data = FoxBytes("", 4000);
        data.handle = handle;
        EXPECT_EQ(Call("fkRegSetBinaryString", HKEY_CURRENT_USER, "Software\\QvFllTest\\Raw", data),
                  182u)
            << handle;
        EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, testKeyPath, "Raw").status, ERROR_FILE_NOT_FOUND)
            << handle;
    }
    HostFreeHandle(host, small);
}

// A store that the host ends with an error (the code-84 rewrite) unwinds
// fkRegGetValue: the key it opened was closed before.
TEST_F(Registry, StoreEndedByTheHost)
{
    ExpectProbeSeesOpenKeys();
    WriteRaw(testKey, "Text", REG_SZ, "abc", 4);
    WriteRaw(testKey, "Number", REG_DWORD, "\5\0\0\0", 4);
    int leaked = 0;
    for (const char *path : {"Software\\QvFllTest\\Text", "Software\\QvFllTest\\Number"}) {
        uintptr_t nextBefore = NextKeyHandle();
        HostRewriteNext(host, ServiceStore);
        FoxValue stored;
        EXPECT_EQ(Get(HKEY_CURRENT_USER, path, &stored), 84u) << path;
        EXPECT_TRUE(HostLastCall(host)->rewritten) << path;
        EXPECT_EQ(NextKeyHandle(), nextBefore) << path << ": the opened key was closed";
        leaked += HostLastCall(host)->leakedHandles;
    }
    // The text's block was still the library's when the store unwound.
    EXPECT_EQ(leaked, 1);
    EXPECT_EQ(HostClose(host), 1);
    host = nullptr;
}
