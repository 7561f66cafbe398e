// Writing one archive from the files of the list, through libzip.
#pragma once
#include <windows.h>
#include <stdint.h>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "CompressionLog.h"
#include "CompressionRequest.h"
#include "InputSource.h"

// One listed file, as the list's reading described it.
struct ArchiveEntry {
    std::string listedName;   // the list line, for the log
    std::string entryName;    // UTF-8 name inside the archive
    InputFile file;
    DWORD attributes = 0;
};

// What one successful write made, or why it failed.
struct ArchiveSummary {
    int added = 0;
    int skipped = 0;   // duplicate names and files that failed while being read
    uint64_t size = 0;
    std::vector<std::string> files;
    bool diskFull = false;   // a failed write found the archive's volume full
};

// Writes the archive (AES-256 when password is not empty) and returns a CompressionResult:
// Ok, also when every file had to be left out (then summary->files is empty and nothing is on
// disk), Failed, NoMemory or Aborted. Entries that cannot be opened or fail while being read are
// removed from entries, with a warning each. On anything but Ok no file of the archive is left
// behind.
int32_t WriteArchiveSkippingUnreadable(const ArchiveCommand &command, std::vector<ArchiveEntry> *entries,
                                       const SecretText &password, ReadProgress *progress, CompressionLog &log,
                                       ArchiveSummary *summary);
