// The lines of the list turned into archive entries: the name inside the archive, the path to
// open, and the size, time and attributes. One listing of each folder describes every listed
// file in it, so a file is opened only once, when the compressor reads it. A file its folder's
// listing does not show under the listed name as a plain file (the listing failed, the name
// differs in case or form, a folder, a link) is described through an open of its own, and left
// out now when that open fails.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <string>
#include <vector>

#include "ArchiveWriter.h"
#include "CompressionLog.h"
#include "InputSource.h"

// Why a listed file is left out of the archive.
enum class ListingProblem { None, InvalidName, Unresolved, Unopened, NoInformation, NotDescribed };

struct ListedFile {
    ArchiveEntry entry;
    ListingProblem problem = ListingProblem::NotDescribed;
    DWORD error = 0;
};

// Describes the listed files in list order, waiting for the file system on a few threads at a
// time. Stops early for the cancel byte; the files not reached stay NotDescribed. Throws
// std::bad_alloc, on this thread, when a description ran out of memory.
void DescribeListedFiles(const std::vector<std::string> &lines, bool utf8List, volatile char *cancelFlag,
                         std::vector<ListedFile> *listed);

void LogListingProblem(const ListedFile &listed, CompressionLog &log);

// For a write that stopped at entry failed, which could not be opened (error): other files held
// by the same program are likely closed to us too, so every entry after it is tried now. The
// failed entry and those that cannot be opened are removed with the listing's warning, and one
// more write serves them all. Returns how many were removed.
int LeaveOutUnopenableEntries(std::vector<ArchiveEntry> *entries, size_t failed, DWORD error, ReadProgress *progress,
                              CompressionLog &log);
