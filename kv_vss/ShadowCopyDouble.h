// Test double of the shadow-copy service. Wine has no such service, so the tests of the whole
// road (kv64dll, kv64wrap, this library) set VELLORAN_VSS_DOUBLE, and the library then
// exposes each source drive itself at its target letter with DefineDosDevice (under Wine,
// whose file system ignores such definitions, through Wine's mount manager; see WineDrive.h)
// instead of calling the service. A switch in the library, rather than a second DLL copied over the real
// one, keeps the binaries under test the ones we ship and lets tests run side by side from
// one binary folder.
//   "ok:<delay-ms>[:<release-delay-ms>]"   wait delay-ms, expose, report 0; on the release
//                     request wait release-delay-ms, then remove the letters
//   "fail:<status>[:<linger-ms>]"   report status at once, then return after linger-ms
#pragma once
#include <stdio.h>

#include "ShadowCopyRequest.h"

// The variable's value into setting (size > 0); false when it is not set.
bool ReadShadowCopyDoubleSetting(char *setting, unsigned size);

// Fulfils the request as the double the setting describes; returns the final status.
int32_t RunShadowCopyDouble(FILE *log, ShadowCopyRequest *request, const char *setting);
