// What the library tests share: a session on a library beside the test
// program, closed at the end with a check that nothing leaked.
#pragma once
#include <gtest/gtest.h>
#include <string.h>
#include "fllhost.h"

// Opens the named library from the test program's folder.
inline Host *OpenBeside(const char *library, const HostOptions *options = nullptr)
{
    char path[MAX_PATH];
    if (!HostPathBesideProgram(library, path, sizeof path))
        return nullptr;
    return HostOpenWith(path, options);
}

// A session on falkmoor.fll for each test, closed at the end with a check
// that nothing leaked. A test that closes the session itself sets host to
// null; Open starts a new one, with options of its own.
class LibrarySession : public ::testing::Test {
protected:
    Host *host = nullptr;
    void SetUp() override { Open(nullptr); }
    void Open(const HostOptions *options)
    {
        host = OpenBeside("falkmoor.fll", options);
        ASSERT_NE(host, nullptr) << HostOpenError();
    }
    void TearDown() override
    {
        if (host != nullptr) {
            EXPECT_EQ(HostClose(host), 0) << "handles leaked over the session";
        }
    }
};

// A session on the probe library for each test.
class ProbeSession : public ::testing::Test {
protected:
    Host *host = nullptr;
    HostOptions options = {256, 32};
    bool expectNoLeaks = true;
    void SetUp() override
    {
        host = OpenBeside("bridge_probe.fll", &options);
        ASSERT_NE(host, nullptr) << HostOpenError();
    }
    void TearDown() override
    {
        if (host == nullptr)
            return;
        int leaked = HostClose(host);
        if (expectNoLeaks) {
            EXPECT_EQ(leaked, 0) << "handles leaked over the session";
        }
    }
    // Calls a probe function with integer arguments; answers the integer
    // result (or -12345 when none came back).
    int32_t CallInts(const char *name, std::initializer_list<int32_t> values, uint32_t *error = nullptr)
    {
        FoxValue args[MaxParameters] = {};
        int count = 0;
        for (int32_t v : values)
            args[count++] = FoxInt(v);
        FoxValue result;
        uint32_t raised = HostCall(host, name, args, count, &result);
        if (error != nullptr)
            *error = raised;
        return HostLastCall(host)->results > 0 && result.type == 'I' ? result.integer : -12345;
    }
};

// A dispatch block with room for a parameter block or an event record.
struct RawBlock {
    DispatchBlock block;
    uint8_t data[sizeof(ParamBlock) + 64];
};

inline RawBlock Raw(uint32_t request, uint32_t word0 = 0, uint32_t word1 = 0)
{
    RawBlock raw;
    memset(&raw, 0, sizeof raw);
    raw.block.request = request;
    raw.block.word0 = word0;
    raw.block.word1 = word1;
    return raw;
}
