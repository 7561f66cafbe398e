// The job's shadow-copy client against the library's test double: the path mapping, the waits
// on the library (cancel, limit, a thread that stays after its status), the current folder, and
// whole jobs that read their sources through the double's letter. The jobs take the road this
// system chooses: the 64-bit bridge and host under WoW64, kv_vss.dll in a 32-bit prefix.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "ConfigRuntime.h"
#include "GlobalSettings.h"
#include "JobContext.h"
#include "JobTestSupport.h"
#include "JobSteps.h"
#include "MirrorPath.h"
#include "ScopedEnvironment.h"
#include "ShadowCopyClient.h"
#include "ShadowCopyDoubles.h"
#include "WaitLimits.h"
#include "WineDrive.h"

namespace {

const uint32_t kMirrorJob = Uncompressed | Enabled;

// The letter the client takes for a single shadowed drive: the first one from E that is free.
char FirstFreeTarget()
{
    DWORD used = GetLogicalDrives();
    for (char letter = 'E'; letter <= 'Z'; ++letter)
        if ((used & (1u << (letter - 'A'))) == 0)
            return letter;
    return 0;
}

bool IsDriveDefined(char letter)
{
    return (GetLogicalDrives() & (1u << (letter - 'A'))) != 0;
}

bool IsWow64()
{
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::wstring CurrentFolder()
{
    wchar_t folder[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, folder);
    return folder;
}

bool IsAnyShadowLibraryLoaded()
{
    return GetModuleHandleA("kv_vss.dll") != nullptr || GetModuleHandleA("kv64dll.dll") != nullptr;
}

// Waits for every thread of this process that runs ShadowCopyThreadProc to end; false when
// one is still running after timeoutMs.
bool WaitForShadowThreads(DWORD timeoutMs)
{
    typedef LONG(WINAPI * QueryThreadProc)(HANDLE, int, void *, ULONG, ULONG *);
    const int kThreadStartAddress = 9;
    QueryThreadProc query = reinterpret_cast<QueryThreadProc>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (query == nullptr || snapshot == INVALID_HANDLE_VALUE)
        return false;
    bool ended = true;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId())
            continue;
        HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        void *start = nullptr;
        if (thread != nullptr && query(thread, kThreadStartAddress, &start, sizeof start, nullptr) == 0 &&
            start == reinterpret_cast<void *>(ShadowCopyThreadProc))
            ended = WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0 && ended;
        if (thread != nullptr)
            CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return ended;
}

// Makes every folder of path (ending in '\') below an existing root.
bool MakeFolders(const std::wstring &path)
{
    for (size_t slash = path.find(L'\\', 3); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1))
        if (!MakeFolder(path.substr(0, slash)))
            return false;
    return true;
}

class ShadowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gSettings.backupLocked = 1;
        gSettings.logVerbose = 1;
        source = env.work.Wide() + L"src\\";
        destination = env.work.path + "dest\\";
        MakeFolder(source);
        MakeFolder(Widen(destination));
        savedFolder = CurrentFolder();
        target = FirstFreeTarget();
        ASSERT_NE(target, 0);
        ASSERT_EQ(source.compare(0, 3, L"C:\\"), 0) << "the scratch folders must lie on the fixed drive C:";
    }
    void TearDown() override
    {
        SetShadowLibraryForTesting(nullptr, nullptr);
        SetShadowWaitLimitForTesting(0);
        SetShadowReleaseLimitForTesting(0);
        SetCurrentDirectoryW(savedFolder.c_str());
        if (target != 0) {
            EXPECT_FALSE(IsDriveDefined(target)) << "the shadow letter was left behind";
        }
    }
    int AddJob() { return env.AddConfig("Job A", destination, {Narrow(source)}, kMirrorJob); }
    // Where the files of a source folder land.
    std::wstring MirrorOf(const std::wstring &folder)
    {
        wchar_t out[kWidePathChars];
        std::string root = destination + "Job A\\";
        BuildMirrorPath(root.c_str(), folder.c_str(), nullptr, 0, out, kWidePathChars, 0);
        return out;
    }
    std::string FailureLine()
    {
        return "ERROR: Unable to create shadow copy.  See '" + env.dataPath +
               "VSSLog.txt' for more detail or turn off option to backup locked/open files.";
    }

    JobTestEnvironment env;
    std::wstring source;
    std::string destination;
    std::wstring savedFolder;
    char target = 0;
};

