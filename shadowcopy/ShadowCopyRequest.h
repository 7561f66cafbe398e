// The request block handed to MakeShadowCopy. Its layout is identical in 32-bit and 64-bit
// processes, since the bridge copies it between the two through text files and the libraries
// of both widths read it in place.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#pragma pack(push, 1)
struct ShadowCopyRequest {
    wchar_t targetLetters[65];   // letter under which each shadow copy is exposed
    wchar_t sourceLetters[65];   // upper-case letters of the volumes to shadow
    wchar_t logPath[260];        // the library's log file
    int32_t verbose;             // 1: the library logs more
    volatile int32_t releaseRequest;  // caller sets 1 when done with the copies
    volatile int32_t status;          // -1 pending, 0 ready, other: failed
    volatile int32_t active;          // caller sets 1; callee clears when all is released
};
#pragma pack(pop)

static_assert(sizeof(wchar_t) == 2, "the block holds UTF-16 text");
static_assert(offsetof(ShadowCopyRequest, targetLetters) == 0, "layout");
static_assert(offsetof(ShadowCopyRequest, sourceLetters) == 130, "layout");
static_assert(offsetof(ShadowCopyRequest, logPath) == 260, "layout");
static_assert(offsetof(ShadowCopyRequest, verbose) == 780, "layout");
static_assert(offsetof(ShadowCopyRequest, releaseRequest) == 784, "layout");
static_assert(offsetof(ShadowCopyRequest, status) == 788, "layout");
static_assert(offsetof(ShadowCopyRequest, active) == 792, "layout");
static_assert(sizeof(ShadowCopyRequest) == 796, "layout");

// Exported by name from kv_vss, kv64dll and kv_vss64.
typedef int32_t(__stdcall *MakeShadowCopyProc)(ShadowCopyRequest *request);
