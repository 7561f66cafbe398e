// Status values this shadow-copy library puts into ShadowCopyRequest.status. 4 is left out:
// kv64dll uses it for a host that never reported.
#pragma once

enum LibraryStatus {
    kStatusReady = 0,
    kStatusServiceMissing = 1,   // no shadow-copy service on this system
    kStatusInvalidRequest = 2,   // letters missing, unequal in number or not A to Z
    kStatusServiceFailed = 3,    // the shadow-copy service refused a step
    kStatusExposeFailed = 5,     // a target letter is in use or cannot be defined
    kStatusTimedOut = 6,         // the service did not finish a step within the limit
    kStatusLogRefused = 8,       // the log's name leads out of its folder: nothing is done
};
