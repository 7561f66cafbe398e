// Reading the store. The whole file is read first, so every count is checked against the bytes
// that are really there before anything is allocated for it; the table is replaced only when
// the whole file has been read.
#include "ConfigStore.h"

#include <stdlib.h>
#include <string.h>

#include "AllocationSeam.h"
#include "CheckedFile.h"
#include "ConfigRecordFormat.h"
#include "ConfigTable.h"
#include "ErrorReport.h"
#include "GlobalSettings.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "resource.h"

namespace {

enum class LoadOutcome { Loaded, Corrupt, UnknownVersion, OutOfMemory };

struct StoreReader {
    const unsigned char *data;
    size_t size;
    size_t position;

    bool Take(size_t bytes, const unsigned char **out)
    {
        if (bytes > size - position)
            return false;
        *out = data + position;
        position += bytes;
        return true;
    }
    size_t Remaining() const { return size - position; }
};

int32_t GetInt(const unsigned char *in)
{
    return (int32_t)((uint32_t)in[0] | ((uint32_t)in[1] << 8) | ((uint32_t)in[2] << 16) |
                     ((uint32_t)in[3] << 24));
}

struct LoadedTable {
    BackupConfig **records = nullptr;
    int32_t count = 0;
    int32_t filled = 0;

    ~LoadedTable()
    {
        for (int i = 0; i < filled; ++i) {
            FreeConfigArrays(records[i]);
            free(records[i]);
        }
        free(records);
    }
};

bool CountFits(int32_t count, size_t entrySize, size_t available)
{
    return count >= 0 && (uint64_t)count * entrySize <= available;
}

LoadOutcome ReadRecords(StoreReader &reader, int version, LoadedTable &table)
{
    size_t recordSize = version == 3 ? kRecordSizeV3 : version == 2 ? kRecordSizeV2 : kRecordSizeV1;
    if (!CountFits(table.count, recordSize, reader.Remaining()))
        return LoadOutcome::Corrupt;
    table.records = (BackupConfig **)AllocateZeroedBlock(table.count > 0 ? (size_t)table.count : 1, sizeof(BackupConfig *));
    unsigned char *image = (unsigned char *)malloc(kRecordSizeV3);
    if (table.records == nullptr || image == nullptr) {
        free(image);
        return LoadOutcome::OutOfMemory;
    }
    LoadOutcome outcome = LoadOutcome::Loaded;
    for (int i = 0; i < table.count; ++i) {
        const unsigned char *stored = nullptr;
        reader.Take(recordSize, &stored);
        // Old records are the start of a new one; what they lack stays zero.
        memset(image, 0, kRecordSizeV3);
        memcpy(image, stored, recordSize);
        BackupConfig *record = (BackupConfig *)AllocateBlock(sizeof(BackupConfig));
        if (record == nullptr) {
            outcome = LoadOutcome::OutOfMemory;
            break;
        }
        DecodeConfigRecord(image, record);
        if (version == 1) {
            record->scheduleKind = 0;
            record->scheduleEveryDays = 1;
            record->scheduleDayMask = 0;
            record->scheduleHour = 17;
            record->scheduleMinute = 0;
        }
        table.records[table.filled++] = record;
    }
    free(image);
    return outcome;
}

LoadOutcome ReadArrays(StoreReader &reader, int version, BackupConfig *record)
{
    // A count of 0 or less has no entries in the file.
    record->sourceCount = record->sourceCount > 0 ? record->sourceCount : 0;
    record->extensionCount = record->extensionCount > 0 ? record->extensionCount : 0;
    record->excludedCount = record->excludedCount > 0 ? record->excludedCount : 0;
    size_t sourceSize = version == 3 ? kSourceEntrySizeV3 : kSourceEntrySizeOld;
    size_t excludedSize = version == 3 ? kExcludedEntrySizeV3 : kExcludedEntrySizeOld;
    size_t available = reader.Remaining();
    if (!CountFits(record->sourceCount, sourceSize, available) ||
        !CountFits(record->extensionCount, kExtensionEntrySize, available) ||
        !CountFits(record->excludedCount, excludedSize, available))
        return LoadOutcome::Corrupt;
    uint64_t needed = (uint64_t)record->sourceCount * sourceSize +
                      (uint64_t)record->extensionCount * kExtensionEntrySize +
                      (uint64_t)record->excludedCount * excludedSize;
    if (needed > available)
        return LoadOutcome::Corrupt;

    BackupConfig sized = *record;
    // One spare entry each, so an empty array is still a block of its own.
    sized.sources = (SourceItem *)AllocateZeroedBlock((size_t)record->sourceCount + 1, sizeof(SourceItem));
    sized.extensions = (ExtensionEntry *)AllocateZeroedBlock((size_t)record->extensionCount + 1, sizeof(ExtensionEntry));
    sized.excludedItems = (ExcludedEntry *)AllocateZeroedBlock((size_t)record->excludedCount + 1, sizeof(ExcludedEntry));
    if (sized.sources == nullptr || sized.extensions == nullptr || sized.excludedItems == nullptr) {
        FreeConfigArrays(&sized);
        return LoadOutcome::OutOfMemory;
    }
    const unsigned char *entry = nullptr;
    for (int i = 0; i < record->sourceCount; ++i) {
        reader.Take(sourceSize, &entry);
        if (version == 3)
            DecodeSourceItem(entry, &sized.sources[i]);
        else
            DecodeOldSourceItem(entry, &sized.sources[i]);
    }
    for (int i = 0; i < record->extensionCount; ++i) {
        reader.Take(kExtensionEntrySize, &entry);
        memcpy(sized.extensions[i], entry, kExtensionEntrySize);
        sized.extensions[i][kExtensionEntrySize - 1] = '\0';
    }
    for (int i = 0; i < record->excludedCount; ++i) {
        reader.Take(excludedSize, &entry);
        memcpy(sized.excludedItems[i], entry, excludedSize);
        sized.excludedItems[i][excludedSize - 1] = '\0';
    }
    *record = sized;
    return LoadOutcome::Loaded;
}

LoadOutcome ParseStore(const unsigned char *data, size_t size, bool *upgraded)
{
    StoreReader reader = {data, size, 0};
    const unsigned char *header;
    if (!reader.Take(8, &header) || memcmp(header, "vlr", 3) != 0)
        return LoadOutcome::Corrupt;
    int version = GetInt(header + 4);
    if (version < 1 || version > 3)
        return LoadOutcome::UnknownVersion;
    const unsigned char *counts;
    if (!reader.Take(8, &counts))
        return LoadOutcome::Corrupt;

    LoadedTable table;
    table.count = GetInt(counts);
    int32_t lastUniqueId = GetInt(counts + 4);
    LoadOutcome outcome = ReadRecords(reader, version, table);
    for (int i = 0; i < table.count && outcome == LoadOutcome::Loaded; ++i)
        outcome = ReadArrays(reader, version, table.records[i]);
    if (outcome != LoadOutcome::Loaded)
        return outcome;

    // Ids are never reused, even when the stored counter fell behind.
    for (int i = 0; i < table.count; ++i)
        if (table.records[i]->uniqueId > lastUniqueId)
            lastUniqueId = table.records[i]->uniqueId;

    ClearConfigTable();
    memcpy(storeHeader, header, 4);
    storeHeader[4] = 3;
    storeHeader[5] = storeHeader[6] = storeHeader[7] = 0;
    configTable.records = table.records;
    configTable.configCount = table.count;
    configTable.capacity = table.count > 0 ? table.count : 1;
    configTable.lastUniqueId = lastUniqueId;
    table.records = nullptr;
    table.filled = 0;
    *upgraded = version != 3;
    return LoadOutcome::Loaded;
}

// Reads the whole file; 0 when it could not be opened (error in *openError), -1 when memory ran
// out, 1 when read.
int ReadStoreFile(unsigned char **data, size_t *size, DWORD *openError)
{
    HANDLE file = CreateFileA(storePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *openError = GetLastError();
        return 0;
    }
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file, &length) || length.QuadPart > 0x7FFFFFFF) {
        *openError = GetLastError();
        CloseHandle(file);
        return 0;
    }
    *size = (size_t)length.QuadPart;
    *data = (unsigned char *)AllocateBlock(*size > 0 ? *size : 1);
    if (*data == nullptr) {
        CloseHandle(file);
        return -1;
    }
    DWORD read = 0;
    bool ok = *size == 0 || ReadFile(file, *data, (DWORD)*size, &read, nullptr);
    CloseHandle(file);
    *size = ok ? read : 0;
    return 1;
}