// The client's steps called directly, with kv_vss.dll in this process.
class ShadowClientTest : public ShadowTest {
protected:
    void SetUp() override
    {
        ShadowTest::SetUp();
        ASSERT_FALSE(ShadowDoubleFolder().empty());
        SetShadowLibraryForTesting(ShadowDoubleFolder().c_str(), "kv_vss.dll");
        context.config = env.Config(AddJob());
        logPath = env.work.path + "client.log";
        log = fopen(logPath.c_str(), "w");
        ASSERT_NE(log, nullptr);
    }
    void TearDown() override
    {
        ReleaseShadowCopies(log, &context);
        if (log != nullptr)
            fclose(log);
        ShadowTest::TearDown();
    }
    std::vector<std::string> Lines()
    {
        fflush(log);
        return SplitLines(ReadTextFile(Widen(logPath)));
    }
    // CreateShadowCopies' result and how long it took.
    int Create(DWORD *elapsedMs)
    {
        DWORD start = GetTickCount();
        int result = CreateShadowCopies(log, &context);
        *elapsedMs = GetTickCount() - start;
        return result;
    }

    JobContext context = {};
    std::string logPath;
    FILE *log = nullptr;
};

struct MapCase {
    const char *path;
    size_t outSize;
    const char *expected;
};

TEST(MapToShadowPath, ReplacesOnlyShadowedLettersAndKeepsWithinTheBuffer)
{
    JobContext context = {};
    strcpy(context.shadowSources, "CD");
    strcpy(context.shadowTargets, "EF");
    strcpy(context.unshadowedDrives, "X");
    context.shadowRequest.active = 1;
    const MapCase cases[] = {
        {"C:\\data\\a.txt", 260, "E:\\data\\a.txt"},
        {"d:\\b", 260, "F:\\b"},  // lower case on a shadowed drive
        {"D:", 260, "F:"},
        {"X:\\read\\directly", 260, "X:\\read\\directly"},
        {"G:\\not\\shadowed", 260, "G:\\not\\shadowed"},
        {"\\\\server\\share\\c", 260, "\\\\server\\share\\c"},
        {"\\\\?\\C:\\long", 260, "\\\\?\\C:\\long"},  // only "X:" paths are mapped
        {"relative\\C:", 260, "relative\\C:"},
        {"1:\\x", 260, "1:\\x"},
        {"C", 260, "C"},
        {"", 260, ""},
        {"C:\\data", 3, "E:"},
        {"C:\\data", 2, "E"},
        {"C:\\data", 1, ""},  // no room for a letter: still terminated
    };
    for (const MapCase &c : cases) {
        char out[300];
        memset(out, '#', sizeof out);
        MapToShadowPath(c.path, out, c.outSize, &context);
        EXPECT_STREQ(out, c.expected) << c.path << " in " << c.outSize;
        EXPECT_EQ(out[c.outSize], '#') << c.path << ": written beyond the buffer";

        wchar_t wide[300];
        wmemset(wide, L'#', 300);
        MapToShadowPathW(&context, Widen(c.path).c_str(), wide, c.outSize);
        EXPECT_EQ(Narrow(wide), c.expected) << c.path << " in " << c.outSize << " (wide)";
        EXPECT_EQ(wide[c.outSize], L'#') << c.path << ": written beyond the wide buffer";
    }
    char untouched = '#';
    MapToShadowPath("C:\\", &untouched, 0, &context);
    MapToShadowPathW(&context, L"C:\\", nullptr, 0);
    EXPECT_EQ(untouched, '#');

    context.shadowRequest.active = 0;  // released, or never made
    char out[MAX_PATH];
    MapToShadowPath("C:\\data", out, sizeof out, &context);
    EXPECT_STREQ(out, "C:\\data");
}

