// The disc check: is the destination the default recorder, what does its disc hold, and does
// the backup go to the staging area once or across several discs.
#include <ctype.h>
#include <stdarg.h>
#include <string.h>

#include <memory>

#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "DiscBurning.h"
#include "DiscPlatform.h"
#include "DriveInquiry.h"
#include "GlobalSettings.h"
#include "MessageBoxSeam.h"
#include "MirrorPath.h"
#include "MsvcrtFormat.h"

namespace {

const HRESULT kNotOpened = (HRESULT)0x8004020B;
const HRESULT kNotInitialized = (HRESULT)0x8004020C;
const HRESULT kNoMedium = (HRESULT)0x8004020F;
const HRESULT kRecorderReserved = (HRESULT)0x80040212;
const HRESULT kDeviceNotPresent = (HRESULT)0x80040213;

void LogMediaType(FILE *log, HRESULT result, long type, long flags)
{
    if (FAILED(result)) {
        const char *name = result == kNotInitialized    ? "IMAPI_E_NOTINITIALIZED\n"
                           : result == kNotOpened        ? "IMAPI_E_NOTOPENED\n"
                           : result == kDeviceNotPresent ? "IMAPI_E_DEVICE_NOTPRESENT\n"
                                                         : "Unknown error.\n";
        WriteText(log, "ERROR on QueryMediaType: ");
        WriteText(log, "%s", name);
        return;
    }
    WriteText(log, "QueryMediaType: MediaType: %d; MediaFlags: 0x%x\n", (int)type, (unsigned)flags);
    static const char *const typeNames[] = {
        nullptr,
        "\tMediaType name: MEDIA_CDDA_CDROM\n",
        "\tMediaType name: MEDIA_CD_ROM_XA\n",
        "\tMediaType name: MEDIA_CD_I\n",
        "\tMediaType name: MEDIA_CD_EXTRA\n",
        "\tMediaType name: MEDIA_CD_OTHER\n",
        "\tMediaType name: MEDIA_SPECIAL\n",
    };
    if (type >= 1 && type <= 6)
        WriteText(log, "%s", typeNames[type]);
    static const struct {
        long bit;
        const char *line;
    } flagNames[] = {
        {0x1, "\tMediaFlag name: MEDIA_BLANK\n"},
        {0x2, "\tMediaFlag name: MEDIA_RW\n"},
        {0x4, "\tMediaFlag name: MEDIA_WRITABLE\n"},
        {0x8, "\tMediaFlag name: MEDIA_FORMAT_UNUSABLE_BY_IMAPI\n"},
    };
    for (const auto &flag : flagNames)
        if (flags & flag.bit)
            WriteText(log, "%s", flag.line);
}

int AskUser(UINT type, const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    FormatTextV(text, sizeof(text), format, args);
    va_end(args);
    return ShowMessageBox(mainWindow, text, kProductName, type);
}

// The disc holds the backup at once: it goes to the staging folder under the configured
// destination's folder path.
int ChooseSingleBurn(JobContext *context, FILE *log)
{
    BackupConfig *config = context->config;
    const char *slash = strchr(config->destination, '\\');
    if (slash == nullptr) {
        WriteText(log, "ERROR (47b): Missing backslash in destination: %s\n", config->destination);
        SetCancelRequested(config, 1);
        return 0;
    }
    if (!CheckJoinedPathLength(context->stagingFolder, slash + 1, 261, log)) {
        SetCancelRequested(config, 1);
        return 0;
    }
    FormatText(context->destination, sizeof(context->destination), "%s%s", context->stagingFolder, slash + 1);
    context->burnToDisc = 1;
    return 1;
}

// The backup needs several discs: only a compressed backup, made in the data folder, can span.
int ChooseSpanning(JobContext *context, FILE *log)
{
    BackupConfig *config = context->config;
    if (config->flags & Uncompressed) {
        WriteText(log, "ERROR: Uncompressed backup source is too large to fit on a single disc.\n"
                       "\tDisc spanning is only available with a compressed backup.\n"
                       "\tTo backup to multiple disks turn OFF the 'Uncompressed' backup and turn ON the "
                       "'Compressed' backup under the 'Advanced' tab in the configuration editor.\n");
        SetCancelRequested(config, 1);
        return 0;
    }
    lstrcpynA(context->destination, dataFolder, sizeof(context->destination));
    context->burnToDisc = 1;
    return 1;
}

// Asks for a disc until one with free blocks is in the drive, then decides how the backup
// reaches it. lastInfo receives the last media query's result.
int MeasureMedia(JobContext *context, DiscRecorder &recorder, char letter, FILE *log, HRESULT *lastInfo)
{
    BackupConfig *config = context->config;
    int kinds = ((config->flags & Uncompressed) ? 1 : 0) + ((config->flags & Compressed) ? 1 : 0);
    double needed = context->totalBytes * kinds;
    for (;;) {
        long type = 0;
        long flags = 0;
        HRESULT typeResult = recorder.QueryMediaType(&type, &flags);
        if (gSettings.logVerbose)
            LogMediaType(log, typeResult, type, flags);
        BYTE sessions = 0;
        BYTE lastTrack = 0;
        ULONG startAddress = 0;
        ULONG nextWritable = 0;
        ULONG freeBlocks = 0;
        HRESULT result = recorder.QueryMediaInfo(&sessions, &lastTrack, &startAddress, &nextWritable, &freeBlocks);
        *lastInfo = result;
        if (result == kNotOpened) {
            WriteText(log, "WARNING: The device object is not opened.\n");
            return 0;
        }
        if (result == kNotInitialized) {
            WriteText(log, "WARNING: This recorder object has not been initialized.\n");
            return 0;
        }
        if (result == kDeviceNotPresent) {
            WriteText(log, "WARNING: The device is not present.\n");
            return 0;
        }
        if (result == kNoMedium || (SUCCEEDED(result) && freeBlocks == 0)) {
            int answer = AskUser(MB_OKCANCEL,
                                 "Please insert a writable %s in drive %c\n\nPress 'OK' once the disc has been "
                                 "inserted and the drive light turns off.\nPress 'Cancel' to abort the backup.",
                                 "disc", letter);
            if (answer == IDOK)
                continue;
            SetCancelRequested(config, 1);
            WriteText(log, "WARNING: No valid media present in the drive for burning.\n");
            return 0;
        }
        if (FAILED(result)) {
            WriteText(log, "WARNING: Unknown error getting media size.\n");
            return 0;
        }
        context->discFreeBytes = UsableDiscBytes(freeBlocks);
        context->spanDiscs = context->discFreeBytes < needed ? 1 : 0;
        if (!context->spanDiscs)
            return ChooseSingleBurn(context, log);
        if (sessions <= 1)
            return ChooseSpanning(context, log);
        int answer = AskUser(MB_RETRYCANCEL,
                             "Please insert a blank disc with no prior recorded sessions in drive %c\n\nPress "
                             "'Retry' once the disc has been inserted.\nPress 'Cancel' to abort the backup.",
                             letter);
        if (answer == IDRETRY)
            continue;
        WriteText(log, "ERROR: Disc spanning cannot start on a disc with prior recorded sessions.\n");
        SetCancelRequested(config, 1);
        return 0;
    }
}

void LogOpenFailure(FILE *log, HRESULT result, char letter)
{
    const char *line = result == kNotInitialized     ? "WARNING: This recorder object has not been initialized.\n"
                       : result == kRecorderReserved ? "WARNING: Another application or IMAPI engine has reserved "
                                                       "the active disc recorder. Try again later.\n"
                       : result == kDeviceNotPresent ? "WARNING: The currently active disc recorder has been "
                                                       "invalidated because the device was removed from the system.\n"
                                                     : "WARNING: Unknown error trying to open drive.\n";
    WriteText(log, "%s", line);
    WriteText(log, "WARNING: Unable to obtain size of media in drive %c.\n", letter);
}

bool NamesMatch(const RecorderNames &a, const RecorderNames &b)
{
    return _stricmp(a.vendor, b.vendor) == 0 && _stricmp(a.product, b.product) == 0 &&
           _stricmp(a.revision, b.revision) == 0;
}

// The disc master's recorder that is the drive. NULL, with the log lines, when none is.
std::unique_ptr<DiscRecorder> FindRecorder(DiscMaster &master, const RecorderNames &drive, char letter, FILE *log)
{
    int number = 0;
    HRESULT result = S_OK;
    std::unique_ptr<DiscRecorder> recorder;
    while ((result = master.NextRecorder(&recorder)) == S_OK && recorder) {
        ++number;
        RecorderNames names = {};
        result = recorder->GetDisplayNames(&names);
        if (FAILED(result)) {
            WriteText(log, "WARNING: Failed to get information on disc %d (0x%08X)\n", number, (unsigned)result);
            break;
        }
        if (gSettings.logVerbose)
            WriteText(log, "Enumerated disc %d: (%s;%s;%s)\n", number, names.vendor, names.product, names.revision);
        if (NamesMatch(names, drive))
            return recorder;
    }
    WriteText(log, "WARNING: Enumerated %d discs.  Failed to find a match for drive %c (%s;%s;%s). (0x%08X)\n", number,
              letter, drive.vendor, drive.product, drive.revision, (unsigned)result);
    WriteText(log, "WARNING: Unable to obtain size of media in drive.\n");
    return nullptr;
}

// Steps with the disc master: find the drive's recorder and measure its disc.
int MeasureDisc(JobContext *context, DiscPlatform &platform, const RecorderNames &drive, char letter, FILE *log)
{
    std::unique_ptr<DiscMaster> master;
    HRESULT result = platform.CreateDiscMaster(&master);
    if (FAILED(result) || !master) {
        WriteText(log, "WARNING: Failed to initialize disc interface (0x%08X)\n", (unsigned)result);
        return 0;
    }
    result = master->Open();
    if (FAILED(result)) {
        WriteText(log, "WARNING: Failed to open disc interface (0x%08X)\n", (unsigned)result);
        return 0;
    }
    result = master->EnumDiscRecorders();
    if (FAILED(result)) {
        master->Close();
        WriteText(log, "WARNING: Failed to open disc enumerator (0x%08X)\n", (unsigned)result);
        return 0;
    }
    std::unique_ptr<DiscRecorder> recorder = FindRecorder(*master, drive, letter, log);
    if (!recorder) {
        master->Close();
        return 0;
    }
    result = recorder->OpenExclusive();
    if (FAILED(result)) {
        master->Close();
        LogOpenFailure(log, result, letter);
        return 0;
    }
    recorder->Eject();
    HRESULT lastInfo = S_OK;
    int measured = MeasureMedia(context, *recorder, letter, log, &lastInfo);
    if (!measured && !IsCancelRequested(context->config))
        WriteText(log, "WARNING: Unable to determine free space of media in drive %c. (0x%08X)\n", letter,
                  (unsigned)lastInfo);
    recorder->Close();
    master->Close();
    return measured;
}

// The shell's default recorder letter, upper-cased; 0 (with its INFO line) when there is none.
// -1 when the burning object cannot be made.
int FindDefaultRecorder(DiscPlatform &platform, FILE *log)
{
    std::unique_ptr<CdBurner> burner;
    HRESULT result = platform.CreateCdBurner(&burner);
    if (FAILED(result) || !burner) {
        WriteText(log, "WARNING (1): Failed to initialize burning interface (0x%08X)\n", (unsigned)result);
        return -1;
    }
    BOOL has = FALSE;
    result = burner->HasRecordableDrive(&has);
    if (FAILED(result) || !has) {
        WriteText(log, "INFO: Unable to find a recordable drive (0x%08X)\n", (unsigned)result);
        return 0;
    }
    wchar_t root[32] = L"";
    result = burner->GetRecorderDriveLetter(root, 32);
    burner.reset();
    if (FAILED(result) || root[0] == L'\0' || root[0] > 0x7F) {
        WriteText(log, "INFO: Unable to find default recording drive letter (0x%08X)\n", (unsigned)result);
        return 0;
    }
    return toupper((unsigned char)root[0]);
}

// The staging folder with its trailing backslash, made the current folder. 0 when unusable.
int EnterStagingFolder(JobContext *context, DiscPlatform &platform, FILE *log)
{
    char folder[260] = "";
    platform.GetStagingFolder(folder, sizeof(folder));
    size_t length = strlen(folder);
    if (length == 0 || !SetCurrentDirectoryA(folder)) {
        WriteText(log, "WARNING: Unable to find burn folder: %s\n", folder);
        return 0;
    }
    if (folder[length - 1] != '\\') {
        if (length + 1 >= sizeof(context->stagingFolder)) {
            WriteText(log, "WARNING: Unable to find burn folder: %s\n", folder);
            return 0;
        }
        strcat(folder, "\\");
    }
    strcpy(context->stagingFolder, folder);
    return 1;
}

}  // namespace

