// How long the shadow-copy companions wait for the other side before they give up with an
// ERROR line. The limits are generous: making shadow copies of large volumes takes minutes.
// VELLORAN_SHADOW_WAIT_MS overrides them, so that tests of a stuck library finish quickly.
#pragma once
#include <windows.h>

const DWORD kShadowCreateWaitMs = 30 * 60 * 1000;   // for the library to report a status
const DWORD kShadowReleaseWaitMs = 10 * 60 * 1000;  // for the release and the thread's end

// The limit to use in place of defaultMs.
DWORD ShadowWaitLimit(DWORD defaultMs);