TEST_F(ShadowClientTest, ReadyCopyIsReadUnderItsLetterAndTheCurrentFolderComesBack)
{
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:0");
    WriteTextFile(source + L"a.txt", "alpha");
    ASSERT_TRUE(SetCurrentDirectoryW(env.work.Wide().c_str()));
    DWORD elapsed = 0;
    ASSERT_EQ(Create(&elapsed), 1);
    // The double has moved the current folder onto the source drive and holds it there.
    EXPECT_EQ(CurrentFolder() + L"\\", env.work.Wide());
    EXPECT_STREQ(context.shadowSources, "C");
    EXPECT_EQ(context.shadowTargets, std::string(1, target));
    EXPECT_TRUE(HasLine(Lines(), "Successfully created shadow volume(s): C -> " + std::string(1, target)));
    wchar_t mapped[kWidePathChars];
    MapToShadowPathW(&context, (source + L"a.txt").c_str(), mapped, kWidePathChars);
    EXPECT_EQ(mapped[0], (wchar_t)target);
    EXPECT_EQ(ReadTextFile(mapped), "alpha");

    EXPECT_TRUE(ReleaseShadowCopies(log, &context));
    EXPECT_EQ(context.shadowRequest.active, 0);
    EXPECT_EQ(context.shadowLibrary, nullptr);
    EXPECT_FALSE(IsAnyShadowLibraryLoaded());
    EXPECT_FALSE(IsDriveDefined(target));
    EXPECT_EQ(CurrentFolder() + L"\\", env.work.Wide());
}

TEST_F(ShadowClientTest, SilentWhenVerboseIsOffAndNothingLoadedWithoutAFixedDrive)
{
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:0");
    gSettings.logVerbose = 0;
    DWORD elapsed = 0;
    ASSERT_EQ(Create(&elapsed), 1);
    EXPECT_TRUE(Lines().empty());
    EXPECT_TRUE(ReleaseShadowCopies(log, &context));

    // Share and relative sources: no shadow copy, no library.
    BackupConfig *config = context.config;
    strcpy(config->sources[0].path, "\\\\server\\share\\data");
    ASSERT_EQ(Create(&elapsed), 1);
    EXPECT_EQ(context.shadowLibrary, nullptr);
    EXPECT_EQ(context.shadowRequest.active, 0);
    EXPECT_STREQ(context.shadowSources, "");
}

TEST_F(ShadowClientTest, MissingLibraryOrEntryPointEndsTheStepWithItsLine)
{
    struct Case {
        const char *file;
        const char *line;
    };
    const Case cases[] = {
        {"no_such_library.dll", "ERROR: Unable to load DLL for backing up locked/open files.  VSS library: "},
        {"kvcmpenc.dll", "ERROR: Unable to get required function in "},  // loads, but has no MakeShadowCopy
    };
    for (const Case &c : cases) {
        std::string folder = BinFolder() + "\\";
        SetShadowLibraryForTesting(folder.c_str(), c.file);
        ASSERT_TRUE(SetCurrentDirectoryW(env.work.Wide().c_str()));
        DWORD elapsed = 0;
        EXPECT_EQ(Create(&elapsed), 0);
        EXPECT_TRUE(HasLine(Lines(), c.line + folder + c.file)) << c.file;
        EXPECT_EQ(context.shadowLibrary, nullptr);
        EXPECT_EQ(CurrentFolder() + L"\\", env.work.Wide());
    }
}

TEST_F(ShadowClientTest, LibraryIsUnloadedOnlyAfterItsThreadHasLeftIt)
{
    // The double reports its failure at once and stays in the library 1.5 s longer.
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "fail:7:1500");
    DWORD elapsed = 0;
    EXPECT_EQ(Create(&elapsed), 0);
    EXPECT_GE(elapsed, 1400u);
    EXPECT_TRUE(HasLine(Lines(), FailureLine()));
    EXPECT_EQ(context.shadowRequest.status, 7);
    EXPECT_EQ(context.shadowRequest.active, 0);
    EXPECT_EQ(context.shadowLibrary, nullptr);
    EXPECT_FALSE(IsAnyShadowLibraryLoaded());
}

TEST_F(ShadowClientTest, LibraryWithoutAStatusWithinTheLimitIsAnErrorNotAHang)
{
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:2500");
    SetShadowWaitLimitForTesting(1000);
    ASSERT_TRUE(SetCurrentDirectoryW(env.work.Wide().c_str()));
    DWORD elapsed = 0;
    EXPECT_EQ(Create(&elapsed), 0);
    std::vector<std::string> lines = Lines();
    EXPECT_TRUE(HasLine(lines, "ERROR: The shadow copy library reported no status within 1 seconds"));
    EXPECT_FALSE(HasLine(lines, FailureLine()));
    // Released after its late status; its thread was waited for before the unload.
    EXPECT_GE(elapsed, 2400u);
    EXPECT_FALSE(IsAnyShadowLibraryLoaded());
    EXPECT_EQ(context.shadowRequest.active, 0);
    EXPECT_EQ(CurrentFolder() + L"\\", env.work.Wide());
}