// The version word of a file that starts like a store; 0 for anything else.
int StoredVersion(const unsigned char *data, size_t size)
{
    return size >= 8 && memcmp(data, "vlr", 3) == 0 ? GetInt(data + 4) : 0;
}

// Keeps the file of an older version as it was read beside the store ("configs.vlr_v1"), so that
// its conversion can be undone by hand. False, after a message, when the copy cannot be made:
// the file is then not converted.
bool KeepOldStore(HWND owner, const unsigned char *data, size_t size, int version)
{
    char keptPath[280];
    FormatText(keptPath, sizeof(keptPath), "%s_v%d", storePath, version);
    FileCheck check;
    HANDLE file = CreateFileAnew(keptPath, GENERIC_WRITE, 0, &check);
    DWORD written = 0;
    bool kept = file != INVALID_HANDLE_VALUE && WriteFile(file, data, (DWORD)size, &written, nullptr) &&
                written == size;
    if (file != INVALID_HANDLE_VALUE && !CloseHandle(file))
        kept = false;
    if (kept || ReportUnwrittenFile(owner, check, keptPath))
        return kept;
    char message[700];
    FormatText(message, sizeof(message),
               "Unable to keep a copy of the configuration data file of an older version as:\n\n%s\n\n"
               "The file is converted only once that copy is kept; Velloran ends and leaves it unchanged.",
               keptPath);
    ShowMessageBox(owner, message, kProductName, MB_ICONWARNING);
    return false;
}