double UsableDiscBytes(ULONG freeBlocks)
{
    return (double)freeBlocks * 2048.0 * 0.99;
}

int PrepareDiscDestination(JobContext *context, FILE *log)
{
    BackupConfig *config = context->config;
    lstrcpynA(context->destination, config->destination, sizeof(context->destination));
    context->burnToDisc = 0;
    context->spanDiscs = 0;
    context->discFreeBytes = 0;
    context->stagingFolder[0] = '\0';
    if (!gSettings.weBurn || !IsManuallyStarted(config))
        return 1;
    char letter = (char)toupper((unsigned char)context->destination[0]);
    if (letter < 'A' || letter > 'Z')
        return 1;
    char root[4];
    FormatText(root, sizeof(root), "%c:\\", letter);
    if (GetDriveTypeA(root) != DRIVE_CDROM)
        return 1;
    DiscPlatform &platform = CurrentDiscPlatform();
    int recorderLetter = FindDefaultRecorder(platform, log);
    if (recorderLetter < 0)
        return 0;
    if (recorderLetter == 0)
        return 1;
    if (recorderLetter != letter) {
        WriteText(log, "INFO: Drive %c is the default recordable drive, and the only one %s can write directly to.\n",
                  recorderLetter, kProductName);
        WriteText(log, "INFO: You can still backup to other CD/DVD drives by utilizing your own burning software.  "
                       "See the online help for more details.\n");
        return 1;
    }
    if (!EnterStagingFolder(context, platform, log))
        return 1;
    RecorderNames drive = {};
    if (!IdentifyDiscDrive(platform, letter, &drive, log))
        return 0;
    return MeasureDisc(context, platform, drive, letter, log);
}
