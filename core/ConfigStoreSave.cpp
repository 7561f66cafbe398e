// Writing the store: into a temporary file beside it, which replaces the store only when every
// byte was written, so a crash or a full disk never leaves a truncated store. The temporary file
// is made anew and renamed through its own handle (CheckedFile.h), since the data folder is the
// user's and the program runs elevated.
#include "ConfigStore.h"

#include <stdlib.h>

#include "CheckedFile.h"
#include "ConfigRecordFormat.h"
#include "ConfigTable.h"
#include "ErrorReport.h"
#include "GlobalSettings.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "resource.h"

unsigned char storeHeader[8] = {'v', 'l', 'r', 0, 3, 0, 0, 0};

void GetStoreTempPath(char *out, size_t outSize)
{
    FormatText(out, outSize, "%s.tmp", storePath);
}

static bool WriteAll(HANDLE file, const void *data, size_t size)
{
    DWORD written = 0;
    return WriteFile(file, data, (DWORD)size, &written, nullptr) && written == size;
}

static void PutInt(unsigned char *out, int32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = (unsigned char)((uint32_t)value >> (8 * i));
}

static bool WriteRecordArrays(HANDLE file, const BackupConfig *config, unsigned char *scratch)
{
    for (int i = 0; i < config->sourceCount; ++i) {
        EncodeSourceItem(&config->sources[i], scratch);
        if (!WriteAll(file, scratch, kSourceEntrySizeV3))
            return false;
    }
    if (config->extensionCount > 0 &&
        !WriteAll(file, config->extensions, (size_t)config->extensionCount * kExtensionEntrySize))
        return false;
    if (config->excludedCount > 0 &&
        !WriteAll(file, config->excludedItems, (size_t)config->excludedCount * kExcludedEntrySizeV3))
        return false;
    return true;
}

static bool WriteStoreContents(HANDLE file)
{
    unsigned char counts[8];
    PutInt(counts, configTable.configCount);
    PutInt(counts + 4, configTable.lastUniqueId);
    if (!WriteAll(file, storeHeader, sizeof(storeHeader)) || !WriteAll(file, counts, sizeof(counts)))
        return false;
    unsigned char *scratch = (unsigned char *)malloc(kRecordSizeV3);
    if (scratch == nullptr)
        return false;
    bool written = true;
    for (int i = 0; i < configTable.configCount && written; ++i) {
        EncodeConfigRecord(ConfigAt(i), scratch);
        written = WriteAll(file, scratch, kRecordSizeV3);
    }
    for (int i = 0; i < configTable.configCount && written; ++i)
        written = WriteRecordArrays(file, ConfigAt(i), scratch);
    free(scratch);
    return written && FlushFileBuffers(file);
}

static int ReportOpenForWritingFailed(HWND owner)
{
    MessageBoxFromResource(owner, IDS_STORE_OPEN_WRITE_ERROR, MB_ICONWARNING);
    char message[512];
    char path[388];
    lstrcpynA(path, storePath, sizeof(path));
    FormatText(message, sizeof(message),
               "Please make sure the following file is not marked Read-Only:\n\n%s", path);
    ShowMessageBox(owner, message, kProductName, MB_OK);
    return 0;
}

bool ReportUnwrittenFile(HWND owner, const FileCheck &check, const char *path)
{
    char line[2400];
    if (check.outcome == kFileAccepted || !FormatFileCheck(check, path, line, sizeof(line)))
        return false;
    ShowMessageBox(owner, line, kProductName, MB_ICONWARNING);
    return true;
}

int SaveConfigStore(HWND owner)
{
    // Renaming over a read-only store succeeds on some systems; a read-only store is refused
    // everywhere, as opening it for writing would be.
    DWORD attributes = GetFileAttributesA(storePath);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return ReportOpenForWritingFailed(owner);
    char tempPath[280];
    GetStoreTempPath(tempPath, sizeof(tempPath));
    FileCheck check;
    HANDLE file = CreateFileAnew(tempPath, GENERIC_WRITE | DELETE, 0, &check);
    if (file == INVALID_HANDLE_VALUE)
        return ReportUnwrittenFile(owner, check, tempPath) ? 0 : ReportOpenForWritingFailed(owner);
    if (!WriteStoreContents(file)) {
        DeleteThroughHandle(file);
        CloseHandle(file);
        MessageBoxFromResource(owner, IDS_STORE_WRITE_ERROR, MB_ICONWARNING);
        return 0;
    }
    if (!RenameThroughHandle(file, storePath)) {
        DeleteThroughHandle(file);
        CloseHandle(file);
        return ReportOpenForWritingFailed(owner);
    }
    CloseHandle(file);
    return 1;
}

int CreateEmptyConfigStore(HWND owner)
{
    storeHeader[0] = 'v';
    storeHeader[1] = 'l';
    storeHeader[2] = 'r';
    PutInt(storeHeader + 4, 3);
    ClearConfigTable();
    configTable.lastUniqueId = 0;
    SaveConfigStore(owner);
    return 1;
}
