#include "SecureFtpUpload.h"

#include <string.h>

#include "CheckedFile.h"
#include "ConfigRuntime.h"
#include "FtpPaths.h"
#include "FtpUpload.h"
#include "GlobalSettings.h"
#include "MsvcrtFormat.h"
#include "PlainPassword.h"
#include "TextHelpers.h"
#include "ZipStep.h"

namespace {

// Everything one run holds; released in the order the run took it.
struct SecureFtpRun {
    FILE *log = nullptr;
    BackupConfig *config = nullptr;
    ZipVolumePath *volumes = nullptr;
    int volumeCount = 0;
    char folder[260] = "";
    char server[128] = "";
    char logPath[260] = "";
    FILE *curlLog = nullptr;
    CurlTrace trace;
    CertificateCheck certificate = {0};
    HostKeyCheck hostKey = {};
    bool globalInitialised = false;
    CURL *curl = nullptr;

    ~SecureFtpRun()
    {
        if (curl != nullptr)
            curl_easy_cleanup(curl);
        if (globalInitialised)
            curl_global_cleanup();
        free(volumes);
        ReleaseHostKeyCheck(&hostKey);
        if (curlLog != nullptr)
            fclose(curlLog);
    }
};

// 1 when the volume was sent; a failure has its lines in both logs.
int SendVolume(SecureFtpRun &run, const SecureFtpProtocol *protocol, int index)
{
    const char *volume = run.volumes[index];
    SetProgressPercent(run.config, 0);
    char status[64];
    FormatText(status, sizeof(status), "Uploading %d of %d", index + 1, run.volumeCount);
    SetStatusText(run.config, status);
    const char *slash = strrchr(volume, '\\');
    if (slash == nullptr) {
        WriteText(run.log, "ERROR (21a): Missing backslash: %s\n", volume);
        return 0;
    }
    char name[260];
    lstrcpynA(name, slash + 1, sizeof(name));
    HANDLE file = CreateFileA(volume, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        WriteBothLogs(run.log, run.curlLog, "File upload failed.  Could not open file: %s\n", volume);
        return 0;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        size.QuadPart = -1;
    char errorBuffer[CURL_ERROR_SIZE];
    errorBuffer[0] = '\0';
    UploadProgress progress = {run.curlLog, &run.config->cancelRequested, &run.config->progressPercent, -1};
    SecureFtpTransfer transfer = {run.config->flags, run.server, run.folder, name, run.config->ftpPort,
                                  run.config->ftpUsername, nullptr, gSettings.logVerbose, run.curlLog,
                                  size.QuadPart, &progress, file, errorBuffer, &run.certificate, &run.hostKey,
                                  &run.trace};
    run.certificate.chainRefused = 0;
    run.trace.sshLoginAccepted = false;
    CURLcode result = ApplySecureFtpOptions(run.curl, transfer, run.config->ftpPassword);
    if (result == CURLE_OK)
        result = curl_easy_perform(run.curl);
    CloseHandle(file);
    // A key seen for the first time is kept once the login went through, even when the file
    // then failed: the next run must know the key before it sends the password again.
    if (result == CURLE_OK || run.trace.sshLoginAccepted)
        RecordFirstSshHostKey(&run.hostKey);
    // The folder may hold a line break (SFTP sends it encoded); the log line stays one line.
    char folder[sizeof(run.folder) * 6];
    FormatOneLine(folder, sizeof(folder), run.folder);
    if (result == CURLE_OK) {
        WriteBothLogs(run.log, run.curlLog, "File uploaded successfully: %s://%s/%s%s\n", protocol->scheme, run.server,
                      folder, name);
        return 1;
    }
    WriteBothLogs(run.log, run.curlLog, "File upload failed. Error: %d - %s.\n%sFor details, see the log file at: %s\n",
                  (int)result, SecureFtpFailureReason(result, errorBuffer, run.hostKey),
                  SecureFtpFailureHint(run.config->flags, result, run.certificate, run.hostKey), run.logPath);
    return 0;
}

// The steps before the first transfer; 1 when the volumes can be sent.
int StartSecureFtpRun(SecureFtpRun &run, JobContext *context)
{
    BackupConfig *config = run.config;
    if (!ListZipVolumes(context, run.log, &run.volumeCount, &run.volumes)) {
        WriteText(run.log, "ERROR (26e): Failed to find ZIP files for uploading\n");
        return 0;
    }
    if (IsCancelRequested(config))
        return 0;
    if (run.volumeCount == 0) {
        WriteText(run.log, "No ZIP files need uploading\n");
        return 1;
    }
    if (gSettings.logVerbose)
        WriteText(run.log, "Starting Secure FTP upload of %d files\n", run.volumeCount);
    if (!NormalizeSecureFtpFolder(config->ftpDirectory, run.folder)) {
        char folder[sizeof(config->ftpDirectory) * 6];
        FormatOneLine(folder, sizeof(folder), config->ftpDirectory);
        WriteText(run.log, "ERROR (28e): Destination folder too long: %s\n", folder);
        return 0;
    }
    if (!NormalizeFtpServer(config->ftpServer, run.server)) {
        WriteText(run.log, "ERROR FTP server cannot be blank\n");
        return 0;
    }
    if (!ChooseSecureFtpProtocol(config->flags)->sftp) {
        // FTPS sends the login as commands of their own: a line break would start another one.
        PlainPassword password(config->ftpPassword);
        if (HoldsLineBreak(config->ftpUsername) || HoldsLineBreak(password.Text())) {
            WriteText(run.log, "ERROR (29g): FTP user name or password holds a line break, which FTP would take as "
                               "the end of a command; nothing was sent\n");
            return 0;
        }
    }
    if (IsCancelRequested(config))
        return 0;
    SetStatusText(config, "Connecting to Server");
    FormatText(run.logPath, sizeof(run.logPath), "%sFTPsLog.txt", dataFolder);
    FileCheck check;
    run.curlLog = OpenCheckedStream(run.logPath, "w", FILE_SHARE_READ | FILE_SHARE_WRITE, &check);
    LogFileCheck(run.log, check, run.logPath);
    if (run.curlLog == nullptr) {
        WriteText(run.log, "Unable to open %s for writing", run.logPath);
        return 0;
    }
    run.trace.log = gSettings.logVerbose ? run.curlLog : nullptr;
    PrepareHostKeyCheck(&run.hostKey, run.server, config->ftpPort, run.log, run.curlLog);
    if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) {
        WriteBothLogs(run.log, run.curlLog, "ERROR global initializing secure FTP library\n");
        curl_global_cleanup();
        return 0;
    }
    run.globalInitialised = true;
    run.curl = curl_easy_init();
    if (run.curl == nullptr) {
        WriteBothLogs(run.log, run.curlLog, "ERROR initializing secure FTP library\n");
        return 0;
    }
    return 1;
}

} // namespace

