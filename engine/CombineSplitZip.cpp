#include "CombineSplitZip.h"

#include <stdlib.h>
#include <string.h>

#include "AllocationSeam.h"
#include "LongPath.h"
#include "MsvcrtFormat.h"
#include "TextConversion.h"
#include "ZipWholeness.h"

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

// Part `number` of the job's archive, open for reading; INVALID_HANDLE_VALUE when it does not open.
HANDLE OpenPart(const CombineJob *job, int number)
{
    char partName[MAX_PATH + 16];
    FormatPartName(partName, sizeof partName, job->outputPath, number);
    wchar_t *widePart = MakeFilePathFromAnsi(partName);
    HANDLE part = widePart == nullptr ? INVALID_HANDLE_VALUE
                                      : CreateFileW(widePart, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    free(widePart);
    return part;
}

// The parts found: 1 to count, with their sizes by part number.
struct PartList {
    int count;
    uint64_t sizes[kLastPartNumber + 1];
    double total;
};

// The parts read as the one file they make once joined.
class JoinedParts : public ZipByteSource {
public:
    JoinedParts(const CombineJob *job, const PartList *parts) : job_(job), parts_(parts) {}
    ~JoinedParts() override { Close(); }
    bool ReadAt(uint64_t offset, void *data, uint32_t length) override
    {
        // Checking every entry reads the whole archive, which takes a while.
        if (IsCancelled(job_)) {
            failure = CombineCancelled;
            return false;
        }
        uint8_t *out = static_cast<uint8_t *>(data);
        uint64_t start = 0;  // of part `number`
        for (int number = 1; number <= parts_->count && length > 0; start += parts_->sizes[number++]) {
            uint64_t size = parts_->sizes[number];
            if (offset >= start + size)
                continue;
            uint64_t inPart = offset - start;
            DWORD chunk = (DWORD)(size - inPart < length ? size - inPart : length);
            if (!Read(number, inPart, out, chunk))
                return false;
            out += chunk;
            offset += chunk;
            length -= chunk;
        }
        return length == 0;
    }
    int32_t failure = CombineCannotReadPart;  // what a failed read was

private:
    bool Read(int number, uint64_t position, uint8_t *out, DWORD length)
    {
        if (number != openNumber_) {
            Close();
            file_ = OpenPart(job_, number);
            if (file_ == INVALID_HANDLE_VALUE) {
                failure = CombineCannotOpenPart;
                return false;
            }
            openNumber_ = number;
        }
        LARGE_INTEGER to;
        to.QuadPart = (LONGLONG)position;
        DWORD got = 0;
        failure = CombineCannotReadPart;
        return SetFilePointerEx(file_, to, nullptr, FILE_BEGIN) && StepAllowed(CombineIoRead) &&
               ReadFile(file_, out, length, &got, nullptr) && got == length;
    }
    void Close()
    {
        if (file_ != INVALID_HANDLE_VALUE)
            CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        openNumber_ = 0;
    }
    const CombineJob *job_;
    const PartList *parts_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    int openNumber_ = 0;
};

// Names the part that keeps the parts from making a whole archive, judged by the sizes: all
// parts but the last have the same size.
int32_t BlamePart(CombineJob *job, const PartList &parts, ZipWholeness verdict)
{
    int count = parts.count;
    if (verdict == ZipEndMissing) {
        // The end of the archive is not in the parts found. A last part shorter than the first
        // was cut short; one as long as the first ends where a further part should begin.
        bool cutShort = count >= 2 && parts.sizes[count] < parts.sizes[1];
        job->faultyPart = cutShort ? count : count + 1;
        return cutShort ? CombineShortPart : CombineMissingPart;
    }
    if (verdict == ZipBytesMissing && count >= 2) {
        uint64_t largest = 0;
        for (int n = 1; n < count; ++n)
            largest = parts.sizes[n] > largest ? parts.sizes[n] : largest;
        for (int n = 1; n < count; ++n) {
            if (parts.sizes[n] < largest || count == 2) {
                job->faultyPart = n;
                return CombineShortPart;
            }
        }
    }
    return CombineNotAnArchive;
}

// The number of the part that holds the byte at offset of the joined file.
int FindPartHolding(const PartList &parts, uint64_t offset)
{
    for (int number = 1; number < parts.count; ++number) {
        if (offset < parts.sizes[number])
            return number;
        offset -= parts.sizes[number];
    }
    return parts.count;
}

// Says in the job which entry is damaged, how, and in which part.
void DescribeDamage(CombineJob *job, const PartList &parts, const ZipDamage &damage)
{
    char part[MAX_PATH + 16];
    FormatPartName(part, sizeof part, job->outputPath, FindPartHolding(parts, damage.offset));
    const char *slash = strrchr(part, '\\');
    const char *partName = slash != nullptr ? slash + 1 : part;
    const char *format = "";
    switch (damage.kind) {
    case ZipNoLocalHeader:
        format = "The entry \"%s\" is not where the central directory places it (offset %I64u, in %s).";
        break;
    case ZipHeaderMismatch:
        format = "The local header of the entry \"%s\" (offset %I64u, in %s) does not match its central "
                 "directory entry.";
        break;
    case ZipChecksumMismatch:
        format = "The data of the entry \"%s\" (offset %I64u, in %s) does not match its CRC-32.";
        break;
    case ZipDataUndecodable:
        format = "The data of the entry \"%s\" (offset %I64u, in %s) cannot be decompressed.";
        break;
    }
    FormatText(job->damage, sizeof job->damage, format, damage.name, (unsigned long long)damage.offset, partName);
}

static_assert(kCombineBufferSize >= kZipCheckScratchSize, "the copy buffer serves the check");

// Whether the parts joined make a whole ZIP archive, before anything is written.
int32_t CheckParts(CombineJob *job, const PartList &parts, uint8_t *buffer)
{
    JoinedParts joined(job, &parts);
    ZipDamage damage = {};
    ZipWholeness verdict = CheckZipWholeness(joined, (uint64_t)parts.total, buffer, kCombineBufferSize, &damage);
    if (verdict == ZipWhole)
        return CombineJoined;
    if (verdict == ZipUnreadable)
        return joined.failure;
    if (verdict == ZipEntryDamaged) {
        DescribeDamage(job, parts, damage);
        return CombineNotAnArchive;
    }
    return BlamePart(job, parts, verdict);
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

// Copies the parts into a temporary file beside the output, which then replaces the output.
// Any failure or a cancel removes the temporary file and leaves the output as it was.
int32_t CopyParts(CombineJob *job, const PartList &parts, char *buffer)
{
    int32_t result = CombineOutOfMemory;
    HANDLE output = INVALID_HANDLE_VALUE;
    HANDLE part = INVALID_HANDLE_VALUE;
    bool created = false;
    double done = 0;
    char temporaryName[MAX_PATH + 16];
    FormatText(temporaryName, sizeof temporaryName, "%s%s", job->outputPath, kCombineTemporarySuffix);
    wchar_t *temporary = MakeFilePathFromAnsi(temporaryName);
    wchar_t *target = MakeFilePathFromAnsi(job->outputPath);
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

    for (int number = 1; number <= parts.count; ++number) {
        result = CombineCancelled;
        if (IsCancelled(job))
            goto done;
        part = OpenPart(job, number);
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
            PublishPercent(job, done, parts.total);
            if (got < kCombineBufferSize)
                break;
        }
        CloseHandle(part);
        part = INVALID_HANDLE_VALUE;
    }

    // The parts may have changed since they were checked: what was copied must be what was checked.
    result = CombineCannotReadPart;
    if (done != parts.total)
        goto done;
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
    free(temporary);
    free(target);
    return result;
}

// Checks the first part, finds the parts and their sizes, checks that they make a whole
// archive, then copies them.
int32_t JoinParts(CombineJob *job)
{
    size_t length = strnlen(job->firstPart, sizeof job->firstPart);
    if (length <= 4 || length >= sizeof job->firstPart || strcmp(job->firstPart + length - 4, ".001") != 0)
        return CombineBadFirstPart;
    PartList parts;
    parts.count = 1;
    if (!GetPartSize(job->firstPart, &parts.sizes[1]))
        return CombineBadFirstPart;
    memcpy(job->outputPath, job->firstPart, length - 4);
    job->outputPath[length - 4] = '\0';

    parts.total = (double)parts.sizes[1];
    for (int number = 2;; ++number) {
        if (IsCancelled(job))
            return CombineCancelled;
        if (number > kLastPartNumber)
            return CombineTooManyParts;
        char partName[MAX_PATH + 16];
        FormatPartName(partName, sizeof partName, job->outputPath, number);
        if (!GetPartSize(partName, &parts.sizes[number]))
            break;
        parts.total += (double)parts.sizes[number];
        parts.count = number;
    }
    if (parts.total < 1)
        return CombineBadFirstPart;

    char *buffer = static_cast<char *>(AllocateBlock(kCombineBufferSize));
    if (buffer == nullptr)
        return CombineOutOfMemory;
    int32_t result = CheckParts(job, parts, reinterpret_cast<uint8_t *>(buffer));
    if (result == CombineJoined)
        result = IsCancelled(job) ? CombineCancelled : CopyParts(job, parts, buffer);
    free(buffer);
    return result;
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
    int32_t result = __atomic_load_n(&job->result, __ATOMIC_ACQUIRE);
    switch (result) {
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
    case CombineMissingPart:
    case CombineShortPart: {
        char part[MAX_PATH + 16];
        FormatPartName(part, sizeof part, job->outputPath, job->faultyPart);
        if (result == CombineMissingPart)
            FormatText(out, outSize,
                       "Split part missing:\n\n%s\n\nThe parts found do not make a whole ZIP archive, so nothing "
                       "was combined.",
                       part);
        else
            FormatText(out, outSize,
                       "Split part too short:\n\n%s\n\nThe parts do not make a whole ZIP archive, so nothing was "
                       "combined.",
                       part);
        break;
    }
    case CombineNotAnArchive:
        FormatText(out, outSize, "The split parts do not make a whole ZIP archive, so nothing was combined:\n\n%s%s%s",
                   job->firstPart, job->damage[0] != '\0' ? "\n\n" : "", job->damage);
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
