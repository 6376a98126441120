// Host service calls: the call core's request record, the return helpers,
// ownership of character results, and what the host reports about leaks.
#include "host_fixture.h"
#include "test_support.h"

using HostServices = ProbeSession;

TEST_F(HostServices, CallCoreRecord)
{
    uint32_t error = 0;
    // One raw request: arguments in order, offset 20 cleared, the result
    // word handed back.
    HostSetFrontWindow(host, 4321);
    EXPECT_EQ(CallInts("probeCallService", {ServiceFrontWindow, 11, 22, 33, 44, 55}, &error), 4321);
    EXPECT_EQ(error, 0u);
    HostRequest request;
    ASSERT_TRUE(HostLastRequest(host, ServiceFrontWindow, &request));
    EXPECT_EQ(request.argument1, 11u);
    EXPECT_EQ(request.argument2, 22u);
    EXPECT_EQ(request.argument3, 33u);
    EXPECT_EQ(request.argument4, 44u);
    EXPECT_EQ(request.argument5, 55u);
    EXPECT_EQ(request.reserved, 0u);
    // A code the host does not know comes through as well.
    CallInts("probeCallService", {999, 1}, &error);
    EXPECT_EQ(HostUnknownServices(host), 1);
    EXPECT_EQ(error, 0u);
    // Service 83 sent raw unwinds like HostError.
    EXPECT_EQ(CallInts("probeCallService", {ServiceError, 1429}, &error), -12345);
    EXPECT_EQ(error, 1429u);
    // Offset 20 was 0 on every request the host saw in the session.
    CallInts("fkGetFLLVersion", {});
    EXPECT_EQ(HostReservedNonZero(host), 0);
}

// The HostValue of the last result, as the library sent it.
static HostValue lastSent;
static uint32_t lastSentByte;
static void KeepResult(Host *host, HostRequest *request, void *)
{
    lastSent = *reinterpret_cast<const HostValue *>(request->argument1);
    lastSentByte = 0xffff;
    if (lastSent.type == 'H' || lastSent.type == 'C') {
        const uint8_t *data = static_cast<const uint8_t *>(HostHandleAddress(host, lastSent.handle));
        if (data != nullptr)
            lastSentByte = data[lastSent.length];
    }
}

TEST_F(HostServices, ReturnHelpers)
{
    HostSetServiceHook(host, ServiceReturnValue, KeepResult, nullptr);
    for (int32_t flag : {1, 2, 0x100, -1, int32_t(0x80000000)}) {
        FoxValue arg = FoxInt(flag), result;
        ASSERT_EQ(HostCall(host, "probeLogical", &arg, 1, &result), 0u);
        EXPECT_EQ(lastSent.type, 'L');
        EXPECT_EQ(lastSent.length, 1u) << "flag " << flag;
    }
    FoxValue zero = FoxInt(0), result;
    ASSERT_EQ(HostCall(host, "probeLogical", &zero, 1, &result), 0u);
    EXPECT_EQ(lastSent.length, 0u);

    ASSERT_EQ(HostCall(host, "fkGetFLLVersion", nullptr, 0, &result), 0u);
    EXPECT_EQ(lastSent.type, 'I');
    EXPECT_EQ(lastSent.width, 10);
    EXPECT_EQ(lastSent.longValue, 2030);
    EXPECT_EQ(lastSent.real, 0.0);

    // An empty text goes back as a one-byte handle holding the NUL.
    FoxValue empty = FoxString("");
    ASSERT_EQ(HostCall(host, "probeText", &empty, 1, &result), 0u);
    EXPECT_EQ(lastSent.type, 'H');
    EXPECT_EQ(lastSent.width, 0);
    EXPECT_EQ(lastSent.length, 0u);
    EXPECT_NE(lastSent.handle, 0u);
    EXPECT_EQ(lastSentByte, 0u);
    EXPECT_EQ(result.type, 'C');
    EXPECT_EQ(result.length, 0u);
    FoxValue word = FoxString("word");
    ASSERT_EQ(HostCall(host, "probeText", &word, 1, &result), 0u);
    EXPECT_EQ(lastSent.length, 4u);
    EXPECT_EQ(lastSentByte, 0u) << "the block holds a NUL after the text";
    EXPECT_STREQ(result.text, "word");
    EXPECT_EQ(HostLastCall(host)->leakedHandles, 0) << "the host freed the result's handle";
}

