// fkRegisterControl and fkUnregisterControl through the host, with the
// project's stand-in control files copied into a folder of the test's
// own: the outcome for each kind of file, the evidence the file leaves of
// being called and in which apartment, OLE as the caller had it, and the
// file free to delete afterwards.
#include <gtest/gtest.h>
#include <objbase.h>
#include <ole2.h>
#include <string.h>
#include <string>
#include "host_fixture.h"

static std::string ReadText(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    char buffer[4096];
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer, &read, nullptr);
    CloseHandle(file);
    return std::string(buffer, read);
}

// Whether the calling thread is in a single-threaded apartment, asked the
// way a caller would: a further initialisation answers S_FALSE then, and
// S_OK when the thread had none (which is undone again).
static HRESULT ApartmentProbe()
{
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(result))
        CoUninitialize();
    return result;
}

class Controls : public LibrarySession {
protected:
    std::string folder;  // the test's own copies of the control files
    void SetUp() override
    {
        LibrarySession::SetUp();
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "qvfll-controls-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    void TearDown() override
    {
        LibrarySession::TearDown();
        const char *names[] = {"ctl_ok", "ctl_false", "ctl_fail", "ctl_noentry"};
        for (const char *name : names) {
            DeleteFileA((folder + "\\" + name + ".dll").c_str());
            DeleteFileA((folder + "\\" + name + ".dll.evidence").c_str());
        }
        RemoveDirectoryA(folder.c_str());
    }
    // A fresh copy of the fixture, without evidence; answers its path.
    std::string CopyFixture(const char *name)
    {
        char source[MAX_PATH];
        std::string file = std::string(name) + ".dll";
        EXPECT_TRUE(HostPathBesideProgram(file.c_str(), source, sizeof source));
        std::string target = folder + "\\" + file;
        EXPECT_TRUE(CopyFileA(source, target.c_str(), FALSE)) << GetLastError();
        DeleteFileA((target + ".evidence").c_str());
        return target;
    }
    // Calls function on path; answers whether the result was true.
    bool Call(const char *function, const std::string &path)
    {
        FoxValue arg = FoxString(path.c_str()), result;
        EXPECT_EQ(HostCall(host, function, &arg, 1, &result), 0u) << function << " " << path;
        EXPECT_EQ(result.type, 'L') << function << " " << path;
        EXPECT_EQ(HostLastCall(host)->leakedHandles, 0);
        return result.type == 'L' && result.length == 1;
    }
};

struct ControlCase {
    const char *fixture;
    bool registers;       // the result
    bool called;          // the entry point ran and left evidence
};

TEST_F(Controls, Outcomes)
{
    const ControlCase cases[] = {
        {"ctl_ok", true, true},
        {"ctl_false", false, true},
        {"ctl_fail", false, true},
        {"ctl_noentry", false, false},
    };
    const char *functions[][2] = {{"fkRegisterControl", "DllRegisterServer"},
                                  {"fkUnregisterControl", "DllUnregisterServer"}};
    for (const ControlCase &c : cases) {
        for (auto &function : functions) {
            std::string path = CopyFixture(c.fixture);
            ASSERT_EQ(ApartmentProbe(), S_OK) << "no OLE on this thread before";
            EXPECT_EQ(Call(function[0], path), c.registers) << function[0] << " " << c.fixture;
            EXPECT_EQ(ApartmentProbe(), S_OK) << function[0] << ": OLE released again";
            std::string evidence = ReadText(path + ".evidence");
            std::string sta = std::string(function[1]) + " " + c.fixture + " sta\r\n";
            std::string mainSta = std::string(function[1]) + " " + c.fixture + " main-sta\r\n";
            if (c.called) {
                EXPECT_TRUE(evidence == sta || evidence == mainSta)
                    << function[0] << " " << c.fixture << ": once, inside OLE; got \""
                    << evidence << "\"";
            } else {
                EXPECT_EQ(evidence, "") << function[0] << " " << c.fixture;
            }
            EXPECT_EQ(HostLastCall(host)->results, c.called ? 2 : 1)
                << "false first, then the outcome once the entry point ran";
            // Not held open: the module is gone and the file can go.
            EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr) << c.fixture;
            SetLastError(0xdeadbeef);
            EXPECT_TRUE(DeleteFileA(path.c_str())) << c.fixture << ": error " << GetLastError();
        }
    }
    // A file that is not there.
    std::string missing = folder + "\\no such control.ocx";
    EXPECT_FALSE(Call("fkRegisterControl", missing));
    EXPECT_FALSE(Call("fkUnregisterControl", missing));
    EXPECT_FALSE(Call("fkRegisterControl", ""));
    // The host refuses what the rows do not take.
    FoxValue number = FoxInt(1), result;
    EXPECT_EQ(HostCall(host, "fkRegisterControl", &number, 1, &result), HostRejectType);
}

