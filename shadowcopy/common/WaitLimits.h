// How long the shadow-copy companions wait for the other side before they give up with an
// ERROR line. The limits are generous: making shadow copies of large volumes takes minutes.
#pragma once
#include <windows.h>

const DWORD kShadowCreateWaitMs = 30 * 60 * 1000;   // for the library to report a status
const DWORD kShadowReleaseWaitMs = 10 * 60 * 1000;  // for the release and the thread's end

// The limit to use in place of defaultMs.
DWORD ShadowWaitLimit(DWORD defaultMs);

// Test seam: every limit becomes ms, so that tests of a library that never answers finish
// quickly; 0 restores the limits above. The engine's tests call it, and so does the tests'
// own build of the 64-bit host at its start.
void SetShadowWaitLimitForTesting(DWORD ms);
