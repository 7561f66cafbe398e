#include "FtpUpload.h"

#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "ConfigRuntime.h"
#include "ErrorReport.h"
#include "FtpConnect.h"
#include "FtpPaths.h"
#include "GlobalSettings.h"
#include "MsvcrtFormat.h"
#include "PlainPassword.h"
#include "SecureFtpUpload.h"
#include "TextHelpers.h"
#include "ZipStep.h"

namespace {

const DWORD kBufferSize = 65536;
const DWORD kBlockSize = kBufferSize - 1;
const int kResumeWaitSeconds = 180;
// The flags of the five size checks, tried one after the other.
const DWORD kSizeCheckFlags[5] = {0, 0, INTERNET_FLAG_RELOAD, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                                  INTERNET_FLAG_RESYNCHRONIZE};

// Seconds to wait before a resume; tests shorten it through SetFtpResumeWaitForTesting.
std::atomic<int> g_resumeWaitSeconds(kResumeWaitSeconds);

// Everything one run holds open; Close releases whatever is set.
struct FtpRun {
    FILE *log = nullptr;
    BackupConfig *config = nullptr;
    ZipVolumePath *volumes = nullptr;
    int volumeCount = 0;
    char *buffer = nullptr;
    char folder[260] = "";
    char server[128] = "";
    char remotePath[260] = "";
    const char *name = "";  // the volume's file name, inside remotePath's folder
    int port = 21;
    HINTERNET internet = nullptr;
    HINTERNET connection = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    int restartSupported = 0;
    int hangUp = 0;

