// The project's host itself: its memo channel, windows, objects and
// properties, signature checks and the command-line program, as the
// library's functions will meet them.
#include "host_fixture.h"
#include <stdio.h>

using FllHost = ProbeSession;

TEST_F(FllHost, MemoChannel)
{
    const char memo[] = "memo bytes\0with a NUL";
    HostSetMemo(host, 2, "notes", memo, sizeof memo - 1);
    HostSetMemo(host, 2, "other", "x", 1);
    FoxValue field = FoxField(2, "NOTES"), result;
    ASSERT_EQ(HostCall(host, "probeMemo", &field, 1, &result), 0u);
    ASSERT_EQ(result.length, sizeof memo - 1);
    EXPECT_EQ(memcmp(result.text, memo, sizeof memo - 1), 0);
    HostRequest request;
    ASSERT_TRUE(HostLastRequest(host, ServiceChannelRead, &request));
    EXPECT_EQ(request.argument4, 1u);
    ASSERT_TRUE(HostLastRequest(host, ServiceChannelSeek, &request));
    EXPECT_EQ(request.argument3, 0u);
    ASSERT_TRUE(HostLastRequest(host, ServiceMemoChannel, &request));
    EXPECT_EQ(request.argument1, 2u);
    // The field is not changed by reading it.
    FoxValue stored;
    ASSERT_TRUE(HostGetMemo(host, 2, "notes", &stored));
    EXPECT_EQ(stored.length, sizeof memo - 1);
    // A short read and a failing find.
    HostSetShortRead(host, 3);
    EXPECT_EQ(HostCall(host, "probeMemo", &field, 1, &result), 182u);
    HostSetShortRead(host, 0);
    HostSetMemoFindAnswer(host, -1234);
    EXPECT_EQ(HostCall(host, "probeMemo", &field, 1, &result), 1234u);
    HostSetMemoFindAnswer(host, 0);
    // A variable reference is no memo field.
    FoxValue variable = FoxRef("plain");
    EXPECT_EQ(HostCall(host, "probeMemo", &variable, 1, &result), 11u);
    expectNoLeaks = false;  // the raising reads left their handles behind
}

