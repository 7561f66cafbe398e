// Benchmark driver: lists one source folder for the ZIP step, the way the step lists a folder
// source, into a list file, and prints the files listed, the time the listing took and the
// process's peak private memory, so the ZIP benchmark can check the list before it prints a figure.
// Usage: zip_list_bench <source folder\> <list file>
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "BackupConfig.h"
#include "MsvcrtFormat.h"
#include "TextConversion.h"
#include "ZipStep.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        fputs("usage: zip_list_bench <source folder\\> <list file>\n", stderr);
        return 100;
    }
    BackupConfig *config = static_cast<BackupConfig *>(calloc(1, sizeof(BackupConfig)));
    ZipOutput *output = static_cast<ZipOutput *>(calloc(1, sizeof(ZipOutput)));
    wchar_t *source = AnsiToWideAlloc(argv[1]);
    if (config == nullptr || output == nullptr || source == nullptr || !GetZipSourceRoot(stderr, output->root, argv[1]))
        return 101;
    JobContext context = {};
    context.config = config;
    context.includeAllFiles = 1;
    context.zipOutputs = output;
    context.zipOutputCount = 1;
    output->listFile = fopen(argv[2], "wt");
    if (output->listFile == nullptr)
        return 102;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int listed = log_folder_to_list(stderr, source, &context, 0);
    fclose(output->listFile);
    output->listFile = nullptr;
    QueryPerformanceCounter(&end);
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters),
                         sizeof counters);
    WriteText(stdout, "listed=%d files=%d seconds=%.3f peak_bytes=%I64u\n", listed, (int)output->fileCount,
              (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart,
              (unsigned long long)counters.PeakPagefileUsage);
    FreeZipOutputs(&context);
    free(source);
    free(config);
    return listed ? 0 : 1;
}