    bool Cancelled() const { return IsCancelRequested(config); }
    void CloseUploadHandle()
    {
        HINTERNET handle = (HINTERNET)TakeUploadHandle(config);
        if (handle != nullptr)
            CloseFtpFile(handle);
    }
    void CloseSession()
    {
        CloseUploadHandle();
        if (connection != nullptr)
            InternetCloseHandle(connection);
        if (internet != nullptr)
            InternetCloseHandle(internet);
        connection = nullptr;
        internet = nullptr;
    }
    void CloseLocalFile()
    {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    ~FtpRun()
    {
        CloseSession();
        CloseLocalFile();
        free(buffer);
        free(volumes);
        if (hangUp)
            InternetAutodialHangup(0);
    }
};

void SetUploadStatus(BackupConfig *config, const char *format, ...)
{
    char text[520];
    va_list args;
    va_start(args, format);
    FormatTextV(text, sizeof(text), format, args);
    va_end(args);
    SetStatusText(config, text);
}

int OpenInternet(FtpRun &run)
{
    SetStatusText(run.config, "Opening Internet Connection");
    run.internet = InternetOpenA("Velloran", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (run.internet == nullptr)
        return 0;
    // A server that stops answering must not hold a reply for ever. Where WinINet takes no
    // time-outs for FTP (Wine waits its own 30 seconds a reply line), setting them is harmless.
    DWORD milliseconds = (DWORD)FtpReplyTimeoutSeconds() * 1000;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT})
        InternetSetOptionA(run.internet, option, &milliseconds, sizeof(milliseconds));
    return 1;
}

// Connects and logs in, giving up on Stop or after the time-out; 1 when connected. A failure
// leaves its error as the last error for LogLastError; with logDetails its lines come first:
// the server's last reply, or that it did not answer in time.
int ConnectToServer(FtpRun &run, bool logDetails)
{
    SetStatusText(run.config, "Connecting to Server");
    FtpCallOutcome outcome;
    {
        PlainPassword password(run.config->ftpPassword);
        outcome = ConnectFtpServer(&run.internet, run.server, run.port, run.config->ftpUsername, password.Text(),
                                   &run.connection);
    }
    if (run.connection != nullptr)
        return 1;
    DWORD error = GetLastError();
    char reply[2048];
    if (logDetails && outcome == FtpCallOutcome::TimedOut) {
        WriteText(run.log, "The FTP server %s did not finish its greeting and login within %d seconds\n", run.server,
                  FtpReplyTimeoutSeconds());
    } else if (logDetails && outcome == FtpCallOutcome::Done && TakeLastFtpReply(reply, sizeof(reply))) {
        TrimTrailingWhitespace(reply);
        const char *last = strrchr(reply, '\n');
        char line[sizeof(reply) * 6];
        FormatOneLine(line, sizeof(line), last != nullptr ? last + 1 : reply);
        WriteText(run.log, "Last reply of the FTP server: %s\n", line);
    }
    SetLastError(error);
    return 0;
}

// A command of a resume pass; a failure is logged with verbose logging only.
int SendPassCommand(FtpRun &run, const char *command)
{
    if (gSettings.logVerbose)
        WriteText(run.log, "FTP_Command: %s\n", command);
    if (SendFtpCommand(run.connection, command))
        return 1;
    if (gSettings.logVerbose) {
        LogLastError(command, run.log);
        WriteText(run.log, "Failed to issue command: %s\n", command);
    }
    return 0;
}

enum class RestartOutcome { Verified, Refused, Fatal };

// Asks the server to go on at offset and checks that it says so.
RestartOutcome RestartAt(FtpRun &run, int64_t offset)
{
    SendPassCommand(run, "TYPE I");
    char command[64];
    FormatText(command, sizeof(command), "REST %I64d", offset);
    if (!SendPassCommand(run, command))
        return RestartOutcome::Refused;
    char reply[2048];
    int readable = ReadFtpResponse(reply, sizeof(reply));
    if (readable && gSettings.logVerbose)
        WriteText(run.log, "%s: %s", command, reply);
    if (!readable || strstr(reply, "350") == nullptr) {
        WriteText(run.log, "Restart response indicated failure, quiting...\n");
        return RestartOutcome::Fatal;
    }
    int64_t position = 0;
    if (!ParseRestartReply(reply, &position) || position != offset) {
        WriteText(run.log, "Server restarting at incorrect position, quiting...\n");
        if (position == 2147483647)
            WriteText(run.log, "It appears your server cannot restart at positions greater than 2GB.  Try "
                               "splitting your compressed file.\n");
        return RestartOutcome::Fatal;
    }
    if (gSettings.logVerbose)
        WriteText(run.log, "Restart position verified\n");
    return RestartOutcome::Verified;
}

enum class SendOutcome { Done, Cancelled, Fatal };

// Sends the local file from offset on; offset grows by what the server took. A failed open or
// write leaves the rest to the size check.
SendOutcome SendFromOffset(FtpRun &run, const char *volume, int64_t localSize, int64_t *offset)
{
    HINTERNET handle = OpenFtpFileForWriting(run.connection, run.remotePath);
    if (handle == nullptr) {
        if (gSettings.logVerbose) {
            LogLastError("FTP Open File", run.log);
            WriteText(run.log, "Failed to open remote file for writing\n\tServer: %s\n\tServer Path: %s\n", run.server,
                      run.remotePath);
        }
        return SendOutcome::Done;
    }
    SetUploadHandle(run.config, handle);
    if (gSettings.logVerbose)
        LogFtpResponse("FtpOpenFile", run.log);
    LARGE_INTEGER position;
    position.QuadPart = *offset;
    if (!SetFilePointerEx(run.file, position, nullptr, FILE_BEGIN)) {
        LogLastError("Set Local File Pointer", run.log);
        WriteText(run.log, "Failed to seek local file pointer\n");
        return SendOutcome::Fatal;
    }
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(run.file, run.buffer, kBlockSize, &read, nullptr) || read == 0)
            break;
        run.buffer[read] = '\0';
        if (run.Cancelled())
            return SendOutcome::Cancelled;
        DWORD sent = 0;
        bool failed = false;
        while (sent < read) {
            if (run.Cancelled())
                return SendOutcome::Cancelled;
            DWORD written = 0;
            BOOL ok = InternetWriteFile(handle, run.buffer + sent, read - sent, &written);
            if (run.Cancelled())
                return SendOutcome::Cancelled;
            // A write that reports success but takes nothing would repeat for ever.
            if (!ok || written == 0) {
                failed = true;
                break;
            }
            sent += written;
            *offset += written;
        }
        if (failed) {
            if (gSettings.logVerbose) {
                LogLastError("Internet Write File", run.log);
                WriteText(run.log,
                          "Uploading not complete (%I64d of %I64d)\n\tLocal File: %s\n\tServer: %s\n\tServer Path: %s\n",
                          *offset, localSize, volume, run.server, run.remotePath);
            }
            break;
        }
        if (localSize > 0)
            SetProgressPercent(run.config, (int)((double)*offset * 100.0 / (double)localSize));
    }
    return SendOutcome::Done;
}

