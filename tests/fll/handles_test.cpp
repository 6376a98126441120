// Memory handles: allocation from the hint, frees, sizes, resizes, locks,
// bad handles, a full table and failing system allocations.
#include "host_fixture.h"

enum Operation { Alloc = 1, Free, Size, Resize, Lock, Unlock, Address, AllocTagged };

// The probe's handle operations keep what they allocate; the tests free
// it themselves, so the host's leak check stays out of the way.
class Handles : public ProbeSession {
protected:
    void SetUp() override
    {
        ProbeSession::SetUp();
        if (host != nullptr)
            HostCheckLeaks(host, false);
    }
    int32_t Op(int32_t operation, int32_t a = 0, int32_t b = 0)
    {
        uint32_t error = 0;
        int32_t answer = CallInts("probeHandle", {operation, a, b}, &error);
        EXPECT_EQ(error, 0u) << "operation " << operation;
        return answer;
    }
    uint16_t TagOf(MemHandle handle)
    {
        uint16_t tag = 0;
        memcpy(&tag, static_cast<uint8_t *>(HostHandleAddress(host, handle)) - 2, 2);
        return tag;
    }
};

TEST_F(Handles, AllocateFromTheHint)
{
    HandleTable *table = HostThreadHandles(host);
    MemHandle handles[7];
    for (int i = 0; i < 7; i++) {
        handles[i] = MemHandle(Op(Alloc, 8));
        EXPECT_EQ(handles[i], MemHandle(i + 1));
        EXPECT_EQ(TagOf(handles[i]), 16) << "the library's own tag";
    }
    EXPECT_EQ(table->hint, 7) << "the hint stays on the slot just filled";
    Op(Free, 3);
    EXPECT_EQ(table->hint, 3);
    EXPECT_EQ(table->slots[3], 0u);
    EXPECT_EQ(Op(Alloc, 8), 3);
    EXPECT_EQ(Op(Alloc, 8), 8) << "the scan steps past occupied slots";
    EXPECT_EQ(table->hint, 8);
    // Freeing at the hint leaves it where it is.
    Op(Free, 8);
    EXPECT_EQ(table->hint, 8);
    EXPECT_EQ(Op(AllocTagged, 4, 0x7777), 8);
    EXPECT_EQ(TagOf(8), 0x7777);
    for (MemHandle h = 1; h <= 8; h++)
        Op(Free, int32_t(h));
    EXPECT_EQ(table->hint, 1);
}

TEST_F(Handles, SizesAndResize)
{
    MemHandle small = MemHandle(Op(Alloc, 1));
    ASSERT_NE(small, 0u);
    EXPECT_GE(Op(Size, int32_t(small)), 1);
    uint8_t *data = static_cast<uint8_t *>(HostHandleAddress(host, small));
    EXPECT_EQ(data[0], 0) << "zero-filled";
    EXPECT_EQ(uint32_t(Op(Address, int32_t(small))), reinterpret_cast<uint32_t>(data));

    MemHandle handle = MemHandle(Op(Alloc, 4));
    memcpy(HostHandleAddress(host, handle), "abcd", 4);
    EXPECT_EQ(Op(Resize, int32_t(handle), 4000), 1);
    EXPECT_GE(Op(Size, int32_t(handle)), 4000);
    data = static_cast<uint8_t *>(HostHandleAddress(host, handle));
    EXPECT_EQ(memcmp(data, "abcd", 4), 0) << "old bytes kept";
    int nonZero = 0;
    for (int i = 4; i < 4000; i++)
        nonZero += data[i] != 0;
    EXPECT_EQ(nonZero, 0) << "new bytes zero-filled";
    EXPECT_EQ(TagOf(handle), 16) << "tag kept";
    EXPECT_NE(HostThreadHandles(host)->slots[handle], 0u);
    // Shrinking keeps the front.
    EXPECT_EQ(Op(Resize, int32_t(handle), 2), 1);
    EXPECT_EQ(Op(Size, int32_t(handle)), 2);
    EXPECT_EQ(memcmp(HostHandleAddress(host, handle), "ab", 2), 0);
    Op(Free, int32_t(small));
    Op(Free, int32_t(handle));
}

TEST_F(Handles, Locks)
{
    MemHandle handle = MemHandle(Op(Alloc, 16));
    EXPECT_EQ(HostHandleLocks(host, handle), 0);
    Op(Lock, int32_t(handle));
    Op(Lock, int32_t(handle));
    EXPECT_EQ(HostHandleLocks(host, handle), 2) << "locks nest";
    Op(Unlock, int32_t(handle));
    EXPECT_EQ(HostHandleLocks(host, handle), 1);
    Op(Unlock, int32_t(handle));
    Op(Unlock, int32_t(handle));
    EXPECT_EQ(HostHandleLocks(host, handle), 0) << "an extra unlock leaves it unlocked";
    // The address stays valid while locked; a free ignores the lock count.
    Op(Lock, int32_t(handle));
    Op(Free, int32_t(handle));
    EXPECT_EQ(HostThreadHandles(host)->slots[handle], 0u);
}

TEST_F(Handles, BadHandles)
{
    MemHandle freed = MemHandle(Op(Alloc, 4));
    Op(Free, int32_t(freed));
    HandleTable *table = HostThreadHandles(host);
    uint16_t hint = table->hint;
    for (int32_t bad : {0, int32_t(freed), 255, 256, 65536, -1}) {
        EXPECT_EQ(Op(Address, bad), 0) << bad;
        EXPECT_EQ(Op(Size, bad), 0) << bad;
        EXPECT_EQ(Op(Resize, bad, 10), 0) << bad;
        Op(Lock, bad);
        Op(Unlock, bad);
        Op(Free, bad);
        EXPECT_EQ(table->hint, hint) << "a bad free moved the hint: " << bad;
    }
}

