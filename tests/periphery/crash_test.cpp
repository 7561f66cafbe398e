// The fault handlers end to end: crash_driver.exe crashes in each way the handlers cover, and
// the test checks the exit code, the message and the dump file with its exception record.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CrashHandlers.h"
#include "ScopedEnvironment.h"
#include "ScratchFolder.h"

namespace {

std::string OwnFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string ReadWholeFile(const std::string &path)
{
    std::string content;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return content;
    char block[65536];
    DWORD read = 0;
    while (ReadFile(file, block, sizeof(block), &read, nullptr) && read > 0)
        content.append(block, read);
    CloseHandle(file);
    return content;
}

struct CrashRun {
    DWORD exitCode = 0;
    std::vector<std::string> boxes; // "caption|type|text"
};

// Runs the driver with the temporary folder pointing into `folder`; the clock reads
// 2 March 2026 10:10:05.
CrashRun RunDriver(const ScratchFolder &folder, const char *mode)
{
    CrashRun run;
    std::string boxFile = folder.path + "boxes.bin";
    DeleteFileA(boxFile.c_str());
    ScopedEnvironment tmp("TMP", folder.path.c_str());
    ScopedEnvironment temp("TEMP", folder.path.c_str());
    std::string command = "\"" + OwnFolder() + "crash_driver.exe\" " + mode + " \"" + boxFile + "\" 20260302101005";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "crash_driver.exe did not start: " << GetLastError();
        return run;
    }
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::string boxes = ReadWholeFile(boxFile);
    for (size_t start = 0; start < boxes.size();) {
        size_t end = boxes.find('\0', start);
        if (end == std::string::npos)
            end = boxes.size();
        run.boxes.push_back(boxes.substr(start, end - start));
        start = end + 1;
    }
    return run;
}

std::string DumpPath(const ScratchFolder &folder)
{
    return folder.path + "Velloran\\Velloran1.0.0-20260302-101005.dmp";
}

std::string SuccessBox(const ScratchFolder &folder)
{
    return "Velloran|0|Program crashed.  Send\n\n" + DumpPath(folder) + "\n\nto Dorvane Software.";
}

DWORD Read32(const std::string &data, size_t offset)
{
    DWORD value = 0;
    if (offset + 4 <= data.size())
        CopyMemory(&value, data.data() + offset, 4);
    return value;
}

// The exception code of the dump's exception stream; false when the dump has none.
bool DumpExceptionCode(const std::string &dump, DWORD *code)
{
    if (dump.compare(0, 4, "MDMP") != 0)
        return false;
    DWORD streams = Read32(dump, 8);
    DWORD directory = Read32(dump, 12);
    for (DWORD i = 0; i < streams; ++i) {
        size_t entry = directory + 12 * (size_t)i;
        if (Read32(dump, entry) == 6 /* ExceptionStream */) {
            *code = Read32(dump, Read32(dump, entry + 8) + 8);
            return true;
        }
    }
    return false;
}

struct CrashCase {
    const char *mode;
    DWORD exceptionCode; // 0 for handlers that capture their own registers
};

class CrashDump : public ::testing::TestWithParam<CrashCase> {};

TEST_P(CrashDump, WritesTheDumpTellsTheUserAndEndsWithOne)
{
    ScratchFolder folder;
    CrashRun run = RunDriver(folder, GetParam().mode);
    if (run.exitCode == 3)
        GTEST_SKIP() << "this msvcrt.dll has no hook for " << GetParam().mode;
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0], SuccessBox(folder));
    std::string dump = ReadWholeFile(DumpPath(folder));
    DWORD code = 0xFFFFFFFF;
    ASSERT_TRUE(DumpExceptionCode(dump, &code)) << "no exception stream in " << DumpPath(folder);
    EXPECT_EQ(code, GetParam().exceptionCode);
}

// In a 64-bit build the runtime's start-up code filters every fault that main lets out and
// hands it to the SIGSEGV or SIGFPE handler without the fault's pointers (the unhandled-
// exception filter never sees it), so the dump holds the signal handler's own registers.
#ifdef _WIN64
const DWORD kAccessCode = 0, kDivideCode = 0;
#else
const DWORD kAccessCode = EXCEPTION_ACCESS_VIOLATION, kDivideCode = EXCEPTION_INT_DIVIDE_BY_ZERO;
#endif