enum class CheckOutcome { Verified, Incomplete, Fatal };

// The size check after a pass: the server's listing must show the whole local file.
CheckOutcome CheckServerSize(FtpRun &run, int64_t localSize, int64_t *offset)
{
    run.CloseUploadHandle();
    if (*offset != localSize)
        return CheckOutcome::Incomplete;
    for (int attempt = 0; attempt < 5; ++attempt) {
        int64_t serverSize = 0;
        if (FindFtpFileSize(run.connection, run.folder, run.name, kSizeCheckFlags[attempt], &serverSize)) {
            if (serverSize == localSize)
                return CheckOutcome::Verified;
            WriteText(run.log, "WARNING: Bad size on uploaded file.  Should be %I64d, but it was %I64d.\n", localSize,
                      serverSize);
            return CheckOutcome::Fatal;
        }
        if (gSettings.logVerbose) {
            LogLastError("FTP Find File for Size Verification", run.log);
            WriteText(run.log,
                      "WARNING: Failed to verify file size on server.\n\tRemote file: %s\n\tIntended size: %I64d\n"
                      "\tTimes Requested: %d\n\tFlags: %X\n",
                      run.remotePath, localSize, attempt + 1, (unsigned)kSizeCheckFlags[attempt]);
        }
    }
    *offset = 0;
    return CheckOutcome::Incomplete;
}

void LogUploadFailed(FILE *log)
{
    if (gSettings.logVerbose)
        WriteText(log, "ERROR: Upload failed\n");
    else
        WriteText(log, "ERROR: Upload failed.  For more information, turn on verbose logging under 'File / "
                       "Options...' and re-run backup.\n");
}

enum class ResumeOutcome { Resumed, Cancelled, Failed };

// After an incomplete pass: wait, reconnect and learn how much the server holds, as often as
// the pass limit allows.
ResumeOutcome ResumeUpload(FtpRun &run, const char *volume, int64_t localSize, int *pass, int64_t *offset)
{
    int attempts = 0;
    for (;;) {
        if (*pass >= gSettings.ftpRetry || *offset > localSize) {
            LogUploadFailed(run.log);
            return ResumeOutcome::Failed;
        }
        *pass += 1;
        attempts += 1;
        if (gSettings.logVerbose)
            WriteText(run.log, "WARNING: Upload not complete, attempting to resume... (%d)\n", *pass);
        fflush(run.log);
        run.CloseSession();
        SetStatusText(run.config, "Waiting 3 minutes before resuming upload...");
        int waits = g_resumeWaitSeconds.load();
        for (int i = 0; i < waits; ++i) {
            if (run.Cancelled())
                return ResumeOutcome::Cancelled;
            Sleep(1000);
        }
        if (run.Cancelled())
            return ResumeOutcome::Cancelled;
        if (!OpenInternet(run)) {
            if (gSettings.logVerbose) {
                LogLastError("Internet Open for Resume", run.log);
                WriteText(run.log, "WARNING (21x): Unable to open internet connection\n");
            }
            continue;
        }
        if (!ConnectToServer(run, gSettings.logVerbose != 0)) {
            if (run.Cancelled())
                return ResumeOutcome::Cancelled;
            if (gSettings.logVerbose) {
                LogLastError("Internet Connect for Resume", run.log);
                WriteText(run.log, "WARNING (22x): Unable to connect to server: %s\n", run.server);
            }
            continue;
        }
        if (!run.restartSupported) {
            *offset = 0;
        } else {
            SetStatusText(run.config, "Getting File Size On Server");
            int64_t serverSize = 0;
            if (FindFtpFileSize(run.connection, run.folder, run.name, 0, &serverSize)) {
                *offset = serverSize;
            } else if (GetLastError() == ERROR_INTERNET_EXTENDED_ERROR) {
                if (gSettings.logVerbose) {
                    LogFtpResponse("FTP Find File to Determine Resume Position", run.log);
                    WriteText(run.log, "Setting upload pointer to beginning of file\n");
                }
                *offset = 0;
            } else if (attempts >= 6) {
                if (gSettings.logVerbose) {
                    LogLastError("FTP Find First File for Resume Position (2)", run.log);
                    WriteText(run.log, "WARNING (24x): Unable to determine size of file on server\n");
                }
                *offset = 0;
            } else {
                if (gSettings.logVerbose) {
                    LogLastError("FTP Find First File for Resume Position", run.log);
                    WriteText(run.log, "WARNING (23x): Unable to determine size of file on server\n");
                }
                continue;
            }
        }
        WriteText(run.log, "Pass %d to upload %s\n\tResuming at byte offset: %I64d\n", *pass + 1, volume, *offset);
        return ResumeOutcome::Resumed;
    }
}