class SmallHandleTable : public Handles {
protected:
    void SetUp() override
    {
        options.handleCapacity = 4;  // slots 1 to 3
        Handles::SetUp();
    }
};

TEST_F(SmallHandleTable, Full)
{
    // A call's own result needs a handle too, so probeHandle answers with
    // integers only; fill the table with the host's request 2.
    MemHandle held[3];
    for (int i = 0; i < 3; i++)
        held[i] = HostMakeHandle(host, "x", 1);
    EXPECT_EQ(held[2], 3u);
    EXPECT_EQ(HostMakeHandle(host, "y", 1), 0u) << "a full table answers 0";
    EXPECT_EQ(Op(Alloc, 1), 0);
    EXPECT_EQ(HostThreadHandles(host)->hint, 4);
    HostFreeHandle(host, held[1]);
    EXPECT_EQ(HostThreadHandles(host)->hint, 2);
    EXPECT_EQ(Op(Alloc, 1), 2);
    Op(Free, 2);
    HostFreeHandle(host, held[0]);
    HostFreeHandle(host, held[2]);
}

TEST_F(Handles, SystemFailures)
{
    // A failing block allocation answers 0 and leaves the hint on the free
    // slot it found.
    MemHandle first = MemHandle(Op(Alloc, 4));
    CallInts("probeFailMemory", {1, 0});
    EXPECT_EQ(Op(Alloc, 4), 0);
    EXPECT_EQ(HostThreadHandles(host)->hint, first + 1);
    EXPECT_EQ(HostThreadHandles(host)->slots[first + 1], 0u);
    EXPECT_EQ(Op(Alloc, 4), int32_t(first + 1)) << "the next allocation works";
    Op(Free, int32_t(first + 1));
    // Request 2 answers 0 as well.
    CallInts("probeFailMemory", {1, 0});
    EXPECT_EQ(HostMakeHandle(host, "abc", 3), 0u);
    // A failing resize answers 0 and leaves the block as it was.
    memcpy(HostHandleAddress(host, first), "wxyz", 4);
    uint32_t block = HostThreadHandles(host)->slots[first];
    uint32_t size = uint32_t(Op(Size, int32_t(first)));
    CallInts("probeFailMemory", {0, 1});
    EXPECT_EQ(Op(Resize, int32_t(first), 100000), 0);
    EXPECT_EQ(HostThreadHandles(host)->slots[first], block);
    EXPECT_EQ(uint32_t(Op(Size, int32_t(first))), size);
    EXPECT_EQ(memcmp(HostHandleAddress(host, first), "wxyz", 4), 0);
    Op(Free, int32_t(first));
}

// Sizes so large that the block would have no room for its tag: the
// allocation or resize fails as for want of memory, and a resized block is
// left as it was.
TEST_F(Handles, SizesPastTheTag)
{
    HandleTable *table = HostThreadHandles(host);
    uint16_t hint = table->hint;
    for (uint32_t size : {0xffffffffu, 0xfffffffeu}) {
        EXPECT_EQ(Op(Alloc, int32_t(size)), 0) << size;
        EXPECT_EQ(Op(AllocTagged, int32_t(size), 5), 0) << size;
        EXPECT_EQ(HostMakeHandle(host, "", size), 0u) << "request 2 of " << size;
        EXPECT_EQ(table->slots[table->hint], 0u) << size;
    }
    EXPECT_EQ(table->hint, hint);
    MemHandle handle = MemHandle(Op(Alloc, 4));
    memcpy(HostHandleAddress(host, handle), "wxyz", 4);
    uint32_t block = table->slots[handle];
    for (uint32_t size : {0xffffffffu, 0xfffffffeu}) {
        EXPECT_EQ(Op(Resize, int32_t(handle), int32_t(size)), 0) << size;
        EXPECT_EQ(table->slots[handle], block) << size;
        EXPECT_EQ(uint32_t(Op(Size, int32_t(handle))), 4u) << size;
        EXPECT_EQ(TagOf(handle), 16) << size;
        EXPECT_EQ(memcmp(HostHandleAddress(host, handle), "wxyz", 4), 0) << size;
    }
    Op(Free, int32_t(handle));
}

// A locked block is never moved by a resize, so an address taken under the
// lock holds: the resize either grows it in place or fails and leaves it.
TEST_F(Handles, LockedBlockStays)
{
    MemHandle handle = MemHandle(Op(Alloc, 16));
    memcpy(HostHandleAddress(host, handle), "locked", 6);
    Op(Lock, int32_t(handle));
    uint32_t address = uint32_t(Op(Address, int32_t(handle)));
    for (int32_t size : {32, 4096, 1 << 20}) {
        int32_t resized = Op(Resize, int32_t(handle), size);
        EXPECT_EQ(uint32_t(Op(Address, int32_t(handle))), address) << "resized to " << size;
        EXPECT_EQ(memcmp(reinterpret_cast<const void *>(address), "locked", 6), 0) << size;
        if (resized != 0) {
            EXPECT_GE(Op(Size, int32_t(handle)), size);
        }
    }
    EXPECT_EQ(HostHandleLocks(host, handle), 1);
    Op(Unlock, int32_t(handle));
    EXPECT_EQ(Op(Resize, int32_t(handle), 1 << 20), 1) << "unlocked, the block may move and grow";
    EXPECT_EQ(memcmp(HostHandleAddress(host, handle), "locked", 6), 0);
    Op(Free, int32_t(handle));
}
