#include "ZipNameRecord.h"

#include <io.h>
#include <stdint.h>
#include <string.h>

#include "Calendar.h"
#include "CheckedFile.h"
#include "ErrorReport.h"
#include "GlobalSettings.h"
#include "MirrorPath.h"
#include "MsvcrtFormat.h"
#include "ZipNameIndex.h"
#include "ZipStep.h"

namespace {

// The head of the record file as it lies on disk (little-endian). Each entry follows it as the
// last-write time (8 bytes), the path's length in characters (4 bytes) and the path in UTF-16
// without a terminator.
struct RecordHead {
    char magic[4];
    uint32_t version;
    SYSTEMTIME run;  // UTC start of the run that wrote it: its lastCompressedRunTime once counted
    uint32_t count;
};
static_assert(sizeof(RecordHead) == 28, "the record head is 28 bytes on disk");
static_assert(sizeof(wchar_t) == 2, "paths are stored as UTF-16");

const char kMagic[4] = {'V', 'Z', 'N', 'R'};
const uint32_t kVersion = 1;

void GetRecordPath(const BackupConfig *config, char *out, size_t outSize)
{
    FormatText(out, outSize, "%s%d_zipnames.dat", dataFolder, config->uniqueId);
}

void GetPendingPath(const BackupConfig *config, char *out, size_t outSize)
{
    FormatText(out, outSize, "%s%d_zipnames.dat.tmp", dataFolder, config->uniqueId);
}

bool IsSameTime(const SYSTEMTIME &a, const SYSTEMTIME &b)
{
    return !IsSystemTimeBefore(&a, &b) && !IsSystemTimeBefore(&b, &a);
}

bool ReadEntries(FILE *file, uint32_t count, ZipNameIndex *record)
{
    wchar_t path[kWidePathChars];
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t written;
        uint32_t length;
        if (fread(&written, sizeof(written), 1, file) != 1 || fread(&length, sizeof(length), 1, file) != 1 ||
            length == 0 || length >= kWidePathChars || fread(path, sizeof(wchar_t), length, file) != length)
            return false;
        path[length] = L'\0';
        if (!record->Add(path, written))
            return false;
    }
    return fgetc(file) == EOF;
}

bool WriteEntry(FILE *file, const wchar_t *path, uint64_t written)
{
    uint32_t length = (uint32_t)wcslen(path);
    return fwrite(&written, sizeof(written), 1, file) == 1 && fwrite(&length, sizeof(length), 1, file) == 1 &&
           fwrite(path, sizeof(wchar_t), length, file) == length;
}

bool IsListedInRun(const JobContext *context, const wchar_t *path)
{
    for (int i = 0; i < context->zipOutputCount; ++i) {
        const ZipNameIndex *names = context->zipOutputs[i].names;
        if (names != nullptr && names->Contains(path))
            return true;
    }
    return false;
}

// The entries of the record: this run's listed files, then the old record's others. The count
// in the head is written last, once known.
bool WriteRecord(FILE *file, const JobContext *context, const ZipNameIndex *previous)
{
    RecordHead head = {};
    memcpy(head.magic, kMagic, sizeof(kMagic));
    head.version = kVersion;
    head.run = context->startUtc;
    if (fwrite(&head, sizeof(head), 1, file) != 1)
        return false;
    uint32_t count = 0;
    auto write = [&](const wchar_t *path, uint64_t written) {
        ++count;
        return WriteEntry(file, path, written);
    };
    for (int i = 0; i < context->zipOutputCount; ++i) {
        const ZipNameIndex *names = context->zipOutputs[i].names;
        if (names != nullptr && !names->ForEach(write))
            return false;
    }
    if (previous != nullptr && !previous->ForEach([&](const wchar_t *path, uint64_t written) {
            return IsListedInRun(context, path) || write(path, written);
        }))
        return false;
    head.count = count;
    return fseek(file, 0, SEEK_SET) == 0 && fwrite(&head, sizeof(head), 1, file) == 1 && fflush(file) == 0 &&
           _commit(_fileno(file)) == 0;
}

}  // namespace

bool ReadZipNameRecord(const BackupConfig *config, ZipNameIndex *record)
{
    char path[MAX_PATH];
    GetRecordPath(config, path, sizeof(path));
    FILE *file = fopen(path, "rb");
    if (file == nullptr)
        return false;
    setvbuf(file, nullptr, _IOFBF, 65536);
    RecordHead head;
    bool read = fread(&head, sizeof(head), 1, file) == 1 && memcmp(head.magic, kMagic, sizeof(kMagic)) == 0 &&
                head.version == kVersion && IsSameTime(head.run, config->lastCompressedRunTime) &&
                ReadEntries(file, head.count, record);
    fclose(file);
    return read;
}

int WritePendingZipNameRecord(FILE *log, const JobContext *context, const ZipNameIndex *previous)
{
    char path[MAX_PATH];
    GetPendingPath(context->config, path, sizeof(path));
    FileCheck check;
    FILE *file = OpenCheckedStream(path, "wb", FILE_SHARE_READ, &check);
    LogFileCheck(log, check, path);
    bool written = false;
    if (file != nullptr) {
        setvbuf(file, nullptr, _IOFBF, 65536);
        written = WriteRecord(file, context, previous);
        written = fclose(file) == 0 && written;
    }
    if (written)
        return 1;
    WriteText(log, "WARNING: Unable to write the record of archived files: %s\n", path);
    DeleteFileChecked(path, &check);
    return 0;
}

int CommitZipNameRecord(FILE *log, const BackupConfig *config)
{
    char pending[MAX_PATH];
    char path[MAX_PATH];
    GetPendingPath(config, pending, sizeof(pending));
    GetRecordPath(config, path, sizeof(path));
    if (MoveFileExA(pending, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 1;
    LogLastError("Move File", log);
    WriteText(log, "WARNING: Unable to save the record of archived files: %s\n", path);
    return 0;
}
