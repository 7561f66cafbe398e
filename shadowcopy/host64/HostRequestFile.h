// Reads the request file "VSScom1.txt" that kv64dll wrote.
#pragma once
#include "ShadowCopyRequest.h"

struct HostRequest {
    char ownLog[260];      // line 1: "VSSLog2.txt"
    char reply[260];       // line 3: "VSScom2.txt"
    char release[260];     // line 4: "VSScom3.txt"
    char libraryLog[260];  // line 7: "VSSLog.txt", also converted into block.logPath
    ShadowCopyRequest block;
    int malformedLine;  // the first line longer than 259 characters, or 0
};

// Fills request from the file at path. Returns 0, or the exit code kHostNoRequestFile,
// 4 + the number of the first missing line, or kHostMalformedRequest when a line holds more
// than 259 characters (malformedLine says which). The paths are taken as written; which of
// them the host may use is decided elsewhere. Lines 9 to 11 must be present but are not used:
// the block always starts from releaseRequest 0, status -1 and active 1, as every call of
// MakeShadowCopy must, whatever an old or hand-made file holds.
int ReadHostRequestFile(const char *path, HostRequest *request);

// Removes trailing tabs, line feeds, carriage returns and spaces.
void TrimRequestLine(char *line);
