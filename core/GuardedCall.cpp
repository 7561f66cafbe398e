#include "GuardedCall.h"

#include <setjmp.h>

namespace {

#if defined(__i386__)
// An exception record of our own on the thread's chain, outermost around the call: the handlers
// inside the call see their exceptions first, as with __try. The runtime's longjmp unwinds the
// call's frames on the way back.
struct GuardFrame {
    void *previous;
    void *handler;
    CaughtExceptionFilter catches;
    DWORD code;
    jmp_buf resume;
};

EXCEPTION_DISPOSITION __cdecl OnGuardedException(EXCEPTION_RECORD *record, void *frame, CONTEXT *, void *)
{
    GuardFrame *guard = static_cast<GuardFrame *>(frame);
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
        !guard->catches(record->ExceptionCode))
        return ExceptionContinueSearch;
    guard->code = record->ExceptionCode;
    longjmp(guard->resume, 1);
}
#else
// x86_64 keeps no chain on the thread: a vectored handler takes the guarded thread's exceptions.
// It sees them before the handlers inside the call, so it leaves alone what code raises in
// passing: debug output, thread names and C++ exceptions. GCC's own jump restores our frame
// without an unwind through the dispatcher's frames.
struct GuardState {
    void **resume;
    CaughtExceptionFilter catches;
    DWORD code;
};
thread_local GuardState *t_guard = nullptr;

LONG CALLBACK OnGuardedException(EXCEPTION_POINTERS *info)
{
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    const bool inPassing = code == 0x40010006 || code == 0x4001000A || code == 0x406D1388 || code == 0xE06D7363;
    GuardState *guard = t_guard;
    if (guard == nullptr || inPassing || !guard->catches(code))
        return EXCEPTION_CONTINUE_SEARCH;
    guard->code = code;
    __builtin_longjmp(guard->resume, 1);
}
#endif

}  // namespace

bool RunGuardedCall(void (*call)(void *context), void *context, CaughtExceptionFilter catches, DWORD *raisedCode)
{
#if defined(__i386__)
    volatile GuardFrame frame;
    frame.handler = reinterpret_cast<void *>(OnGuardedException);
    frame.catches = catches;
    frame.code = 0;
    void *previous;
    __asm__ __volatile__("movl %%fs:0, %0" : "=r"(previous));
    frame.previous = previous;
    __asm__ __volatile__("movl %0, %%fs:0" : : "r"(&frame) : "memory");
    volatile bool returned = true;
    if (setjmp(const_cast<GuardFrame &>(frame).resume) == 0)
        call(context);
    else
        returned = false;
    __asm__ __volatile__("movl %0, %%fs:0" : : "r"(previous) : "memory");
    *raisedCode = returned ? 0 : frame.code;
    return returned;
#else
    // Installed once, for every thread: it acts only on a thread inside a guarded call.
    static const PVOID handler = AddVectoredExceptionHandler(1, OnGuardedException);
    (void)handler;
    void *resume[5];
    volatile GuardState guard = {resume, catches, 0};
    GuardState *outer = t_guard;
    volatile bool returned = true;
    if (__builtin_setjmp(resume) == 0) {
        t_guard = const_cast<GuardState *>(&guard);
        call(context);
    } else {
        returned = false;
    }
    t_guard = outer;
    *raisedCode = returned ? 0 : guard.code;
    return returned;
#endif
}