void WriteBothLogs(FILE *log, FILE *curlLog, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    WriteTextV(log, format, args);
    va_end(args);
    if (curlLog != nullptr) {
        va_start(args, format);
        WriteTextV(curlLog, format, args);
        va_end(args);
    }
}

size_t ReadUploadData(char *buffer, size_t size, size_t count, void *data)
{
    DWORD read = 0;
    if (!ReadFile((HANDLE)data, buffer, (DWORD)(size * count), &read, nullptr))
        return CURL_READFUNC_ABORT; // the end of the data would leave a short file on the server
    return read;
}

int ReportUploadProgress(void *data, curl_off_t, curl_off_t, curl_off_t uploadTotal, curl_off_t uploadNow)
{
    UploadProgress *progress = static_cast<UploadProgress *>(data);
    int percent = uploadTotal >= 1 ? (int)((double)uploadNow * 100.0 / (double)uploadTotal) : 0;
    if (progress->percent != nullptr)
        __atomic_store_n(progress->percent, percent, __ATOMIC_RELAXED);
    if (progress->log != nullptr && percent != progress->lastPercent)
        WriteText(progress->log, "Uploaded %I64d of %I64d bytes. (%d%%)\n", (long long)uploadNow,
                  (long long)uploadTotal, percent);
    progress->lastPercent = percent;
    if (progress->cancel != nullptr && __atomic_load_n(progress->cancel, __ATOMIC_ACQUIRE) != 0) {
        if (progress->log != nullptr)
            WriteText(progress->log, "Cancel request received\n");
        return 1;
    }
    return 0;
}

int UploadVolumesBySecureFtp(FILE *log, JobContext *context)
{
    BackupConfig *config = context->config;
    if (IsCancelRequested(config))
        return 1;
    if (!IsFtpCopyAllowed(log, config))
        return 0;
    SecureFtpRun run;
    run.log = log;
    run.config = config;
    if (!StartSecureFtpRun(run, context))
        return 0;
    if (run.volumeCount == 0)
        return 1;
    const SecureFtpProtocol *protocol = ChooseSecureFtpProtocol(config->flags);
    for (int i = 0; i < run.volumeCount; ++i) {
        if (IsCancelRequested(config) || !SendVolume(run, protocol, i))
            return 0;
    }
    SetProgressPercent(config, 100);
    WriteText(log, "Remote backup via Secure FTP completed successfully.  Uploaded %d file%s.\n", run.volumeCount,
              run.volumeCount >= 2 ? "s" : "");
    return 1;
}