// Redefines the shadow letter when the job reports its size, the moment between making the
// copies and reading them: what the job reads from then on shows where it reads.
class SnapshotShell : public RecordingShell {
public:
    void RefreshJobCell(int index, JobCell cell) override
    {
        if (cell == JobCell::Size && letter != 0)
            redefined = DefineWineDriveAt((wchar_t)letter, folder.c_str());
        RecordingShell::RefreshJobCell(index, cell);
    }
    char letter = 0;
    std::wstring folder;
    bool redefined = false;
};

class ShadowJobTest : public ShadowTest {
protected:
    void SetUp() override
    {
        ShadowTest::SetUp();
        ASSERT_FALSE(ShadowDoubleFolder().empty());
        SetShadowLibraryForTesting(ShadowDoubleFolder().c_str(), nullptr);
        // The bridge starts its host by its bare name: from the current folder here. The host
        // finds the exchange files in the application-data folder, so the job writes there.
        SetCurrentDirectoryA(ShadowDoubleFolder().c_str());
        jobFolder = CurrentFolder();
        char appData[MAX_PATH] = "";
        ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)));
        std::string folder = std::string(appData) + "\\Velloran\\";
        MakeFolder(Widen(folder));
        for (const char *name : {"VSSLog.txt", "VSSLog1.txt", "VSSLog2.txt"})
            DeleteFileA((folder + name).c_str());
        env.UseDataFolder(folder);
    }
    // What the library and the bridge wrote, for the failure messages.
    std::string LibraryLogs()
    {
        std::string logs;
        for (const char *name : {"VSSLog.txt", "VSSLog1.txt", "VSSLog2.txt"})
            logs += ReadTextFile(Widen(env.dataPath + name));
        return logs;
    }
    // The source's files as the shadow copy shows them, in a folder the shell points the
    // shadow letter at once the copies are made.
    bool PointAtSnapshot(SnapshotShell *shell, const std::vector<std::pair<std::wstring, std::string>> &files)
    {
        std::wstring snapshot = env.work.Wide() + L"snapshot\\";
        if (!MakeFolders(snapshot + source.substr(3)))
            return false;
        for (const auto &file : files)
            if (!WriteTextFile(snapshot + source.substr(3) + file.first, file.second))
                return false;
        shell->letter = target;
        shell->folder = snapshot;
        return true;
    }
    std::wstring jobFolder;  // the current folder the job starts in
};

TEST_F(ShadowJobTest, JobReadsItsSourcesThroughTheShadowLetter)
{
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:50");
    WriteTextFile(source + L"a.txt", "live");
    SnapshotShell shell;
    ASSERT_TRUE(PointAtSnapshot(&shell, {{L"a.txt", "snapshot"}}));

    int index = AddJob();
    ASSERT_EQ(env.RunJob(index), (int)JobResult::Success) << env.LogText(index) << LibraryLogs();
    EXPECT_TRUE(shell.redefined);
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + L"a.txt"), "snapshot") << env.LogText(index);
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "Successfully created shadow volume(s): C -> " + std::string(1, target)))
        << env.LogText(index);
    EXPECT_EQ(CountLinesStartingWith(lines, "ERROR"), 0) << env.LogText(index);
    EXPECT_NE(ReadTextFile(Widen(env.dataPath + "VSSLog.txt")).find("test double"), std::string::npos);
    // Under WoW64 the bridge and its host took the request; a 32-bit system loads kv_vss itself.
    EXPECT_EQ(FileExists(Widen(env.dataPath + "VSSLog1.txt")), IsWow64());
    EXPECT_FALSE(IsAnyShadowLibraryLoaded());
    EXPECT_EQ(CurrentFolder(), jobFolder);
}

TEST_F(ShadowJobTest, FileMissingFromTheShadowCopyIsAWarningNotAVanishedFile)
{
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:50");
    WriteTextFile(source + L"a.txt", "live");
    // Made after the shadow copy was taken: the walk sees it, the shadow copy has no such file.
    WriteTextFile(source + L"new.txt", "new");
    SnapshotShell shell;
    ASSERT_TRUE(PointAtSnapshot(&shell, {{L"a.txt", "snapshot"}}));

    int index = AddJob();
    EXPECT_EQ(env.RunJob(index), (int)JobResult::Warnings) << env.LogText(index) << LibraryLogs();
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + L"a.txt"), "snapshot");
    EXPECT_FALSE(FileExists(MirrorOf(source) + L"new.txt"));
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "WARNING: Unable to backup file:")) << env.LogText(index);
    EXPECT_TRUE(HasLine(lines, "\tFrom: " + Narrow(source) + "new.txt")) << env.LogText(index);
    EXPECT_TRUE(HasLine(lines, "\t\t\tCopy Failed         : 1 / 3 bytes")) << env.LogText(index);
}