INSTANTIATE_TEST_SUITE_P(EveryFault, CrashDump,
                         ::testing::Values(CrashCase{"access", kAccessCode},
                                           CrashCase{"thread-access", kAccessCode},
                                           CrashCase{"divide", kDivideCode},
                                           CrashCase{"abort", 0}, CrashCase{"sigint", 0},
                                           CrashCase{"sigterm", 0}, CrashCase{"sigfpe", 0},
                                           CrashCase{"sigill", 0}, CrashCase{"sigsegv", 0},
                                           CrashCase{"throw", 0}, CrashCase{"purecall", 0},
                                           CrashCase{"new", 0}, CrashCase{"invalid-parameter", 0}),
                         [](const ::testing::TestParamInfo<CrashCase> &info) {
                             std::string name = info.param.mode;
                             for (char &c : name)
                                 if (c == '-')
                                     c = '_';
                             return name;
                         });

TEST(CrashDumpFile, ASecondCrashInTheSameSecondReplacesTheFile)
{
    ScratchFolder folder;
    ASSERT_EQ(RunDriver(folder, "access").exitCode, 1u);
    HANDLE file = CreateFileA(DumpPath(folder).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "old", 3, &written, nullptr);
    CloseHandle(file);
    CrashRun second = RunDriver(folder, "abort");
    EXPECT_EQ(second.exitCode, 1u);
    ASSERT_EQ(second.boxes.size(), 1u);
    EXPECT_EQ(second.boxes[0], SuccessBox(folder));
    DWORD code = 0xFFFFFFFF;
    EXPECT_TRUE(DumpExceptionCode(ReadWholeFile(DumpPath(folder)), &code));
    EXPECT_EQ(code, 0u);
}

// Wine's loader takes its overrides from the registry (the environment of a child started from
// here is not read), per program under AppDefaults.
class DllDisabled {
public:
    DllDisabled(const char *program, const char *dll) : key_(std::string("Software\\Wine\\AppDefaults\\") + program + "\\DllOverrides")
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
            ERROR_SUCCESS) {
            RegSetValueExA(key, dll, 0, REG_SZ, (const BYTE *)"", 1);
            RegCloseKey(key);
        }
    }
    ~DllDisabled() { RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str()); }

private:
    std::string key_;
};

TEST(CrashDumpFile, WithoutTheDebugHelpLibraryTheMessageSaysSoAndTheExitCodeIsOne)
{
    ScratchFolder folder;
    DllDisabled noDbghelp("crash_driver.exe", "dbghelp");
    CrashRun run = RunDriver(folder, "access");
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0], "Velloran|0|Program crashed.  Error - couldn't load dbghelp.dll.");
}

TEST(CrashDumpFile, AFileThatCannotBeCreatedIsNamedInTheMessage)
{
    ScratchFolder folder;
    // A file where the dump folder should be.
    HANDLE blocker = CreateFileA((folder.path + "Velloran").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(blocker, INVALID_HANDLE_VALUE);
    CloseHandle(blocker);
    CrashRun run = RunDriver(folder, "throw");
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0], "Velloran|0|Program crashed.  Failed to create " + DumpPath(folder) + " for creating dump.");
}

TEST(CrashDumpFile, NamesTheFileFromTheProductVersionAndTimeAndRefusesOverlongPaths)
{
    SYSTEMTIME time = {2026, 1, 0, 9, 7, 5, 3, 0};
    char path[400];
    ASSERT_EQ(FormatCrashDumpPath("C:\\Temp\\", &time, path, sizeof(path)), 1);
    EXPECT_STREQ(path, "C:\\Temp\\Velloran\\Velloran1.0.0-20260109-070503.dmp");
    std::string longFolder = "C:\\" + std::string(220, 'a') + "\\";
    EXPECT_EQ(FormatCrashDumpPath(longFolder.c_str(), &time, path, sizeof(path)), 0);
}

}  // namespace
