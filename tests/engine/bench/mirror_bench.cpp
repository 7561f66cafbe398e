// Benchmark driver: mirrors one source folder into a destination as a whole job, the way the
// program runs it, and prints the job's result, its time and the statistics lines of its log,
// so that the script can check that the job did what it should before it prints a figure.
// The program runs its jobs in a process whose window thread is up; so does this driver before
// it starts the clock, or the job's apartment would pay for bringing up the desktop.
// Usage: mirror_bench <source folder\> <destination folder\> <data folder\> [norevisions]
// (revisions and deleted files are kept, as a new configuration keeps them, unless norevisions
// says otherwise)
#include <windows.h>
#include <objbase.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "BackupConfig.h"
#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "JobThread.h"
#include "MsvcrtFormat.h"

static int AddBenchConfig(const char *source, const char *destination, bool revisions)
{
    if (!SetNewConfigDefaults())
        return -1;
    BackupConfig &c = editedConfig;
    lstrcpynA(c.description, "Bench", sizeof(c.description));
    lstrcpynA(c.destination, destination, sizeof(c.destination));
    c.flags = Enabled | Uncompressed | SaveDeleted;
    if (revisions)
        c.flags |= SaveRevisions;
    c.filterFlags = 0;
    free(c.sources);
    c.sources = static_cast<SourceItem *>(calloc(1, sizeof(SourceItem)));
    if (c.sources == nullptr)
        return -1;
    c.sourceCount = 1;
    lstrcpynA(c.sources[0].path, source, sizeof(c.sources[0].path));
    configTable.lastUniqueId = c.uniqueId;
    if (!AppendConfig(&c))
        return -1;
    FreeConfigArrays(&editedConfig);
    return configTable.configCount - 1;
}

// The newest run's statistics lines (the log holds the newest run first), and any ERROR or
// WARNING line of it.
static void PrintLogSummary(const char *logPath)
{
    FILE *log = fopen(logPath, "rt");
    if (log == nullptr) {
        WriteText(stdout, "log=missing\n");
        return;
    }
    char line[2048];
    while (fgets(line, sizeof(line), log) != nullptr) {
        if (strstr(line, "Backup Job Finished") != nullptr)
            break;
        const char *text = line + strspn(line, "\t ");
        if (strncmp(text, "Total :", 7) == 0 || strncmp(text, "Not Changed :", 13) == 0 ||
            strncmp(text, "Changed ", 8) == 0 || strncmp(text, "Copied Successfully :", 21) == 0 ||
            strncmp(text, "Copy Failed ", 12) == 0 || strncmp(text, "Revised :", 9) == 0 ||
            strncmp(text, "Deleted From Backup:", 20) == 0 || strncmp(text, "ERROR", 5) == 0 ||
            strncmp(text, "WARNING", 7) == 0 || strncmp(text, "Job Result:", 11) == 0)
            WriteText(stdout, "log: %s", text);
    }
    fclose(log);
}

int main(int argc, char **argv)
{
    bool revisions = argc == 4;
    if (argc != 4 && !(argc == 5 && strcmp(argv[4], "norevisions") == 0)) {
        WriteText(stderr, "usage: mirror_bench <source\\> <destination\\> <data folder\\> [norevisions]\n");
        return 2;
    }
    ResetGlobalSettings();
    // Wine has no shadow-copy service, and the bench copies files nobody holds open.
    gSettings.backupLocked = 0;
    lstrcpynA(dataFolder, argv[3], sizeof(dataFolder));
    int index = AddBenchConfig(argv[1], argv[2], revisions);
    if (index < 0)
        return 2;
    BackupConfig *config = ConfigAt(index);
    SetConfigRunning(config, 1);
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HWND window = CreateWindowExW(0, L"STATIC", L"mirror_bench", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    // On a thread of its own, as the program runs a job.
    DWORD result = 0;
    HANDLE job = CreateThread(nullptr, 0, RunBackupJob, config, 0, nullptr);
    if (job == nullptr || WaitForSingleObject(job, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeThread(job, &result))
        result = 0;
    if (job != nullptr)
        CloseHandle(job);
    QueryPerformanceCounter(&end);
    double seconds = (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    double kernelSeconds = (((ULONGLONG)kernel.dwHighDateTime << 32) | kernel.dwLowDateTime) / 1e7;
    double userSeconds = (((ULONGLONG)user.dwHighDateTime << 32) | user.dwLowDateTime) / 1e7;
    WriteText(stdout, "result=%d seconds=%.3f user=%.3f kernel=%.3f\n", (int)result, seconds, userSeconds,
              kernelSeconds);
    char logPath[MAX_PATH];
    FormatText(logPath, sizeof(logPath), "%s%d.txt", dataFolder, config->uniqueId);
    PrintLogSummary(logPath);
    if (window != nullptr)
        DestroyWindow(window);
    if (SUCCEEDED(com))
        CoUninitialize();
    return result == 1 ? 0 : 1;
}
