// Burning after the backup: the staging area once, or each ZIP volume on a disc of its own.
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "DiscBurning.h"
#include "DiscPlatform.h"
#include "ErrorReport.h"
#include "GlobalSettings.h"
#include "MessageBoxSeam.h"
#include "MirrorPath.h"
#include "MsvcrtFormat.h"
#include "TextConversion.h"
#include "ZipStep.h"

namespace {

// The staging folder that receives the volumes: under the configured destination's folder path
// when it is a drive path, written as configured (date variables unexpanded).
int BuildSpanningFolder(const JobContext *context, char *folder, size_t folderSize, FILE *log)
{
    const char *destination = context->config->destination;
    lstrcpynA(folder, context->stagingFolder, (int)folderSize);
    if (strlen(destination) <= 3 || destination[1] != ':' || destination[2] != '\\')
        return 1;
    wchar_t *path = AnsiToWideAlloc(destination + 3);
    if (path == nullptr) {
        WriteText(log, "ERROR (34d): Memory allocation error\n");
        return 0;
    }
    static thread_local wchar_t built[kWidePathChars];
    int madeIt = BuildMirrorPath(context->stagingFolder, path, log, 1, built, 260, 0);
    free(path);
    if (!madeIt)
        return 0;
    WideToAnsiBuffer(folder, folderSize, built);
    return 1;
}

// Moves one volume into the staging folder and burns its disc. 0 on any failure or cancel.
int BurnVolume(JobContext *context, CdBurner &burner, const char *volume, int number, int count, FILE *log)
{
    BackupConfig *config = context->config;
    if (IsCancelRequested(config))
        return 0;
    char folder[260];
    if (!BuildSpanningFolder(context, folder, sizeof(folder), log))
        return 0;
    const char *slash = strrchr(volume, '\\');
    if (slash == nullptr) {
        WriteText(log, "ERROR (34e): Missing backslash error: %s\n", volume);
        return 0;
    }
    const char *name = slash + 1;
    if (strlen(folder) + strlen(name) >= 260) {
        WriteText(log, "ERROR (34f): Path too long error:\n\tFolder: %s\n\tFile: %s\n", folder, name);
        return 0;
    }
    char target[260];
    FormatText(target, sizeof(target), "%s%s", folder, name);
    if (!MoveFileA(volume, target)) {
        LogLastError("Move File", log);
        WriteText(log, "ERROR (34g): Failed to move file:\n\tFrom: %s\n\tTo: %s\n", volume, target);
        return 0;
    }
    if (IsCancelRequested(config))
        return 0;
    char text[256];
    FormatText(text, sizeof(text), "Ready to burn disc %d of %d\n\nPress 'OK' to continue\nPress 'Cancel' to abort",
               number, count);
    if (ShowMessageBox(mainWindow, text, kProductName, MB_OKCANCEL) != IDOK) {
        SetCancelRequested(config, 1);
        return 0;
    }
    FormatText(text, sizeof(text), "Burning disc %d of %d", number, count);
    SetStatusText(config, text);
    HRESULT result = burner.Burn(mainWindow);
    if (FAILED(result)) {
        WriteText(log, "ERROR (0x%08X): Burning failed on disc %d of %d.\n", (unsigned)result, number, count);
        return 0;
    }
    if (gSettings.logVerbose)
        WriteText(log, "Burned spanning disc file %d: %s\n", number, target);
    SetProgressPercent(config, (int)(number * 100.0 / count));
    return 1;
}

}  // namespace

int BurnStagingArea(FILE *log)
{
    std::unique_ptr<CdBurner> burner;
    HRESULT result = CurrentDiscPlatform().CreateCdBurner(&burner);
    if (FAILED(result) || !burner) {
        WriteText(log, "ERROR (2): Failed to initialize burning interface (0x%08X)\n", (unsigned)result);
        return 0;
    }
    result = burner->Burn(mainWindow);
    if (FAILED(result)) {
        WriteText(log, "ERROR (0x%08X): Burning failed.\n", (unsigned)result);
        return 0;
    }
    return 1;
}

int BurnSpanningDiscs(JobContext *context, FILE *log)
{
    int count = 0;
    ZipVolumePath *volumes = nullptr;
    if (!ListZipVolumes(context, log, &count, &volumes)) {
        WriteText(log, "ERROR (35b): Failed to find ZIP files for spanning\n");
        return 0;
    }
    if (count == 0) {
        free(volumes);
        WriteText(log, "No ZIP files need burning\n");
        return 1;
    }
    std::unique_ptr<CdBurner> burner;
    HRESULT result = CurrentDiscPlatform().CreateCdBurner(&burner);
    if (FAILED(result) || !burner) {
        free(volumes);
        WriteText(log, "ERROR (3b): Failed to initialize burning interface (0x%08X)\n", (unsigned)result);
        return 0;
    }
    int burned = 1;
    for (int i = 0; i < count && burned; ++i)
        burned = BurnVolume(context, *burner, volumes[i], i + 1, count, log);
    free(volumes);
    return burned;
}
