// The crash dump file and the message that tells the user about it.
#include "CrashHandlers.h"

#include <dbghelp.h>

#include "Clock.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "ProgramVersion.h"

namespace {

typedef BOOL(WINAPI *MiniDumpWriteDumpFunction)(HANDLE process, DWORD processId, HANDLE file, MINIDUMP_TYPE type,
                                                PMINIDUMP_EXCEPTION_INFORMATION exception,
                                                PMINIDUMP_USER_STREAM_INFORMATION userStreams,
                                                PMINIDUMP_CALLBACK_INFORMATION callback);

const size_t kCrashPathSize = 260;
const size_t kCrashTextSize = 512;

// Writes the dump into `path`; the message for the user in `text`.
void WriteDumpFile(HMODULE dbghelp, EXCEPTION_POINTERS *pointers, char *text)
{
    char tempFolder[kCrashPathSize];
    DWORD length = GetTempPathA(sizeof(tempFolder), tempFolder);
    if (length == 0 || length >= sizeof(tempFolder))
        tempFolder[0] = '\0';
    SYSTEMTIME now;
    GetLocalNow(&now);
    char folder[kCrashPathSize];
    FormatText(folder, sizeof(folder), "%s%s", tempFolder, kProductName);
    CreateDirectoryA(folder, nullptr);

    char path[kCrashPathSize];
    if (!FormatCrashDumpPath(tempFolder, &now, path, sizeof(path))) {
        FormatText(text, kCrashTextSize, "Program crashed.  Failed to create %s for creating dump.", path);
        return;
    }
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        FormatText(text, kCrashTextSize, "Program crashed.  Failed to create %s for creating dump.", path);
        return;
    }
    MiniDumpWriteDumpFunction writeDump = (MiniDumpWriteDumpFunction)(void *)GetProcAddress(dbghelp, "MiniDumpWriteDump");
    if (writeDump == nullptr) {
        CloseHandle(file);
        FormatText(text, kCrashTextSize, "Program crashed.  Could not find MiniDumpWriteDump function.");
        return;
    }
    MINIDUMP_EXCEPTION_INFORMATION exception;
    ZeroMemory(&exception, sizeof(exception));
    exception.ThreadId = GetCurrentThreadId();
    exception.ExceptionPointers = pointers;
    exception.ClientPointers = FALSE;
    // No callback routine: Wine's dbghelp calls the routine of any block it is given, so none
    // is passed rather than an empty one.
    BOOL written = writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                             pointers != nullptr ? &exception : nullptr, nullptr, nullptr);
    CloseHandle(file);
    if (written)
        FormatText(text, kCrashTextSize, "Program crashed.  Send\n\n%s\n\nto Dorvane Software.", path);
    else
        FormatText(text, kCrashTextSize, "Program crashed.  Error writing dump file");
}

}  // namespace

int FormatCrashDumpPath(const char *tempFolder, const SYSTEMTIME *now, char *path, size_t size)
{
    int major = 0, minor = 0, third = 0;
    GetProgramVersion(&major, &minor, &third);
    char version[40];
    FormatText(version, sizeof(version), "%d.%d.%d", major, minor, third);
    if (size > kCrashPathSize)
        size = kCrashPathSize;
    return FormatText(path, size, "%s%s\\%s%s-%04d%02d%02d-%02d%02d%02d.dmp", tempFolder, kProductName,
                      kProductName, version, now->wYear, now->wMonth, now->wDay, now->wHour, now->wMinute,
                      now->wSecond) >= 0;
}

void WriteCrashDump(EXCEPTION_POINTERS *pointers)
{
    char text[kCrashTextSize];
    HMODULE dbghelp = LoadLibraryA("dbghelp.dll");
    if (dbghelp == nullptr) {
        FormatText(text, sizeof(text), "Program crashed.  Error - couldn't load dbghelp.dll.");
    } else {
        WriteDumpFile(dbghelp, pointers, text);
        FreeLibrary(dbghelp);
    }
    ShowMessageBox(nullptr, text, kProductName, MB_OK);
}
