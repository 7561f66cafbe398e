#include "FtpUpload.h"

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "FtpCall.h"
#include "MsvcrtFormat.h"

namespace {

// The listing's entry of that exact name.
int ListFileSize(HINTERNET connection, const char *folder, const char *name, DWORD flags, int64_t *size)
{
    char pattern[264];
    FormatText(pattern, sizeof(pattern), "%s*", folder);
    WIN32_FIND_DATAA entry;
    memset(&entry, 0, sizeof(entry));
    HINTERNET find = FtpFindFirstFileA(connection, pattern, &entry, flags, 0);
    if (find == nullptr)
        return 0;
    int found = 0;
    do {
        if (strcmp(entry.cFileName, name) == 0) {
            *size = ((int64_t)entry.nFileSizeHigh << 32) | entry.nFileSizeLow;
            found = 1;
            break;
        }
        memset(&entry, 0, sizeof(entry));
    } while (InternetFindNextFileA(find, &entry));
    InternetCloseHandle(find);
    if (!found)
        SetLastError(ERROR_NO_MORE_FILES);
    return found;
}

// The listing waits for the server (FtpCall.h): it runs on a worker with copies of its texts.
int FindListedSize(HINTERNET connection, const char *folder, const char *name, DWORD flags, int64_t *size)
{
    auto listed = std::make_shared<int64_t>(0);
    std::string folderText(folder), nameText(name);
    bool worked = false;
    RunFtpCall([=] { return ListFileSize(connection, folderText.c_str(), nameText.c_str(), flags, listed.get()) != 0; },
               nullptr, &worked);
    if (worked)
        *size = *listed;
    return worked ? 1 : 0;
}

// The server's own count of the file's bytes ("213 <size>").
int AskServerSize(HINTERNET connection, const char *folder, const char *name, int64_t *size)
{
    char command[300];
    FormatText(command, sizeof(command), "SIZE %s%s", folder, name);
    SendFtpCommand(connection, "TYPE I"); // servers may refuse SIZE in ASCII mode
    if (!SendFtpCommand(connection, command))
        return 0;
    char reply[2048];
    if (!ReadFtpResponse(reply, sizeof(reply)) || strncmp(reply, "213 ", 4) != 0 || reply[4] < '0' ||
        reply[4] > '9') {
        SetLastError(ERROR_NO_MORE_FILES);
        return 0;
    }
    *size = _strtoi64(reply + 4, nullptr, 10);
    return 1;
}

} // namespace

// The folder is listed and the name compared whole. WinINet under Wine cuts listed names at
// their first space, and archive names often hold spaces: a name the listing lacks is asked
// of the server with SIZE.
int FindFtpFileSize(HINTERNET connection, const char *folder, const char *name, DWORD flags, int64_t *size)
{
    *size = 0;
    if (FindListedSize(connection, folder, name, flags, size))
        return 1;
    return AskServerSize(connection, folder, name, size);
}
