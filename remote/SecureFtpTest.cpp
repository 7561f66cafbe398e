#include "SecureFtpUpload.h"

#include <string.h>

#include "CheckedFile.h"
#include "FtpPaths.h"
#include "GlobalSettings.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"

namespace {

const char kTestName[] = "FTPs_test.txt";
const char kTestText[] = "Hello Secure World!";

// Shows the box and, when the log is open, keeps its text there too.
void ShowTestOutcome(HWND owner, FILE *curlLog, const char *text)
{
    if (curlLog != nullptr)
        WriteText(curlLog, "%s\n", text);
    ShowMessageBox(owner, text, kProductName, MB_OK);
}

// Makes the test file anew and returns it open for the upload, read from its start.
HANDLE WriteTestFile(const char *path, FileCheck *check)
{
    HANDLE file = CreateFileAnew(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, check);
    DWORD written = 0;
    LARGE_INTEGER start = {};
    if (file != INVALID_HANDLE_VALUE &&
        (!WriteFile(file, kTestText, sizeof(kTestText) - 1, &written, nullptr) || written != sizeof(kTestText) - 1 ||
         !SetFilePointerEx(file, start, nullptr, FILE_BEGIN))) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

// The box text for a file of the data folder that could not be written.
void FormatUnwritten(char *text, size_t size, const FileCheck &check, const char *path)
{
    if (!FormatFileCheck(check, path, text, size))
        FormatText(text, size, "Unable to open %s for writing", path);
}

// Sends the open test file; the outcome text goes into out1024. 1 when it was sent.
int SendTestFile(const SecureFtpTransfer &base, const char *logPath, char *out1024)
{
    const SecureFtpProtocol *protocol = ChooseSecureFtpProtocol(base.flags);
    CURLcode result = curl_global_init(CURL_GLOBAL_ALL);
    if (result == CURLE_OK) {
        CURL *curl = curl_easy_init();
        if (curl == nullptr) {
            lstrcpynA(out1024, "ERROR initializing secure FTP library", 1024);
            curl_global_cleanup();
            return 0;
        }
        std::vector<CurlOptionSetting> options = BuildSecureFtpOptions(base);
        result = options.empty() ? CURLE_URL_MALFORMAT : ApplyCurlOptions(curl, options);
        if (result == CURLE_OK)
            result = curl_easy_perform(curl);
        if (result == CURLE_OK || base.trace->sshLoginAccepted)
            RecordFirstSshHostKey(base.hostKey);
        curl_easy_cleanup(curl);
    }
    curl_global_cleanup();
    if (result == CURLE_OK) {
        FormatText(out1024, 1024, "File uploaded successfully:\n\n%s://%s/%s%s", protocol->scheme, base.server,
                   base.folder, base.name);
        return 1;
    }
    FormatText(out1024, 1024, "File upload failed. Error: %d - %s.\n%sFor details, see the log file at: %s\n",
               (int)result, SecureFtpFailureReason(result, base.errorBuffer, *base.hostKey), SecureFtpFailureHint(base.flags, result, *base.certificate, *base.hostKey),
               logPath);
    return 0;
}

} // namespace

int TestSecureFtpUpload(HWND owner, const char *folder, const char *server, const char *user, const char *password,
                        uint32_t flags, int port)
{
    char text[1024];
    char remoteFolder[260];
    if (!NormalizeSecureFtpFolder(folder, remoteFolder)) {
        FormatText(text, sizeof(text), "Destination folder too long: %s", folder);
        ShowTestOutcome(owner, nullptr, text);
        return 0;
    }
    char host[128];
    if (!NormalizeFtpServer(server, host)) {
        ShowTestOutcome(owner, nullptr, "FTP server cannot be blank");
        return 0;
    }
    char logPath[260];
    FormatText(logPath, sizeof(logPath), "%sFTPsLog.txt", dataFolder);
    FileCheck check;
    FILE *curlLog = OpenCheckedStream(logPath, "w", FILE_SHARE_READ | FILE_SHARE_WRITE, &check);
    if (curlLog == nullptr) {
        FormatUnwritten(text, sizeof(text), check, logPath);
        ShowTestOutcome(owner, nullptr, text);
        return 0;
    }
    LogFileCheck(curlLog, check, logPath);
    char testPath[260];
    FormatText(testPath, sizeof(testPath), "%s%s", dataFolder, kTestName);
    int result = 0;
    HANDLE file = WriteTestFile(testPath, &check);
    if (file == INVALID_HANDLE_VALUE) {
        FormatUnwritten(text, sizeof(text), check, testPath);
    } else {
        LogFileCheck(curlLog, check, testPath);
        LARGE_INTEGER size;
        if (!GetFileSizeEx(file, &size))
            size.QuadPart = -1;
        char errorBuffer[CURL_ERROR_SIZE];
        errorBuffer[0] = '\0';
        uint8_t cancel = 0;
        int32_t percent = 0;
        UploadProgress progress = {curlLog, &cancel, &percent, -1};
        CertificateCheck certificate = {0};
        HostKeyCheck hostKey;
        PrepareHostKeyCheck(&hostKey, host, port, nullptr, curlLog);
        CurlTrace trace;
        trace.log = gSettings.logVerbose ? curlLog : nullptr;
        SecureFtpTransfer transfer = {flags, host, remoteFolder, kTestName, port, user, password,
                                      gSettings.logVerbose, curlLog, size.QuadPart, &progress, file, errorBuffer,
                                      &certificate, &hostKey, &trace};
        result = SendTestFile(transfer, logPath, text);
        ReleaseHostKeyCheck(&hostKey);
        CloseHandle(file);
    }
    ShowTestOutcome(owner, curlLog, text);
    fclose(curlLog);
    return result;
}
