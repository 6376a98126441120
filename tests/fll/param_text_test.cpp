// The parameter text helpers, through probe functions that call them on
// their first parameter: growing, exact resizing, locks, the shared empty
// text, embedded NULs and resize failures.
#include "host_fixture.h"

class ParamText : public ProbeSession {
protected:
    // Calls probeText or probeTextAddress on a parameter made from an
    // existing handle and length; the test keeps the handle.
    uint32_t Call(const char *name, MemHandle handle, uint32_t length, int locked, FoxValue *result)
    {
        FoxValue args[2] = {FoxBytes("", length), FoxInt(locked)};
        args[0].handle = handle;
        return HostCall(host, name, args, 2, result);
    }
    HGLOBAL BlockOf(MemHandle handle)
    {
        return reinterpret_cast<HGLOBAL>(HostThreadHandles(host)->slots[handle]);
    }
};

TEST_F(ParamText, GrowsOnlyWhenNeeded)
{
    MemHandle exact = HostMakeHandle(host, "hello", 5);
    ASSERT_EQ(HostHandleBytes(host, exact), 5u) << "the test needs a block of exactly 5 bytes";
    FoxValue result;
    ASSERT_EQ(Call("probeText", exact, 5, 0, &result), 0u);
    EXPECT_STREQ(result.text, "hello");
    EXPECT_GE(HostHandleBytes(host, exact), 6u);
    EXPECT_EQ(static_cast<char *>(HostHandleAddress(host, exact))[5], '\0');
    EXPECT_EQ(HostHandleLocks(host, exact), 0) << "ParamString leaves the handle unlocked";

    // With room already, the block is not resized.
    MemHandle roomy = HostMakeHandle(host, "hello world", 11);
    HGLOBAL block = BlockOf(roomy);
    ASSERT_EQ(Call("probeText", roomy, 5, 0, &result), 0u);
    EXPECT_STREQ(result.text, "hello");
    EXPECT_EQ(HostHandleBytes(host, roomy), 11u);
    EXPECT_EQ(BlockOf(roomy), block);
    EXPECT_EQ(memcmp(HostHandleAddress(host, roomy), "hello\0world", 11), 0);
    HostFreeHandle(host, exact);
    HostFreeHandle(host, roomy);
}

TEST_F(ParamText, LockedResizesExactly)
{
    for (uint32_t blockBytes : {5u, 6u, 40u}) {
        char bytes[40];
        memset(bytes, 'q', sizeof bytes);
        memcpy(bytes, "hello", 5);
        MemHandle handle = HostMakeHandle(host, bytes, blockBytes);
        FoxValue result;
        ASSERT_EQ(Call("probeText", handle, 5, 1, &result), 0u) << blockBytes;
        EXPECT_STREQ(result.text, "hello") << blockBytes;
        EXPECT_EQ(HostHandleBytes(host, handle), 6u) << "from " << blockBytes;
        EXPECT_EQ(HostHandleLocks(host, handle), 1) << "left locked, from " << blockBytes;
        GlobalUnlock(BlockOf(handle));
        HostFreeHandle(host, handle);
    }
}

TEST_F(ParamText, EmptyText)
{
    MemHandle a = HostMakeHandle(host, "abc", 3);
    MemHandle b = HostMakeHandle(host, "xyz", 3);
    FoxValue result;
    for (int locked = 0; locked < 2; locked++) {
        ASSERT_EQ(Call("probeTextAddress", a, 0, locked, &result), 0u);
        int32_t first = result.integer;
        ASSERT_EQ(Call("probeTextAddress", b, 0, locked, &result), 0u);
        EXPECT_EQ(result.integer, first) << "one shared empty text";
        ASSERT_EQ(Call("probeTextAddress", 0, 0, locked, &result), 0u);
        EXPECT_EQ(result.integer, first) << "whatever the handle";
        EXPECT_EQ(*reinterpret_cast<const char *>(first), '\0');
        EXPECT_EQ(HostHandleBytes(host, a), 3u) << "handle untouched";
        EXPECT_EQ(HostHandleLocks(host, a), 0) << "no lock taken";
        EXPECT_EQ(memcmp(HostHandleAddress(host, a), "abc", 3), 0);
        ASSERT_EQ(Call("probeText", a, 0, locked, &result), 0u);
        EXPECT_STREQ(result.text, "");
    }
    HostFreeHandle(host, a);
    HostFreeHandle(host, b);
}

