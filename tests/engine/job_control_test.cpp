// Starting, stopping and finishing jobs as the window thread does, with a recording shell in
// place of the window.
#include <winsock2.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "JobControl.h"
#include "JobTestSupport.h"
#include "MirrorPath.h"
#include "RunQueue.h"
#include "SizeCalculation.h"
#include "resource.h"

namespace {

class JobControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        source = env.work.Wide() + L"src\\";
        destination = env.work.path + "dest\\";
        MakeFolder(source);
        MakeFolder(Widen(destination));
        jobActive = 0;
        exitWhenDone = 0;
        DrainMessages();
    }
    void TearDown() override
    {
        jobActive = 0;
        exitWhenDone = 0;
        DrainMessages();
    }
    static void DrainMessages()
    {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    // The WM_COMMAND ids waiting in this thread's queue.
    static std::vector<WPARAM> PostedCommands()
    {
        std::vector<WPARAM> commands;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            if (message.message == WM_COMMAND)
                commands.push_back(message.wParam);
        return commands;
    }
    std::wstring MirrorOf(const std::wstring &folder)
    {
        wchar_t out[kWidePathChars];
        std::string root = destination + "Job A\\";
        BuildMirrorPath(root.c_str(), folder.c_str(), nullptr, 0, out, kWidePathChars, 0);
        return out;
    }
    JobTestEnvironment env;
    std::wstring source;
    std::string destination;
};

TEST_F(JobControlTest, StartOnARunningRecordDoesNothing)
{
    BoxRecorder boxes;
    int index = env.AddConfig("Job A", destination, {Narrow(source)}, Enabled | Uncompressed);
    BackupConfig *config = env.Config(index);
    config->running = 1;
    config->runCount = 5;
    jobActive = 1;
    StartBackupJob(nullptr, index, 1);
    EXPECT_EQ(config->runCount, 5);
    EXPECT_EQ(jobActive, 1);
    EXPECT_TRUE(boxes.texts.empty());
    EXPECT_EQ(env.shell.commandUpdates, 0);
    Sleep(50);
    EXPECT_EQ(env.shell.finishedCount, 0);
}

TEST_F(JobControlTest, StartRunsTheJobOnItsThreadAndRefreshesTheRow)
{
    WriteTextFile(source + L"a.txt", "alpha");
    int index = env.AddConfig("Job A", destination, {Narrow(source)}, Enabled | Uncompressed);
    BackupConfig *config = env.Config(index);
    config->cancelRequested = 1; // left over from an earlier stop: a start clears it
    jobActive = 1;
    StartBackupJob(nullptr, index, 1);
    ASSERT_TRUE(env.shell.WaitFinished(20000));
    while (IsConfigRunning(config))
        Sleep(5);
    EXPECT_EQ(config->runCount, 1);
    EXPECT_EQ(config->lastResult, 1);
    EXPECT_EQ(config->smtpSocket, -1);
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + L"a.txt"), "alpha");
    EXPECT_EQ(env.shell.commandUpdates, 1);
    std::vector<JobCell> expected = {JobCell::LastRun, JobCell::LastResult, JobCell::NextRun, JobCell::RunCount,
                                     JobCell::Size};
    std::vector<JobCell> refreshed;
    for (auto &cell : env.shell.cells)
        refreshed.push_back(cell.second);
    // The Size cell comes from the job thread, so it may come before or after the others.
    ASSERT_EQ(refreshed.size(), 5u);
    std::vector<JobCell> windowCells;
    for (JobCell cell : refreshed)
        if (cell != JobCell::Size)
            windowCells.push_back(cell);
    EXPECT_EQ(windowCells, std::vector<JobCell>(expected.begin(), expected.begin() + 4));
}

