// The process-wide fault handlers. g++ code reaches them through the unhandled-exception
// filter (access violations, division by zero), std::terminate (uncaught exceptions and pure
// virtual calls, which g++ sends to __cxa_pure_virtual), the new handler and the runtime's
// signals; the runtime's own purecall and invalid-parameter hooks are set too where msvcrt.dll
// has them, for code built by other compilers.
#include "CrashHandlers.h"

#include <signal.h>
#include <stdint.h>

#include <exception>
#include <new>

// g++ fills the pure slots of a vtable with __cxa_pure_virtual, which ends in std::terminate.
// The slots refer to it only weakly, so in a static link it would stay out and a pure call
// would jump to address 0; this reference brings the runtime's one in.
extern "C" void __cxa_pure_virtual();
__attribute__((used)) static void (*const keepPureVirtual)() = __cxa_pure_virtual;

namespace {

// The thread that is writing a dump; a fault inside the handler itself ends the process at once.
volatile LONG crashingThread = 0;

[[noreturn]] void EndProcess()
{
    TerminateProcess(GetCurrentProcess(), 1);
    ExitProcess(1);
}

[[noreturn]] void DumpAndEnd(EXCEPTION_POINTERS *pointers)
{
    LONG self = (LONG)GetCurrentThreadId();
    LONG previous = InterlockedCompareExchange(&crashingThread, self, 0);
    if (previous == self)
        EndProcess();
    WriteCrashDump(pointers);
    EndProcess();
}

void __cdecl OnSignal(int)
{
    CrashHandler();
}

void __cdecl OnPureCall()
{
    CrashHandler();
}

void __cdecl OnInvalidParameter(const wchar_t *, const wchar_t *, const wchar_t *, unsigned int, uintptr_t)
{
    CrashHandler();
}

// Used when the heap cannot give the captured record, as after a failed allocation.
EXCEPTION_RECORD spareRecord;
CONTEXT spareContext;
EXCEPTION_POINTERS sparePointers;

template <typename T>
T *AllocateOr(T *spare)
{
    void *block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(T));
    return block != nullptr ? (T *)block : spare;
}

typedef void(__cdecl *PureCallHandler)();
typedef void(__cdecl *InvalidParameterHandler)(const wchar_t *, const wchar_t *, const wchar_t *, unsigned int,
                                               uintptr_t);
typedef PureCallHandler(__cdecl *SetPureCallHandlerFunction)(PureCallHandler);
typedef InvalidParameterHandler(__cdecl *SetInvalidParameterHandlerFunction)(InvalidParameterHandler);
typedef unsigned int(__cdecl *SetAbortBehaviorFunction)(unsigned int flags, unsigned int mask);

// msvcrt.dll of older systems lacks these, so they are looked up rather than linked.
FARPROC RuntimeFunction(const char *name)
{
    HMODULE runtime = GetModuleHandleA("msvcrt.dll");
    return runtime != nullptr ? GetProcAddress(runtime, name) : nullptr;
}

const unsigned int kCallReportFault = 2;

}  // namespace

// Needs its own frame, so the caller's frame pointer and stack pointer can be read from it.
__attribute__((noinline, optimize("no-omit-frame-pointer"))) void CaptureExceptionPointers(EXCEPTION_POINTERS **pointers)
{
    void *returnAddress = __builtin_return_address(0);
    void **frame = (void **)__builtin_frame_address(0);
    EXCEPTION_RECORD *record = AllocateOr(&spareRecord);
    CONTEXT *context = AllocateOr(&spareContext);
    EXCEPTION_POINTERS *pair = AllocateOr(&sparePointers);
    ZeroMemory(record, sizeof(*record));
    ZeroMemory(context, sizeof(*context));
    context->ContextFlags = CONTEXT_CONTROL;
#if defined(__i386__)
    context->Eip = (DWORD)(uintptr_t)returnAddress;
    context->Ebp = (DWORD)(uintptr_t)frame[0];
    context->Esp = (DWORD)(uintptr_t)(frame + 2);
    WORD segment;
    __asm__("movw %%cs, %0" : "=r"(segment));
    context->SegCs = segment;
    __asm__("movw %%ss, %0" : "=r"(segment));
    context->SegSs = segment;
    __asm__ volatile("pushfl; popl %0" : "=r"(context->EFlags));
#elif defined(__x86_64__)
    context->Rip = (DWORD64)(uintptr_t)returnAddress;
    context->Rbp = (DWORD64)(uintptr_t)frame[0];
    context->Rsp = (DWORD64)(uintptr_t)(frame + 2);
#endif
    record->ExceptionCode = 0;
    record->ExceptionFlags = 0;
    record->ExceptionAddress = returnAddress;
    pair->ExceptionRecord = record;
    pair->ContextRecord = context;
    *pointers = pair;
}

LONG WINAPI CrashExceptionFilter(EXCEPTION_POINTERS *pointers)
{
    DumpAndEnd(pointers);
}

void CrashHandler()
{
    EXCEPTION_POINTERS *pointers = nullptr;
    CaptureExceptionPointers(&pointers);
    DumpAndEnd(pointers);
}

void CrashNewHandler()
{
    EXCEPTION_POINTERS *pointers = nullptr;
    CaptureExceptionPointers(&pointers);
    DumpAndEnd(pointers);
}

// The runtime's pointers describe the fault that raised the signal; a signal sent by raise()
// has none, and then the handler's own registers stand in.
void __cdecl CrashSignalHandler(int)
{
    EXCEPTION_POINTERS *pointers = (EXCEPTION_POINTERS *)_pxcptinfoptrs;
    if (pointers == nullptr)
        CaptureExceptionPointers(&pointers);
    DumpAndEnd(pointers);
}

void InstallFaultHandlers()
{
    SetUnhandledExceptionFilter(CrashExceptionFilter);
    if (auto setPureCall = (SetPureCallHandlerFunction)(void *)RuntimeFunction("_set_purecall_handler"))
        setPureCall(OnPureCall);
    std::set_new_handler(CrashNewHandler);
    if (auto setInvalidParameter =
            (SetInvalidParameterHandlerFunction)(void *)RuntimeFunction("_set_invalid_parameter_handler"))
        setInvalidParameter(OnInvalidParameter);
    if (auto setAbortBehavior = (SetAbortBehaviorFunction)(void *)RuntimeFunction("_set_abort_behavior"))
        setAbortBehavior(kCallReportFault, kCallReportFault);
    signal(SIGABRT, OnSignal);
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    // C++17 has no unexpected handler: a throw that breaks a noexcept promise goes to terminate.
    std::set_terminate(CrashHandler);
    signal(SIGFPE, CrashSignalHandler);
    signal(SIGILL, OnSignal);
    signal(SIGSEGV, CrashSignalHandler);
}
