#include "JobThread.h"

#include <objbase.h>
#include <new>
#include <stdlib.h>
#include <string.h>

#include "Calendar.h"
#include "CleanupPasses.h"
#include "Clock.h"
#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "DateVariables.h"
#include "DiscBurning.h"
#include "DisplayFormats.h"
#include "ExternalProgram.h"
#include "FileChange.h"
#include "FolderHelpers.h"
#include "GlobalSettings.h"
#include "JobContext.h"
#include "JobLog.h"
#include "JobOptionsLog.h"
#include "JobShell.h"
#include "JobSteps.h"
#include "ListingCache.h"
#include "LongPath.h"
#include "MirrorCopy.h"
#include "MirrorPath.h"
#include "RemoteSteps.h"
#include "ShadowCopyClient.h"
#include "MsvcrtFormat.h"
#include "SafeFileCopy.h"
#include "SizeCalculation.h"
#include "TextConversion.h"
#include "TextHelpers.h"
#include "WalkBounds.h"
#include "ZipNameRecord.h"

namespace {

struct JobRun {
    JobContext context;
    JobLogFile log;
    int code;               // the result so far: 0, 3 or an early end's 5, 6, 7
    int nameIsEmpty;        // the backup folder is the expanded destination itself
};

bool IsCancelled(const JobRun &run)
{
    return IsCancelRequested(run.context.config) != 0;
}

void LogSourceSizes(JobRun &run)
{
    BackupConfig *config = run.context.config;
    FILE *log = run.log.stream;
    char size[64];
    char count[64];
    for (int i = 0; i < config->sourceCount; ++i) {
        const SourceItem &source = config->sources[i];
        FormatByteSize(size, sizeof(size), source.totalBytes);
        FormatThousands(count, sizeof(count), source.fileCount);
        WriteText(log, "Source: %s\n", source.path);
        WriteText(log, "\tSize  : %s\n", size);
        WriteText(log, "\tFiles : %s\n", count);
    }
    FormatByteSize(size, sizeof(size), run.context.totalBytes);
    FormatThousands(count, sizeof(count), run.context.totalFiles);
    WriteText(log, "Total Size  : %s\n", size);
    WriteText(log, "Total Files : %s\n", count);
}

// The backup folder, named after the configuration, and its Revisions, Deleted and Compressed
// subfolders. 0 ends the job.
int PrepareBackupFolders(JobRun &run)
{
    JobContext &context = run.context;
    BackupConfig *config = context.config;
    FILE *log = run.log.stream;
    strcpy(context.backupFolder, context.destination);
    if (!ExpandDateVariables(config, context.backupFolder)) {
        WriteText(log, "ERROR: Variable expanded backup path too long: %s\n", context.destination);
        return 0;
    }
    if (!verify_directoryA(context.backupFolder, log))
        return 0;
    size_t destinationLength = strlen(context.backupFolder);
    if (!AppendBackupFolderName(config, context.backupFolder, log))
        return 0;
    run.nameIsEmpty = strlen(context.backupFolder) == destinationLength;
    if (!verify_directoryA(context.backupFolder, log))
        return 0;
    struct Subfolder {
        bool wanted;
        const char *word;
        char *folder;
    } subfolders[] = {
        {(config->flags & 0x5) == 0x5, "Revisions", context.revisionsFolder},
        {(config->flags & 0x6) == 0x6, "Deleted", context.deletedFolder},
        {(config->flags & Compressed) != 0, "Compressed", context.compressedFolder},
    };
    for (const Subfolder &subfolder : subfolders) {
        if (!subfolder.wanted)
            continue;
        if (!CheckJoinedPathLength(context.backupFolder, subfolder.word, 260, log))
            return 0;
        FormatText(subfolder.folder, 260, "%s%s\\", context.backupFolder, subfolder.word);
        if (!verify_directoryA(subfolder.folder, log))
            return 0;
    }
    return 1;
}

// What the walks of the sources leave out, and a source that lies in the backup folder, which
// ends the job before anything is copied: the mirror would be copied into its own source, and
// the clean-up passes would take the source for a part of the backup. 0 ends the job.
int PrepareWalkBounds(JobRun &run)
{
    JobContext &context = run.context;
    BackupConfig *config = context.config;
    wchar_t *backupFolder = AnsiToWideAlloc(context.backupFolder);
    if (backupFolder != nullptr)
        context.walkBounds = new (std::nothrow) WalkBounds(backupFolder);
    free(backupFolder);
    if (context.walkBounds == nullptr) {
        WriteText(run.log.stream, "ERROR: Unable to allocate buffer: %s\n", context.backupFolder);
        return 0;
    }
    for (int i = 0; i < config->sourceCount; ++i) {
        const char *path = config->sources[i].path;
        wchar_t *source = path[0] != '\0' ? AnsiToWideAlloc(path) : nullptr;
        bool inside = source != nullptr && context.walkBounds->IsInBackupFolder(source);
        free(source);
        if (inside) {
            WriteText(run.log.stream, "ERROR: Source lies inside the backup folder %s: %s\n", context.backupFolder,
                      path);
            return 0;
        }
    }
    return 1;
}

// Mirrors one source into the backup folder. 0 when it failed (the job goes on with Warnings).
int MirrorSource(JobRun &run, int index, const wchar_t *source)
{
    JobContext &context = run.context;
    BackupConfig *config = context.config;
    FILE *log = run.log.stream;
    static thread_local wchar_t mirror[kWidePathChars];
    if (!BuildMirrorPath(context.backupFolder, source, log, 1, mirror, kWidePathChars, 1))
        return 0;
    int sourceKind = 0;
    int destinationKind = 0;
    char sourceSystem[128];
    char destinationSystem[128];
    GetVolumeFileSystemKind(config->sources[index].path, &sourceKind, sourceSystem);
    GetVolumeFileSystemKind(context.destination, &destinationKind, destinationSystem);
    context.allowedTimeDelta = ChooseAllowedTimeDelta(sourceKind, destinationKind, gSettings.likeDriveTimeDelta);
    if (gSettings.logVerbose)
        WriteText(log, "Uncompressed Backup Up Source:\n\t%s\n\t%s\n", config->sources[index].path, sourceSystem);
    const volatile uint8_t *cancel = &config->cancelRequested;
    size_t length = wcslen(source);
    if (source[length - 1] == L'\\') {
        if (!BackupFolder(log, source, mirror, config->extensions, config->extensionCount, config->filterFlags, cancel,
                          &context))
            return 0;
        return CheckFolderForDeletedItems(log, source, mirror, cancel, &context);
    }
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileLong(source, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        WriteText(log, "WARNING: Unable to find file: %ws\n", source);
        return 0;
    }
    FindClose(search);
    if (!CheckJoinedPathLengthW(mirror, entry.cFileName, kWidePathChars + 1, log))
        return 0;
    wcscat(mirror, entry.cFileName);
    return BackupFile(source, mirror, log, &entry, &context);
}

// Mirrors every source; 0 when the job was stopped.
int MirrorSources(JobRun &run)
{
    BackupConfig *config = run.context.config;
    SetStatusText(config, "Uncompressed Files/Folders");
    run.context.unlistedSources = static_cast<uint8_t *>(calloc((size_t)(config->sourceCount + 1), 1));
    for (int i = 0; i < config->sourceCount; ++i) {
        if (IsCancelled(run))
            return 0;
        const char *path = config->sources[i].path;
        if (path[0] == '\0')
            continue;
        wchar_t *source = AnsiToWideAlloc(path);
        if (source == nullptr) {
            WriteText(run.log.stream, "ERROR: Unable to allocate buffer: %s\n", path);
            run.code = 3;
            continue;
        }
        if (!MirrorSource(run, i, source)) {
            run.code = 3;
            // Whatever went wrong in a folder source, the exclusion pass leaves its mirror alone.
            if (run.context.unlistedSources != nullptr && source[wcslen(source) - 1] == L'\\')
                run.context.unlistedSources[i] = 1;
        }
        free(source);
        if (IsCancelled(run))
            return 0;
    }
    return 1;
}

void WriteStatistics(JobRun &run)
{
    const JobContext &c = run.context;
    FILE *log = run.log.stream;
    char files[64];
    char bytes[64];
    struct Line {
        const char *format;
        int count;
        double size;
    } lines[] = {
        {"\tTotal : %s / %s\n", c.filesTotal, c.bytesTotal},
        {"\t\tNot Changed : %s / %s\n", c.filesNotChanged, c.bytesNotChanged},
        {"\t\tChanged     : %s / %s\n", c.filesChanged, c.bytesChanged},
        {"\t\t\tCopied Successfully : %s / %s\n", c.filesCopied, c.bytesCopied},
        {"\t\t\tCopy Failed         : %s / %s\n", c.filesFailed, c.bytesFailed},
    };
    WriteText(log, "Uncompressed File/Folder Backup Statistics (# Files / Size):\n");
    for (const Line &line : lines) {
        FormatThousands(files, sizeof(files), line.count);
        FormatByteSize(bytes, sizeof(bytes), line.size);
        WriteText(log, line.format, files, bytes);
    }
    WriteText(log, "Revisions and Deleted File Statistics (# Files):\n");
    if ((c.config->flags & SaveRevisions) && c.config->revisionCount >= 1) {
        FormatThousands(files, sizeof(files), c.revisedCount);
        WriteText(log, "\tRevised : %s\n", files);
    } else {
        WriteText(log, "\tNot Saving Revisions\n");
    }
    FormatThousands(files, sizeof(files), c.deletedCount);
    WriteText(log, "\tDeleted From Backup: %s\n", files);
}

void RemoveExcludedItems(JobRun &run)
{
    FILE *log = run.log.stream;
    if (run.nameIsEmpty) {
        // The backup folder is the destination itself, which may hold other things.
        WriteText(log, "WARNING: Configuration name is empty, so the backup folder is the destination itself; "
                       "excluded items are not removed\n");
        return;
    }
    if (!RemoveExcludedFromBackup(log, &run.context)) {
        WriteText(log, "WARNING: Excluded item removal did not complete successfully\n");
        run.code = 3;
    }
}

void RunCompressedSteps(JobRun &run)
{
    BackupConfig *config = run.context.config;
    FILE *log = run.log.stream;
    SetProgressPercent(config, 0);
    SetStatusText(config, "Compressed ZIP");
    if (!CreateZipArchives(log, &run.context)) {
        WriteText(log, "WARNING(1B): Creating compressed backup zip completed with errors or warnings\n");
        run.code = 3;
    }
    fflush(log);
    if (config->flags & RemoteFtp) {
        SetProgressPercent(config, 0);
        SetStatusText(config, "FTP backup");
        if (!CurrentRemoteSteps().UploadVolumesByFtp(log, &run.context)) {
            WriteText(log, "WARNING(1C): Uploading compressed backup via FTP failed\n");
            run.code = 3;
        }
    }
    if (config->flags & RemoteEmail) {
        SetProgressPercent(config, 0);
        SetStatusText(config, "Email backup");
        if (!CurrentRemoteSteps().SendVolumesByMail(log, &run.context)) {
            WriteText(log, "WARNING(1D): Emailing compressed backup failed\n");
            run.code = 3;
        }
    }
}

// The job from its header in the open log to its result code: the programs before and after,
// shadow copies, sizes, folders, mirror, archives, off-site steps and burning. The caller then
// releases the shadow copies and writes the footer.
void RunOpenedJob(JobRun &run)
{
    JobContext &context = run.context;
    BackupConfig *config = context.config;
    FILE *log = run.log.stream;
    const volatile uint8_t *cancel = &config->cancelRequested;
    WriteText(log, "************************** Backup Job Started **************************\n");
    WriteText(log, "Configuration: %s\n", config->description);
    SYSTEMTIME startLocal;
    GetLocalNow(&startLocal);
    GetUtcNow(&context.startUtc);
    char started[128];
    FormatSystemTime(started, sizeof(started), &startLocal);
    WriteText(log, "Started: %s\n", started);
    LogJobOptions(log, config);
    SetStatusText(config, "Initializing");
    if (!(config->flags & (Uncompressed | Compressed))) {
        run.code = 7;
        return;
    }
    // The backup folder is named after the description: one that cannot be a folder's name of
    // its own would name the destination's parent, or another folder, as the backup folder.
    if (!IsOwnFolderName(config->description)) {
        WriteText(log, "ERROR: The description cannot name a backup folder (it is \".\" or \"..\", or ends in a "
                       "dot or a space): %s\n",
                  config->description);
        return;
    }
    if (config->flags & RunProgramBefore) {
        SetStatusText(config, "Job Running Before Backup");
        RunExternalProgram(config->programBefore, cancel, log);
    }
    if (IsCancelled(run))
        return;
    if (!CreateShadowCopies(log, &context)) {
        WriteText(log, "ERROR: Creation of shadow copy failed\n");
        return;
    }
    if (IsCancelled(run))
        return;
    ComputeConfigSize(config, cancel, &context.totalBytes, &context.totalFiles);
    if (IsCancelled(run))
        return;
    CurrentJobShell().RefreshJobCell(FindConfigById(config->uniqueId), JobCell::Size);
    if (gSettings.logVerbose)
        LogSourceSizes(run);
    run.code = PrepareDiscDestination(&context, log) ? 0 : 3;
    if (IsCancelled(run) || !PrepareBackupFolders(run) || !PrepareWalkBounds(run))
        return;
    // Before anything reads the backup folder (a disc burns it as it lies).
    RemoveCopyWorkLeftovers(&context);
    int destinationKind = 0;
    char destinationSystem[128];
    GetVolumeFileSystemKind(context.destination, &destinationKind, destinationSystem);
    if (gSettings.logVerbose)
        WriteText(log, "Final Backup Destination:\n\t%s\n\t%s\n", context.backupFolder, destinationSystem);
    if (config->flags & Uncompressed) {
        // The walk's listings serve the deleted-items pass after it.
        GetListingCache(&context);
        int mirrored = MirrorSources(run);
        // The copies are done: nothing of the work folder goes into an archive or onto a disc.
        ReleaseCopyWork(&context);
        ReleaseListingCache(&context);
        if (!mirrored)
            return;
        if (gSettings.removeExcluded)
            RemoveExcludedItems(run);
        WriteStatistics(run);
    }
    fflush(log);
    if (config->flags & Compressed)
        RunCompressedSteps(run);
    if (context.burnToDisc) {
        SetProgressPercent(config, 0);
        SetStatusText(config, "Burning to disc");
        int burned = context.spanDiscs ? BurnSpanningDiscs(&context, log) : BurnStagingArea(log);
        if (!burned) {
            run.code = 3;
            return;
        }
        WriteText(log, context.spanDiscs ? "Spanning disc burning completed without errors.\n"
                                         : "Disc burning completed without errors.\n");
        SetProgressPercent(config, 100);
    }
    if (config->flags & RunProgramAfter) {
        SetStatusText(config, "Job Running After Backup");
        RunExternalProgram(config->programAfter, cancel, log);
    }
    if (context.warningsNoted > 0 && run.code == 0)
        run.code = 3;
    if (run.code == 0 && !IsCancelled(run)) {
        // A run is counted with the record of what it archived; without it, it is not counted.
        if ((config->flags & Compressed) && !CommitZipNameRecord(log, config)) {
            run.code = 3;
            return;
        }
        run.code = 1;
        if (config->flags & Compressed) {
            config->lastCompressedRunTime = context.startUtc;
            config->dateFilterCount = context.includeAllFiles == 1 ? 1 : config->dateFilterCount + 1;
        }
    }
}

void WriteFooter(JobRun &run, int result)
{
    FILE *log = run.log.stream;
    char word[64];
    char finished[128];
    SYSTEMTIME now;
    GetJobResultText(result, word, sizeof(word));
    GetLocalNow(&now);
    FormatSystemTime(finished, sizeof(finished), &now);
    WriteText(log, "Job Result: %s\n", word);
    WriteText(log, "Finished: %s\n", finished);
    WriteText(log, "************************** Backup Job Finished *************************\n\n");
    if (CurrentRemoteSteps().IsResultMailDue(run.context.config)) {
        SetStatusText(run.context.config, "E-mailing Job Result");
        CurrentRemoteSteps().SendJobResultMail(log, run.context.config);
    }
}

} // namespace