// One volume, pass after pass, until the server holds it whole. 1 when verified.
int UploadVolume(FtpRun &run, int index)
{
    const char *volume = run.volumes[index];
    SetProgressPercent(run.config, 0);
    SetUploadStatus(run.config, "Uploading %d of %d", index + 1, run.volumeCount);
    const char *slash = strrchr(volume, '\\');
    if (slash == nullptr) {
        WriteText(run.log, "ERROR (21a): Missing backslash: %s\n", volume);
        return 0;
    }
    const char *name = slash + 1;
    if (strlen(run.folder) + strlen(name) >= sizeof(run.remotePath)) {
        WriteText(run.log, "ERROR (22a): Destination path too long: %s%s\n", run.folder, name);
        return 0;
    }
    FormatText(run.remotePath, sizeof(run.remotePath), "%s%s", run.folder, name);
    run.name = name;
    run.file = CreateFileA(volume, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (run.file == INVALID_HANDLE_VALUE) {
        WriteText(run.log, "Unable to open local file for reading: %s\n", volume);
        return 0;
    }
    DWORD high = 0;
    DWORD low = GetFileSize(run.file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        WriteText(run.log, "ERROR (23a): Could not obtain local file size: %s\n", volume);
        return 0;
    }
    int64_t localSize = ((int64_t)high << 32) | low;
    int64_t offset = 0;
    int pass = 0;
    for (;;) {
        if (run.Cancelled())
            return 0;
        if (!run.restartSupported)
            offset = 0;
        bool send = true;
        if (offset > 0) {
            RestartOutcome restart = RestartAt(run, offset);
            if (restart == RestartOutcome::Fatal)
                return 0;
            if (restart == RestartOutcome::Refused) {
                offset = 0;
                send = false;
            }
        }
        if (send && offset < localSize) {
            SendOutcome sent = SendFromOffset(run, volume, localSize, &offset);
            if (sent != SendOutcome::Done)
                return 0;
        }
        if (run.Cancelled())
            return 0;
        CheckOutcome check = CheckServerSize(run, localSize, &offset);
        if (check == CheckOutcome::Verified) {
            run.CloseLocalFile();
            return 1;
        }
        if (check == CheckOutcome::Fatal)
            return 0;
        if (ResumeUpload(run, volume, localSize, &pass, &offset) != ResumeOutcome::Resumed)
            return 0;
        SetUploadStatus(run.config, "Uploading %d of %d (Pass %d)", index + 1, run.volumeCount, pass + 1);
    }
}

// WinINet puts the folder, the file names and the login into FTP commands as they stand, so a
// line break in one would end the command there and make the rest a command of its own. Such
// a run is refused before anything is sent; 1 when every text is safe.
int AreCommandTextsSafe(FtpRun &run)
{
    const char kRefused[] = "holds a line break, which FTP would take as the end of a command; nothing was sent";
    char text[sizeof(run.volumes[0]) * 6];
    if (HoldsLineBreak(run.folder) || HoldsLineBreak(run.server)) {
        FormatOneLine(text, sizeof(text), HoldsLineBreak(run.folder) ? run.folder : run.server);
        WriteText(run.log, "ERROR (29e): Remote %s %s: %s\n", HoldsLineBreak(run.folder) ? "folder" : "server",
                  kRefused, text);
        return 0;
    }
    for (int i = 0; i < run.volumeCount; ++i) {
        const char *slash = strrchr(run.volumes[i], '\\');
        if (slash != nullptr && HoldsLineBreak(slash + 1)) {
            FormatOneLine(text, sizeof(text), slash + 1);
            WriteText(run.log, "ERROR (29f): Remote file name %s: %s\n", kRefused, text);
            return 0;
        }
    }
    PlainPassword password(run.config->ftpPassword);
    if (HoldsLineBreak(run.config->ftpUsername) || HoldsLineBreak(password.Text())) {
        WriteText(run.log, "ERROR (29g): FTP user name or password %s\n", kRefused);
        return 0;
    }
    return 1;
}

// Steps up to the first connection; 1 when the volumes can be sent.
int StartFtpRun(FtpRun &run, JobContext *context)
{
    BackupConfig *config = run.config;
    if (!ListZipVolumes(context, run.log, &run.volumeCount, &run.volumes)) {
        WriteText(run.log, "ERROR (26e): Failed to find ZIP files for uploading\n");
        return 0;
    }
    if (run.Cancelled())
        return 0;
    if (run.volumeCount == 0) {
        WriteText(run.log, "No ZIP files need uploading\n");
        return 1;
    }
    if (gSettings.logVerbose)
        WriteText(run.log, "Starting FTP upload of %d files\n", run.volumeCount);
    run.buffer = static_cast<char *>(malloc(kBufferSize));
    if (run.buffer == nullptr) {
        WriteText(run.log, "ERROR (27e): Unable to allocate memory: %d\n", (int)kBufferSize);
        return 0;
    }
    if (!NormalizeFtpFolder(config->ftpDirectory, run.folder)) {
        char folder[sizeof(config->ftpDirectory) * 6];
        FormatOneLine(folder, sizeof(folder), config->ftpDirectory);
        WriteText(run.log, "ERROR (28e): Destination folder too long: %s\n", folder);
        return 0;
    }
    NormalizeFtpServer(config->ftpServer, run.server);
    if (!AreCommandTextsSafe(run))
        return 0;
    run.port = config->ftpPort != 0 ? config->ftpPort : INTERNET_DEFAULT_FTP_PORT;
    DWORD connectedState = 0;
    run.hangUp = InternetGetConnectedState(&connectedState, 0) ? 0 : 1;
    if (!OpenInternet(run)) {
        LogLastError("Internet Open", run.log);
        WriteText(run.log, "ERROR (21v): Unable to open internet connection\n");
        return 0;
    }
    if (run.Cancelled())
        return 0;
    if (!ConnectToServer(run, true)) {
        if (run.Cancelled())
            return 0;
        LogLastError("Internet Connect", run.log);
        WriteText(run.log, "ERROR (21w): Unable to connect to server: %s\n", run.server);
        return 0;
    }
    if (run.Cancelled())
        return 0;
    run.restartSupported = ProbeFtpRestart(run.connection, run.log);
    return 1;
}

} // namespace