// A caller that had initialised OLE keeps it, in the same apartment.
TEST_F(Controls, CallerKeepsOle)
{
    ASSERT_EQ(OleInitialize(nullptr), S_OK);
    std::string path = CopyFixture("ctl_ok");
    EXPECT_TRUE(Call("fkRegisterControl", path));
    EXPECT_EQ(ApartmentProbe(), S_FALSE) << "OLE still initialised for the caller";
    EXPECT_TRUE(Call("fkUnregisterControl", path));
    EXPECT_EQ(ApartmentProbe(), S_FALSE);
    std::string evidence = ReadText(path + ".evidence");
    EXPECT_NE(evidence.find("DllRegisterServer ctl_ok"), std::string::npos) << evidence;
    EXPECT_NE(evidence.find("DllUnregisterServer ctl_ok"), std::string::npos) << evidence;
    EXPECT_EQ(evidence.find(" none"), std::string::npos) << evidence;
    OleUninitialize();
    EXPECT_EQ(ApartmentProbe(), S_OK) << "and the caller's own release ends it";
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}

// On a thread of the multithreaded apartment OLE cannot be initialised:
// false, and the file is not even loaded.
struct MtaRun {
    Host *host;
    std::string path;
    bool result;
    HRESULT before, after;
};

TEST_F(Controls, MultithreadedCaller)
{
    MtaRun run = {host, CopyFixture("ctl_ok"), true, E_FAIL, E_FAIL};
    struct Thread {
        static DWORD WINAPI Main(void *context)
        {
            MtaRun *run = static_cast<MtaRun *>(context);
            run->before = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            FoxValue arg = FoxString(run->path.c_str()), result;
            HostCall(run->host, "fkRegisterControl", &arg, 1, &result);
            run->result = result.type == 'L' && result.length == 1;
            run->after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            CoUninitialize();
            CoUninitialize();
            return 0;
        }
    };
    HANDLE thread = CreateThread(nullptr, 0, Thread::Main, &run, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(run.before, S_OK);
    EXPECT_FALSE(run.result) << "OLE cannot be had in a multithreaded apartment";
    EXPECT_EQ(run.after, S_FALSE) << "the thread keeps its apartment";
    EXPECT_EQ(ReadText(run.path + ".evidence"), "") << "the file was not called";
    EXPECT_TRUE(DeleteFileA(run.path.c_str()));
}

// Ends the second result of a call with the host's error code 84.
static int resultsSeen = 0;
static void EndSecondResult(Host *, HostRequest *request, void *)
{
    if (++resultsSeen == 2)
        request->service = ServiceErrorRewritten;
}

// A host error on the outcome unwinds the call: OLE was released before.
TEST_F(Controls, OutcomeEndedByTheHost)
{
    std::string path = CopyFixture("ctl_ok");
    resultsSeen = 0;
    HostSetServiceHook(host, ServiceReturnValue, EndSecondResult, nullptr);
    FoxValue arg = FoxString(path.c_str()), result;
    HostCall(host, "fkRegisterControl", &arg, 1, &result);
    HostSetServiceHook(host, ServiceReturnValue, nullptr, nullptr);
    EXPECT_EQ(resultsSeen, 2);
    EXPECT_EQ(HostLastCall(host)->results, 2) << "the host served both before the error";
    EXPECT_EQ(ApartmentProbe(), S_OK) << "OLE released before the outcome went to the host";
    EXPECT_TRUE(Call("fkRegisterControl", path)) << "the next call works";
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}
