// Shared helpers of the job tests: private folders, files with chosen contents and times, a
// configuration in the table, a shell that records what the engine tells the window, and a
// job run on the test's own thread.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "BackupConfig.h"
#include "JobShell.h"
#include "MessageBoxSeam.h"
#include "ScratchFolder.h"

std::wstring Widen(const std::string &text);
// The folder of the programs and libraries under test, without a trailing backslash.
std::string BinFolder();
std::string Narrow(const std::wstring &text);

bool WriteTextFile(const std::wstring &path, const std::string &content);
std::string ReadTextFile(const std::wstring &path);
bool FileExists(const std::wstring &path);
bool MakeFolder(const std::wstring &path);
// Sets the last-write time of a file to a 64-bit count of 100 ns units.
bool SetWriteTicks(const std::wstring &path, long long ticks);
long long GetWriteTicks(const std::wstring &path);
std::vector<std::string> SplitLines(const std::string &text);
bool HasLine(const std::vector<std::string> &lines, const std::string &line);
int CountLinesStartingWith(const std::vector<std::string> &lines, const std::string &start);

// Records every message box and answers each with `answer`.
class BoxRecorder {
public:
    explicit BoxRecorder(int answer = IDOK);
    ~BoxRecorder();
    std::vector<std::string> texts;
    std::vector<UINT> types;
    int answer;
};

class RecordingShell : public JobShell {
public:
    RecordingShell();
    ~RecordingShell() override;
    void UpdateCommandStates() override { ++commandUpdates; }
    void RefreshJobCell(int index, JobCell cell) override { cells.push_back({index, cell}); }
    void RebuildJobList(int index) override { rebuilt.push_back(index); }
    void UpdateTrayIcon() override { ++trayUpdates; }
    void UpdateStatusBar() override { ++statusUpdates; }
    void NotifyJobFinished(int uniqueId) override;
    // Waits until a job has said it finished; false on time-out.
    bool WaitFinished(DWORD milliseconds);
    int commandUpdates = 0, trayUpdates = 0, statusUpdates = 0;
    std::vector<std::pair<int, JobCell>> cells;
    std::vector<int> rebuilt;
    volatile LONG finishedId = 0;
    volatile LONG finishedCount = 0;
    HANDLE finished;
};

// The engine's globals for one test: data folder, store path, default settings and an
// empty table; everything put back at the end.
class JobTestEnvironment {
public:
    JobTestEnvironment();
    ~JobTestEnvironment();
    ScratchFolder data;
    ScratchFolder work;
    // Points the engine at another data folder (with its trailing backslash), such as the one
    // that programs started by the job find on their own.
    void UseDataFolder(const std::string &folder);
    std::string dataPath;  // the engine's data folder: data.path unless changed
    // A configuration with new defaults and these changes, appended to the table; its index.
    int AddConfig(const std::string &description, const std::string &destination,
                  const std::vector<std::string> &sources, uint32_t flags);
    BackupConfig *Config(int index);
    void AddExcluded(int index, const std::string &item);
    void SetExtensions(int index, const std::vector<std::string> &extensions, int32_t filterFlags);
    // Runs the job on this thread as the job thread would; returns its result.
    int RunJob(int index);
    std::string LogText(int index);
    std::vector<std::string> LogLines(int index);
    RecordingShell shell;
};

// Sets the cancel byte once the job's status says it is compressing and the compression
// library has moved the progress; false when that did not happen within waitMs.
bool CancelOnceCompressing(BackupConfig *config, DWORD waitMs);