TEST_F(JobControlTest, StopDuringALargeCopyAbortsAndLeavesNoHalfCopiedFile)
{
    const int fileCount = 12;
    const LONGLONG fileSize = 96LL * 1024 * 1024;
    for (int i = 0; i < fileCount; ++i) {
        std::wstring path = source + L"big" + std::to_wstring(i) + L".bin";
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        LARGE_INTEGER size;
        size.QuadPart = fileSize;
        SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
        CloseHandle(file);
    }
    int index = env.AddConfig("Job A", destination, {Narrow(source)}, Enabled | Uncompressed);
    BackupConfig *config = env.Config(index);
    jobActive = 1;
    StartBackupJob(nullptr, index, 0);
    char status[64] = "";
    for (int i = 0; i < 4000 && strcmp(status, "Uncompressed Files/Folders") != 0; ++i) {
        Sleep(5);
        GetStatusText(config, status, sizeof(status));
    }
    StopBackupJob(index);
    EXPECT_EQ(IsConfigRunning(config), 0);
    EXPECT_EQ(config->lastResult, 4);
    int complete = 0;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((MirrorOf(source) + L"*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            EXPECT_EQ(name.find(L".vlrpart"), std::wstring::npos) << Narrow(name);
            LONGLONG size = ((LONGLONG)entry.nFileSizeHigh << 32) | entry.nFileSizeLow;
            EXPECT_EQ(size, fileSize) << Narrow(name);
            ++complete;
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    EXPECT_LT(complete, fileCount);
    EXPECT_TRUE(HasLine(env.LogLines(index), "Job Result: Aborted"));
}

TEST_F(JobControlTest, StartStopsTheSizeCountAndTheEndRestartsIt)
{
    WriteTextFile(source + L"a.txt", "alpha");
    int index = env.AddConfig("Job A", destination, {Narrow(source)}, Enabled | Uncompressed);
    BackupConfig *config = env.Config(index);
    ASSERT_EQ(StartAllConfigSizes(nullptr), 1);
    ASSERT_NE(allSizesThread, nullptr);
    jobActive = 1;
    StartBackupJob(nullptr, index, 0);
    EXPECT_EQ(restartSizeAfterJob, 1);
    EXPECT_EQ(allSizesThread, nullptr);
    ASSERT_TRUE(env.shell.WaitFinished(20000));
    while (IsConfigRunning(config))
        Sleep(5);
    // Something marked the source unmeasured meanwhile: the restart measures it again.
    config->sources[0].sizeKnown = 0;
    OnJobFinished(nullptr, config->uniqueId);
    EXPECT_NE(allSizesThread, nullptr);
    for (int i = 0; i < 2000 && allSizesRunning; ++i)
        Sleep(5);
    StopAllConfigSizes();
    EXPECT_EQ(config->sources[0].sizeKnown, 1);
    jobActive = 1;
    StartBackupJob(nullptr, index, 0);
    EXPECT_EQ(restartSizeAfterJob, 0);
    ASSERT_TRUE(env.shell.WaitFinished(20000));
    while (IsConfigRunning(config))
        Sleep(5);
}

TEST_F(JobControlTest, StopWhileTheProgramBeforeRunsLeavesItAndAborts)
{
    int index = env.AddConfig("Job A", destination, {Narrow(source)}, Enabled | Uncompressed | RunProgramBefore);
    BackupConfig *config = env.Config(index);
    strcpy(config->programBefore, "cmd.exe /c ping -n 20 127.0.0.1 >nul");
    jobActive = 1;
    StartBackupJob(nullptr, index, 0);
    char status[64] = "";
    for (int i = 0; i < 4000 && strcmp(status, "Job Running Before Backup") != 0; ++i) {
        Sleep(5);
        GetStatusText(config, status, sizeof(status));
    }
    Sleep(300);
    DWORD started = GetTickCount();
    StopBackupJob(index);
    EXPECT_LT(GetTickCount() - started, 5000u);
    EXPECT_EQ(config->lastResult, 4);
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "Starting External Process: cmd.exe /c ping -n 20 127.0.0.1 >nul"));
    EXPECT_TRUE(HasLine(lines, "\tProcess was still running when backup job was aborted"));
    EXPECT_TRUE(HasLine(lines, "Job Result: Aborted"));
}

struct FakeJob {
    BackupConfig *config;
    DWORD delay;
};

DWORD WINAPI EndFakeJobLater(LPVOID argument)
{
    FakeJob *job = static_cast<FakeJob *>(argument);
    Sleep(job->delay);
    SetConfigRunning(job->config, 0);
    return 0;
}

