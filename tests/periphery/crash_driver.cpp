// Crashes in the way its first argument names, with the program's fault handlers installed,
// for the crash tests. The message box is answered at once and its text appended to the file
// named by the second argument. A third argument "YYYYMMDDhhmmss" fixes the local time.
#include <windows.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "Clock.h"
#include "CrashHandlers.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"

namespace {

const char *boxFile = nullptr;

int RecordBox(HWND, const char *text, const char *caption, UINT type)
{
    FILE *file = fopen(boxFile, "ab");
    if (file != nullptr) {
        WriteText(file, "%s|%u|%s", caption, type, text);
        fputc('\0', file);
        fclose(file);
    }
    return IDOK;
}

void FixClock(const char *digits)
{
    int year, month, day, hour, minute, second;
    if (sscanf(digits, "%4d%2d%2d%2d%2d%2d", &year, &month, &day, &hour, &minute, &second) != 6)
        return;
    SYSTEMTIME time = {};
    time.wYear = (WORD)year;
    time.wMonth = (WORD)month;
    time.wDay = (WORD)day;
    time.wHour = (WORD)hour;
    time.wMinute = (WORD)minute;
    time.wSecond = (WORD)second;
    SetClockForTesting(&time);
}

struct Base;
void CallRun(Base *object);

// The constructor reaches the pure function through a call the compiler cannot see into.
struct Base {
    Base() { CallRun(this); }
    virtual void Run() = 0;
    virtual ~Base() = default;
};

struct Derived : Base {
    void Run() override {}
};

__attribute__((noipa)) void CallRun(Base *object)
{
    __asm__ volatile("" : "+r"(object));
    object->Run();
}

volatile int zero = 0;
volatile int quotient = 0;
int *volatile nowhere = nullptr;

void WriteThroughNull()
{
    *nowhere = 1;
}

void Crash(const char *mode)
{
    if (strcmp(mode, "access") == 0) {
        WriteThroughNull();
    } else if (strcmp(mode, "thread-access") == 0) {
        std::thread worker(WriteThroughNull);
        worker.join();
    } else if (strcmp(mode, "divide") == 0) {
        quotient = 10 / zero;
    } else if (strcmp(mode, "abort") == 0) {
        abort();
    } else if (strcmp(mode, "sigint") == 0) {
        raise(SIGINT);
    } else if (strcmp(mode, "sigterm") == 0) {
        raise(SIGTERM);
    } else if (strcmp(mode, "sigfpe") == 0) {
        raise(SIGFPE);
    } else if (strcmp(mode, "sigill") == 0) {
        raise(SIGILL);
    } else if (strcmp(mode, "sigsegv") == 0) {
        raise(SIGSEGV);
    } else if (strcmp(mode, "throw") == 0) {
        throw std::runtime_error("not caught");
    } else if (strcmp(mode, "purecall") == 0) {
        Derived derived;
    } else if (strcmp(mode, "new") == 0) {
        // A 64-bit address space would take the machine's memory first: ask for more than it has.
        volatile size_t size = sizeof(void *) == 8 ? (size_t)1 << 62 : 256u * 1024u * 1024u;
        std::vector<char *> blocks;
        for (;;)
            blocks.push_back(new char[size]);
    } else if (strcmp(mode, "invalid-parameter") == 0) {
        // Exit code 3: this msvcrt.dll has no invalid-parameter hook to install.
        HMODULE runtime = GetModuleHandleA("msvcrt.dll");
        if (GetProcAddress(runtime, "_set_invalid_parameter_handler") == nullptr)
            exit(3);
        typedef int(__cdecl * CopyFunction)(char *, size_t, const char *);
        auto copy = (CopyFunction)(void *)GetProcAddress(runtime, "strcpy_s");
        if (copy == nullptr)
            exit(3);
        copy(nullptr, 0, "text");
    }
}

}  // namespace

int main(int argc, char **argv)
{
    InstallFaultHandlers();
    if (argc < 3)
        return 2;
    boxFile = argv[2];
    SetMessageBoxHandler(RecordBox);
    if (argc > 3)
        FixClock(argv[3]);
    Crash(argv[1]);
    // Reached only when the mode did not crash.
    return 4;
}
