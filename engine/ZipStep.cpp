// The ZIP step of the job thread: one list file per source root, then one call of the
// compression library per archive.
#include <stdlib.h>
#include <string.h>

#include <new>

#include "CheckedFile.h"
#include "CompressionRequest.h"
#include "ConfigRuntime.h"
#include "DateVariables.h"
#include "ErrorReport.h"
#include "GlobalSettings.h"
#include "JobSteps.h"
#include "LongPath.h"
#include "MirrorPath.h"
#include "MsvcrtFormat.h"
#include "TextConversion.h"
#include "ZipNameIndex.h"
#include "ZipNameRecord.h"
#include "ZipStep.h"

namespace {

char libraryFolder[260];

struct ZipRun {
    FILE *log;
    JobContext *context;
    BackupConfig *config;
    int result;
};

bool IsCancelled(const ZipRun &run)
{
    return IsCancelRequested(run.config) != 0;
}

void CloseListFiles(JobContext *context)
{
    for (int i = 0; i < context->zipOutputCount; ++i) {
        ZipOutput &output = context->zipOutputs[i];
        if (output.listFile != nullptr)
            fclose(output.listFile);
        output.listFile = nullptr;
    }
}

void ReleaseListings(JobContext *context)
{
    CloseListFiles(context);
    for (int i = 0; i < context->zipOutputCount; ++i)
        ReleaseZipNames(&context->zipOutputs[i]);
}

// The output of root, added at the end when it is new; -1 ends the step.
int FindOrAddOutput(ZipRun &run, const char *root, int sourceIndex)
{
    JobContext *context = run.context;
    for (int i = 0; i < context->zipOutputCount; ++i)
        if (_stricmp(context->zipOutputs[i].root, root) == 0)
            return i;
    size_t bytes = sizeof(ZipOutput) * (size_t)(context->zipOutputCount + 1);
    ZipOutput *grown = static_cast<ZipOutput *>(realloc(context->zipOutputs, bytes));
    if (grown == nullptr) {
        WriteText(run.log, "ERROR (2b): Memory allocation error (%d)\n", (int)bytes);
        FreeZipOutputs(context);
        return -1;
    }
    context->zipOutputs = grown;
    ZipOutput &output = grown[context->zipOutputCount++];
    memset(&output, 0, sizeof(output));
    strcpy(output.root, root);
    FormatText(output.listPath, sizeof(output.listPath), "%s%d_%d.txt", dataFolder, run.config->uniqueId,
               sourceIndex);
    FileCheck check;
    output.listFile = OpenCheckedStream(output.listPath, "wt", FILE_SHARE_READ | FILE_SHARE_WRITE, &check);
    LogFileCheck(run.log, check, output.listPath);
    if (output.listFile == nullptr) {
        WriteText(run.log, "ERROR (2c): Unable to open list file for writing: %s\n", output.listPath);
        return -1;
    }
    return context->zipOutputCount - 1;
}

// Lists one file source. 0 ends the step, -1 is a failure of this source only.
int ListFileSource(ZipRun &run, const wchar_t *source, int output)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileLong(source, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        WriteText(run.log, "WARNING (4c): Unable to find file: %ws\n", source);
        return -1;
    }
    FindClose(search);
    if (!BelongsInThisArchive(run.context, source, entry))
        return 1;
    return AddToZipList(run.log, source, run.context, output, GetWriteTime(entry));
}

// The archive's full path: the Compressed folder, the name (tagged with the root when there are
// several roots) and the date variables expanded.
int BuildZipPath(ZipRun &run, ZipOutput &output)
{
    JobContext *context = run.context;
    strcpy(output.zipPath, context->compressedFolder);
    char name[260];
    if (context->zipOutputCount == 1)
        lstrcpynA(name, run.config->compressedFileName, sizeof(name));
    else if (!AddRootToZipName(name, run.config->compressedFileName, &output, run.log))
        return 0;
    if (!CheckJoinedPathLength(output.zipPath, name, 260, run.log))
        return 0;
    strcat(output.zipPath, name);
    if (!ExpandDateVariables(run.config, output.zipPath)) {
        WriteText(run.log, "ERROR: Variable expanded compressed file backup path too long: %s\n", output.zipPath);
        return 0;
    }
    return 1;
}