TEST_F(JobControlTest, StopWithTheCancelByteAlreadySetStillWaitsForTheEnd)
{
    int index = env.AddConfig("Job A", destination, {Narrow(source)}, Enabled | Uncompressed);
    BackupConfig *config = env.Config(index);
    SetConfigRunning(config, 1);
    SetCancelRequested(config, 1);
    SetSmtpSocket(config, -1);
    FakeJob job = {config, 300};
    HANDLE thread = CreateThread(nullptr, 0, EndFakeJobLater, &job, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    DWORD started = GetTickCount();
    StopBackupJob(index);
    DWORD waited = GetTickCount() - started;
    EXPECT_EQ(IsConfigRunning(config), 0);
    EXPECT_GE(waited, 250u);
    EXPECT_EQ(env.shell.trayUpdates, 0); // the first stop already told the window
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

// A second Stop, given while the first one waits for the job (a double click, or Exit while a
// stop waits), arrives through the first one's message loop.
int secondStopIndex = -1;
bool secondStopRan = false;

void CALLBACK StopAgain(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    StopBackupJob(secondStopIndex);
    secondStopRan = true;
}

TEST_F(JobControlTest, TwoStopsThatMeetCloseTheMailSocketOnce)
{
    WSADATA winsock;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &winsock), 0);
    int index = env.AddConfig("Job A", destination, {Narrow(source)}, Enabled | Uncompressed);
    BackupConfig *config = env.Config(index);
    SetConfigRunning(config, 1);
    SOCKET mail = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(mail, INVALID_SOCKET);
    SetSmtpSocket(config, (int)mail);
    FakeJob job = {config, 400};
    HANDLE thread = CreateThread(nullptr, 0, EndFakeJobLater, &job, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    secondStopIndex = index;
    secondStopRan = false;
    ASSERT_NE(SetTimer(nullptr, 0, 50, StopAgain), 0u);
    BoxRecorder boxes;

    StopBackupJob(index);

    EXPECT_TRUE(secondStopRan);
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts[0];
    EXPECT_EQ(GetSmtpSocket(config), -1);
    EXPECT_EQ(closesocket(mail), SOCKET_ERROR) << "the stop left the socket open";
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    WSACleanup();
}

TEST_F(JobControlTest, FirstStopSetsTheByteAndTellsTheWindow)
{
    int index = env.AddConfig("Job A", destination, {Narrow(source)}, Enabled | Uncompressed);
    BackupConfig *config = env.Config(index);
    SetSmtpSocket(config, -1);
    StopBackupJob(index);
    EXPECT_EQ(IsCancelRequested(config), 1);
    EXPECT_EQ(env.shell.trayUpdates, 1);
    EXPECT_EQ(env.shell.statusUpdates, 1);
}

TEST_F(JobControlTest, ThreadPriorities)
{
    EXPECT_EQ(GetJobThreadPriority(0), THREAD_PRIORITY_LOWEST);
    EXPECT_EQ(GetJobThreadPriority(1), THREAD_PRIORITY_BELOW_NORMAL);
    EXPECT_EQ(GetJobThreadPriority(2), THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(GetJobThreadPriority(3), THREAD_PRIORITY_ABOVE_NORMAL);
    EXPECT_EQ(GetJobThreadPriority(4), THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(GetJobThreadPriority(-1), THREAD_PRIORITY_NORMAL);
}

struct ResultBoxCase {
    int result;
    const char *text; // nullptr: no box
    UINT type;
};

TEST_F(JobControlTest, UserStartedJobShowsItsResult)
{
    const ResultBoxCase cases[] = {
        {1, "Job Completed Successfully", MB_OK},
        {2, "Job Failed.\nFor more details, see the log file.\nWould you like to view the log now?",
         MB_YESNO | MB_ICONQUESTION},
        {3, "Job Completed With Warnings.\nFor more details, see the log file.\nWould you like to view the log now?",
         MB_YESNO | MB_ICONQUESTION},
        {4, "Job Aborted", MB_OK},
        {6, "Job Disabled\n\nIf you would like to run this backup configuration, please edit this configuration, "
            "and enable it.",
         MB_ICONWARNING},
        {7, "Both Compressed and Uncompressed backups are turned off.\n\nTurn at least one backup type on under the "
            "'Advanced' tab in the configuration editor.",
         MB_ICONWARNING},
        {0, nullptr, 0},
        {8, nullptr, 0},
    };
    int index = env.AddConfig("Job A", destination, {Narrow(source)}, Enabled | Uncompressed);
    BackupConfig *config = env.Config(index);
    for (const ResultBoxCase &c : cases) {
        BoxRecorder boxes(IDNO);
        config->lastResult = c.result;
        config->manuallyStarted = 1;
        jobActive = 1;
        OnJobFinished(nullptr, config->uniqueId);
        EXPECT_EQ(jobActive, 0);
        if (c.text == nullptr) {
            EXPECT_TRUE(boxes.texts.empty()) << c.result;
        } else {
            ASSERT_EQ(boxes.texts.size(), 1u) << c.result;
            EXPECT_EQ(boxes.texts[0], c.text);
            EXPECT_EQ(boxes.types[0], c.type);
        }
        EXPECT_TRUE(PostedCommands().empty()) << c.result;
    }
}

TEST_F(JobControlTest, LogOpenFailureNamesTheLogPath)
{
    BoxRecorder boxes;
    int index = env.AddConfig("Job A", destination, {Narrow(source)}, Enabled | Uncompressed);
    BackupConfig *config = env.Config(index);
    config->lastResult = 5;
    config->manuallyStarted = 1;
    OnJobFinished(nullptr, config->uniqueId);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "Failed to open log file for writing.\nMake sure you have write permission to:\n\n" +
                                  env.data.path + std::to_string(config->uniqueId) + ".txt");
}

TEST_F(JobControlTest, YesOnAFailedJobOpensTheLog)
{
    BoxRecorder boxes(IDYES);
    int index = env.AddConfig("Job A", destination, {Narrow(source)}, Enabled | Uncompressed);
    BackupConfig *config = env.Config(index);
    config->lastResult = 2;
    config->manuallyStarted = 1;
    OnJobFinished(nullptr, config->uniqueId);
    EXPECT_EQ(PostedCommands(), std::vector<WPARAM>{IDM_VIEWLOG});
}

TEST_F(JobControlTest, ScheduledJobOpensTheLogOnlyForFailuresAndWarningsWithTheSetting)
{
    BoxRecorder boxes;
    int index = env.AddConfig("Job A", destination, {Narrow(source)}, Enabled | Uncompressed);
    BackupConfig *config = env.Config(index);
    config->manuallyStarted = 0;
    gSettings.autoShowLog = 1;
    config->lastResult = 3;
    OnJobFinished(nullptr, config->uniqueId);
    EXPECT_EQ(PostedCommands(), std::vector<WPARAM>{IDM_VIEWLOG});
    config->lastResult = 1;
    OnJobFinished(nullptr, config->uniqueId);
    EXPECT_TRUE(PostedCommands().empty());
    gSettings.autoShowLog = 0;
    config->lastResult = 2;
    OnJobFinished(nullptr, config->uniqueId);
    EXPECT_TRUE(PostedCommands().empty());
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(JobControlTest, ExitAfterTheLastQueuedJobOnly)
{
    BoxRecorder boxes;
    int index = env.AddConfig("Job A", destination, {Narrow(source)}, Enabled | Uncompressed);
    BackupConfig *config = env.Config(index);
    config->manuallyStarted = 1;
    config->lastResult = 1;
    exitWhenDone = 1;
    QueueRun(77);
    OnJobFinished(nullptr, config->uniqueId);
    EXPECT_TRUE(PostedCommands().empty());
    FreeRunQueue();
    OnJobFinished(nullptr, config->uniqueId);
    EXPECT_EQ(PostedCommands(), std::vector<WPARAM>{IDM_EXIT});
    EXPECT_EQ(boxes.texts.size(), 2u);
}

TEST_F(JobControlTest, FinishRebuildsTheRowAndStoresTheTable)
{
    int index = env.AddConfig("Job A", destination, {Narrow(source)}, Enabled | Uncompressed);
    BackupConfig *config = env.Config(index);
    config->manuallyStarted = 0;
    OnJobFinished(nullptr, config->uniqueId);
    EXPECT_EQ(env.shell.rebuilt, std::vector<int>{index});
    EXPECT_EQ(env.shell.trayUpdates, 1);
    EXPECT_TRUE(FileExists(Widen(storePath)));
}

TEST_F(JobControlTest, QueueRunKeepsEachIdOnce)
{
    FreeRunQueue();
    EXPECT_EQ(QueueRun(4), 1);
    EXPECT_EQ(QueueRun(9), 2);
    EXPECT_EQ(QueueRun(4), 1);
    EXPECT_EQ(runQueue.count, 2);
    EXPECT_EQ(IsRunQueued(9), 1);
    EXPECT_EQ(IsRunQueued(5), 0);
    FreeRunQueue();
}

} // namespace
