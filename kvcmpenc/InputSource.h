// One listed file as a source for the ZIP library, which reads it during zip_close: the source
// hands over the file's data as a ParallelCompressor has compressed (and encrypted) it, so the
// library only writes it. Every read checks the cancel byte; taking a block moves the progress
// value.
#pragma once
#include <windows.h>
#include <stdint.h>
#include <time.h>
#include <string>
#include <zip.h>

// Shared by the sources of one archive.
struct ReadProgress {
    volatile char *cancelFlag = nullptr;     // 1 means stop
    volatile int32_t *progress = nullptr;    // 0-100
    uint64_t bytesDone = 0;
    uint64_t bytesTotal = 0;
    bool cancelled = false;                  // a read stopped for the cancel byte
    int failedFile = -1;                     // InputFile::index of a file that failed to read
    bool failedToOpen = false;               // that file could not even be opened
    unsigned long failedError = 0;           // its Windows error code
};

// Whether the caller has set the cancel byte (1); no byte, no cancel.
bool IsCancelByteSet(volatile char *cancelFlag);
// Whether the cancel byte has been seen set; once seen, it stays so.
bool IsCancelled(ReadProgress *progress);

struct InputFile {
    std::wstring path;   // as given to CreateFileW
    uint64_t size = 0;
    time_t modified = 0;
    int index = 0;       // position in the caller's list, reported in ReadProgress::failedFile
};

// Opens a listed file for reading. Files other programs have open for writing are read too (the
// -ssw switch).
HANDLE OpenInputFile(const std::wstring &path);

// 0-99 while reading; the caller sets 100 once the archive is complete.
int32_t ComputeProgressPercent(uint64_t done, uint64_t total);

class ParallelCompressor;

// The source of the compressor's entry number entry (counted from 0 in the order they were added).
zip_source_t *CreateInputSource(ParallelCompressor *compressor, int entry, const InputFile &file,
                                ReadProgress *progress, zip_error_t *error);