int UploadVolumesByFtp(FILE *log, JobContext *context)
{
    BackupConfig *config = context->config;
    if (config->flags & (FtpsImplicit | FtpsExplicit | Sftp))
        return UploadVolumesBySecureFtp(log, context);
    SetUploadHandle(config, nullptr);
    if (IsCancelRequested(config))
        return 1;
    if (!IsFtpCopyAllowed(log, config))
        return 0;
    // Every wait for the server below ends on Stop.
    WatchFtpCancel(&config->cancelRequested);
    struct StopWatching {
        ~StopWatching() { WatchFtpCancel(nullptr); }
    } stopWatching;
    FtpRun run;
    run.log = log;
    run.config = config;
    if (!StartFtpRun(run, context))
        return 0;
    if (run.volumeCount == 0)
        return 1;
    for (int i = 0; i < run.volumeCount; ++i) {
        if (run.Cancelled() || !UploadVolume(run, i))
            return 0;
    }
    SetProgressPercent(config, 100);
    WriteText(log, "Remote backup via FTP completed successfully.  Uploaded %d file%s.\n", run.volumeCount,
              run.volumeCount >= 2 ? "s" : "");
    return 1;
}

void SetFtpResumeWaitForTesting(int seconds)
{
    g_resumeWaitSeconds.store(seconds >= 0 && seconds <= kResumeWaitSeconds ? seconds : kResumeWaitSeconds);
}