TEST_F(ShadowJobTest, FailureStatusEndsTheJobFailedWithoutCopying)
{
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "fail:7");
    WriteTextFile(source + L"a.txt", "live");
    int index = AddJob();
    EXPECT_EQ(env.RunJob(index), (int)JobResult::Failed);
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, FailureLine())) << env.LogText(index);
    EXPECT_TRUE(HasLine(lines, "ERROR: Creation of shadow copy failed")) << env.LogText(index);
    EXPECT_FALSE(FileExists(MirrorOf(source) + L"a.txt"));
    EXPECT_FALSE(IsAnyShadowLibraryLoaded());
}

DWORD WINAPI CancelWhenCreating(LPVOID parameter)
{
    BackupConfig *config = static_cast<BackupConfig *>(parameter);
    for (int i = 0; i < 2000; ++i) {
        char status[64] = "";
        GetStatusText(config, status, sizeof status);
        if (strcmp(status, "Creating Volume Shadow") == 0) {
            SetCancelRequested(config, 1);
            return 0;
        }
        Sleep(5);
    }
    return 1;
}

TEST_F(ShadowJobTest, CancelDuringTheStatusWaitEndsTheJobAborted)
{
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:1500");
    SetShadowLibraryForTesting(ShadowDoubleFolder().c_str(), "kv_vss.dll");
    WriteTextFile(source + L"a.txt", "live");
    int index = AddJob();
    HANDLE canceller = CreateThread(nullptr, 0, CancelWhenCreating, env.Config(index), 0, nullptr);
    ASSERT_NE(canceller, nullptr);
    DWORD start = GetTickCount();
    int result = env.RunJob(index);
    DWORD elapsed = GetTickCount() - start;
    WaitForSingleObject(canceller, 15000);
    DWORD missed = 1;
    GetExitCodeThread(canceller, &missed);
    CloseHandle(canceller);
    ASSERT_EQ(missed, 0u) << "the job never showed its status wait";
    EXPECT_EQ(result, (int)JobResult::Aborted) << env.LogText(index);
    EXPECT_LT(elapsed, 10000u);
    const char cancelled[] = "ERROR: Shadow copy creation cancelled before the shadow copies were ready";
    EXPECT_TRUE(HasLine(env.LogLines(index), cancelled)) << env.LogText(index);
    EXPECT_FALSE(FileExists(MirrorOf(source) + L"a.txt"));
    EXPECT_FALSE(IsAnyShadowLibraryLoaded());
}

TEST_F(ShadowJobTest, LibraryThatKeepsItsCopiesPastTheLimitEndsTheJobWithWarnings)
{
    // The double holds its letter 4 s after the release request, the job waits 1 s for it.
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:0:4000");
    SetShadowLibraryForTesting(ShadowDoubleFolder().c_str(), "kv_vss.dll");
    SetShadowReleaseLimitForTesting(1000);
    WriteTextFile(source + L"a.txt", "live");
    int index = AddJob();

    EXPECT_EQ(env.RunJob(index), (int)JobResult::Warnings) << env.LogText(index);
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "ERROR: The shadow copy library did not release the shadow copies within 1 seconds"))
        << env.LogText(index);
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + L"a.txt"), "live");

    // The library's thread goes on writing its request block after the job has ended; it
    // must find it alive and let go of its letter.
    ASSERT_TRUE(WaitForShadowThreads(20000));
    EXPECT_FALSE(IsDriveDefined(target));
    EXPECT_NE(ReadTextFile(Widen(env.dataPath + "VSSLog.txt")).find("Released 1 test double letter(s)"),
              std::string::npos);
    // The job leaves a library it gave up on loaded; its thread has left it now.
    HMODULE library = GetModuleHandleA("kv_vss.dll");
    ASSERT_NE(library, nullptr);
    FreeLibrary(library);
    EXPECT_FALSE(IsAnyShadowLibraryLoaded());
}

}  // namespace
