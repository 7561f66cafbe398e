// How kv64wrap.exe ends; kv64dll writes the code to its log.
#pragma once

enum HostExitCode {
    kHostReleased = 0,             // made, reported, released after the release notice
    kHostLibraryFailed = 1,        // library, export, own path, thread or a failure status
    kHostNoAppData = 2,            // the application-data folder is not found
    kHostNoDataFolder = 3,         // the data folder is missing and cannot be created
    kHostNoRequestFile = 4,        // "VSScom1.txt" cannot be opened
    kHostRequestLineMissing = 4,   // plus the line number 1 to 11: codes 5 to 15
    kHostNoOwnLog = 16,            // the own log cannot be created
    kHostNoReplyFile = 17,         // the reply cannot be created; the copies were released
    kHostMalformedRequest = 18,    // a line longer than 259 characters, a file named outside
                                   // the data folder, a data folder that links elsewhere, or a
                                   // file to write that is not what it seems (CheckedFile.h)
};
