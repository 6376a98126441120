// fkZip and fkUnZip through the host, with the project's stand-in archive
// libraries, found or not through the DLL search path: the record each
// receives, byte for byte, the result passed back, and a load and a free
// on every call.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "host_fixture.h"

// One fixed field of a record: offset, width in bytes, value.
struct Field {
    size_t offset;
    size_t width;
    uint32_t value;
};

// What a stand-in kept of one call.
struct Capture {
    bool found;
    std::string record;
    std::vector<bool> present;       // per text pointer: not null
    std::vector<std::string> texts;  // per text pointer: its text
};

static std::string FolderBesideProgram(const char *name)
{
    char path[MAX_PATH];
    if (!HostPathBesideProgram(name, path, sizeof path))
        return std::string();
    return path;
}

static Capture ReadCapture(const std::string &path, size_t recordBytes, size_t pointers)
{
    Capture capture = {false, std::string(), {}, {}};
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return capture;
    char buffer[4096];
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer, &read, nullptr);
    CloseHandle(file);
    if (read < recordBytes)
        return capture;
    capture.found = true;
    capture.record.assign(buffer, recordBytes);
    size_t at = recordBytes;
    for (size_t i = 0; i < pointers && at < read; i++) {
        bool present = buffer[at++] != 0;
        std::string text;
        if (present) {
            while (at < read && buffer[at] != '\0')
                text += buffer[at++];
            at++;
        }
        capture.present.push_back(present);
        capture.texts.push_back(text);
    }
    return capture;
}

static int Counter(const char *name)
{
    char text[32] = "";
    GetEnvironmentVariableA(name, text, sizeof text);
    return atoi(text);
}

// The record as it must be: zeros but for the fixed fields; the pointer
// fields are compared apart (their texts), so they are masked to zero.
static std::string ExpectedRecord(size_t bytes, const std::vector<Field> &fields)
{
    std::string record(bytes, '\0');
    for (const Field &f : fields)
        memcpy(&record[f.offset], &f.value, f.width);
    return record;
}

static std::string Masked(std::string record, const std::vector<size_t> &pointers)
{
    for (size_t offset : pointers)
        memset(&record[offset], 0, 4);
    return record;
}

// Offsets where two records differ, for messages.
static std::string Differences(const std::string &got, const std::string &want)
{
    std::string out;
    for (size_t i = 0; i < got.size() && i < want.size(); i++)
        if (got[i] != want[i])
            out += std::to_string(i) + " ";
    return out;
}

class Archive : public LibrarySession {
protected:
    void TearDown() override
    {
        SetDllDirectoryA(nullptr);
        SetEnvironmentVariableA("ARCHIVE_STANDIN_RESULT", nullptr);
        LibrarySession::TearDown();
    }
    // Calls function with texts; answers its integer result (or a
    // sentinel when the call failed).
    int32_t Call(const char *function, std::vector<const char *> texts)
    {
        FoxValue args[3];
        for (size_t i = 0; i < texts.size(); i++)
            args[i] = FoxString(texts[i]);
        FoxValue result;
        uint32_t error = HostCall(host, function, args, int(texts.size()), &result);
        EXPECT_EQ(error, 0u) << function;
        EXPECT_EQ(result.type, 'I') << function;
        EXPECT_EQ(result.width, 10) << function;
        EXPECT_EQ(HostLastCall(host)->leakedHandles, 0) << function;
        return error == 0 ? result.integer : 0x7EEEEEEE;
    }
};

struct ZipCase {
    const char *first;
    const char *second;
    int32_t answer;
};

TEST_F(Archive, ZipRecord)
{
    std::string folder = FolderBesideProgram("archive");
    ASSERT_TRUE(SetDllDirectoryA(folder.c_str()));
    std::string capturePath = folder + "\\dzip32.dll.record";
    const std::vector<Field> fixed = {{0, 4, 220}, {4, 4, 4},   {40, 4, 16},
                                      {44, 4, 1},  {76, 4, 1}, {120, 4, 1}};
    const ZipCase cases[] = {
        {"C:\\backup\\data.zip", "C:\\data\\*.dbf", 0},
        {"", "C:\\data\\one.txt", -7},
        {"out.zip", "", 123456},
        {"", "", 1},
    };
    for (const ZipCase &c : cases) {
        DeleteFileA(capturePath.c_str());
        SetEnvironmentVariableA("ARCHIVE_STANDIN_RESULT", std::to_string(c.answer).c_str());
        int loads = Counter("dzip32_LOADS"), frees = Counter("dzip32_FREES");
        EXPECT_EQ(Call("fkZip", {c.first, c.second}), c.answer) << c.first << "|" << c.second;
        EXPECT_EQ(Counter("dzip32_LOADS"), loads + 1) << "loaded for the call";
        EXPECT_EQ(Counter("dzip32_FREES"), frees + 1) << "freed after the call";
        EXPECT_EQ(GetModuleHandleA("dzip32.dll"), nullptr);
        Capture capture = ReadCapture(capturePath, 220, 2);
        ASSERT_TRUE(capture.found) << "the entry point ran";
        std::string want = ExpectedRecord(220, fixed);
        std::string got = Masked(capture.record, {8, 12});
        EXPECT_EQ(got, want) << "differs at " << Differences(got, want);
        ASSERT_EQ(capture.texts.size(), 2u);
        EXPECT_TRUE(capture.present[0]) << "an empty first text is not null";
        EXPECT_TRUE(capture.present[1]) << "an empty second text is not null";
        EXPECT_EQ(capture.texts[0], c.first);
        EXPECT_EQ(capture.texts[1], c.second);
    }
}

