#include "ExternalProgram.h"

#include <windows.h>
#include <string.h>

#include "ConfigRuntime.h"
#include "ErrorReport.h"
#include "MsvcrtFormat.h"

void RunExternalProgram(const char *commandLine, const volatile uint8_t *cancel, FILE *log)
{
    if (IsCancelSet(cancel))
        return;
    WriteText(log, "Starting External Process: %s\n", commandLine);
    char command[1024];
    FormatText(command, sizeof(command), "%s", commandLine);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        LogLastError("Create Process", log);
        WriteText(log, "WARNING: Unable to run process: %s\n", commandLine);
        return;
    }
    while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT) {
        if (IsCancelSet(cancel)) {
            WriteText(log, "\tProcess was still running when backup job was aborted\n");
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
            return;
        }
    }
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.hProcess, &exitCode))
        exitCode = 0;
    WriteText(log, "\tProcess completed with return code: %d\n", (int)exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}