TEST_F(ParamText, EmbeddedNul)
{
    FoxValue args[1] = {FoxBytes("ab\0cd", 5)}, result;
    ASSERT_EQ(HostCall(host, "probeText", args, 1, &result), 0u);
    EXPECT_EQ(result.length, 2u);
    EXPECT_STREQ(result.text, "ab");
}

TEST_F(ParamText, ResizeFailureRaises182)
{
    for (int locked = 0; locked < 2; locked++) {
        MemHandle handle = HostMakeHandle(host, "hello", 5);
        HGLOBAL block = BlockOf(handle);
        CallInts("probeFailMemory", {0, 1});
        FoxValue result;
        EXPECT_EQ(Call("probeText", handle, 5, locked, &result), 182u) << "locked " << locked;
        EXPECT_EQ(HostLastCall(host)->results, 0);
        EXPECT_EQ(BlockOf(handle), block) << "block left as it was";
        EXPECT_EQ(HostHandleBytes(host, handle), 5u);
        EXPECT_EQ(HostHandleLocks(host, handle), 0);
        HostFreeHandle(host, handle);
    }
    // The resize that did not fail leaves nothing behind: the next works.
    MemHandle handle = HostMakeHandle(host, "hello", 5);
    FoxValue result;
    EXPECT_EQ(Call("probeText", handle, 5, 0, &result), 0u);
    HostFreeHandle(host, handle);
}

TEST_F(ParamText, BadHandleRaises182)
{
    // A host that passes a character value in a bad handle gets error 182,
    // not a crash.
    for (MemHandle bad : {200u, 255u, 100000u}) {
        FoxValue result;
        EXPECT_EQ(Call("probeText", bad, 4, 0, &result), 182u) << bad;
        EXPECT_EQ(Call("probeText", bad, 4, 1, &result), 182u) << bad;
        FoxValue path = FoxBytes("", 3);
        path.handle = bad;
        EXPECT_EQ(HostCall(host, "fkIsPath", &path, 1, &result), 182u) << bad;
    }
    // Handle 0 with a length, in a block built by hand.
    RawBlock raw = Raw(RequestCallFunction);
    raw.block.function = reinterpret_cast<uint32_t>(HostFindRow(host, "fkIsPath")->function);
    ParamBlock *parameters = reinterpret_cast<ParamBlock *>(raw.data);
    parameters->count = 1;
    parameters->slots[0].value.type = 'C';
    parameters->slots[0].value.length = 4;
    int errors = HostErrorCount(host);
    EXPECT_EQ(HostDispatchEntry(host)(&raw), 0);
    ASSERT_EQ(HostErrorCount(host), errors + 1);
    EXPECT_EQ(HostErrorAt(host, errors), 182u);
}

// A length with no room for the NUL after it cannot be made into a text:
// 182, and the block is left as it was.
TEST_F(ParamText, LengthWithoutRoomForTheNul)
{
    for (int locked = 0; locked < 2; locked++) {
        MemHandle handle = HostMakeHandle(host, "hello", 5);
        FoxValue result;
        EXPECT_EQ(Call("probeText", handle, 0xffffffffu, locked, &result), 182u) << locked;
        EXPECT_EQ(HostHandleBytes(host, handle), 5u) << locked;
        EXPECT_EQ(HostHandleLocks(host, handle), 0) << locked;
        uint16_t tag = 0;
        memcpy(&tag, static_cast<uint8_t *>(HostHandleAddress(host, handle)) - 2, 2);
        EXPECT_EQ(tag, 1) << "the host's tag is untouched, locked " << locked;
        EXPECT_EQ(memcmp(HostHandleAddress(host, handle), "hello", 5), 0) << locked;
        HostFreeHandle(host, handle);
    }
}
