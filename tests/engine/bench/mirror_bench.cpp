// Benchmark driver: mirrors one source folder into a destination as a whole job, the way the
// program runs it, and prints what it copied and how long it took.
// Usage: mirror_bench <source folder\> <destination folder\> <data folder\>
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "BackupConfig.h"
#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "JobThread.h"
#include "MsvcrtFormat.h"

static int AddBenchConfig(const char *source, const char *destination)
{
    if (!SetNewConfigDefaults())
        return -1;
    BackupConfig &c = editedConfig;
    lstrcpynA(c.description, "Bench", sizeof(c.description));
    lstrcpynA(c.destination, destination, sizeof(c.destination));
    c.flags = Enabled | Uncompressed | SaveRevisions | SaveDeleted;
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

int main(int argc, char **argv)
{
    if (argc != 4) {
        WriteText(stderr, "usage: mirror_bench <source\\> <destination\\> <data folder\\>\n");
        return 2;
    }
    ResetGlobalSettings();
    lstrcpynA(dataFolder, argv[3], sizeof(dataFolder));
    int index = AddBenchConfig(argv[1], argv[2]);
    if (index < 0)
        return 2;
    BackupConfig *config = ConfigAt(index);
    SetConfigRunning(config, 1);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    DWORD result = RunBackupJob(config);
    QueryPerformanceCounter(&end);
    double seconds = (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
    WriteText(stdout, "result=%d seconds=%.3f\n", (int)result, seconds);
    return result == 1 ? 0 : 1;
}
