// The work of one MakeShadowCopy call, behind the entry point in kv_vss.cpp: make the shadow
// copies of the request's source volumes, expose each under its target letter, report through
// the block's status, hold them until the caller's release request and remove them. The
// library does it with the Volume Shadow Copy Service (VssShadowCopies.cpp); the tests' double
// of the library links its own version in that one's place.
#pragma once
#include <stdio.h>

#include "ShadowCopyRequest.h"

// Fulfils the request; returns the final status (LibraryStatus).
int32_t FulfilShadowCopyRequest(FILE *log, ShadowCopyRequest *request);