// The output of every source root, in the order of the sources, with its archive's path, so the
// listing knows what each name holds already. 0 when the step ends here.
int PrepareOutputs(ZipRun &run)
{
    BackupConfig *config = run.config;
    for (int i = 0; i < config->sourceCount; ++i) {
        const char *path = config->sources[i].path;
        if (path[0] == '\0')
            continue;
        char root[260];
        if (!GetZipSourceRoot(run.log, root, path) || FindOrAddOutput(run, root, i) < 0)
            return 0;
    }
    for (int i = 0; i < run.context->zipOutputCount; ++i)
        if (!BuildZipPath(run, run.context->zipOutputs[i]))
            return 0;
    return 1;
}

// Decides whether a date-filtered run lists all files after all: when its archive would replace
// one of the same name, which must go on holding every file, and when the record of what the
// archives since the last full run hold is missing. Otherwise reads that record.
void ChooseFullOrChangedFiles(ZipRun &run)
{
    JobContext *context = run.context;
    if (run.config->dateFilterCount <= 0)
        context->includeAllFiles = 1;
    if (context->includeAllFiles == 1)
        return;
    for (int i = 0; i < context->zipOutputCount; ++i) {
        if (IsZipArchiveMade(context->zipOutputs[i].zipPath)) {
            WriteText(run.log, "The ZIP file exists already, so all files are compressed into it: %s\n",
                      context->zipOutputs[i].zipPath);
            context->includeAllFiles = 1;
            return;
        }
    }
    context->zipArchived = new (std::nothrow) ZipNameIndex;
    if (context->zipArchived != nullptr && ReadZipNameRecord(run.config, context->zipArchived))
        return;
    WriteText(run.log, "No record of the files compressed since the last full ZIP backup, so all files are "
                       "compressed\n");
    delete context->zipArchived;
    context->zipArchived = nullptr;
    context->includeAllFiles = 1;
}

// Lists every source into the list file of its root. 0 when the step ends here.
int ListSources(ZipRun &run)
{
    BackupConfig *config = run.config;
    for (int i = 0; i < config->sourceCount; ++i) {
        if (IsCancelled(run))
            return 0;
        const char *path = config->sources[i].path;
        if (path[0] == '\0')
            continue;
        char root[260];
        GetZipSourceRoot(nullptr, root, path);
        int output = FindOrAddOutput(run, root, i);  // found: PrepareOutputs added every root
        wchar_t *source = AnsiToWideAlloc(path);
        if (source == nullptr) {
            WriteText(run.log, "ERROR: Memory allocation error on source %s\n", path);
            run.result = 0;
            return 0;
        }
        int listed = 1;
        if (source[wcslen(source) - 1] == L'\\') {
            if (!log_folder_to_list(run.log, source, run.context, output)) {
                WriteText(run.log, "WARNING (4b): Unable to list files in folder for compression: %ws\n", source);
                run.result = 0;
            }
        } else {
            listed = ListFileSource(run, source, output);
            if (listed < 0)
                run.result = 0;
        }
        free(source);
        if (listed == 0) {
            run.result = 0;
            return 0;
        }
    }
    return 1;
}

void GetLibraryPath(char *out, size_t outSize, const char *folder)
{
    FormatText(out, outSize, "%s%skvcmpenc.dll", folder,
               folder[0] != '\0' && folder[strlen(folder) - 1] != '\\' ? "\\" : "");
}

// Loads the compression library and finds its export. NULL module when the step ends here.
HMODULE LoadCompressionLibrary(ZipRun &run, RunDLLCommandProc *entry)
{
    char path[300];
    if (libraryFolder[0] != '\0') {
        GetLibraryPath(path, sizeof(path), libraryFolder);
    } else {
        char program[260];
        DWORD length = GetModuleFileNameA(nullptr, program, sizeof(program) - 1);
        program[length < sizeof(program) ? length : sizeof(program) - 1] = '\0';
        char *slash = strrchr(program, '\\');
        if (slash == nullptr) {
            LogLastError("No backslash GMFN", run.log);
            WriteText(run.log, "ERROR: No backslash GMFN\n");
            return nullptr;
        }
        slash[1] = '\0';
        GetLibraryPath(path, sizeof(path), program);
    }
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr) {
        LogLastError("Load Library", run.log);
        WriteText(run.log, "ERROR: Unable to load compression library: kvcmpenc.dll\n");
        return nullptr;
    }
    *entry = reinterpret_cast<RunDLLCommandProc>(reinterpret_cast<void *>(GetProcAddress(module, "RunDLLCommand")));
    if (*entry == nullptr) {
        LogLastError("Get Procedure Address", run.log);
        WriteText(run.log, "ERROR: Unable to find required function in compression library\n");
        FreeLibrary(module);
        return nullptr;
    }
    return module;
}

