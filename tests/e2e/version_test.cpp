// The version resources of both deliverables, read as Windows reads them
// for a file's properties: the fixed part and the English strings, and the
// library's file version against what fkGetFLLVersion answers.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "fllhost.h"

struct Strings {
    const char *file;
    const char *fileVersion;   // also the fixed part's, and the product's
    const char *description;
    const char *productName;
    DWORD fileType;
};

static const Strings deliverables[] = {
    {"qvClientService.exe", "1.0.0.0", "Quorvale Control Service", "Quorvale Control Service", VFT_APP},
    {"falkmoor.fll", "2.0.3.0", "Extension library for Visual FoxPro applications", "falkmoor.fll",
     VFT_DLL},
};

// The file's version block; empty when it has none.
static std::vector<char> VersionBlock(const char *path)
{
    DWORD ignored = 0;
    SetLastError(0xdeadbeef);
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    std::vector<char> block(size);
    if (size == 0 || !GetFileVersionInfoA(path, 0, size, block.data()))
        block.clear();
    return block;
}

static std::string StringValue(std::vector<char> &block, const char *language, const char *name)
{
    char query[128];
    snprintf(query, sizeof query, "\\StringFileInfo\\%s\\%s", language, name);
    void *value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), query, &value, &length) || value == nullptr)
        return "<missing>";
    return static_cast<const char *>(value);
}

static std::string Dotted(DWORD high, DWORD low)
{
    char text[64];
    snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(HIWORD(high)), unsigned(LOWORD(high)), unsigned(HIWORD(low)),
             unsigned(LOWORD(low)));
    return text;
}

TEST(VersionResources, Deliverables)
{
    for (const Strings &d : deliverables) {
        SCOPED_TRACE(d.file);
        char path[MAX_PATH];
        ASSERT_TRUE(HostPathBesideProgram(d.file, path, sizeof path));
        std::vector<char> block = VersionBlock(path);
        ASSERT_FALSE(block.empty()) << "no version resource, error " << GetLastError();

        VS_FIXEDFILEINFO *fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
        ASSERT_GE(length, sizeof *fixed);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS), d.fileVersion);
        EXPECT_EQ(Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS), d.fileVersion);
        EXPECT_EQ(fixed->dwFileType, d.fileType);
        EXPECT_EQ(fixed->dwFileOS, DWORD(VOS_NT_WINDOWS32));

        // US English, Unicode: the strings Windows shows on an English system.
        WORD *translation = nullptr;
        ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                                   reinterpret_cast<void **>(&translation), &length));
        ASSERT_GE(length, 4u);
        char language[16];
        snprintf(language, sizeof language, "%04X%04X", translation[0], translation[1]);
        EXPECT_STREQ(language, "040904B0");

        EXPECT_EQ(StringValue(block, language, "CompanyName"), "Quorvale");
        EXPECT_EQ(StringValue(block, language, "FileVersion"), d.fileVersion);
        EXPECT_EQ(StringValue(block, language, "ProductVersion"), d.fileVersion);
        EXPECT_EQ(StringValue(block, language, "FileDescription"), d.description);
        EXPECT_EQ(StringValue(block, language, "ProductName"), d.productName);
        EXPECT_EQ(StringValue(block, language, "OriginalFilename"), d.file);
    }
}

// The library's number 2030 is its version read digit by digit: 2.0.3.0.
TEST(VersionResources, LibraryAgreesWithItsVersionFunction)
{
    char path[MAX_PATH];
    ASSERT_TRUE(HostPathBesideProgram("falkmoor.fll", path, sizeof path));
    std::vector<char> block = VersionBlock(path);
    ASSERT_FALSE(block.empty());
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    int32_t fromResource = int32_t(HIWORD(fixed->dwFileVersionMS) * 1000 + LOWORD(fixed->dwFileVersionMS) * 100 +
                                   HIWORD(fixed->dwFileVersionLS) * 10 + LOWORD(fixed->dwFileVersionLS));

    Host *host = HostOpen(path);
    ASSERT_NE(host, nullptr) << HostOpenError();
    FoxValue result = {};
    EXPECT_EQ(HostCall(host, "fkGetFLLVersion", nullptr, 0, &result), 0u);
    EXPECT_EQ(result.type, 'I');
    EXPECT_EQ(result.integer, fromResource) << "file version " << Dotted(fixed->dwFileVersionMS,
                                                                        fixed->dwFileVersionLS);
    EXPECT_EQ(HostClose(host), 0);
}
