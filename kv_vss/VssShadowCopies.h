// Shadow copies through the Volume Shadow Copy Service: one snapshot set holding every source
// volume, each snapshot's device mapped to its target letter with DefineDosDevice. The set is
// non-persistent and auto-released, so the service deletes the snapshots itself when this
// process ends, even when it is ended from outside.
#pragma once
#include <stdio.h>

#include "ShadowCopyRequest.h"

// Fulfils the request with the service; returns the final status (LibraryStatus).
int32_t RunVssShadowCopies(FILE *log, ShadowCopyRequest *request);
