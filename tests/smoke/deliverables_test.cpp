// Proves the harness: every deliverable loads under Wine, the libraries export their entry
// points under undecorated names, and a 32-bit program can start the 64-bit host.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string BinPath(const char *file)
{
    char dir[MAX_PATH] = "";
    GetEnvironmentVariableA("VELLORAN_BIN_DIR", dir, sizeof dir);
    return std::string(dir) + "\\" + file;
}

// Runs a program and returns its exit code, or -1 when it could not be started or hung.
int RunAndWait(const std::string &path, const char *args)
{
    std::string cmd = "\"" + path + "\" " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(path.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    DWORD code = (DWORD)-1;
    if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return (int)code;
}

struct LibraryExport {
    const char *file;
    const char *name;
};

}  // namespace

TEST(Deliverables, LibrariesExportUndecoratedNames)
{
    const LibraryExport exports[] = {
        {"kv64dll.dll", "MakeShadowCopy"},
        {"kv_vss.dll", "MakeShadowCopy"},
        {"kvcmpenc.dll", "RunDLLCommand"},
        {"tarnmail.dll", "send_mail"},
    };
    for (const LibraryExport &e : exports) {
        HMODULE lib = LoadLibraryA(BinPath(e.file).c_str());
        ASSERT_NE(lib, nullptr) << e.file << " error " << GetLastError();
        EXPECT_NE(GetProcAddress(lib, e.name), nullptr) << e.file << " lacks " << e.name;
        FreeLibrary(lib);
    }
}

TEST(Deliverables, BridgeExportsMakeShadowCopyAtOrdinalOne)
{
    HMODULE lib = LoadLibraryA(BinPath("kv64dll.dll").c_str());
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(GetProcAddress(lib, MAKEINTRESOURCEA(1)), GetProcAddress(lib, "MakeShadowCopy"));
    FreeLibrary(lib);
}

TEST(Deliverables, ThirtyTwoBitProgramSeesSixtyFourBitWindows)
{
#ifdef _WIN64
    GTEST_SKIP() << "a 64-bit build of the tests has no WoW64";
#else
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_TRUE(wow64);
#endif
}

TEST(Deliverables, MainProgramAndHostStartAndEnd)
{
    EXPECT_EQ(RunAndWait(BinPath("Korrin.exe"), "/hidden /exitwhendone /run=0"), 0);
    // Without a request file the host cannot run; what matters here is that it starts and ends.
    int host = RunAndWait(BinPath("kv64wrap.exe"), "");
    EXPECT_GE(host, 0);
    EXPECT_NE(host, 99);
}
