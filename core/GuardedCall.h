// A call into code of others (a mail client, a system service) that may raise a structured
// exception instead of returning an error. GCC has no __try: this is the program's one handler
// around such a call.
#pragma once
#include <windows.h>

// Which exception codes the caller takes as the call's failure; any other ends the program as
// a crash does.
typedef bool (*CaughtExceptionFilter)(DWORD code);

// Runs call(context). True when it returned; false when it raised an exception the filter
// takes, whose code then goes to *raisedCode. What the call had not finished is abandoned: the
// frames inside it are left without running their destructors, so whatever the call hands in
// must live outside it.
bool RunGuardedCall(void (*call)(void *context), void *context, CaughtExceptionFilter catches, DWORD *raisedCode);

// The same for a lambda; it must hold no object with a destructor of its own.
template <class Call> bool RunGuardedCall(Call &call, CaughtExceptionFilter catches, DWORD *raisedCode)
{
    return RunGuardedCall([](void *context) { (*static_cast<Call *>(context))(); }, &call, catches, raisedCode);
}
