// Host errors: a raising function ends at once, DispatchAPI returns 0 and
// the thread goes on; nested entries each land in their own frame; the
// code-84 rewrite; errors in event and idle handlers.
#include "host_fixture.h"

using Landing = ProbeSession;

TEST_F(Landing, ErrorEndsTheFunction)
{
    uint32_t error = 0;
    EXPECT_EQ(CallInts("probeRaise", {1234}, &error), -12345) << "the result after the error was sent";
    EXPECT_EQ(error, 1234u);
    const HostCallInfo *info = HostLastCall(host);
    EXPECT_TRUE(info->ran);
    EXPECT_EQ(info->results, 0);
    EXPECT_FALSE(info->rewritten);
    EXPECT_EQ(info->dispatchResult, 0);
    ASSERT_EQ(HostErrorCount(host), 1);
    EXPECT_EQ(HostErrorAt(host, 0), 1234u);
    // The next requests on the thread work normally, again and again.
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(CallInts("fkGetFLLVersion", {}, &error), 2030);
        EXPECT_EQ(error, 0u);
        EXPECT_EQ(CallInts("probeRaise", {182}, &error), -12345);
        EXPECT_EQ(error, 182u);
    }
    // A result sent before the error stays sent.
    EXPECT_EQ(CallInts("probeNested", {302}, &error), 0);
    EXPECT_EQ(error, 302u);
    EXPECT_EQ(HostLastCall(host)->results, 1);
}

// What the hook inside the outer call saw.
struct Inner {
    uint32_t eventError;
    uint32_t eventResult;
    uint32_t callError;
    int callResults;
    int32_t version;
    int depth;
};

// Runs inside the outer call's front-window request: an event whose
// handler raises, a call that raises, and one that works.
static void ReenterDuringService(Host *host, HostRequest *, void *context)
{
    Inner *inner = static_cast<Inner *>(context);
    if (inner->depth++ > 0)
        return;
    FoxEvent event = {99, 1111, 0};
    inner->eventError = HostFireEvent(host, 5, &event, &inner->eventResult);
    FoxValue code = FoxInt(3333), result;
    inner->callError = HostCall(host, "probeRaise", &code, 1, &result);
    inner->callResults = HostLastCall(host)->results;
    HostCall(host, "fkGetFLLVersion", nullptr, 0, &result);
    inner->version = result.integer;
}

TEST_F(Landing, NestedEntries)
{
    Inner inner = {0, 0, 0, 0, 0, 0};
    HostSetFrontWindow(host, 77);
    HostSetServiceHook(host, ServiceFrontWindow, ReenterDuringService, &inner);
    uint32_t error = 0;
    // The outer function goes on after the inner entries landed, sends its
    // result, and its own error lands in its own frame.
    EXPECT_EQ(CallInts("probeNested", {2222}, &error), 77);
    EXPECT_EQ(error, 2222u);
    EXPECT_EQ(inner.eventError, 1111u);
    EXPECT_EQ(inner.eventResult, 5u) << "word 0 keeps the host's value after a raising handler";
    EXPECT_EQ(inner.callError, 3333u);
    EXPECT_EQ(inner.callResults, 0);
    EXPECT_EQ(inner.version, 2030);
    ASSERT_EQ(HostErrorCount(host), 3);
    EXPECT_EQ(HostErrorAt(host, 0), 1111u);
    EXPECT_EQ(HostErrorAt(host, 1), 3333u);
    EXPECT_EQ(HostErrorAt(host, 2), 2222u);
    // Without an error of its own the outer call ends normally too.
    inner.depth = 0;
    EXPECT_EQ(CallInts("probeNested", {0}, &error), 77);
    EXPECT_EQ(error, 0u);
    HostSetServiceHook(host, ServiceFrontWindow, nullptr, nullptr);
    EXPECT_EQ(CallInts("probeRaise", {4444}, &error), -12345);
    EXPECT_EQ(error, 4444u);
}

TEST_F(Landing, Rewrite84)
{
    uint32_t error = 0;
    // The host answers the first result and rewrites it: the second result
    // is never sent.
    HostRewriteNext(host, ServiceReturnValue);
    CallInts("probeReturnTwice", {5, 6}, &error);
    const HostCallInfo *info = HostLastCall(host);
    EXPECT_EQ(error, 84u);
    EXPECT_TRUE(info->rewritten);
    EXPECT_EQ(info->results, 1);
    EXPECT_EQ(info->result.integer, 5);
    // Without the rewrite both come, and the host keeps the last.
    EXPECT_EQ(CallInts("probeReturnTwice", {5, 6}, &error), 6);
    EXPECT_EQ(HostLastCall(host)->results, 2);
    // A rewrite of a service that returns a word ends the caller as well.
    HostSetFrontWindow(host, 9);
    HostRewriteNext(host, ServiceFrontWindow);
    EXPECT_EQ(CallInts("probeNested", {0}, &error), -12345);
    EXPECT_EQ(error, 84u);
    EXPECT_EQ(CallInts("probeNested", {0}, &error), 9);
    EXPECT_EQ(error, 0u);
}

TEST_F(Landing, EventsAndIdle)
{
    ASSERT_EQ(HostEventHandlers(host), 1) << "ONLOAD registered the event handler";
    ASSERT_EQ(HostIdleHandlers(host), 1);
    struct Case {
        FoxEvent event;
        uint32_t expected;
    } cases[] = {
        {{1, 0, 0}, 1001},
        {{17, 0x12345678, 0}, 1017},
        {{98, 0x12345678, 0}, 0x12345678},  // the key at offset 18
        {{97, 0, 0x3000}, 0x3000},          // the modifier word at offset 32
    };
    for (const Case &c : cases) {
        uint32_t result = 0xdeadbeef;
        EXPECT_EQ(HostFireEvent(host, 3, &c.event, &result), 0u) << c.event.code;
        EXPECT_EQ(result, c.expected) << "event " << c.event.code;
    }
    FoxEvent raising = {99, 555, 0};
    uint32_t result = 0;
    EXPECT_EQ(HostFireEvent(host, 3, &raising, &result), 555u);
    EXPECT_EQ(result, 3u) << "word 0 unchanged after the handler raised";

    EXPECT_EQ(CallInts("probeIdle", {0}), 0);
    EXPECT_EQ(HostFireIdle(host), 0u);
    EXPECT_EQ(HostFireIdle(host), 0u);
    EXPECT_EQ(CallInts("probeIdle", {777}), 2);
    EXPECT_EQ(HostFireIdle(host), 777u);
    EXPECT_EQ(CallInts("probeIdle", {0}), 3);
    EXPECT_EQ(HostFireIdle(host), 0u);
}

TEST(LandingLoad, HandlersRegisteredWithTheEntry)
{
    Host *host = OpenBeside("bridge_probe.fll");
    ASSERT_NE(host, nullptr);
    uint32_t entry = reinterpret_cast<uint32_t>(HostDispatchEntry(host));
    for (uint32_t service : {uint32_t(ServiceSetEventHandler), uint32_t(ServiceSetIdleHandler)}) {
        HostRequest request;
        ASSERT_TRUE(HostLastRequest(host, service, &request)) << service;
        EXPECT_EQ(HostServiceCount(host, service), 1) << service;
        EXPECT_NE(request.argument1, 0u) << "handler address, service " << service;
        EXPECT_EQ(request.argument2, 1u) << service;
        EXPECT_EQ(request.argument3, entry) << "the DispatchAPI address, service " << service;
        EXPECT_EQ(request.reserved, 0u) << service;
    }
    EXPECT_EQ(HostClose(host), 0);
}