DWORD WINAPI RunBackupJob(LPVOID record)
{
    JobRun *run = static_cast<JobRun *>(calloc(1, sizeof(JobRun)));
    BackupConfig *config = static_cast<BackupConfig *>(record);
    if (run == nullptr) {
        int id = config->uniqueId;
        config->lastResult = (int32_t)JobResult::Failed;
        SetSmtpSocket(config, -1);
        SetUploadHandle(config, nullptr);
        SetConfigRunning(config, 0);
        CurrentJobShell().NotifyJobFinished(id);
        return (DWORD)JobResult::Failed;
    }
    JobContext &context = run->context;
    context.config = config;
    context.progress = &config->progressPercent;
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    SetJobLogAside(&run->log, dataFolder, config->uniqueId);
    if (!IsCancelled(*run)) {
        if (!OpenJobLog(&run->log))
            run->code = 5;
        else if (!(config->flags & Enabled))
            run->code = 6;
        else if (!IsCancelled(*run))
            RunOpenedJob(*run);
    }
    ReleaseCopyWork(&context);
    ReleaseListingCache(&context);
    // A library that keeps the shadow copies past the limit may still hold a volume: the
    // backup is made, but not cleanly.
    bool released = ReleaseShadowCopies(run->log.stream, &context);
    if (!released && run->code == 1)
        run->code = 3;
    if (SUCCEEDED(com))
        CoUninitialize();
    int result = IsCancelled(*run) ? 4 : run->code != 0 ? run->code : 2;
    config->lastResult = result;
    if (run->log.stream != nullptr)
        WriteFooter(*run, result);
    CloseJobLog(&run->log);
    if (context.zipOutputs != nullptr && context.zipOutputCount > 0)
        FreeZipOutputs(&context);
    free(context.unlistedSources);
    delete context.walkBounds;
    // The request block lies in run; a library thread that has not ended may still write it.
    if (released)
        free(run);
    // Everything needed after the record is let go is copied first.
    int id = config->uniqueId;
    JobShell &shell = CurrentJobShell();
    SetSmtpSocket(config, -1);
    SetUploadHandle(config, nullptr);
    SetConfigRunning(config, 0);
    shell.NotifyJobFinished(id);
    return (DWORD)result;
}