int AskToReplace(HWND owner, UINT question)
{
    if (MessageBoxFromResource(owner, question, MB_YESNO | MB_ICONWARNING) != IDYES)
        return 0;
    return CreateEmptyConfigStore(owner);
}

} // namespace

int LoadConfigStore(HWND owner)
{
    unsigned char *data = nullptr;
    size_t size = 0;
    DWORD openError = 0;
    int read = ReadStoreFile(&data, &size, &openError);
    if (read < 0) {
        MessageBoxFromResource(owner, IDS_OUT_OF_MEMORY, MB_ICONWARNING);
        return 0;
    }
    if (read == 0) {
        // Only a store that is not there becomes an empty one without a word; a locked or
        // denied one is kept, and the program does not go on without it.
        if (openError != ERROR_FILE_NOT_FOUND && openError != ERROR_PATH_NOT_FOUND) {
            char message[512];
            FormatText(message, sizeof(message),
                       "Unable to open the configuration data file:\n\n%s", storePath);
            ShowMessageBox(owner, message, kProductName, MB_ICONWARNING);
            return 0;
        }
        char orgPath[280];
        FormatText(orgPath, sizeof(orgPath), "%s_org", storePath);
        FileCheck storeCheck, orgCheck;
        CopyFileChecked(storePath, orgPath, &storeCheck, &orgCheck);
        return CreateEmptyConfigStore(owner);
    }
    // Kept before anything is made of the file: an older version (or a version word that only
    // claims one) may load as records that say something else, or ask to be replaced.
    int version = StoredVersion(data, size);
    if ((version == 1 || version == 2) && !KeepOldStore(owner, data, size, version)) {
        free(data);
        return 0;
    }
    bool upgraded = false;
    LoadOutcome outcome = ParseStore(data, size, &upgraded);
    free(data);
    switch (outcome) {
    case LoadOutcome::Loaded:
        if (upgraded)
            SaveConfigStore(owner);
        return 1;
    case LoadOutcome::OutOfMemory:
        MessageBoxFromResource(owner, IDS_OUT_OF_MEMORY, MB_ICONWARNING);
        return 0;
    case LoadOutcome::UnknownVersion:
        return AskToReplace(owner, IDS_STORE_UNKNOWN_VERSION);
    case LoadOutcome::Corrupt:
        break;
    }
    return AskToReplace(owner, IDS_STORE_CORRUPT);
}