// The library reads the list relative to the current folder: the (shadowed) root.
int EnterSourceRoot(ZipRun &run, const ZipOutput &output)
{
    wchar_t root[kWidePathChars];
    wchar_t mapped[kWidePathChars];
    AnsiToWideBuffer(root, output.root);
    MapToShadowPathW(run.context, root, mapped, kWidePathChars);
    if (SetCurrentDirectoryW(mapped))
        return 1;
    LogLastError("Set Current Directory", run.log);
    char mappedText[1024];
    WideToAnsiBuffer(mappedText, sizeof(mappedText), mapped);
    WriteText(run.log, "ERROR: Unable to set current directory for compression:\n\t%s\n\t%s\n", output.root,
              mappedText);
    return 0;
}

// So the job log carries this call's compression log only.
void EmptyCompressionLog(FILE *log, const char *path)
{
    FileCheck check;
    FILE *file = OpenCheckedStream(path, "w", FILE_SHARE_READ | FILE_SHARE_WRITE, &check);
    LogFileCheck(log, check, path);
    if (file == nullptr) {
        WriteText(log, "WARNING: Unable to empty the compression log: %s\n", path);
        return;
    }
    fclose(file);
}

struct CallBlock {
    char commandLine[1024];
    char logPath[260];
    char message[256];
    char volumeSwitch[64];
    char passwordSwitch[384];
    CompressionRequest request;
};

void WipeCallBlock(CallBlock &block)
{
    SecureZeroMemory(block.passwordSwitch, sizeof(block.passwordSwitch));
    SecureZeroMemory(block.commandLine, sizeof(block.commandLine));
}

// Puts the archive the library wrote under the temporary name in place of the previous one.
int PlaceNewArchive(ZipRun &run, ZipOutput &output, const char *temporary, int code, const CallBlock &block,
                    bool logCopied)
{
    if (UsesZipVolumes(run.context))
        RenameSinglePartZip(temporary);
    // Only an archive that is there counts as made: the later steps send what was made,
    // and a name without a file would stop them sending the other roots' archives.
    if (!IsZipArchiveMade(temporary)) {
        if (!logCopied)
            CopyCompressionLog(run.log, block.logPath);
        WriteText(run.log, "ERROR (%d): Compression library made no archive: %s\n", code, output.zipPath);
        return 0;
    }
    if (!ReplaceOldZipFiles(temporary, output.zipPath, run.log, run.context))
        return 0;
    output.created = 1;
    return 1;
}

// Makes the archive of one output. 0 stops the loop (result set); 1 goes on.
int CompressOutput(ZipRun &run, int index, CallBlock &block, RunDLLCommandProc runCommand)
{
    JobContext *context = run.context;
    ZipOutput &output = context->zipOutputs[index];
    SetProgressPercent(run.config, 0);
    char status[64];
    FormatText(status, sizeof(status), "Compressing %d of %d", index + 1, context->zipOutputCount);
    SetStatusText(run.config, status);
    if (IsCancelled(run))
        return 0;
    // What a run killed while compressing left under the temporary name would mix with the
    // new archive's parts.
    char temporary[kZipFileNameSize];
    MakeTemporaryZipPath(output.zipPath, temporary, sizeof(temporary));
    if (!DeleteTemporaryZipFiles(temporary, run.log)) {
        run.result = 0;
        return 0;
    }
    // With no file listed there is no new archive; an earlier one of this name stays.
    if (output.fileCount == 0) {
        WriteText(run.log, "Skipping creation of empty ZIP file: %s\n", output.zipPath);
        return 1;
    }
    FormatText(block.commandLine, sizeof(block.commandLine), "fake.exe a -tzip -scsUTF-8 -ssw %s%s\"%s\" @\"%s\"",
               block.volumeSwitch, block.passwordSwitch, temporary, output.listPath);
    if (gSettings.logVerbose)
        WriteText(run.log, "Creating compressed file:\n\tOutput: %s\n\tSource: %s\n\tVolume switch: %s\n",
                  output.zipPath, output.listPath, block.volumeSwitch);
    if (!EnterSourceRoot(run, output)) {
        run.result = 0;
        return 0;
    }
    if (IsCancelled(run))
        return 0;
    EmptyCompressionLog(run.log, block.logPath);
    block.message[0] = '\0';
    fflush(run.log);
    int code = runCommand(&block.request);
    SecureZeroMemory(block.commandLine, sizeof(block.commandLine));
    bool made = code == CompressionOk || code == CompressionWarnings;
    if (IsCancelled(run)) {
        DeleteTemporaryZipFiles(temporary, run.log);
        return 0;
    }
    bool copied = gSettings.logCompression == 1;
    if (copied)
        CopyCompressionLog(run.log, block.logPath);
    if (!made || !PlaceNewArchive(run, output, temporary, code, block, copied)) {
        // The library removes what it wrote when it fails; this clears what it could not,
        // unless the files are those of a replacement the next step finishes.
        if (!IsZipSwapPending(output.zipPath))
            DeleteTemporaryZipFiles(temporary, run.log);
        if (made) {
            run.result = 0;
            return 0;
        }
    }
    if (code == CompressionOk) {
        // A split archive is its parts: the line names the first, which opens the archive.
        char made[kZipFileNameSize];
        FormatZipPartName(made, sizeof(made), output.zipPath, 1);
        WriteText(run.log, "Compressed file created successfully: %s\n",
                  IsZipFilePresent(output.zipPath) ? output.zipPath : made);
        SetProgressPercent(run.config, 100);
        return 1;
    }
    if (!copied)
        CopyCompressionLog(run.log, block.logPath);
    LogCompressionResult(run.log, code, block.message);
    run.result = 0;
    return 0;
}