TEST_F(FllHost, Windows)
{
    HWND window = CreateWindowA("STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    HostRegisterWindow(host, 12, window);
    HostSetOwnerWindow(host, 12);
    uint32_t error = 0;
    EXPECT_EQ(uint32_t(CallInts("probeOwnerWindow", {}, &error)), reinterpret_cast<uint32_t>(window));
    HostSetOwnerWindow(host, 13);
    EXPECT_EQ(CallInts("probeOwnerWindow", {}), 0) << "an unknown host window has no HWND";
    HostRequest request;
    ASSERT_TRUE(HostLastRequest(host, ServiceOwnerWindow, &request));
    EXPECT_EQ(request.argument1, 0u);
    EXPECT_EQ(request.argument2, 1u);
    DestroyWindow(window);
}

TEST_F(FllHost, Properties)
{
    uint32_t object = HostNewObject(host);
    HostSetPropertyValue(host, object, "cName", FoxString("printer"));
    FoxValue args[4] = {FoxObject(object), FoxString("cname"), FoxInt(0), FoxInt(0)}, result;
    ASSERT_EQ(HostCall(host, "probeGetProperty", args, 2, &result), 0u);
    EXPECT_STREQ(result.text, "printer");
    EXPECT_EQ(HostLastCall(host)->leakedHandles, 0) << "the read text went back as the result";
    args[1] = FoxString("nMissing");
    ASSERT_EQ(HostCall(host, "probeGetProperty", args, 2, &result), 0u);
    EXPECT_EQ(result.integer, -1) << "a missing property fails";
    // Writing a missing property without the add flag fails; with it, the
    // property is made.
    args[2] = FoxInt(5);
    ASSERT_EQ(HostCall(host, "probeSetProperty", args, 4, &result), 0u);
    EXPECT_EQ(HostFailedPropertyWrites(host), 1);
    FoxValue value;
    EXPECT_FALSE(HostGetPropertyValue(host, object, "nMissing", &value));
    args[3] = FoxInt(1);
    ASSERT_EQ(HostCall(host, "probeSetProperty", args, 4, &result), 0u);
    ASSERT_TRUE(HostGetPropertyValue(host, object, "nMissing", &value));
    EXPECT_EQ(value.integer, 5);
    // Existing properties take writes without the flag.
    args[2] = FoxInt(6);
    args[3] = FoxInt(0);
    ASSERT_EQ(HostCall(host, "probeSetProperty", args, 4, &result), 0u);
    ASSERT_TRUE(HostGetPropertyValue(host, object, "NMISSING", &value));
    EXPECT_EQ(value.integer, 6);
    EXPECT_EQ(HostFailedPropertyWrites(host), 1);
    // References on the object.
    FoxValue steps[2] = {FoxObject(object), FoxInt(1)};
    HostCall(host, "probeObject", steps, 2, &result);
    HostCall(host, "probeObject", steps, 2, &result);
    steps[1] = FoxInt(2);
    HostCall(host, "probeObject", steps, 2, &result);
    steps[1] = FoxInt(3);
    HostCall(host, "probeObject", steps, 2, &result);
    EXPECT_EQ(HostObjectReferences(host, object), 1);
    EXPECT_EQ(HostObjectFrees(host, object), 1);
}

TEST_F(FllHost, SignatureChecks)
{
    struct Case {
        const char *name;
        std::vector<FoxValue> args;
        uint32_t expected;
    } cases[] = {
        {"probeNoSuchFunction", {}, HostRejectNoFunction},
        {"ONLOAD", {}, HostRejectNoFunction},
        {"probeSetProperty", {FoxObject(1), FoxString("a"), FoxInt(1)}, HostRejectTooFew},
        {"probeHandle", {FoxInt(3), FoxInt(0), FoxInt(0), FoxInt(0)}, HostRejectTooMany},
        {"probeHandle", {FoxString("3")}, HostRejectType},
        {"probeHandle", {FoxNumber(3.9, 10, 1)}, 0},  // a number passes as an integer
        {"probeGetProperty", {FoxInt(1), FoxString("x")}, HostRejectType},
        {"probeMemo", {FoxString("x")}, HostRejectType},
        {"fkFieldInfo", {FoxLogical(true), FoxString("not a ref")}, HostRejectType},
        {"fkFieldInfo", {FoxRef("anything")}, 0},
    };
    for (const Case &c : cases) {
        FoxValue result;
        EXPECT_EQ(HostCall(host, c.name, c.args.data(), int(c.args.size()), &result), c.expected)
            << c.name << " with " << c.args.size();
        EXPECT_EQ(HostLastCall(host)->ran, c.expected == 0) << c.name;
    }
    // A reference where the row takes a value passes the value.
    HostSetVariable(host, "path", FoxString("C:\\windows"));
    FoxValue ref = FoxRef("path"), result;
    ASSERT_EQ(HostCall(host, "fkIsPath", &ref, 1, &result), 0u);
    EXPECT_EQ(result.length, 1u);
    HostSetMemo(host, 4, "folder", "C:\\windows", 10);
    FoxValue memo = FoxField(4, "folder");
    ASSERT_EQ(HostCall(host, "fkIsPath", &memo, 1, &result), 0u);
    EXPECT_EQ(result.length, 1u) << "a memo field passed by value is its text";
}

// Runs fllhost.exe with a command line; answers its exit code and output.
static DWORD RunProgram(const char *arguments, std::string *output)
{
    char program[MAX_PATH], library[MAX_PATH];
    HostPathBesideProgram("fllhost.exe", program, sizeof program);
    HostPathBesideProgram("falkmoor.fll", library, sizeof library);
    char command[2048];
    snprintf(command, sizeof command, "\"%s\" \"%s\" %s", program, library, arguments);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return 0xdeadbeef;
    CloseHandle(writeEnd);
    char buffer[512];
    DWORD got;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
        output->append(buffer, got);
    WaitForSingleObject(process.hProcess, 10000);
    DWORD code = 0xdeadbeef;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    // Lines end in CR LF on the way through the console run time.
    std::string clean;
    for (char c : *output)
        if (c != '\r')
            clean += c;
    *output = clean;
    return code;
}

TEST(FllHostProgram, CommandLine)
{
    struct Case {
        const char *arguments;
        DWORD exitCode;
        const char *output;
    } cases[] = {
        {"fkGetFLLVersion", 0, "result: I 2030\n"},
        {"fkIsPath s:C:\\windows", 0, "result: L .T.\n"},
        {"fkIsPath C:\\nowhere", 0, "result: L .F.\n"},
        {"fkFieldInfo i:7 @w @d", 0, "result: C \"I\"\nvar w = I 10\nvar d = I 0\n"},
        {"fkFieldInfo @v=n:3.25 @w", 0, "result: C \"N\"\nvar v = N 3.25\nvar w = I 10\n"},
        {"fkFieldInfo m:1:notes=hello @w", 0, "result: C \"M\"\nvar w = I 5\nmemo 1:notes = C \"hello\"\n"},
        {"fkAddProperty o: s:lDone", 0, "result: none\nprop 1.lDone = L .F.\n"},
        {"fkAbout", 0, nullptr},
        {"fkIsPath", 2, "result: none\nerror: 1229\n"},
        {"fkNothing", 2, "result: none\nerror: 1\n"},
        {"fkIsPath l:maybe", 2, nullptr},
    };
    for (const Case &c : cases) {
        std::string output;
        EXPECT_EQ(RunProgram(c.arguments, &output), c.exitCode) << c.arguments << "\n" << output;
        if (c.output != nullptr) {
            EXPECT_EQ(output, c.output) << c.arguments;
        }
    }
    std::string about;
    RunProgram("fkAbout", &about);
    EXPECT_EQ(about.rfind("result: none\ndialog: 7 \"", 0), 0u) << about;
    EXPECT_NE(about.find("[OK]"), std::string::npos) << about;
}
