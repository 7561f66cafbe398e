#include "CombineSplitZip.h"

#include <stdlib.h>
#include <string.h>

#include "AllocationSeam.h"
#include "LongPath.h"
#include "MsvcrtFormat.h"
#include "TextConversion.h"

CombineJob combineJob;

const char kCombineTemporarySuffix[] = ".vlrjoin";

namespace {

CombineIoHook ioHook = nullptr;

// The highest part number searched; a part beyond it means too many parts.
const int kLastPartNumber = 999;

bool StepAllowed(CombineIoStep step)
{
    CombineIoHook hook = __atomic_load_n(&ioHook, __ATOMIC_ACQUIRE);
    return hook == nullptr || hook(step);
}

bool IsCancelled(const CombineJob *job)
{
    return __atomic_load_n(&job->cancel, __ATOMIC_ACQUIRE) != 0;
}

// Wide form of an ANSI path, prefixed when it is too long for the plain form; NULL when
// memory ran out.
wchar_t *WidePath(const char *path)
{
    wchar_t *wide = AnsiToWideAlloc(path);
    if (wide == nullptr || !NeedsLongPath(wide))
        return wide;
    wchar_t *prefixed = MakeLongPath(wide);
    free(wide);
    return prefixed;
}

// Size of the regular file at path; false when there is none.
bool GetPartSize(const char *path, uint64_t *size)
{
    wchar_t *wide = AnsiToWideAlloc(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    BOOL found = wide != nullptr && GetFileAttributesExLong(wide, &data);
    free(wide);
    if (!found || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    *size = ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    return true;
}

void FormatPartName(char *out, size_t outSize, const char *outputPath, int number)
{
    FormatText(out, outSize, "%s.%03d", outputPath, number);
}

// Whether the output name can take the joined file: free, or an existing file that we may
// write to. Checked before the copy, so a locked or read-only archive fails at once.
bool CanReplaceOutput(const wchar_t *output)
{
    DWORD attributes = GetFileAttributesW(output);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    HANDLE existing = CreateFileW(output, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(existing);
    return true;
}

bool WriteBlock(HANDLE output, const char *data, DWORD size)
{
    DWORD written = 0;
    return StepAllowed(CombineIoWrite) && WriteFile(output, data, size, &written, nullptr) && written == size;
}

bool FlushAndClose(HANDLE output)
{
    bool flushed = StepAllowed(CombineIoClose) && FlushFileBuffers(output);
    bool closed = CloseHandle(output) != FALSE;
    return flushed && closed;
}

void PublishPercent(CombineJob *job, double done, double total)
{
    __atomic_store_n(&job->percent, (int32_t)(done * 100.0 / total), __ATOMIC_RELEASE);
}

// Copies parts 1 to partCount into a temporary file beside the output, which then replaces
// the output. Any failure or a cancel removes the temporary file and leaves the output as it was.
int32_t CopyParts(CombineJob *job, int partCount, double total)
{
    int32_t result = CombineOutOfMemory;
    HANDLE output = INVALID_HANDLE_VALUE;
    HANDLE part = INVALID_HANDLE_VALUE;
    char *buffer = nullptr;
    bool created = false;
    double done = 0;
    char temporaryName[MAX_PATH + 16];
    FormatText(temporaryName, sizeof temporaryName, "%s%s", job->outputPath, kCombineTemporarySuffix);
    wchar_t *temporary = WidePath(temporaryName);
    wchar_t *target = WidePath(job->outputPath);
    if (temporary == nullptr || target == nullptr)
        goto done;

    result = CombineCannotCreateOutput;
    if (!CanReplaceOutput(target))
        goto done;
    SetFileAttributesW(temporary, FILE_ATTRIBUTE_NORMAL);
    output = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE)
        goto done;
    created = true;

    result = CombineOutOfMemory;
    buffer = static_cast<char *>(AllocateBlock(kCombineBufferSize));
    if (buffer == nullptr)
        goto done;

    for (int number = 1; number <= partCount; ++number) {
        result = CombineCancelled;
        if (IsCancelled(job))
            goto done;
        char partName[MAX_PATH + 16];
        FormatPartName(partName, sizeof partName, job->outputPath, number);
        wchar_t *widePart = WidePath(partName);
        part = widePart == nullptr ? INVALID_HANDLE_VALUE
                                   : CreateFileW(widePart, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        free(widePart);
        result = CombineCannotOpenPart;
        if (part == INVALID_HANDLE_VALUE)
            goto done;
        for (;;) {
            DWORD got = 0;
            result = CombineCannotReadPart;
            if (!StepAllowed(CombineIoRead) || !ReadFile(part, buffer, kCombineBufferSize, &got, nullptr))
                goto done;
            result = CombineCancelled;
            if (IsCancelled(job))
                goto done;
            result = CombineCannotWriteOutput;
            if (got > 0 && !WriteBlock(output, buffer, got))
                goto done;
            done += got;
            result = CombineCancelled;
            if (IsCancelled(job))
                goto done;
            PublishPercent(job, done, total);
            if (got < kCombineBufferSize)
                break;
        }
        CloseHandle(part);
        part = INVALID_HANDLE_VALUE;
    }

    result = CombineCannotWriteOutput;
    {
        bool closed = FlushAndClose(output);
        output = INVALID_HANDLE_VALUE;
        if (!closed || !MoveFileExW(temporary, target, MOVEFILE_REPLACE_EXISTING))
            goto done;
    }
    result = CombineJoined;

done:
    if (part != INVALID_HANDLE_VALUE)
        CloseHandle(part);
    if (output != INVALID_HANDLE_VALUE)
        CloseHandle(output);
    if (created && result != CombineJoined)
        DeleteFileW(temporary);
    free(buffer);
    free(temporary);
    free(target);
    return result;
}

// Checks the first part, counts the parts and their total size, then copies them.
int32_t JoinParts(CombineJob *job)
{
    size_t length = strnlen(job->firstPart, sizeof job->firstPart);
    if (length <= 4 || length >= sizeof job->firstPart || strcmp(job->firstPart + length - 4, ".001") != 0)
        return CombineBadFirstPart;
    uint64_t size = 0;
    if (!GetPartSize(job->firstPart, &size))
        return CombineBadFirstPart;
    memcpy(job->outputPath, job->firstPart, length - 4);
    job->outputPath[length - 4] = '\0';

    double total = (double)size;
    int partCount = 1;
    for (int number = 2;; ++number) {
        if (IsCancelled(job))
            return CombineCancelled;
        if (number > kLastPartNumber)
            return CombineTooManyParts;
        char partName[MAX_PATH + 16];
        FormatPartName(partName, sizeof partName, job->outputPath, number);
        if (!GetPartSize(partName, &size))
            break;
        total += (double)size;
        partCount = number;
    }
    if (total < 1)
        return CombineBadFirstPart;
    return CopyParts(job, partCount, total);
}

}  // namespace

unsigned __stdcall CombineSplitZipThread(void *record)
{
    CombineJob *job = static_cast<CombineJob *>(record);
    int32_t result = JoinParts(job);
    __atomic_store_n(&job->result, result, __ATOMIC_RELEASE);
    __atomic_store_n(&job->running, 0, __ATOMIC_RELEASE);
    return 0;
}

void FormatCombineResultMessage(const CombineJob *job, char *out, size_t outSize)
{
    switch (__atomic_load_n(&job->result, __ATOMIC_ACQUIRE)) {
    case CombineJoined:
        FormatText(out, outSize, "ZIP Successfully Combined\n\nLocation: %s", job->outputPath);
        break;
    case CombineCancelled:
        FormatText(out, outSize, "Task Cancelled");
        break;
    case CombineBadFirstPart:
        FormatText(out, outSize, "Missing or badly named file:\n\n%s", job->firstPart);
        break;
    case CombineTooManyParts:
        FormatText(out, outSize, "Too many parts (>999)");
        break;
    case CombineCannotCreateOutput:
        FormatText(out, outSize, "Failed to open combined ZIP file for writing:\n\n%s", job->outputPath);
        break;
    case CombineCannotOpenPart:
        FormatText(out, outSize, "Failed to open a split part for reading");
        break;
    case CombineOutOfMemory:
        FormatText(out, outSize, "Memory allocation error");
        break;
    case CombineCannotReadPart:
        FormatText(out, outSize, "Failed to read a split part");
        break;
    case CombineCannotWriteOutput:
        FormatText(out, outSize, "Failed to write combined ZIP file:\n\n%s", job->outputPath);
        break;
    default:
        FormatText(out, outSize, "Unknown result");
        break;
    }
}

void SetCombineIoHookForTesting(CombineIoHook hook)
{
    __atomic_store_n(&ioHook, hook, __ATOMIC_RELEASE);
}
