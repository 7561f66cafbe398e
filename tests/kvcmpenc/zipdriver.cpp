// A small console program for the end-to-end tests: runs one RunDLLCommand call from the
// command line so Linux-side readers can check the archive it makes.
//   zipdriver.exe <kvcmpenc.dll> <folder> <log path> <command line> [cancel]
// The folder becomes the current folder first, as the ZIP step does with the source root;
// "cancel" sets the cancel byte before the call. Exits with the library's result code.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "CompressionRequest.h"

int main(int argc, char **argv)
{
    if (argc < 5)
        return 100;
    HMODULE module = LoadLibraryA(argv[1]);
    if (!module)
        return 101;
    RunDLLCommandProc run = reinterpret_cast<RunDLLCommandProc>(
        reinterpret_cast<void *>(GetProcAddress(module, "RunDLLCommand")));
    if (!run || !SetCurrentDirectoryA(argv[2]))
        return 102;

    char commandLine[1024] = "";
    char logPath[260] = "";
    char message[256] = "";
    lstrcpynA(logPath, argv[3], sizeof logPath);
    lstrcpynA(commandLine, argv[4], sizeof commandLine);
    volatile char cancel = argc > 5 && strcmp(argv[5], "cancel") == 0 ? 1 : 0;
    volatile int32_t progress = -1;
    CompressionRequest request = {};
    request.commandLine = commandLine;
    request.cancelFlag = &cancel;
    request.logPath = logPath;
    request.verbose = 1;
    request.messageBuffer = message;
    request.progress = &progress;
    int32_t code = run(&request);
    printf("result=%d progress=%d\n", (int)code, (int)progress);
    FreeLibrary(module);
    return (int)code;
}
