// The request file "VSScom1.txt" that kv64dll writes for kv64wrap: 11 lines of ANSI text.
#pragma once
#include "ShadowCopyRequest.h"

struct FileCheck;

struct BridgePaths {
    char hostLog[260];   // "VSSLog2.txt"
    char request[260];   // "VSScom1.txt"
    char reply[260];     // "VSScom2.txt"
    char release[260];   // "VSScom3.txt"
};

// Writes the request file at paths.request, made anew (CheckedFile.h); false when it cannot be
// created or written, with check saying whether it was refused.
bool WriteBridgeRequestFile(const BridgePaths &paths, const ShadowCopyRequest &request, FileCheck *check);