struct UnzipCase {
    const char *first;
    const char *second;
    const char *third;
    int32_t answer;
};

TEST_F(Archive, UnzipRecord)
{
    std::string folder = FolderBesideProgram("archive");
    ASSERT_TRUE(SetDllDirectoryA(folder.c_str()));
    std::string capturePath = folder + "\\dunzip32.dll.record";
    const UnzipCase cases[] = {
        {"C:\\backup\\data.zip", "*.dbf", "C:\\restore", 0},
        {"C:\\backup\\data.zip", "", "C:\\restore", -1000},
        {"", "one.txt", "", 42},
    };
    for (const UnzipCase &c : cases) {
        bool secondEmpty = c.second[0] == '\0';
        const std::vector<Field> fixed = {
            {0, 4, 170}, {4, 4, 8},  {20, 4, 0xFFFFFFFFu}, {36, 4, 1}, {40, 4, 1},
            {44, 4, secondEmpty ? 1u : 0u}, {48, 4, 1}, {56, 4, 1}, {108, 2, 1}};
        DeleteFileA(capturePath.c_str());
        SetEnvironmentVariableA("ARCHIVE_STANDIN_RESULT", std::to_string(c.answer).c_str());
        int loads = Counter("dunzip32_LOADS"), frees = Counter("dunzip32_FREES");
        EXPECT_EQ(Call("fkUnZip", {c.first, c.second, c.third}), c.answer) << c.second;
        EXPECT_EQ(Counter("dunzip32_LOADS"), loads + 1);
        EXPECT_EQ(Counter("dunzip32_FREES"), frees + 1);
        EXPECT_EQ(GetModuleHandleA("dunzip32.dll"), nullptr);
        Capture capture = ReadCapture(capturePath, 170, 3);
        ASSERT_TRUE(capture.found);
        std::string want = ExpectedRecord(170, fixed);
        std::string got = Masked(capture.record, {8, 16, 24});
        EXPECT_EQ(got, want) << "differs at " << Differences(got, want);
        ASSERT_EQ(capture.texts.size(), 3u);
        EXPECT_TRUE(capture.present[0]);
        EXPECT_EQ(capture.texts[0], c.first) << "offset 8: the first text";
        EXPECT_TRUE(capture.present[1]);
        EXPECT_EQ(capture.texts[1], c.third) << "offset 16: the third text";
        EXPECT_EQ(capture.present[2], !secondEmpty) << "offset 24: null for an empty second text";
        EXPECT_EQ(capture.texts[2], c.second);
    }
}

// No archive library on the search path, or one without the entry point:
// -1, and a library that was loaded is freed again.
TEST_F(Archive, MissingLibraryOrEntry)
{
    ASSERT_TRUE(SetDllDirectoryA(""));
    EXPECT_EQ(Call("fkZip", {"a.zip", "b"}), -1);
    EXPECT_EQ(Call("fkUnZip", {"a.zip", "", "c"}), -1);

    std::string folder = FolderBesideProgram("archive-noentry");
    ASSERT_TRUE(SetDllDirectoryA(folder.c_str()));
    struct Case {
        const char *function;
        const char *file;
        std::vector<const char *> texts;
    } cases[] = {
        {"fkZip", "dzip32", {"a.zip", "b"}},
        {"fkUnZip", "dunzip32", {"a.zip", "b", "c"}},
    };
    for (Case &c : cases) {
        std::string loadsName = std::string(c.file) + "_LOADS";
        std::string freesName = std::string(c.file) + "_FREES";
        int loads = Counter(loadsName.c_str()), frees = Counter(freesName.c_str());
        EXPECT_EQ(Call(c.function, c.texts), -1) << c.function;
        EXPECT_EQ(Counter(loadsName.c_str()), loads + 1) << c.function << ": the file was found";
        EXPECT_EQ(Counter(freesName.c_str()), frees + 1) << c.function << ": and freed again";
        EXPECT_EQ(GetModuleHandleA((std::string(c.file) + ".dll").c_str()), nullptr);
    }
    // The host refuses what the rows do not take.
    FoxValue args[3] = {FoxString("a"), FoxInt(1), FoxString("c")};
    FoxValue result;
    EXPECT_EQ(HostCall(host, "fkZip", args, 2, &result), HostRejectType);
    EXPECT_EQ(HostCall(host, "fkUnZip", args, 2, &result), HostRejectTooFew);
}
