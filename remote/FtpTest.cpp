#include "FtpUpload.h"

#include <string.h>

#include "BackupConfig.h"
#include "ErrorReport.h"
#include "FtpConnect.h"
#include "FtpPaths.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "SecureFtpUpload.h"
#include "TextHelpers.h"

namespace {

const char kTestText[] = "Hello World!";
const int64_t kTestSize = sizeof(kTestText) - 1;

void ShowTestBox(HWND owner, const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    FormatTextV(text, sizeof(text), format, args);
    va_end(args);
    ShowMessageBox(owner, text, kProductName, MB_OK);
}

// Writes the test text, verifies its size on the server and shows the outcome.
int UploadTestFile(HWND owner, HINTERNET connection, const char *server, const char *folder, const char *name,
                   const char *remotePath)
{
    HINTERNET file = OpenFtpFileForWriting(connection, remotePath);
    if (file == nullptr) {
        ShowLastError(owner);
        ShowFtpResponse(owner);
        ShowTestBox(owner, "Failed to open remote file for writing\n\nServer: %s\nServer Path: %s", server, remotePath);
        return 0;
    }
    DWORD sent = 0;
    while (sent < (DWORD)kTestSize) {
        DWORD written = 0;
        if (!InternetWriteFile(file, kTestText + sent, (DWORD)kTestSize - sent, &written) || written == 0) {
            ShowLastError(owner);
            ShowTestBox(owner, "Uploading not complete\n\nServer: %s\nServer Path: %s", server, remotePath);
            ShowTestBox(owner, "Bytes left to upload: %d\nBytes already uploaded: %d", (int)(kTestSize - sent),
                        (int)sent);
            CloseFtpFile(file);
            return 0;
        }
        sent += written;
    }
    CloseFtpFile(file);
    int64_t serverSize = 0;
    if (!FindFtpFileSize(connection, folder, name, 0, &serverSize)) {
        ShowLastError(owner);
        ShowTestBox(owner, "Failed to verify file size on server.\nRemote file: %s\nIntended size: %I64d", remotePath,
                    kTestSize);
        return 0;
    }
    if (serverSize != kTestSize) {
        ShowTestBox(owner, "Bad size on uploaded file.  Should be %I64d, but it was %I64d.", kTestSize, serverSize);
        return 0;
    }
    ShowTestBox(owner, "Upload Successful");
    return 1;
}

} // namespace

int TestFtpUpload(HWND owner, const char *folder, const char *server, const char *user, const char *password,
                  uint32_t flags, int port)
{
    if (flags & (FtpsImplicit | FtpsExplicit | Sftp))
        return TestSecureFtpUpload(owner, folder, server, user, password, flags, port);
    char remoteFolder[260];
    if (!NormalizeFtpFolder(folder, remoteFolder)) {
        ShowTestBox(owner, "Destination folder too long: %s", folder);
        return 0;
    }
    char host[128];
    NormalizeFtpServer(server, host);
    // A line break would end WinINet's FTP command there and start one of its own.
    if (HoldsLineBreak(remoteFolder) || HoldsLineBreak(host) || HoldsLineBreak(user) || HoldsLineBreak(password)) {
        ShowTestBox(owner, "The FTP folder, server, user name or password holds a line break, which FTP would take "
                           "as the end of a command; nothing was sent");
        return 0;
    }
    DWORD connectedState = 0;
    bool hangUp = !InternetGetConnectedState(&connectedState, 0);
    int result = 0;
    HINTERNET connection = nullptr;
    HINTERNET internet = InternetOpenA("Velloran", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (internet == nullptr) {
        ShowLastError(owner);
        ShowTestBox(owner, "Unable to open internet connection");
        goto done;
    }
    // The worker's connect gives up on a server that never answers, so the page is not held
    // for ever.
    ConnectFtpServer(&internet, host, port != 0 ? port : INTERNET_DEFAULT_FTP_PORT, user, password, &connection);
    if (connection == nullptr) {
        ShowLastError(owner);
        ShowTestBox(owner, "Unable to connect to server: %s", host);
        goto done;
    }
    {
        const char *name = "FTP_test.txt";
        if (strlen(remoteFolder) + strlen(name) >= 260) {
            ShowTestBox(owner, "Destination path too long: %s%s", remoteFolder, name);
            goto done;
        }
        char remotePath[260];
        FormatText(remotePath, sizeof(remotePath), "%s%s", remoteFolder, name);
        result = UploadTestFile(owner, connection, host, remoteFolder, name, remotePath);
    }
done:
    if (connection != nullptr)
        InternetCloseHandle(connection);
    if (internet != nullptr)
        InternetCloseHandle(internet);
    if (hangUp)
        InternetAutodialHangup(0);
    return result;
}