TEST_F(HostServices, ReturnStringWithoutMemory)
{
    // No handle for the text: no result and no error. (The argument's
    // handle is made first, or the host's own allocation would fail.)
    MemHandle held = HostMakeHandle(host, "x", 1);
    FoxValue arg = FoxBytes("", 1), result;
    arg.handle = held;
    CallInts("probeFailMemory", {1, 0});
    EXPECT_EQ(HostCall(host, "fkGetUserName", &arg, 1, &result), 0u);
    EXPECT_EQ(HostLastCall(host)->results, 0);
    HostFreeHandle(host, held);
    // When the host itself cannot make an argument's handle it refuses the
    // call, as the run time does for want of memory.
    CallInts("probeFailMemory", {1, 0});
    FoxValue text = FoxString("text");
    EXPECT_EQ(HostCall(host, "probeText", &text, 1, &result), HostRejectNoMemory);
    EXPECT_FALSE(HostLastCall(host)->ran);
    // fkFieldInfo still stores its figures.
    HostSetVariable(host, "width", FoxInt(-1));
    FoxValue args[2] = {FoxNumber(2.5, 9, 1), FoxRef("width")};
    CallInts("probeFailMemory", {1, 0});
    EXPECT_EQ(HostCall(host, "fkFieldInfo", args, 2, &result), 0u);
    EXPECT_EQ(HostLastCall(host)->results, 0);
    FoxValue width;
    ASSERT_TRUE(HostGetVariable(host, "width", &width));
    EXPECT_EQ(width.integer, 9);
}

TEST_F(HostServices, Ownership)
{
    // A result that hands back the parameter's own handle: freed once, no
    // leak, and the handle table ends empty.
    FoxValue arg = FoxString("scrambled"), result;
    ASSERT_EQ(HostCall(host, "probeEcho", &arg, 1, &result), 0u);
    EXPECT_STREQ(result.text, "scrambled");
    EXPECT_EQ(HostLastCall(host)->leakedHandles, 0);
    EXPECT_EQ(HostOccupiedHandles(host), 0);
    // Handles a function keeps are reported and freed.
    FoxValue three = FoxInt(3);
    ASSERT_EQ(HostCall(host, "probeLeak", &three, 1, &result), 0u);
    EXPECT_EQ(HostLastCall(host)->leakedHandles, 3);
    EXPECT_EQ(HostOccupiedHandles(host), 0);
    // A value loaded from a variable is the library's to free: fkFieldInfo
    // does, so nothing leaks.
    HostSetVariable(host, "text", FoxString("loaded"));
    FoxValue ref = FoxRef("text");
    ASSERT_EQ(HostCall(host, "fkFieldInfo", &ref, 1, &result), 0u);
    EXPECT_EQ(HostLastCall(host)->leakedHandles, 0);
    EXPECT_EQ(HostServiceCount(host, ServiceLoad), 1);
    expectNoLeaks = false;
    EXPECT_EQ(HostClose(host), 3);
    host = nullptr;
}

TEST(HostServicesTable, ShippedRows)
{
    Host *host = OpenBeside("falkmoor.fll");
    ASSERT_NE(host, nullptr) << HostOpenError();
    const LibraryTable *table = HostTable(host);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->next, nullptr);
    // Every row the host reads, in the table's order, with its count and
    // signature exactly as the host must see them.
    const ExpectedRow *rows = expectedLibraryRows;
    const int16_t expected = int16_t(expectedLibraryRowCount);
    ASSERT_EQ(table->count, expected);
    for (int16_t i = 0; i < table->count; i++) {
        const FunctionEntry &row = table->entries[i];
        ASSERT_NE(row.name, nullptr) << "row " << i;
        EXPECT_STREQ(row.name, rows[i].name) << "row " << i;
        EXPECT_NE(row.function, nullptr) << row.name;
        EXPECT_EQ(row.parameterCount, rows[i].count) << row.name;
        ASSERT_NE(row.signature, nullptr) << row.name;
        EXPECT_STREQ(row.signature, rows[i].signature) << row.name;
        // A function row's count is the number of items in its signature.
        int items = row.signature[0] != '\0' ? 1 : 0;
        for (const char *p = row.signature; *p != '\0'; p++)
            items += *p == ',';
        if (row.parameterCount >= 0) {
            EXPECT_EQ(row.parameterCount, items) << row.name << " \"" << row.signature << "\"";
        }
    }
    EXPECT_EQ(HostClose(host), 0);
}
