// Joins the numbered parts of a split ZIP archive ("name.zip.001", ".002", ...) back into the
// one file "name.zip" in the same folder. The dialog and the joining thread share one record.
#pragma once
#include <windows.h>
#include <stdint.h>

enum CombineResult {
    CombineJoined = 0,
    CombineCancelled = 1, // also the value while the thread runs
    CombineBadFirstPart = 2, // first part missing, not "*.001", or all parts empty
    CombineTooManyParts = 3,
    CombineCannotCreateOutput = 4,
    CombineCannotOpenPart = 5,
    CombineOutOfMemory = 6,
    CombineCannotReadPart = 7,
    CombineCannotWriteOutput = 8, // a write, the flush, the close or the final rename failed
    // The parts found do not make a whole ZIP archive; nothing is written.
    CombineMissingPart = 9,       // the part `faultyPart` is missing (or is no file)
    CombineShortPart = 10,        // the part `faultyPart` is shorter than it should be
    CombineNotAnArchive = 11,     // anything else: other disks, stray or damaged bytes, an
                                  // entry that does not match its directory (`damage` says which)
};

// Written by the dialog before the thread starts; afterwards the dialog writes only `cancel`
// and reads `percent`, `result` and `running`, the thread writes the rest. Shared int32 fields
// are accessed atomically.
struct CombineJob {
    volatile int32_t cancel;
    char firstPart[260];
    volatile int32_t percent;
    volatile int32_t result;
    char outputPath[260];
    volatile int32_t running;
    int32_t faultyPart;  // the part number a CombineMissingPart or CombineShortPart names
    char damage[384];    // what a CombineNotAnArchive found damaged, or empty
};

extern CombineJob combineJob;

// Size of the one copy buffer.
const DWORD kCombineBufferSize = 524288;
// Suffix of the file being written; it replaces the output only once the join has succeeded.
extern const char kCombineTemporarySuffix[];

// Thread procedure (for _beginthreadex); the argument is the CombineJob. Joins the parts,
// leaves the outcome in `result`, clears `running` as its last act and returns 0.
unsigned __stdcall CombineSplitZipThread(void *job);

// The message box text for a finished job's result, which fits into kCombineMessageSize bytes.
const size_t kCombineMessageSize = 1024;
void FormatCombineResultMessage(const CombineJob *job, char *out, size_t outSize);

// Test seam: called before each read of a part and each write, flush and close of the output;
// returning false makes that call fail. NULL (the default) lets every call through.
enum CombineIoStep { CombineIoRead, CombineIoWrite, CombineIoClose };
typedef bool (*CombineIoHook)(CombineIoStep step);
void SetCombineIoHookForTesting(CombineIoHook hook);