// Makes the archive of every output through the library.
void CompressOutputs(ZipRun &run, RunDLLCommandProc runCommand)
{
    CallBlock *block = static_cast<CallBlock *>(calloc(1, sizeof(CallBlock)));
    if (block == nullptr) {
        WriteText(run.log, "ERROR: Unable to allocate buffer: %s\n", "compression request");
        run.result = 0;
        return;
    }
    BuildVolumeSwitch(run.context, block->volumeSwitch);
    if (!BuildPasswordSwitch(run.config, block->passwordSwitch, run.log)) {
        run.result = 0;
        free(block);
        return;
    }
    FormatText(block->logPath, sizeof(block->logPath), "%scompress.txt", dataFolder);
    block->request.commandLine = block->commandLine;
    block->request.cancelFlag = reinterpret_cast<volatile char *>(&run.config->cancelRequested);
    block->request.logPath = block->logPath;
    block->request.verbose = gSettings.logCompression == 1 ? 1 : 0;
    block->request.messageBuffer = block->message;
    block->request.progress = run.context->progress;
    for (int i = 0; i < run.context->zipOutputCount; ++i) {
        if (IsCancelled(run))
            break;
        if (!CompressOutput(run, i, *block, runCommand))
            break;
    }
    WipeCallBlock(*block);
    free(block);
}

} // namespace

void SetCompressionLibraryFolder(const char *folder)
{
    lstrcpynA(libraryFolder, folder != nullptr ? folder : "", sizeof(libraryFolder));
}

void FreeZipOutputs(JobContext *context)
{
    ReleaseListings(context);
    free(context->zipOutputs);
    context->zipOutputs = nullptr;
    context->zipOutputCount = 0;
}

int CreateZipArchives(FILE *log, JobContext *context)
{
    BackupConfig *config = context->config;
    if (IsCancelRequested(config))
        return 1;
    int32_t dateFlags = config->dateFilterFlags;
    context->includeAllFiles =
        (dateFlags & AlwaysAll) ||
                ((dateFlags & EveryNAll) && (config->dateFilterCount == 0 ||
                                             config->dateFilterCount >= config->fullBackupEvery))
            ? 1
            : 0;
    FreeZipOutputs(context);
    ZipRun run = {log, context, config, 1};
    // Before anything else: what a killed run left half replaced.
    if (context->compressedFolder[0] != '\0' && !FinishPendingZipSwaps(context->compressedFolder, log))
        return 0;
    bool listed = PrepareOutputs(run) != 0;
    if (listed) {
        ChooseFullOrChangedFiles(run);
        listed = ListSources(run) != 0;
    } else {
        run.result = 0;
    }
    CloseListFiles(context);
    if (listed && context->zipOutputCount > 0 && !IsCancelled(run)) {
        RunDLLCommandProc runCommand = nullptr;
        HMODULE module = LoadCompressionLibrary(run, &runCommand);
        if (module == nullptr)
            run.result = 0;
        else if (!IsCancelled(run))
            CompressOutputs(run, runCommand);
        if (module != nullptr)
            FreeLibrary(module);
    }
    if (run.result == 1 && !IsCancelled(run) &&
        !WritePendingZipNameRecord(log, context, context->includeAllFiles == 1 ? nullptr : context->zipArchived))
        run.result = 0;
    ReleaseListings(context);
    delete context->zipArchived;
    context->zipArchived = nullptr;
    return run.result;
}
